// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/PlayerModel.h"

#include "app/Commands.h"
#include "library/FollowDirectory.h"
#include "library/PhraseNames.h"
#include "player/PlayerView.h"
#include "sound/DX7Sound.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <optional>
#include <utility>

namespace {

constexpr quint8 kLoop = 1; // play flags: loop until stopped
using DX7Sound::kCentrePan;
using DX7Sound::kMuteLevel;
// How often a held-back quiet update looks again whether it may run.
constexpr int kFollowRetryMs = 200;

// A knob value as the engine's 8-bit argument; empty when it does not fit.
std::optional<quint8> engineValue(qint16 v)
{
    if (v < 0 || v > 255)
        return std::nullopt;
    return static_cast<quint8>(v);
}

// "'<file>' is too long to play: <n> minutes at <rate> Hz needs <size>.", the size in decimal
// megabytes or gigabytes as file managers show them.
QString tooLongNotice(const DX7Sound::SizeRefusal& r)
{
    const qint64 minutes
        = r.rate > 0 ? (r.frames + qint64(r.rate) * 30) / (qint64(r.rate) * 60) : 0;
    const QString size = r.bytes >= 1000000000
        ? QString::number(double(r.bytes) / 1e9, 'f', 1) + QStringLiteral(" GB")
        : QString::number(double(r.bytes) / 1e6, 'f', 0) + QStringLiteral(" MB");
    return QStringLiteral("'%1' is too long to play: %2 minutes at %3 Hz needs %4.")
        .arg(QFileInfo(r.file).fileName())
        .arg(minutes)
        .arg(r.rate)
        .arg(size);
}

void processPendingEventsThrice()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

} // namespace

PlayerModel::PlayerModel(PlayerView& view, Commands::ProgramValues& values,
    DX7Sound::Engine& engine, DirectoryWatcher& watcher)
    : m_view(view)
    , m_values(values)
    , m_engine(engine)
    , m_watcher(watcher)
{
    // The retry timer is the model's own, so the watcher's reports end with the model.
    QObject::connect(
        &m_watcher, &DirectoryWatcher::changed, &m_followRetry, [this] { followDirectory(); });
    m_followRetry.setSingleShot(true);
    m_followRetry.setInterval(kFollowRetryMs);
    QObject::connect(&m_followRetry, &QTimer::timeout, &m_followRetry, [this] {
        if (m_followPending)
            followDirectory();
    });
}

void PlayerModel::openSound()
{
    m_engine.InitDirectSound();
    m_engine.InitChannels(10, m_values.DefaultWav);
    for (qint16 channel = 0; channel < 3; ++channel)
        m_engine.SetChannelVolume(channel, 80);
}

void PlayerModel::refreshLists()
{
    m_listing.setPath(m_values.WAVpath);
    m_view.clearLists();
    // Let the emptied lists repaint; other handlers may run here and find them empty (and may
    // switch the extension option, which the filling below then follows). A quiet update asked
    // for now would fill them twice: it waits.
    const bool nested = std::exchange(m_refreshing, true);
    QCoreApplication::processEvents();
    m_refreshing = nested;
    m_view.fillLists(Library::SplitIntoColumns(m_listing.names(), m_values.ShowEnding));
    m_watcher.setDirectory(m_listing.path());
    if (!m_refreshing && m_followPending)
        followDirectory();
}

// A list must not change while the user deals with something that shows or acts on its
// entries: a popup opened on one, a question about one, a dialog, a handler in its middle.
bool PlayerModel::followBlocked() const
{
    return m_refreshing || m_handlers > 0 || m_view.interactionOpen();
}

