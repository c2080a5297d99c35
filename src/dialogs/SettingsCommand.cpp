// Placeholder so that the program links while the dialogs are being built.
#include "dialogs/SettingsCommand.h"

#include <QWidget>

class frmSettings : public QWidget { };

SettingsCommand::SettingsCommand(PhraseListHost& host, Commands::ProgramValues& values)
    : m_host(host)
    , m_values(values)
{
}
SettingsCommand::~SettingsCommand() = default;
void SettingsCommand::mnuSettings_Click() { }
frmSettings* SettingsCommand::dialog() const { return m_dialog; }
