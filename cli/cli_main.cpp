// SPDX-License-Identifier: GPL-3.0-or-later
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.hpp"
#include "text_io/locale_separator.hpp"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return dz::run_cli(args, dz::locale_decimal_separator(), std::cout, std::cerr);
}
