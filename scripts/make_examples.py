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
"""
import math
import os

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(os.path.dirname(HERE), "examples")


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


def main():
    os.makedirs(OUT, exist_ok=True)
    write("mirror200.srf", "200 mm f/5 paraboloid, test of 7 December", 41, 100.0, -1.0, 2000.0)
    write("profile500.srf", "200 mm f/5 paraboloid, 500-zone scan", 500, 100.0, -1.0, 2000.0)
    write("parabolise200.srf", "200 mm f/5 sphere to paraboloid", 41, 100.0, -1.0, 2000.0,
          parabolise_error_nm)


if __name__ == "__main__":
    main()
