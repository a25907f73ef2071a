// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A fresh, empty folder for one test, named after it.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace dz::testing {

// temp/<prefix><test name>, emptied and created anew.
inline std::filesystem::path fresh_test_folder(const std::string& prefix) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / (prefix + info->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace dz::testing
