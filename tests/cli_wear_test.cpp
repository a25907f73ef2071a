// SPDX-License-Identifier: GPL-3.0-or-later
// The wear options of the command-line tool (the stroke, the lap's size,
// the pressure, the model), the comparison of two tests and the rate, and
// the refusals of option values and of outputs that share standard output.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.hpp"
#include "lap_document/lap_document.hpp"
#include "preston_wear/wear_settings.hpp"
#include "tests/test_files.hpp"
#include "tests/test_folder.hpp"
#include "wear_compare/wear_compare.hpp"

namespace {

using dz::testing::file_bytes;

struct CliRun {
    int code;
    std::string out, err;
};

CliRun run(const std::vector<std::string>& args, const std::optional<dz::FileIdentity>& standard_output = {},
           char sep = '.') {
    std::ostringstream out, err;
    const int code = dz::run_cli(args, sep, out, err, standard_output);
    return {code, out.str(), err.str()};
}

const std::string EXAMPLES = std::string(DOROZIRI_SOURCE_DIR) + "/examples/";
const std::string MIRROR = EXAMPLES + "mirror200.srf";
const std::string BEFORE = EXAMPLES + "wear-before.srf";
const std::string AFTER = EXAMPLES + "wear-after.srf";

// The number after `label` on its line of `table` (period separator); NAN
// when the line is missing.
double figure(const std::string& table, const std::string& label) {
    const auto at = table.find(label);
    if (at == std::string::npos) return NAN;
    return std::strtod(table.c_str() + at + label.size(), nullptr);
}

// The whole line of `table` that starts with `start`, without its line end.
std::string line_starting(const std::string& table, const std::string& start) {
    const auto at = table.find("\n" + start);
    if (at == std::string::npos) return {};
    const auto end = table.find('\r', at + 1);
    return table.substr(at + 1, end - at - 1);
}

// The check table the document gives for these wear settings (and design).
std::string document_table(const std::string& surface, const dz::WearSettings& wear,
                           dz::LapDesign design = dz::LapDesign::classic) {
    dz::LapDocument doc('.');
    EXPECT_FALSE(doc.open(surface).refused);
    EXPECT_FALSE(doc.set_wear(wear).refused);
    EXPECT_FALSE(doc.set_design(design, false).fit_failed);
    return doc.check_bytes();
}

class CliWearTest : public testing::Test {
protected:
    void SetUp() override { dir_ = dz::testing::fresh_test_folder("doroziri_cli_wear_"); }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    std::string write(const std::string& name, const std::string& bytes) const {
        dz::testing::put_bytes(dir_ / name, bytes);
        return path(name);
    }
    std::filesystem::path dir_;
};

TEST_F(CliWearTest, EachWearOptionTakesEffectAsTheDocumentsSetting) {
    struct Case {
        std::vector<std::string> args;
        dz::WearSettings wear;
        const char* model_line;  // the start of the "Wear model:" line's text
    };
    dz::WearSettings stroke, offset, size, load, matrix, all;
    stroke.stroke = 0.35;
    offset.offset = 0.1;
    size.lap_size = 0.6;
    load.pressure = dz::PressureModel::load;
    matrix.model = dz::WearLaw::matrix;
    all = {0.3, 0.05, 0.7, dz::PressureModel::load, dz::WearLaw::preston};
    const std::vector<Case> cases = {
        {{"--stroke", "0.35"}, stroke, "Wear model: Preston's law, stroke 0.35 of the diameter"},
        {{"--stroke-offset", "0.1"}, offset, "Wear model: Preston's law, stroke 0.20 of the diameter, offset 0.10"},
        {{"--lap-size", "0.6"}, size, "Wear model: Preston's law, stroke 0.20 of the diameter, lap 0.60"},
        {{"--pressure", "load"}, load, "Wear model: Preston's law, stroke 0.20 of the diameter, constant total load"},
        {{"--wear", "matrix"}, matrix, "Wear model: the classic zone wear matrix"},
        {{"--pressure", "load", "--lap-size", "0.7", "--stroke", "0.3", "--stroke-offset", "0.05", "--wear",
          "preston"},
         all, "Wear model: Preston's law, stroke 0.30 of the diameter, offset 0.05"},
    };
    const std::string default_table = run({"--check", "-", MIRROR}).out;
    ASSERT_NE(default_table.find("Wear model: Preston's law, stroke 0.20"), std::string::npos) << default_table;
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--check", "-", MIRROR});
        SCOPED_TRACE(args.front() + " " + args[1]);
        const CliRun r = run(args);
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out, document_table(MIRROR, c.wear));
        EXPECT_NE(r.out, default_table);
        EXPECT_EQ(line_starting(r.out, "Wear model:").rfind(c.model_line, 0), 0u) << r.out;
        // the fit is made for the model and stroke in force
        args.insert(args.begin(), {"--design", "fit"});
        const CliRun fit = run(args);
        ASSERT_EQ(fit.code, 0) << fit.err;
        EXPECT_EQ(fit.out, document_table(MIRROR, c.wear, dz::LapDesign::fit));
    }
    // the settings read with the user's separator
    std::string comma = file_bytes(MIRROR);
    for (char& ch : comma) ch = ch == '.' ? ',' : ch;
    const std::string komma = write("komma.srf", comma);
    const CliRun r = run({"--stroke", "0,35", "--check", "-", komma}, {}, ',');
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("stroke 0,35 of the diameter"), std::string::npos);
}

