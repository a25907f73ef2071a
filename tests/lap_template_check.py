#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks the cut-ready lap templates that doroziri-cli writes.

Usage: lap_template_check.py CLI OUT_FOLDER

Makes surface files of a 100 mm and a 300 mm lap (the larger one with its
first zone away from the centre), runs the tool as "Spindle" (the leaf
widths are then the measured values, known here without the solver) and
reads back what it wrote, with readers of its own:
  --lap-dxf  ezdxf: strict load, audit without errors or fixes, millimetres, one
             closed polyline per leaf and the rim circle on layer CUT and
             nothing else there, the notes on NOTES, every edge point where
             the values put it, leaves turned by the pitch, the header's
             extents round the drawing;
  --svg      the size in mm equal to the viewBox, one closed path per leaf,
             the rim;
  --pdf      page count and page size on A4 and letter, the page labels and
             scale bars (pdftotext), and, rendered by pdftoppm at 100 dpi,
             the rim's diameter in pixels at true size within 1 px.
Then hostile captions (markup, quotes, controls, NUL, bytes not UTF-8) whose
SVG xmllint must take as well-formed XML, and laps the templates refuse (an
outer radius below 0 or of 1e12 mm, a PDF of more than 500 pages).
Prints one line per check and ends with "N passed, N failed".
"""

import math
import os
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ET

try:
    import ezdxf
except ImportError:  # the Debian package lives with the system's python
    if (__name__ == "__main__" and os.path.exists("/usr/bin/python3")
            and os.path.realpath(sys.executable) != os.path.realpath("/usr/bin/python3")):
        os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
    raise

PASSED = []
FAILED = []


def check(name, condition, detail=""):
    (PASSED if condition else FAILED).append(name)
    print(("ok    " if condition else "FAIL  ") + name + ("" if condition else "  " + detail))


def surface(path, caption, radii, values):
    with open(path, "w", newline="\r\n") as f:
        f.write(caption + "\nradius reading value\n-1.000  b\n3000.000  R\nr x v\n")
        for r, v in zip(radii, values):
            f.write(f"{r:.3f}\t0.0000\t{v:.3f}\n")


def run(cli, *args):
    result = subprocess.run([cli, *args], capture_output=True, text=True,
                            env=dict(os.environ, LC_ALL="C", SOURCE_DATE_EPOCH="1765000000"))
    if result.returncode != 0:
        raise AssertionError(f"{args}: status {result.returncode}: {result.stderr}")
    return result


def edge0_points(radii, values, leaves):
    """Edge 0 of leaf 0, mm: angle (v/m + 1) pi/N from +y towards +x."""
    m = max(0.0, max(values))
    h = math.pi / leaves
    return [(r * math.sin((v / m + 1) * h), r * math.cos((v / m + 1) * h)) for r, v in zip(radii, values)]


def check_dxf(path, radii, values, leaves, label):
    doc = ezdxf.readfile(path)
    auditor = doc.audit()
    check(f"{label}: DXF audit without errors or fixes", len(auditor.errors) == 0 and len(auditor.fixes) == 0,
          "; ".join(e.message for e in auditor.errors + auditor.fixes))
    check(f"{label}: DXF in millimetres", doc.header.get("$INSUNITS") == 4 and doc.header.get("$MEASUREMENT") == 1)
    msp = doc.modelspace()
    cut = [e for e in msp if e.dxf.layer == "CUT"]
    polylines = [e for e in cut if e.dxftype() == "LWPOLYLINE"]
    circles = [e for e in cut if e.dxftype() == "CIRCLE"]
    check(f"{label}: DXF CUT holds {leaves} polylines and the rim only",
          len(polylines) == leaves and len(circles) == 1 and len(cut) == leaves + 1,
          f"{len(polylines)} polylines, {len(circles)} circles, {len(cut)} entities")
    check(f"{label}: DXF polylines closed", all(p.closed for p in polylines))
    outer = radii[-1]
    check(f"{label}: DXF rim", circles and abs(circles[0].dxf.radius - outer) < 1e-6
          and abs(circles[0].dxf.center[0]) < 1e-9 and abs(circles[0].dxf.center[1]) < 1e-9)
    notes = [e for e in msp if e.dxf.layer == "NOTES"]
    texts = [e.dxf.text for e in notes if e.dxftype() == "TEXT"]
    check(f"{label}: DXF notes", any(t.startswith("Leaves: " + str(leaves)) for t in texts)
          and any("Spindle" in t for t in texts) and len(notes) == len(texts) + 2, str(texts))
    # Every edge-0 point of every leaf where the values put it, to 0.001 mm.
    worst = 0.0
    expected = edge0_points(radii, values, leaves)
    for i, poly in enumerate(polylines):
        pts = [(p[0], p[1]) for p in poly.get_points("xy")]
        phi = 2 * math.pi * i / leaves
        for k, (x, y) in enumerate(expected):
            ex, ey = x * math.cos(phi) + y * math.sin(phi), y * math.cos(phi) - x * math.sin(phi)
            worst = max(worst, math.hypot(pts[k][0] - ex, pts[k][1] - ey))
    check(f"{label}: DXF edge points within 0.001 mm (worst {worst:.2e})", worst < 1e-3)
    # Every vertex within the rim; the header's extents round everything.
    reach = max(math.hypot(*p[:2]) for poly in polylines for p in poly.get_points("xy"))
    check(f"{label}: DXF leaves within the rim", reach <= outer + 1e-6, f"{reach}")
    lo, hi = doc.header.get("$EXTMIN"), doc.header.get("$EXTMAX")
    check(f"{label}: DXF extents round the lap", lo[0] <= -outer + 1e-6 and lo[1] < -outer
          and hi[0] >= outer - 1e-6 and hi[1] >= outer - 1e-6, f"{lo} {hi}")
    llo, lhi = doc.header.get("$LIMMIN"), doc.header.get("$LIMMAX")
    check(f"{label}: DXF limits round the extents", llo[0] < lo[0] and llo[1] < lo[1] and lhi[0] > hi[0]
          and lhi[1] > hi[1])


def check_svg(path, outer, leaves, label):
    root = ET.parse(path).getroot()
    ns = "{http://www.w3.org/2000/svg}"
    width, height = root.get("width"), root.get("height")
    box = [float(v) for v in root.get("viewBox").split()]
    check(f"{label}: SVG size in mm equals its viewBox",
          width.endswith("mm") and height.endswith("mm") and float(width[:-2]) == box[2]
          and float(height[:-2]) == box[3] and box[2] >= 2 * outer, f"{width} {height} {box}")
    paths = list(root.iter(ns + "path"))
    check(f"{label}: SVG one path per leaf", len(paths) == leaves, f"{len(paths)} paths")
    check(f"{label}: SVG paths closed", all(p.get("d").rstrip().endswith("Z") for p in paths))
    circles = [float(c.get("r")) for c in root.iter(ns + "circle")]
    check(f"{label}: SVG rim", any(abs(r - outer) < 1e-3 for r in circles), str(circles))


def check_hostile_captions(cli, folder):
    """Captions with markup, quotes, control characters, a NUL and bytes
    that are not UTF-8: every SVG is well-formed XML (xmllint) and its title
    holds the caption's text."""
    captions = [
        (b"200 mm R&D mirror <test>", "200 mm R&D mirror <test>"),
        (b"quotes \" ' and ]]> &amp; <![CDATA[x]]>", "quotes \" ' and ]]> &amp; <![CDATA[x]]>"),
        (b"controls \x01\x02\x1b\x7f and a NUL \x00 here", None),
        (b"Windows-1252 \xe9\xe8 and a lone \xff", None),
        (b"<!DOCTYPE svg [<!ENTITY x 'y'>]> &x;", "<!DOCTYPE svg [<!ENTITY x 'y'>]> &x;"),
    ]
    zones = b"".join(b"%d\t0\t%d\n" % (r, 1 + r % 3) for r in range(0, 55, 5))
    for i, (caption, text) in enumerate(captions):
        srf = os.path.join(folder, f"hostile{i}.srf")
        with open(srf, "wb") as f:
            f.write(caption + b"\nx\n-1.000\n3000.000\nx\n" + zones)
        svg = os.path.join(folder, f"hostile{i}.svg")
        result = run(cli, "--lap", "spindle", "--svg", svg, srf)
        lint = subprocess.run(["xmllint", "--noout", "--nonet", svg], capture_output=True, text=True)
        check(f"hostile caption {i}: SVG well-formed (xmllint)", lint.returncode == 0, lint.stderr[:300])
        try:
            title = ET.parse(svg).getroot().find("{http://www.w3.org/2000/svg}title")
            shown = title.text if title is not None else None
        except ET.ParseError as e:
            shown = f"not parsed: {e}"
        check(f"hostile caption {i}: the title is the caption", shown == text if text is not None else
              shown is not None and shown.startswith(caption.decode("latin-1")[:8]), repr(shown))


