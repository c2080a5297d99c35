// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>

class QWidget;
class SettingsIntents;
class frmSettings;
namespace Commands {
struct ProgramValues;
}

// The "Settings..." command of the Options menu. Owned by the main window; holds the Settings
// dialog (at most one, modeless, discarded when closed). GUI thread only.
class SettingsCommand
{
public:
    // `intents` and `values` outlive the command; `window` (the main window) parents the dialog.
    SettingsCommand(SettingsIntents& intents, Commands::ProgramValues& values, QWidget* window);
    ~SettingsCommand();

    // Shows the dialog (or brings it forward) and refills its path box with WAVpath.
    void mnuSettings_Click();

    // The open dialog, null when closed.
    frmSettings* dialog() const;

private:
    SettingsIntents& m_player;
    Commands::ProgramValues& m_values;
    QWidget* m_window;
    QPointer<frmSettings> m_dialog;
};
