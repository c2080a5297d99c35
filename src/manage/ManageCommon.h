#pragma once

#include <QFont>
#include <QRect>
#include <QString>

// Small rules shared by the rename and delete commands. GUI thread only.
namespace Manage {

// `entry` with ".wav" appended unless it ends so (any case).
QString WithWavExtension(const QString& entry);

// `text` less a final ".wav" (any case).
QString WithoutWavExtension(const QString& text);

// True when `name` has no directory separator and no NUL: a name inside the sound directory.
bool IsPlainName(const QString& name);

// True when `name` can be a new file name in the sound directory: no directory separator, no
// NUL, and not hidden (a leading '.' would drop the phrase from the listing).
bool IsLibraryName(const QString& name);

// A control's rectangle from twips (15 to a pixel).
QRect FromTwips(int left, int top, int width, int height);

// The dialogs' face: Liberation Sans 11 px, bold (weight 700) or regular.
QFont DialogFont(bool bold);

} // namespace Manage
