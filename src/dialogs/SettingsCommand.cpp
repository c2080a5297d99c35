#include "dialogs/SettingsCommand.h"

#include "app/Commands.h"
#include "dialogs/frmSettings.h"
#include "library/PhraseListHost.h"

#include <QLineEdit>

SettingsCommand::SettingsCommand(PhraseListHost& host, Commands::ProgramValues& values)
    : m_host(host)
    , m_values(values)
{ }

SettingsCommand::~SettingsCommand()
{
    delete m_dialog.data();
}

void SettingsCommand::mnuSettings_Click()
{
    if (!m_dialog) {
        m_dialog = new frmSettings(m_host, m_values, m_host.hostWindow());
        m_dialog->load();
    } else {
        m_dialog->show();
        m_dialog->raise();
        m_dialog->activateWindow();
    }
    // Loading processes pending events, during which the dialog may have been closed.
    if (m_dialog)
        m_dialog->txtPath->setText(m_values.WAVpath);
}

frmSettings* SettingsCommand::dialog() const
{
    return m_dialog;
}
