// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <array>

// What a popup command acts on, captured when the popup opened: the list it was opened on and
// the selected entry of each list ("" for none). Lists are numbered 0, 1, 2.
struct PopupTarget
{
    qint16 list = 0;
    std::array<QString, 3> selected;
};

// What the rename and delete commands need of the player: the lists' selections, the stops
// they make before they change files, and the refill afterwards. Implemented by the player;
// GUI thread only. Lists and columns are numbered 0, 1, 2.
class LibraryIntents
{
public:
    virtual ~LibraryIntents() = default;

    // Text of the selected entry of list `list`, "" when nothing is selected.
    virtual QString selectedEntry(int list) const = 0;
    // Every entry of list `list`, first to last.
    virtual QStringList entries(int list) const = 0;
    // The list that received the last mouse press.
    virtual qint16 currentListIndex() const = 0;
    // Stops column `column` when it is flagged as playing (its channel and flag, then pending
    // events run once, then its Play button goes up), and puts out the sync lamp when no column
    // is flagged any more. False when the program ended while the events ran: the caller must
    // then stop without touching a file.
    virtual bool stopColumn(int column) = 0;
    // Stops every column flagged as playing (channel, flag, Play button) and puts out the sync
    // lamp. Lets no events run.
    virtual void stopAll() = 0;
    // Refills the three lists from the sound directory; afterwards nothing is selected. Lets
    // pending events run once.
    virtual void refreshLists() = 0;
    // True once the main window has closed and the program is ending: a command that let
    // events run (a question, processed events) must then stop without touching a file or a
    // channel.
    virtual bool unloaded() const = 0;
};
