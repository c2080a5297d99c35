// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/IoResult.h"
#include "dialogs/SettingsIntents.h"
#include "library/DirectoryWatcher.h"
#include "library/PhraseLibrary.h"
#include "manage/LibraryIntents.h"

#include <QTimer>
#include <Qt>
#include <array>

class PlayerView;
namespace Commands {
struct ProgramValues;
}
namespace DX7Sound {
class Engine;
}

// The player's state and its column operations: which columns the program started (Playing),
// the list that was pressed last (CurrentListIndex), and every gesture of the main window as
// an intent over the view's controls and the sound engine. It also serves the intents the
// library commands and the Settings dialog declare. Owned by the program's start
// (AppModul::Program); the view, the values, the engine and the watcher outlive it. GUI thread
// only; the operations that let pending events run say so, and whatever runs there may change
// selections, flags and buttons.
//
// Values handed to the engine: the knobs hold 16-bit values, the engine takes 8-bit ones.
// Values from 0 to 255 go to the engine as they stand and its own rules apply to them. A value
// outside 0..255 (only a hand-edited set settings file can put one into a knob) cannot be
// represented: such a column is treated like one whose file failed to load (its load is skipped
// and the channel keeps buffer, level and pan), while its flag, Play button and start go on.
class PlayerModel : public LibraryIntents, public SettingsIntents
{
public:
    // `view`, `values`, `engine` and `watcher` outlive the model; all flags start false, list 0
    // current. The model points the watcher at the directory it lists and follows its reports.
    PlayerModel(PlayerView& view, Commands::ProgramValues& values, DX7Sound::Engine& engine,
        DirectoryWatcher& watcher);

    // The column's Playing flag: what the program started, not what the engine reports.
    bool playing(int column) const { return Playing.at(column); }
    // True when any column is flagged as playing.
    bool anyPlaying() const { return Playing[0] || Playing[1] || Playing[2]; }
    // The list that received the last mouse press (0..2).
    qint16 currentListIndex() const override { return CurrentListIndex; }

    // Opens the sound engine: device, eleven channels with the default clip, level 80.
    void openSound();
    // Refills the three lists from WAVpath: empties them, lets pending events run once (other
    // handlers may find them empty), then fills them as the option ShowEnding says. Points the
    // directory watcher at the directory listed.
    void refreshLists() override;
    // The quiet update after the sound directory changed behind the program's back (its
    // watcher, F5): re-reads WAVpath and shows what it holds now, keeping each list's selected
    // entry where its file is still listed. Touches no channel, flag or button and lets no
    // events run. Never changes a list under the user's hands: asked for while a refresh or a
    // handler runs, or while a popup menu, a question, a notice or a dialog is open, it waits
    // until they are over and then runs once.
    void followDirectory();
    // Marks one of the window's handlers as running for as long as the returned guard lives
    // (the quiet update waits for it). Guards nest.
    class HandlerGuard
    {
    public:
        explicit HandlerGuard(int& depth)
            : m_depth(depth)
        {
            ++m_depth;
        }
        ~HandlerGuard() { --m_depth; }
        HandlerGuard(const HandlerGuard&) = delete;
        HandlerGuard& operator=(const HandlerGuard&) = delete;

    private:
        int& m_depth;
    };
    [[nodiscard]] HandlerGuard handlerRunning() { return HandlerGuard(m_handlers); }

    // A mouse press in list `index`, after the list moved its selection to the pressed row:
    // records the list, opens the popup on a right press (capturing what its commands act on),
    // else lines the lists up and applies the set's settings (Phrase Sync) and starts the set or
    // the one phrase (Auto Play). Lining up by name leaves a list without the pressed set's
    // member unselected, and Auto Play then stops that column if it plays. Lets pending events
    // run when it starts a set.
    void pressList(int index, Qt::MouseButton button);
    // What the popup's commands act on: the list and the selections when it was opened last.
    const PopupTarget& popupTarget() const { return m_popupTarget; }
    // Points the popup's commands at list `index` and its present selections, as opening the
    // popup there does, without opening it (a popup item run from the keyboard).
    void aimPopup(int index);
    // A Level knob turned to `value`: the channel follows unless the Mute button is down.
    void turnLevel(int column, qint16 value);
    // A Pan knob turned to `value`: the channel follows.
    void turnPan(int column, qint16 value);
    // A Pan knob double-clicked: knob and channel back to the centre.
    void centrePan(int column);
    // A Mute button now `down`: level 0, or the Level knob's level again.
    void pressMute(int column, bool down);
    // A Play button pressed: starts or stops the column as its Playing flag says. With Play in
    // Step on, a start while other columns play joins them at their loop phase instead of at
    // the phrase's first frame. False when its list has no selection, or its phrase is too long
    // to hold (told in a notice, the column stopped): the button is then set up again, and the
    // press's value must follow; otherwise the button keeps the value the press flipped it to.
    bool pressPlay(int column);
    // The sync panel pressed: stops every channel when a column is flagged, else starts every
    // column with a selection. Lets pending events run when it starts. Returns the lamp's value.
    bool pressSync();

    // The options of the Options menu (1 on, 0 off). Showing the extension refills the lists.
    void setPhraseSync(bool on);
    void setAutoPlay(bool on);
    void setShowEnding(bool on);
    void setLineUpByName(bool on);
    void setPlayInStep(bool on);

    // Tempo and key of what plays, one for the three columns. The steps change the tempo by
    // `percent` or the key by `semitones` within their ranges (a step at a limit changes
    // nothing); the original brings back 100 % and 0. Each shows the new state in the view.
    int tempo() const;
    int semitones() const;
    void stepTempo(int percent);
    void stepKey(int semitones);
    void originalTempoKey();

    // Writes the strips' values, and the tempo and key, into the set settings file of list 0's
    // selection. `file` is
    // the file written; empty when list 0 has no selection and nothing was written.
    struct SaveOutcome
    {
        QString file;
        Commands::IoResult result;
    };
    SaveOutcome saveSetSettings();

    // The end of the run: stops every flagged column and stores the three option flags. The
    // result of storing them, for the window to tell.
    Commands::IoResult shutDown();

    // The intents of the library commands (see LibraryIntents for each contract). Selections
    // and entries are read from the view; unloaded() is the window's.
    QString selectedEntry(int list) const override;
    QStringList entries(int list) const override;
    bool stopColumn(int column) override;
    void stopAll() override;
    bool unloaded() const override;

private:
    void stopColumns(std::array<bool, 3> which, bool releaseButtons = true);
    void haltChannel(int column);
    void loadColumn(int column, const QString& path, qint16 level);
    bool playColumn(int column, const QString& path, int stepWith = -1);
    int stepReference(int column) const;
    std::array<bool, 3> takeTooLong();
    void tellTooLong();
    void applySetSettings(const QString& file);
    std::array<bool, 3> lineUpLists(int pressed);
    bool startSelectedSet();
    bool followBlocked() const;
    void setTempoKey(int tempo, int semitones);

    PlayerView& m_view;
    Commands::ProgramValues& m_values;
    DX7Sound::Engine& m_engine;
    Library::PhraseDirectory m_listing;
    DirectoryWatcher& m_watcher;
    bool m_refreshing = false;
    bool m_followPending = false;
    int m_handlers = 0;
    QTimer m_followRetry;
    PopupTarget m_popupTarget;
    std::array<bool, 3> Playing {};
    QStringList m_tooLong; // notices of refused loads not yet shown
    qint16 CurrentListIndex = 0;

    friend struct PlayerModelParts; // the tests' reach into the state (tests/player/)
};
