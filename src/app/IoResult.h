#pragma once

#include <QString>

#include <cerrno>
#include <cstring>

namespace Commands {

// The outcome of a file operation that the user may need to hear about: success, or the
// system's error number of the step that failed (ENOSPC, EFBIG, EROFS, EACCES, ...). Holds no
// resources; any thread.
class IoResult
{
public:
    // Success.
    IoResult() = default;
    // A failure with `error` (an errno value; 0 is taken as EIO so a failure never reads as
    // success).
    static IoResult failure(int error)
    {
        IoResult r;
        r.m_error = error != 0 ? error : EIO;
        return r;
    }

    explicit operator bool() const { return m_error == 0; }
    // The errno value of the failure; 0 on success.
    int error() const { return m_error; }
    // The system's text for the failure ("No space left on device"); empty on success.
    QString reason() const
    {
        if (m_error == 0)
            return {};
        char buffer[256];
        return QString::fromLocal8Bit(::strerror_r(m_error, buffer, sizeof buffer));
    }

private:
    int m_error = 0;
};

} // namespace Commands