TEST_F(CliWearTest, RefusalsAndUsageErrors) {
    const std::string out_file = path("out.txt");
    dz::WearSettings short_stroke, small_lap, side;
    short_stroke.stroke = 0;
    small_lap.lap_size = 0.2;
    side.offset = -0.1;
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string err_start;  // exit 1: the whole message; exit 2: the start
    };
    const std::string usage = "doroziri-cli: ";
    const std::vector<Case> cases = {
        {{"--stroke", "x"}, 2, usage + "--stroke: 'x' is not a valid floating point value\nusage:"},
        {{"--stroke-offset", ""}, 2, usage + "--stroke-offset: '' is not a valid floating point value\nusage:"},
        {{"--lap-size", "0.5 0.6"}, 2, usage + "--lap-size: '0.5 0.6' is not a valid floating point value\n"},
        {{"--leaves", ""}, 2, usage + "--leaves: '' is not a valid integer value\nusage:"},
        {{"--leaves", "abc"}, 2, usage + "--leaves: 'abc' is not a valid integer value\nusage:"},
        {{"--leaves", "4.5"}, 2, usage + "--leaves: '4.5' is not a valid integer value\nusage:"},
        {{"--efficiency", ""}, 2, usage + "--efficiency: '' is not a valid floating point value\nusage:"},
        {{"--minutes", "45"}, 2, usage + "--minutes goes with --compare AFTER_FILE\nusage:"},
        {{"--compare", AFTER}, 2, usage + "--compare needs --minutes T"},
        {{"--compare", AFTER, "--minutes", "x"}, 2, usage + "--minutes: 'x' is not a valid floating point value\n"},
        {{"--compare", AFTER, "--minutes", "4", "--rate", "3"}, 2, usage + "--rate and --compare both give"},
        {{"--rate", "fast"}, 2, usage + "--rate: 'fast' is not a valid floating point value\nusage:"},
        {{"--wear", "newton"}, 2, usage + "--wear takes preston or matrix\nusage:"},
        {{"--pressure", "high"}, 2, usage + "--pressure takes uniform or load\nusage:"},
        {{"--pdf", path("a.pdf"), "--pdf", path("b.pdf")}, 2, usage + "--pdf is given twice; give each option once\n"},
        {{"--stroke", "0.3", "--stroke", "0.3"}, 2, usage + "--stroke is given twice"},
        {{"--free-focus", "--free-focus"}, 2, usage + "--free-focus is given twice"},
        {{"--stroke", "0"}, 1, *dz::check_wear_settings(short_stroke)},
        {{"--lap-size", "0.2"}, 1, *dz::check_wear_settings(small_lap)},
        {{"--stroke-offset", "-0.1"}, 1, *dz::check_wear_settings(side)},
        {{"--compare", AFTER, "--minutes", "0"}, 1, dz::MINUTES_REFUSED},
        {{"--compare", AFTER, "--minutes", "-3"}, 1, dz::MINUTES_REFUSED},
        {{"--rate", "0", "--check", "-"}, 1, dz::RATE_REFUSED},
        {{"--compare", path("missing.srf"), "--minutes", "5"}, 1, path("missing.srf") + " not found, try again."},
        {{"--compare", out_file, "--minutes", "5", "--txt", out_file}, 1,
         "Not written: " + out_file + " is the later test that is compared"},
    };
    dz::testing::put_bytes(out_file, file_bytes(AFTER));
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back(BEFORE);
        SCOPED_TRACE(args[0] + " " + (args.size() > 2 ? args[1] : ""));
        const CliRun r = run(args);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.out, "");
        const std::string expected = c.code == 1 ? c.err_start + (c.err_start.back() == '.' ? "\n" : "") : c.err_start;
        EXPECT_EQ(r.err.substr(0, expected.size()), expected) << r.err;
    }
    EXPECT_EQ(file_bytes(out_file), file_bytes(AFTER));
    EXPECT_FALSE(std::filesystem::exists(path("a.pdf")));
    EXPECT_FALSE(std::filesystem::exists(path("b.pdf")));
}

