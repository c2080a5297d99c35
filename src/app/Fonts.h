// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>

namespace Commands {

// Pixel sizes of the design's faces at 96 dpi (8.25 pt, 9.75 pt and 18 pt). Fixed pixel sizes
// keep every window's layout the same at any screen density.
constexpr int kSmallFontPx = 11;
constexpr int kMediumFontPx = 13;
constexpr int kLargeFontPx = 24;

// The program's one face, a sans-serif that fonts-liberation guarantees, at `pixelSize`.
// GUI thread only (fonts need the application object).
QFont ProgramFont(int pixelSize, bool bold);

} // namespace Commands
