// Placeholder so that the program links while the commands are being built.
#include "manage/LibraryCommands.h"

#include <QWidget>

class frmRename : public QWidget { };
class frmRenSet : public QWidget { };

LibraryCommands::LibraryCommands(
    PhraseListHost& host, Commands::ProgramValues& values, DX7Sound::Engine& engine)
    : m_host(host)
    , m_values(values)
    , m_engine(engine)
{
}
LibraryCommands::~LibraryCommands() = default;
void LibraryCommands::mnuRename_Click() { }
void LibraryCommands::mnuRenameSet_Click() { }
void LibraryCommands::mnuDel_Click() { }
void LibraryCommands::mnuDelSet_Click() { }
frmRename* LibraryCommands::renameDialog() const { return m_rename; }
frmRenSet* LibraryCommands::renameSetDialog() const { return m_renSet; }
