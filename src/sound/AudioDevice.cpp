// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/AudioDevice.h"

#include <cstring>

namespace DX7Sound {

OfflineDevice::OfflineDevice(int rate)
    : m_rate(rate)
{ }

bool OfflineDevice::open(int)
{
    return m_rate > 0;
}

bool OfflineDevice::start(RenderSource* source, std::function<void()> lost)
{
    m_lostCallback = std::move(lost);
    m_source.store(source);
    return true;
}

void OfflineDevice::render(float* interleaved, int frames)
{
    RenderSource* source = m_source.load();
    if (!source || m_lost.load()) {
        std::memset(interleaved, 0, sizeof(float) * 2 * size_t(frames));
        return;
    }
    source->render(interleaved, frames);
}

void OfflineDevice::simulateLoss()
{
    if (!m_lost.exchange(true) && m_lostCallback)
        m_lostCallback();
}

} // namespace DX7Sound
