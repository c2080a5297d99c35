#include "library/PhraseNames.h"

namespace Library {

QString WithWavExtension(const QString& entry)
{
    if (entry.right(4).toLower() == QLatin1String(".wav"))
        return entry;
    return entry + QStringLiteral(".wav");
}

QString WithoutWavExtension(const QString& text)
{
    if (text.right(4).toLower() == QLatin1String(".wav"))
        return text.left(text.size() - 4);
    return text;
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

} // namespace Library
