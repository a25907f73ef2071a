// SPDX-License-Identifier: GPL-3.0-or-later
// Writing exports without ever losing the file they replace, and reading
// only regular files as surface files.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "file_io/file_io.hpp"
#include "tests/test_files.hpp"
#include "tests/test_folder.hpp"

namespace fs = std::filesystem;
using dz::WriteStep;

namespace {

using dz::testing::names_in;

std::string read_bytes(const fs::path& path) { return dz::testing::file_bytes(path); }
void put(const fs::path& path, const std::string& bytes) { dz::testing::put_bytes(path, bytes); }

fs::perms mode_of(const fs::path& path) { return fs::status(path).permissions(); }

// The name a killed export leaves behind, for a target called `name`.
bool is_stale_temporary(const std::string& file, const std::string& name) {
    return std::regex_match(file, std::regex("\\." + name + "\\.doroziri-[A-Za-z0-9]{6}\\.tmp"));
}

class FileIo : public ::testing::Test {
protected:
    void SetUp() override { dir_ = dz::testing::fresh_test_folder("doroziri_file_io_"); }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

}  // namespace

// A new file, then the same file replaced, shorter; nothing else is left in
// the folder. A new file gets the usual mode (0666 less the umask).
TEST_F(FileIo, Replace_NewThenShorterAndNothingLeftBeside) {
    const fs::path file = dir_ / "lap.dxf";
    ASSERT_EQ(dz::write_file_replace(file.string(), "first version, long\r\n"), std::nullopt);
    EXPECT_EQ(read_bytes(file), "first version, long\r\n");
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(static_cast<mode_t>(mode_of(file)), 0666 & ~mask);

    ASSERT_EQ(dz::write_file_replace(file.string(), "v2"), std::nullopt);
    EXPECT_EQ(read_bytes(file), "v2");
    ASSERT_EQ(dz::write_file_replace(file.string(), ""), std::nullopt);
    EXPECT_EQ(read_bytes(file), "");
    EXPECT_EQ(names_in(dir_), std::vector<std::string>{"lap.dxf"});

    // A relative name is written in the working folder.
    const fs::path cwd = fs::current_path();
    fs::current_path(dir_);
    EXPECT_EQ(dz::write_file_replace("relative.txt", "here"), std::nullopt);
    fs::current_path(cwd);
    EXPECT_EQ(read_bytes(dir_ / "relative.txt"), "here");

    // A name near the system's limit of 255 bytes: the temporary file's name
    // is cut to fit.
    const std::string long_name(250, 'n');
    EXPECT_EQ(dz::write_file_replace((dir_ / long_name).string(), "long"), std::nullopt);
    EXPECT_EQ(read_bytes(dir_ / long_name), "long");
    EXPECT_EQ(names_in(dir_).size(), 3u);
}

// Whatever step fails (the temporary file, the first or a later piece of a
// large write, the sync, the rename), the old file is byte for byte as it
// was, no temporary file is left, and the message names the reason.
TEST_F(FileIo, Replace_FailingStepKeepsOldFileAndLeavesNoTemporary) {
    const fs::path file = dir_ / "lap.dxf";
    const std::string old_bytes = "the good old lap\r\n" + std::string(5000, 'o');
    const std::string new_bytes(3 * dz::WRITE_PIECE + 17, 'n');  // four pieces
    struct Case {
        const char* name;
        WriteStep step;
        int nth;  // the how-manieth time the step is asked (from 1) fails
        int error;
        const char* reason;
    };
    const Case cases[] = {
        {"temporary file", WriteStep::create_temporary, 1, EACCES, "Permission denied"},
        {"first piece", WriteStep::write, 1, ENOSPC, "No space left on device"},
        {"third piece, disk full part-way", WriteStep::write, 3, ENOSPC, "No space left on device"},
        {"last piece", WriteStep::write, 4, EDQUOT, "Disk quota exceeded"},
        {"sync", WriteStep::sync, 1, EIO, "Input/output error"},
        {"rename", WriteStep::rename, 1, EXDEV, "Invalid cross-device link"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        put(file, old_bytes);
        fs::permissions(file, fs::perms(0640));
        int asked = 0;
        bool temporary_seen = false;
        const dz::WriteFault fault = [&](WriteStep step) {
            // At each step after the first, the temporary file exists.
            if (step != WriteStep::create_temporary) temporary_seen |= names_in(dir_).size() == 2;
            if (step != c.step) return 0;
            return ++asked == c.nth ? c.error : 0;
        };
        // The temporary file is the folder's: the message says so.
        const std::string because = c.step == WriteStep::create_temporary
                                        ? ": its folder " + dir_.string() +
                                              " is read-only for you, and the new file is made in that folder "
                                              "before it replaces the old one."
                                        : ".";
        EXPECT_EQ(dz::write_file_replace(file.string(), new_bytes, fault),
                  "Cannot write " + file.string() + ": " + c.reason + because);
        EXPECT_EQ(asked, c.nth);
        EXPECT_TRUE(read_bytes(file) == old_bytes);
        EXPECT_EQ(mode_of(file), fs::perms(0640));
        EXPECT_EQ(names_in(dir_), std::vector<std::string>{"lap.dxf"});
        EXPECT_EQ(temporary_seen, c.step != WriteStep::create_temporary);
    }
    // A new file that fails leaves no file at all.
    const fs::path fresh = dir_ / "fresh.txt";
    const dz::WriteFault full = [](WriteStep step) { return step == WriteStep::write ? ENOSPC : 0; };
    EXPECT_TRUE(dz::write_file_replace(fresh.string(), "x", full).has_value());
    EXPECT_FALSE(fs::exists(fresh));
    EXPECT_EQ(names_in(dir_), std::vector<std::string>{"lap.dxf"});
}

// A link is followed: the file it leads to is replaced, the link stays, in
// a chain of links and for a link whose file does not exist yet. The old
// file's permission bits are kept, read-only ones too.
TEST_F(FileIo, Replace_LinksFollowedAndPermissionsKept) {
    fs::create_directories(dir_ / "real");
    fs::create_directories(dir_ / "links");
    const fs::path target = dir_ / "real" / "lap.txt";
    put(target, "old");
    fs::permissions(target, fs::perms(0604));
    fs::create_symlink("../real/lap.txt", dir_ / "links" / "one");
    fs::create_symlink("one", dir_ / "links" / "two");

    ASSERT_EQ(dz::write_file_replace((dir_ / "links" / "two").string(), "new"), std::nullopt);
    EXPECT_EQ(read_bytes(target), "new");
    EXPECT_TRUE(fs::is_symlink(dir_ / "links" / "one"));
    EXPECT_TRUE(fs::is_symlink(dir_ / "links" / "two"));
    EXPECT_EQ(fs::read_symlink(dir_ / "links" / "two"), "one");
    EXPECT_EQ(mode_of(target), fs::perms(0604));
    EXPECT_EQ(names_in(dir_ / "real"), std::vector<std::string>{"lap.txt"});
    EXPECT_EQ(names_in(dir_ / "links"), (std::vector<std::string>{"one", "two"}));

    // A dangling link: its file is made where it points.
    fs::create_symlink("../real/later.txt", dir_ / "links" / "dangling");
    ASSERT_EQ(dz::write_file_replace((dir_ / "links" / "dangling").string(), "made"), std::nullopt);
    EXPECT_EQ(read_bytes(dir_ / "real" / "later.txt"), "made");
    EXPECT_TRUE(fs::is_symlink(dir_ / "links" / "dangling"));

    // Modes an export may meet: executable, group-writable, read-only.
    for (const unsigned mode : {0755u, 0660u, 0444u}) {
        SCOPED_TRACE(mode);
        put(target, "before");
        fs::permissions(target, fs::perms(mode));
        const bool root = ::geteuid() == 0;
        const auto result = dz::write_file_replace(target.string(), "after");
        if (mode == 0444u && !root) {
            // As opening it for writing would: refused, and nothing changed.
            EXPECT_EQ(result, "Cannot write " + target.string() + ": Permission denied.");
            EXPECT_EQ(read_bytes(target), "before");
        } else {
            EXPECT_EQ(result, std::nullopt);
            EXPECT_EQ(read_bytes(target), "after");
        }
        EXPECT_EQ(mode_of(target), fs::perms(mode));
    }
}

// What is not a regular file is written directly: a device stays a device,
// a FIFO hands the bytes to its reader. A folder and a missing folder are
// refused with the system's reason.
TEST_F(FileIo, Replace_DevicesFifosAndFolders) {
    EXPECT_EQ(dz::write_file_replace("/dev/null", "gone"), std::nullopt);
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    if (fs::exists("/dev/full")) {
        EXPECT_EQ(dz::write_file_replace("/dev/full", "x"), "Cannot write /dev/full: No space left on device.");
        EXPECT_TRUE(fs::is_character_file("/dev/full"));
    }

    const fs::path fifo = dir_ / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = read_bytes(fifo); });
    EXPECT_EQ(dz::write_file_replace(fifo.string(), "through the pipe"), std::nullopt);
    reader.join();
    EXPECT_EQ(received, "through the pipe");
    EXPECT_TRUE(fs::is_fifo(fifo));

