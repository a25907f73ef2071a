// SPDX-License-Identifier: GPL-3.0-or-later
// The built doroziri-cli as a process, where only a process shows it: a
// run killed in the middle of an export, a file size limit, the PNG module's
// writes, and the user's locale from the environment.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/comma_locale.hpp"
#include "tests/test_files.hpp"
#include "tests/test_folder.hpp"

namespace fs = std::filesystem;

namespace {

using dz::testing::names_in;

std::string read_bytes(const fs::path& path) { return dz::testing::file_bytes(path); }
void put(const fs::path& path, const std::string& bytes) { dz::testing::put_bytes(path, bytes); }

const std::string MIRROR = std::string(DOROZIRI_SOURCE_DIR) + "/examples/mirror200.srf";

// How the tool is started.
struct Start {
    std::vector<std::string> args;
    fs::path folder;                          // working folder; stdout and stderr go to files here
    std::vector<std::string> environment;     // "NAME=value" set, "NAME" removed
    rlim_t file_size_limit = RLIM_INFINITY;
    bool ignore_file_size_signal = false;
    bool append_out = false;                  // stdout appends (">>") instead of replacing
};

// Starts the tool; stdout goes to folder/../NAME.out, stderr to .err.
pid_t start(const Start& s, const fs::path& out, const fs::path& err) {
    const pid_t child = ::fork();
    if (child != 0) return child;
    const int out_fd = ::open(out.c_str(), O_WRONLY | O_CREAT | (s.append_out ? O_APPEND : O_TRUNC), 0644);
    const int err_fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out_fd < 0 || err_fd < 0 || ::chdir(s.folder.c_str()) != 0) ::_exit(127);
    ::dup2(out_fd, 1);
    ::dup2(err_fd, 2);
    for (const std::string& e : s.environment) {
        const auto equals = e.find('=');
        if (equals == std::string::npos) {
            ::unsetenv(e.c_str());
        } else {
            ::setenv(e.substr(0, equals).c_str(), e.substr(equals + 1).c_str(), 1);
        }
    }
    if (s.ignore_file_size_signal) std::signal(SIGXFSZ, SIG_IGN);
    if (s.file_size_limit != RLIM_INFINITY) {
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = s.file_size_limit;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    std::vector<char*> argv;
    std::string program = DOROZIRI_CLI;
    argv.push_back(program.data());
    std::vector<std::string> args = s.args;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
}

struct Finished {
    int status = -1;  // exit status, or -1 when killed
    int signal = 0;   // the signal that ended it
    std::string out, err;
};

Finished finish(pid_t child, const fs::path& out, const fs::path& err) {
    int status = 0;
    ::waitpid(child, &status, 0);
    Finished f;
    if (WIFEXITED(status)) f.status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) f.signal = WTERMSIG(status);
    f.out = read_bytes(out);
    f.err = read_bytes(err);
    return f;
}

class CliProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        base_ = dz::testing::fresh_test_folder("doroziri_cli_process_");
        dir_ = base_ / "work";
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(base_); }

    Start in_work(std::vector<std::string> args) const {
        Start s;
        s.args = std::move(args);
        s.folder = dir_;
        return s;
    }

    Finished run(std::vector<std::string> args, std::vector<std::string> environment = {},
                 rlim_t file_size_limit = RLIM_INFINITY, bool ignore_file_size_signal = false) {
        Start s = in_work(std::move(args));
        s.environment = std::move(environment);
        s.file_size_limit = file_size_limit;
        s.ignore_file_size_signal = ignore_file_size_signal;
        const pid_t child = start(s, base_ / "run.out", base_ / "run.err");
        return finish(child, base_ / "run.out", base_ / "run.err");
    }

    // The temporary files an interrupted export left in the work folder,
    // each checked for the name a user recognises, then removed.
    int stale_temporaries(const std::string& target) {
        int count = 0;
        for (const std::string& name : names_in(dir_)) {
            if (name.rfind("." + target + ".", 0) != 0) continue;
            EXPECT_TRUE(std::regex_match(name, std::regex("\\." + std::regex_replace(target, std::regex("\\."), "\\.") +
                                                          "\\.doroziri-[A-Za-z0-9]{6}\\.tmp")))
                << name;
            fs::remove(dir_ / name);
            ++count;
        }
        return count;
    }

    fs::path base_, dir_;
};

}  // namespace

