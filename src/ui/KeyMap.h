// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <Qt>
#include <array>

class QKeyEvent;
class QWidget;

// The items of the Tempo menu, which keys stand for too.
enum class TempoStep { Faster, Slower, FasterBy1, SlowerBy1, KeyUp, KeyDown, Original };

// The player's gestures that a key stands for; each one does what the matching mouse gesture
// does, through the same handler. Implemented by the player (PlayerKeys); GUI thread only. Columns
// are 0, 1, 2.
class KeyIntents
{
public:
    virtual ~KeyIntents() = default;

    // A press of the sync panel (start the selected set, or stop everything).
    virtual void pressSync() = 0;
    // A press of the column's Play button.
    virtual void pressPlay(int column) = 0;
    // A press of the column's Mute button.
    virtual void pressMute(int column) = 0;
    // A left press on the row the column's list has its cursor on.
    virtual void pressListRow(int column) = 0;
    // Re-reads the sound directory into the lists, keeping the selections where they still are.
    virtual void refreshLists() = 0;
    // Opens the menu bar's first menu.
    virtual void openMenus() = 0;
    // The menu bar's Save Settings command.
    virtual void saveSettings() = 0;
    // Opens the list's popup menu for the row its cursor is on, as a right press there does.
    virtual void openPopup(int column) = 0;
    // Runs one item of the list's popup menu on the row its cursor is on, exactly as choosing
    // it from the popup opened there does.
    virtual void runPopupItem(int column, int item) = 0;
    // Ends the program as closing the main window does.
    virtual void quit() = 0;
    // An item of the Tempo menu.
    virtual void stepTempo(TempoStep step) = 0;
};

namespace Keys {

// What a key press stands for, whatever widget it is typed into.
enum class Gesture {
    None,
    Sync,
    Play,
    Mute,
    ListRow,
    Refresh,
    Menus,
    Save,
    Popup,
    PopupItem,
    Quit,
    Tempo
};

// The popup menu's items, in menu order, as PopupItem's `column` names them.
enum PopupItem { RenamePhrase, RenamePhraseSet, DeletePhrase, DeletePhraseSet };

struct Command
{
    Gesture gesture = Gesture::None;
    int column = -1; // Play and Mute: 0..2; PopupItem: the PopupItem
    TempoStep step = TempoStep::Original; // Tempo
    bool operator==(const Command&) const = default;
};

// The command of a key press. Digits count by the key's place on the keyboard where the scan
// code tells it (`xkbScanCodes`: the platform reports XKB key codes, as X11 and Wayland do: 10,
// 11, 12 for the keys 1, 2, 3), so that Shift+1 is Mute 1 on every layout, also where the key
// types '!' or where the digits themselves need Shift. Without that, the key code counts:
// 1, 2, 3 (also on the keypad) and, with Shift, what the US and most European layouts type
// there ('!', '@' or '"', '#', '£' or '§'). Space, the digits and Enter count only without
// Ctrl, Alt or Meta.
Command commandOf(int key, Qt::KeyboardModifiers modifiers, quint32 scanCode, bool xkbScanCodes);

// True when the platform reports XKB key codes as native scan codes (X11, Wayland).
bool platformHasXkbScanCodes();

// The key names as the tooltips and the help show them (PopupItem: `column` is the item).
QString keyName(Gesture gesture, int column = -1);
// The key of a Tempo menu item, as its shortcut text shows it.
QString tempoKeyName(TempoStep step);

} // namespace Keys

// The window-wide keys of the main window: turns Space, 1..3, Shift+1..3, F5, Ctrl+S, Alt+O,
// F10, Ctrl+Q, the tempo keys (Ctrl with the arrows and 0), and in a phrase list Enter, the Menu
// key and Shift+F10 (its popup), F2, Shift+F2, Delete and Shift+Delete (the popup's items) into
// calls on the intents, whichever widget of the window has focus, before that widget sees the
// key (a list's own type-ahead search does not take the digits). Acts only while the main window
// is the active window: the program's dialogs keep their keys. Leaves every key alone while a
// modal window or a popup menu is open and while the focus is in a box that takes typing (any
// line edit, text edit, spin box or editable combo box). A held key acts once.
// Knows nothing of sound or files. Watches the whole application's key events; GUI thread only.
class KeyMap : public QObject
{
    Q_OBJECT
public:
    // `window` is the main window; `intents` must outlive this object. The map is not owned by
    // the window unless `parent` says so.
    KeyMap(QWidget* window, KeyIntents& intents, QObject* parent = nullptr);

    // The three phrase lists, in column order: Enter there is a left press on the list's row.
    void setPhraseLists(const std::array<QWidget*, 3>& lists);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool handle(QWidget* receiver, QKeyEvent* key);
    int listColumn(const QWidget* widget) const;

    QPointer<QWidget> m_window;
    KeyIntents& m_intents;
    std::array<QPointer<QWidget>, 3> m_lists;
    bool m_xkb = false;
};
