// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A locale with a decimal comma for the tests, made where no such locale is
// installed: "de_DE.UTF-8" compiled by localedef into a folder that LOCPATH
// then names, for this process and the processes it starts.

#include <cstdlib>
#include <filesystem>
#include <locale>
#include <string>

namespace dz::testing {

inline constexpr const char* COMMA_LOCALE = "de_DE.UTF-8";

// True when COMMA_LOCALE can be used (installed, or made in `folder`).
inline bool comma_locale_available(const std::filesystem::path& folder) {
    auto usable = [] {
        try {
            return std::use_facet<std::numpunct<char>>(std::locale(COMMA_LOCALE)).decimal_point() == ',';
        } catch (const std::exception&) {
            return false;
        }
    };
    if (usable()) return true;
    std::filesystem::create_directories(folder);
    const std::string command = "localedef -i de_DE -f UTF-8 '" + (folder / COMMA_LOCALE).string() +
                                "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return false;
    ::setenv("LOCPATH", folder.c_str(), 1);
    return usable();
}

}  // namespace dz::testing
