#pragma once

#include <QWidget>
#include <array>

class QLabel;
class QPushButton;
class NameEdit;
class PhraseListHost;
namespace Commands {
struct ProgramValues;
}
namespace DX7Sound {
class Engine;
}

// The "Rename" dialog: renames the WAV file behind one phrase list entry, and the set settings
// file with it when the entry is the first list's selection. A modeless, topmost window of the
// main window that deletes itself when closed. Created by LibraryCommands; GUI thread only.
class frmRename : public QWidget
{
    Q_OBJECT
public:
    // `host`, `values` and `engine` outlive the dialog.
    frmRename(PhraseListHost& host, Commands::ProgramValues& values, DX7Sound::Engine& engine);
    ~frmRename() override;

    // The load handler: places the dialog and keeps it on top (processes pending events once).
    void Form_Load();
    // Sets the old name from `entry` (a list entry, "" when nothing was selected), proposes it
    // without extension, selects the proposal, shows the dialog and focuses the name box.
    void showFor(const QString& entry);

    // "Rename": stops the list's channel, renames the files, refreshes the lists and closes.
    void Command2_Click();
    // "Cancel": closes the dialog.
    void Command1_Click();

    // Controls, named as in the design: Label1 "Old name:", "New name:", ".wav".
    std::array<QLabel*, 3> Label1 {};
    QLabel* lblOldName = nullptr;
    NameEdit* txtNewName = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;

private:
    void txtNewName_KeyPress(qint16& KeyAscii);

    PhraseListHost& m_host;
    Commands::ProgramValues& m_values;
    DX7Sound::Engine& m_engine;
    bool m_hasEntry = false; // the old name comes from a selected entry
};
