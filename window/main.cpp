// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>

#include "window/main_window.hpp"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    dz::TFORM1 window(QApplication::arguments().mid(1));
    window.show();
    return QApplication::exec();
}
