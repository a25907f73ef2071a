// SPDX-License-Identifier: GPL-3.0-or-later
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli.hpp"
#include "text_io/locale_separator.hpp"

namespace {

// The file behind descriptor 1, when it is open.
std::optional<dz::FileIdentity> standard_output_identity() {
    struct stat st {};
    if (::fstat(STDOUT_FILENO, &st) != 0) return std::nullopt;
    return dz::FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return dz::run_cli(args, dz::locale_decimal_separator(), std::cout, std::cerr, standard_output_identity());
}
