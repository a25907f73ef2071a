#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the example surface files under examples/.

mirror200.srf  a 200 mm f/5 paraboloid (b = -1, R = 2000 mm) measured at 41
               zones: a raised centre, a low zone at 60 % and a turned edge,
               in nanometres (some negative).
profile500.srf the same kind of error measured at 500 zones.
parabolise200.srf
               a 200 mm f/5 sphere (R = 2000 mm) still to be made a
               paraboloid, 41 zones: the height error k (r^4 - a^2 r^2) +
               k a^4 / 4 nm with k = 10^6 / (8 R^3), r and the outer radius
               a = 100 mm in mm (0 at r = a / sqrt 2, a^4 k / 4 = 390.6 nm at
               the centre).

The values are made from a fixed formula, so the files come out the same on
every run: python3 scripts/make_examples.py

wear-before.srf, wear-after.srf
               two tests of one mirror around a polishing session, for
               learning the lap's wear (--compare). The earlier test is
               mirror200.srf under its own caption. The later one is what
               the classic lap of that test, 4 leaves, worked full size
               with the default stroke (0.2 of the diameter), takes off in
               MINUTES minutes at RATE per minute by the time-stepped
               Preston simulation of the tests (tests/preston_sim.py), plus
               Gaussian noise of NOISE_NM nm RMS from a fixed seed. The
               lap's widths are read from the command-line tool's check
               table, so this pair is written only when the tool is named:
               python3 scripts/make_examples.py --cli build/release/cli/doroziri-cli
               (--preston-sim FILE takes the simulation from another file).
"""
import argparse
import importlib.util
import math
import os
import random
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
OUT = os.path.join(ROOT, "examples")

# The polishing session between wear-before.srf and wear-after.srf.
RATE = 30.0         # nm per minute per unit of Preston's wear (path per stroke, in outer radii)
MINUTES = 45.0
STROKE = 0.2        # end to end, fraction of the diameter: the centre travels 0.2 R either side
LAP = 1.0           # lap diameter over the mirror's
NOISE_NM = 2.0
SEED = 25


def surface_error_nm(rho):
    """Height error in nm at the normalised radius rho (0..1)."""
    centre = 38.0 * math.exp(-(rho / 0.22) ** 2)
    low_zone = -27.0 * math.exp(-((rho - 0.6) / 0.12) ** 2)
    turned_edge = -55.0 * max(0.0, (rho - 0.85) / 0.15) ** 2
    ripple = 4.0 * math.sin(9.0 * math.pi * rho)
    return centre + low_zone + turned_edge + ripple + 12.0


def parabolise_error_nm(rho, outer_mm=100.0, radius_of_curvature=2000.0):
    """Height of a sphere above the paraboloid it is to become, in nm."""
    k = 1.0e6 / (8.0 * radius_of_curvature ** 3)
    r = rho * outer_mm
    a = outer_mm
    return k * (r ** 4 - a * a * r * r) + k * a ** 4 / 4.0


def write(name, caption, zones, outer_mm, b, radius_of_curvature, error=surface_error_nm):
    lines = [
        caption,
        "Surface data, zone radius in mm, knife-edge reading in mm, height error in nm",
        f"{b:.3f}  conic constant b",
        f"{radius_of_curvature:.3f}  radius of curvature R, mm",
        "radius   reading   error",
    ]
    for k in range(zones):
        r = outer_mm * k / (zones - 1)
        rho = r / outer_mm
        reading = r * r / (2.0 * radius_of_curvature)  # paraboloid: zonal shift r^2/R, halved
        lines.append(f"{r:.3f}\t{reading:.4f}\t{error(rho):.2f}")
    with open(os.path.join(OUT, name), "w", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")


def zone_lines(name):
    """The zone lines (radius, reading, value) of an example file."""
    with open(os.path.join(OUT, name), newline="") as f:
        lines = f.read().splitlines()
    return [tuple(float(v) for v in line.split()) for line in lines[5:] if line.strip()]


def classic_widths(cli, surface):
    """The leaf width of every zone of the classic lap, from the tool's check table."""
    run = subprocess.run([cli, "--check", "-", surface], capture_output=True, text=True, check=True,
                         env=dict(os.environ, LC_ALL="C"))
    lines = run.stdout.splitlines()
    header = next(k for k, line in enumerate(lines) if line.startswith("radius, mm"))
    column = lines[header].split("\t").index("leaf width")
    return [float(line.split("\t")[column]) for line in lines[header + 1:] if line.strip()]


def load_module(path):
    found = importlib.util.spec_from_file_location("preston_sim", path)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


def write_wear_pair(cli, sim_path):
    """wear-before.srf and wear-after.srf (see the header)."""
    write("wear-before.srf", "200 mm f/5 paraboloid, test before polishing", 41, 100.0, -1.0, 2000.0)
    zones = zone_lines("wear-before.srf")
    outer = zones[-1][0]
    rho = [r / outer for r, _, _ in zones]
    widths = classic_widths(cli, os.path.join(OUT, "wear-before.srf"))
    if len(widths) != len(zones):
        raise RuntimeError("the check table has not one line per zone")
    # the simulation takes the centre's travel either side in outer radii:
    # a stroke of STROKE diameters end to end is STROKE radii either side
    wear = load_module(sim_path).wear_run(rho, rho, widths, STROKE, LAP)
    noise = random.Random(SEED)
    lines = [
        "200 mm f/5 paraboloid, test after polishing",
        "Surface data, zone radius in mm, knife-edge reading in mm, height error in nm",
        f"{-1.0:.3f}  conic constant b",
        f"{2000.0:.3f}  radius of curvature R, mm",
        "radius   reading   error",
    ]
    for (r, reading, before), removed in zip(zones, wear):
        after = before - RATE * MINUTES * removed + noise.gauss(0.0, NOISE_NM)
        lines.append(f"{r:.3f}\t{reading:.4f}\t{after:.2f}")
    with open(os.path.join(OUT, "wear-after.srf"), "w", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")


def main():
    parser = argparse.ArgumentParser(description="Writes the example surface files under examples/.")
    parser.add_argument("--cli", help="the command-line tool; also writes wear-before.srf and wear-after.srf")
    parser.add_argument("--preston-sim", default=os.path.join(ROOT, "tests", "preston_sim.py"),
                        help="the time-stepped Preston simulation (default: the tests' own)")
    args = parser.parse_args()
    os.makedirs(OUT, exist_ok=True)
    write("mirror200.srf", "200 mm f/5 paraboloid, test of 7 December", 41, 100.0, -1.0, 2000.0)
    write("profile500.srf", "200 mm f/5 paraboloid, 500-zone scan", 500, 100.0, -1.0, 2000.0)
    write("parabolise200.srf", "200 mm f/5 sphere to paraboloid", 41, 100.0, -1.0, 2000.0,
          parabolise_error_nm)
    if args.cli:
        write_wear_pair(args.cli, args.preston_sim)


if __name__ == "__main__":
    main()
