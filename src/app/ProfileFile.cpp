// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ProfileFile.h"

#include "app/FileNames.h"

#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Commands {

namespace {

constexpr qsizetype kMaxValueLength = 2047;

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// One line of a profile file as byte offsets into its text. The scan is a single forward
// pass, so any input (binary, huge, without line ends) costs linear time.
struct Line
{
    qsizetype begin = 0; // first byte of the line
    qsizetype contentEnd = 0; // first byte of the line end (or the end of the text)
    qsizetype end = 0; // first byte after the line end
    qsizetype trimBegin = 0; // content without leading and trailing blanks and tabs
    qsizetype trimEnd = 0;
};

enum class LineKind { Blank, Header, Key, Other };

struct Parsed
{
    LineKind kind = LineKind::Other;
    qsizetype nameBegin = 0, nameEnd = 0; // section name or key name, trimmed
    qsizetype valueBegin = 0, valueEnd = 0; // key value, trimmed
    qsizetype rawValueBegin = 0; // first byte after '='
};

class Scanner
{
public:
    explicit Scanner(const QByteArray& text)
        : m_data(text.constData())
        , m_size(text.size())
    {
        if (m_size >= 3 && m_data[0] == '\xEF' && m_data[1] == '\xBB' && m_data[2] == '\xBF')
            m_pos = 3;
        m_start = m_pos;
    }

    qsizetype contentStart() const { return m_start; }

    bool next(Line& line)
    {
        if (m_pos >= m_size)
            return false;
        line.begin = m_pos;
        qsizetype i = m_pos;
        while (i < m_size && m_data[i] != '\n' && m_data[i] != '\r')
            ++i;
        line.contentEnd = i;
        if (i < m_size) {
            if (m_data[i] == '\r' && i + 1 < m_size && m_data[i + 1] == '\n')
                i += 2;
            else
                ++i;
        }
        line.end = i;
        m_pos = i;
        trim(line.begin, line.contentEnd, line.trimBegin, line.trimEnd);
        return true;
    }

    Parsed parse(const Line& line) const
    {
        Parsed p;
        if (line.trimBegin == line.trimEnd) {
            p.kind = LineKind::Blank;
            return p;
        }
        if (m_data[line.trimBegin] == '[') {
            p.kind = LineKind::Header;
            qsizetype close = line.trimBegin + 1;
            while (close < line.trimEnd && m_data[close] != ']')
                ++close;
            trim(line.trimBegin + 1, close, p.nameBegin, p.nameEnd);
            return p;
        }
        const char* eq = static_cast<const char*>(
            memchr(m_data + line.trimBegin, '=', size_t(line.trimEnd - line.trimBegin)));
        if (!eq)
            return p;
        const qsizetype eqPos = eq - m_data;
        p.kind = LineKind::Key;
        trim(line.trimBegin, eqPos, p.nameBegin, p.nameEnd);
        p.rawValueBegin = eqPos + 1;
        trim(eqPos + 1, line.trimEnd, p.valueBegin, p.valueEnd);
        return p;
    }

private:
    void trim(qsizetype b, qsizetype e, qsizetype& outB, qsizetype& outE) const
    {
        while (b < e && isBlank(m_data[b]))
            ++b;
        while (e > b && isBlank(m_data[e - 1]))
            --e;
        outB = b;
        outE = e;
    }

    const char* m_data;
    qsizetype m_size;
    qsizetype m_pos = 0;
    qsizetype m_start = 0;
};

// A section or key name to look for, compared without regard to case. Pure-ASCII names
// (nearly all of them) are compared byte by byte without decoding.
class NameMatcher
{
public:
    explicit NameMatcher(const QString& name)
    {
        // Stored names are trimmed of blanks and tabs; so is the wanted one.
        qsizetype b = 0, e = name.size();
        while (b < e && (name[b] == u' ' || name[b] == u'\t'))
            ++b;
        while (e > b && (name[e - 1] == u' ' || name[e - 1] == u'\t'))
            --e;
        m_name = name.mid(b, e - b);
        m_ascii = true;
        for (QChar c : m_name) {
            if (c.unicode() >= 0x80) {
                m_ascii = false;
                break;
            }
        }
        if (m_ascii)
            m_latin = m_name.toLatin1();
    }

