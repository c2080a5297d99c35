// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "manage/RenameDialogShell.h"

#include <QStringList>

class QComboBox;
class QLabel;

// The "Rename Phrase Set" dialog: gives the three selected phrases one set name and moves the
// set settings file of the first list's selection with them. Created by LibraryCommands; GUI
// thread only.
class frmRenSet : public RenameDialogShell
{
    Q_OBJECT
public:
    // `intents` and `values` outlive the dialog; `parent` is the main window.
    frmRenSet(LibraryIntents& intents, Commands::ProgramValues& values, QWidget* parent);
    ~frmRenSet() override;

    // The load handler: places the dialog, keeps it on top and fills the drop-down from the
    // first list.
    void Form_Load() override;
    // Proposes the set name of `firstEntry` (list 1's selection), selects it, shows the dialog
    // and focuses the name box. The drop-down stays as the load filled it.
    void showFor(const QString& firstEntry);

    // Shows in the file line the three files that Rename would rename now: the lists' present
    // selections, which need not belong to one set. Names too long for one line get a line
    // each, and the dialog grows to show them.
    void showFiles();

    // Choosing in the drop-down: its text into the name box, caret at the end, focus there.
    void setNameChosen();
    // Stops every channel, renames the three files and the settings file, refreshes the lists
    // and closes.
    void rename() override;

    // The drop-down of set names the first list suggests.
    QComboBox* setNameChoice = nullptr;
    // "Renames: " and the three files, under the name boxes.
    QLabel* filesLine = nullptr;
    // The intermediate list of set names (never shown), last entry first.
    QStringList setNames;

protected:
    // '(' and ')' may stand in a set name.
    bool passesUnfiltered(qint16 KeyAscii) const override;

private:
    // Gives the file line `lines` lines and grows the dialog and moves the buttons down by them.
    void fitFilesLine(int lines);
};
