// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <QWidget>

class QLabel;
class QPushButton;
class NameEdit;
class LibraryIntents;
namespace Commands {
struct ProgramValues;
}

// What the two rename dialogs share: a modeless, topmost window of the main window that
// deletes itself when closed, a name box whose Enter renames and whose other keys pass the
// name filter, "Cancel" and "Rename" buttons, the load handler and the way a proposal is shown.
// Subclasses build their controls in tab order with the helpers and implement rename().
// GUI thread only.
class RenameDialogShell : public QWidget
{
    Q_OBJECT
public:
    ~RenameDialogShell() override;

    // The load handler: places the dialog and keeps it on top (processes pending events once).
    virtual void Form_Load();
    // "Rename" (the button, or Enter in the name box).
    virtual void rename() = 0;
    // "Cancel": closes the dialog.
    void cancel();

    // The controls both dialogs have.
    NameEdit* txtNewName = nullptr;
    QPushButton* cancelButton = nullptr;
    QPushButton* renameButton = nullptr;

protected:
    // `intents` and `values` outlive the dialog; `parent` is the main window. The client area
    // is `widthTwips` by `heightTwips`.
    RenameDialogShell(LibraryIntents& intents, Commands::ProgramValues& values, QWidget* parent,
        const QString& title, int widthTwips, int heightTwips);

    // A control's rectangle from twips (15 to a pixel).
    static QRect FromTwips(int left, int top, int width, int height);
    // A plain-text caption at `rect` (twips), bold or in the dialog's face.
    QLabel* addCaption(const QString& objectName, const QString& text, QRect rect, bool bold);
    // The bold name box at `rect` (twips).
    void addNameBox(QRect rect);
    // "Cancel" and the bold "Rename" at their rectangles (twips).
    void addButtons(QRect cancelRect, QRect renameRect);
    // Wires the buttons and Enter; call once every control exists.
    void finishControls();
    // Puts `proposal` into the name box, selects it, shows the dialog and focuses the box.
    void present(const QString& proposal);
    // A code the name box lets through without the name filter (beyond Enter, which renames).
    virtual bool passesUnfiltered(qint16 KeyAscii) const;

    LibraryIntents& m_intents;
    Commands::ProgramValues& m_values;

private:
    void txtNewName_KeyPress(qint16& KeyAscii);
};
