// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <array>

// The quiet update of the phrase lists after the sound directory changed behind the program's
// back: new contents, with each list's selection kept where its file is still there. Unlike
// RefreshPhraseLists it keeps selections, so a playing set stays shown. Pure functions; any
// thread.
namespace Library {

// The three lists' contents and the row to select in each (-1: none).
struct FollowedColumns
{
    std::array<QStringList, 3> entries;
    std::array<int, 3> selectedRow { -1, -1, -1 };
};

// The row of `entry` in `entries`: the first row with exactly that text, else the first whose
// text matches it without regard to case (another program changed only the spelling of the
// name), else -1. An empty `entry` has no row.
int RowOfEntry(const QStringList& entries, const QString& entry);

// The lists for the listing `names` (listing order) by the column rule of SplitIntoColumns and
// `showEnding`, with column c selecting the row of `selected[c]` (RowOfEntry; "" = nothing
// selected).
FollowedColumns FollowDirectory(
    const QStringList& names, qint16 showEnding, const std::array<QString, 3>& selected);

} // namespace Library