    fs::create_directories(dir_ / "folder");
    EXPECT_EQ(dz::write_file_replace((dir_ / "folder").string(), "x"),
              "Cannot write " + (dir_ / "folder").string() + ": Is a directory.");
    const std::string missing = (dir_ / "missing" / "lap.dxf").string();
    EXPECT_EQ(dz::write_file_replace(missing, "x"), "Cannot write " + missing + ": No such file or directory.");
    EXPECT_EQ(names_in(dir_), (std::vector<std::string>{"folder", "pipe"}));
    EXPECT_TRUE(fs::is_empty(dir_ / "folder"));
}

// SIGTERM, SIGINT or SIGHUP while the temporary file exists (during the
// write, at the sync, at the rename) waits for the export to finish and then
// ends the writer as it would have: the new file in place, no temporary file.
TEST_F(FileIo, Replace_EndSignalsLeaveNoTemporary) {
    const fs::path file = dir_ / "lap.pdf";
    const std::string new_bytes(2 * dz::WRITE_PIECE + 5, 'n');
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        for (const WriteStep at : {WriteStep::write, WriteStep::sync, WriteStep::rename}) {
            SCOPED_TRACE(std::to_string(signal) + " at step " + std::to_string(static_cast<int>(at)));
            put(file, "old");
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                const dz::WriteFault interrupt = [&](WriteStep step) {
                    if (step == at) ::kill(::getpid(), signal);
                    return 0;
                };
                (void)dz::write_file_replace(file.string(), new_bytes, interrupt);
                ::_exit(0);  // not reached: the signal ends the writer
            }
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
            EXPECT_TRUE(read_bytes(file) == new_bytes);
            EXPECT_EQ(names_in(dir_), std::vector<std::string>{"lap.pdf"});
        }
    }
}