void PlayerModel::followDirectory()
{
    if (m_view.unloaded())
        return;
    if (followBlocked()) {
        m_followPending = true;
        // Nothing reports the end of every kind of interaction: look again a little later.
        // A refresh in its middle runs the update itself when it ends.
        if (!m_refreshing)
            m_followRetry.start();
        return;
    }
    m_followPending = false;
    m_followRetry.stop();
    m_listing.setPath(m_values.WAVpath);
    const std::array<QString, 3> selected { m_view.selectedEntry(0), m_view.selectedEntry(1),
        m_view.selectedEntry(2) };
    const Library::FollowedColumns next
        = Library::FollowDirectory(m_listing.names(), m_values.ShowEnding, selected);
    m_view.replaceLists(next.entries, next.selectedRow);
    m_watcher.setDirectory(m_listing.path());
}

QString PlayerModel::selectedEntry(int list) const
{
    return m_view.selectedEntry(list);
}

QStringList PlayerModel::entries(int list) const
{
    return m_view.entries(list);
}

bool PlayerModel::unloaded() const
{
    return m_view.unloaded();
}

// --- Starting ------------------------------------------------------------------------------

// Loads the column's phrase without playing it; skipped (the channel keeps what it holds)
// when the level or pan cannot be handed to the engine.
void PlayerModel::loadColumn(int column, const QString& path, qint16 level)
{
    const auto lvl = engineValue(level);
    const auto pan = engineValue(m_view.pan(column));
    if (lvl && pan)
        m_engine.LoadFile(static_cast<qint16>(column), path, *lvl, *pan);
}

// Loads the column's phrase at its knob level and plays it in a loop: from its first frame, or
// with `stepWith` a channel, at that channel's loop phase. With a level or pan the engine cannot
// take, the load is skipped and the channel's present buffer is played, as after a failed load.
// A phrase too long to hold is told, and the column is stopped instead: false.
bool PlayerModel::playColumn(int column, const QString& path, int stepWith)
{
    const auto lvl = engineValue(m_view.level(column));
    const auto pan = engineValue(m_view.pan(column));
    const auto channel = static_cast<qint16>(column);
    if (lvl && pan)
        m_engine.LoadFile(channel, path, *lvl, *pan);
    if (takeTooLong()[column]) {
        haltChannel(column);
        m_view.setPlayButton(column, false);
        tellTooLong();
        return false;
    }
    if (stepWith < 0)
        m_engine.PlayChannel(channel, kLoop);
    else
        m_engine.PlayChannelInStep(channel, kLoop, static_cast<qint16>(stepWith));
    return true;
}

// The columns whose last load was refused for its size; their notice is kept for tellTooLong.
std::array<bool, 3> PlayerModel::takeTooLong()
{
    std::array<bool, 3> refused {};
    for (const DX7Sound::SizeRefusal& r : m_engine.takeRefusals()) {
        if (r.channel >= 0 && r.channel <= 2)
            refused[r.channel] = true;
        const QString text = tooLongNotice(r);
        if (!m_tooLong.contains(text))
            m_tooLong << text;
    }
    return refused;
}

// Shows the kept notices of phrases too long to hold, one box for one gesture.
void PlayerModel::tellTooLong()
{
    if (m_tooLong.isEmpty())
        return;
    const QString text = m_tooLong.join(QLatin1Char('\n'));
    m_tooLong.clear();
    m_view.showNotice(text);
}

// The playing column a part started in step takes its loop phase from: of the other columns
// the program started and the engine plays, the one with the longest loop (a shorter part
// repeats within it, so its phase follows from the longest one's). -1 when none plays.
int PlayerModel::stepReference(int column) const
{
    int best = -1;
    qint64 longest = -1;
    for (int c = 0; c < 3; ++c) {
        if (c == column || !Playing[c])
            continue;
        const DX7Sound::ChannelStatus st = m_engine.status(static_cast<qint16>(c));
        if (st.playing && st.frames > longest) {
            longest = st.frames;
            best = c;
        }
    }
    return best;
}

