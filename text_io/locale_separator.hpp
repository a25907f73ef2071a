// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user's decimal separator: one rule for the window and the
// command-line tool, so that a file that loads in one loads in the other and
// their text exports agree.

#include <string>

namespace dz {

// decimal_separator_of_locale gives the decimal separator of a locale name
// as the C library of this system knows that locale.
//
// on entry  name  a locale name ("de_DE.UTF-8", "C", "" for none).
// on return ',' when the locale is installed and its decimal point is a
//           comma; '.' otherwise: for the C and POSIX locales in any code
//           set, for a locale whose point is neither, and for a name this
//           system does not have (an uninstalled "de_DE" falls back to the
//           C locale here, as it does for every other program).
// method    std::locale(name) and its numpunct facet; the process's own
//           locale is not changed.
[[nodiscard]] char decimal_separator_of_locale(const std::string& name);

// The decimal separator of the user's locale: decimal_separator_of_locale of
// the first of LC_ALL, LC_NUMERIC and LANG that is set and not empty.
[[nodiscard]] char locale_decimal_separator();

}  // namespace dz
