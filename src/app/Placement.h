#pragma once

#include <QPoint>
#include <QSize>

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

} // namespace Commands