    bool matches(const char* data, qsizetype b, qsizetype e) const
    {
        const qsizetype n = e - b;
        bool candidateAscii = true;
        for (qsizetype i = b; i < e; ++i) {
            if (static_cast<unsigned char>(data[i]) >= 0x80) {
                candidateAscii = false;
                break;
            }
        }
        if (candidateAscii && m_ascii) {
            if (n != m_latin.size())
                return false;
            for (qsizetype i = 0; i < n; ++i) {
                if (toLowerAscii(data[b + i]) != toLowerAscii(m_latin[i]))
                    return false;
            }
            return true;
        }
        if (candidateAscii != m_ascii && candidateAscii)
            return false; // plain ASCII never folds onto a non-ASCII name
        return QString::fromUtf8(data + b, n).compare(m_name, Qt::CaseInsensitive) == 0;
    }

private:
    static char toLowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }

    QString m_name;
    QByteArray m_latin;
    bool m_ascii = true;
};

// The line end an existing text uses (its first one); LF for a text without any.
QByteArray lineEndOf(const QByteArray& text)
{
    const qsizetype i = text.indexOf('\n');
    const qsizetype j = text.indexOf('\r');
    if (j >= 0 && (i < 0 || j < i))
        return (j + 1 < text.size() && text[j + 1] == '\n') ? QByteArrayLiteral("\r\n")
                                                            : QByteArrayLiteral("\r");
    return QByteArrayLiteral("\n");
}

bool hasLineBreak(const QString& s)
{
    return s.contains(QLatin1Char('\n')) || s.contains(QLatin1Char('\r'));
}

} // namespace

ProfileText::ProfileText(QByteArray bytes)
    : m_bytes(std::move(bytes))
{ }

ProfileText ProfileText::fromFile(const QString& path)
{
    QByteArray bytes;
    if (!ReadRegularFile(path, bytes))
        bytes.clear(); // missing, special or unreadable: every look-up gives its default
    return ProfileText(std::move(bytes));
}

QString ProfileText::value(const QString& section, const QString& key, const QString& def) const
{
    const NameMatcher wantSection(section);
    const NameMatcher wantKey(key);
    Scanner scanner(m_bytes);
    const char* data = m_bytes.constData();
    Line line;
    // Lines before the first header form a nameless section.
    bool inSection = wantSection.matches(data, 0, 0);
    bool sectionSeen = inSection;
    while (scanner.next(line)) {
        const Parsed p = scanner.parse(line);
        if (p.kind == LineKind::Header) {
            if (sectionSeen)
                break; // only the first matching section is searched
            inSection = wantSection.matches(data, p.nameBegin, p.nameEnd);
            sectionSeen = inSection;
            continue;
        }
        if (!inSection || p.kind != LineKind::Key || !wantKey.matches(data, p.nameBegin, p.nameEnd))
            continue;
        qsizetype b = p.valueBegin, e = p.valueEnd;
        if (e - b >= 2 && (data[b] == '"' || data[b] == '\'') && data[e - 1] == data[b]) {
            ++b;
            --e;
        }
        if (b == e)
            return def;
        QString v = QString::fromUtf8(data + b, e - b);
        if (v.size() > kMaxValueLength) {
            qsizetype cut = kMaxValueLength;
            if (v[cut - 1].isHighSurrogate())
                --cut;
            v.truncate(cut);
        }
        return v;
    }
    return def;
}

