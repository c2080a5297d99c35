#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// The narrow view of the main window that the library commands and dialogs act through, so
// they never include the window itself. Implemented by Form1; GUI thread only. Lists and
// columns are numbered 0, 1, 2.
class PhraseListHost
{
public:
    virtual ~PhraseListHost() = default;

    // Text of the selected entry of list `list`, "" when nothing is selected.
    virtual QString selectedEntry(int list) const = 0;
    // Every entry of list `list`, first to last.
    virtual QStringList entries(int list) const = 0;
    // The list that received the last mouse press.
    virtual qint16 currentListIndex() const = 0;
    // The column's Playing flag (what the program started, not what the engine reports).
    virtual bool playing(int column) const = 0;
    virtual void setPlaying(int column, bool on) = 0;
    // Sets the Value of the column's Play button / of the sync panel, raising no event.
    virtual void setPlayButton(int column, bool down) = 0;
    virtual void setSyncButton(bool down) = 0;
    // Refills the three lists from the sound directory; afterwards nothing is selected.
    virtual void refreshPhraseLists() = 0;
    // The main window, parent of the dialogs and message boxes.
    virtual QWidget* hostWindow() = 0;
    // True once the main window has closed and the program is ending: a handler that let
    // events run (a question, processed events) must then stop without touching a file or a
    // channel.
    virtual bool unloaded() const = 0;
};
