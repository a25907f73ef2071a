#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks exported DXF files with the ezdxf reader.

Arguments: one base path per file; BASE.dxf is the export and BASE.expected
holds the caption line, then "x y" in millimetres for every vertex. For each
file: strict load, audit without errors, one polyline whose vertices are the
expected points (to the 0.005 mm of two written decimals), the text block
holding the caption, no handle twice, and $HANDSEED past every handle.
"""

import sys

import ezdxf


def raw_groups(path):
    with open(path, "rb") as f:
        lines = f.read().split(b"\r\n")
    if lines[-1] != b"":
        raise AssertionError("last line has no CR LF")
    lines = lines[:-1]
    if len(lines) % 2:
        raise AssertionError("odd number of lines")
    return [(int(lines[i]), lines[i + 1]) for i in range(0, len(lines), 2)]


def check(base):
    path = base + ".dxf"
    with open(base + ".expected", "rb") as f:
        expected = f.read().decode("cp1252").split("\n")
    caption = expected[0]
    points = [tuple(float(v) for v in line.split()) for line in expected[1:] if line]

    doc = ezdxf.readfile(path)
    auditor = doc.audit()
    print(f"{path}: ezdxf {ezdxf.__version__}, {doc.dxfversion}, "
          f"audit: {len(auditor.errors)} errors, {len(auditor.fixes)} fixes")
    for entry in auditor.errors + auditor.fixes:
        print("   ", entry.code, entry.message)
    if auditor.has_errors:
        raise AssertionError("audit reports errors")

    msp = doc.modelspace()
    polylines = msp.query("POLYLINE")
    if len(polylines) != 1:
        raise AssertionError(f"{len(polylines)} polylines")
    vertices = [v.dxf.location for v in polylines[0].vertices]
    if len(vertices) != len(points):
        raise AssertionError(f"{len(vertices)} vertices, expected {len(points)}")
    for k, (v, (x, y)) in enumerate(zip(vertices, points)):
        if abs(v.x - x) > 0.005 + 1e-9 or abs(v.y - y) > 0.005 + 1e-9 or v.z != 0:
            raise AssertionError(f"vertex {k}: {v} read, ({x}, {y}) exported")

    texts = msp.query("MTEXT")
    if len(texts) != 1 or texts[0].text != caption:
        raise AssertionError(f"text block: {[t.text for t in texts]!r}, expected {caption!r}")
    if len(msp.query("LINE")) != 3:
        raise AssertionError("not three lines")

    handles = {}
    largest = 0
    seed = None
    previous = None
    for code, value in raw_groups(path):
        if code in (5, 105):
            if previous == b"$HANDSEED":
                seed = int(value, 16)
            else:
                if value in handles:
                    raise AssertionError(f"handle {value!r} twice")
                handles[value] = True
                largest = max(largest, int(value, 16))
        previous = value
    if seed != largest + 1:
        raise AssertionError(f"$HANDSEED {seed:X}, largest handle {largest:X}")
    if doc.header["$HANDSEED"].upper() != f"{largest + 1:X}":
        raise AssertionError(f"reader's $HANDSEED {doc.header['$HANDSEED']}")

    names = sorted(layout.name for layout in doc.layouts)
    print(f"    {len(vertices)} vertices, {len(handles)} handles, seed {seed:X}, layouts {names}")


def main(bases):
    failed = 0
    for base in bases:
        try:
            check(base)
        except Exception as error:  # report every file, then fail
            failed += 1
            print(f"{base}: FAILED: {type(error).__name__}: {error}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