// A process killed (SIGKILL, SIGTERM, or by the file size limit) while it
// writes a 10 MB text export leaves the old file or the new one, whole.
TEST_F(CliProcessTest, KilledDuringLargeExport_WholeOldOrNew) {
    // A caption of 10 MB makes the text export as large.
    std::string surface = read_bytes(MIRROR);
    surface.insert(0, std::string(10'000'000, 'c'));
    put(dir_ / "big.srf", surface);
    const std::string old_bytes = "the export of yesterday\r\n";

    const Finished whole = run({"--txt", "new.txt", "big.srf"});
    ASSERT_EQ(whole.status, 0) << whole.err;
    const std::string new_bytes = read_bytes(dir_ / "new.txt");
    ASSERT_GT(new_bytes.size(), 10'000'000u);
    fs::remove(dir_ / "new.txt");

    // Killed by the limit part-way through the write: the old file stays.
    put(dir_ / "out.txt", old_bytes);
    Finished limited = run({"--txt", "out.txt", "big.srf"}, {}, 1'000'000);
    EXPECT_EQ(limited.signal, SIGXFSZ);
    EXPECT_EQ(read_bytes(dir_ / "out.txt"), old_bytes);
    EXPECT_EQ(stale_temporaries("out.txt"), 1);
    // With the signal ignored the write fails and says so.
    limited = run({"--txt", "out.txt", "big.srf"}, {}, 1'000'000, true);
    EXPECT_EQ(limited.status, 1);
    EXPECT_EQ(limited.err, "Cannot write out.txt: File too large.\n");
    EXPECT_EQ(read_bytes(dir_ / "out.txt"), old_bytes);
    EXPECT_EQ(stale_temporaries("out.txt"), 0);

    // Killed while the export is being written: as soon as its temporary
    // file appears, and a few milliseconds later.
    int whole_old = 0, whole_new = 0, mid_export = 0;
    for (int trial = 0; trial < 6; ++trial) {
        SCOPED_TRACE(trial);
        put(dir_ / "out.txt", old_bytes);
        const pid_t child = start(in_work({"--txt", "out.txt", "big.srf"}), base_ / "k.out", base_ / "k.err");
        // The temporary file is looked for until it shows, or until the
        // export has already replaced the old file between two looks (a
        // fast run): that trial then kills a process that has written.
        bool writing = false, replaced = false;
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!writing && !replaced && std::chrono::steady_clock::now() < give_up) {
            for (const std::string& name : names_in(dir_)) writing |= name.rfind(".out.txt.doroziri-", 0) == 0;
            replaced = !writing && read_bytes(dir_ / "out.txt") != old_bytes;
            if (!writing && !replaced) std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        EXPECT_TRUE(writing || replaced);
        std::this_thread::sleep_for(std::chrono::milliseconds(3 * trial));
        ::kill(child, trial % 2 == 0 ? SIGKILL : SIGTERM);
        const Finished killed = finish(child, base_ / "k.out", base_ / "k.err");
        const std::string now = read_bytes(dir_ / "out.txt");
        EXPECT_TRUE(now == old_bytes || now == new_bytes) << "a file of " << now.size() << " bytes";
        whole_old += now == old_bytes;
        whole_new += now == new_bytes;
        mid_export += killed.signal != 0 && stale_temporaries("out.txt") == 1;
    }
    std::printf("killed runs: %d left the old file, %d the new one; %d were stopped in the middle of the "
                "export\n", whole_old, whole_new, mid_export);
    EXPECT_GT(mid_export, 0);
}

