// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the bad input tests share: good and bad surface files, the messages
// they get, a loaded state to keep, the window with a good surface loaded.

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.hpp"
#include "window/commands.hpp"
#include "export/dxf_export.hpp"
#include "file_io/file_io.hpp"
#include "export/text_export.hpp"
#include "lap_load/calc_lap.hpp"
#include "surface/surface_reader.hpp"
#include "tests/scripted_dialogs.hpp"
#include "tests/state_compare.hpp"
#include "tests/test_files.hpp"
#include "tests/test_folder.hpp"

namespace dz::bad_input_test {

namespace fs = std::filesystem;
using dz::Real;
using dz::WorkingState;
using dz::testing::FileAnswer;
using dz::testing::names_in;
using dz::testing::RecordingView;
using dz::testing::ScriptedDialogs;

inline const std::string HEADER = "Test mirror\nignored\n-1.000\n2000.0\nignored\n";

// Ten zones at radii 0, 5, ..., 45 mm, values above and below zero.
inline std::string good_zones() {
    const char* values[] = {"0.000", "0.030", "0.050", "0.040", "0.010",
                            "-0.020", "-0.040", "-0.030", "0.000", "0.020"};
    std::string text;
    for (int k = 0; k < 10; ++k) text += std::to_string(5 * k) + " 0 " + values[k] + "\n";
    return text;
}

// Its caption differs from that of the bad files, so that a refused load that
// took over the caption shows.
inline std::string good_surface() { return "Good mirror\nignored\n-1.000\n2000.0\nignored\n" + good_zones(); }

inline std::string zone_lines(int count) {
    std::string text;
    for (int k = 0; k < count; ++k) text += std::to_string(k + 1) + " 0 0.01\n";
    return text;
}

// The whole working state that the user sees or a later command reads.
inline ::testing::AssertionResult same_state(const WorkingState& a, const WorkingState& b) {
    const std::vector<std::string> differ = dz::testing::differing_fields(a, b);
    if (differ.empty()) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure() << "changed:";
    for (const auto& name : differ) failure << ' ' << name;
    return failure;
}

// A good surface loaded, then 6 leaves and 80 % efficiency: a state that a
// refused load or command must leave exactly as it is.
inline WorkingState loaded_state() {
    WorkingState ws;
    EXPECT_EQ(dz::CALC_LAP(ws, good_surface(), false, '.'), std::nullopt);
    EXPECT_EQ(dz::set_num_leaves(ws, 6), std::nullopt);
    EXPECT_EQ(dz::apply_efficiency(ws, 80), std::nullopt);
    return ws;
}

inline const std::string B_MESSAGE = "ERROR reading this line, expected b value (probably wrong file):  ";
inline const std::string R_MESSAGE = "ERROR reading this line, expected R value (probably wrong file):  ";
inline const std::string NO_ZONES =
    "The surface file has no zone lines: after the five header lines, each line must hold a zone "
    "radius, a second value and a measured value.";
inline const std::string RADIUS_ZERO =
    "The last zone of the surface file lies at radius 0; the last zone must be the outermost, at a "
    "radius above 0.";

inline std::string few_numbers(int line, const std::string& text) {
    return "Line " + std::to_string(line) +
           " of the surface file has fewer than three numbers (zone radius, second value, measured "
           "value):  \"" + text + "\"";
}

inline const std::string ELLIPSIS = "\xe2\x80\xa6";

// ASCII text as UTF-16 with its byte-order mark, as a Windows editor saves it.
inline std::string utf16_le(const std::string& text) {
    std::string out = "\xff\xfe";
    for (const char c : text) out += std::string{c, '\0'};
    return out;
}

struct BadFile {
    const char* kind;
    std::string bytes;
    std::string message;
};

// One entry per kind of bad surface file.
inline std::vector<BadFile> bad_files() {
    const std::string png = std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    return {
        {"not a surface file: text of another program", "x y z\n1 2 3\nradius;value\n1;2\n",
         B_MESSAGE + "\"radius;value\""},
        {"not a surface file: binary, renamed", png, B_MESSAGE + "\"\""},
        {"not a surface file: empty", "", B_MESSAGE + "\"\""},
        {"bad line 3", "c\nx\nb = -1\n2000\nx\n" + good_zones(), B_MESSAGE + "\"b = -1\""},
        {"bad line 3: only blanks", "c\nx\n \t \n2000\nx\n" + good_zones(), B_MESSAGE + "\" \t \""},
        {"bad line 4", "c\nx\n-1\nR=2000\nx\n" + good_zones(), "'R=2000' is not a valid floating point value"},
        {"bad line 4: missing", "c\nx\n-1\n", R_MESSAGE + "\"\""},
        {"bad data line: measured value", HEADER + "0 0 1\n5 0 1,5\n",
         "'1,5' is not a valid floating point value"},
        {"bad data line: second number, never used", HEADER + "0 0 1\n5 x 1\n",
         "'x' is not a valid floating point value"},
        {"bad data line: number of absurd size", HEADER + "0 0 1\n5 0 1e5000\n",
         "'1e5000' is not a valid floating point value"},
        {"too few numbers", HEADER + "0 0 1\n5 0\n10 0 2\n", few_numbers(7, "5 0")},
        {"too few numbers: half-written file", HEADER + "0 0 1\n5 0 2\n10 0", few_numbers(8, "10 0")},
        {"too many zones", HEADER + zone_lines(1000),
         "The surface file has more than 500 zone lines; at most 500 zones can be read (line 506)."},
        {"no zones", HEADER, NO_ZONES},
        {"no zones: only blank lines", HEADER + "\n  \n\t\n", NO_ZONES},
        {"outer radius 0", HEADER + "10 0 1\n20 0 2\n0 0 3\n", RADIUS_ZERO},
        {"singular matrix: a zone radius repeated", HEADER + "0 0 1\n10 0 1\n10 0 1\n20 0 3\n",
         "INFO = 3\nWarning: line 8 of the surface file: the zone radius repeats that of line 7:  \"10 0 1\"; the "
         "file was read as it stands."},
        {"failed spline fit: one zone", HEADER + "10 0 2\n",
         "SPLINE INFO = 1\nWarning: the surface file has 1 zone line; the smoothing of the profile needs three zones "
         "or more, at different radii."},
        {"failed spline fit: two zones", HEADER + "0 0 1\n10 0 2\n",
         "SPLINE INFO = 2\nWarning: the surface file has 2 zone lines; the smoothing of the profile needs three "
         "zones or more, at different radii."},
        {"non-finite results", HEADER + "0 0 1\n10 0 1\n20 0 1e4932\n30 0 1\n", dz::LOAD_NOT_FINITE},
        {"UTF-16 text", utf16_le(good_surface()), dz::UTF16_MESSAGE},
        {"a token of 200,000 characters", HEADER + "0 0 1\n5 0 " + std::string(200'000, '7') + "x\n",
         "'" + std::string(120, '7') + ELLIPSIS + std::string(119, '7') + "x' is not a valid floating point value"},
        {"a line 3 of 1 MB", "c\nx\n" + std::string(1'000'000, 'q') + "\n2000\nx\n" + good_zones(),
         B_MESSAGE + "\"" + std::string(120, 'q') + ELLIPSIS + std::string(120, 'q') + "\""},
    };
}

inline std::string read_bytes(const fs::path& path) { return dz::testing::file_bytes(path); }

// Each test works in a folder of its own.
class BadInput : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = dz::testing::fresh_test_folder("doroziri_bad_input_");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(dir_, ignored);
    }

