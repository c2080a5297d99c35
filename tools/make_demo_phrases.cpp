// SPDX-License-Identifier: GPL-3.0-or-later
// Synthesises the demo phrase set into a directory: Demo_1.wav (drums), Demo_2.wav (bass),
// Demo_3.wav (chords), all two bars of 4/4 at 112 BPM, and Metronome.wav, a phrase without a
// set suffix. 44.1 kHz, 16-bit, stereo.
//
// Every note is mixed into its phrase modulo the phrase length, so a tail that rings past the
// end of the second bar continues at the start of the first: played as a loop, each phrase
// wraps without a gap or a click, and the three share one length so they stay in step.
//
// Usage: make_demo_phrases <directory>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kBpm = 112.0;
constexpr int kBeats = 8; // two bars of 4/4
const int kBeatFrames = static_cast<int>(std::lround(kRate * 60.0 / kBpm));
const int kLength = kBeatFrames * kBeats;

struct Stereo
{
    std::vector<float> left, right;
    Stereo()
        : left(kLength, 0.0f)
        , right(kLength, 0.0f)
    { }
    // Adds a mono sample at `frame` (wrapping around the loop) with a constant-power pan
    // (-1 left .. +1 right).
    void add(long frame, double value, double pan)
    {
        const double angle = (pan + 1.0) * std::numbers::pi / 4.0;
        const auto i = static_cast<size_t>(((frame % kLength) + kLength) % kLength);
        left[i] += static_cast<float>(value * std::cos(angle));
        right[i] += static_cast<float>(value * std::sin(angle));
    }
};

// Small deterministic noise source, so the files are identical on every build.
class Noise
{
public:
    double next()
    {
        m_state = m_state * 1664525u + 1013904223u;
        return static_cast<double>(m_state >> 8) / static_cast<double>(1u << 23) - 1.0;
    }

private:
    std::uint32_t m_state = 0x2545F491u;
};

