// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/DX7Sound.h"
#include "sound/PulseDevice.h"
#include "sound/RtAudioDevice.h"

namespace DX7Sound {

namespace {

// The desktop's output: the PulseAudio server when there is one, else ALSA or JACK through
// RtAudio. A server that is there but does not answer is not bypassed: ALSA's default device
// usually leads to that same server, and its plugin would wait on it without a deadline; the
// PulseAudio stream then comes up as soon as the server answers. Once a server was used, a
// missing one is being restarted: the card behind it stays its own, and ALSA is not tried.
class SystemDevice : public AudioDevice
{
public:
    explicit SystemDevice(std::shared_ptr<bool> serverUsed)
        : m_serverUsed(std::move(serverUsed))
    { }

    bool open(int preferredRate) override
    {
        auto pulse = std::make_unique<PulseDevice>();
        if (pulse->open(preferredRate)) {
            *m_serverUsed = true;
            m_device = std::move(pulse);
            return true;
        }
        if (pulse->lastOpen() != PulseDevice::OpenResult::NoServer || *m_serverUsed)
            return false;
        pulse.reset();
        auto other = std::make_unique<RtAudioDevice>();
        if (!other->open(preferredRate))
            return false;
        m_device = std::move(other);
        return true;
    }
    int sampleRate() const override { return m_device ? m_device->sampleRate() : 0; }
    bool start(RenderSource* source, std::function<void()> lost) override
    {
        return m_device && m_device->start(source, std::move(lost));
    }
    void wake() override
    {
        if (m_device)
            m_device->wake();
    }

private:
    std::shared_ptr<bool> m_serverUsed; // shared by the devices of one factory; GUI thread
    std::unique_ptr<AudioDevice> m_device;
};

} // namespace

DeviceFactory SystemDeviceFactory()
{
    auto serverUsed = std::make_shared<bool>(false);
    return [serverUsed] { return std::unique_ptr<AudioDevice>(new SystemDevice(serverUsed)); };
}

} // namespace DX7Sound