std::optional<QByteArray> EditProfileText(
    const QByteArray& text, const QString& section, const QString& key, const QString& value)
{
    const QString trimmedKey = key.trimmed();
    if (hasLineBreak(section) || section.contains(QLatin1Char(']')) || hasLineBreak(key)
        || key.contains(QLatin1Char('=')) || trimmedKey.isEmpty()
        || trimmedKey.startsWith(QLatin1Char('[')) || hasLineBreak(value))
        return std::nullopt;

    const NameMatcher wantSection(section);
    const NameMatcher wantKey(key);
    const QByteArray eol = lineEndOf(text);
    const QByteArray keyLine = key.toUtf8() + '=' + value.toUtf8();
    const char* data = text.constData();

    Scanner scanner(text);
    bool inSection = wantSection.matches(data, 0, 0);
    bool sectionSeen = inSection;
    // Where a new key goes: after the section's last non-blank line (header included).
    qsizetype insertAt = scanner.contentStart();
    bool insertNeedsEol = false;
    Line line;
    while (scanner.next(line)) {
        const Parsed p = scanner.parse(line);
        if (p.kind == LineKind::Header) {
            if (sectionSeen)
                break;
            inSection = wantSection.matches(data, p.nameBegin, p.nameEnd);
            sectionSeen = inSection;
        } else if (inSection && p.kind == LineKind::Key
            && wantKey.matches(data, p.nameBegin, p.nameEnd)) {
            // Keep the key's spelling and the blanks after '='; replace the rest of the line.
            qsizetype valueStart = p.rawValueBegin;
            while (valueStart < line.contentEnd && isBlank(data[valueStart]))
                ++valueStart;
            QByteArray out;
            out.reserve(text.size() + value.size() * 3);
            out.append(data, valueStart);
            out.append(value.toUtf8());
            out.append(data + line.contentEnd, text.size() - line.contentEnd);
            return out;
        }
        if (inSection && p.kind != LineKind::Blank) {
            insertAt = line.end;
            insertNeedsEol = (line.end == line.contentEnd);
        }
    }

    QByteArray out;
    if (sectionSeen) {
        out.reserve(text.size() + keyLine.size() + 4);
        out.append(data, insertAt);
        if (insertNeedsEol)
            out.append(eol);
        out.append(keyLine);
        out.append(eol);
        out.append(data + insertAt, text.size() - insertAt);
        return out;
    }
    out = text;
    if (text.size() > scanner.contentStart() && !text.endsWith('\n') && !text.endsWith('\r'))
        out.append(eol);
    out.append('[');
    out.append(section.toUtf8());
    out.append(']');
    out.append(eol);
    out.append(keyLine);
    out.append(eol);
    return out;
}

IoResult ReadRegularFile(const QString& path, QByteArray& out)
{
    out.clear();
    const QByteArray native = NativePath(path);
    if (native.isEmpty())
        return IoResult::failure(ENOENT);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return IoResult::failure(errno);
    struct stat st
    {
    };
    int error = 0;
    if (::fstat(fd, &st) != 0)
        error = errno;
    else if (S_ISDIR(st.st_mode))
        error = EISDIR;
    else if (!S_ISREG(st.st_mode))
        error = EINVAL; // a FIFO, device or socket is no settings file
    else if (st.st_size > kMaxProfileBytes)
        error = EFBIG;
    if (error == 0) {
        out.reserve(qsizetype(st.st_size));
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) {
                if (out.size() + n > kMaxProfileBytes) {
                    error = EFBIG; // grew while being read
                    break;
                }
                out.append(buffer, qsizetype(n));
            } else if (n == 0) {
                break;
            } else if (errno != EINTR) {
                error = errno;
                break;
            }
        }
    }
    ::close(fd);
    if (error != 0) {
        out.clear();
        return IoResult::failure(error);
    }
    return {};
}

namespace {

// Marks the temporary files of a save: ".<name>.sorvanto-save-<pid>-<8 random characters>".
constexpr char kTempMarker[] = ".sorvanto-save-";
constexpr int kTempRandomLength = 8;

// The file a save of `path` replaces: `path` itself, or the last target of its chain of
// symbolic links (relative link texts resolve against the link's directory). Empty, with
// errno set, when the chain loops or cannot be read.
QByteArray saveTarget(const QByteArray& path)
{
    QByteArray current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st
        {
        };
        if (::lstat(current.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        QByteArray link(PATH_MAX, Qt::Uninitialized);
        const ssize_t n = ::readlink(current.constData(), link.data(), size_t(link.size()));
        if (n < 0)
            return {};
        if (n >= link.size()) {
            errno = ENAMETOOLONG;
            return {};
        }
        link.truncate(n);
        if (!link.startsWith('/')) {
            const qsizetype slash = current.lastIndexOf('/');
            link.prepend(slash >= 0 ? current.left(slash + 1) : QByteArray());
        }
        current = link;
    }
    errno = ELOOP;
    return {};
}

// Removes temporary files that earlier saves of `base` in `dir` left behind when their
// process was killed. Only files of this user whose process is gone are touched: a live
// process (of this or another program instance, or a reused process id) keeps its file.
void removeStaleTemporaries(const QByteArray& dir, const QByteArray& base)
{
    const QByteArray prefix = '.' + base + kTempMarker;
    DIR* d = ::opendir(dir.constData());
    if (!d)
        return;
    const pid_t self = ::getpid();
    while (const dirent* e = ::readdir(d)) {
        const char* name = e->d_name;
        if (std::strncmp(name, prefix.constData(), size_t(prefix.size())) != 0)
            continue;
        const char* p = name + prefix.size();
        char* end = nullptr;
        errno = 0;
        const long pid = std::strtol(p, &end, 10);
        if (errno != 0 || end == p || *end != '-' || pid <= 0 || pid == self
            || std::strlen(end + 1) != size_t(kTempRandomLength))
            continue;
        if (::kill(pid_t(pid), 0) == 0 || errno != ESRCH)
            continue;
        struct stat st
        {
        };
        if (::fstatat(::dirfd(d), name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)
            && st.st_uid == ::geteuid())
            ::unlinkat(::dirfd(d), name, 0);
    }
    ::closedir(d);
}

QByteArray randomSuffix()
{
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray out(kTempRandomLength, Qt::Uninitialized);
    for (char& c : out)
        c = alphabet[QRandomGenerator::global()->bounded(int(sizeof alphabet - 1))];
    return out;
}

IoResult writeAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno == EINTR)
            continue;
        else
            return IoResult::failure(n < 0 ? errno : EIO);
    }
    return {};
}

} // namespace

