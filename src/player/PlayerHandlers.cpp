// The player's gestures: selecting phrases, the channel strips, the sync panel and the options.
//
// Every handler runs on the GUI thread. The synchronised starts (a list press with Phrase Sync
// and Auto Play, the sync panel) let pending events run three times between loading and
// starting; whatever runs there (another list press, a button press) may change the lists'
// selections, the flags and the buttons, so the starting step reads the selections again.
//
// Values handed to the engine: the knobs hold 16-bit values, the engine takes 8-bit ones. Values
// from 0 to 255 go to the engine as they stand and its own rules apply to them (a load leaves a
// level of 100 or more at full volume and a pan of 100 or more centred; SetChannelVolume refuses
// a level above 100 and SetChannelPan a pan above 150, keeping the old setting). A value outside
// 0..255 (only a hand-edited set settings file can put one into a knob) cannot be represented;
// truncating it would turn 256 into silence or -1 into 255. Such a column is treated like one
// whose file failed to load: its load is skipped and the channel keeps its buffer, level and pan,
// while its flag, its Play button and its start go on as usual and the other columns are handled
// normally. A knob turn, an un-mute or a start with such a value leaves the channel's setting as
// it was.
#include "player/PlayerHandlers.h"

#include "app/Commands.h"
#include "controls/StripButton.h"
#include "controls/animKnob.h"
#include "library/PhraseLibrary.h"
#include "app/Notices.h"
#include "player/Form1.h"
#include "player/PhraseList.h"
#include "sound/DX7Sound.h"

#include <QCoreApplication>
#include <array>
#include <optional>

