// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The line tokenizer: hands out the numbers of one line, one per call.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "core_types/real.hpp"

namespace dz {

// Raised when a token is not a number; what() is the message the user sees:
// "'%s' is not a valid integer value" / "'%s' is not a valid floating point value".
class ConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The text of a file shown in a message: control characters other than the
// tab (codes 0 to 31 and 127), which a renamed binary file brings and a C
// string or a message box would cut or garble, are shown as '?'; every
// other byte is kept.
// A text longer than MESSAGE_TEXT_LIMIT bytes is shortened in the middle:
// its first and last MESSAGE_TEXT_KEPT bytes (less, so as not to cut a UTF-8
// character) around an ellipsis, so that a huge token or line gives a
// message that fits a screen and appears at once.
[[nodiscard]] std::string shown_in_message(std::string_view text);
inline constexpr std::size_t MESSAGE_TEXT_LIMIT = 300;
inline constexpr std::size_t MESSAGE_TEXT_KEPT = 120;
inline constexpr std::string_view ELLIPSIS = "\u2026";  // UTF-8, like the rest of a message

// A caller stores a line in IN_LINE and calls READ_INT / READ_REAL once per
// number. The line stays current until another line is stored; "@#$" in
// IN_LINE means no new line is pending. Separators are space and tab only.
// A read with no token left assigns nothing and raises nothing.
class Tokenizer {
public:
    explicit Tokenizer(char decimal_separator = '.') : decimal_separator_(decimal_separator) {}

    std::string IN_LINE = "@#$";

    void READ_INT(std::int32_t& destination);
    void READ_REAL(Real& destination);

    [[nodiscard]] char decimal_separator() const { return decimal_separator_; }

private:
    void START_LINE();
    void NEXT_CHAR(std::string& piece);
    std::string read_token(bool& got_token);

    char decimal_separator_;
    std::string WORK_LINE;
    // Widened from 16 bits so that lines of any length are read whole.
    std::size_t LINE_POS = 0;
    std::size_t LINE_LEN = 0;
    bool END_OF_LINE = true;
    bool AT_SEPARATOR = false;
};

}  // namespace dz