double midiToHz(int note)
{
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

long beatFrame(double beat)
{
    return std::lround(beat * kBeatFrames);
}

// A short fade-in removes the step at a note's onset; the decay shapes the rest.
double attack(long n, double frames = 64.0)
{
    return std::min(1.0, static_cast<double>(n) / frames);
}

void kick(Stereo& s, double beat)
{
    const long start = beatFrame(beat);
    double phase = 0.0;
    for (long n = 0; n < kRate / 2; ++n) {
        const double t = static_cast<double>(n) / kRate;
        const double freq = 48.0 + 110.0 * std::exp(-t * 30.0);
        phase += 2.0 * std::numbers::pi * freq / kRate;
        const double env = std::exp(-t * 7.0) * attack(n, 24.0);
        s.add(start + n, 0.85 * env * std::sin(phase), 0.0);
    }
}

void snare(Stereo& s, Noise& noise, double beat)
{
    const long start = beatFrame(beat);
    for (long n = 0; n < kRate / 4; ++n) {
        const double t = static_cast<double>(n) / kRate;
        const double body = std::sin(2.0 * std::numbers::pi * 185.0 * t) * std::exp(-t * 25.0);
        const double hiss = noise.next() * std::exp(-t * 18.0);
        s.add(start + n, 0.4 * (0.6 * body + 0.55 * hiss) * attack(n, 16.0), 0.05);
    }
}

void hat(Stereo& s, Noise& noise, double beat, double level)
{
    const long start = beatFrame(beat);
    double previous = 0.0;
    for (long n = 0; n < kRate / 16; ++n) {
        const double t = static_cast<double>(n) / kRate;
        const double white = noise.next();
        const double high = white - previous; // a crude high-pass keeps only the sizzle
        previous = white;
        s.add(start + n, level * high * std::exp(-t * 70.0) * attack(n, 8.0), 0.35);
    }
}

void bassNote(Stereo& s, int note, double beat, double beats)
{
    const long start = beatFrame(beat);
    const long length = beatFrame(beats);
    const double freq = midiToHz(note);
    for (long n = 0; n < length + kRate / 20; ++n) {
        const double t = static_cast<double>(n) / kRate;
        const double release = n < length ? 1.0 : std::exp(-(n - length) / (kRate * 0.01));
        const double env = attack(n, 96.0) * std::exp(-t * 2.5) * release;
        const double x = 2.0 * std::numbers::pi * freq * t;
        const double tone = std::sin(x) + 0.35 * std::sin(2.0 * x) + 0.12 * std::sin(3.0 * x);
        s.add(start + n, 0.42 * env * tone, -0.05);
    }
}

void chord(Stereo& s, const std::vector<int>& notes, double beat, double beats)
{
    const long start = beatFrame(beat);
    const long length = beatFrame(beats);
    for (size_t v = 0; v < notes.size(); ++v) {
        const double freq = midiToHz(notes[v]);
        const double pan = -0.45 + 0.9 * static_cast<double>(v) / (notes.size() - 1);
        for (long n = 0; n < length + kRate / 5; ++n) {
            const double t = static_cast<double>(n) / kRate;
            const double release = n < length ? 1.0 : std::exp(-(n - length) / (kRate * 0.06));
            const double env
                = std::min(1.0, t / 0.02) * (0.55 + 0.45 * std::exp(-t * 3.0)) * release;
            const double x = 2.0 * std::numbers::pi * freq * t;
            const double vibrato = 1.0 + 0.002 * std::sin(2.0 * std::numbers::pi * 5.0 * t);
            const double tone
                = std::sin(x * vibrato) + 0.3 * std::sin(2.0 * x) + 0.1 * std::sin(4.0 * x);
            s.add(start + n, 0.09 * env * tone, pan);
        }
    }
}

void click(Stereo& s, double beat, bool accent)
{
    const long start = beatFrame(beat);
    const double freq = accent ? 1760.0 : 1320.0;
    for (long n = 0; n < kRate / 25; ++n) {
        const double t = static_cast<double>(n) / kRate;
        const double env = attack(n, 16.0) * std::exp(-t * 120.0);
        s.add(start + n, (accent ? 0.6 : 0.4) * env * std::sin(2.0 * std::numbers::pi * freq * t),
            0.0);
    }
}

bool write(const std::string& path, const Stereo& s)
{
    SF_INFO info {};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        std::fprintf(
            stderr, "make_demo_phrases: cannot write %s: %s\n", path.c_str(), sf_strerror(nullptr));
        return false;
    }
    std::vector<float> frames(static_cast<size_t>(kLength) * 2);
    for (int i = 0; i < kLength; ++i) {
        frames[2 * i] = std::clamp(s.left[i], -1.0f, 1.0f);
        frames[2 * i + 1] = std::clamp(s.right[i], -1.0f, 1.0f);
    }
    const sf_count_t written = sf_writef_float(file, frames.data(), kLength);
    sf_close(file);
    return written == kLength;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo_phrases <directory>\n");
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    Noise noise;

    Stereo drums;
    for (int bar = 0; bar < 2; ++bar) {
        const double b = bar * 4.0;
        kick(drums, b + 0.0);
        kick(drums, b + 1.5);
        kick(drums, b + 2.0);
        if (bar == 1)
            kick(drums, b + 3.5);
        snare(drums, noise, b + 1.0);
        snare(drums, noise, b + 3.0);
        for (int e = 0; e < 8; ++e)
            hat(drums, noise, b + e * 0.5, e % 2 ? 0.12 : 0.2);
    }

    // A minor groove: A, F, C, G, one bar for each pair.
    Stereo bass;
    const int roots[] = { 33, 33, 29, 29, 24, 24, 31, 31 };
    for (int beat = 0; beat < kBeats; ++beat) {
        bassNote(bass, roots[beat] + 12, beat, 0.45);
        bassNote(bass, roots[beat] + (beat % 2 ? 19 : 12), beat + 0.5, 0.4);
    }

    Stereo chords;
    chord(chords, { 57, 60, 64, 69 }, 0.0, 1.8); // Am
    chord(chords, { 57, 60, 65, 69 }, 2.0, 1.8); // F
    chord(chords, { 55, 60, 64, 67 }, 4.0, 1.8); // C
    chord(chords, { 55, 59, 62, 67 }, 6.0, 1.8); // G

    Stereo metronome;
    for (int beat = 0; beat < kBeats; ++beat)
        click(metronome, beat, beat % 4 == 0);

    const bool ok = write(dir + "Demo_1.wav", drums) && write(dir + "Demo_2.wav", bass)
        && write(dir + "Demo_3.wav", chords) && write(dir + "Metronome.wav", metronome);
    return ok ? 0 : 1;
}
