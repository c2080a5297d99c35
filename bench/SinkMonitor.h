// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <chrono>
#include <cmath>
#include <vector>

// The test server's null sink monitor, read as raw interleaved stereo float frames through parec
// as they arrive. Owned by one benchmark; used from the thread that made it.
class SinkMonitor
{
public:
    // Starts parec and waits until data flows; false when there is no such sink.
    bool start()
    {
        m_p.start(QStringLiteral("parec"),
            { QStringLiteral("-d"), QStringLiteral("sorvanto_null.monitor"),
                QStringLiteral("--raw"), QStringLiteral("--format=float32le"),
                QStringLiteral("--rate=48000"), QStringLiteral("--channels=2"),
                QStringLiteral("--latency-msec=1") });
        if (!m_p.waitForStarted(3000))
            return false;
        std::vector<float> f;
        return read(f, 3000) && read(f, 3000);
    }
    // Appends whatever whole frames arrived within `ms` milliseconds (at least one read).
    bool read(std::vector<float>& frames, int ms)
    {
        if (!m_p.bytesAvailable() && !m_p.waitForReadyRead(ms))
            return false;
        m_pending += m_p.readAll();
        const qsizetype whole = m_pending.size() / 8 * 8;
        const auto* p = reinterpret_cast<const float*>(m_pending.constData());
        frames.insert(frames.end(), p, p + whole / 4);
        m_pending.remove(0, whole);
        return true;
    }
    // Reads and drops everything for at least `ms` milliseconds: what piled up in the pipe while
    // nobody read is old sound, not the answer to the next start.
    void drain(int ms = 20)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        do {
            m_p.waitForReadyRead(20);
            m_p.readAll();
        } while (std::chrono::steady_clock::now() < end);
        m_pending.clear();
    }
    // True once a non-silent sample arrives, false after `ms` milliseconds without one.
    bool waitForSound(int ms)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        std::vector<float> f;
        while (std::chrono::steady_clock::now() < end) {
            f.clear();
            if (!read(f, 50))
                continue;
            for (const float s : f)
                if (std::fabs(s) > 1e-3f)
                    return true;
        }
        return false;
    }
    ~SinkMonitor()
    {
        m_p.kill();
        m_p.waitForFinished(2000);
    }

private:
    QProcess m_p;
    QByteArray m_pending;
};
