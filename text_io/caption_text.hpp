// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The plot caption between its bytes and what the user sees. A surface file
// carries the caption as raw bytes: UTF-8 from newer programs, Windows-1252
// from older ones. The window shows UTF-8 as it is and reads anything else as
// Windows-1252; the DXF template declares code page ANSI_1252, so an edited
// caption goes into the DXF text in that code page.

#include <string>
#include <string_view>

namespace dz {

// True when `bytes` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
[[nodiscard]] bool is_valid_utf8(std::string_view bytes);

// The caption as text: `bytes` unchanged when valid UTF-8, else each byte
// read as Windows-1252 (the five unassigned bytes as the C1 controls of the
// same value) and written as UTF-8.
[[nodiscard]] std::string caption_to_utf8(std::string_view bytes);

// UTF-8 text for a DXF multi-line text in code page ANSI_1252: ASCII and the
// other Windows-1252 characters as their byte, any other character of the
// basic plane as the escape "\U+XXXX" (upper-case hex), characters beyond it
// as '?'. Backslashes and braces are not escaped. Invalid UTF-8 input is
// returned unchanged.
[[nodiscard]] std::string utf8_to_dxf_text(std::string_view utf8);

}  // namespace dz
