// SPDX-License-Identifier: GPL-3.0-or-later
// What bad input gets: for every kind of bad input, the message the user
// sees and the state afterwards, through the load itself, the window's
// command handlers and the command-line tool.

#include "tests/bad_input_support.hpp"

using namespace dz::bad_input_test;

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

        // The command-line tool refuses the same value with the same message;
        // a value that is no number is a wrong option, named before it.
        std::string out, err;
        const std::string cli_message = c.cli_message.value_or(c.message);
        const std::string option = c.leaves ? "--leaves" : "--efficiency";
        const bool no_number = cli_message.find("' is not a valid ") != std::string::npos;
        EXPECT_EQ(cli({option, c.answer, good}, out, err), cli_message.empty() ? 0 : no_number ? 2 : 1);
        if (cli_message.empty()) {
            // Taken: at most the warning that an efficiency so high crosses the edges.
            EXPECT_TRUE(err.empty() || err.rfind("Warning: the leaf width is below zero at ", 0) == 0) << err;
            continue;
        }
        if (no_number) {
            EXPECT_EQ(err.substr(0, err.find("usage:")), "doroziri-cli: " + option + ": " + cli_message + "\n");
        } else {
            EXPECT_EQ(err, cli_message + "\n");
        }
        EXPECT_EQ(out, "");
    }
}

// An export path that cannot be created or written: the system's error text,
// the working state unchanged, other files untouched.

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
