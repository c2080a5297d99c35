#pragma once

#include <QPointer>

class PhraseListHost;
class frmSettings;
namespace Commands {
struct ProgramValues;
}

// The "Settings..." command of the Options menu. Owned by the main window; holds the Settings
// dialog (at most one, modeless, discarded when closed). GUI thread only.
class SettingsCommand
{
public:
    SettingsCommand(PhraseListHost& host, Commands::ProgramValues& values);
    ~SettingsCommand();

    // Shows the dialog (or brings it forward) and refills its path box with WAVpath.
    void mnuSettings_Click();

    // The open dialog, null when closed.
    frmSettings* dialog() const;

private:
    PhraseListHost& m_host;
    Commands::ProgramValues& m_values;
    QPointer<frmSettings> m_dialog;
};
