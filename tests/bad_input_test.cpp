// SPDX-License-Identifier: GPL-3.0-or-later
// What bad input gets: for every kind of bad input, the message the user
// sees and the state afterwards, through the load itself, the window's
// command handlers and the command-line tool.

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

#include "app/cli.hpp"
#include "app/commands.hpp"
#include "export/dxf_export.hpp"
#include "file_io/file_io.hpp"
#include "export/text_export.hpp"
#include "lap_load/calc_lap.hpp"
#include "surface/surface_reader.hpp"
#include "scripted_dialogs.hpp"
#include "tests/state_compare.hpp"
#include "tests/test_files.hpp"
#include "tests/test_folder.hpp"

namespace fs = std::filesystem;
using dz::Real;
using dz::WorkingState;
using dz::testing::FileAnswer;
using dz::testing::names_in;
using dz::testing::RecordingView;
using dz::testing::ScriptedDialogs;

namespace {

const std::string HEADER = "Test mirror\nignored\n-1.000\n2000.0\nignored\n";

// Ten zones at radii 0, 5, ..., 45 mm, values above and below zero.
std::string good_zones() {
    const char* values[] = {"0.000", "0.030", "0.050", "0.040", "0.010",
                            "-0.020", "-0.040", "-0.030", "0.000", "0.020"};
    std::string text;
    for (int k = 0; k < 10; ++k) text += std::to_string(5 * k) + " 0 " + values[k] + "\n";
    return text;
}

// Its caption differs from that of the bad files, so that a refused load that
// took over the caption shows.
std::string good_surface() { return "Good mirror\nignored\n-1.000\n2000.0\nignored\n" + good_zones(); }

std::string zone_lines(int count) {
    std::string text;
    for (int k = 0; k < count; ++k) text += std::to_string(k + 1) + " 0 0.01\n";
    return text;
}

// The whole working state that the user sees or a later command reads.
::testing::AssertionResult same_state(const WorkingState& a, const WorkingState& b) {
    const std::vector<std::string> differ = dz::testing::differing_fields(a, b);
    if (differ.empty()) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure() << "changed:";
    for (const auto& name : differ) failure << ' ' << name;
    return failure;
}

// A good surface loaded, then 6 leaves and 80 % efficiency: a state that a
// refused load or command must leave exactly as it is.
WorkingState loaded_state() {
    WorkingState ws;
    EXPECT_EQ(dz::CALC_LAP(ws, good_surface(), false, '.'), std::nullopt);
    EXPECT_EQ(dz::set_num_leaves(ws, 6), std::nullopt);
    EXPECT_EQ(dz::apply_efficiency(ws, 80), std::nullopt);
    return ws;
}

const std::string B_MESSAGE = "ERROR reading this line, expected b value (probably wrong file):  ";
const std::string R_MESSAGE = "ERROR reading this line, expected R value (probably wrong file):  ";
const std::string NO_ZONES =
    "The surface file has no zone lines: after the five header lines, each line must hold a zone "
    "radius, a second value and a measured value.";
const std::string RADIUS_ZERO =
    "The last zone of the surface file lies at radius 0; the last zone must be the outermost, at a "
    "radius above 0.";

std::string few_numbers(int line, const std::string& text) {
    return "Line " + std::to_string(line) +
           " of the surface file has fewer than three numbers (zone radius, second value, measured "
           "value):  \"" + text + "\"";
}

const std::string ELLIPSIS = "\xe2\x80\xa6";

// ASCII text as UTF-16 with its byte-order mark, as a Windows editor saves it.
std::string utf16_le(const std::string& text) {
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
std::vector<BadFile> bad_files() {
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
        {"singular matrix: a zone radius repeated", HEADER + "0 0 1\n10 0 1\n10 0 1\n20 0 3\n", "INFO = 3"},
        {"failed spline fit: one zone", HEADER + "10 0 2\n", "SPLINE INFO = 1"},
        {"failed spline fit: two zones", HEADER + "0 0 1\n10 0 2\n", "SPLINE INFO = 2"},
        {"non-finite results", HEADER + "0 0 1\n10 0 1\n20 0 1e4932\n30 0 1\n", dz::LOAD_NOT_FINITE},
        {"UTF-16 text", utf16_le(good_surface()), dz::UTF16_MESSAGE},
        {"a token of 200,000 characters", HEADER + "0 0 1\n5 0 " + std::string(200'000, '7') + "x\n",
         "'" + std::string(120, '7') + ELLIPSIS + std::string(119, '7') + "x' is not a valid floating point value"},
        {"a line 3 of 1 MB", "c\nx\n" + std::string(1'000'000, 'q') + "\n2000\nx\n" + good_zones(),
         B_MESSAGE + "\"" + std::string(120, 'q') + ELLIPSIS + std::string(120, 'q') + "\""},
    };
}

std::string read_bytes(const fs::path& path) { return dz::testing::file_bytes(path); }

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
void expect_open_refused(const std::string& good, const std::string& path, const std::string& message) {
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

}  // namespace

// Each bad file is refused with its message; the state before, loaded or
// empty, stays exactly as it was, both separators alike.
TEST_F(BadInput, LoadRefusedWithMessageAndStateKept) {
    for (const BadFile& bad : bad_files()) {
        SCOPED_TRACE(bad.kind);
        for (const bool from_loaded : {true, false}) {
            WorkingState ws = from_loaded ? loaded_state() : WorkingState{};
            const WorkingState before = ws;
            for (const bool spindle : {false, true}) {
                EXPECT_EQ(dz::CALC_LAP(ws, bad.bytes, spindle, '.'), bad.message);
                EXPECT_TRUE(same_state(before, ws));
            }
        }
    }
}

// The same files through the window: one message box, nothing redrawn, the
// labels and the working state as they were; and through the command-line
// tool: the message on standard error, nothing written, exit status 1.
TEST_F(BadInput, LoadRefusedInWindowAndCommandLine) {
    const std::string good = write("good.srf", good_surface());
    int index = 0;
    for (const BadFile& bad : bad_files()) {
        SCOPED_TRACE(bad.kind);
        const std::string path = write("bad" + std::to_string(index++) + ".srf", bad.bytes);

        expect_open_refused(good, path, bad.message);

        const std::string txt = (dir_ / "out.txt").string();
        std::string out, err;
        EXPECT_EQ(cli({"--txt", txt, path}, out, err), 1);
        EXPECT_EQ(err, bad.message + "\n");
        EXPECT_EQ(out, "");
        EXPECT_FALSE(fs::exists(txt));
    }
}

// Right at the limits the file loads: 500 zones, three zones, numbers near
// the ends of the range that stay finite.
TEST_F(BadInput, LimitsJustInsideLoad) {
    const std::vector<std::pair<const char*, std::string>> files = {
        {"500 zones", HEADER + zone_lines(500)},
        {"three zones", HEADER + "0 0 1\n10 0 2\n20 0 3\n"},
        {"huge measured values", HEADER + "0 0 1e4930\n10 0 -1e4930\n20 0 1e4930\n30 0 1\n"},
        {"tiny radii", HEADER + "0 0 1\n1e-4940 0 1\n2e-4940 0 1\n1 0 1\n"},
        {"blank lines between zones", HEADER + "0 0 1\n\n10 0 2\n \t\n20 0 3\n\n"},
    };
    for (const auto& [kind, bytes] : files) {
        SCOPED_TRACE(kind);
        WorkingState ws;
        ASSERT_EQ(dz::CALC_LAP(ws, bytes, false, '.'), std::nullopt);
        EXPECT_TRUE(ws.loaded);
        for (const Real v : ws.LEAF_EDGES) EXPECT_TRUE(std::isfinite(v));
        const std::string dxf = dz::dxf_export(ws);
        EXPECT_EQ(dxf.find("\r\nNAN\r\n"), std::string::npos);
        EXPECT_EQ(dxf.find("INF\r\n"), std::string::npos);
    }
}

// A file that is missing, or that cannot be read, gives the file name and
// " not found, try again."; the state stays.
TEST_F(BadInput, MissingOrUnreadableFile) {
    const std::string good = write("good.srf", good_surface());
    fs::create_directories(dir_ / "folder.srf");
    std::vector<std::pair<std::string, std::string>> cases = {
        // path given, name the message shows
        {(dir_ / "missing.srf").string(), (dir_ / "missing.srf").string()},
        {(dir_ / "missing").string(), (dir_ / "missing.srf").string()},
        {(dir_ / "folder.srf").string(), (dir_ / "folder.srf").string()},
    };
    if (geteuid() != 0) {  // root reads a file of mode 000 all the same
        const std::string locked = write("locked.srf", good_surface());
        fs::permissions(locked, fs::perms::none);
        cases.emplace_back(locked, locked);
    }
    for (const auto& [path, shown] : cases) {
        SCOPED_TRACE(path);
        const std::string message = shown + dz::NOT_FOUND_SUFFIX;

        std::string out, err;
        EXPECT_EQ(cli({path}, out, err), 1);
        EXPECT_EQ(err, message + "\n");
        EXPECT_EQ(out, "");

        // The window's open dialog hands over the path as chosen.
        Window window(good);
        const WorkingState before = window.commands.state();
        const int draws = window.view.draws;
        window.dialogs.files.push_back(FileAnswer{shown});
        window.commands.Open1Click();
        EXPECT_EQ(window.dialogs.messages, std::vector<std::string>{message});
        EXPECT_EQ(window.view.draws, draws);
        EXPECT_TRUE(same_state(before, window.commands.state()));
    }
}

// Prompt answers that are not numbers, or numbers the commands refuse: the
// message, and labels, plot and state as they were.
TEST_F(BadInput, BadPromptAnswersKeepState) {
    const std::string good = write("good.srf", good_surface());
    struct Case {
        bool leaves;  // the number-of-leaves prompt, else the efficiency prompt
        const char* answer;
        std::string message;
        // The tool's, where it differs (it has no label to fit); empty: taken.
        std::optional<std::string> cli_message = std::nullopt;
    };
    const std::vector<Case> cases = {
        {true, "abc", "'abc' is not a valid integer value"},
        {true, "4.5", "'4.5' is not a valid integer value"},
        {true, "99999999999", "'99999999999' is not a valid integer value"},
        {true, "$10", "'$10' is not a valid integer value"},
        {true, "0", dz::LEAVES_REFUSED},
        {true, "-3", dz::LEAVES_REFUSED},
        {false, "ten", "'ten' is not a valid floating point value"},
        {false, "80%", "'80%' is not a valid floating point value"},
        {false, "1e5000", "'1e5000' is not a valid floating point value"},
        {false, "nan", "'nan' is not a valid floating point value"},
        {false, "0", dz::EFFICIENCY_REFUSED},
        {false, "-50", dz::EFFICIENCY_REFUSED},
        {false, "1e-4950", dz::efficiency_range_message('.'), dz::NOT_FINITE_REFUSED},
        {false, "1e9", dz::efficiency_range_message('.'), ""},
        {true, "1000", dz::LEAVES_RANGE_MESSAGE, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        Window window(good);
        const WorkingState before = window.commands.state();
        const dz::ViewState view_before = window.commands.view();
        const int draws = window.view.draws;
        window.dialogs.answers.push_back(c.answer);
        if (c.leaves) {
            window.commands.NP_LABELClick();
        } else {
            window.commands.INCR_LABELClick();
        }
        EXPECT_EQ(window.dialogs.messages, std::vector<std::string>{c.message});
        EXPECT_EQ(window.view.draws, draws);
        EXPECT_EQ(window.commands.view(), view_before);
        EXPECT_TRUE(same_state(before, window.commands.state()));

        // The command-line tool refuses the same value with the same message.
        std::string out, err;
        const std::string cli_message = c.cli_message.value_or(c.message);
        EXPECT_EQ(cli({c.leaves ? "--leaves" : "--efficiency", c.answer, good}, out, err), cli_message.empty() ? 0 : 1);
        EXPECT_EQ(err, cli_message.empty() ? "" : cli_message + "\n");
        if (cli_message.empty()) continue;
        EXPECT_EQ(out, "");
    }
}

// An export path that cannot be created or written: the system's error text,
// the working state unchanged, other files untouched.
TEST_F(BadInput, ExportPathThatCannotBeWritten) {
    const std::string good = write("good.srf", good_surface());
    fs::create_directories(dir_ / "folder.dxf");
    struct Case {
        std::string path;
        std::string reason;
    };
    std::vector<Case> cases = {
        {(dir_ / "no_such_folder" / "lap.dxf").string(), "No such file or directory"},
        {(dir_ / "folder.dxf").string(), "Is a directory"},
    };
    if (fs::exists("/dev/full")) cases.push_back({"/dev/full", "No space left on device"});

    const WorkingState ws = loaded_state();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const std::string message = "Cannot write " + c.path + ": " + c.reason + ".";
        for (const std::string& bytes : {dz::dxf_export(ws), dz::text_export(ws, '.')}) {
            EXPECT_EQ(dz::write_file_replace(c.path, bytes), message);
        }

        for (const bool dxf : {true, false}) {
            Window window(good);
            const WorkingState before = window.commands.state();
            const int draws = window.view.draws;
            window.dialogs.files.push_back(FileAnswer{c.path});
            if (dxf) {
                window.commands.Save1Click();
            } else {
                window.commands.Savetxt1Click();
            }
            EXPECT_EQ(window.dialogs.messages, std::vector<std::string>{message});
            EXPECT_EQ(window.view.draws, draws);
            EXPECT_TRUE(same_state(before, window.commands.state()));
        }

        // The tool stops at the failing export and says why; the text export
        // asked for before it is written whole.
        const std::string txt = (dir_ / "first.txt").string();
        std::string out, err;
        EXPECT_EQ(cli({"--txt", txt, "--dxf", c.path, good}, out, err), 1);
        EXPECT_EQ(err, message + "\n");
        WorkingState plain;
        ASSERT_EQ(dz::CALC_LAP(plain, good_surface(), false, '.'), std::nullopt);
        EXPECT_EQ(read_bytes(txt), dz::text_export(plain, '.'));
        fs::remove(txt);
    }
    EXPECT_TRUE(fs::is_directory(dir_ / "folder.dxf"));
    EXPECT_TRUE(fs::is_empty(dir_ / "folder.dxf"));
}

namespace {

// Writes of regular files beyond `bytes` fail with "File too large" while
// an object of this type lives, as on a nearly full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        previous_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previous_handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit previous_{};
    void (*previous_handler_)(int) = nullptr;
};

}  // namespace

// What is not a regular file is refused before anything is read from it: a
// FIFO without a writer (which would wait for ever), /dev/zero and
// /dev/urandom (which would fill the memory), a link to one. In the window
// (open dialog and command line) and in the tool alike.
TEST_F(BadInput, NotARegularFileRefusedBeforeReading) {
    const std::string good = write("good.srf", good_surface());
    const std::string fifo = (dir_ / "fifo.srf").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", dir_ / "zero.srf");
    fs::create_symlink("/dev/urandom", dir_ / "urandom.srf");
    const std::string tail = ", not a file: open a surface file saved on a disk.";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {fifo, fifo + " is a FIFO (named pipe)" + tail},
        {"/dev/zero", "/dev/zero is a character device" + tail},
        {"/dev/urandom", "/dev/urandom is a character device" + tail},
        {(dir_ / "zero.srf").string(), (dir_ / "zero.srf").string() + " is a character device" + tail},
        {(dir_ / "urandom.srf").string(), (dir_ / "urandom.srf").string() + " is a character device" + tail},
    };
    for (const auto& [path, message] : cases) {
        SCOPED_TRACE(path);
        expect_open_refused(good, path, message);

        // The window's command line and the tool add ".srf" to /dev/zero.
        if (dz::surface_file_name(path) != path) continue;
        ScriptedDialogs dialogs;
        RecordingView view;
        dz::LapCommands started(dialogs, view, '.', ".");
        started.FormCreate({path});
        EXPECT_EQ(dialogs.messages, std::vector<std::string>{message});
        EXPECT_FALSE(started.state().loaded);

        std::string out, err;
        EXPECT_EQ(cli({"--txt", (dir_ / "out.txt").string(), path}, out, err), 1);
        EXPECT_EQ(err, message + "\n");
        EXPECT_FALSE(fs::exists(dir_ / "out.txt"));
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
}

// An export onto the surface file that was read, by its own name, another
// spelling, a link or a hard link: refused, the measurement kept byte for
// byte, in the window's two save commands and in the tool's three exports.
TEST_F(BadInput, ExportOntoTheSurfaceFileRefused) {
    const std::string good = write("good.srf", good_surface());
    fs::create_directories(dir_ / "sub");
    fs::create_symlink("good.srf", dir_ / "link.srf");
    fs::create_hard_link(good, dir_ / "hard.srf");
    const std::vector<std::string> targets = {good, (dir_ / "sub" / ".." / "good.srf").string(),
                                              (dir_ / "link.srf").string(), (dir_ / "hard.srf").string()};
    for (const std::string& target : targets) {
        SCOPED_TRACE(target);
        const std::string message = dz::export_onto_surface_message(target);
        for (const bool dxf : {true, false}) {
            Window window(good);
            const WorkingState before = window.commands.state();
            window.dialogs.files.push_back(FileAnswer{target});
            if (dxf) {
                window.commands.Save1Click();
            } else {
                window.commands.Savetxt1Click();
            }
            EXPECT_EQ(window.dialogs.messages, std::vector<std::string>{message});
            EXPECT_TRUE(same_state(before, window.commands.state()));
            EXPECT_EQ(read_bytes(good), good_surface());
        }
        for (const char* option : {"--txt", "--dxf", "--png"}) {
            std::string out, err;
            EXPECT_EQ(cli({option, target, good}, out, err), 1) << option;
            EXPECT_EQ(err, message + "\n");
            EXPECT_EQ(read_bytes(good), good_surface());
        }
    }
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.srf"));
    // Another file of the same content is not the surface file.
    const std::string copy = write("copy.srf", good_surface());
    Window window(good);
    window.dialogs.files.push_back(FileAnswer{copy});
    window.commands.Savetxt1Click();
    EXPECT_TRUE(window.dialogs.messages.empty());
    EXPECT_NE(read_bytes(copy), good_surface());
}

// Two outputs to one file (also through another spelling or a link, or both
// to standard output) are refused before anything is read, computed or
// written: exit status 2, as for a wrong option.
TEST_F(BadInput, TwoOutputsToOneFileRefused) {
    const std::string good = write("good.srf", good_surface());
    const std::string a = (dir_ / "a").string();
    write("existing.txt", "keep me");
    fs::create_symlink("existing.txt", dir_ / "link.txt");
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::string same = " name the same file; give each export a file of its own.";
    const std::vector<Case> cases = {
        {{"--txt", a, "--dxf", a}, "--txt " + a + " and --dxf " + a + same},
        {{"--txt", a, "--png", dir_.string() + "/./a"}, "--txt " + a + " and --png " + dir_.string() + "/./a" + same},
        {{"--dxf", (dir_ / "existing.txt").string(), "--txt", (dir_ / "link.txt").string()},
         "--txt " + (dir_ / "link.txt").string() + " and --dxf " + (dir_ / "existing.txt").string() + same},
        {{"--txt", "-", "--png", "-"}, "--txt - and --png -" + same},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        for (const std::string& surface : {good, (dir_ / "missing.srf").string()}) {
            std::vector<std::string> args = c.args;
            args.push_back(surface);
            std::string out, err;
            EXPECT_EQ(cli(args, out, err), 2);
            EXPECT_EQ(err, "doroziri-cli: " + c.message + "\n");
            EXPECT_EQ(out, "");
        }
        EXPECT_FALSE(fs::exists(a));
        EXPECT_EQ(read_bytes(dir_ / "existing.txt"), "keep me");
    }
    EXPECT_EQ(names_in(dir_), (std::vector<std::string>{"existing.txt", "good.srf", "link.txt"}));
}

// A write that fails part-way (the file size limit stands in for a full
// disk) leaves the old export byte for byte and no temporary file, in the
// window and in the tool.
TEST_F(BadInput, FailedWriteKeepsTheOldFile) {
    const std::string good = write("good.srf", good_surface());
    const std::string old_dxf(3000, 'd');
    const std::string old_txt = "an old text export\r\n";
    const std::string dxf = write("lap.dxf", old_dxf);
    const std::string txt = write("lap.txt", old_txt);
    const auto folder_before = names_in(dir_);
    const std::string too_large = ": File too large.";
    {
        Window window(good);
        const FileSizeLimit limit(4096);
        window.dialogs.files.push_back(FileAnswer{dxf});
        window.commands.Save1Click();
        EXPECT_EQ(window.dialogs.messages, std::vector<std::string>{"Cannot write " + dxf + too_large});

        std::string out, err;
        EXPECT_EQ(cli({"--dxf", dxf, good}, out, err), 1);
        EXPECT_EQ(err, "Cannot write " + dxf + too_large + "\n");
    }
    EXPECT_EQ(read_bytes(dxf), old_dxf);
    EXPECT_EQ(names_in(dir_), folder_before);
    {
        Window window(good);
        const FileSizeLimit limit(100);
        window.dialogs.files.push_back(FileAnswer{txt});
        window.commands.Savetxt1Click();
        EXPECT_EQ(window.dialogs.messages, std::vector<std::string>{"Cannot write " + txt + too_large});
    }
    EXPECT_EQ(read_bytes(txt), old_txt);
    EXPECT_EQ(names_in(dir_), folder_before);

    // Without the limit both are replaced.
    Window window(good);
    window.dialogs.files.push_back(FileAnswer{dxf});
    window.commands.Save1Click();
    EXPECT_TRUE(window.dialogs.messages.empty());
    EXPECT_EQ(read_bytes(dxf), dz::dxf_export(window.commands.state()));
}

// Data that is read as designed but almost surely a mistake loads, with one
// warning line: in the window a line under the plot, no message box; in the
// tool a line on standard error, exit status 0. The next clean load clears it.
TEST_F(BadInput, DoubtfulRadiiLoadWithOneWarning) {
    const std::string good = write("good.srf", good_surface());
    const std::string doubtful_text = HEADER + "0 0 0.01\n5 0 0.03\n15 0 0.02\n10 0 0.04\n20 0 0.0\n";
    const std::string doubtful = write("doubtful.srf", doubtful_text);
    const std::string warning =
        "Warning: line 9 of the surface file: the zone radius is smaller than that of the line before (not in "
        "ascending order):  \"10 0 0.04\"; the file was read as it stands.";

    Window window(good);
    EXPECT_EQ(window.commands.view().warning_text, "");
    const int draws = window.view.draws;
    window.dialogs.files.push_back(FileAnswer{doubtful});
    window.commands.Open1Click();
    EXPECT_TRUE(window.dialogs.messages.empty());
    EXPECT_EQ(window.view.draws, draws + 1);
    EXPECT_EQ(window.commands.view().warning_text, warning);
    EXPECT_EQ(window.view.shown.back().warning_text, warning);
    WorkingState plain;
    ASSERT_EQ(dz::CALC_LAP(plain, doubtful_text, false, '.'), std::nullopt);
    ASSERT_EQ(dz::set_num_leaves(plain, 6), std::nullopt);  // kept from before
    EXPECT_TRUE(same_state(plain, window.commands.state()));

    // A refused load keeps the warning of the surface still shown.
    window.dialogs.files.push_back(FileAnswer{(dir_ / "missing.srf").string()});
    window.commands.Open1Click();
    EXPECT_EQ(window.commands.view().warning_text, warning);
    window.dialogs.files.push_back(FileAnswer{good});
    window.commands.Open1Click();
    EXPECT_EQ(window.commands.view().warning_text, "");

    std::string out, err;
    EXPECT_EQ(cli({"--leaves", "6", doubtful}, out, err), 0);
    EXPECT_EQ(err, warning + "\n");
    EXPECT_EQ(out, dz::text_export(plain, '.'));
}
