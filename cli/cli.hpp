// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command-line tool: loads a surface file, applies the lap settings and
// writes the exports, without a window.

#include <iosfwd>
#include <string>
#include <vector>

namespace dz {

// Runs the tool on its arguments (without the program name). Text export and
// messages go to `out` / `err`; `decimal_separator` is the user's. Returns the
// exit status: 0 success, 1 failure (the window's message on `err`), 2 usage.
int run_cli(const std::vector<std::string>& args, char decimal_separator, std::ostream& out,
            std::ostream& err);

}  // namespace dz
