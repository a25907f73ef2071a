#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks a predicted-removal table (doroziri-cli --check) on its own terms.

Usage: removal_check.py TABLE stroke|spindle [SEPARATOR]
       removal_check.py --run CLI SURFACE stroke|spindle
         (runs CLI --lap LAP --check - SURFACE and checks what it writes,
         with the radii of SURFACE, which the table rounds to 0.1 mm)

Recomputes, in plain Python and apart from the program, what the table's
summary lines claim: the area weights from the radii, the measured RMS and
P-V, the residual (measured - predicted) and its RMS and P-V, the share
left; then the whole prediction once more from the table's leaf widths
(through the wear model the table names for "stroke": the classic matrix
built here, or Preston's law by a plain quadrature over the stroke and the
mirror's turn; the widths themselves for "spindle"), by a least-squares fit
of time and piston, or, for Preston's law, by the shape after the best scale
and piston at up to 60 zones.
Exit status 0 when everything agrees within the table's rounding, 1 with
the findings on standard error otherwise.
"""

import math
import os
import subprocess
import sys

D = 0.2


def wear_matrix(radii):
    """The wear matrix, row j (mirror zone) column i (lap zone)."""
    outer = radii[-1]
    n = len(radii)
    w = [[0.0] * n for _ in range(n)]
    for i in range(n):
        rho = radii[i] / outer
        s = math.sqrt(rho * rho + D * D)
        a = abs(rho - D)
        for j in range(n):
            r = radii[j] / outer
            big_s = 2.0 if r <= rho else math.asin(rho / r) * 4 / math.pi
            k = 0.0
            if a < r < rho + D:
                q = ((r * r + D * D - rho * rho) * 0.5 / r) / D
                k = math.acos(max(-1.0, min(1.0, q))) * 2 / math.pi
            if r >= rho + D:
                e = 0.0
            elif r > s:
                e = k
            elif r > a:
                e = big_s - k
            elif rho > D:
                e = 0.0
            else:
                e = big_s
            w[j][i] = e
    w[0][0] = 2.0
    return w


def weights_of(radii):
    n = len(radii)
    order = sorted(range(n), key=lambda k: radii[k])
    out = [0.0] * n
    if n < 2:
        return out
    for pos, k in enumerate(order):
        below = radii[order[max(pos - 1, 0)]]
        above = radii[order[min(pos + 1, n - 1)]]
        out[k] = abs(radii[k]) * (above - below) / 2
    return out


def rms(x, a):
    total = sum(a)
    mean = sum(ak * xk for ak, xk in zip(a, x)) / total
    return math.sqrt(sum(ak * (xk - mean) ** 2 for ak, xk in zip(a, x)) / total)


def fit(shape, measured, a):
    """tau >= 0 and beta of the weighted least-squares fit."""
    total = sum(a)
    sm = sum(ak * sk for ak, sk in zip(a, shape)) / total
    mm = sum(ak * mk for ak, mk in zip(a, measured)) / total
    ss = sum(ak * (sk - sm) ** 2 for ak, sk in zip(a, shape))
    sy = sum(ak * (sk - sm) * (mk - mm) for ak, sk, mk in zip(a, shape, measured))
    tau = max(sy / ss, 0.0) if ss > 0 else 0.0
    return tau, mm - tau * sm


def preston_shape(radii, widths, stroke, lap, picked):
    """Wear of the zones `picked` by Preston's law: the lap's centre at s (midpoints
    of 400 steps over [-d, d]), the mirror turned (720 midpoints of the half
    turn), the width linear between zones and 0 beyond the lap."""
    import numpy as np
    outer = radii[-1]
    rho = np.array([r / outer for r in radii])
    order = np.argsort(rho, kind="stable")
    x, w = rho[order], np.array(widths)[order]
    s = stroke * (2 * (np.arange(400) + 0.5) / 400 - 1)
    theta = np.pi * (np.arange(720) + 0.5) / 720
    out = []
    for k in picked:
        r = rho[k]
        dist = np.sqrt(np.maximum(r * r + s[None, :] ** 2 - 2 * r * s[None, :] * np.cos(theta)[:, None], 0))
        width = np.where(dist < lap, np.interp(dist, x, w), 0.0)
        out.append(2 * stroke * width.mean())
    return out


def number(text, sep):
    return float(text.replace(sep, "."))


def main(argv):
    if argv[1] == "--run":
        cli, surface, lap = argv[2], argv[3], argv[4]
        env = dict(os.environ, LC_ALL="C")
        run = subprocess.run([cli, "--lap", lap, "--check", "-", surface], capture_output=True, env=env,
                             check=False)
        if run.returncode != 0:
            print(run.stderr.decode(errors="replace"), file=sys.stderr)
            return 1
        # the table writes radii to 0.1 mm: the file's own go into the model
        with open(surface, "rb") as f:
            zone_lines = f.read().decode("latin-1").splitlines()[5:]
        radii = [float(line.split()[0]) for line in zone_lines if line.strip()]
        return check(surface, run.stdout, lap, ".", radii)
    path, lap = argv[1], argv[2]
    sep = argv[3] if len(argv) > 3 else "."
    with open(path, "rb") as f:
        return check(path, f.read(), lap, sep)


def check(path, raw, lap, sep, file_radii=None):
    problems = []
    if not raw.endswith(b"\r\n") or b"\n" in raw.replace(b"\r\n", b""):
        problems.append("lines do not all end in CR LF")
    lines = raw.decode("utf-8").split("\r\n")[:-1]
    header = lines.index("radius, mm\tmeasured\tleaf width\tpredicted\tresidual")
    model = [line for line in lines[1:header] if line.startswith("Wear model: ")]
    summary = " ".join(line for line in lines[1:header]
                       if line.startswith(("Measured:", "Left by the lap as drawn:", "Share of the RMS left:")))
    rows = [line.split("\t") for line in lines[header + 1:]]
    radius = [number(r[0], sep) for r in rows]
    measured = [number(r[1], sep) for r in rows]
    widths = [number(r[2], sep) for r in rows]
    predicted = [number(r[3], sep) for r in rows]
    residual = [number(r[4], sep) for r in rows]
    if file_radii is not None:
        if len(file_radii) != len(radius) or any(abs(f - r) > 0.05 + 1e-9 for f, r in zip(file_radii, radius)):
            problems.append("the radii are not the file's")
        radius = file_radii
    for r in rows:
        if [len(f.split(sep)[1]) for f in r] != [1, 4, 6, 4, 4]:
            problems.append("decimals of a zone line: " + "\t".join(r))

    # the summary's numbers in the order the lines give them
    words = summary.replace(",", " ").split() if sep == "." else summary.replace(", ", " ").split()
    claimed = []
    for word in words:
        try:
            claimed.append(number(word, sep))
        except ValueError:
            pass
    if len(claimed) != 5:
        problems.append("summary does not hold five numbers: " + summary)
        claimed += [math.nan] * 5
    a = weights_of(radius)
    if sum(a) <= 0:
        a = [1.0] * len(radius)
    mine = [rms(measured, a), max(measured) - min(measured),
            rms(residual, a), max(residual) - min(residual)]
    mine.append(100 * mine[2] / mine[0] if mine[0] > 0 else 0.0)
    names = ["measured RMS", "measured P-V", "RMS left", "P-V left", "share left"]
    for name, got, want, slack in zip(names, claimed, mine, [0, 0, 2e-4, 2e-4, 0.1]):
        if not abs(got - want) <= 1e-3 * abs(want) + slack + 1e-4:
            problems.append(f"{name}: table {got}, recomputed {want}")
    for k, (m, p, r) in enumerate(zip(measured, predicted, residual)):
        if abs(m - p - r) > 1.5e-4:
            problems.append(f"zone {k}: measured - predicted is not the residual")

    # the prediction from the widths alone
    if lap == "stroke" and not model:
        problems.append("the table does not name its wear model")
    if lap == "stroke" and model and model[0].startswith("Wear model: Preston's law, stroke "):
        words = model[0][len("Wear model: Preston's law, stroke "):].replace(",", " ").split()
        stroke = number(words[0], sep)
        size = number(model[0].split(", lap ")[1].split()[0], sep) if ", lap " in model[0] else 1.0
        n = len(radius)
        picked = sorted(set(round(i * (n - 1) / 59) for i in range(60))) if n > 60 else list(range(n))
        shape = preston_shape(radius, widths, stroke, size, picked)
        mine = [[shape[i], 1.0] for i in range(len(picked))]
        # the best scale and piston of the table's prediction on that shape
        sxx = sum(v * v for v, _ in mine); sx = sum(v for v, _ in mine); m = len(mine)
        sy = sum(predicted[k] for k in picked); sxy = sum(shape[i] * predicted[k] for i, k in enumerate(picked))
        det = sxx * m - sx * sx
        a = (sxy * m - sx * sy) / det if det > 0 else 0.0
        b = (sy - a * sx) / m
        scale = max(1.0, max(abs(v) for v in measured))
        for i, k in enumerate(picked):
            if abs(a * shape[i] + b - predicted[k]) > 2e-3 * scale:
                problems.append(f"zone {k}: predicted {predicted[k]}, by Preston's law here {a * shape[i] + b}")
        for p in problems:
            print(path + ": " + p, file=sys.stderr)
        return 1 if problems else 0
    if lap == "stroke":
        w = wear_matrix(radius)
        shape = [sum(w[j][i] * widths[i] for i in range(len(widths))) for j in range(len(widths))]
    else:
        shape = widths
    tau, beta = fit(shape, measured, a)
    scale = max(1.0, max(abs(v) for v in measured))
    for k, s in enumerate(shape):
        if abs(tau * s + beta - predicted[k]) > 1e-3 * scale:
            problems.append(f"zone {k}: predicted {predicted[k]}, recomputed {tau * s + beta}")
    for p in problems:
        print(path + ": " + p, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
