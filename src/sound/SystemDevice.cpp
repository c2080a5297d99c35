#include "sound/DX7Sound.h"
#include "sound/PulseDevice.h"
#include "sound/RtAudioDevice.h"

namespace DX7Sound {

namespace {

// The desktop's output: the PulseAudio server when there is one, else ALSA or JACK through
// RtAudio. A server that is there but does not answer is not bypassed: ALSA's default device
// usually leads to that same server, and its plugin would wait on it without a deadline; the
// PulseAudio stream then comes up as soon as the server answers.
class SystemDevice : public AudioDevice
{
public:
    bool open(int preferredRate) override
    {
        auto pulse = std::make_unique<PulseDevice>();
        if (pulse->open(preferredRate)) {
            m_device = std::move(pulse);
            return true;
        }
        if (pulse->lastOpen() != PulseDevice::OpenResult::NoServer)
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
    std::unique_ptr<AudioDevice> m_device;
};

} // namespace

DeviceFactory SystemDeviceFactory()
{
    return [] { return std::unique_ptr<AudioDevice>(new SystemDevice); };
}

} // namespace DX7Sound