    std::string write(const std::string& name, const std::string& bytes) const {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
        return (dir_ / name).string();
    }

    // The command-line tool; returns the exit status.
    int cli(const std::vector<std::string>& args, std::string& out, std::string& err) const {
        std::ostringstream o, e;
        const int status = dz::run_cli(args, '.', o, e);
        out = o.str();
        err = e.str();
        return status;
    }

    fs::path dir_;
};

// The window's handlers with a good surface loaded, 6 leaves and 80 %.
struct Window {
    ScriptedDialogs dialogs;
    RecordingView view;
    dz::LapCommands commands{dialogs, view, '.', "."};

    explicit Window(const std::string& good_path) {
        commands.FormCreate({});
        dialogs.files.push_back(FileAnswer{good_path});
        commands.Open1Click();
        dialogs.answers.push_back("6");
        commands.NP_LABELClick();
        dialogs.answers.push_back("80");
        commands.INCR_LABELClick();
        EXPECT_TRUE(dialogs.messages.empty());
        EXPECT_TRUE(commands.state().loaded);
        dialogs.messages.clear();
    }
};

// The window with a good surface opens `path`: one message box, nothing
// redrawn, the labels and the working state as they were.
inline void expect_open_refused(const std::string& good, const std::string& path, const std::string& message) {
    Window window(good);
    const WorkingState before = window.commands.state();
    const dz::ViewState view_before = window.commands.view();
    const int draws = window.view.draws;
    window.dialogs.files.push_back(FileAnswer{path});
    window.commands.Open1Click();
    EXPECT_EQ(window.dialogs.messages, std::vector<std::string>{message});
    EXPECT_EQ(window.view.draws, draws);
    EXPECT_EQ(window.commands.view(), view_before);
    EXPECT_TRUE(same_state(before, window.commands.state()));
}


}  // namespace dz::bad_input_test
