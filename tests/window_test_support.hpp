// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the window tests share: a small surface file, answering a modal
// dialog, and the test program's start with a QApplication on the offscreen
// platform.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QtGlobal>
#include <functional>
#include <string>
#include <utility>

namespace dz::testing {

// Ten zones with whole numbers only, so that any decimal separator reads them.
inline std::string whole_number_surface(const std::string& caption) {
    std::string text = caption + "\nignored\n-1\n1200\nignored\n";
    const int values[] = {0, 3, 5, 4, 1, -2, -4, -3, 0, 2};
    for (int k = 0; k < 10; ++k) text += std::to_string(5 * k) + " 0 " + std::to_string(values[k]) + "\n";
    return text;
}

// Runs `act` on the modal dialog of type T as soon as it is shown.
template <class T>
void when_shown(std::function<void(T*)> act) {
    QTimer::singleShot(0, [act = std::move(act)] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        EXPECT_NE(dialog, nullptr);
        if (dialog) act(dialog);
    });
}

// The main function of a window test program.
inline int run_window_tests(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

}  // namespace dz::testing
