// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The naming rules of phrases and phrase sets: extensions, which names may stand in the sound
// directory, and the set names derived from list entries. Pure functions; any thread.
namespace Library {

// The ending of a phrase file, matched without regard to case.
inline constexpr QLatin1String kWavEnding(".wav");

// `entry` with ".wav" appended unless it ends so (any case).
QString WithWavExtension(const QString& entry);

// `text` less a final ".wav" (any case).
QString WithoutWavExtension(const QString& text);

// The stem of `entry`'s set, which names its set settings file: less ".wav", then less "_1"
// (both without regard to case).
QString SetStem(const QString& entry);

// The file name a phrase renamed to `name` gets: `name` and ".wav".
QString PhraseRenameTarget(const QString& name);

// The file name the member of set `stem` in list `list` (0..2) gets when a set is renamed:
// `stem`, its list's marker ("_1" in list 0) and ".wav".
QString SetRenameTarget(const QString& stem, int list);

// True when `name` has no directory separator and no NUL: a name inside the sound directory.
bool IsPlainName(const QString& name);

// True when `name` can be a new file name in the sound directory: no directory separator, no
// NUL, and not hidden (a leading '.' would drop the phrase from the listing).
bool IsLibraryName(const QString& name);

// The set name proposed for a first-list entry: less ".wav", then "_1", "_2", "_3".
QString ProposeSetName(const QString& entry);

// The set names offered for the first list's entries, last entry first: each entry less ".wav"
// and its last two characters, kept when longer than three characters and when its first seven
// characters differ from the entry after it.
QStringList SetNamesFromEntries(const QStringList& entries);

// The name (less ".wav") that the member of `entry`'s set carries in list `list` (0..2), for
// `entry` shown in list `pressedList`: an entry ending in its own list's marker ("_1" in list 0)
// is the stem and that marker, and its member in another list is the stem with that list's
// marker (as the set settings file is named from the stem). An entry without that ending is no
// set member: it stands for itself in every list (a file without marker is listed in all three).
QString SetMemberName(const QString& entry, int pressedList, int list);

// The row of `entries` (one list, as shown) whose name less ".wav" is `name`: the exact
// spelling first, else the first that matches without regard to case (the sound directory is
// treated as case-insensitive). -1 when there is none or `name` is empty.
int RowOfName(const QStringList& entries, const QString& name);

} // namespace Library
