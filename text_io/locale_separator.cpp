// SPDX-License-Identifier: GPL-3.0-or-later
#include "text_io/locale_separator.hpp"

#include <cstdlib>
#include <exception>
#include <locale>

namespace dz {

char decimal_separator_of_locale(const std::string& name) {
    // The C locale, in any code set ("C.UTF-8"), writes '.'; it is also the
    // usual one here, and looking it up would cost a millisecond a run.
    if (name.empty() || name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0) return '.';
    try {
        const std::locale locale(name);
        const char point = std::use_facet<std::numpunct<char>>(locale).decimal_point();
        return point == ',' ? ',' : '.';
    } catch (const std::exception&) {
        return '.';  // a locale this system does not have
    }
}

char locale_decimal_separator() {
    for (const char* variable : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') return decimal_separator_of_locale(value);
    }
    return '.';
}

}  // namespace dz
