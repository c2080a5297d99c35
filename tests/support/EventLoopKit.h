// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Running a scenario that ends the program's event loops. QCoreApplication::exit(), which the
// main window's closing calls, makes every running loop return and every later nested loop
// (a message box's, a dialog's) return at once, for the rest of the process. Only the
// application's own exec() clears that state again; so such a scenario runs inside it.

#include <QCoreApplication>
#include <QTimer>
#include <functional>

namespace EventLoopKit {

// Runs `scenario` from inside QCoreApplication::exec() and returns when that loop has ended:
// through the scenario's own exit(), or right after the scenario returns. GUI thread.
inline void runInApplicationLoop(const std::function<void()>& scenario)
{
    QTimer::singleShot(0, [&] {
        scenario();
        QCoreApplication::exit(0);
    });
    QCoreApplication::exec();
}

} // namespace EventLoopKit
