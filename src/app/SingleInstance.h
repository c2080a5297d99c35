#pragma once

#include <QString>
#include <memory>

class QLockFile;

namespace Commands {

// Holds the single-instance lock of one executable path for one user while it lives.
// Created by Main on the GUI thread before anything else touches a file.
class SingleInstance
{
public:
    // Tries to take the lock in `lockDir` for the executable at `exePath`; a lock left by a
    // crashed process is taken over.
    SingleInstance(const QString& lockDir, const QString& exePath);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when this process holds the lock (no other instance runs).
    bool isFirst() const;

private:
    std::unique_ptr<QLockFile> m_lock;
    bool m_first = false;
};

} // namespace Commands
