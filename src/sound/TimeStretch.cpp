// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/TimeStretch.h"

#include <rubberband/RubberBandStretcher.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

namespace DX7Sound {

namespace {

using Stretcher = RubberBand::RubberBandStretcher;

// Channel pointers live on the stack in the pull path, so the channel count is bounded.
constexpr int kMaxChannels = 8;
// The stretcher is fed in blocks of at most this many frames (its process size).
constexpr int kFeedFrames = 1024;
// The cross-fade into and out of the original tempo, as long as the mixer's gain ramps.
constexpr double kFadeMs = 5.0;

Stretcher::Options optionsFor(TimeStretch::Engine engine)
{
    // Real-time mode lets the ratio and pitch change while running; no threads of its own, so
    // the work stays in the pulling thread and in step with it.
    Stretcher::Options options = Stretcher::OptionProcessRealTime | Stretcher::OptionThreadingNever;
    switch (engine) {
    case TimeStretch::Engine::Faster:
        options |= Stretcher::OptionEngineFaster;
        break;
    case TimeStretch::Engine::Finer:
        options |= Stretcher::OptionEngineFiner;
        break;
    case TimeStretch::Engine::FinerShort:
        options |= Stretcher::OptionEngineFiner | Stretcher::OptionWindowShort;
        break;
    }
    return options;
}

double pitchScale(int semitones)
{
    return std::pow(2.0, semitones / 12.0);
}

} // namespace

TempoKey TempoKey::clamped() const
{
    return { std::clamp(tempoPercent, minTempo, maxTempo),
        std::clamp(semitones, minSemitones, maxSemitones) };
}

std::int64_t scaledLoopFrames(std::int64_t loopFrames, int tempoPercent)
{
    const std::int64_t t = std::max(tempoPercent, 1);
    // round(N * 100 / t), halves rounded up, in integers so long loops stay exact.
    return std::max<std::int64_t>(1, (loopFrames * 200 + t) / (2 * t));
}

TimeStretch::TimeStretch(int rate, int channels, int maxBlock, Engine engine)
    : m_channels(channels)
    , m_fadeFrames(std::max(1, int(std::lround(rate * kFadeMs / 1000.0))))
    , m_scratchFrames(std::max(maxBlock, kFeedFrames))
{
    if (channels < 1 || channels > kMaxChannels || maxBlock < 1 || rate < 1)
        throw std::invalid_argument("TimeStretch: bad format");
    m_stretcher
        = std::make_unique<Stretcher>(size_t(rate), size_t(channels), optionsFor(engine), 1.0, 1.0);
    m_stretcher->setMaxProcessSize(size_t(kFeedFrames));
    const auto planes = [this](std::vector<float>& data, std::vector<float*>& pointers) {
        data.assign(size_t(m_scratchFrames) * size_t(m_channels), 0.0f);
        pointers.resize(size_t(m_channels));
        for (int c = 0; c < m_channels; ++c)
            pointers[size_t(c)] = data.data() + size_t(c) * size_t(m_scratchFrames);
    };
    planes(m_in, m_inPtr);
    planes(m_out, m_outPtr);
    planes(m_direct, m_directPtr);
}

TimeStretch::~TimeStretch() = default;

int TimeStretch::latencyFrames() const noexcept
{
    return int(m_stretcher->getStartDelay());
}

void TimeStretch::prepare(const LoopSource* source, TempoKey setting)
{
    reset(source, setting, 0);
    m_stretching = source && !m_setting.original();
    if (m_stretching)
        startStretcher(0, true);
}

void TimeStretch::prepareTakeover(
    const LoopSource* source, TempoKey setting, std::int64_t sourceFrame, bool fadeFromSource)
{
    reset(source, setting, sourceFrame);
    m_stretching = source && !m_setting.original();
    if (m_stretching) {
        startStretcher(m_directPos, false);
        m_fadeIn = true;
        m_fadeLeft = fadeFromSource ? m_fadeFrames : 0;
    }
}

void TimeStretch::reset(const LoopSource* source, TempoKey setting, std::int64_t sourceFrame)
{
    m_source = source;
    m_loopIn = source ? std::max<std::int64_t>(1, source->frames()) : 1;
    m_setting = setting.clamped();
    m_position = 0;
    m_directPos = (sourceFrame % m_loopIn + m_loopIn) % m_loopIn;
    m_feedPos = m_directPos;
    m_fadeLeft = 0;
    m_pending = false;
    m_loopOut
        = m_setting.original() ? m_loopIn : scaledLoopFrames(m_loopIn, m_setting.tempoPercent);
    m_phase = m_directPos * m_loopOut / m_loopIn;
}

void TimeStretch::schedule(TempoKey setting, std::int64_t atFrame) noexcept
{
    m_pendingSetting = setting.clamped();
    m_pendingAt = atFrame;
    m_pending = true;
}

void TimeStretch::startStretcher(std::int64_t sourceFrame, bool silenceBefore) noexcept
{
    Stretcher& s = *m_stretcher;
    s.reset();
    s.setTimeRatio(double(m_loopOut) / double(m_loopIn));
    s.setPitchScale(pitchScale(m_setting.semitones));
    // The pad is what the stretcher hears before the first frame: silence at the start of
    // play, the frames just before when it takes over from the untouched copy. Its start
    // delay is then discarded, so the first output frame is `sourceFrame`.
    auto pad = std::int64_t(s.getPreferredStartPad());
    if (silenceBefore) {
        std::fill(m_in.begin(), m_in.end(), 0.0f);
        while (pad > 0) {
            const int n = int(std::min<std::int64_t>(pad, kFeedFrames));
            s.process(m_inPtr.data(), size_t(n), false);
            pad -= n;
        }
        m_feedPos = sourceFrame;
    } else {
        m_feedPos = ((sourceFrame - pad) % m_loopIn + m_loopIn) % m_loopIn;
        while (pad > 0) {
            const int n = int(std::min<std::int64_t>(pad, kFeedFrames));
            feed(n);
            pad -= n;
        }
    }
    auto delay = std::int64_t(s.getStartDelay());
    while (delay > 0) {
        const int available = s.available();
        if (available > 0) {
            const int n = int(std::min<std::int64_t>({ delay, available, m_scratchFrames }));
            s.retrieve(m_outPtr.data(), size_t(n));
            delay -= n;
        } else {
            feed(int(std::clamp<size_t>(s.getSamplesRequired(), 1, kFeedFrames)));
        }
    }
}

void TimeStretch::feed(int frames) noexcept
{
    // The loop is fed round and round: across the wrap the stretcher sees one continuous signal.
    int done = 0;
    while (done < frames) {
        const int n = int(std::min<std::int64_t>(frames - done, m_loopIn - m_feedPos));
        std::array<float*, kMaxChannels> at {};
        for (int c = 0; c < m_channels; ++c)
            at[size_t(c)] = m_inPtr[size_t(c)] + done;
        m_source->readFrames(m_feedPos, n, at.data());
        m_feedPos = (m_feedPos + n) % m_loopIn;
        done += n;
    }
    m_stretcher->process(m_inPtr.data(), size_t(frames), false);
}

void TimeStretch::pullStretched(int frames) noexcept
{
    Stretcher& s = *m_stretcher;
    int done = 0;
    while (done < frames) {
        const int available = s.available();
        if (available > 0) {
            std::array<float*, kMaxChannels> at {};
            for (int c = 0; c < m_channels; ++c)
                at[size_t(c)] = m_outPtr[size_t(c)] + done;
            done += int(s.retrieve(at.data(), size_t(std::min(available, frames - done))));
        } else {
            feed(int(std::clamp<size_t>(s.getSamplesRequired(), 1, kFeedFrames)));
        }
    }
}

void TimeStretch::pullDirect(int frames) noexcept
{
    int done = 0;
    while (done < frames) {
        const int n = int(std::min<std::int64_t>(frames - done, m_loopIn - m_directPos));
        std::array<float*, kMaxChannels> at {};
        for (int c = 0; c < m_channels; ++c)
            at[size_t(c)] = m_directPtr[size_t(c)] + done;
        m_source->readFrames(m_directPos, n, at.data());
        m_directPos = (m_directPos + n) % m_loopIn;
        done += n;
    }
}

void TimeStretch::advance(int frames) noexcept
{
    m_position += frames;
    m_phase = (m_phase + frames) % m_loopOut;
}

void TimeStretch::apply(TempoKey setting) noexcept
{
    if (setting == m_setting)
        return;
    const std::int64_t newLoop
        = setting.original() ? m_loopIn : scaledLoopFrames(m_loopIn, setting.tempoPercent);
    // The content at the phase stays where it is; only the time to the next wrap scales.
    const std::int64_t newPhase = std::min(newLoop - 1, m_phase * newLoop / m_loopOut);
    m_setting = setting;
    if (!setting.original()) {
        m_loopOut = newLoop;
        if (m_stretching) {
            m_stretcher->setTimeRatio(double(m_loopOut) / double(m_loopIn));
            m_stretcher->setPitchScale(pitchScale(setting.semitones));
            if (m_fadeLeft > 0 && !m_fadeIn) { // was fading out to the untouched copy: turn
                m_fadeIn = true;
                m_fadeLeft = m_fadeFrames - m_fadeLeft;
            }
        } else {
            startStretcher(m_directPos, false);
            m_stretching = true;
            m_fadeIn = true;
            m_fadeLeft = m_fadeFrames;
        }
    } else if (m_stretching) {
        if (m_fadeLeft > 0 && m_fadeIn) { // was fading in from the untouched copy: turn
            m_fadeIn = false;
            m_fadeLeft = m_fadeFrames - m_fadeLeft;
        } else {
            // The untouched copy takes over at the content position of the phase, while the
            // stretcher, still at its last ratio, fades out.
            m_directPos = newPhase;
            m_fadeIn = false;
            m_fadeLeft = m_fadeFrames;
        }
        m_loopOut = newLoop;
    }
    m_phase = newPhase;
}

void TimeStretch::pull(float* out, int frames) noexcept
{
    if (!m_source) {
        std::fill(out, out + size_t(frames) * size_t(m_channels), 0.0f);
        return;
    }
    int done = 0;
    while (done < frames) {
        if (m_pending && m_pendingAt <= m_position) {
            m_pending = false;
            apply(m_pendingSetting);
        }
        int n = std::min(frames - done, m_scratchFrames);
        if (m_pending)
            n = int(std::min<std::int64_t>(n, m_pendingAt - m_position));
        if (m_fadeLeft > 0)
            n = std::min(n, m_fadeLeft);
        float* o = out + size_t(done) * size_t(m_channels);
        const auto ch = size_t(m_channels);
        if (m_fadeLeft > 0) {
            pullStretched(n);
            pullDirect(n);
            const int elapsed = m_fadeFrames - m_fadeLeft;
            for (int i = 0; i < n; ++i) {
                const float t = float(elapsed + i + 1) / float(m_fadeFrames);
                const float g = m_fadeIn ? t : 1.0f - t;
                for (size_t c = 0; c < ch; ++c)
                    o[size_t(i) * ch + c] = g * m_outPtr[c][i] + (1.0f - g) * m_directPtr[c][i];
            }
            m_fadeLeft -= n;
            if (m_fadeLeft == 0 && !m_fadeIn)
                m_stretching = false;
        } else if (m_stretching) {
            pullStretched(n);
            for (int i = 0; i < n; ++i)
                for (size_t c = 0; c < ch; ++c)
                    o[size_t(i) * ch + c] = m_outPtr[c][i];
        } else {
            pullDirect(n);
            for (int i = 0; i < n; ++i)
                for (size_t c = 0; c < ch; ++c)
                    o[size_t(i) * ch + c] = m_directPtr[c][i];
        }
        advance(n);
        done += n;
    }
}

} // namespace DX7Sound
