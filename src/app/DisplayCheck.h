// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcessEnvironment>
#include <QString>

namespace Commands {

// Why the window could not be shown with the environment `env`, as one line for the terminal,
// or an empty string when a display looks usable. Looks only at the platform Qt would choose
// (QT_QPA_PLATFORM, else X11 or Wayland) and, for a local X server or a Wayland compositor, at
// whether its socket takes a connection; a remote X display and every other platform
// (offscreen, vnc, ...) are left for Qt to judge. Runs before QApplication exists, so that a
// missing display ends the program with a message instead of Qt's abort. Main thread.
QString MissingDisplayMessage(const QProcessEnvironment& env);

} // namespace Commands
