// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command-line tool: loads a surface file, applies the lap settings and
// writes the exports, without a window.

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "file_io/file_io.hpp"

namespace dz {

// Runs the tool on its arguments (without the program name). Text export and
// messages go to `out` / `err`; `decimal_separator` is the user's.
// `standard_output` is the identity of the file behind `out` when it has one
// (the tool's descriptor 1): a path leading to it is standard output too, so
// that "-" and "/dev/stdout" are one target, and output to it is refused
// when it is the surface file. Returns the exit status: 0 success,
// 1 failure (the window's message on `err`), 2 usage.
int run_cli(const std::vector<std::string>& args, char decimal_separator, std::ostream& out,
            std::ostream& err, const std::optional<FileIdentity>& standard_output = std::nullopt);

}  // namespace dz
