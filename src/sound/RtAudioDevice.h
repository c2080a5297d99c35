// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sound/AudioDevice.h"
#include "sound/Realtime.h"

#include <atomic>
#include <memory>

class RtAudio;

namespace DX7Sound {

// The system's default output through RtAudio, for machines without a sound server: ALSA's
// default device, then a JACK server. Stereo float32, 256-frame periods and a server buffer of a
// few periods, so a start is heard within a few tens of milliseconds. Keeps RtAudio's and ALSA's
// console messages out of the terminal.
//
// A lost server (write errors on the audio thread) is reported once through the `lost`
// callback; the render callback then asks RtAudio to abort the stream, so that its thread waits
// inside RtAudio instead of spinning on failed writes until the GUI thread destroys the device.
// GUI thread for everything but the callbacks.
class RtAudioDevice : public AudioDevice
{
public:
    RtAudioDevice();
    ~RtAudioDevice() override;

    bool open(int preferredRate) override;
    int sampleRate() const override { return m_rate; }
    bool start(RenderSource* source, std::function<void()> lost) override;

    static constexpr unsigned periodFrames = 256;
    static constexpr unsigned serverPeriods = 3;

private:
    static int audioCallback(void* out, void* in, unsigned frames, double time, unsigned status,
        void* self) SORVANTO_NONBLOCKING;
    bool openApi(int api, int preferredRate);
    void markLost();
    friend struct RtAudioDeviceAccess;

    std::unique_ptr<RtAudio> m_audio;
    int m_rate = 0;
    RenderSource* m_source = nullptr;
    std::function<void()> m_lost;
    std::atomic<bool> m_lostSignal { false };
};

} // namespace DX7Sound
