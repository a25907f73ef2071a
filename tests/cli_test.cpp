// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the command-line tool, run in-process.

#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.hpp"
#include "lap_template/template_files.hpp"
#include "export/text_export.hpp"
#include "lap_load/calc_lap.hpp"
#include "removal/removal.hpp"
#include "tests/test_files.hpp"
#include "tests/test_folder.hpp"
#include "tests/test_text.hpp"

namespace {

using dz::testing::file_bytes;

using dz::Real;


struct CliRun {
    int code;
    std::string out, err;
};

CliRun run(const std::vector<std::string>& args, char sep = '.') {
    std::ostringstream out, err;
    const int code = dz::run_cli(args, sep, out, err);
    return {code, out.str(), err.str()};
}

const std::string EXAMPLES = std::string(DOROZIRI_SOURCE_DIR) + "/examples/";
const std::string MIRROR = EXAMPLES + "mirror200.srf";

// A golden file of tests/data; empty when it is missing.
std::string golden(const std::string& name) {
    return file_bytes(std::string(DOROZIRI_SOURCE_DIR) + "/tests/data/" + name);
}

std::vector<std::string> split_tabs(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
    return fields;
}

// The text export that the library gives for these steps, in this order.
struct Steps {
    bool lap_given = false;
    bool spindle = false;
    int leaves = 0;         // 0: not given
    Real efficiency = 0;    // 0: not given
};

std::string library_export(const std::string& bytes, const Steps& s, char sep = '.') {
    dz::WorkingState ws;
    EXPECT_EQ(dz::CALC_LAP(ws, bytes, false, sep), std::nullopt);
    if (s.lap_given) {
        EXPECT_EQ(dz::set_lap_type(ws, s.spindle), std::nullopt);
    }
    if (s.leaves != 0) {
        EXPECT_EQ(dz::set_num_leaves(ws, s.leaves), std::nullopt);
    }
    if (s.efficiency != 0) {
        EXPECT_EQ(dz::apply_efficiency(ws, s.efficiency), std::nullopt);
    }
    return dz::text_export(ws, sep);
}

class CliTest : public testing::Test {
protected:
    void SetUp() override { dir_ = dz::testing::fresh_test_folder("doroziri_cli_test_"); }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string write(const std::string& name, const std::string& bytes) const {
        const std::filesystem::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    std::filesystem::path dir_;
};

TEST_F(CliTest, TextExport_EachLapType) {
    struct Case {
        const char* what;
        std::vector<std::string> args;
        Steps steps;
    };
    const std::vector<Case> cases = {
        {"default", {MIRROR}, {}},
        {"stroke", {"--lap", "stroke", MIRROR}, {true, false}},
        {"spindle", {"--lap", "spindle", MIRROR}, {true, true}},
        {"no extension", {EXAMPLES + "mirror200"}, {}},
        {"to standard output by '-'", {"--txt", "-", MIRROR}, {}},
    };
    std::vector<std::string> outputs;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CliRun r = run(c.args);
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.err, "");
        outputs.push_back(r.out);
        EXPECT_EQ(r.out, golden(c.steps.spindle ? "mirror200_spindle.txt" : "mirror200_stroke.txt"));
        const std::vector<std::string> lines = dz::testing::crlf_lines(r.out);
        ASSERT_EQ(lines.size(), 43u);
        EXPECT_EQ(lines[0], "200 mm f/5 paraboloid, test of 7 December");
        EXPECT_EQ(lines[1], "radius, mm\tx/radius\ty/radius");
        for (std::size_t k = 2; k < lines.size(); ++k) {
            const std::vector<std::string> fields = split_tabs(lines[k]);
            ASSERT_EQ(fields.size(), 3u) << lines[k];
            EXPECT_EQ(fields[0].size() - fields[0].find('.'), 2u) << lines[k];
            EXPECT_EQ(fields[1].size() - fields[1].find('.'), 5u) << lines[k];
            EXPECT_EQ(fields[2].size() - fields[2].find('.'), 5u) << lines[k];
        }
        const std::vector<std::string> first = split_tabs(lines[2]);
        EXPECT_EQ(first[0], "0.0");
        EXPECT_EQ(lines[3].substr(0, 4), "2.5\t");
        // The outer zone on the unit circle, to within the four decimals.
        const std::vector<std::string> outer = split_tabs(lines[42]);
        EXPECT_EQ(outer[0], "100.0");
        const Real x = std::stold(outer[1]), y = std::stold(outer[2]);
        EXPECT_LE(std::fabs(std::hypot(x, y) - 1), 0.00005L * std::sqrt(2.0L) + 1e-12L);
    }
    EXPECT_EQ(outputs[0], outputs[1]);
    EXPECT_NE(outputs[2], outputs[1]);
    EXPECT_EQ(outputs[3], outputs[0]);
    EXPECT_EQ(outputs[4], outputs[0]);
}

