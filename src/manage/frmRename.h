// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "manage/RenameDialogShell.h"

class QLabel;

// The "Rename" dialog: renames the WAV file behind one phrase list entry, and the set settings
// file with it when the entry is the first list's selection. Created by LibraryCommands; GUI
// thread only.
class frmRename : public RenameDialogShell
{
    Q_OBJECT
public:
    // `intents` and `values` outlive the dialog; `parent` is the main window.
    frmRename(LibraryIntents& intents, Commands::ProgramValues& values, QWidget* parent);
    ~frmRename() override;

    // Sets the old name from `entry` (a list entry, "" when nothing was selected), proposes it
    // without extension, selects the proposal, shows the dialog and focuses the name box.
    void showFor(const QString& entry);

    // Stops the list's channel, renames the files, refreshes the lists and closes.
    void rename() override;

    // The old file name, fixed when the dialog opens.
    QLabel* oldNameLabel = nullptr;

private:
    bool m_hasEntry = false; // the old name comes from a selected entry
};
