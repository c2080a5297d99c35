// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sound/Realtime.h"

#include <atomic>
#include <functional>
#include <memory>

namespace DX7Sound {

// What a device pulls its sound from: the mixer. render() is called on the device's own thread
// (the audio thread) and must be real-time safe: no locks, allocation, freeing or I/O.
class RenderSource
{
public:
    virtual ~RenderSource() = default;
    // Fills `frames` stereo frames (interleaved L, R) at the device's rate.
    virtual void render(float* interleaved, int frames) noexcept SORVANTO_NONBLOCKING = 0;
    // Whether anything may sound in the next render() unless new commands arrive; false lets a
    // device rest. Called on the audio thread right after render(). Default: always.
    virtual bool sounding() const noexcept SORVANTO_NONBLOCKING { return true; }
};

// A stereo float output. Created by a DeviceFactory, opened and started by the engine on the GUI
// thread, then pulled by its own thread until it is destroyed. Destroying a device stops its
// thread; after the destructor returns, render() is never called again.
class AudioDevice
{
public:
    virtual ~AudioDevice() = default;

    // Opens the output at `preferredRate` frames per second (0: the device's own rate).
    // False when there is no output. GUI thread.
    virtual bool open(int preferredRate) = 0;
    // The rate the open output runs at. GUI thread, after a successful open().
    virtual int sampleRate() const = 0;
    // Starts pulling frames from `source`, which must outlive the device. `lost` is called at
    // most once, from any thread, when the output goes away while running (sound server gone);
    // the engine then destroys the device on the GUI thread. False when the start fails.
    virtual bool start(RenderSource* source, std::function<void()> lost) = 0;
    // Tells a started device that new commands wait in its source: a device resting in silence
    // resumes pulling. Bounded: never waits on a sound server. GUI thread.
    virtual void wake() { }
};

// An output without hardware: tests pull frames from it by hand with render(), at a fixed rate.
// render() may be called from any one thread at a time; it plays the role of the audio thread.
class OfflineDevice : public AudioDevice
{
public:
    explicit OfflineDevice(int rate = 44100);

    bool open(int preferredRate) override;
    int sampleRate() const override { return m_rate; }
    bool start(RenderSource* source, std::function<void()> lost) override;

    // Renders `frames` frames into `interleaved` (2 * frames floats); silence before start().
    void render(float* interleaved, int frames);
    // Makes the device behave as a lost output: render() gives silence from now on and the
    // engine is told, as a real device does when its server goes away.
    void simulateLoss();
    // Whether the engine started this device.
    bool started() const { return m_source.load() != nullptr; }

private:
    int m_rate;
    std::atomic<RenderSource*> m_source { nullptr };
    std::atomic<bool> m_lost { false };
    std::function<void()> m_lostCallback;
};

} // namespace DX7Sound
