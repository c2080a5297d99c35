// Placeholder so that the program links while the engine is being built.
#include "sound/DX7Sound.h"
#include "sound/AudioDevice.h"

namespace DX7Sound {

struct Engine::Impl {
    DeviceFactory factory;
};

DeviceFactory SystemDeviceFactory() { return [] { return std::unique_ptr<AudioDevice>(); }; }

Engine::Engine(DeviceFactory factory)
    : d(std::make_unique<Impl>())
{
    d->factory = std::move(factory);
}
Engine::~Engine() = default;
bool Engine::InitDirectSound() { return false; }
void Engine::InitChannels(qint16, const QString&) { }
void Engine::LoadBuffer(qint16, const QString&) { }
void Engine::LoadFile(qint16, const QString&, quint8, quint8) { }
bool Engine::PlayFile(qint16, const QString&, quint8, quint8, quint8) { return false; }
bool Engine::PlayChannel(qint16, quint8) { return false; }
bool Engine::StopChannel(qint16) { return false; }
void Engine::SetChannelVolume(qint16, quint8) { }
void Engine::SetChannelPan(qint16, quint8) { }
ChannelStatus Engine::status(qint16) const { return {}; }

} // namespace DX7Sound
