// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a surface file: only a regular file is read, so that a FIFO cannot
// hang the program and a device such as /dev/zero cannot fill the memory.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "file_io/file_io.hpp"

namespace dz {

namespace {

const char* kind_of(mode_t mode) {
    if (S_ISFIFO(mode)) return "FIFO (named pipe)";
    if (S_ISCHR(mode)) return "character device";
    if (S_ISBLK(mode)) return "block device";
    if (S_ISSOCK(mode)) return "socket";
    return "special file";
}

std::string not_regular_message(const std::string& path, mode_t mode) {
    return path + " is a " + kind_of(mode) + ", not a file: open a surface file saved on a disk.";
}

struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

InputFile read_input_file(const std::string& path) {
    InputFile input;
    const std::string not_found = path + NOT_FOUND_SUFFIX;

    // What the path is, before anything is opened.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
        input.message = not_found;
        return input;
    }
    if (!S_ISREG(st.st_mode)) {
        input.message = not_regular_message(path, st.st_mode);
        return input;
    }

    // Opened without waiting: should a FIFO have taken the file's place
    // meanwhile, the open returns at once and the check below refuses it.
    Descriptor file;
    file.fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file.fd < 0 || ::fstat(file.fd, &st) != 0) {
        input.message = not_found;
        return input;
    }
    if (!S_ISREG(st.st_mode)) {
        input.message = S_ISDIR(st.st_mode) ? not_found : not_regular_message(path, st.st_mode);
        return input;
    }

    std::string bytes;
    if (st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(file.fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            input.message = not_found;
            return input;
        }
        if (got == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    input.bytes = std::move(bytes);
    input.identity = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    return input;
}

std::optional<std::string> read_file(const std::string& path) { return read_input_file(path).bytes; }

}  // namespace dz
