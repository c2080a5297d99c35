// Placeholder so that the program links while the settings store is being built.
#include "app/Commands.h"

namespace Commands {
void InitPaths(ProgramValues&) { }
void LoadProgramSettings(ProgramValues&) { }
void StoreProgramFlags(const ProgramValues&) { }
QString ReadIni(const QString&, const QString&, const QString&, const QString& def) { return def; }
bool WriteIni(const QString&, const QString&, const QString&, const QString&) { return false; }
std::optional<qint16> ReadProfileInteger(const QString&) { return 0; }
QString& AddBackslash(QString& path)
{
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}
bool DirExists(const QString&) { return false; }
bool FileExists(const QString&) { return false; }
QString GetLongName(const QString& path) { return path; }
QString GetTempDir() { return {}; }
QString ExtractResource(const QString&, const QString&, const QString&) { return {}; }
} // namespace Commands
