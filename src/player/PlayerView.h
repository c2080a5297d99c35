// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <array>

// The controls of the main window as the player model reads and sets them. Setting a value
// raises none of the control's events. Implemented by Form1 (and by test stand-ins);
// GUI thread only. Lists and columns are numbered 0, 1, 2.
class PlayerView
{
public:
    virtual ~PlayerView() = default;

    // Text of the selected entry of list `list`, "" when nothing is selected.
    virtual QString selectedEntry(int list) const = 0;
    // Every entry of list `list`, first to last.
    virtual QStringList entries(int list) const = 0;
    // Row of the selected entry of list `list`, -1 when nothing is selected.
    virtual int selectedRow(int list) const = 0;
    // Number of entries of list `list`.
    virtual int rowCount(int list) const = 0;
    // Makes `row` the one selected row of list `list`; -1 leaves it without a selection.
    virtual void selectRow(int list, int row) = 0;
    // Empties the three lists.
    virtual void clearLists() = 0;
    // Appends each column's entries to its list.
    virtual void fillLists(const std::array<QStringList, 3>& columns) = 0;
    // Shows each column's entries instead of its list's, selecting row selectedRows[c] (-1:
    // none) and keeping the cursor row and the scroll position where they can be kept; raises
    // no press. A list whose entries are these already stays exactly as it is.
    virtual void replaceLists(
        const std::array<QStringList, 3>& columns, const std::array<int, 3>& selectedRows)
        = 0;

    // The column's Level knob, Pan knob and Mute button.
    virtual qint16 level(int column) const = 0;
    virtual void setLevel(int column, qint16 value) = 0;
    virtual qint16 pan(int column) const = 0;
    virtual void setPan(int column, qint16 value) = 0;
    virtual bool muted(int column) const = 0;
    virtual void setMuted(int column, bool down) = 0;
    // The column's Play button and the sync panel's lamp.
    virtual void setPlayButton(int column, bool down) = 0;
    virtual void setSyncLamp(bool lit) = 0;

    // Shows the tempo (percent) and key (semitones) of what plays: the Tempo menu's title, the
    // sync panel's tooltip and description.
    virtual void showTempoKey(int tempo, int semitones) = 0;

    // Shows `text` in a notice box over the window and returns when it is closed.
    virtual void showNotice(const QString& text) = 0;
    // Opens the lists' popup menu at the pointer and returns at once.
    virtual void showPopup() = 0;
    // True while a popup menu, a question, a notice or one of the program's dialogs is open.
    virtual bool interactionOpen() const = 0;
    // True once the window has closed and the program is ending.
    virtual bool unloaded() const = 0;
};
