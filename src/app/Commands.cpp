#include "app/Commands.h"

#include "app/FileNames.h"
#include "app/ProfileFile.h"
#include "app/ProgramLocations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

// The clip's resource lives in this static library; nothing else refers to it, so the linker
// would drop it without this explicit registration. Q_INIT_RESOURCE must not stand inside a
// namespace.
static void registerSoundResource()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(sound);
        return true;
    }();
    (void)registered;
}

namespace Commands {

namespace {

// Makes sure `dir` is a directory owned by this user that nobody else can enter; creates it
// (0700) when missing. `allowSymlink` accepts a directory reached through a link (the
// platform's runtime directory may be one), never for a fallback under the shared /tmp.
bool ensurePrivateDirectory(const QString& dir, bool allowSymlink)
{
    const QByteArray native = NativePath(dir);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st
    {
    };
    const int rc
        = allowSymlink ? ::stat(native.constData(), &st) : ::lstat(native.constData(), &st);
    if (rc != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    if ((st.st_mode & 077) != 0 && ::chmod(native.constData(), 0700) != 0)
        return false;
    return true;
}

// Reads decimal digits of `s` from `i`; returns how many were read.
qsizetype readDigits(const std::string& s, qsizetype& i, std::string& out)
{
    const qsizetype start = i;
    while (i < qsizetype(s.size()) && s[size_t(i)] >= '0' && s[size_t(i)] <= '9')
        out.push_back(s[size_t(i++)]);
    return i - start;
}

std::optional<qint16> fitIn16Bits(double v)
{
    if (!std::isfinite(v))
        return std::nullopt;
    const double r = std::nearbyint(v); // the default rounding mode takes halves to even
    if (r < -32768.0 || r > 32767.0)
        return std::nullopt;
    return qint16(r);
}

// "&H" and "&O" numbers: up to 16 bits they are read as a signed 16-bit pattern (&HFFFF is
// -1), up to 32 bits as a signed 32-bit pattern; longer ones do not fit.
std::optional<qint16> readRadixNumber(const std::string& s, int radix)
{
    quint64 v = 0;
    for (size_t i = 2; i < s.size(); ++i) {
        const char c = s[i];
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (radix == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (radix == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            break;
        if (d >= radix)
            break;
        v = v * quint64(radix) + quint64(d);
        if (v > 0xFFFFFFFFull)
            return std::nullopt;
    }
    if (v <= 0xFFFF)
        return qint16(quint16(v));
    const qint32 wide = qint32(quint32(v));
    if (wide < -32768 || wide > 32767)
        return std::nullopt;
    return qint16(wide);
}

} // namespace

void InitPaths(ProgramValues& values, const ProgramLocations& locations)
{
    values.AppDir = locations.appDir;
    AddBackslash(values.AppDir);
    values.IniFile = locations.iniFile;
    values.AppExeName = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    values.TempDir = GetTempDir();
}

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

    // One read of the file serves all four keys.
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

IoResult StoreProgramFlags(const ProgramValues& values)
{
    // One edit: a kill between three separate writes could leave a mix of old and new flags.
    return WriteIniKeys(values.AppTitle,
        { { QStringLiteral("ShowEnding"), QString::number(values.ShowEnding) },
            { QStringLiteral("AutoPlay"), QString::number(values.AutoPlay) },
            { QStringLiteral("PhraseSync"), QString::number(values.PhraseSync) } },
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

std::optional<qint16> ReadProfileInteger(const QString& text)
{
    // Blanks, tabs and line feeds do not count anywhere; other characters outside ASCII end
    // the number like any other non-number character.
    std::string s;
    s.reserve(size_t(text.size()));
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u' ' || u == u'\t' || u == u'\n')
            continue;
        s.push_back(u < 0x80 ? char(u) : '\x7f');
    }
    if (s.size() >= 2 && s[0] == '&') {
        if (s[1] == 'H' || s[1] == 'h')
            return readRadixNumber(s, 16);
        if (s[1] == 'O' || s[1] == 'o')
            return readRadixNumber(s, 8);
        return qint16(0);
    }

    std::string number;
    qsizetype i = 0;
    const qsizetype n = qsizetype(s.size());
    bool negative = false;
    if (i < n && (s[size_t(i)] == '+' || s[size_t(i)] == '-'))
        negative = s[size_t(i++)] == '-';
    qsizetype digits = readDigits(s, i, number);
    if (i < n && s[size_t(i)] == '.') {
        ++i;
        number.push_back('.');
        digits += readDigits(s, i, number);
    }
    if (digits == 0)
        return qint16(0);
    if (number.find_first_not_of("0.") == std::string::npos)
        return qint16(0);
    bool negativeExponent = false;
    if (i < n
        && (s[size_t(i)] == 'e' || s[size_t(i)] == 'E' || s[size_t(i)] == 'd'
            || s[size_t(i)] == 'D')) {
        qsizetype j = i + 1;
        std::string exponent;
        if (j < n && (s[size_t(j)] == '+' || s[size_t(j)] == '-')) {
            negativeExponent = s[size_t(j)] == '-';
            exponent.push_back(s[size_t(j++)]);
        }
        if (readDigits(s, j, exponent) > 0)
            number += 'e' + exponent;
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range)
        return negativeExponent ? std::optional<qint16>(qint16(0)) : std::nullopt;
    if (ec != std::errc())
        return qint16(0);
    return fitIn16Bits(negative ? -value : value);
}

QString& AddBackslash(QString& path)
{
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

bool DirExists(const QString& path)
{
    if (path.isEmpty())
        return false;
    DIR* dir = ::opendir(NativePath(path).constData());
    if (!dir)
        return false;
    ::closedir(dir);
    return true;
}

bool FileExists(const QString& path)
{
    if (path.isEmpty())
        return false;
    const int fd
        = ::open(NativePath(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat st
    {
    };
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return regular;
}

QString GetLongName(const QString& path)
{
    return path;
}

QString GetTempDir()
{
    // Without XDG_RUNTIME_DIR (a root shell, ssh without a session) Qt would warn on every call
    // before it falls back; the private fallback below serves the same purpose quietly.
    // A directory of the program's own inside it: fixed names such as Default.wav and the
    // instance lock can then never be another program's files.
    QString dir;
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (!runtime.isEmpty() && ensurePrivateDirectory(runtime, true)) {
            dir = runtime + QStringLiteral("/sorvanto");
            if (!ensurePrivateDirectory(dir, false))
                dir.clear();
        }
    }
    if (dir.isEmpty()) {
        dir = QDir::tempPath() + QStringLiteral("/sorvanto-runtime-")
            + QString::number(::geteuid());
        if (!ensurePrivateDirectory(dir, false))
            return {};
    }
    return AddBackslash(dir);
}

QString ExtractResource(const QString& path, const QString& name, const QString& type)
{
    registerSoundResource();
    QFile resource(QStringLiteral(":/") + type + QLatin1Char('/') + name);
    if (path.isEmpty() || !resource.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = resource.readAll();
    const QByteArray native = NativePath(path);
    const int fd
        = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return {};
    qsizetype done = 0;
    bool ok = true;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            ok = false;
            break;
        }
    }
    if (::close(fd) != 0)
        ok = false;
    if (!ok) {
        ::unlink(native.constData()); // this call created it; leave no half clip behind
        return {};
    }
    return path;
}

} // namespace Commands
