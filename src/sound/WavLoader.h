#pragma once

#include <QString>
#include <memory>
#include <vector>

namespace DX7Sound {

// One whole sound, decoded to interleaved stereo float frames at the device rate. Created and
// freed on the GUI thread; read by the audio thread while a voice holds it.
struct SoundBuffer
{
    std::vector<float> samples; // frames * 2 floats, L R L R ...
    qint64 frames = 0;
    QString file;
};

// Reads a whole WAV file (RIFF WAVE, WAVE_FORMAT_EXTENSIBLE, RF64; any sample format libsndfile
// decodes), makes mono files stereo and converts other rates to `deviceRate` with libsoxr (high
// quality). Null for anything else: missing or unreadable, not a WAV container, no frames,
// truncated data, absurd header values, more than two channels. Any thread; used on the GUI thread.
std::unique_ptr<SoundBuffer> loadWav(const QString& file, int deviceRate);

} // namespace DX7Sound
