#pragma once

#include <QString>
#include <QStringList>

// The naming rules of phrases and phrase sets: extensions, which names may stand in the sound
// directory, and the set names derived from list entries. Pure functions; any thread.
namespace Library {

// `entry` with ".wav" appended unless it ends so (any case).
QString WithWavExtension(const QString& entry);

// `text` less a final ".wav" (any case).
QString WithoutWavExtension(const QString& text);

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

} // namespace Library
