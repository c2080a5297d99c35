#pragma once

#include <QPointer>

class LibraryIntents;
class QWidget;
class frmRename;
class frmRenSet;
namespace Commands {
struct ProgramValues;
}

// The popup menu's rename and delete commands. Owned by the main window; holds the two rename
// dialogs (each exists once at most, modeless, discarded when closed). GUI thread only.
class LibraryCommands
{
public:
    // `intents` and `values` outlive the commands; `window` (the main window) parents the
    // dialogs and message boxes.
    LibraryCommands(LibraryIntents& intents, Commands::ProgramValues& values, QWidget* window);
    ~LibraryCommands();

    // Opens (or re-targets) frmRename for the selected entry of the list CurrentListIndex names.
    void mnuRename_Click();
    // Checks that every list has a selection (a notice otherwise) and opens frmRenSet.
    void mnuRenameSet_Click();
    // Asks, then moves the file of the selected entry of list CurrentListIndex to the trash.
    // Stops nothing.
    void mnuDel_Click();
    // Checks the three selections, asks, stops every playing column and moves the three
    // files to the trash; the set settings file stays.
    void mnuDelSet_Click();

    // The open dialogs, null when closed (for tests and shutdown).
    frmRename* renameDialog() const;
    frmRenSet* renameSetDialog() const;

private:
    LibraryIntents& m_player;
    Commands::ProgramValues& m_values;
    QWidget* m_window;
    QPointer<frmRename> m_rename;
    QPointer<frmRenSet> m_renSet;
};
