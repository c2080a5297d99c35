#pragma once

#include <QPoint>
#include <QSize>
#include <Qt>

class QWidget;

// Window placement shared by the main window and every dialog. GUI thread only.
namespace Commands {

// The top-left corner PlaceWindow gives a window of `window` size (outer frame) on a screen of
// `screen` size: centred across, its middle at 42.5 % of the screen height, never negative.
QPoint PlacementFor(QSize screen, QSize window);

// Moves `window` by the placement rule on the primary screen.
void PlaceWindow(QWidget& window);

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
