// SPDX-License-Identifier: GPL-3.0-or-later
// Real loads of the bundled examples against golden files: the 80 bits of
// every value of ZONE_PROFILE and LEAF_EDGES, and the bytes of the text and
// DXF exports, for both lap types at 4 leaves and 100 % efficiency.
//
// The golden files in tests/data/ are <example>_<lap>.bits, .txt and .dxf.
// They pin what a load gives today; a change that moves one bit shows here.
// To write them anew (only for an intended change of the results), run
//     golden_load_test --write-golden DIR
// which writes the twelve files into DIR (normally tests/data of the source
// tree) and runs no test.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "export/dxf_export.hpp"
#include "export/text_export.hpp"
#include "file_io/file_io.hpp"
#include "lap_load/calc_lap.hpp"
#include "tests/same_bits.hpp"
#include "tests/test_files.hpp"

namespace {

using dz::Real;

struct Golden {
    const char* example;  // in examples/, without ".srf"
    bool spindle;
};

constexpr Golden GOLDENS[] = {
    {"mirror200", false}, {"mirror200", true}, {"profile500", false}, {"profile500", true}};

std::string stem(const Golden& g) { return std::string(g.example) + (g.spindle ? "_spindle" : "_stroke"); }

// How gtest names a case in its messages.
void PrintTo(const Golden& g, std::ostream* out) { *out << stem(g); }

std::string source_path(const std::string& relative) { return std::string(DOROZIRI_SOURCE_DIR) + "/" + relative; }

// The load as the window and the tool make it: the default settings, '.'.
std::optional<dz::WorkingState> load(const Golden& g, std::string& failure) {
    const std::string bytes = dz::testing::file_bytes(source_path(std::string("examples/") + g.example + ".srf"));
    dz::WorkingState ws;
    if (const auto message = dz::CALC_LAP(ws, bytes, g.spindle, '.')) {
        failure = *message;
        return std::nullopt;
    }
    return ws;
}

// One line per zone: "zone K PROFILE X0 Y0 X1 Y1", each value as the 20 hex
// digits of its 10 bytes (dz::testing::hex_bits), after a header line with
// PROFILE_MIN and BASE_OFFSET.
std::string bits_text(const dz::WorkingState& ws) {
    using dz::testing::hex_bits;
    std::ostringstream out;
    out << "zones " << ws.ZONE_COUNT << " PROFILE_MIN " << hex_bits(ws.PROFILE_MIN) << " BASE_OFFSET "
        << hex_bits(ws.BASE_OFFSET) << "\n";
    for (int k = 0; k < ws.ZONE_COUNT; ++k) {
        out << "zone " << k << " " << hex_bits(ws.ZONE_PROFILE[static_cast<std::size_t>(k)]);
        for (int edge = 0; edge < 2; ++edge) {
            out << " " << hex_bits(ws.edge_at(edge, k, 0)) << " " << hex_bits(ws.edge_at(edge, k, 1));
        }
        out << "\n";
    }
    return out.str();
}

std::vector<std::string> lf_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class GoldenLoad : public ::testing::TestWithParam<Golden> {};

TEST_P(GoldenLoad, ProfileAndOutlineBits) {
    const Golden g = GetParam();
    std::string failure;
    const auto ws = load(g, failure);
    ASSERT_TRUE(ws) << failure;
    const std::string golden = dz::testing::file_bytes(source_path("tests/data/" + stem(g) + ".bits"));
    ASSERT_FALSE(golden.empty()) << "no golden file " << stem(g) << ".bits";
    const std::vector<std::string> want = lf_lines(golden);
    const std::vector<std::string> got = lf_lines(bits_text(*ws));
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        // The first line that differs is enough to see which value moved.
        ASSERT_EQ(got[i], want[i]) << "line " << i + 1 << " of " << stem(g) << ".bits";
    }
}

TEST_P(GoldenLoad, TextAndDxfExportBytes) {
    const Golden g = GetParam();
    std::string failure;
    const auto ws = load(g, failure);
    ASSERT_TRUE(ws) << failure;
    const std::string txt = dz::testing::file_bytes(source_path("tests/data/" + stem(g) + ".txt"));
    const std::string dxf = dz::testing::file_bytes(source_path("tests/data/" + stem(g) + ".dxf"));
    ASSERT_FALSE(txt.empty() || dxf.empty()) << "golden exports of " << stem(g) << " missing";
    EXPECT_TRUE(dz::text_export(*ws, '.') == txt) << stem(g) << ".txt differs";
    EXPECT_TRUE(dz::dxf_export(*ws) == dxf) << stem(g) << ".dxf differs";
}

std::string golden_name(const ::testing::TestParamInfo<Golden>& p) { return stem(p.param); }

INSTANTIATE_TEST_SUITE_P(Examples, GoldenLoad, ::testing::ValuesIn(GOLDENS), golden_name);

// The two lap types give other outlines of the same profile: the golden
// files do not stand for each other.
TEST(GoldenLoad_Files, LapTypesDifferInOutlineOnly) {
    for (const char* example : {"mirror200", "profile500"}) {
        const auto stroke = lf_lines(dz::testing::file_bytes(source_path(std::string("tests/data/") + example + "_stroke.bits")));
        const auto spindle = lf_lines(dz::testing::file_bytes(source_path(std::string("tests/data/") + example + "_spindle.bits")));
        ASSERT_EQ(stroke.size(), spindle.size()) << example;
        ASSERT_GT(stroke.size(), 1u) << example;
        for (std::size_t i = 1; i < stroke.size(); ++i) {
            const std::size_t profile_end = stroke[i].find(' ', stroke[i].find(' ') + 1) + 21;
            EXPECT_EQ(stroke[i].substr(0, profile_end), spindle[i].substr(0, profile_end)) << example << " line " << i + 1;
        }
        EXPECT_NE(stroke, spindle) << example;
    }
}

// Writes the golden files of every example into `dir`; 0 when all were written.
int write_goldens(const std::string& dir) {
    for (const Golden& g : GOLDENS) {
        std::string failure;
        const auto ws = load(g, failure);
        if (!ws) {
            std::fprintf(stderr, "%s: %s\n", stem(g).c_str(), failure.c_str());
            return 1;
        }
        const std::string base = dir + "/" + stem(g);
        for (const auto& [path, bytes] : {std::pair{base + ".bits", bits_text(*ws)},
                                          std::pair{base + ".txt", dz::text_export(*ws, '.')},
                                          std::pair{base + ".dxf", dz::dxf_export(*ws)}}) {
            if (const auto error = dz::write_file_replace(path, bytes)) {
                std::fprintf(stderr, "%s\n", error->c_str());
                return 1;
            }
            std::printf("wrote %s (%zu bytes)\n", path.c_str(), bytes.size());
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--write-golden") == 0) return write_goldens(argv[2]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