def check_refusals(cli, folder):
    """The templates refuse a lap they cannot draw, and the PDF more than 500
    pages, before anything is written."""
    cases = [
        ("last radius below 0", [0, -10, -20, -100], ["--svg", "--lap-dxf", "--pdf"], "above 0 mm"),
        ("radius of 1e12 mm", [0, 5e11, 1e12], ["--svg", "--lap-dxf", "--pdf"], "up to 1000000 mm"),
        ("2.5 m on A4: 690 pages", [0, 1250, 2500], ["--pdf"], "--svg or --lap-dxf"),
    ]
    for label, radii, options, words in cases:
        srf = os.path.join(folder, "refused.srf")
        surface(srf, "Refused " + label, radii, [2 - k % 2 for k in range(len(radii))])
        for option in options:
            out = os.path.join(folder, "refused.out")
            result = subprocess.run([cli, "--lap", "spindle", option, out, srf], capture_output=True, text=True,
                                    env=dict(os.environ, LC_ALL="C"))
            check(f"{label}: {option} refused", result.returncode == 1 and words in result.stderr
                  and not os.path.exists(out), f"{result.returncode} {result.stderr!r}")


def pgm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields, at = [], 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    width, height = int(fields[1]), int(fields[2])
    pixels = data[at + 1:]
    return width, height, [pixels[row * width:(row + 1) * width] for row in range(height)]


