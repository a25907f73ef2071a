// SPDX-License-Identifier: GPL-3.0-or-later
// Writing an export so that the file it replaces is never lost: a temporary
// file next to the target, fsync'ed and renamed over it.

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>

#include "file_io/file_io.hpp"

namespace dz {

namespace {

// Where a write of `path` goes.
struct Target {
    enum Kind { file, direct, failed } kind = failed;
    std::string path;  // file: the regular file to replace or create (links followed)
    bool exists = false;
    struct stat old {};  // file && exists: what the old file was
    int error = 0;       // failed: the errno value
};

std::string folder_of(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string name_of(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows a chain of symbolic links that ends in a name that does not exist
// (a dangling link): that name is where the new file goes.
Target follow_dangling_links(const std::string& path) {
    Target target;
    std::string current = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat link {};
        if (::lstat(current.c_str(), &link) != 0) {
            if (errno != ENOENT) {
                target.error = errno;
                return target;
            }
            target.kind = Target::file;
            target.path = current;
            return target;
        }
        if (!S_ISLNK(link.st_mode)) {  // appeared meanwhile: replace it
            target.kind = Target::file;
            target.path = current;
            return target;
        }
        std::string next(PATH_MAX, '\0');
        const ssize_t length = ::readlink(current.c_str(), next.data(), next.size());
        if (length < 0) {
            target.error = errno;
            return target;
        }
        next.resize(static_cast<std::size_t>(length));
        current = (next.empty() || next[0] == '/') ? next : folder_of(current) + "/" + next;
    }
    target.error = ELOOP;
    return target;
}

// Classifies `path`: an existing regular file (its real path), a file still
// to be made, something to write directly, or an error.
Target resolve_target(const std::string& path) {
    Target target;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return follow_dangling_links(path);
        target.error = errno;
        return target;
    }
    if (S_ISDIR(st.st_mode)) {
        target.error = EISDIR;
        return target;
    }
    if (!S_ISREG(st.st_mode)) {
        target.kind = Target::direct;
        target.path = path;
        return target;
    }
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    target.kind = Target::file;
    target.path = real ? std::string(real.get()) : path;
    target.exists = true;
    target.old = st;
    return target;
}

// A name for the temporary file that a user recognises when a killed run
// leaves it: ".NAME.doroziri-XXXXXX.tmp" in the target's folder, the name cut
// so that the whole stays within the usual limit of 255 bytes.
std::string temporary_name(const std::string& target, std::mt19937_64& random) {
    static constexpr char LETTERS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string suffix = ".doroziri-";
    std::uint64_t bits = random();
    for (int k = 0; k < 6; ++k) {
        suffix += LETTERS[bits % 62];
        bits /= 62;
    }
    suffix += ".tmp";
    const std::string folder = folder_of(target);
    return (folder == "/" ? "" : folder) + "/." + name_of(target).substr(0, 200) + suffix;
}

// Writes all of `bytes` to `fd` in pieces, asking `fault` before each one.
int write_all(int fd, std::string_view bytes, const WriteFault& fault) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (fault) {
            if (const int injected = fault(WriteStep::write)) return injected;
        }
        const std::size_t piece = std::min(WRITE_PIECE, bytes.size() - done);
        const ssize_t written = ::write(fd, bytes.data() + done, piece);
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (written == 0) return EIO;
        done += static_cast<std::size_t>(written);
    }
    return 0;
}

int asked(const WriteFault& fault, WriteStep step) { return fault ? fault(step) : 0; }

// A device, a FIFO, a socket: written as it is, nothing to replace.
int write_directly(const std::string& path, std::string_view bytes, const WriteFault& fault) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return errno;
    int error = write_all(fd, bytes, fault);
    if (::close(fd) != 0 && error == 0) error = errno;
    return error;
}