TEST_F(CliWearTest, CompareGivesBackTheExamplePairsRate) {
    // the pair was made by the time-stepped Preston simulation: the classic
    // lap, the default stroke, 45 minutes at 30 per minute, 2 nm of noise
    const CliRun r = run({"--compare", AFTER, "--minutes", "45", BEFORE});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NEAR(figure(r.out, "Rate: "), 30, 0.03 * 30) << r.out;
    EXPECT_GE(figure(r.out, "Share of the measured removal explained: "), 95);
    EXPECT_NE(r.out.find(" per minute (Preston)\r\n"), std::string::npos);
    EXPECT_NE(r.out.find(" per minute (matrix)\r\n"), std::string::npos);
    EXPECT_NE(r.out.find("radius, mm\tmeasured\tleaf width\tpredicted\tresidual" +
                         std::string(dz::COMPARISON_COLUMNS) + "\r\n"),
              std::string::npos);
    // the rate turns the prediction into minutes, and --check takes the table
    const double rate = figure(r.out, "Rate: ");
    EXPECT_GT(figure(r.out, "Polishing time: "), 0);
    ASSERT_EQ(run({"--compare", AFTER, "--minutes", "45", "--check", path("c.txt"), BEFORE}).code, 0);
    EXPECT_EQ(file_bytes(path("c.txt")), r.out);
    // the rate given instead gives the same polishing time
    std::ostringstream given;
    given << rate;
    const CliRun with_rate = run({"--rate", given.str(), "--check", "-", BEFORE});
    ASSERT_EQ(with_rate.code, 0) << with_rate.err;
    EXPECT_EQ(line_starting(with_rate.out, "Polishing time:"), line_starting(r.out, "Polishing time:"));
    EXPECT_EQ(line_starting(run({"--check", "-", BEFORE}).out, "Polishing time:"), "");
    // standard output takes one table: the text export needs a file of its own
    const CliRun both = run({"--compare", AFTER, "--minutes", "45", "--txt", "-", BEFORE});
    EXPECT_EQ(both.code, 2);
    EXPECT_EQ(both.err, "doroziri-cli: --txt - and --compare - name the same file; give each export a file of its own.\n");
}

TEST_F(CliWearTest, PistonChangeGivesRateAndShareZero) {
    // every value 10 lower: a new zero of the test, no glass taken away
    std::istringstream in(file_bytes(BEFORE));
    std::string after, line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (number >= 6 && !line.empty()) {
            const auto tab = line.rfind('\t');
            std::ostringstream value;
            value.precision(17);
            value << std::strtod(line.c_str() + tab + 1, nullptr) - 10;
            line = line.substr(0, tab + 1) + value.str();
        }
        after += line + "\n";
    }
    const CliRun r = run({"--compare", write("piston.srf", after), "--minutes", "30", BEFORE});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(figure(r.out, "Rate: "), 0) << r.out;
    EXPECT_EQ(figure(r.out, "Share of the measured removal explained: "), 0);
    EXPECT_EQ(r.out.find("nan"), std::string::npos);
    EXPECT_EQ(r.out.find("inf"), std::string::npos);
}

TEST_F(CliWearTest, StandardOutputIsOneTargetWhateverItsName) {
    // standard output is a file here; names that lead to it are standard output
    const std::string behind = write("behind.txt", "");
    const auto identity = dz::file_identity(behind);
    ASSERT_TRUE(identity);
    const std::string surface = write("s.srf", file_bytes(MIRROR));
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"--check", "-", "--check-png", behind, MIRROR}, 2,
         "doroziri-cli: --check - and --check-png " + behind +
             " name the same file; give each export a file of its own.\n"},
        {{"--txt", behind, "--svg", "-", MIRROR}, 2,
         "doroziri-cli: --txt " + behind + " and --svg - name the same file; give each export a file of its own.\n"},
        {{"--compare", AFTER, "--minutes", "45", "--dxf", behind, BEFORE}, 2,
         "doroziri-cli: --dxf " + behind + " and --compare - name the same file; give each export a file of its own.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        const CliRun r = run(c.args, identity);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(file_bytes(behind), "");
    // ... and when standard output is the surface file (">> s.srf"), nothing
    // goes there, whether named "-" or left to the default text export
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--check", "-", surface}, std::vector<std::string>{surface}}) {
        const CliRun r = run(args, dz::file_identity(surface));
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "Not written: standard output is the surface file " + surface +
                             ", and the output would land in the measurement; send it to another file.\n");
    }
    EXPECT_EQ(file_bytes(surface), file_bytes(MIRROR));
    // while an export to another file still runs beside it
    EXPECT_EQ(run({"--txt", path("t.txt"), surface}, dz::file_identity(surface)).code, 0);
}

}  // namespace