// A writer killed in the middle of a large export (here after two pieces of
// it reached the disk) leaves the old file whole, and the temporary file
// under a name that says what it is. Killed at any moment, it leaves the old
// file or the new one, never a mix.
TEST_F(FileIo, Replace_KilledWriterLeavesWholeOldOrNewFile) {
    const fs::path file = dir_ / "big.txt";
    const std::string old_bytes(3 * dz::WRITE_PIECE, 'o');
    const std::string new_bytes(5 * dz::WRITE_PIECE + 3, 'n');

    // Killed mid-write, exactly.
    put(file, old_bytes);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int pieces = 0;
        const dz::WriteFault stall = [&](WriteStep step) {
            if (step == WriteStep::write && ++pieces == 3) {
                (void)!::write(ready[1], "!", 1);
                ::pause();  // killed here
            }
            return 0;
        };
        (void)dz::write_file_replace(file.string(), new_bytes, stall);
        ::_exit(0);
    }
    char signal_byte = 0;
    ASSERT_EQ(::read(ready[0], &signal_byte, 1), 1);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(read_bytes(file) == old_bytes);
    const auto names = names_in(dir_);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_TRUE(is_stale_temporary(names[0], "big\\.txt")) << names[0];
    EXPECT_EQ(fs::file_size(dir_ / names[0]), 2 * dz::WRITE_PIECE);
    fs::remove(dir_ / names[0]);

    // Killed at moments spread over the export, and once just after it
    // returned: whole old or whole new.
    for (int trial = 0; trial <= 12; ++trial) {
        SCOPED_TRACE(trial);
        put(file, old_bytes);
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t writer = ::fork();
        ASSERT_GE(writer, 0);
        if (writer == 0) {
            (void)dz::write_file_replace(file.string(), new_bytes);
            (void)!::write(ready[1], "!", 1);
            ::pause();
            ::_exit(0);
        }
        if (trial < 12) {
            std::this_thread::sleep_for(std::chrono::microseconds(500 * trial * trial));
        } else {
            ASSERT_EQ(::read(ready[0], &signal_byte, 1), 1);
        }
        ::kill(writer, SIGKILL);
        ::waitpid(writer, &status, 0);
        ::close(ready[0]);
        ::close(ready[1]);
        const std::string now = read_bytes(file);
        EXPECT_TRUE(now == old_bytes || now == new_bytes) << "a file of " << now.size() << " bytes";
        if (trial == 12) {
            EXPECT_TRUE(now == new_bytes);
        }
        for (const std::string& name : names_in(dir_)) {
            if (name != "big.txt") {
                EXPECT_TRUE(is_stale_temporary(name, "big\\.txt")) << name;
                fs::remove(dir_ / name);
            }
        }
    }
}

