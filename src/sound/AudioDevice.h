#pragma once

namespace DX7Sound {

// An output the mixer renders into. (Placeholder; the engine's device layer extends it.)
class AudioDevice {
public:
    virtual ~AudioDevice() = default;
};

} // namespace DX7Sound
