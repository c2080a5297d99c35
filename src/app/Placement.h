// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <Qt>

class QWidget;

// Window placement shared by the main window and every dialog. GUI thread only.
namespace Commands {

// The top-left corner PlaceWindow gives a window of `window` size (outer frame) on a screen of
// `screen` size: centred across, its middle at 42.5 % of the screen height, never negative.
QPoint PlacementFor(QSize screen, QSize window);

// `topLeft` moved the least that keeps a frame of `window` size inside `area`; where it is
// larger than the area, its top-left corner (title bar and close box) stays inside.
QPoint KeptInside(QRect area, QPoint topLeft, QSize window);

// Moves `window` by the placement rule within the primary screen's available area (the panels
// left out), kept inside it. The window manager's frame is not known before the window is first
// shown; once it is, the window is moved back inside if the frame pushed it out.
void PlaceWindow(QWidget& window);

// Brings the program's window to the front: shown, no longer minimised, raised and activated
// through the window manager's activation request. For a second start of the program.
void BringToFront(QWidget& window);

// Keeps a dialog above the main window and other windows, then processes pending events once.
void MakeTopmost(QWidget& window);

// The frame of the program's dialogs: a title and a close box, kept on top; they have a fixed
// size, so there is no maximise button.
constexpr Qt::WindowFlags kDialogFlags = Qt::Dialog | Qt::WindowStaysOnTopHint
    | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;

// Lets Enter press whichever push button of `dialog` has the focus, as Space does; a plain
// widget's buttons take only Space. Call once its buttons exist.
void PressButtonsOnEnter(QWidget& dialog);

} // namespace Commands
