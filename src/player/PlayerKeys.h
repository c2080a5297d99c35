// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/FocusFrame.h"
#include "ui/KeyMap.h"
#include "ui/ToolTips.h"

#include <QObject>
#include <array>
#include <functional>

class QAction;
class QMenu;
class QMenuBar;
class PhraseList;
class StripButton;
class animKnob;

// The main window's widgets that the keyboard side works on. Columns are 0, 1, 2.
struct PlayerControls
{
    QWidget* window = nullptr;
    QMenuBar* menuBar = nullptr;
    QMenu* options = nullptr; // the menu that Alt+O and F10 open
    QAction* save = nullptr; // Save Settings
    // The lists' popup items, in the order of Keys::PopupItem.
    std::array<QAction*, 4> popupItems {};
    std::array<QAction*, 7> tempo {}; // the Tempo menu's items, in TempoStep order
    std::array<PhraseList*, 3> lists {};
    std::array<animKnob*, 3> level {};
    std::array<animKnob*, 3> pan {};
    std::array<StripButton*, 3> mute {};
    std::array<StripButton*, 3> play {};
    StripButton* sync = nullptr;
};

// The main window's keyboard side: the window-wide keys, each one a press of the control the
// mouse would press (so the same handler runs with the same events); the tab order and focus
// frame over the lists and controls; the controls' tooltips with name, value and key. Made by
// the main window after its controls and owned by it; GUI thread only.
class PlayerKeys : public QObject, public KeyIntents
{
    Q_OBJECT
public:
    // `playing(c)`: whether column c is flagged as playing; `follow`: the quiet update of the
    // lists; `aim(c)`: makes list c the one the popup's items act on, as a press on it does;
    // `tempoText`: the tempo and key of what plays, for the sync panel's tooltip. All are called
    // on the GUI thread while the window lives.
    PlayerKeys(const PlayerControls& controls, std::function<bool(int)> playing,
        std::function<void()> follow, std::function<void(int)> aim,
        std::function<QString()> tempoText = {});

    // KeyIntents
    void pressSync() override;
    void pressPlay(int column) override;
    void pressMute(int column) override;
    void pressListRow(int column) override;
    void refreshLists() override;
    void openMenus() override;
    void saveSettings() override;
    // Renews the controls' tooltips and descriptions after a change they tell of that no
    // control reports (the tempo and key).
    void renewTexts();
    void openPopup(int column) override;
    void runPopupItem(int column, int item) override;
    void quit() override;
    void stepTempo(TempoStep step) override;

    // The tooltip value texts: a level in decibels of the channel volume ("-12.0 dB"), a pan
    // as L, C or R and its distance from the centre ("L5", "C", "R15").
    static QString levelText(qint16 level);
    static QString panText(qint16 pan);

private:
    void arrangeFocus();
    void addToolTips();

    PlayerControls m_controls;
    std::function<bool(int)> m_playing;
    std::function<void()> m_follow;
    std::function<void(int)> m_aim;
    std::function<QString()> m_tempoText;
    KeyMap m_keys;
    FocusFrame m_frame;
    ToolTips m_tips;
};
