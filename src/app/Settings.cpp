// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Settings.h"

#include "app/Paths.h"
#include "app/ProfileFile.h"
#include "app/ProfileNumber.h"

#include <QFileInfo>

namespace Commands {

QString ResolveSoundDirectory(const QString& stored, const QString& appDir)
{
    QString s = stored.isEmpty() ? appDir : stored;
    if (!s.startsWith(QLatin1Char('/'))) {
        s.replace(QLatin1Char('\\'), QLatin1Char('/'));
        if (s.startsWith(QLatin1Char('/')))
            s.remove(0, 1);
        s.prepend(appDir);
    }
    AddBackslash(s);
    if (!DirExists(s))
        s = appDir;
    return s;
}

void LoadProgramSettings(ProgramValues& values)
{
    values.AppTitle = kAppTitle;
    if (values.IniFile.isEmpty())
        values.IniFile = values.AppDir + values.AppExeName + QStringLiteral(".ini");
    values.IniFile = GetLongName(values.IniFile);

    // One read of the file serves every key.
    const ProfileText ini = ProfileText::fromFile(values.IniFile);
    values.WAVpath = ResolveSoundDirectory(
        ini.value(values.AppTitle, QStringLiteral("WAVpath"), QString()), values.AppDir);

    const auto readFlag = [&](const char* key, const char* def, qint16& target) {
        const std::optional<qint16> v = ReadProfileInteger(
            ini.value(values.AppTitle, QLatin1String(key), QLatin1String(def)));
        if (v)
            target = *v;
    };
    readFlag("ShowEnding", "0", values.ShowEnding);
    readFlag("AutoPlay", "1", values.AutoPlay);
    readFlag("PhraseSync", "1", values.PhraseSync);
    readFlag("LineUpByName", "1", values.LineUpByName);
    readFlag("PlayInStep", "0", values.PlayInStep);

    // Without a private directory there is no safe place for the clip: the channels then start
    // without a buffer.
    if (values.TempDir.isEmpty()) {
        values.DefaultWav.clear();
        return;
    }
    values.DefaultWav = values.TempDir + QStringLiteral("Default.wav");
    if (!FileExists(values.DefaultWav))
        ExtractResource(values.DefaultWav, QStringLiteral("DEFAULT"), QStringLiteral("WAVE"));
}

namespace {

// The installed mode's settings folder may be missing (it could not be made at start-up, or it
// went since): made here, so that a failure is told as the folder that could not be made and
// not as a file that does not exist.
IoResult makeSettingsFolder(const QString& iniFile)
{
    return MakeFolders(QFileInfo(iniFile).absolutePath());
}

} // namespace

IoResult StoreProgramSetting(const ProgramValues& values, const QString& key, const QString& value)
{
    if (IoResult made = makeSettingsFolder(values.IniFile); !made)
        return made;
    return WriteIniKeys(values.AppTitle, { { key, value } }, values.IniFile);
}

IoResult StoreProgramFlags(const ProgramValues& values)
{
    if (IoResult made = makeSettingsFolder(values.IniFile); !made)
        return made;
    // One edit: a kill between three separate writes could leave a mix of old and new flags.
    return WriteIniKeys(values.AppTitle,
        { { QStringLiteral("ShowEnding"), QString::number(values.ShowEnding) },
            { QStringLiteral("AutoPlay"), QString::number(values.AutoPlay) },
            { QStringLiteral("PhraseSync"), QString::number(values.PhraseSync) },
            { QStringLiteral("LineUpByName"), QString::number(values.LineUpByName) },
            { QStringLiteral("PlayInStep"), QString::number(values.PlayInStep) } },
        values.IniFile);
}

QString ReadIni(const QString& section, const QString& key, const QString& file, const QString& def)
{
    return ProfileText::fromFile(file).value(section, key, def);
}

IoResult WriteIni(
    const QString& section, const QString& key, const QString& value, const QString& file)
{
    return WriteIniKeys(section, { { key, value } }, file);
}

} // namespace Commands