// Reads the set settings file `file` into the knobs and Mute buttons. Setting a control's
// value raises none of its events, so no channel changes its sound.
void PlayerModel::applySetSettings(const QString& file)
{
    const Library::SetSettings s = Library::ReadSetSettings(file, m_values.AppTitle);
    for (int c = 0; c < 3; ++c)
        if (s.Level[c])
            m_view.setLevel(c, *s.Level[c]);
    for (int c = 0; c < 3; ++c)
        if (s.Pan[c])
            m_view.setPan(c, *s.Pan[c]);
    for (int c = 0; c < 3; ++c)
        m_view.setMuted(c, s.Mute[c]);
    // Before the set's loads, so that its phrases start at the set's tempo and key.
    setTempoKey(s.Tempo, s.Transpose);
}

// Selects, in the other two lists (in the fixed order for each list), the pressed entry's set
// member by name, or with LineUpByName off the pressed list's row. By name, a list without the
// member is left with no selection, and its column is returned as one that has no part in this
// set. By row, a list without that row keeps its own selection. When the pressed list has no
// selection, all of them keep theirs.
std::array<bool, 3> PlayerModel::lineUpLists(int pressed)
{
    static constexpr std::array<std::array<int, 2>, 3> kOrder { { { 1, 2 }, { 0, 2 }, { 1, 0 } } };
    std::array<bool, 3> missing {};
    if (m_values.LineUpByName == 1) {
        const QString entry = m_view.selectedEntry(pressed);
        if (entry.isEmpty())
            return missing;
        for (int other : kOrder[pressed]) {
            const int row = Library::RowOfName(
                m_view.entries(other), Library::SetMemberName(entry, pressed, other));
            m_view.selectRow(other, row);
            missing[other] = row < 0;
        }
        return missing;
    }
    const int row = m_view.selectedRow(pressed);
    if (row < 0)
        return missing;
    for (int other : kOrder[pressed]) {
        if (row < m_view.rowCount(other))
            m_view.selectRow(other, row);
    }
    return missing;
}

// Loads every column with a selection (level 0 when muted), flags it and presses its Play
// button, lets pending events run, then starts the columns that still have a selection, one
// call right after the other. A column whose phrase is too long to hold is stopped instead,
// with its button up, and told once the others have started. False when the program ended
// while the events ran: then nothing is started.
bool PlayerModel::startSelectedSet()
{
    const QString& wavPath = m_values.WAVpath;
    for (int c = 0; c < 3; ++c) {
        const QString entry = m_view.selectedEntry(c);
        if (entry.isEmpty())
            continue;
        const qint16 level = m_view.muted(c) ? qint16(kMuteLevel) : m_view.level(c);
        loadColumn(c, Commands::PhrasePathFromEntry(wavPath, entry), level);
        Playing[c] = true;
        m_view.setPlayButton(c, true);
    }
    const std::array<bool, 3> refused = takeTooLong();
    for (int c = 0; c < 3; ++c) {
        if (refused[c]) {
            haltChannel(c);
            m_view.setPlayButton(c, false);
        }
    }
    processPendingEventsThrice();
    if (m_view.unloaded())
        return false;
    // No event processing from here to the last start: the engine applies starts issued
    // without returning to the event loop on one output frame.
    for (int c = 0; c < 3; ++c)
        if (!refused[c] && !m_view.selectedEntry(c).isEmpty())
            m_engine.PlayChannel(static_cast<qint16>(c), kLoop);
    tellTooLong();
    return true;
}

// --- Stopping ------------------------------------------------------------------------------

// The channel is told to stop and its flag is cleared; buttons are the caller's matter.
void PlayerModel::haltChannel(int column)
{
    m_engine.StopChannel(static_cast<qint16>(column));
    Playing[column] = false;
}

