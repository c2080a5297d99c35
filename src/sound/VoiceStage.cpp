// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/VoiceStage.h"

#include <algorithm>

namespace DX7Sound {

VoiceStage::VoiceStage(int channels, int rate)
    : m_channels(channels)
    , m_rate(rate)
    , m_stretch(rate, channels, blockFrames)
    , m_scratch(size_t(blockFrames) * size_t(channels), 0.0f)
{ }

void VoiceStage::attach(const SoundBuffer* buffer)
{
    m_source.buffer = buffer;
    m_source.length
        = std::max<std::int64_t>(1, buffer->progress().length.load(std::memory_order_acquire));
}

void VoiceStage::primeAtStart(TempoKey setting)
{
    m_stretch.prepare(&m_source, setting);
}

void VoiceStage::primeAt(TempoKey setting, std::int64_t sourceFrame)
{
    m_stretch.prepareTakeover(&m_source, setting, sourceFrame, false);
}

const float* VoiceStage::pull(int frames) noexcept
{
    m_stretch.pull(m_scratch.data(), frames);
    return m_scratch.data();
}

void VoiceStage::BufferSource::readFrames(std::int64_t first, int count, float* const* out) const
{
    const std::int64_t ready = buffer->progress().ready.load(std::memory_order_acquire);
    const int have = int(std::clamp<std::int64_t>(ready - first, 0, count));
    const int ch = buffer->channels();
    if (buffer->sample() == SoundBuffer::Sample::Int16) {
        constexpr float k = 1.0f / 32768.0f;
        const std::int16_t* s = buffer->int16Data() + first * ch;
        for (int c = 0; c < ch; ++c)
            for (int i = 0; i < have; ++i)
                out[c][i] = float(s[i * ch + c]) * k;
    } else {
        const float* s = buffer->floatData() + first * ch;
        for (int c = 0; c < ch; ++c)
            for (int i = 0; i < have; ++i)
                out[c][i] = s[i * ch + c];
    }
    for (int c = 0; c < ch; ++c)
        std::fill(out[c] + have, out[c] + count, 0.0f);
}

} // namespace DX7Sound
