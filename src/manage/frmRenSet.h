#pragma once

#include <QStringList>
#include <QWidget>
#include <array>

class QComboBox;
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

// The "Rename Phrase Set" dialog: gives the three selected phrases one set name and moves the
// set settings file of the first list's selection with them. A modeless, topmost window of the
// main window that deletes itself when closed. Created by LibraryCommands; GUI thread only.
class frmRenSet : public QWidget
{
    Q_OBJECT
public:
    // `host`, `values` and `engine` outlive the dialog.
    frmRenSet(PhraseListHost& host, Commands::ProgramValues& values, DX7Sound::Engine& engine);
    ~frmRenSet() override;

    // The load handler: places the dialog, keeps it on top and fills the drop-down from the
    // first list.
    void Form_Load();
    // Proposes the set name of `firstEntry` (list 1's selection), selects it, shows the dialog
    // and focuses the name box. The drop-down stays as the load filled it.
    void showFor(const QString& firstEntry);

    // The set name proposed for a first-list entry: less ".wav", then "_1", "_2", "_3".
    static QString ProposeSetName(const QString& entry);
    // The drop-down's names for the first list's entries, in list order.
    static QStringList SetNamesFromEntries(const QStringList& entries);

    // Choosing in the drop-down: its text into the name box, caret at the end, focus there.
    void Combo1_Click();
    // "Rename": stops every channel, renames the three files and the settings file, refreshes
    // the lists and closes.
    void Command2_Click();
    // "Cancel": closes the dialog.
    void Command1_Click();

    // Controls, named as in the design: Label1 "Choose name:", "Set name:".
    std::array<QLabel*, 2> Label1 {};
    NameEdit* txtNewName = nullptr;
    QComboBox* Combo1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    // The intermediate list of set names (never shown).
    QStringList List1;

private:
    void txtNewName_KeyPress(qint16& KeyAscii);

    PhraseListHost& m_host;
    Commands::ProgramValues& m_values;
    DX7Sound::Engine& m_engine;
};
