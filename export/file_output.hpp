#pragma once
// Writing an export to a file, replacing any existing file.

#include <optional>
#include <string>
#include <string_view>

namespace dz {

// Creates or replaces the file at `path` with `bytes`. Returns the system's
// description of the error when the file cannot be created or written.
[[nodiscard]] std::optional<std::string> write_file_replace(const std::string& path,
                                                            std::string_view bytes);

// Reads a whole file; nullopt when it cannot be opened or read.
[[nodiscard]] std::optional<std::string> read_file(const std::string& path);

}  // namespace dz
