// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the DXF export: file shape, caption, vertex handles and
// coordinates, the layout pointers, a golden file, and a check of exported
// files by an independent DXF reader (tests/dxf_reader_check.py).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "export/dxf_export.hpp"
#include "file_io/file_io.hpp"
#include "tests/test_text.hpp"
#include "working_state/working_state.hpp"

namespace {

using dz::Real;
using dz::WorkingState;

constexpr std::size_t HEAD_LINES = 2379;
constexpr std::size_t MIDDLE_LINES = 44;
constexpr std::size_t TAIL_LINES = 588;

// A state as a load and a drawing leave it, with `n` zones on a smooth curve
// for edge 1 and values that must never be written on edge 0.
WorkingState make_state(int n, Real radius = 60) {
    WorkingState ws;
    ws.ZONE_COUNT = n;
    ws.LAST_ZONE = n - 1;
    ws.OUTER_RADIUS = radius;
    ws.NUM_LEAVES = 4;
    ws.SPINDLE = false;
    ws.TARGET_TEXT = "Mirror 200/1200\\PTarget:  b = -1.000, R = 2400.000}";
    ws.LEAF_EDGES.assign(static_cast<std::size_t>(2 * n * 2), 0);
    for (int k = 0; k < n; ++k) {
        const Real r = static_cast<Real>(k + 1) / static_cast<Real>(n);
        const Real a = 0.3L + 0.2L * r;  // angle from +y
        ws.edge_at(0, k, 0) = 999;
        ws.edge_at(0, k, 1) = 999;
        ws.edge_at(1, k, 0) = r * std::sin(a);
        ws.edge_at(1, k, 1) = r * std::cos(a);
    }
    return ws;
}

struct Group {
    int code;
    std::string value;
    std::size_t line;  // index of the value line
};

std::vector<Group> groups_of(const std::vector<std::string>& lines) {
    std::vector<Group> groups;
    EXPECT_EQ(lines.size() % 2, 0U);
    for (std::size_t i = 0; i + 1 < lines.size(); i += 2) {
        groups.push_back({std::stoi(lines[i]), lines[i + 1], i + 1});
    }
    return groups;
}

// Every handle (groups 5 and 105) with the type of the record it belongs to.
std::vector<std::pair<std::string, std::string>> handles_of(const std::vector<Group>& groups) {
    std::vector<std::pair<std::string, std::string>> handles;
    std::string type;
    std::string previous_value;
    for (const Group& g : groups) {
        if (g.code == 0) type = g.value;
        if ((g.code == 5 || g.code == 105) && previous_value != "$HANDSEED") {
            handles.emplace_back(g.value, type);
        }
        previous_value = g.value;
    }
    return handles;
}

unsigned long hex_value(const std::string& s) { return std::stoul(s, nullptr, 16); }

std::vector<std::string> vertex_handles(const std::vector<Group>& groups) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i + 1 < groups.size(); ++i) {
        if (groups[i].code == 0 && groups[i].value == "VERTEX") out.push_back(groups[i + 1].value);
    }
    return out;
}

std::string header_value(const std::vector<Group>& groups, const std::string& name) {
    for (std::size_t i = 0; i + 1 < groups.size(); ++i) {
        if (groups[i].code == 9 && groups[i].value == name) return groups[i + 1].value;
    }
    return "(missing)";
}

