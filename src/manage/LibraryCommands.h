#pragma once

#include <QPointer>

class PhraseListHost;
class frmRename;
class frmRenSet;
namespace Commands {
struct ProgramValues;
}
namespace DX7Sound {
class Engine;
}

// The popup menu's rename and delete commands. Owned by the main window; holds the two rename
// dialogs (each exists once at most, modeless, discarded when closed). GUI thread only.
class LibraryCommands
{
public:
    LibraryCommands(
        PhraseListHost& host, Commands::ProgramValues& values, DX7Sound::Engine& engine);
    ~LibraryCommands();

    // Opens (or re-targets) frmRename for the selected entry of the list CurrentListIndex names.
    void mnuRename_Click();
    // Checks that every list has a selection (a notice otherwise) and opens frmRenSet.
    void mnuRenameSet_Click();
    // Asks, then moves the file of the selected entry of list CurrentListIndex to the trash.
    // Stops nothing.
    void mnuDel_Click();
    // Checks the three selections, asks, stops every playing channel and moves the three
    // files to the trash; the set settings file stays.
    void mnuDelSet_Click();

    // The open dialogs, null when closed (for tests and shutdown).
    frmRename* renameDialog() const;
    frmRenSet* renameSetDialog() const;

private:
    PhraseListHost& m_host;
    Commands::ProgramValues& m_values;
    DX7Sound::Engine& m_engine;
    QPointer<frmRename> m_rename;
    QPointer<frmRenSet> m_renSet;
};