namespace Player {
namespace {

constexpr quint8 kLoop = 1; // play flags: loop until stopped
constexpr quint8 kMuteLevel = 0;
constexpr qint16 kCentrePan = 50;

// A knob value as the engine's 8-bit argument; empty when it does not fit.
std::optional<quint8> engineValue(qint16 v)
{
    if (v < 0 || v > 255)
        return std::nullopt;
    return static_cast<quint8>(v);
}

// The row of the list's selected entry, -1 when nothing is selected.
int selectedRow(const PhraseList* list)
{
    const QList<QListWidgetItem*> items = list->selectedItems();
    return items.isEmpty() ? -1 : list->row(items.first());
}

bool anyPlaying(const Form1& form)
{
    return form.Playing[0] || form.Playing[1] || form.Playing[2];
}

// The sound level a synchronised start loads a column with: 0 when muted, else the knob.
qint16 syncLevel(const Form1& form, int column)
{
    return form.muteButton(column)->Value() ? kMuteLevel : form.levelKnob(column)->Value();
}

// Loads the column's phrase without playing it; skipped (the channel keeps what it holds)
// when the level or pan cannot be handed to the engine.
void loadColumn(Form1& form, int column, const QString& path, qint16 level)
{
    const auto lvl = engineValue(level);
    const auto pan = engineValue(form.panKnob(column)->Value());
    if (lvl && pan)
        form.engine().LoadFile(static_cast<qint16>(column), path, *lvl, *pan);
}

// Loads the column's phrase at its knob level and plays it in a loop. With a level or pan
// the engine cannot take, the load is skipped and the channel's present buffer is played,
// as after a failed load.
void playColumn(Form1& form, int column, const QString& path)
{
    const auto lvl = engineValue(form.levelKnob(column)->Value());
    const auto pan = engineValue(form.panKnob(column)->Value());
    const auto channel = static_cast<qint16>(column);
    if (lvl && pan)
        form.engine().PlayFile(channel, path, *lvl, *pan, kLoop);
    else
        form.engine().PlayChannel(channel, kLoop);
}

void processPendingEventsThrice()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

// Reads the set settings file named by list 0's entry into the knobs and Mute buttons.
// Setting a control's value raises none of its events, so no channel changes its sound.
void applySetSettings(Form1& form)
{
    const Commands::ProgramValues& v = form.values();
    const QString file = Commands::SetSettingsFileFromEntry(v.WAVpath, form.selectedEntry(0));
    const Commands::SetSettings s = Commands::ReadSetSettings(file, v.AppTitle);
    for (int c = 0; c < 3; ++c)
        if (s.Level[c])
            form.levelKnob(c)->setValue(*s.Level[c]);
    for (int c = 0; c < 3; ++c)
        if (s.Pan[c])
            form.panKnob(c)->setValue(*s.Pan[c]);
    for (int c = 0; c < 3; ++c)
        form.muteButton(c)->setValue(s.Mute[c]);
}

// Selects the pressed list's row in the other two lists, in the fixed order for each list.
// A list without that row, or all of them when the pressed list has no selection, keep
// their own selection.
void lineUpLists(Form1& form, int pressed)
{
    static constexpr std::array<std::array<int, 2>, 3> kOrder { { { 1, 2 }, { 0, 2 }, { 1, 0 } } };
    const int row = selectedRow(form.lstPhrase[pressed]);
    if (row < 0)
        return;
    for (int other : kOrder[pressed]) {
        PhraseList* list = form.lstPhrase[other];
        if (row < list->count())
            list->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    }
}

// Phrase Sync with Auto Play: load every column with a selection, let pending events run,
// then start the columns that still have one, one call right after the other. False when the
// program ended while the events ran: then nothing is started.
bool startSelectedSet(Form1& form)
{
    const QString& wavPath = form.values().WAVpath;
    for (int c = 0; c < 3; ++c) {
        const QString entry = form.selectedEntry(c);
        if (entry.isEmpty())
            continue;
        loadColumn(form, c, Commands::PhrasePathFromEntry(wavPath, entry), syncLevel(form, c));
        form.Playing[c] = true;
        form.playButton(c)->setValue(true);
    }
    processPendingEventsThrice();
    if (form.unloaded())
        return false;
    // No event processing from here to the last start: the engine applies starts issued
    // without returning to the event loop on one output frame.
    for (int c = 0; c < 3; ++c)
        if (!form.selectedEntry(c).isEmpty())
            form.engine().PlayChannel(static_cast<qint16>(c), kLoop);
    return true;
}

// Inverts a check item and returns the option flag it now stands for.
qint16 toggleCheck(QAction* item)
{
    item->setChecked(!item->isChecked());
    return item->isChecked() ? 1 : 0;
}

} // namespace

void lstPhrase_MouseDown(Form1& form, int Index, Qt::MouseButton Button)
{
    if (Index < 0 || Index > 2)
        return;
    form.CurrentListIndex = static_cast<qint16>(Index);

    if (Button == Qt::RightButton) {
        form.showPopup();
        return;
    }

    const Commands::ProgramValues& v = form.values();
    if (v.PhraseSync == 1) {
        lineUpLists(form, Index);
        applySetSettings(form);
        if (v.AutoPlay != 1)
            return;
        if (startSelectedSet(form))
            form.syncButton1->setValue(anyPlaying(form));
        return;
    }

    if (v.AutoPlay != 1)
        return;
    // The Mute button is not consulted here: the phrase sounds at the knob level.
    playColumn(form, Index, Commands::PhrasePathFromEntry(v.WAVpath, form.selectedEntry(Index)));
    form.playButton(Index)->setValue(true);
    form.Playing[Index] = true;
    form.syncButton1->setValue(true);
}

void LevelKnob_Scroll(Form1& form, int column, qint16& Value)
{
    if (form.muteButton(column)->Value())
        return;
    if (const auto level = engineValue(Value))
        form.engine().SetChannelVolume(static_cast<qint16>(column), *level);
}

void PanKnob_Scroll(Form1& form, int column, qint16& Value)
{
    if (const auto pan = engineValue(Value))
        form.engine().SetChannelPan(static_cast<qint16>(column), *pan);
}

void PanKnob_DblClick(Form1& form, int column)
{
    form.panKnob(column)->setValue(kCentrePan);
    form.engine().SetChannelPan(static_cast<qint16>(column), static_cast<quint8>(kCentrePan));
}

void MuteButton_Push(Form1& form, int column, bool& Value)
{
    const auto channel = static_cast<qint16>(column);
    if (Value) {
        form.engine().SetChannelVolume(channel, kMuteLevel);
        return;
    }
    if (const auto level = engineValue(form.levelKnob(column)->Value()))
        form.engine().SetChannelVolume(channel, *level);
}

void PlayButton_Push(Form1& form, int column, bool& Value)
{
    const QString entry = form.selectedEntry(column);
    if (entry.isEmpty()) {
        // Both the control and the argument: what is left in the argument becomes the
        // button's value when the event returns.
        form.playButton(column)->setValue(false);
        Value = false;
        return;
    }
    // The Playing flag decides, not the look of the button, which has already flipped itself.
    if (!form.Playing[column]) {
        playColumn(form, column, Commands::PhrasePathFromEntry(form.values().WAVpath, entry));
        form.Playing[column] = true;
        form.syncButton1->setValue(true);
        return;
    }
    form.engine().StopChannel(static_cast<qint16>(column));
    form.Playing[column] = false;
    if (!anyPlaying(form))
        form.syncButton1->setValue(false);
}

void syncButton_Push(Form1& form, bool& Value)
{
    if (anyPlaying(form)) {
        for (qint16 c = 0; c < 3; ++c)
            form.engine().StopChannel(c);
        form.Playing = { false, false, false };
        for (int c = 0; c < 3; ++c)
            form.playButton(c)->setValue(false);
        form.syncButton1->setValue(false);
        Value = false;
        return;
    }

    if (!startSelectedSet(form))
        return;
    // The lamp shows whether anything is flagged now, whatever it showed before the press.
    const bool lit = anyPlaying(form);
    form.syncButton1->setValue(lit);
    Value = lit;
}

void mnuSync_Click(Form1& form)
{
    form.values().PhraseSync = toggleCheck(form.mnuSync);
}

void mnuAutoPlay_Click(Form1& form)
{
    form.values().AutoPlay = toggleCheck(form.mnuAutoPlay);
}

void mnuEnding_Click(Form1& form)
{
    form.values().ShowEnding = toggleCheck(form.mnuEnding);
    form.RefreshPhraseLists();
}

void mnuSave_Click(Form1& form)
{
    const QString entry = form.selectedEntry(0);
    if (entry.isEmpty())
        return;
    const Commands::ProgramValues& v = form.values();

    Commands::SetValues values;
    for (int c = 0; c < 3; ++c) {
        values.Level[c] = form.levelKnob(c)->Value();
        values.Pan[c] = form.panKnob(c)->Value();
        values.Mute[c] = form.muteButton(c)->Value();
    }
    const QString file = Commands::SetSettingsFileFromEntry(v.WAVpath, entry);
    const Commands::IoResult saved = Commands::WriteSetSettings(file, v.AppTitle, values);
    if (!saved) {
        // "Settings saved." would be a lie: say which file and why, and leave it as it was.
        Commands::ShowNotice(&form,
            QStringLiteral("The settings could not be saved in '") + file + QStringLiteral("':\r\n")
                + saved.reason() + QLatin1Char('.'),
            Commands::NoticeExclamation, QString());
        return;
    }

    const QString text = QStringList {
        QStringLiteral("This function makes it possible to save the current"),
        QStringLiteral("'Level', 'Pan' and 'Mute' settings and use it again"),
        QStringLiteral("when you reload the three phrases again."),
        QStringLiteral("Therefore Options -> 'Phrase Sync' must be checked !   "),
        QString(),
        QStringLiteral("Settings saved."),
    }.join(QStringLiteral("\r\n"));
    Commands::ShowNotice(&form, text, Commands::NoticeInformation, QString());
}

} // namespace Player
