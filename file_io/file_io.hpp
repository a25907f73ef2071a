// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading the surface file and writing the exports, so that neither can lose
// or corrupt a file nor hang the program. Every file the program writes goes
// through write_file_replace; every surface file is read through
// read_input_file.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace dz {

// --- writing ------------------------------------------------------------

// The steps of write_file_replace at which a test can make it fail.
enum class WriteStep {
    create_temporary,  // creating the temporary file next to the target
    write,             // before each piece of at most WRITE_PIECE bytes
    sync,              // fsync of the temporary file
    rename,            // the rename over the target
};
// Asked before each step; returns 0 to go on, or an errno value to fail the
// step with, as the system would.
using WriteFault = std::function<int(WriteStep)>;

// Bytes handed to one write call; a failing write leaves at most this many
// fewer bytes in the temporary file than were asked for.
inline constexpr std::size_t WRITE_PIECE = std::size_t{1} << 20;

// write_file_replace creates or replaces the file at `path` with `bytes`
// so that the old file stays whole until the new one is complete.
//
// usage     every export: if (auto error = write_file_replace(path, bytes)) show(*error);
//
// on entry  path   the file to write, as the user gave it (relative to the
//                  working folder, through symbolic links, "/dev/stdout").
//           bytes  the whole content.
//           fault  tests only: makes a step fail (see WriteStep).
// on return nullopt when the file holds `bytes`; otherwise the message
//           "Cannot write PATH: REASON." with the system's description of
//           the error, and the file at `path` is exactly as it was before.
//
// what `path` names              what happens
//   a regular file or nothing    a new file ".NAME.doroziri-XXXXXX.tmp" is made
//                                in the target's folder (O_EXCL, a random
//                                XXXXXX), written, fsync'ed and renamed over
//                                the target; on any failure it is removed.
//                                An existing target's permission bits (and,
//                                where allowed, owner and group) are kept.
//   a symbolic link              followed to its end; the file it leads to is
//                                replaced as above, the link stays.
//   a device, FIFO or socket     opened and written directly (a FIFO waits for
//                                its reader, as any program's output would).
//   a folder                     "Cannot write PATH: Is a directory."
//   a file without write access  "Cannot write PATH: Permission denied.", as
//                                opening it for writing would give.
//
// A process killed during the call leaves the old file or the new one,
// never a mix; at most a stale temporary file of the name above is left.
//
// not checked: `path` non-empty (an empty path fails with the system's
//           "No such file or directory").
[[nodiscard]] std::optional<std::string> write_file_replace(const std::string& path, std::string_view bytes,
                                                            const WriteFault& fault = {});

// The message of a failed write: "Cannot write PATH: REASON." for errno `error`.
[[nodiscard]] std::string cannot_write_message(const std::string& path, int error);

// --- telling files apart ------------------------------------------------

// What a path leads to, links followed: device and inode number.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The identity of the existing file at `path`; nullopt when there is none.
[[nodiscard]] std::optional<FileIdentity> file_identity(const std::string& path);

// True when writing `a` and writing `b` would write the same file: both "-"
// (standard output), one existing file reached by both (through links, hard
// links or other spellings), or one new file named by both ("a" and "./a",
// or a dangling link and its target).
[[nodiscard]] bool same_output(const std::string& a, const std::string& b);

// The refusal of an export onto the surface file that was read.
[[nodiscard]] std::string export_onto_surface_message(const std::string& path);

// --- reading ------------------------------------------------------------

// Shown when a surface file cannot be opened: the path, then this.
inline constexpr const char* NOT_FOUND_SUFFIX = " not found, try again.";

struct InputFile {
    std::optional<std::string> bytes;  // the whole file, when it was read
    FileIdentity identity;             // of the file read, when it was read
    std::string message;               // what to show otherwise
};

// read_input_file reads a whole surface file, refusing what is not a regular
// file before reading anything from it.
//
// on entry  path  the file to read.
// on return bytes and identity set on success; otherwise `message` is
//
//   what `path` names                      message
//   nothing, a folder, or a file that      "PATH not found, try again."
//   cannot be opened or read
//   a FIFO, a device, a socket (also       "PATH is a KIND, not a file: open a
//   through a link; /dev/zero)             surface file saved on a disk."
//
// method    stat() classifies the path; the file is then opened without
//           blocking (a FIFO would wait for a writer) and its type checked
//           again on the open descriptor, so a file swapped in between is
//           refused too.
[[nodiscard]] InputFile read_input_file(const std::string& path);

// Reads a whole regular file; nullopt when it cannot be.
[[nodiscard]] std::optional<std::string> read_file(const std::string& path);

}  // namespace dz