TEST(DxfExport_FileShape, LineCountsSectionsAndLineEnds) {
    for (const int n : {1, 3, 11, 40, 458, 459, 500}) {
        SCOPED_TRACE("zones " + std::to_string(n));
        const std::string text = dz::dxf_export(make_state(n));
        const std::vector<std::string> lines = dz::testing::crlf_lines(text);
        const std::size_t zones = static_cast<std::size_t>(n);
        ASSERT_EQ(lines.size(), 3012 + 22 * zones);

        // head, caption, middle, vertices, tail at their places
        EXPECT_EQ(lines[0], "  0");
        EXPECT_EQ(lines[1], "SECTION");
        EXPECT_EQ(lines[HEAD_LINES - 1], "  1");
        EXPECT_EQ(lines[HEAD_LINES + 1], "73");
        const std::size_t first_vertex = HEAD_LINES + 1 + MIDDLE_LINES;
        EXPECT_EQ(lines[first_vertex - 2], " 70");
        EXPECT_EQ(lines[first_vertex - 1], "   128");
        for (std::size_t k = 0; k < zones; ++k) {
            EXPECT_EQ(lines[first_vertex + 22 * k], "0");
            EXPECT_EQ(lines[first_vertex + 22 * k + 1], "VERTEX");
            EXPECT_EQ(lines[first_vertex + 22 * k + 21], "0.0");
        }
        const std::size_t tail = first_vertex + 22 * zones;
        EXPECT_EQ(lines[tail], " 0");
        EXPECT_EQ(lines[tail + 1], "SEQEND");
        EXPECT_EQ(lines.size() - tail, TAIL_LINES);
        EXPECT_EQ(lines[tail + 12], "0");
        EXPECT_EQ(lines[tail + 13], "ENDSEC");
        const std::string end = "ENDSEC\r\n  0\r\nEOF\r\n";
        EXPECT_EQ(text.substr(text.size() - end.size()), end);

        // one vertex per zone, and only vertices between header and end marker
        const std::vector<Group> groups = groups_of(lines);
        EXPECT_EQ(vertex_handles(groups).size(), zones);
        std::size_t vertices = 0, entities = 0;
        bool in_entities = false;
        for (const Group& g : groups) {
            if (g.code == 2 && g.value == "ENTITIES") in_entities = true;
            if (g.code == 0 && g.value == "ENDSEC") in_entities = false;
            if (in_entities && g.code == 0) {
                ++entities;
                if (g.value == "VERTEX") ++vertices;
            }
        }
        EXPECT_EQ(vertices, zones);
        EXPECT_EQ(entities, zones + 6);  // 3 lines, text, polyline, end marker
        EXPECT_EQ(text.find('\t'), std::string::npos);
    }
}

TEST(DxfExport_Golden, ThreeZonesByteForByte) {
    WorkingState ws = make_state(3, 50);
    const Real points[3][2] = {{0.125L, 0.3L}, {-0.25L, 0.61L}, {0.5L, 0.866025403784438647L}};
    for (int k = 0; k < 3; ++k) {
        ws.edge_at(1, k, 0) = points[k][0];
        ws.edge_at(1, k, 1) = points[k][1];
    }
    const std::string path = std::string(DOROZIRI_SOURCE_DIR) + "/tests/data/dxf_three_zones.dxf";
    const std::optional<std::string> golden = dz::read_file(path);
    ASSERT_TRUE(golden.has_value()) << path;
    const std::string text = dz::dxf_export(ws);
    EXPECT_EQ(text.size(), golden->size());
    EXPECT_TRUE(text == *golden) << "export differs from " << path;
}

