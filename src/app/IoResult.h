// SPDX-License-Identifier: GPL-3.0-or-later
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

    // A failure to create the folder `folder` (a missing parent of the file an operation
    // wanted): the reason then names that folder, the real cause, rather than the bare error
    // that the file's own step would have met.
    static IoResult folderNotCreated(int error, const QString& folder)
    {
        IoResult r = failure(error);
        r.m_folder = folder;
        return r;
    }

    explicit operator bool() const { return m_error == 0; }
    // The errno value of the failure; 0 on success.
    int error() const { return m_error; }
    // The folder that could not be created; empty for any other failure.
    const QString& folder() const { return m_folder; }
    // The system's text for the failure ("No space left on device"), prefixed by the folder
    // that could not be created when that was the cause; empty on success.
    QString reason() const
    {
        if (m_error == 0)
            return {};
        char buffer[256];
        QString text = QString::fromLocal8Bit(::strerror_r(m_error, buffer, sizeof buffer));
        if (m_folder.isEmpty())
            return text;
        return QStringLiteral("The folder '") + m_folder
            + QStringLiteral("' could not be created: ") + text;
    }

private:
    int m_error = 0;
    QString m_folder;
};

} // namespace Commands
