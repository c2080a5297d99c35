// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/PhraseLibrary.h"

#include "app/Commands.h"
#include "app/FileNames.h"
#include "app/ProfileFile.h"
#include "library/PhraseNames.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

namespace {

bool endsWithWavExtension(const char* name, size_t len)
{
    if (len < 4)
        return false;
    const char* e = name + len - 4;
    return e[0] == '.' && (e[1] | 0x20) == 'w' && (e[2] | 0x20) == 'a' && (e[3] | 0x20) == 'v';
}

// The lower-cased end of `text` equals `lowerSuffix` (the "text tests" of the naming rules).
bool endsWithNoCase(const QString& text, QLatin1String lowerSuffix)
{
    return text.size() >= lowerSuffix.size()
        && text.right(lowerSuffix.size()).toLower() == lowerSuffix;
}

// Calls `visit` with the raw name of every entry of `dir` but "." and ".."; false when the
// directory cannot be opened or read to its end.
template <typename Visit> bool forEachEntry(const QString& dir, Visit&& visit)
{
    DIR* d = ::opendir(Commands::NativePath(dir).constData());
    if (!d)
        return false;
    const int fd = ::dirfd(d);
    // A directory that can be listed but not entered (no search permission) holds no file
    // that could be read: it counts as unreadable. Looking up "." needs that permission.
    struct stat self
    {
    };
    if (::fstatat(fd, ".", &self, 0) != 0) {
        ::closedir(d);
        return false;
    }
    errno = 0;
    while (const dirent* e = ::readdir(d)) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        visit(fd, e);
        errno = 0;
    }
    const bool ok = errno == 0;
    ::closedir(d);
    return ok;
}

} // namespace

namespace Library {

using Commands::IoResult;

bool PhraseDirectory::readNames(const QString& dir, QStringList& names)
{
    struct Item
    {
        QString folded;
        QString name;
    };
    std::vector<Item> items;
    const bool ok = forEachEntry(dir, [&](int fd, const dirent* e) {
        const char* n = e->d_name;
        const size_t len = std::strlen(n);
        if (n[0] == '.' || !endsWithWavExtension(n, len))
            return;
        // The entry type comes with the listing; only links and file systems that do not
        // report it need a stat (which follows the link).
        if (e->d_type != DT_REG) {
            if (e->d_type != DT_LNK && e->d_type != DT_UNKNOWN)
                return;
            struct stat st
            {
            };
            if (::fstatat(fd, n, &st, 0) != 0 || !S_ISREG(st.st_mode))
                return;
        }
        QString name = Commands::PathFromNative(QByteArray(n, qsizetype(len)));
        QString folded = name.toCaseFolded();
        items.push_back({ std::move(folded), std::move(name) });
    });
    if (!ok)
        return false;
    std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        const int c = a.folded.compare(b.folded);
        return c != 0 ? c < 0 : a.name < b.name;
    });
    QStringList result;
    result.reserve(qsizetype(items.size()));
    for (Item& item : items)
        result.append(std::move(item.name));
    names = std::move(result);
    return true;
}

void PhraseDirectory::setPath(const QString& dir)
{
    QStringList names;
    if (readNames(dir, names)) {
        m_dir = dir;
        m_names = std::move(names);
        return;
    }
    // Another directory that cannot be read: the one listed before is shown again, as it is now.
    if (!m_dir.isEmpty() && m_dir != dir && readNames(m_dir, names)) {
        m_names = std::move(names);
        return;
    }
    // Nothing can be read (the directory deleted or made unreadable): no entry may stand for a
    // file that cannot be reached. The directory asked for is the one to follow from now on.
    m_dir = dir;
    m_names.clear();
}

std::array<QStringList, 3> SplitIntoColumns(const QStringList& names, qint16 showEnding)
{
    static const QLatin1String markers[3]
        = { QLatin1String("_1"), QLatin1String("_2"), QLatin1String("_3") };
    std::array<QStringList, 3> columns;
    for (QStringList& column : columns)
        column.reserve(names.size());
    for (const QString& name : names) {
        const QString entry
            = showEnding == 0 ? name.left(std::max<qsizetype>(0, name.size() - 4)) : name;
        bool placed = false;
        for (int c = 0; c < 3 && !placed; ++c) {
            if (entry.contains(markers[c])) {
                columns[size_t(c)].append(entry);
                placed = true;
            }
        }
        if (!placed) {
            for (QStringList& column : columns)
                column.append(entry);
        }
    }
    return columns;
}