TEST_F(CliTest, Options_AppliedLapLeavesEfficiency) {
    const std::string bytes = file_bytes(MIRROR);
    // The efficiency comes last whatever the order on the command line, so
    // the lap type does not reset it.
    const CliRun r = run({"--efficiency", "80", "--lap", "spindle", "--leaves", "6", MIRROR});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, library_export(bytes, {true, true, 6, 80}));
    EXPECT_NE(r.out, library_export(bytes, {true, true, 6, 0}));
    const CliRun leaves = run({"--leaves", "3", MIRROR});
    EXPECT_EQ(leaves.out, library_export(bytes, {false, false, 3, 0}));
    EXPECT_NE(leaves.out, library_export(bytes, {}));
}

TEST_F(CliTest, Txt_WritesAndReplacesFile) {
    const std::string target = write("leaf.txt", std::string(5000, 'x'));
    const CliRun r = run({"--txt", target, "--lap", "spindle", MIRROR});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "");  // nothing on standard output when a file is named
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(file_bytes(target), golden("mirror200_spindle.txt"));
}

// Both exports of both examples under both lap types, written to files,
// byte for byte as tests/data holds them (see golden_load_test).
TEST_F(CliTest, Exports_AsTheGoldenFiles) {
    for (const char* example : {"mirror200", "profile500"}) {
        for (const char* lap : {"stroke", "spindle"}) {
            const std::string name = std::string(example) + "_" + lap;
            SCOPED_TRACE(name);
            const std::string txt = (dir_ / (name + ".txt")).string();
            const std::string dxf = (dir_ / (name + ".dxf")).string();
            const CliRun r = run({"--lap", lap, "--txt", txt, "--dxf", dxf, EXAMPLES + example + ".srf"});
            ASSERT_EQ(r.code, 0) << r.err;
            EXPECT_TRUE(file_bytes(txt) == golden(name + ".txt"));
            EXPECT_TRUE(file_bytes(dxf) == golden(name + ".dxf"));
        }
    }
}

TEST_F(CliTest, CommaSeparator_FileOptionsAndExport) {
    std::string bytes = file_bytes(MIRROR);
    for (char& c : bytes) {
        if (c == '.') c = ',';
    }
    const std::string path = write("komma.srf", bytes);
    const CliRun r = run({"--efficiency", "87,5", path}, ',');
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, library_export(bytes, {false, false, 0, 87.5L}, ','));
    const std::vector<std::string> lines = dz::testing::crlf_lines(r.out);
    ASSERT_EQ(lines.size(), 43u);
    EXPECT_EQ(lines[3].substr(0, 4), "2,5\t");
    EXPECT_EQ(lines[42].substr(0, 6), "100,0\t");
    // A period is not the separator here: a wrong option, which says so.
    const CliRun period = run({"--efficiency", "87.5", path}, ',');
    EXPECT_EQ(period.code, 2);
    EXPECT_EQ(period.err.substr(0, period.err.find("usage:")),
              "doroziri-cli: --efficiency: '87.5' is not a valid floating point value\n"
              "Your regional settings ask for ',' as the decimal separator.\n");
    EXPECT_EQ(period.out, "");
}

TEST_F(CliTest, Version_IsTheProjectVersion) {
    const CliRun r = run({"--version"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), std::string("doroziri-cli ") + DOROZIRI_PROJECT_VERSION);
    EXPECT_NE(r.out.find("GPL-3.0-or-later"), std::string::npos);
    // Asked for with other arguments, it is all that is done.
    const std::string target = (dir_ / "leaf.txt").string();
    EXPECT_EQ(run({"--txt", target, "--version", MIRROR}).out, r.out);
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_NE(run({"--help"}).out.find("--version"), std::string::npos);
}

