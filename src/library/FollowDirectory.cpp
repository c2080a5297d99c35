// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/FollowDirectory.h"

#include "library/PhraseLibrary.h"

namespace Library {

int RowOfEntry(const QStringList& entries, const QString& entry)
{
    if (entry.isEmpty())
        return -1;
    const qsizetype exact = entries.indexOf(entry);
    if (exact >= 0)
        return static_cast<int>(exact);
    for (qsizetype row = 0; row < entries.size(); ++row)
        if (entries[row].compare(entry, Qt::CaseInsensitive) == 0)
            return static_cast<int>(row);
    return -1;
}

FollowedColumns FollowDirectory(
    const QStringList& names, qint16 showEnding, const std::array<QString, 3>& selected)
{
    FollowedColumns out;
    out.entries = SplitIntoColumns(names, showEnding);
    for (std::size_t c = 0; c < 3; ++c)
        out.selectedRow[c] = RowOfEntry(out.entries[c], selected[c]);
    return out;
}

} // namespace Library
