// SPDX-License-Identifier: GPL-3.0-or-later
// The line tokenizer: hands out the numbers of one line, one per call.

#include "text_io/tokenizer.hpp"

#include <optional>

#include "text_io/numbers.hpp"

namespace dz {

namespace {

// The text in IN_LINE that means "no new line is pending".
constexpr const char* NO_LINE = "@#$";

}  // namespace

// START_LINE takes a pending line from IN_LINE.
//
// on entry  IN_LINE  a new line, or "@#$" when none is pending.
// on return when a line was pending: WORK_LINE holds it, IN_LINE is "@#$",
//           LINE_POS is 0, LINE_LEN its length and END_OF_LINE tells
//           whether it is empty. AT_SEPARATOR is left as it was. When none
//           was pending nothing changes and the current line stays current.
void Tokenizer::START_LINE() {
    if (IN_LINE == NO_LINE) return;
    WORK_LINE = IN_LINE;
    IN_LINE = NO_LINE;
    LINE_POS = 0;
    LINE_LEN = WORK_LINE.size();
    END_OF_LINE = LINE_LEN == 0;
}

// NEXT_CHAR consumes one character of WORK_LINE.
//
// on entry  END_OF_LINE is false (not checked).
// on return piece is empty when the character is a space or a tab, else the
//           character itself; AT_SEPARATOR tells which. LINE_POS counts the
//           character; END_OF_LINE is set once the last one is consumed and
//           is never cleared here.
void Tokenizer::NEXT_CHAR(std::string& piece) {
    LINE_POS = LINE_POS + 1;
    const char ch = WORK_LINE[LINE_POS - 1];
    AT_SEPARATOR = ch == ' ' || ch == '\t';
    if (AT_SEPARATOR) {
        piece.clear();
    } else {
        piece.assign(1, ch);
    }
    if (LINE_POS == LINE_LEN) END_OF_LINE = true;
}

// read_token is the common body of READ_INT and READ_REAL.
//
// on return got_token false and an empty text when the line had nothing
//           left; otherwise got_token true and the token, which is empty
//           when only separators remained. The separator that ends a token
//           is consumed with it.
std::string Tokenizer::read_token(bool& got_token) {
    std::string piece;
    std::string token;
    START_LINE();
    got_token = false;
    if (END_OF_LINE) return token;
    got_token = true;

    // skip separators; they append nothing
    do {
        NEXT_CHAR(piece);
        token += piece;
    } while (!END_OF_LINE && AT_SEPARATOR);

    // gather the rest of the token up to and including its separator
    if (!END_OF_LINE) {
        do {
            NEXT_CHAR(piece);
            token += piece;
        } while (!AT_SEPARATOR && !END_OF_LINE);
    }
    return token;
}

// READ_INT reads the next token of the current line as an integer.
//
// on entry  IN_LINE      a new line, or "@#$" to go on in the current one.
//           destination  any value.
// on return destination holds the token's value; it is unchanged when the
//           line had no token left.
// failures  ConversionError "'<token>' is not a valid integer value" when
//           the token (possibly empty) is not a decimal integer of 32 bits;
//           destination unchanged, position after the consumed characters.
void Tokenizer::READ_INT(std::int32_t& destination) {
    bool got_token = false;
    const std::string token = read_token(got_token);
    if (!got_token) return;
    const std::optional<std::int32_t> value = parse_int(token);
    if (!value) throw ConversionError("'" + shown_in_message(token) + "' is not a valid integer value");
    destination = *value;
}

// READ_REAL reads the next token of the current line as a real, with the
// tokenizer's decimal separator.
//
// on entry  IN_LINE      a new line, or "@#$" to go on in the current one.
//           destination  any value.
// on return destination holds the token's value, correctly rounded; it is
//           unchanged when the line had no token left.
// failures  ConversionError "'<token>' is not a valid floating point value"
//           when the token (possibly empty) is not a number (see parse_real);
//           destination unchanged, position after the consumed characters.
void Tokenizer::READ_REAL(Real& destination) {
    bool got_token = false;
    const std::string token = read_token(got_token);
    if (!got_token) return;
    const std::optional<Real> value = parse_real(token, decimal_separator_);
    if (!value) throw ConversionError("'" + shown_in_message(token) + "' is not a valid floating point value");
    destination = *value;
}

namespace {

bool utf8_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::string shown_in_message(std::string_view text) {
    std::string shown;
    if (text.size() <= MESSAGE_TEXT_LIMIT) {
        shown = text;
    } else {
        // Cut between characters: a UTF-8 sequence stays whole on either side.
        std::size_t head = MESSAGE_TEXT_KEPT;
        while (head > 0 && utf8_continuation(text[head])) --head;
        std::size_t tail = text.size() - MESSAGE_TEXT_KEPT;
        while (tail < text.size() && utf8_continuation(text[tail])) ++tail;
        shown.reserve(head + 3 + (text.size() - tail));
        shown.append(text.substr(0, head)).append(ELLIPSIS).append(text.substr(tail));
    }
    for (char& c : shown) {
        const auto code = static_cast<unsigned char>(c);
        if ((code < 0x20 && c != '\t') || code == 0x7f) c = '?';
    }
    return shown;
}

}  // namespace dz
