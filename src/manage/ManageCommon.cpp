#include "manage/ManageCommon.h"

#include "app/Fonts.h"

namespace Manage {

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

QRect FromTwips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

QFont DialogFont(bool bold)
{
    return Commands::ProgramFont(Commands::kSmallFontPx, bold);
}

} // namespace Manage