def rim_diameter_pixels(rows, width, radius_px):
    """The middles of the rim's stroke, left and right, on the row through the
    lap's centre: the centre is found below the top of the rim, which is the
    first dark run of the page's middle column (nothing is drawn above it)."""

    # The stroke is about a pixel wide and drawn smooth: its middle is the
    # centroid of its darkness (below the grey of the disc, 217) over the run.
    def run_middle(get, start, step, limit):
        at = start
        while at != limit and get(at) >= 200:
            at += step
        weight = moment = 0
        while at != limit and get(at) < 200:
            weight += 200 - get(at)
            moment += (200 - get(at)) * at
            at += step
        return moment / weight

    top = run_middle(lambda y: rows[y][width // 2], 0, 1, len(rows))
    row = rows[round(top + radius_px)]
    return run_middle(lambda x: row[x], 0, 1, width), run_middle(lambda x: row[x], width - 1, -1, -1)


def check_overlap(path, paper, label, folder):
    """The first two tiles of the top row show the same strip of the lap: the
    middle column of page 1's right overlap (10 mm wide, ending 15 mm from
    the paper's edge) matches the middle column of page 2's left overlap."""
    base = os.path.join(folder, label.replace(" ", "_") + "_" + paper + "_tile")
    subprocess.run(["pdftoppm", "-r", "100", "-gray", "-f", "1", "-l", "2", path, base], check=True)
    _, _, first = pgm(base + "-1.pgm")
    _, _, second = pgm(base + "-2.pgm")
    width_mm = 210 if paper == "a4" else 215.9
    px = 100 / 25.4
    a, b = int((width_mm - 15 - 5) * px), int((15 + 5) * px)  # the pixels holding those lines
    rows = range(round(20 * px), round(150 * px))
    differ = sum(1 for y in rows if abs(first[y][a] - second[y][b]) > 60)
    shaded = sum(1 for y in rows if first[y][a] < 240)
    check(f"{label}: PDF neighbouring tiles on {paper} agree on their overlap ({differ} of {len(rows)} px differ)",
          differ <= len(rows) // 50 and shaded > len(rows) // 10, f"{shaded} shaded")


def check_pdf(path, paper, pages, outer, label, folder):
    info = subprocess.run(["pdfinfo", path], capture_output=True, text=True).stdout
    count = int(next(line.split()[1] for line in info.splitlines() if line.startswith("Pages:")))
    check(f"{label}: PDF on {paper} has {pages} pages", count == pages, f"{count}")
    size = next(line for line in info.splitlines() if line.startswith("Page size:"))
    check(f"{label}: PDF page size {paper}", ("(A4)" if paper == "a4" else "(letter)") in size, size)
    text = subprocess.run(["pdftotext", "-layout", path, "-"], capture_output=True, text=True).stdout
    page_texts = text.split("\f")[:count]
    check(f"{label}: PDF a 100 mm bar on every page", all("100 mm" in t for t in page_texts))
    if paper == "letter":
        check(f"{label}: PDF a 4-inch bar on every letter page", all("4 in" in t for t in page_texts))
    check(f"{label}: PDF title block on every page", all("Outer radius:" in t and "Spindle" in t
                                                         for t in page_texts))
    if pages > 1:
        labels = [f"Page {i + 1} of {pages}: row" for i in range(pages)]
        check(f"{label}: PDF page labels", all(l in t for l, t in zip(labels, page_texts)))
        check_overlap(path, paper, label, folder)
        return
    # One page: rendered at 100 dpi, the rim's diameter at true size.
    base = os.path.join(folder, label.replace(" ", "_") + "_" + paper)
    subprocess.run(["pdftoppm", "-r", "100", "-gray", "-aa", "yes", path, base], check=True)
    width, height, rows = pgm(base + "-1.pgm")
    want_w = round((210 if paper == "a4" else 215.9) / 25.4 * 100)
    check(f"{label}: PDF page rendered at true size", abs(width - want_w) <= 1, f"{width} px")
    want = 2 * outer / 25.4 * 100
    left, right = rim_diameter_pixels(rows, width, want / 2)
    check(f"{label}: PDF rim diameter {right - left:.1f} px, {want:.1f} px at true size",
          abs(right - left - want) <= 1)


def main():
    cli, folder = sys.argv[1], sys.argv[2]
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    laps = [
        # 100 mm, first zone at the centre, 5 leaves.
        ("100 mm", [50 * k / 10 for k in range(11)], [1 + math.sin(k / 2) ** 2 for k in range(11)], 5),
        # 300 mm, first zone at 30 mm, 4 leaves.
        ("300 mm", [30 + 120 * k / 12 for k in range(13)], [2 + math.cos(k / 3) for k in range(13)], 4),
    ]
    for label, radii, values, leaves in laps:
        values = [round(v, 3) for v in values]  # as the surface file holds them
        srf = os.path.join(folder, label.replace(" ", "_") + ".srf")
        surface(srf, "Template check " + label, radii, values)
        base = srf[:-4]
        run(cli, "--lap", "spindle", "--leaves", str(leaves), "--lap-dxf", base + ".dxf", "--svg", base + ".svg",
            "--pdf", base + "_a4.pdf", "--paper", "a4", srf)
        run(cli, "--lap", "spindle", "--leaves", str(leaves), "--pdf", base + "_letter.pdf", "--paper", "letter", srf)
        # No --paper: the locale's (letter in Canada), LC_ALL unset.
        plain = subprocess.run([cli, "--lap", "spindle", "--pdf", base + "_locale.pdf", srf], capture_output=True,
                               env={k: v for k, v in os.environ.items() if not k.startswith("LC_")} | {"LANG": "en_CA.UTF-8"})
        info = subprocess.run(["pdfinfo", base + "_locale.pdf"], capture_output=True, text=True).stdout
        check(f"{label}: PDF on the locale's paper (en_CA: letter)", plain.returncode == 0 and "(letter)" in info, info)
        check_dxf(base + ".dxf", radii, values, leaves, label)
        check_svg(base + ".svg", radii[-1], leaves, label)
        pages = 1 if label == "100 mm" else 4
        check_pdf(base + "_a4.pdf", "a4", pages, radii[-1], label, folder)
        check_pdf(base + "_letter.pdf", "letter", pages, radii[-1], label, folder)
    if shutil.which("xmllint"):
        check_hostile_captions(cli, folder)
    else:
        check("xmllint (libxml2-utils) installed", False, "scripts/install-deps.sh installs it")
    check_refusals(cli, folder)
    print(f"{len(PASSED)} passed, {len(FAILED)} failed")
    return 1 if FAILED else 0


if __name__ == "__main__":
    sys.exit(main())
