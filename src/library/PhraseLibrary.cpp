// Placeholder so that the program links while the phrase library is being built.
#include "library/PhraseLibrary.h"

namespace Commands {
void PhraseDirectory::setPath(const QString&) { }
std::array<QStringList, 3> SplitIntoColumns(const QStringList&, qint16) { return {}; }
QString ResolveInDirectory(const QString& dir, const QString& name) { return dir + name; }
QString PhrasePathFromEntry(const QString& WAVpath, const QString& entry) { return WAVpath + entry; }
QString SetSettingsFileFromEntry(const QString& WAVpath, const QString& entry)
{
    return WAVpath + entry + QStringLiteral(".ini");
}
SetSettings ReadSetSettings(const QString&, const QString&) { return {}; }
void WriteSetSettings(const QString&, const QString&, const SetValues&) { }
} // namespace Commands
