// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/IoResult.h"

#include <QString>
#include <QStringList>
#include <array>
#include <optional>

// The phrase listing, paths formed from list entries, and the set settings file. The sound
// directory is treated as case-insensitive and case-preserving. GUI thread only.
namespace Library {

// The listing source of the phrase lists: the regular, non-hidden files with a ".wav"
// extension in any case, sorted without regard to case (ties by exact name). When a directory
// cannot be opened it lists the directory it listed before again; when that cannot be read
// either, it lists nothing.
class PhraseDirectory
{
public:
    // Points the listing at `dir` (ending with '/') and reads it again. When `dir` cannot be
    // read (missing, no read or search permission), the directory listed before is read again;
    // when that fails too, the names are empty and path() is `dir`.
    void setPath(const QString& dir);
    // The names (no directory) of the last successful listing.
    const QStringList& names() const { return m_names; }
    // The directory listed (or, when nothing could be read, the one asked for); empty before
    // the first setPath.
    const QString& path() const { return m_dir; }

    // Reads the regular, non-hidden ".wav" files of `dir` (any case) in listing order into
    // `names`. False, with `names` untouched, when the directory cannot be read.
    static bool readNames(const QString& dir, QStringList& names);

private:
    QStringList m_names;
    QString m_dir;
};

// The three lists' contents for `names` in listing order: entries lose their last four
// characters when `showEnding` is 0; "_1", "_2", "_3" (first found decides) pick one list, any
// other entry goes into all three.
std::array<QStringList, 3> SplitIntoColumns(const QStringList& names, qint16 showEnding);

// The regular file (or link to one) of `dir` named `name` exactly, else the regular file whose
// name matches it without regard to case and keeps the longest run of its exact spelling from
// the start, else `name` itself. Special files and directories are never chosen. Returns a
// path (dir + name).
QString ResolveInDirectory(const QString& dir, const QString& name);

// Ranges of the set's tempo (percent of the recorded tempo) and transposition (semitones).
constexpr int kMinTempo = 50;
constexpr int kMaxTempo = 200;
constexpr int kMinTranspose = -12;
constexpr int kMaxTranspose = 12;

// The values of a set settings file as read: a Level or Pan that does not fit 16 bits is
// empty (its knob stays unchanged); Mute is true only for the exact text "1". Tempo and
// Transpose are 100 and 0 when missing or when the number rule cannot read them (text that
// does not start with a number, a value beyond 16 bits), and clamped to their ranges.
struct SetSettings
{
    std::array<std::optional<qint16>, 3> Level;
    std::array<std::optional<qint16>, 3> Pan;
    std::array<bool, 3> Mute {};
    int Tempo = 100;
    int Transpose = 0;
};

// Reads Level1..3, Pan1..3, Mute1..3 of section `section` with their defaults (80, 50, 0), and
// Tempo and Transpose.
SetSettings ReadSetSettings(const QString& file, const QString& section);

// The values Save Settings writes, one per column.
struct SetValues
{
    std::array<qint16, 3> Level {};
    std::array<qint16, 3> Pan {};
    std::array<bool, 3> Mute {};
    int Tempo = 100;
    int Transpose = 0;
};

// Writes the nine keys in their order (Level1, Pan1, ..., Mute3), then Tempo and Transpose, in
// one atomic edit; on failure the file is as it was and the result says why. At 100 and 0,
// Tempo and Transpose are written only where the file already has them, so a set never moved
// from its recorded tempo and key gets no new keys.
Commands::IoResult WriteSetSettings(
    const QString& file, const QString& section, const SetValues& values);

} // namespace Library

// The path rules the design names as shared helpers.
namespace Commands {

// WAVpath + entry, with ".wav" appended when the entry does not end in it (any case),
// resolved in the sound directory without regard to case.
QString PhrasePathFromEntry(const QString& WAVpath, const QString& entry);

// WAVpath + the entry less a final ".wav" and then a final "_1" (any case) + ".ini", resolved
// in the sound directory without regard to case.
QString SetSettingsFileFromEntry(const QString& WAVpath, const QString& entry);

} // namespace Commands
