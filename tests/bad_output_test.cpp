// SPDX-License-Identifier: GPL-3.0-or-later
// What bad output paths get: an export path that cannot be written, the
// surface file itself, two outputs to one file, a write that fails midway.

#include "tests/bad_input_support.hpp"

using namespace dz::bad_input_test;

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