// While the temporary file exists, the signals that ask a program to end
// (SIGTERM, SIGINT, SIGHUP) wait in the calling thread: the write runs to
// its end or its failure, the temporary file is renamed or removed, and a
// signal that came meanwhile then takes effect as it would have (a killed
// run leaves no temporary file). The write is bounded by the bytes and one
// fsync, so the wait is short. SIGKILL cannot wait: it may still leave one.
class EndSignalsWait {
public:
    EndSignalsWait() {
        sigset_t held;
        sigemptyset(&held);
        for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&held, signal);
        pthread_sigmask(SIG_BLOCK, &held, &before_);
    }
    ~EndSignalsWait() { pthread_sigmask(SIG_SETMASK, &before_, nullptr); }
    EndSignalsWait(const EndSignalsWait&) = delete;
    EndSignalsWait& operator=(const EndSignalsWait&) = delete;

private:
    sigset_t before_{};
};

// The temporary file, written and renamed over the target; removed on any
// failure. `in_folder` is set when the failure was the folder's: the
// temporary file could not be made there.
int replace(const Target& target, std::string_view bytes, const WriteFault& fault, bool& in_folder) {
    if (target.exists && ::access(target.path.c_str(), W_OK) != 0) return errno;
    const EndSignalsWait wait;

    std::mt19937_64 random(std::random_device{}());
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        if (const int injected = asked(fault, WriteStep::create_temporary)) {
            in_folder = true;
            return injected;
        }
        temporary = temporary_name(target.path, random);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0 && errno != EEXIST) {
            in_folder = true;
            return errno;
        }
    }
    if (fd < 0) return EEXIST;

    int error = 0;
    if (target.exists) {
        // Owner first: changing it may clear set-user-ID bits that the mode
        // then puts back. Only root may give a file away; others keep theirs.
        if (target.old.st_uid != ::geteuid() || target.old.st_gid != ::getegid()) {
            (void)::fchown(fd, target.old.st_uid, target.old.st_gid);
        }
        if (::fchmod(fd, target.old.st_mode & 07777) != 0) error = errno;
    }
    if (error == 0) error = write_all(fd, bytes, fault);
    if (error == 0) error = asked(fault, WriteStep::sync);
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0) error = asked(fault, WriteStep::rename);
    if (error == 0 && ::rename(temporary.c_str(), target.path.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        return error;
    }
    // Make the rename itself last through a power cut; nothing is lost if not.
    const int folder = ::open(folder_of(target.path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        (void)::fsync(folder);
        ::close(folder);
    }
    return 0;
}

}  // namespace

std::string cannot_write_message(const std::string& path, int error) {
    return "Cannot write " + path + ": " + std::strerror(error) + ".";
}

std::optional<std::string> write_file_replace(const std::string& path, std::string_view bytes,
                                              const WriteFault& fault) {
    const Target target = resolve_target(path);
    int error = target.error;
    bool in_folder = false;
    if (target.kind == Target::direct) error = write_directly(target.path, bytes, fault);
    if (target.kind == Target::file) error = replace(target, bytes, fault, in_folder);
    if (error == 0) return std::nullopt;
    // A file that may be written in a folder that may not: say which, since
    // the new file is made in the folder.
    if (in_folder && (error == EACCES || error == EPERM)) {
        const std::string folder = folder_of(path);
        return "Cannot write " + path + ": " + std::strerror(error) + ": its folder " +
               (folder == "." ? std::string("(the working folder)") : folder) +
               " is read-only for you, and the new file is made in that folder before it replaces the old one.";
    }
    return cannot_write_message(path, error);
}

std::optional<FileIdentity> file_identity(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

bool same_output(const std::string& a, const std::string& b) {
    if (a == "-" || b == "-") return a == b;
    if (a == b) return true;
    const auto identity_a = file_identity(a);
    const auto identity_b = file_identity(b);
    if (identity_a || identity_b) return identity_a == identity_b;
    // Two new files: the same when they end up at one place.
    const Target target_a = resolve_target(a);
    const Target target_b = resolve_target(b);
    if (target_a.kind != Target::file || target_b.kind != Target::file) return false;
    std::error_code ignored;
    namespace fs = std::filesystem;
    return fs::weakly_canonical(fs::absolute(target_a.path, ignored), ignored) ==
           fs::weakly_canonical(fs::absolute(target_b.path, ignored), ignored);
}

std::string export_onto_surface_message(const std::string& path) {
    return "Not written: " + path +
           " is the surface file that was read, and the export would replace the measurement; "
           "choose another file name.";
}

}  // namespace dz
