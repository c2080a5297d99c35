// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/SettingsCommand.h"

#include "app/Commands.h"
#include "dialogs/frmSettings.h"

#include <QLineEdit>

SettingsCommand::SettingsCommand(
    SettingsIntents& intents, Commands::ProgramValues& values, QWidget* window)
    : m_player(intents)
    , m_values(values)
    , m_window(window)
{ }

SettingsCommand::~SettingsCommand()
{
    delete m_dialog.data();
}

void SettingsCommand::mnuSettings_Click()
{
    if (!m_dialog) {
        m_dialog = new frmSettings(m_player, m_values, m_window);
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