// The PNG module writes the way every export does: a failure is reported in
// the common form with exit status 1 and leaves the old file; standard
// output takes the PNG from memory, with no temporary file anywhere.
TEST_F(CliProcessTest, PngWritesLikeEveryExport) {
#ifndef DOROZIRI_PNG
    GTEST_SKIP() << "built without the PNG module";
#endif
    put(dir_ / "plot.png", "old plot");
    Finished f = run({"--png", "/dev/full", MIRROR});
    EXPECT_EQ(f.status, 1);
    EXPECT_EQ(f.err, "Cannot write /dev/full: No space left on device.\n");

    f = run({"--png", "plot.png", MIRROR}, {}, 2000, true);
    EXPECT_EQ(f.status, 1);
    EXPECT_EQ(f.err, "Cannot write plot.png: File too large.\n");
    EXPECT_EQ(read_bytes(dir_ / "plot.png"), "old plot");

    f = run({"--png", "missing/plot.png", MIRROR});
    EXPECT_EQ(f.status, 1);
    EXPECT_EQ(f.err, "Cannot write missing/plot.png: No such file or directory.\n");
    EXPECT_EQ(names_in(dir_), std::vector<std::string>{"plot.png"});

    f = run({"--png", "plot.png", MIRROR});
    EXPECT_EQ(f.status, 0) << f.err;
    EXPECT_EQ(read_bytes(dir_ / "plot.png").substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(names_in(dir_), std::vector<std::string>{"plot.png"});

    // Standard output: nothing is made in the working folder or TMPDIR.
    fs::remove(dir_ / "plot.png");
    fs::create_directories(base_ / "tmp");
    f = run({"--png", "-", MIRROR}, {"TMPDIR=" + (base_ / "tmp").string()});
    EXPECT_EQ(f.status, 0) << f.err;
    EXPECT_EQ(f.out.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_TRUE(fs::is_empty(dir_));
    // (Qt may make its runtime folder there; no file is left in it.)
    for (const auto& entry : fs::recursive_directory_iterator(base_ / "tmp")) {
        EXPECT_FALSE(entry.is_regular_file()) << entry.path();
    }
}

// The separator comes from the environment by the one rule: a locale name
// this system does not have gives '.', so the example (written with '.')
// loads; an installed comma locale gives ','.
TEST_F(CliProcessTest, LocaleFromTheEnvironment) {
    for (const char* name : {"de_DE", "es_ES.UTF-8"}) {
        SCOPED_TRACE(name);
        const Finished f = run({MIRROR}, {std::string("LC_ALL=") + name});
        EXPECT_EQ(f.status, 0) << f.err;
        EXPECT_NE(f.out.find("\n2.5\t0.0249\t"), std::string::npos);
    }
    const fs::path locales = base_ / "locales";
    if (!dz::testing::comma_locale_available(locales)) GTEST_SKIP() << "localedef cannot make a comma locale";
    const char* path = std::getenv("LOCPATH");
    const std::vector<std::string> comma_environment = {
        std::string("LC_ALL=") + dz::testing::COMMA_LOCALE,
        path != nullptr ? std::string("LOCPATH=") + path : std::string("LOCPATH")};
    // The example with its decimal points turned into commas (the caption
    // keeps its own) loads, and the export writes commas.
    std::string comma = read_bytes(MIRROR);
    std::replace(comma.begin() + static_cast<std::ptrdiff_t>(comma.find('\n')), comma.end(), '.', ',');
    put(dir_ / "comma.srf", comma);
    Finished f = run({"comma.srf"}, comma_environment);
    EXPECT_EQ(f.status, 0) << f.err;
    EXPECT_NE(f.out.find("\n2,5\t0,0249\t"), std::string::npos);
    // The example itself is then refused at its first number.
    f = run({MIRROR}, comma_environment);
    EXPECT_EQ(f.status, 1);
    EXPECT_EQ(f.err.rfind("ERROR reading this line, expected b value", 0), 0u) << f.err;
    ::unsetenv("LOCPATH");
}

// Standard output by any name is one target, and the surface file behind
// standard output (">> s.srf") takes nothing.
TEST_F(CliProcessTest, StandardOutputByAnyName) {
    for (const char* name : {"/dev/stdout", "/proc/self/fd/1"}) {
        SCOPED_TRACE(name);
        const Finished f = run({"--check", "-", "--txt", name, MIRROR});
        EXPECT_EQ(f.status, 2);
        EXPECT_EQ(f.err, std::string("doroziri-cli: --txt ") + name +
                             " and --check - name the same file; give each export a file of its own.\n");
        EXPECT_EQ(f.out, "");
    }
    const std::string measurement = read_bytes(MIRROR);
    put(dir_ / "s.srf", measurement);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--check", "-", "s.srf"},
                                                 std::vector<std::string>{"--txt", "/dev/stdout", "s.srf"}}) {
        SCOPED_TRACE(args[1]);
        Start s = in_work(args);
        s.append_out = true;
        const pid_t child = start(s, dir_ / "s.srf", base_ / "run.err");
        const Finished f = finish(child, dir_ / "s.srf", base_ / "run.err");
        EXPECT_EQ(f.status, 1);
        EXPECT_EQ(f.err.rfind("Not written: ", 0), 0u) << f.err;
        EXPECT_EQ(read_bytes(dir_ / "s.srf"), measurement);
    }
}