// Two outputs are the same when writing one writes the other.
TEST_F(FileIo, SameOutput_SpellingsLinksAndNewFiles) {
    put(dir_ / "a", "a");
    fs::create_hard_link(dir_ / "a", dir_ / "hard");
    fs::create_symlink("a", dir_ / "soft");
    fs::create_symlink("new", dir_ / "dangling");
    fs::create_directories(dir_ / "sub");
    const fs::path cwd = fs::current_path();
    fs::current_path(dir_);
    struct Case {
        std::string a, b;
        bool same;
    };
    const std::vector<Case> cases = {
        {"a", "a", true},
        {"a", "./a", true},
        {"a", "sub/../a", true},
        {"a", (dir_ / "a").string(), true},
        {"a", "hard", true},
        {"a", "soft", true},
        {"new", "./new", true},
        {"new", "sub/../new", true},
        {"dangling", "new", true},
        {"-", "-", true},
        {"a", "b", false},
        {"new", "sub/new", false},
        {"a", "-", false},
        {"-", "new", false},
        {"a", "new", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.a + " | " + c.b);
        EXPECT_EQ(dz::same_output(c.a, c.b), c.same);
        EXPECT_EQ(dz::same_output(c.b, c.a), c.same);
    }
    fs::current_path(cwd);
    EXPECT_EQ(dz::file_identity((dir_ / "a").string()), dz::file_identity((dir_ / "hard").string()));
    EXPECT_EQ(dz::file_identity((dir_ / "dangling").string()), std::nullopt);
}

// Only a regular file is read. A FIFO without a writer is refused at once
// (it would wait for ever), a device before anything is read from it (it
// would fill the memory), also through a link; a socket too.
TEST_F(FileIo, ReadInput_RegularFilesOnly) {
    put(dir_ / "m.srf", "caption\n");
    const dz::InputFile good = dz::read_input_file((dir_ / "m.srf").string());
    ASSERT_TRUE(good.bytes.has_value());
    EXPECT_EQ(*good.bytes, "caption\n");
    EXPECT_EQ(good.message, "");
    EXPECT_EQ(std::optional(good.identity), dz::file_identity((dir_ / "m.srf").string()));

    ASSERT_EQ(::mkfifo((dir_ / "fifo.srf").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", dir_ / "zero.srf");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socket_path = (dir_ / "sock.srf").string();
    ASSERT_LT(socket_path.size(), sizeof address.sun_path);
    std::copy(socket_path.begin(), socket_path.end(), address.sun_path);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    fs::create_directories(dir_ / "folder.srf");

    const std::string tail = ", not a file: open a surface file saved on a disk.";
    struct Case {
        std::string path, message;
    };
    const std::vector<Case> cases = {
        {(dir_ / "fifo.srf").string(), (dir_ / "fifo.srf").string() + " is a FIFO (named pipe)" + tail},
        {"/dev/zero", "/dev/zero is a character device" + tail},
        {"/dev/urandom", "/dev/urandom is a character device" + tail},
        {(dir_ / "zero.srf").string(), (dir_ / "zero.srf").string() + " is a character device" + tail},
        {socket_path, socket_path + " is a socket" + tail},
        {(dir_ / "missing.srf").string(), (dir_ / "missing.srf").string() + " not found, try again."},
        {(dir_ / "folder.srf").string(), (dir_ / "folder.srf").string() + " not found, try again."},
        {"", " not found, try again."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const auto start = std::chrono::steady_clock::now();
        const dz::InputFile input = dz::read_input_file(c.path);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_FALSE(input.bytes.has_value());
        EXPECT_EQ(input.message, c.message);
        EXPECT_EQ(dz::read_file(c.path), std::nullopt);
    }
    ::close(sock);
}