QString ResolveInDirectory(const QString& dir, const QString& name)
{
    QString exact = dir + name;
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return exact;
    const auto isRegular = [](int fd, const char* entry) {
        struct stat st
        {
        };
        return ::fstatat(fd, entry, &st, 0) == 0 && S_ISREG(st.st_mode);
    };
    {
        struct stat st
        {
        };
        if (::stat(Commands::NativePath(exact).constData(), &st) == 0 && S_ISREG(st.st_mode))
            return exact;
    }
    // Among the regular files whose names match without regard to case, the one that keeps the
    // longest run of `name`'s own spelling from its start wins: the text a list entry shows is
    // spelled exactly, only what was added to it (".wav", ".ini") may differ in case. So the
    // entry foo_1 of foo_1.WAV finds that file even beside Foo_1.wav. Ties go to the first by
    // exact name, so the answer never depends on the order of the directory.
    QString best;
    qsizetype bestRun = -1;
    forEachEntry(dir, [&](int fd, const dirent* e) {
        const QString candidate = Commands::PathFromNative(QByteArray(e->d_name));
        if (candidate.size() != name.size() || candidate.compare(name, Qt::CaseInsensitive) != 0
            || !isRegular(fd, e->d_name))
            return;
        qsizetype run = 0;
        while (run < name.size() && candidate.at(run) == name.at(run))
            ++run;
        if (run > bestRun || (run == bestRun && candidate < best)) {
            best = candidate;
            bestRun = run;
        }
    });
    return best.isEmpty() ? exact : dir + best;
}

namespace {

// A whole number by the profile number rule, clamped to [low, high]; `def` for an empty text,
// one that does not start with a number (which the rule would read as 0) or one beyond 16 bits.
int readRanged(const QString& text, int def, int low, int high)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return def;
    const QChar first = t.front();
    if (!first.isDigit() && first != u'+' && first != u'-' && first != u'.' && first != u'&')
        return def;
    const std::optional<qint16> v = Commands::ReadProfileInteger(t);
    return v ? std::clamp(int(*v), low, high) : def;
}

} // namespace

SetSettings ReadSetSettings(const QString& file, const QString& section)
{
    // One read of the file serves the nine keys.
    const Commands::ProfileText ini = Commands::ProfileText::fromFile(file);
    SetSettings s;
    for (int c = 0; c < 3; ++c) {
        const QString n = QString::number(c + 1);
        s.Level[size_t(c)] = Commands::ReadProfileInteger(
            ini.value(section, QStringLiteral("Level") + n, QStringLiteral("80")));
        s.Pan[size_t(c)] = Commands::ReadProfileInteger(
            ini.value(section, QStringLiteral("Pan") + n, QStringLiteral("50")));
        s.Mute[size_t(c)]
            = ini.value(section, QStringLiteral("Mute") + n, QStringLiteral("0")) == u"1";
    }
    s.Tempo = readRanged(
        ini.value(section, QStringLiteral("Tempo"), QString()), 100, kMinTempo, kMaxTempo);
    s.Transpose = readRanged(ini.value(section, QStringLiteral("Transpose"), QString()), 0,
        kMinTranspose, kMaxTranspose);
    return s;
}

IoResult WriteSetSettings(const QString& file, const QString& section, const SetValues& values)
{
    QList<std::pair<QString, QString>> keys;
    for (int c = 0; c < 3; ++c) {
        const QString n = QString::number(c + 1);
        keys.append({ QStringLiteral("Level") + n, QString::number(values.Level[size_t(c)]) });
        keys.append({ QStringLiteral("Pan") + n, QString::number(values.Pan[size_t(c)]) });
    }
    for (int c = 0; c < 3; ++c)
        keys.append({ QStringLiteral("Mute") + QString::number(c + 1),
            values.Mute[size_t(c)] ? QStringLiteral("1") : QStringLiteral("0") });
    bool tempoKeys = values.Tempo != 100 || values.Transpose != 0;
    if (!tempoKeys) {
        // Back at the recorded tempo and key: keys written before must say so now.
        const Commands::ProfileText ini = Commands::ProfileText::fromFile(file);
        tempoKeys = !ini.value(section, QStringLiteral("Tempo"), QString()).isEmpty()
            || !ini.value(section, QStringLiteral("Transpose"), QString()).isEmpty();
    }
    if (tempoKeys) {
        keys.append({ QStringLiteral("Tempo"), QString::number(values.Tempo) });
        keys.append({ QStringLiteral("Transpose"), QString::number(values.Transpose) });
    }
    return Commands::WriteIniKeys(section, keys, file);
}

} // namespace Library

namespace Commands {

QString PhrasePathFromEntry(const QString& WAVpath, const QString& entry)
{
    QString name = entry;
    if (!endsWithNoCase(WAVpath + name, Library::kWavEnding))
        name += Library::kWavEnding;
    return Library::ResolveInDirectory(WAVpath, name);
}

QString SetSettingsFileFromEntry(const QString& WAVpath, const QString& entry)
{
    return Library::ResolveInDirectory(WAVpath, Library::SetStem(entry) + QStringLiteral(".ini"));
}

} // namespace Commands
