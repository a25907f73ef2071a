#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws docs/wear_models.png and prints the README's table of the two wear
models, from the tool's own computation (the test program preston_dump of a
release build).

Usage: scripts/wear_models_figure.py BUILD_DIR [OUT.png]
  BUILD_DIR  a build tree with tests/preston_dump (scripts/build.sh)
  OUT.png    default docs/wear_models.png

Needs matplotlib (Debian: apt-get install python3-matplotlib); the table is
printed without it when OUT.png is "-".

Top: the wear of a full lap (every width 1) on mirror200.srf by Preston's law
and by the classic matrix, each scaled to its mean inside 0.8 of the radius.
Middle: the measured values of mirror200.srf and the predicted removal
(after the best time and piston, as --check gives it) of the classic lap and
of the fit for Preston's law, each by Preston's law (solid) and by the
matrix (dashed). Bottom: the leaf widths of the classic lap and of the fits
designed for each model. The table gives the share of the RMS left and the
P-V left by the classic lap and by the fit for each model, judged by both
models, for every example, at the default stroke (0.2 of the diameter), with and
without free focus.
"""

import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
EXAMPLES = ["mirror200", "profile500", "parabolise200"]


def dump(build, surface, design, focus=False, law="preston"):
    args = [str(Path(build) / "tests" / "preston_dump"), str(ROOT / "examples" / (surface + ".srf")), design,
            "0.2", "1.0"] + (["focus"] if focus else []) + (["matrix"] if law == "matrix" else [])
    lines = subprocess.run(args, capture_output=True, text=True, check=True).stdout.splitlines()
    head = lines[0].split("\t")
    figures = {"share": float(head[1]), "pv_left": float(head[2]), "pv": float(head[3]), "other": float(head[4])}
    rows = [[float(v) for v in line.split("\t")] for line in lines[1:]]
    return figures, rows


def table(build):
    out = ["| surface | free focus | lap | share of the RMS left, Preston | by the matrix | P-V left by the model "
           "designed for (measured) |", "|---|---|---|---|---|---|"]
    for surface in EXAMPLES:
        for focus in (False, True):
            for label, design, law in (("classic", "classic", "preston"), ("fit for Preston", "fit", "preston"),
                                       ("fit for the matrix", "fit", "matrix")):
                # the same widths judged by the other model: the second share
                mine, _ = dump(build, surface, design, focus, law)
                preston, matrix = (mine["share"], mine["other"]) if law == "preston" else (mine["other"], mine["share"])
                pv = f"{mine['pv_left']:.1f} ({mine['pv']:.1f})"
                if design == "classic":
                    by_matrix, _ = dump(build, surface, design, focus, "matrix")
                    pv = f"Preston {mine['pv_left']:.1f}, matrix {by_matrix['pv_left']:.1f} ({mine['pv']:.1f})"
                out.append(f"| {surface} | {'on' if focus else 'off'} | {label} | {preston:.1f} % | {matrix:.1f} % | "
                           f"{pv} |")
    return "\n".join(out)


def figure(build, path):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig, (top, middle, bottom) = plt.subplots(3, 1, figsize=(7.1, 10), gridspec_kw={"height_ratios": [1, 1.6, 0.7]})
    for law, style in (("preston", "-"), ("matrix", "--")):
        _, rows = dump(build, "mirror200", "full", law=law)
        rows.sort()
        rho = [r[0] for r in rows]
        wear = [r[2] for r in rows]
        inner = [w for x, w in zip(rho, wear) if 0.2 <= x <= 0.8]
        mean = sum(inner) / len(inner)
        top.plot(rho, [w / mean for w in wear], style, color="k", label="Preston's law" if law == "preston" else
                 "classic zone wear matrix")
    top.set_title("Full lap (every width 1), stroke 0.2 of the diameter: wear / mean wear 0.2-0.8 R", fontsize=10)
    top.set_xlabel("radius / outer radius")
    top.legend(fontsize=9)
    top.grid(alpha=0.3)

    # the measured surface and what the classic lap and the fit for Preston's
    # law would take off it, after the best time and piston, by each model
    measured_drawn = False
    for design, label, colour in (("classic", "classic lap", "C0"), ("fit", "fit for Preston", "C3")):
        figures, rows = dump(build, "mirror200", design, law="preston")
        rows.sort()
        rho = [r[0] for r in rows]
        if not measured_drawn:
            middle.plot(rho, [r[3] for r in rows], color="k", lw=2.2, label=f"measured (P-V {figures['pv']:.1f})")
            measured_drawn = True
        middle.plot(rho, [r[5] for r in rows], "-", color=colour,
                    label=f"{label}, Preston: {figures['share']:.0f} % of the RMS left")
        middle.plot(rho, [r[6] for r in rows], "--", color=colour,
                    label=f"{label}, matrix: {figures['other']:.0f} % left")
    middle.set_title("mirror200.srf, stroke 0.2 of the diameter: measured and predicted removal\n"
                     "(after the best time and piston; solid Preston's law, dashed the matrix)", fontsize=10)
    middle.set_xlabel("radius / outer radius")
    middle.legend(fontsize=8.5)
    middle.grid(alpha=0.3)

    for design, law, label, colour in (("classic", "preston", "classic lap", "C0"),
                                       ("fit", "preston", "fit for Preston", "C3"),
                                       ("fit", "matrix", "fit for the matrix", "C2")):
        _, rows = dump(build, "mirror200", design, law=law)
        rows.sort()
        bottom.plot([r[0] for r in rows], [r[1] for r in rows], color=colour, label=label)
    bottom.set_title("mirror200.srf: leaf widths (fraction of the pitch)", fontsize=10)
    bottom.set_xlabel("radius / outer radius")
    bottom.set_ylim(0, 1.05)
    bottom.legend(fontsize=8, ncol=3, loc="upper right")
    bottom.grid(alpha=0.3)
    fig.tight_layout()
    fig.savefig(path, dpi=90)


def main(argv):
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    build = argv[1]
    out = argv[2] if len(argv) > 2 else str(ROOT / "docs" / "wear_models.png")
    print(table(build))
    if out != "-":
        figure(build, out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
