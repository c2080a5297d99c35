// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "manage/LibraryIntents.h"

#include <QPointer>

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

    // The popup's commands, acting on `target` (what the popup was opened on). The forms
    // without a target act on the lists' present selections and CurrentListIndex.
    //
    // Opens (or re-targets) frmRename for the target list's entry.
    void mnuRename_Click(const PopupTarget& target);
    void mnuRename_Click();
    // Checks that every list has a selection (a notice otherwise) and opens frmRenSet.
    void mnuRenameSet_Click(const PopupTarget& target);
    void mnuRenameSet_Click();
    // Asks, then moves the file of the target list's entry to the trash. Stops nothing.
    void mnuDel_Click(const PopupTarget& target);
    void mnuDel_Click();
    // Checks the three selections, asks, stops every playing column and moves the three
    // files to the trash; the set settings file stays.
    void mnuDelSet_Click(const PopupTarget& target);
    void mnuDelSet_Click();
    // Tells an open frmRenSet that the lists' selections changed (its file line follows).
    void selectionsChanged();

    // The open dialogs, null when closed (for tests and shutdown).
    frmRename* renameDialog() const;
    frmRenSet* renameSetDialog() const;

private:
    PopupTarget presentTarget() const;

    LibraryIntents& m_player;
    Commands::ProgramValues& m_values;
    QWidget* m_window;
    QPointer<frmRename> m_rename;
    QPointer<frmRenSet> m_renSet;
};
