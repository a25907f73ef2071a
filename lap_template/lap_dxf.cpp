// SPDX-License-Identifier: GPL-3.0-or-later
#include "lap_template/lap_dxf.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <stdexcept>

#include <dl_dxf.h>
#include <dl_writer_ascii.h>

namespace dz {

namespace {

// libdxflib's DL_Dxf writes through DL_WriterA, a writer bound to a file.
// This one keeps every group in a string instead: it is built with an empty
// file name, so the file stream of its base is never opened, and it writes
// each group itself (CR LF line ends, numbers in the C locale).
//
// libdxflib's objects section leaves out each object's owner (group 330
// after the handle), which readers then repair (ezdxf's audit reported
// thirteen fixes). A dictionary lists its entries (group 350) before they
// are written, so the writer learns each entry's owner from them and adds
// the owner after the entry's handle; the first object, the root
// dictionary, is owned by no one (0).
class MemoryWriter final : public DL_WriterA {
public:
    MemoryWriter() : DL_WriterA("", DL_Codes::AC1015) {}

    void dxfReal(int gc, double value) const override { put(gc, real_text(value)); }
    void dxfInt(int gc, int value) const override { put(gc, std::to_string(value)); }
    void dxfHex(int gc, int value) const override { dxfString(gc, hex(static_cast<unsigned>(value))); }
    void dxfString(int gc, const char* value) const override { dxfString(gc, std::string(value)); }
    void dxfString(int gc, const std::string& value) const override {
        put(gc, value);
        if (gc == 2 && value == "OBJECTS") objects_ = true;
        if (!objects_) return;
        if (gc == 5) {
            current_ = value;
            const auto owner = owners_.find(value);
            if (owner != owners_.end()) put(330, owner->second);
            else if (first_) put(330, "0");
            first_ = false;
        }
        if (gc == 350) owners_.emplace(value, current_);
    }

    [[nodiscard]] const std::string& bytes() const { return bytes_; }

    // At most six decimals, trailing zeros dropped but one kept: "12.5", "0.0".
    // The buffer holds the longest double in this form (309 digits, sign,
    // point, six decimals); a conversion that fails all the same is an
    // error, never a text of unwritten bytes.
    static std::string real_text(double value) {
        if (!std::isfinite(value)) throw std::domain_error("lap DXF: a coordinate is not a finite number");
        char text[330];
        const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6);
        if (result.ec != std::errc()) throw std::length_error("lap DXF: a number does not fit its text");
        std::string s(text, result.ptr);
        while (s.size() > 1 && s.back() == '0' && s[s.size() - 2] != '.') s.pop_back();
        if (s == "-0.0") s = "0.0";
        return s;
    }

private:
    static std::string hex(unsigned value) {
        char text[16];
        std::snprintf(text, sizeof text, "%X", value);
        return text;
    }
    void put(int gc, const std::string& value) const {
        char code[8];
        std::snprintf(code, sizeof code, "%3d", gc);
        bytes_ += code;
        bytes_ += "\r\n";
        bytes_ += value;
        bytes_ += "\r\n";
    }
    mutable std::string bytes_;
    mutable bool objects_ = false;  // in the objects section
    mutable bool first_ = true;     // no object written there yet
    mutable std::string current_;   // handle of the object being written
    mutable std::map<std::string, std::string> owners_;  // entry -> its dictionary
};

struct Box {
    double min_x, min_y, max_x, max_y;
};

void header_point(MemoryWriter& w, const char* name, double x, double y) {
    w.dxfString(9, name);
    w.dxfReal(10, x);
    w.dxfReal(20, y);
}

}  // namespace

std::string dxf_text_escape(const std::string& utf8) {
    std::string out;
    std::size_t i = 0;
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(utf8[at]); };
    while (i < utf8.size()) {
        const unsigned char c = byte(i);
        if (c < 0x80) {
            out += (c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c);
            ++i;
            continue;
        }
        int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
        unsigned code = length == 2 ? c & 0x1Fu : length == 3 ? c & 0x0Fu : c & 0x07u;
        bool ok = length >= 2 && i + static_cast<std::size_t>(length) <= utf8.size();
        for (int k = 1; ok && k < length; ++k) {
            const unsigned char next = byte(i + static_cast<std::size_t>(k));
            ok = (next & 0xC0u) == 0x80u;
            code = (code << 6) | (next & 0x3Fu);
        }
        if (!ok) {
            out += '?';
            ++i;
            continue;
        }
        i += static_cast<std::size_t>(length);
        if (code > 0xFFFF) {
            out += '?';
            continue;
        }
        char text[16];
        std::snprintf(text, sizeof text, "\\U+%04X", code);
        out += text;
    }
    return out;
}