TEST_F(CliTest, LapTemplate_DxfWarningAndRefusals) {
    // The date on the template comes from SOURCE_DATE_EPOCH when it is set.
    ASSERT_EQ(setenv("SOURCE_DATE_EPOCH", "86400", 1), 0);
    const std::string dxf = (dir_ / "lap.dxf").string();
    CliRun r = run({"--leaves", "5", "--lap-dxf", dxf, MIRROR});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    dz::WorkingState ws;
    ASSERT_EQ(dz::CALC_LAP(ws, file_bytes(MIRROR), false, '.'), std::nullopt);
    ASSERT_EQ(dz::set_num_leaves(ws, 5), std::nullopt);
    EXPECT_EQ(dz::template_date(), "1970-01-02");
    EXPECT_EQ(file_bytes(dxf), dz::lap_dxf_bytes(ws, "1970-01-02"));
    EXPECT_NE(file_bytes(dxf).find("Date: 1970-01-02"), std::string::npos);
    r = run({"--leaves", "5", "--lap-dxf", "-", MIRROR});
    EXPECT_EQ(r.out, file_bytes(dxf));
    ASSERT_EQ(unsetenv("SOURCE_DATE_EPOCH"), 0);

    // Crossed edges: drawn, with the same warning wherever the widths are
    // shown or used; none at 100 %.
    for (const char* option : {"--lap-dxf", "--txt", "--dxf", "--check"}) {
        SCOPED_TRACE(option);
        const std::string file = (dir_ / "crossed.out").string();
        r = run({"--efficiency", "150", option, file, MIRROR});
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.err.rfind("Warning: the leaf width is below zero at ", 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        r = run({option, file, MIRROR});
        EXPECT_EQ(r.err, "");
    }
    r = run({"--efficiency", "150", MIRROR});  // the text export to standard output
    EXPECT_EQ(r.err.rfind("Warning: the leaf width is below zero at ", 0), 0u) << r.err;

    // Laps the templates cannot draw, and analyses out of their range:
    // refused with a message before anything is written.
    const std::string negative = write("negative.srf", "cap\nx\n-1\n2000\nx\n0 0 2\n-10 0 1\n-20 0 2\n-100 0 1\n");
    const std::string huge = write("huge.srf", "cap\nx\n-1\n2000\nx\n0 0 1\n5e11 0 2\n1e12 0 1\n");
    const std::string wide = write("wide.srf", "cap\nx\n-1\n2000\nx\n0 0 1\n1500 0 2\n3000 0 1\n");
    const std::string beyond = write("beyond.srf", "cap\nx\n-1\n2000\nx\n0 0 1\n10 0 2\n20 0 1e999\n30 0 2\n");
    struct Refused {
        std::vector<std::string> args;
        const char* message_start;
    };
    const std::string out = (dir_ / "refused.out").string();
    const Refused refusals[] = {
        {{"--lap", "spindle", "--svg", out, negative}, "The lap template needs an outer radius above 0 mm"},
        {{"--lap", "spindle", "--lap-dxf", out, huge}, "The lap template can draw an outer radius up to 1000000 mm"},
        {{"--lap", "spindle", "--txt", out, "--pdf", out + ".pdf", "--paper", "a4", wide},
         "The printed lap template would take 1008 pages of A4 paper"},
        {{"--txt", out, "--check", out + ".check", beyond}, "Zone 3 of the surface file has a measured value of 1e+999"},
        {{"--design", "fit", "--txt", out, beyond}, "The least-squares fit cannot be made for this surface: Zone 3"},
    };
    for (const Refused& c : refusals) {
        SCOPED_TRACE(c.message_start);
        r = run(c.args);
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find(c.message_start), std::string::npos) << r.err;  // after the reader's warning, if any
        EXPECT_FALSE(std::filesystem::exists(out));
    }
    r = run({"--lap", "spindle", "--lap-dxf", out, wide});  // no pages: drawn
    EXPECT_EQ(r.code, 0) << r.err;

    r = run({"--paper", "a5", "--pdf", (dir_ / "x.pdf").string(), MIRROR});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err.rfind("doroziri-cli: --paper takes a4 or letter\nusage:", 0), 0u) << r.err;
    r = run({"--lap-dxf", dxf, "--dxf", dxf, MIRROR});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "doroziri-cli: --dxf " + dxf + " and --lap-dxf " + dxf +
                         " name the same file; give each export a file of its own.\n");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "x.pdf"));
}

