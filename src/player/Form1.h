// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "player/PlayerView.h"
#include "ui/KeyMap.h"

#include <QMainWindow>
#include <array>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class PhraseList;
class PlayerKeys;
class PlayerModel;
struct PlayerControls;
class animKnob;
class miniButton;
class miniButtonGreen;
class syncButton;
class LibraryCommands;
class SettingsCommand;
namespace Commands {
struct ProgramValues;
}

// The main window: three phrase columns, the sync panel and the menus, as a view of the player
// model. Its controls are private and carry object names (docs/names.md lists them); each
// handler hands the gesture to the model in a few lines. Lives for the whole run; GUI thread
// only.
class Form1 : public QMainWindow, private PlayerView
{
    Q_OBJECT
public:
    // Builds the design and runs Form_Load (placement, the load colours). `values` is owned
    // by the caller and outlives the window. The window shows nothing until attach().
    explicit Form1(Commands::ProgramValues& values, QWidget* parent = nullptr);
    ~Form1() override;

    // The window as the model sees it.
    PlayerView& view() { return *this; }
    // Hands the gestures to `model` and the menus' commands to `library` and `settings`, once,
    // before the window is shown. All three are the caller's and outlive the window's handlers
    // (the window disconnects its lists when it goes).
    void attach(PlayerModel& model, LibraryCommands& library, SettingsCommand& settings);
    // The controls the window-wide keys act on (the window's children).
    PlayerControls keyControls();
    // The keys made over keyControls(), whose texts the window renews when the tempo or key
    // changes; the caller's, outliving the window's handlers.
    void attachKeys(PlayerKeys& keys) { m_keys = &keys; }
    // The tempo and key of what plays, as the sync panel's tooltip tells them.
    QString tempoKeyText() const;

    // The player's state and operations the window shows (given by attach()).
    PlayerModel& model() { return *m_model; }
    const PlayerModel& model() const { return *m_model; }
    // The popup's rename and delete commands and the Settings command (given by attach()).
    LibraryCommands& libraryCommands() { return *m_library; }
    SettingsCommand& settingsCommand() { return *m_settings; }

    // Opens the sound engine: device, eleven channels with the default clip, level 80.
    void LoadDXSound();
    // Refills the three lists from WAVpath (processes pending events once, lists empty).
    void RefreshPhraseLists();
    // Mirrors the option flags into the check marks (on exactly when a flag is 1).
    void applyOptionChecks();
    // True once Form_Unload has run (it runs once; later closes only accept).
    bool unloaded() const override { return m_unloaded; }
    // Closes the window as its close box does, where no box may be shown any more (a signal,
    // the end of the desktop session): a failure to store the options goes to stderr as one
    // line instead of a notice. Ends a notice of an earlier close that is still open.
    // Invokable, so that the signal handling of app/ reaches it by name.
    Q_INVOKABLE void closeUnattended();

protected:
    // Form_Unload, once: stops the flagged channels, stores the flags (telling the user when
    // that failed, before the window goes), then makes every running event loop return, which
    // ends the program (open dialogs go with the window without their own close handling).
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void connectControls();
    void Form_Load();
    void mnuSave_Click();
    void mnuTempo_Click(TempoStep step);

    // PlayerView
    QString selectedEntry(int list) const override;
    QStringList entries(int list) const override;
    int selectedRow(int list) const override;
    int rowCount(int list) const override;
    void selectRow(int list, int row) override;
    void clearLists() override;
    void fillLists(const std::array<QStringList, 3>& columns) override;
    void replaceLists(
        const std::array<QStringList, 3>& columns, const std::array<int, 3>& selectedRows) override;
    qint16 level(int column) const override;
    void setLevel(int column, qint16 value) override;
    qint16 pan(int column) const override;
    void setPan(int column, qint16 value) override;
    bool muted(int column) const override;
    void setMuted(int column, bool down) override;
    void setPlayButton(int column, bool down) override;
    void setSyncLamp(bool lit) override;
    void showNotice(const QString& text) override;
    void showPopup() override;
    bool interactionOpen() const override;
    void showTempoKey(int tempo, int semitones) override;

    Commands::ProgramValues& m_values;
    bool m_unloaded = false;
    bool m_unattended = false; // the close came from a signal or the session's end
    bool m_tellingStoreFailure = false; // the notice of a failed store is open

    // Controls. Columns are 0, 1, 2.
    QWidget* m_panel = nullptr;
    std::array<QLabel*, 3> m_headerCaption {};
    std::array<PhraseList*, 3> lstPhrase {};
    std::array<animKnob*, 3> m_levelKnob {};
    std::array<animKnob*, 3> m_panKnob {};
    std::array<miniButton*, 3> m_muteButton {};
    std::array<miniButtonGreen*, 3> m_playButton {};
    syncButton* m_sync = nullptr;

    // Menus. The check items are checkable; their click handlers invert the check mark
    // themselves (a menu click reaches them with Qt's own flip undone). mnuPop is not on the
    // menu bar: showPopup() opens it.
    QMenu* mnuOptions = nullptr;
    QAction* mnuSettings = nullptr;
    QAction* mnuSync = nullptr;
    QAction* mnuAutoPlay = nullptr;
    QAction* mnuEnding = nullptr;
    QAction* mnuLineUp = nullptr;
    QAction* mnuInStep = nullptr;
    QAction* mnuSave = nullptr;
    // The Tempo menu: its title tells a tempo or key other than the recorded one; the items
    // are in TempoStep order.
    QMenu* mnuTempo = nullptr;
    std::array<QAction*, 7> mnuTempoItems {};
    QMenu* mnuPop = nullptr;
    QAction* mnuRename = nullptr;
    QAction* mnuRenameSet = nullptr;
    QAction* mnuDel = nullptr;
    QAction* mnuDelSet = nullptr;

    PlayerModel* m_model = nullptr;
    LibraryCommands* m_library = nullptr;
    SettingsCommand* m_settings = nullptr;
    PlayerKeys* m_keys = nullptr;
};