TEST(DxfExport_Caption, PrefixLeavesAndTargetTextUnchanged) {
    struct Case {
        bool spindle;
        std::int32_t leaves;
        std::string target;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {false, 4, "Mirror 8\"\\PTarget:  b = -1.000, R = 1600.000}",
         "{2/5 Stroke Tessaro, 4 Leaves\\PMirror 8\"\\PTarget:  b = -1.000, R = 1600.000}"},
        {true, 4, "Mirror 8\"\\PTarget:  b = -1.000, R = 1600.000}",
         "{Spindle Tessaro, 4 Leaves\\PMirror 8\"\\PTarget:  b = -1.000, R = 1600.000}"},
        {true, 12, "x\\PTarget:  b = 0.000, R = 0.000}",
         "{Spindle Tessaro, 12 Leaves\\Px\\PTarget:  b = 0.000, R = 0.000}"},
        // backslashes and braces of the surface caption are not escaped
        {false, 1, "C:\\data\\{run 2}\\S1^2; {\\fArial|b1;bold}\\PTarget:  b = 0.500, R = -3.250}",
         "{2/5 Stroke Tessaro, 1 Leaves\\PC:\\data\\{run 2}\\S1^2; {\\fArial|b1;bold}"
         "\\PTarget:  b = 0.500, R = -3.250}"},
        // a caption of any length stays one line; bytes above 127 as they are
        {false, 6, std::string(3000, 'w') + "\xE9\xF6\\PTarget:  b = 1.000, R = 2.000}",
         "{2/5 Stroke Tessaro, 6 Leaves\\P" + std::string(3000, 'w') +
             "\xE9\xF6\\PTarget:  b = 1.000, R = 2.000}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected.substr(0, 60));
        WorkingState ws = make_state(2);
        ws.SPINDLE = c.spindle;
        ws.NUM_LEAVES = c.leaves;
        ws.TARGET_TEXT = c.target;
        const std::vector<std::string> lines = dz::testing::crlf_lines(dz::dxf_export(ws));
        ASSERT_EQ(lines.size(), 3012U + 44U);
        EXPECT_EQ(lines[HEAD_LINES - 1], "  1");
        EXPECT_EQ(lines[HEAD_LINES], c.expected);
        EXPECT_EQ(lines[HEAD_LINES + 1], "73");
        // the text block is the MTEXT entity
        EXPECT_EQ(lines[HEAD_LINES - 28], "MTEXT");
    }
}

TEST(DxfExport_Handles, VertexSequenceSkipsTemplateHandles) {
    struct Case {
        int zones;
        std::string last_vertex;
        std::string handseed;
    };
    // 458 zones end at 1FE; from 459 on 1FF, 200 and 201 are passed over
    const std::vector<Case> cases = {
        {1, "35", "202"},   {12, "40", "202"},  {458, "1FE", "202"},
        {459, "202", "203"}, {460, "203", "204"}, {500, "22B", "22C"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("zones " + std::to_string(c.zones));
        const std::vector<Group> groups = groups_of(dz::testing::crlf_lines(dz::dxf_export(make_state(c.zones))));
        const std::vector<std::string> vh = vertex_handles(groups);
        ASSERT_EQ(vh.size(), static_cast<std::size_t>(c.zones));
        EXPECT_EQ(vh.front(), "35");
        EXPECT_EQ(vh.back(), c.last_vertex);
        if (c.zones >= 12) {
            EXPECT_EQ(vh[9], "3E");
            EXPECT_EQ(vh[10], "3F");
            EXPECT_EQ(vh[11], "40");
        }
        // increasing, upper case, no leading zeros, only template handles skipped
        for (std::size_t k = 0; k < vh.size(); ++k) {
            EXPECT_EQ(vh[k].find_first_not_of("0123456789ABCDEF"), std::string::npos) << vh[k];
            EXPECT_NE(vh[k][0], '0');
            if (k > 0) {
                const unsigned long step = hex_value(vh[k]) - hex_value(vh[k - 1]);
                const bool skipped_three = vh[k - 1] == "1FE" && vh[k] == "202";
                EXPECT_TRUE(step == 1 || skipped_three) << vh[k - 1] << " -> " << vh[k];
            }
        }

        // no handle twice, and $HANDSEED one past the largest
        std::map<std::string, std::string> seen;
        unsigned long largest = 0;
        for (const auto& [handle, type] : handles_of(groups)) {
            const auto [it, fresh] = seen.emplace(handle, type);
            EXPECT_TRUE(fresh) << handle << " of " << type << " and of " << it->second;
            largest = std::max(largest, hex_value(handle));
        }
        EXPECT_EQ(seen.at("1FF"), "SEQEND");
        EXPECT_EQ(seen.at("200"), "LAYOUT");
        EXPECT_EQ(seen.at("201"), "LAYOUT");
        EXPECT_EQ(header_value(groups, "$HANDSEED"), c.handseed);
        EXPECT_EQ(hex_value(c.handseed), largest + 1);
    }
}

TEST(DxfExport_Coordinates, EdgeOneInMillimetresWithTwoDecimals) {
    struct Case {
        Real x, y, radius;
        const char* x_text;
        const char* y_text;
    };
    const std::vector<Case> cases = {
        {0.5L, 0.25L, 80, "40.00", "20.00"},
        {-0.5L, -0.25L, 80, "-40.00", "-20.00"},
        {-0.123456L, 0.987654L, 50, "-6.17", "49.38"},
        {0.125L, -0.375L, 1, "0.13", "-0.38"},      // ties away from zero
        {-0.0001L, 0.004L, 1, "0.00", "0.00"},      // no sign on a written zero
        {-0.006L, 1, 1, "-0.01", "1.00"},
        {0.999999L, 1, 250, "250.00", "250.00"},
        {12.345678L, -0.001L, 100, "1234.57", "-0.10"},
    };
    WorkingState ws = make_state(static_cast<int>(cases.size()));
    // one radius per export: each case its own export
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(std::string(c.x_text) + " " + c.y_text);
        ws.OUTER_RADIUS = c.radius;
        ws.edge_at(1, static_cast<int>(i), 0) = c.x;
        ws.edge_at(1, static_cast<int>(i), 1) = c.y;
        const std::vector<std::string> lines = dz::testing::crlf_lines(dz::dxf_export(ws));
        const std::size_t v = HEAD_LINES + 1 + MIDDLE_LINES + 22 * i;
        EXPECT_EQ(lines[v + 16], " 10");
        EXPECT_EQ(lines[v + 17], c.x_text);
        EXPECT_EQ(lines[v + 18], " 20");
        EXPECT_EQ(lines[v + 19], c.y_text);
        EXPECT_EQ(lines[v + 20], " 30");
        EXPECT_EQ(lines[v + 21], "0.0");
    }
    // edge 0 (all 999) is never written
    const std::string text = dz::dxf_export(ws);
    EXPECT_EQ(text.find("999"), std::string::npos);
}

TEST(DxfExport_Objects, LayoutPointersNameTheLayouts) {
    for (const int n : {3, 500}) {
        SCOPED_TRACE("zones " + std::to_string(n));
        const std::vector<Group> groups = groups_of(dz::testing::crlf_lines(dz::dxf_export(make_state(n))));
        // handle -> (type, layout name)
        std::map<std::string, std::pair<std::string, std::string>> records;
        std::string type, handle;
        bool in_layout_part = false;
        for (const Group& g : groups) {
            if (g.code == 0) {
                type = g.value;
                handle.clear();
                in_layout_part = false;
            }
            if (g.code == 5 && handle.empty()) {
                handle = g.value;
                records[handle] = {type, ""};
            }
            if (g.code == 100) in_layout_part = g.value == "AcDbLayout";
            if (in_layout_part && g.code == 1) records[handle].second = g.value;
        }
        // the layout dictionary and the block records
        std::map<std::string, std::string> pointers;
        for (std::size_t i = 0; i + 1 < groups.size(); ++i) {
            if (groups[i].code == 3 && (groups[i].value == "Model" || groups[i].value == "Paper 1") &&
                groups[i + 1].code == 350) {
                pointers["dict " + groups[i].value] = groups[i + 1].value;
            }
            if (groups[i].code == 2 &&
                (groups[i].value == "*MODEL_SPACE" || groups[i].value == "*PAPER_SPACE") &&
                groups[i + 1].code == 340) {
                pointers["record " + groups[i].value] = groups[i + 1].value;
            }
        }
        const std::map<std::string, std::string> expected_layout = {
            {"dict Model", "Model"},
            {"dict Paper 1", "Paper 1"},
            {"record *MODEL_SPACE", "Model"},
            {"record *PAPER_SPACE", "Paper 1"},
        };
        ASSERT_EQ(pointers.size(), expected_layout.size());
        for (const auto& [who, layout] : expected_layout) {
            const std::string& target = pointers.at(who);
            EXPECT_EQ(records.at(target).first, "LAYOUT") << who << " -> " << target;
            EXPECT_EQ(records.at(target).second, layout) << who << " -> " << target;
        }
        // each layout names its block record back
        EXPECT_EQ(pointers.at("record *MODEL_SPACE"), "200");
        EXPECT_EQ(pointers.at("record *PAPER_SPACE"), "201");
        EXPECT_EQ(records.at("A").first, "BLOCK_RECORD");
        EXPECT_EQ(records.at("B").first, "BLOCK_RECORD");
    }
}

TEST(DxfExport_State, RepeatableAndLeavesStateAlone) {
    const WorkingState ws = make_state(30);
    const dz::N_VECTOR edges = ws.LEAF_EDGES;
    const std::string first = dz::dxf_export(ws);
    const std::string second = dz::dxf_export(ws);
    EXPECT_TRUE(first == second);  // handle counter starts again at 35
    EXPECT_EQ(ws.LEAF_EDGES, edges);

    WorkingState empty;
    EXPECT_THROW((void)dz::dxf_export(empty), std::invalid_argument);
    WorkingState short_edges = make_state(5);
    short_edges.LEAF_EDGES.resize(10);
    EXPECT_THROW((void)dz::dxf_export(short_edges), std::invalid_argument);
}

std::filesystem::path fresh_temp_dir(const std::string& name) {
    std::random_device random;
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("doroziri_" + name + "_" + std::to_string(random()) + "_" +
                                       std::to_string(random()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

TEST(DxfExport_File, ReplacesAnExistingFile) {
    const std::filesystem::path dir = fresh_temp_dir("dxf_replace");
    const std::string path = (dir / "lap.dxf").string();
    {
        std::ofstream old(path, std::ios::binary);
        old << std::string(200000, 'x') << "\r\nold\r\n";
    }
    const std::string text = dz::dxf_export(make_state(7));
    EXPECT_EQ(dz::write_file_replace(path, text), std::nullopt);
    const std::optional<std::string> back = dz::read_file(path);
    ASSERT_TRUE(back.has_value());
    EXPECT_TRUE(*back == text);
    EXPECT_EQ(std::filesystem::file_size(path), text.size());
    std::filesystem::remove_all(dir);
}

// A Python interpreter that has the ezdxf reader, or "" when there is none.
std::string python_with_ezdxf() {
    for (const std::string candidate : {"python3", "/usr/bin/python3"}) {
        const std::string probe = candidate + " -c \"import ezdxf\" >/dev/null 2>&1";
        if (std::system(probe.c_str()) == 0) return candidate;
    }
    return "";
}

TEST(DxfExport_Reader, EzdxfLoadsAuditsAndReadsBack) {
    const std::string python = python_with_ezdxf();
    if (python.empty()) GTEST_SKIP() << "no python3 with ezdxf";
    const std::filesystem::path dir = fresh_temp_dir("dxf_reader");
    std::string args;
    for (const int n : {3, 40, 500}) {
        WorkingState ws = make_state(n, 75);
        ws.SPINDLE = n == 40;
        ws.NUM_LEAVES = n == 40 ? 6 : 4;
        // negative x on the first zones
        ws.edge_at(1, 0, 0) = -0.0437L;
        if (n > 1) ws.edge_at(1, 1, 0) = -0.0125L;
        if (n == 3) ws.TARGET_TEXT = "Caption with {braces} and \\back\\slashes\\PTarget:  b = 0.000, R = 800.000}";
        const std::string base = (dir / ("zones" + std::to_string(n))).string();
        ASSERT_EQ(dz::write_file_replace(base + ".dxf", dz::dxf_export(ws)), std::nullopt);
        // what the reader must find: the caption, then x y per vertex in mm
        std::ostringstream expected;
        expected << (ws.SPINDLE ? "{Spindle Tessaro, " : "{2/5 Stroke Tessaro, ") << ws.NUM_LEAVES
                 << " Leaves\\P" << ws.TARGET_TEXT << '\n';
        expected.precision(10);
        for (int k = 0; k < n; ++k) {
            expected << static_cast<double>(ws.edge_at(1, k, 0) * ws.OUTER_RADIUS) << ' '
                     << static_cast<double>(ws.edge_at(1, k, 1) * ws.OUTER_RADIUS) << '\n';
        }
        ASSERT_EQ(dz::write_file_replace(base + ".expected", expected.str()), std::nullopt);
        args += " '" + base + "'";
    }
    const std::string log = (dir / "reader.log").string();
    const std::string command = python + " '" + std::string(DOROZIRI_SOURCE_DIR) +
                                "/tests/dxf_reader_check.py'" + args + " >'" + log + "' 2>&1";
    const int status = std::system(command.c_str());
    const std::string output = dz::read_file(log).value_or("(no output)");
    std::filesystem::remove_all(dir);
    std::printf("%s", output.c_str());
    EXPECT_EQ(status, 0) << output;
}

}  // namespace
