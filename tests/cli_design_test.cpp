// SPDX-License-Identifier: GPL-3.0-or-later
// The design options of the command-line tool: classic stays the golden
// files byte for byte, the fit changes the outline and names itself in the
// DXF caption and the check table, and bad values are refused.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.hpp"
#include "tests/test_files.hpp"
#include "tests/test_folder.hpp"

namespace {

using dz::testing::file_bytes;

struct CliResult {
    int code;
    std::string out, err;
};

CliResult cli(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int code = dz::run_cli(args, '.', out, err);
    return {code, out.str(), err.str()};
}

const std::string SOURCE = DOROZIRI_SOURCE_DIR;

std::string line(const std::string& text, int number) {
    std::istringstream in(text);
    std::string got;
    for (int i = 0; i <= number && std::getline(in, got);) ++i;
    return got;
}

class CliDesignTest : public testing::Test {
protected:
    void SetUp() override { dir_ = dz::testing::fresh_test_folder("doroziri_cli_design_"); }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    std::filesystem::path dir_;
};

TEST_F(CliDesignTest, ClassicIsTheGoldenFiles_FitDiffersAndNamesItself) {
    for (const char* example : {"mirror200", "profile500"}) {
        const std::string surface = SOURCE + "/examples/" + example + ".srf";
        for (const char* lap : {"stroke", "spindle"}) {
            const std::string name = std::string(example) + "_" + lap;
            SCOPED_TRACE(name);
            const std::string golden_txt = file_bytes(SOURCE + "/tests/data/" + name + ".txt");
            const std::string golden_dxf = file_bytes(SOURCE + "/tests/data/" + name + ".dxf");
            ASSERT_FALSE(golden_dxf.empty());
            CliResult r = cli({"--design", "classic", "--lap", lap, "--txt", path("c.txt"), "--dxf", path("c.dxf"), surface});
            ASSERT_EQ(r.code, 0) << r.err;
            EXPECT_TRUE(file_bytes(path("c.txt")) == golden_txt);
            EXPECT_TRUE(file_bytes(path("c.dxf")) == golden_dxf);

            r = cli({"--design", "fit", "--lap", lap, "--txt", path("f.txt"), "--dxf", path("f.dxf"), "--check",
                     path("f.check"), surface});
            ASSERT_EQ(r.code, 0) << r.err;
            const std::string txt = file_bytes(path("f.txt"));
            const std::string dxf = file_bytes(path("f.dxf"));
            const std::string check = file_bytes(path("f.check"));
            if (std::string(lap) == "spindle") {  // the fit is for the stroke only
                EXPECT_TRUE(txt == golden_txt);
                EXPECT_TRUE(dxf == golden_dxf);
                EXPECT_EQ(check.find("Design:"), std::string::npos);
                continue;
            }
            EXPECT_FALSE(txt == golden_txt);
            // the text export keeps its format: the same caption, header and radii
            EXPECT_EQ(line(txt, 0), line(golden_txt, 0));
            EXPECT_EQ(line(txt, 1), line(golden_txt, 1));
            EXPECT_EQ(std::count(txt.begin(), txt.end(), '\n'), std::count(golden_txt.begin(), golden_txt.end(), '\n'));
            EXPECT_FALSE(dxf == golden_dxf);
            EXPECT_NE(dxf.find("{2/5 Stroke Tessaro, least-squares fit for Preston's law, stroke 0.20 of the diameter, "
                               "4 Leaves\\P"), std::string::npos);
            EXPECT_EQ(golden_dxf.find("least-squares"), std::string::npos);
            EXPECT_EQ(line(check, 1), "Design: least-squares fit of the leaf widths; free focus off\r");
            EXPECT_EQ(line(check, 2), "Wear model: Preston's law, stroke 0.20 of the diameter\r");
            EXPECT_EQ(line(check, 7), "radius, mm\tmeasured\tleaf width\tpredicted\tresidual\r");
        }
    }
}

TEST_F(CliDesignTest, FreeFocus_InTheCaptionTableAndFigures) {
    const std::string surface = SOURCE + "/examples/parabolise200.srf";
    CliResult plain = cli({"--design", "fit", "--check", "-", surface});
    CliResult focus = cli({"--design", "fit", "--free-focus", "--check", "-", "--dxf", path("f.dxf"), surface});
    ASSERT_EQ(plain.code, 0) << plain.err;
    ASSERT_EQ(focus.code, 0) << focus.err;
    EXPECT_EQ(line(focus.out, 1),
              "Design: least-squares fit of the leaf widths; free focus on (a term in the square of the radius is "
              "removed too)\r");
    EXPECT_NE(file_bytes(path("f.dxf")).find("{2/5 Stroke Tessaro, least-squares fit with free focus for Preston's law, "
                                                   "stroke 0.20 of the diameter, 4 Leaves"),
              std::string::npos);
    // the share of the RMS left, from the summary line
    auto share = [](const std::string& table) {
        const std::string key = "Share of the RMS left: ";
        const auto at = table.find(key);
        return at == std::string::npos ? -1.0 : std::stod(table.substr(at + key.size()));
    };
    EXPECT_GT(share(plain.out), 0);
    EXPECT_LT(share(focus.out), share(plain.out));
    EXPECT_LE(share(focus.out), 40);

    // classic with free focus: the table says so; the outline is the classic one
    CliResult classic = cli({"--free-focus", "--check", "-", "--dxf", path("c.dxf"), SOURCE + "/examples/mirror200.srf"});
    ASSERT_EQ(classic.code, 0) << classic.err;
    EXPECT_EQ(line(classic.out, 1).rfind("Design: classic; free focus on", 0), 0u) << line(classic.out, 1);
    EXPECT_TRUE(file_bytes(path("c.dxf")) == file_bytes(SOURCE + "/tests/data/mirror200_stroke.dxf"));
}

TEST_F(CliDesignTest, BadValuesRefused_HelpNamesTheOptions) {
    const std::string surface = SOURCE + "/examples/mirror200.srf";
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--design", "best", surface}, {"--design", "Fit", surface}, {"--design"}}) {
        const CliResult r = cli(args);
        EXPECT_EQ(r.code, 2);
        EXPECT_NE(r.err.find("usage: doroziri-cli"), std::string::npos);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_NE(cli({"--design", "best", surface}).err.find("--design takes classic or fit"), std::string::npos);
    const std::string help = cli({"--help"}).out;
    EXPECT_NE(help.find("--design classic|fit"), std::string::npos);
    EXPECT_NE(help.find("--free-focus"), std::string::npos);
    EXPECT_NE(help.find("max(0.10, 1 - efficiency / 100)"), std::string::npos);
}

}  // namespace