TEST_F(CliTest, Errors_MessagesAndExitStatus) {
    const std::string bad_b = write("bad.srf", "cap\nx\nb = -1\n2000\nx\n1 0 1\n");
    const std::string singular = write("singular.srf", "cap\nx\n-1\n2000\nx\n0 0 1\n0 0 2\n100 0 3\n");
    const std::string nothere = (dir_ / "nothere").string();
    const std::string unwritable = (dir_ / "no such folder" / "leaf.txt").string();
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int code;
        std::string err;  // whole standard error; empty: only its start is checked
        std::string err_start;
    };
    const std::vector<Case> cases = {
        {"missing file", {nothere}, 1, nothere + ".srf not found, try again.\n", ""},
        {"missing file with extension", {nothere + ".txt"}, 1, nothere + ".txt not found, try again.\n", ""},
        {"wrong third line", {bad_b}, 1,
         "ERROR reading this line, expected b value (probably wrong file):  \"b = -1\"\n", ""},
        {"singular wear matrix", {singular}, 1, "INFO = 2\nWarning: line 7 of the surface file: the zone radius repeats that of line 6:  \"0 0 2\"; the file was read as it stands.\n", ""},
        {"leaves not a number", {"--leaves", "six", MIRROR}, 2, "",
         "doroziri-cli: --leaves: 'six' is not a valid integer value\nusage:"},
        {"leaves 0", {"--leaves", "0", MIRROR}, 1, std::string(dz::LEAVES_REFUSED) + "\n", ""},
        {"leaves -2", {"--leaves", "-2", MIRROR}, 1, std::string(dz::LEAVES_REFUSED) + "\n", ""},
        {"efficiency 0", {"--efficiency", "0", MIRROR}, 1, std::string(dz::EFFICIENCY_REFUSED) + "\n", ""},
        {"efficiency -10", {"--efficiency", "-10", MIRROR}, 1, std::string(dz::EFFICIENCY_REFUSED) + "\n", ""},
        {"efficiency not a number", {"--efficiency", "abc", MIRROR}, 2, "",
         "doroziri-cli: --efficiency: 'abc' is not a valid floating point value\nusage:"},
        {"txt into a missing folder", {"--txt", unwritable, MIRROR}, 1, "", "Cannot write"},
        {"unknown option", {"--foo", MIRROR}, 2, "", "doroziri-cli: unknown option --foo\nusage:"},
        {"option without value", {MIRROR, "--leaves"}, 2, "", "doroziri-cli: --leaves needs a value\nusage:"},
        {"unknown lap type", {"--lap", "round", MIRROR}, 2, "", "doroziri-cli: --lap takes stroke or spindle\nusage:"},
        {"no surface file", {"--leaves", "5"}, 2, "", "doroziri-cli: no surface file given\nusage:"},
        {"two surface files", {MIRROR, MIRROR}, 2, "", "doroziri-cli: only one surface file can be given\nusage:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CliRun r = run(c.args);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.out, "");
        if (!c.err.empty()) {
            EXPECT_EQ(r.err, c.err);
        } else {
            EXPECT_EQ(r.err.substr(0, c.err_start.size()), c.err_start) << r.err;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(unwritable));
}

TEST_F(CliTest, Check_TheTableOfTheLapAsSet) {
    // the table after the settings, as the library writes it, to a file or
    // to standard output, with the user's separator
    const std::string target = (dir_ / "check.txt").string();
    const CliRun r = run({"--lap", "stroke", "--leaves", "6", "--efficiency", "80", "--check", target, MIRROR});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "");  // an export was asked for: no text export on standard output
    dz::WorkingState ws;
    ASSERT_FALSE(dz::CALC_LAP(ws, file_bytes(MIRROR), false, '.'));
    ASSERT_FALSE(dz::set_lap_type(ws, false));
    ASSERT_FALSE(dz::set_num_leaves(ws, 6));
    ASSERT_FALSE(dz::apply_efficiency(ws, 80));
    const std::string expected = dz::check_table(ws, dz::check_removal(ws, dz::WearModel(ws)), '.');
    EXPECT_EQ(file_bytes(target), expected);
    const std::string header = "\r\nradius, mm\tmeasured\tleaf width\tpredicted\tresidual\r\n";
    EXPECT_EQ(expected.substr(expected.find(header), header.size()), header);

    std::string komma = file_bytes(MIRROR);
    for (char& c : komma) {
        if (c == '.') c = ',';
    }
    const CliRun comma = run({"--check", "-", write("komma.srf", komma)}, ',');
    ASSERT_EQ(comma.code, 0) << comma.err;
    EXPECT_NE(comma.out.find("\r\n0,0\t"), std::string::npos);
    EXPECT_EQ(comma.out.find("\t0.0"), std::string::npos);

    // refused before anything is written: two outputs on one file, the
    // surface file itself
    const CliRun clash = run({"--check", target, "--txt", target, MIRROR});
    EXPECT_EQ(clash.code, 2);
    EXPECT_NE(clash.err.find("--txt " + target + " and --check " + target), std::string::npos) << clash.err;
    const std::string surface = write("own.srf", file_bytes(MIRROR));
    for (const char* option : {"--check", "--check-png"}) {
        const CliRun onto = run({option, surface, surface});
        EXPECT_EQ(onto.code, 1) << option;
        EXPECT_EQ(file_bytes(surface), file_bytes(MIRROR)) << option;
    }
    const std::string help = run({"--help"}).out;
    EXPECT_NE(help.find("--check FILE"), std::string::npos);
    EXPECT_NE(help.find("--check-png FILE"), std::string::npos);
}

}  // namespace
