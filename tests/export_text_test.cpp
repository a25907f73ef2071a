// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the text export and of writing an export to a file.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "file_io/file_io.hpp"
#include "export/text_export.hpp"
#include "working_state/working_state.hpp"

#include "tests/test_files.hpp"

namespace {

using dz::testing::file_bytes;

using dz::Real;

const Real NaN = std::numeric_limits<Real>::quiet_NaN();

struct Zone {
    Real radius, x, y;  // radius in mm, edge-0 point
};

// A drawn state holding the given zones; edge 1 holds NaN so that an export
// of the wrong edge shows.
dz::WorkingState drawn_state(const std::string& caption, const std::vector<Zone>& zones) {
    dz::WorkingState ws;
    ws.PLOT_CAPTION = caption;
    ws.TARGET_TEXT = "not exported";
    ws.ZONE_COUNT = static_cast<int>(zones.size());
    ws.LAST_ZONE = ws.ZONE_COUNT - 1;
    ws.LEAF_EDGES.assign(zones.size() * 4, NaN);
    for (int k = 0; k < ws.ZONE_COUNT; ++k) {
        const Zone& z = zones[static_cast<std::size_t>(k)];
        ws.ZONE_RADIUS.push_back(z.radius);
        ws.ZONE_RAW.push_back(NaN);
        ws.ZONE_PROFILE.push_back(NaN);
        ws.edge_at(0, k, 0) = z.x;
        ws.edge_at(0, k, 1) = z.y;
    }
    ws.OUTER_RADIUS = zones.empty() ? 0 : zones.back().radius;
    ws.loaded = true;
    return ws;
}

std::filesystem::path temp_folder() {
    std::random_device seed;
    const auto dir = std::filesystem::temp_directory_path() /
                     ("doroziri_export_text_test_" + std::to_string(seed()) + std::to_string(seed()));
    std::filesystem::create_directories(dir);
    return dir;
}

TEST(TextExport_Bytes, HandBuiltStates) {
    const std::string header = "radius, mm\tx/radius\ty/radius\r\n";
    struct Case {
        const char* what;
        std::string caption;
        std::vector<Zone> zones;
        char sep;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"one zone", "Test mirror", {{30, 0.5L, 0.25L}}, '.',
         "Test mirror\r\n" + header + "30.0\t0.5000\t0.2500\r\n"},
        {"comma", "Test mirror", {{30, 0.5L, 0.25L}}, ',',
         "Test mirror\r\n" + header + "30,0\t0,5000\t0,2500\r\n"},
        {"empty caption", "", {{30, 0.5L, 0.25L}}, '.', "\r\n" + header + "30.0\t0.5000\t0.2500\r\n"},
        {"caption bytes and separators kept", "M\xe9lange 1.5 \t", {{7.25L, -0.125L, 0.99999L}}, ',',
         "M\xe9lange 1.5 \t\r\n" + header + "7,3\t-0,1250\t1,0000\r\n"},
        {"rounding and signs", "c",
         {{0, 0, 0}, {2.5L, 0.00004L, -0.00006L}, {12.34L, -0.70716L, 0.70714L}, {99.96L, 1, -1}, {100, -0.0L, 1}},
         '.',
         "c\r\n" + header + "0.0\t0.0000\t0.0000\r\n" + "2.5\t0.0000\t-0.0001\r\n" + "12.3\t-0.7072\t0.7071\r\n" +
             "100.0\t1.0000\t-1.0000\r\n" + "100.0\t0.0000\t1.0000\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const dz::WorkingState ws = drawn_state(c.caption, c.zones);
        EXPECT_EQ(dz::text_export(ws, c.sep), c.expected);
    }
}

TEST(TextExport_Shape, LineCountAndLineEnds) {
    for (int zones : {1, 2, 41, 500}) {
        std::vector<Zone> z;
        for (int k = 0; k < zones; ++k) z.push_back({static_cast<Real>(k + 1), 0.5L, 0.5L});
        const std::string text = dz::text_export(drawn_state("caption", z), '.');
        // 2 + ZONE_COUNT lines, each ended by CR LF, no other CR or LF.
        std::size_t crs = 0, lfs = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n') {
                ++lfs;
                EXPECT_TRUE(i > 0 && text[i - 1] == '\r');
            }
            if (text[i] == '\r') ++crs;
        }
        EXPECT_EQ(lfs, static_cast<std::size_t>(zones) + 2);
        EXPECT_EQ(crs, lfs);
        ASSERT_GE(text.size(), 2u);
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
        EXPECT_EQ(text.find("\t\r\n"), std::string::npos);  // no trailing tab
    }
}

TEST(WriteFileReplace_Files, ReplacesAndReportsFailure) {
    const std::filesystem::path dir = temp_folder();
    const std::filesystem::path file = dir / "leaf.txt";
    {
        std::ofstream old(file, std::ios::binary);
        old << std::string(10000, 'x');
    }
    const std::string bytes = "cap\r\nradius, mm\tx/radius\ty/radius\r\n30.0\t0.5000\t0.2500\r\n";
    EXPECT_EQ(dz::write_file_replace(file.string(), bytes), std::nullopt);
    EXPECT_EQ(file_bytes(file), bytes);  // replaced whole, not overwritten in part
    EXPECT_EQ(dz::read_file(file.string()), std::optional<std::string>(bytes));
    // Empty contents give an empty file.
    EXPECT_EQ(dz::write_file_replace(file.string(), ""), std::nullopt);
    EXPECT_EQ(std::filesystem::file_size(file), 0u);

    // A path inside a folder that does not exist: a message, no file.
    const std::filesystem::path missing = dir / "no such folder" / "leaf.txt";
    const std::optional<std::string> failure = dz::write_file_replace(missing.string(), bytes);
    ASSERT_TRUE(failure.has_value());
    EXPECT_NE(failure->find(missing.string()), std::string::npos) << *failure;
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_EQ(dz::read_file(missing.string()), std::nullopt);
    // A folder in place of the file.
    EXPECT_TRUE(dz::write_file_replace(dir.string(), bytes).has_value());

    std::filesystem::remove_all(dir);
}

}  // namespace
