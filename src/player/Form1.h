#pragma once

#include "library/PhraseLibrary.h"
#include "library/PhraseListHost.h"

#include <QMainWindow>
#include <array>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class PhraseList;
class animKnob;
class miniButton;
class miniButtonGreen;
class syncButton;
class LibraryCommands;
class SettingsCommand;
namespace Commands {
struct ProgramValues;
}
namespace DX7Sound {
class Engine;
}

// The main window: three phrase columns, the sync panel and the menus. It holds the controls
// and the player's state; its handlers are the free functions of PlayerHandlers.h. Lives for
// the whole run; GUI thread only.
class Form1 : public QMainWindow, public PhraseListHost
{
    Q_OBJECT
public:
    // Builds the design and runs Form_Load (placement, the load colours). `values` and
    // `engine` are owned by the caller and outlive the window.
    Form1(Commands::ProgramValues& values, DX7Sound::Engine& engine, QWidget* parent = nullptr);
    ~Form1() override;

    // The program-wide values and the sound engine the window was made with.
    Commands::ProgramValues& values() { return m_values; }
    DX7Sound::Engine& engine() { return m_engine; }

    // Opens the sound engine: device, eleven channels with the default clip, level 80.
    void LoadDXSound();
    // Refills the three lists from WAVpath (processes pending events once, lists empty).
    void RefreshPhraseLists();
    // Mirrors the three option flags into the check marks (on exactly when a flag is 1).
    void applyOptionChecks();
    // Opens the phrase lists' context menu mnuPop at the mouse pointer and returns at once;
    // its commands run when the user picks one.
    void showPopup();
    // True once Form_Unload has run (it runs once; later closes only accept).
    bool unloaded() const override { return m_unloaded; }

    // Controls, named as in the design. Columns are 0, 1, 2.
    QWidget* Picture1 = nullptr;
    std::array<QWidget*, 3> Picture2 {}; // header panels
    std::array<QLabel*, 3> Label2 {}; // header captions
    std::array<QLabel*, 3> lblVolume {}; // "Level" captions
    // Small captions: 0..2 "Pan", 3/6/8 "Mute", 4/5/7 "Play" (columns 1, 2, 3).
    std::array<QLabel*, 9> Label1 {};
    std::array<PhraseList*, 3> lstPhrase {};
    animKnob* animKnob1 = nullptr; // Level, column 0
    animKnob* animKnob2 = nullptr; // Pan, column 0
    animKnob* animKnob3 = nullptr;
    animKnob* animKnob4 = nullptr;
    animKnob* animKnob5 = nullptr;
    animKnob* animKnob6 = nullptr;
    miniButton* miniButton1 = nullptr; // Mute
    miniButton* miniButton2 = nullptr;
    miniButton* miniButton3 = nullptr;
    miniButtonGreen* miniButtonGreen1 = nullptr; // Play
    miniButtonGreen* miniButtonGreen2 = nullptr;
    miniButtonGreen* miniButtonGreen3 = nullptr;
    syncButton* syncButton1 = nullptr;

    // Menus. The check items are checkable; their click handlers invert the check mark
    // themselves (a menu click reaches them with Qt's own flip undone), so calling a handler
    // directly behaves as a click. mnuPop is not on the menu bar: showPopup() opens it.
    QMenu* mnuOptions = nullptr;
    QAction* mnuSettings = nullptr;
    QAction* mnuSync = nullptr;
    QAction* mnuAutoPlay = nullptr;
    QAction* mnuEnding = nullptr;
    QAction* mnuSave = nullptr;
    QMenu* mnuPop = nullptr;
    QAction* mnuRename = nullptr;
    QAction* mnuRenameSet = nullptr;
    QAction* mnuDel = nullptr;
    QAction* mnuDelSet = nullptr;

    // Column helpers over the named controls.
    animKnob* levelKnob(int column) const;
    animKnob* panKnob(int column) const;
    miniButton* muteButton(int column) const;
    miniButtonGreen* playButton(int column) const;

    // Player state.
    std::array<bool, 3> Playing {};
    qint16 CurrentListIndex = 0;

    LibraryCommands& libraryCommands() { return *m_library; }
    SettingsCommand& settingsCommand() { return *m_settings; }

    // PhraseListHost
    QString selectedEntry(int list) const override;
    QStringList entries(int list) const override;
    qint16 currentListIndex() const override { return CurrentListIndex; }
    bool playing(int column) const override { return Playing.at(column); }
    void setPlaying(int column, bool on) override { Playing.at(column) = on; }
    void setPlayButton(int column, bool down) override;
    void setSyncButton(bool down) override;
    void refreshPhraseLists() override { RefreshPhraseLists(); }
    QWidget* hostWindow() override { return this; }

protected:
    // Form_Unload, once: stops the flagged channels, stores the flags, then makes every
    // running event loop return, which ends the program (open dialogs go with the window
    // without their own close handling).
    void closeEvent(QCloseEvent* event) override;

private:
    Commands::ProgramValues& m_values;
    DX7Sound::Engine& m_engine;
    void buildControls();
    void buildMenus();
    void connectControls();
    void Form_Load();

    Commands::PhraseDirectory m_listing;
    bool m_unloaded = false;
    std::unique_ptr<LibraryCommands> m_library;
    std::unique_ptr<SettingsCommand> m_settings;
};
