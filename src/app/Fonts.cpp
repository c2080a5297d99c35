// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Fonts.h"

namespace Commands {

QFont ProgramFont(int pixelSize, bool bold)
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    return font;
}

} // namespace Commands
