// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace Controls {

// Registers with Qt's accessibility registry the interfaces that expose each animKnob as a dial
// (name, value, minimum, maximum) and each strip button as a toggle button (name, checked
// state), and every plain widget made a dialog window as a dialog. Call once, on the GUI thread,
// before the first control is shown; initControls() does.
void installAccessibilityFactory();

} // namespace Controls