IoResult SaveFileAtomically(const QString& path, const QByteArray& bytes)
{
    const QByteArray native = NativePath(path);
    if (native.isEmpty())
        return IoResult::failure(ENOENT);
    const QByteArray target = saveTarget(native);
    if (target.isEmpty())
        return IoResult::failure(errno);
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray dir = slash > 0 ? target.left(slash) : slash == 0 ? "/" : ".";
    const QByteArray base = slash >= 0 ? target.mid(slash + 1) : target;

    removeStaleTemporaries(dir, base);

    struct stat old
    {
    };
    const bool replacing = ::stat(target.constData(), &old) == 0 && S_ISREG(old.st_mode);

    const QByteArray stem = dir + "/." + base + kTempMarker + QByteArray::number(::getpid()) + '-';
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = stem + randomSuffix();
        // 0666 less the umask, as any new file of the user's gets; an existing file's own
        // permissions are copied below.
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0 && errno != EEXIST)
            return IoResult::failure(errno);
    }
    if (fd < 0)
        return IoResult::failure(EEXIST);

    IoResult result;
    if (replacing) {
        // Failing to keep the owner (only root may give a file away) or the mode does not stop
        // the save: the new file then has the user's defaults.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) { }
        if (::fchmod(fd, old.st_mode & 07777) != 0) { }
    }
    result = writeAll(fd, bytes);
    // The data must be on disk before the name points at it, or a crash could publish an
    // empty file. File systems that cannot sync (EINVAL) have nothing to wait for.
    if (result && ::fsync(fd) != 0 && errno != EINVAL)
        result = IoResult::failure(errno);
    if (::close(fd) != 0 && result && errno != EINTR)
        result = IoResult::failure(errno);
    if (result && ::rename(temp.constData(), target.constData()) != 0)
        result = IoResult::failure(errno);
    if (!result) {
        ::unlink(temp.constData());
        return result;
    }
    // Make the rename itself durable; the new contents are in place whatever this says.
    const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        (void)::fsync(dirFd);
        ::close(dirFd);
    }
    return {};
}

IoResult WriteIniKeys(const QString& section, const QList<std::pair<QString, QString>>& keyValues,
    const QString& file)
{
    QByteArray text;
    struct stat st
    {
    };
    const QByteArray native = NativePath(file);
    const bool existed = !native.isEmpty() && ::stat(native.constData(), &st) == 0;
    if (existed) {
        // Never replace a file whose contents could not be read: they would be lost.
        if (IoResult read = ReadRegularFile(file, text); !read)
            return read;
    } else if (errno != ENOENT) {
        return IoResult::failure(errno);
    }
    QByteArray edited = text;
    for (const auto& [key, value] : keyValues) {
        std::optional<QByteArray> next = EditProfileText(edited, section, key, value);
        if (!next)
            return IoResult::failure(EINVAL);
        edited = std::move(*next);
    }
    if (existed && edited == text)
        return {};
    return SaveFileAtomically(file, edited);
}

} // namespace Commands
