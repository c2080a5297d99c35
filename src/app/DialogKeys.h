// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QPushButton;
class QWidget;

namespace Commands {

// Gives one of the program's modeless dialogs the keys of a dialog box: Escape presses
// `cancelButton` (the dialog closes as Cancel closes it), and Enter presses the push button that
// has the focus, or `defaultButton` (drawn as the default) when the focus is elsewhere. A control
// that takes Enter or Escape itself (a name box, a list that opens a directory) keeps it. The
// buttons are children of `dialog`; the keys work for as long as the dialog lives. GUI thread
// only.
void DialogKeys(QWidget& dialog, QPushButton* defaultButton, QPushButton* cancelButton);

} // namespace Commands