std::string lap_dxf(const LapTemplate& lap, const TitleBlock& title) {
    DL_Dxf dxf;
    MemoryWriter w;
    const double r = lap.outer_radius;
    const double text_height = std::clamp(r / 25, 2.0, 5.0);
    const double line_pitch = text_height * 1.6;
    const double notes_top = -r - 2 * text_height;
    const int note_lines = static_cast<int>(title.rows.size());
    // The drawing: the rim and every leaf point, and the notes below.
    Box box{-r, -r, r, r};
    for (const TemplateLeaf& leaf : lap.leaf) {
        for (const TemplatePoint& p : leaf.outline) {
            box.min_x = std::min(box.min_x, p.x);
            box.max_x = std::max(box.max_x, p.x);
            box.min_y = std::min(box.min_y, p.y);
            box.max_y = std::max(box.max_y, p.y);
        }
    }
    box.min_y = std::min(box.min_y, notes_top - (note_lines - 1) * line_pitch - text_height);
    const double margin = std::max(5.0, 0.05 * r);

    // Header: release 2000, millimetres, the drawing's extents and limits.
    dxf.writeHeader(w);
    w.dxfString(9, "$INSUNITS");
    w.dxfInt(70, 4);
    w.dxfString(9, "$MEASUREMENT");
    w.dxfInt(70, 1);
    header_point(w, "$EXTMIN", box.min_x, box.min_y);
    header_point(w, "$EXTMAX", box.max_x, box.max_y);
    header_point(w, "$LIMMIN", box.min_x - margin, box.min_y - margin);
    header_point(w, "$LIMMAX", box.max_x + margin, box.max_y + margin);
    // The paper: the limits' box, at 1:1, the drawing's origin placed so that
    // the box fills it (LibreCAD prints by these; the half-leaf template's
    // zero paper gives a blank page).
    header_point(w, "$PLIMMIN", 0, 0);
    header_point(w, "$PLIMMAX", box.max_x - box.min_x + 2 * margin, box.max_y - box.min_y + 2 * margin);
    w.dxfString(9, "$PINSBASE");
    w.dxfReal(10, margin - box.min_x);
    w.dxfReal(20, margin - box.min_y);
    w.dxfReal(30, 0.0);
    w.dxfString(9, "$PSVPSCALE");
    w.dxfReal(40, 1.0);
    w.sectionEnd();

    // Tables: one viewport, the three standard line types, the layers, one
    // text style, the views and coordinate systems, the application, the
    // dimension style and the block records that release 2000 requires.
    w.sectionTables();
    dxf.writeVPort(w);
    w.tableLinetypes(3);
    dxf.writeLinetype(w, DL_LinetypeData("BYBLOCK", "", 0, 0, 0.0));
    dxf.writeLinetype(w, DL_LinetypeData("BYLAYER", "", 0, 0, 0.0));
    dxf.writeLinetype(w, DL_LinetypeData("CONTINUOUS", "Solid line", 0, 0, 0.0));
    w.tableEnd();
    w.tableLayers(3);
    dxf.writeLayer(w, DL_LayerData("0", 0), DL_Attributes("", DL_Codes::black, 100, "CONTINUOUS", 1.0));
    dxf.writeLayer(w, DL_LayerData(DXF_CUT_LAYER, 0), DL_Attributes("", DL_Codes::red, 25, "CONTINUOUS", 1.0));
    dxf.writeLayer(w, DL_LayerData(DXF_NOTES_LAYER, 0),
                   DL_Attributes("", DL_Codes::blue, 18, "CONTINUOUS", 1.0));
    w.tableEnd();
    w.tableStyle(1);
    DL_StyleData style("Standard", 0, 0.0, 1.0, 0.0, 0, text_height, "txt", "");
    dxf.writeStyle(w, style);
    w.tableEnd();
    dxf.writeView(w);
    dxf.writeUcs(w);
    w.tableAppid(1);
    dxf.writeAppid(w, "ACAD");
    w.tableEnd();
    dxf.writeDimStyle(w, 2.5, 0.625, 0.625, 0.625, 2.5);
    dxf.writeBlockRecord(w);
    w.tableEnd();
    w.sectionEnd();

    w.sectionBlocks();
    dxf.writeBlock(w, DL_BlockData("*Model_Space", 0, 0.0, 0.0, 0.0));
    dxf.writeEndBlock(w, "*Model_Space");
    dxf.writeBlock(w, DL_BlockData("*Paper_Space", 0, 0.0, 0.0, 0.0));
    dxf.writeEndBlock(w, "*Paper_Space");
    dxf.writeBlock(w, DL_BlockData("*Paper_Space0", 0, 0.0, 0.0, 0.0));
    dxf.writeEndBlock(w, "*Paper_Space0");
    w.sectionEnd();

    // Entities: what is cut, then the notes.
    w.sectionEntities();
    const DL_Attributes cut(DXF_CUT_LAYER, 256, -1, "BYLAYER", 1.0);
    const DL_Attributes notes(DXF_NOTES_LAYER, 256, -1, "BYLAYER", 1.0);
    for (const TemplateLeaf& leaf : lap.leaf) {
        dxf.writePolyline(w, DL_PolylineData(static_cast<int>(leaf.outline.size()), 0, 0, 1), cut);
        for (const TemplatePoint& p : leaf.outline) dxf.writeVertex(w, DL_VertexData(p.x, p.y, 0.0, 0.0));
        dxf.writePolylineEnd(w);
    }
    dxf.writeCircle(w, DL_CircleData(0.0, 0.0, 0.0, r), cut);
    const double m = lap.centre_mark;
    dxf.writeLine(w, DL_LineData(-m, 0.0, 0.0, m, 0.0, 0.0), notes);
    dxf.writeLine(w, DL_LineData(0.0, -m, 0.0, 0.0, m, 0.0), notes);
    for (int i = 0; i < note_lines; ++i) {
        const auto& [label, value] = title.rows[static_cast<std::size_t>(i)];
        const double y = notes_top - i * line_pitch;
        const std::string text = dxf_text_escape(label + ": " + value);
        dxf.writeText(w, DL_TextData(-r, y, 0.0, -r, y, 0.0, text_height, 1.0, 0, 0, 0, text, "Standard", 0.0),
                      notes);
    }
    w.sectionEnd();

    dxf.writeObjects(w);
    dxf.writeObjectsEnd(w);
    w.dxfEOF();
    return w.bytes();
}

}  // namespace dz
