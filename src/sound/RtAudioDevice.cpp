// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/RtAudioDevice.h"
#include "sound/DX7Sound.h"

#include <algorithm>
#include <cstring>
#include <dlfcn.h>
#include <rtaudio/RtAudio.h>
#include <vector>

namespace DX7Sound {

namespace {

// The device whose render callback last ran on this thread. RtAudio's error callback carries no
// user pointer; errors raised on an audio thread belong to the stream that thread serves.
thread_local RtAudioDevice* t_streamOfThisThread = nullptr;

// ALSA prints configuration errors (no card, no server for its pulse plugin) straight to stderr.
// libasound is already loaded through RtAudio; its handler is set through dlsym so that the
// program does not link ALSA itself.
void quietAlsa(const char*, int, const char*, int, const char*, ...) { }

void silenceAlsa()
{
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    using Setter = int (*)(Handler);
    if (auto set = reinterpret_cast<Setter>(dlsym(RTLD_DEFAULT, "snd_lib_error_set_handler")))
        set(&quietAlsa);
}

} // namespace

// Reaches the device's private state from RtAudio's plain-function error callback.
struct RtAudioDeviceAccess
{
    static void errorCallback(RtAudioError::Type, const std::string& text)
    {
        // Errors on the GUI thread (opening, closing) are handled where the call returns. On the
        // audio thread an underrun is only a hiccup (ALSA reports each one and recovers); any
        // other error means the output failed: a write to a vanished server or device.
        if (text.find("underrun") != std::string::npos)
            return;
        if (RtAudioDevice* d = t_streamOfThisThread)
            d->markLost();
    }
};

RtAudioDevice::RtAudioDevice()
{
    silenceAlsa();
}

RtAudioDevice::~RtAudioDevice()
{
    if (m_audio) {
        try {
            // A healthy stream plays out its few buffered periods (a final fade) before it
            // closes; closing alone would drop them.
            if (m_audio->isStreamRunning() && !m_lostSignal.load())
                m_audio->stopStream();
            if (m_audio->isStreamOpen())
                m_audio->closeStream();
        } catch (const RtAudioError&) { }
    }
}

bool RtAudioDevice::open(int preferredRate)
{
    // PulseAudio has its own device; this one serves machines without a sound server.
    std::vector<RtAudio::Api> apis;
    RtAudio::getCompiledApi(apis);
    for (RtAudio::Api api : { RtAudio::LINUX_ALSA, RtAudio::UNIX_JACK })
        if (std::find(apis.begin(), apis.end(), api) != apis.end() && openApi(api, preferredRate))
            return true;
    return false;
}

bool RtAudioDevice::openApi(int api, int preferredRate)
{
    m_audio.reset();
    try {
        auto audio = std::make_unique<RtAudio>(RtAudio::Api(api));
        audio->showWarnings(false);
        const unsigned count = audio->getDeviceCount();
        if (count == 0)
            return false;
        unsigned device = audio->getDefaultOutputDevice();
        RtAudio::DeviceInfo info;
        if (device < count)
            info = audio->getDeviceInfo(device);
        if (info.outputChannels < 2) {
            // No usable default: the first device with a stereo output.
            device = count;
            for (unsigned i = 0; i < count; ++i) {
                info = audio->getDeviceInfo(i);
                if (info.probed && info.outputChannels >= 2) {
                    device = i;
                    break;
                }
            }
            if (device == count)
                return false;
        }
        unsigned rate = preferredRate > 0 ? unsigned(preferredRate) : info.preferredSampleRate;
        if (rate == 0)
            rate = 48000;

        RtAudio::StreamParameters out;
        out.deviceId = device;
        out.nChannels = 2;
        out.firstChannel = 0;
        RtAudio::StreamOptions options;
        // A few periods of server buffer: without it PulseAudio buffers about 200 ms, and a
        // start would be heard that late.
        options.numberOfBuffers = serverPeriods;
        options.streamName = "Vorn's Sorvanto";
        unsigned frames = periodFrames;
        audio->openStream(&out, nullptr, RTAUDIO_FLOAT32, rate, &frames, &audioCallback, this,
            &options, &RtAudioDeviceAccess::errorCallback);
        if (!audio->isStreamOpen())
            return false;
        m_rate = int(audio->getStreamSampleRate());
        m_audio = std::move(audio);
        return m_rate > 0;
    } catch (const RtAudioError&) {
        return false;
    }
}

bool RtAudioDevice::start(RenderSource* source, std::function<void()> lost)
{
    if (!m_audio || !m_audio->isStreamOpen())
        return false;
    m_source = source;
    m_lost = std::move(lost);
    try {
        m_audio->startStream();
    } catch (const RtAudioError&) {
        return false;
    }
    return m_audio->isStreamRunning();
}

int RtAudioDevice::audioCallback(
    void* out, void*, unsigned frames, double, unsigned, void* self) SORVANTO_NONBLOCKING
{
    auto* d = static_cast<RtAudioDevice*>(self);
    t_streamOfThisThread = d;
    float* o = static_cast<float*>(out);
    if (d->m_lostSignal.load(std::memory_order_acquire)) {
        // RtAudio 5.2's threads keep calling back and failing their writes at full speed once
        // the output is gone; aborting makes them wait inside RtAudio until the stream closes.
        std::memset(o, 0, sizeof(float) * 2 * frames);
        return 2;
    }
    d->m_source->render(o, int(frames));
    return 0;
}

void RtAudioDevice::markLost()
{
    if (!m_lostSignal.exchange(true, std::memory_order_acq_rel) && m_lost)
        m_lost();
}

} // namespace DX7Sound

#if defined(__SANITIZE_ADDRESS__)
// Builds with LeakSanitizer: RtAudio 5.2 never releases the PulseAudio operations of its device
// enumeration (run by every stream open), nor its stream handle when an open fails. Neither is
// ours to free; without this every program run that touches the server would report them.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libpulse.so\n"
           "leak:RtApiPulse::probeDeviceOpen\n"
           "leak:RtApiPulse::collectDeviceInfo\n";
}
// ...and keep the list of suppressions used out of the program's stderr at exit.
extern "C" const char* __lsan_default_options()
{
    return "print_suppressions=0";
}
#endif
