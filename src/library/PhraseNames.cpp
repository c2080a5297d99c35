// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/PhraseNames.h"

namespace Library {

QString WithWavExtension(const QString& entry)
{
    if (entry.endsWith(kWavEnding, Qt::CaseInsensitive))
        return entry;
    return entry + kWavEnding;
}

QString WithoutWavExtension(const QString& text)
{
    if (text.endsWith(kWavEnding, Qt::CaseInsensitive))
        return text.left(text.size() - kWavEnding.size());
    return text;
}

QString SetStem(const QString& entry)
{
    QString stem = WithoutWavExtension(entry);
    if (stem.endsWith(QLatin1String("_1"), Qt::CaseInsensitive))
        stem.chop(2);
    return stem;
}

QString PhraseRenameTarget(const QString& name)
{
    return name + kWavEnding;
}

QString SetRenameTarget(const QString& stem, int list)
{
    return stem + QStringLiteral("_%1").arg(list + 1) + kWavEnding;
}

bool IsPlainName(const QString& name)
{
    return !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

bool IsLibraryName(const QString& name)
{
    return !name.isEmpty() && !name.startsWith(QLatin1Char('.')) && IsPlainName(name);
}

QString ProposeSetName(const QString& entry)
{
    QString name = WithoutWavExtension(entry);
    for (const char* marker : { "_1", "_2", "_3" }) {
        if (name.endsWith(QLatin1String(marker)))
            name.chop(2);
    }
    return name;
}

QStringList SetNamesFromEntries(const QStringList& entries)
{
    QStringList names;
    QString previous;
    for (qsizetype k = entries.size() - 1; k >= 0; --k) {
        QString text = WithoutWavExtension(entries.at(k));
        if (text.size() >= 2)
            text.chop(2);
        const QString prefix = text.left(7);
        if (text.size() > 3 && prefix != previous)
            names.append(text);
        previous = prefix;
    }
    return names;
}

QString SetMemberName(const QString& entry, int pressedList, int list)
{
    QString name = WithoutWavExtension(entry);
    const QString own = QStringLiteral("_%1").arg(pressedList + 1);
    if (!name.endsWith(own))
        return name;
    return name.left(name.size() - 2) + QStringLiteral("_%1").arg(list + 1);
}

int RowOfName(const QStringList& entries, const QString& name)
{
    if (name.isEmpty())
        return -1;
    int folded = -1;
    for (qsizetype row = 0; row < entries.size(); ++row) {
        const QString shown = WithoutWavExtension(entries.at(row));
        if (shown == name)
            return static_cast<int>(row);
        if (folded < 0 && shown.compare(name, Qt::CaseInsensitive) == 0)
            folded = static_cast<int>(row);
    }
    return folded;
}

} // namespace Library