// Every stop that lets no events run. The sync panel sweeps every channel, flagged or not (a
// start from a lit panel may leave a channel playing whose flag was never set); the library
// commands and the end of the run stop the flagged columns, a Play button its own column. The
// Play buttons of the stopped columns are released unless `releaseButtons` is false (a pressed
// button has released itself; a closing window shows nothing more). The lamp goes out once no
// column is flagged.
void PlayerModel::stopColumns(std::array<bool, 3> which, bool releaseButtons)
{
    for (int c = 0; c < 3; ++c) {
        if (which[c]) {
            haltChannel(c);
            if (releaseButtons)
                m_view.setPlayButton(c, false);
        }
    }
    if (!anyPlaying())
        m_view.setSyncLamp(false);
}

void PlayerModel::stopAll()
{
    stopColumns(Playing);
}

bool PlayerModel::stopColumn(int column)
{
    const HandlerGuard handler = handlerRunning();
    if (column >= 0 && column <= 2 && Playing[column]) {
        haltChannel(column);
        QCoreApplication::processEvents();
        if (m_view.unloaded())
            return false;
        m_view.setPlayButton(column, false);
    }
    if (!anyPlaying())
        m_view.setSyncLamp(false);
    return true;
}

Commands::IoResult PlayerModel::shutDown()
{
    stopColumns(Playing, false);
    return Commands::StoreProgramFlags(m_values);
}

// --- Gestures ------------------------------------------------------------------------------

void PlayerModel::aimPopup(int index)
{
    if (index < 0 || index > 2)
        return;
    CurrentListIndex = static_cast<qint16>(index);
    m_popupTarget.list = CurrentListIndex;
    for (int l = 0; l < 3; ++l)
        m_popupTarget.selected[static_cast<std::size_t>(l)] = m_view.selectedEntry(l);
}

void PlayerModel::pressList(int index, Qt::MouseButton button)
{
    if (index < 0 || index > 2)
        return;
    CurrentListIndex = static_cast<qint16>(index);

    if (button == Qt::RightButton) {
        aimPopup(index);
        m_view.showPopup();
        return;
    }

    const HandlerGuard handler = handlerRunning();
    if (m_values.PhraseSync == 1) {
        const QString pressed = m_view.selectedEntry(index);
        const std::array<bool, 3> missing = lineUpLists(index);
        // By name, the set's file comes from the pressed entry's stem even when list 0 lacks
        // the set's first part; then it is the file list 0's member would name.
        const QString first = m_values.LineUpByName == 1 && !pressed.isEmpty()
            ? Library::SetMemberName(pressed, index, 0)
            : m_view.selectedEntry(0);
        applySetSettings(Commands::SetSettingsFileFromEntry(m_values.WAVpath, first));
        if (m_values.AutoPlay != 1)
            return;
        // A column without a part in this set falls silent rather than play another set's.
        for (int c = 0; c < 3; ++c) {
            if (missing[static_cast<std::size_t>(c)] && Playing[static_cast<std::size_t>(c)]) {
                haltChannel(c);
                m_view.setPlayButton(c, false);
            }
        }
        if (startSelectedSet())
            m_view.setSyncLamp(anyPlaying());
        return;
    }

    if (m_values.AutoPlay != 1)
        return;
    // The Mute button is not consulted here: the phrase sounds at the knob level.
    if (!playColumn(
            index, Commands::PhrasePathFromEntry(m_values.WAVpath, m_view.selectedEntry(index)))) {
        m_view.setSyncLamp(anyPlaying());
        return;
    }
    m_view.setPlayButton(index, true);
    Playing[index] = true;
    m_view.setSyncLamp(true);
}

void PlayerModel::turnLevel(int column, qint16 value)
{
    if (m_view.muted(column))
        return;
    if (const auto level = engineValue(value))
        m_engine.SetChannelVolume(static_cast<qint16>(column), *level);
}

void PlayerModel::turnPan(int column, qint16 value)
{
    if (const auto pan = engineValue(value))
        m_engine.SetChannelPan(static_cast<qint16>(column), *pan);
}

