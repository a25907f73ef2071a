// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Dialogs and a view for driving the command handlers without a human: the
// prompts and file dialogs take their answers from queues, and every call is
// recorded for the test to check.

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "window/user_interface.hpp"
#include "tests/recording_canvas.hpp"

namespace dz::testing {

struct PromptCall {
    std::string caption, text, default_text;
};

struct FileDialogCall {
    FileDialogSettings settings;  // as the command set it before the dialog
    std::string folder;
    bool save = false;
};

// An answer to a file dialog: the chosen path and filter.
struct FileAnswer {
    std::string path;
    int filter_index = 0;
};

class ScriptedDialogs final : public Dialogs {
public:
    std::deque<std::optional<std::string>> answers;  // nullopt: Cancel
    std::deque<std::optional<FileAnswer>> files;     // nullopt: Cancel
    std::deque<std::optional<WearSettings>> strokes;  // the stroke dialog's OK values; nullopt: Cancel
    bool help_opens = true;

    std::vector<PromptCall> prompts;
    std::vector<std::string> messages;
    std::vector<FileDialogCall> file_dialogs;
    std::vector<std::string> helps_opened;
    std::vector<WearSettings> stroke_dialogs;  // the values each stroke dialog showed
    int builtin_help_shown = 0;
    // Runs at each message, e.g. to see whether the window is shown yet.
    std::function<void()> on_message;

    std::string prompt(const std::string& caption, const std::string& text,
                       const std::string& default_text) override {
        prompts.push_back({caption, text, default_text});
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected prompt " << caption;
            return default_text;
        }
        auto answer = answers.front();
        answers.pop_front();
        return answer ? *answer : default_text;
    }
    void message(const std::string& text) override {
        messages.push_back(text);
        if (on_message) on_message();
    }
    bool open_dialog(FileDialogSettings& dialog, std::string& folder) override {
        return file_dialog(dialog, folder, false);
    }
    bool save_dialog(FileDialogSettings& dialog, std::string& folder) override {
        return file_dialog(dialog, folder, true);
    }
    bool open_help(const std::string& path) override {
        helps_opened.push_back(path);
        return help_opens;
    }
    void show_builtin_help() override { ++builtin_help_shown; }
    bool stroke_dialog(WearSettings& settings) override {
        stroke_dialogs.push_back(settings);
        if (strokes.empty()) {
            ADD_FAILURE() << "unexpected stroke dialog";
            return false;
        }
        auto answer = strokes.front();
        strokes.pop_front();
        if (!answer) return false;
        settings = *answer;
        return true;
    }

private:
    bool file_dialog(FileDialogSettings& dialog, std::string& folder, bool save) {
        file_dialogs.push_back({dialog, folder, save});
        if (files.empty()) {
            ADD_FAILURE() << "unexpected file dialog " << dialog.title;
            return false;
        }
        auto answer = files.front();
        files.pop_front();
        if (!answer) return false;
        dialog.file_name = answer->path;
        dialog.filter_index = answer->filter_index;
        folder = std::filesystem::path(answer->path).parent_path().string();
        return true;
    }
};

class RecordingView final : public LapView {
public:
    std::vector<ViewState> shown;
    int draws = 0;
    RecordingCanvas last_plot;
    std::vector<std::string> notices;

    void show_view(const ViewState& view) override { shown.push_back(view); }
    void draw_plot(const std::function<void(Canvas&)>& draw) override {
        last_plot.clear();
        draw(last_plot);
        ++draws;
    }
    void notify(const std::string& text) override { notices.push_back(text); }
};

}  // namespace dz::testing
