// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the tests of the window's command handlers share: a small surface
// file and the commands in a working folder of their own.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "text_io/caption_text.hpp"
#include "window/commands.hpp"
#include "drawing/leaf_outline.hpp"
#include "lap_load/calc_lap.hpp"
#include "text_io/numbers.hpp"
#include "tests/scripted_dialogs.hpp"
#include "tests/same_bits.hpp"
#include "tests/test_files.hpp"
#include "tests/test_folder.hpp"
#include "tests/test_text.hpp"

namespace dz::commands_test {

namespace fs = std::filesystem;
using dz::LapCommands;
using dz::testing::FileAnswer;
using dz::testing::RecordingView;
using dz::testing::ScriptedDialogs;

// A surface of ten zones at radii 0, 5, ..., 45 mm with values above and
// below zero, the caption on line 1.
inline std::string surface_text(const std::string& caption, const std::string& b_line = "-1.000") {
    std::string text = caption + "\r\nignored\r\n" + b_line + "\r\n1200.0\r\nignored\r\n";
    const char* values[] = {"0.000", "0.030", "0.050", "0.040", "0.010",
                            "-0.020", "-0.040", "-0.030", "0.000", "0.020"};
    for (int k = 0; k < 10; ++k) text += std::to_string(5 * k) + "  0  " + values[k] + "\r\n";
    return text;
}

inline std::string read_bytes(const fs::path& path) { return dz::testing::file_bytes(path); }

// Each test works in a folder of its own, which is also the working folder.
class CommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = dz::testing::fresh_test_folder("doroziri_commands_");
        old_cwd_ = fs::current_path();
        fs::current_path(dir_);
    }
    void TearDown() override {
        fs::current_path(old_cwd_);
        fs::remove_all(dir_);
    }

    std::string write(const std::string& name, const std::string& bytes) const {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
        return (dir_ / name).string();
    }

    // Commands started without arguments, then loaded with `caption`.
    LapCommands& loaded(const std::string& caption = "Test mirror 200") {
        commands_.FormCreate({});
        dialogs_.files.push_back(FileAnswer{write("mirror.srf", surface_text(caption))});
        commands_.Open1Click();
        EXPECT_TRUE(dialogs_.messages.empty()) << dialogs_.messages.front();
        EXPECT_TRUE(commands_.state().loaded);
        return commands_;
    }

    fs::path dir_;
    fs::path old_cwd_;
    ScriptedDialogs dialogs_;
    RecordingView view_;
    LapCommands commands_{dialogs_, view_, '.', "start-folder"};
};

}  // namespace dz::commands_test