void PlayerModel::centrePan(int column)
{
    m_view.setPan(column, kCentrePan);
    m_engine.SetChannelPan(static_cast<qint16>(column), static_cast<quint8>(kCentrePan));
}

void PlayerModel::pressMute(int column, bool down)
{
    const auto channel = static_cast<qint16>(column);
    if (down) {
        m_engine.SetChannelVolume(channel, kMuteLevel);
        return;
    }
    if (const auto level = engineValue(m_view.level(column)))
        m_engine.SetChannelVolume(channel, *level);
}

bool PlayerModel::pressPlay(int column)
{
    const QString entry = m_view.selectedEntry(column);
    if (entry.isEmpty()) {
        m_view.setPlayButton(column, false);
        return false;
    }
    // The Playing flag decides, not the look of the button, which has already flipped itself.
    if (!Playing[column]) {
        const int stepWith = m_values.PlayInStep == 1 ? stepReference(column) : -1;
        if (!playColumn(column, Commands::PhrasePathFromEntry(m_values.WAVpath, entry), stepWith)) {
            m_view.setSyncLamp(anyPlaying());
            return false;
        }
        Playing[column] = true;
        m_view.setSyncLamp(true);
        return true;
    }
    std::array<bool, 3> which {};
    which.at(column) = true;
    stopColumns(which, false);
    return true;
}

bool PlayerModel::pressSync()
{
    const HandlerGuard handler = handlerRunning();
    if (anyPlaying()) {
        stopColumns({ true, true, true });
        return false;
    }
    if (!startSelectedSet())
        return false;
    // The lamp shows whether anything is flagged now, whatever it showed before the press.
    const bool lit = anyPlaying();
    m_view.setSyncLamp(lit);
    return lit;
}

void PlayerModel::setPhraseSync(bool on)
{
    m_values.PhraseSync = on ? 1 : 0;
}

void PlayerModel::setAutoPlay(bool on)
{
    m_values.AutoPlay = on ? 1 : 0;
}

void PlayerModel::setShowEnding(bool on)
{
    m_values.ShowEnding = on ? 1 : 0;
    refreshLists();
}

void PlayerModel::setLineUpByName(bool on)
{
    m_values.LineUpByName = on ? 1 : 0;
}

void PlayerModel::setPlayInStep(bool on)
{
    m_values.PlayInStep = on ? 1 : 0;
}

PlayerModel::SaveOutcome PlayerModel::saveSetSettings()
{
    const QString entry = m_view.selectedEntry(0);
    if (entry.isEmpty())
        return {};
    Library::SetValues values;
    for (int c = 0; c < 3; ++c) {
        values.Level[c] = m_view.level(c);
        values.Pan[c] = m_view.pan(c);
        values.Mute[c] = m_view.muted(c);
    }
    values.Tempo = tempo();
    values.Transpose = semitones();
    SaveOutcome outcome;
    outcome.file = Commands::SetSettingsFileFromEntry(m_values.WAVpath, entry);
    outcome.result = Library::WriteSetSettings(outcome.file, m_values.AppTitle, values);
    return outcome;
}

// --- Tempo and key -------------------------------------------------------------------------

int PlayerModel::tempo() const
{
    return m_engine.tempoKey().tempoPercent;
}

int PlayerModel::semitones() const
{
    return m_engine.tempoKey().semitones;
}

void PlayerModel::setTempoKey(int tempo, int semitones)
{
    m_engine.SetTempoKey(DX7Sound::TempoKey { tempo, semitones }.clamped());
    m_view.showTempoKey(this->tempo(), this->semitones());
}

void PlayerModel::stepTempo(int percent)
{
    setTempoKey(tempo() + percent, semitones());
}

void PlayerModel::stepKey(int semitones)
{
    setTempoKey(tempo(), this->semitones() + semitones);
}

void PlayerModel::originalTempoKey()
{
    setTempoKey(100, 0);
}
