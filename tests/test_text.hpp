// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Splitting the exports' CR LF text into lines in the tests.

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dz::testing {

// The lines of a CR LF text; fails the test on text after the last CR LF or
// a stray CR or LF inside a line.
inline std::vector<std::string> crlf_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "text after the last CR LF";
            break;
        }
        const std::string line = text.substr(start, end - start);
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "stray CR or LF in: " << line;
        lines.push_back(line);
        start = end + 2;
    }
    return lines;
}

}  // namespace dz::testing
