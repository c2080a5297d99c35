// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A decode gate for tests: holds every decoding at a chosen number of frames until released, so
// that a test sees a buffer while it is still being decoded.

#include "sound/WavLoader.h"

#include <atomic>
#include <limits>

class DecodeHold : public DX7Sound::DecodeGate
{
public:
    bool allows(qint64 written) const override { return written < m_at.load(); }

    // Decodings stop before they pass `frames` frames. Any thread.
    void holdAt(qint64 frames) { m_at.store(frames); }
    // Lets every held decoding go on. Any thread.
    void release()
    {
        m_at.store(std::numeric_limits<qint64>::max());
        reopened();
    }

    // Holds at `frames` for its scope, releasing even when an assertion ends the test early.
    class Scope
    {
    public:
        Scope(DecodeHold& hold, qint64 frames)
            : m_hold(hold)
        {
            m_hold.holdAt(frames);
        }
        ~Scope() { m_hold.release(); }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        DecodeHold& m_hold;
    };

private:
    std::atomic<qint64> m_at { std::numeric_limits<qint64>::max() };
};
