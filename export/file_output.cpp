#include "export/file_output.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace dz {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string system_error_text(const std::string& path, int error) {
    return "Cannot write " + path + ": " + std::strerror(error) + ".";
}

}  // namespace

std::optional<std::string> write_file_replace(const std::string& path, std::string_view bytes) {
    errno = 0;
    File file(std::fopen(path.c_str(), "wb"));
    if (!file) return system_error_text(path, errno);
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
        return system_error_text(path, errno != 0 ? errno : EIO);
    }
    std::FILE* raw = file.release();
    if (std::fclose(raw) != 0) return system_error_text(path, errno != 0 ? errno : EIO);
    return std::nullopt;
}

std::optional<std::string> read_file(const std::string& path) {
    File file(std::fopen(path.c_str(), "rb"));
    if (!file) return std::nullopt;
    std::string bytes;
    char buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) bytes.append(buffer, got);
    if (std::ferror(file.get())) return std::nullopt;
    return bytes;
}

}  // namespace dz
