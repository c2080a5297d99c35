// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The whole program as Main sets it up, on a temporary program directory and sound directory,
// with an engine over the offline device (frames pulled by the test) or the system's sound
// output (the test run's PulseAudio null sink). Input is simulated on the real widgets.

#include "support/SoundTestKit.h"

#include "player/Form1Parts.h"
#include "player/ProgramParts.h"

#include "app/Commands.h"
#include "sound/AudioDevice.h"
#include "sound/DX7Sound.h"

#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

class Form1;
class PhraseList;
class StripButton;
class animKnob;

namespace PlayerTest {

// The offline device's rate; test phrases are written at it so that no conversion happens.
constexpr int kRate = 48000;

// A phrase whose first frame holds `marker` on both sides, followed by silence up to
// `quietFrames`, then a cosine of `frequency` Hz with peak `amplitude` up to `seconds`. The
// single marker frame makes a voice's start frame visible in a mix: voices that start together
// put all their markers on one frame.
SoundTestKit::Signal markedPhrase(double frequency, double seconds, float marker = 0.5f,
    qint64 quietFrames = 4800, double amplitude = 0.2);

// A cosine of `frequency` Hz on the left (side 0), the right (side 1) or both (side -1) sides.
SoundTestKit::Signal tone(double frequency, double seconds, int side, double amplitude = 0.5);

// Level in dB full scale (20 log10 of the RMS) of the `frequency` component of one side over
// frames [from, to), measured by correlation with a sine and cosine at that frequency.
double toneDb(const SoundTestKit::Signal& s, int side, double frequency, qint64 from, qint64 to);
// toneDb measured over blocks of `block` frames across [from, to) and the median of those taken:
// a dropout in a recording (a gap or a jump of phase) spoils only the few blocks it falls in, so
// a steady tone reads at its true level as long as most blocks are whole. Blocks should hold a
// whole number of periods of the tone.
double steadyToneDb(const SoundTestKit::Signal& s, int side, double frequency, qint64 from,
    qint64 to, qint64 block = 2400);

// Frames of one side in [from, to) whose magnitude exceeds `threshold`.
QList<qint64> nonSilentFrames(
    const SoundTestKit::Signal& s, int side, qint64 from, qint64 to, float threshold = 1e-6f);

class PlayerFixture : public ::testing::Test
{
protected:
    PlayerFixture();
    ~PlayerFixture() override;

    // The program settings stored in the program directory before start().
    qint16 phraseSync = 1;
    qint16 autoPlay = 1;
    qint16 showEnding = 0;
    qint16 lineUpByName = 1;
    qint16 playInStep = 0;

    // Writes `signal` as `name` into the sound directory (16-bit PCM unless `format`).
    void addPhrase(const QString& name, const SoundTestKit::Signal& signal, int format = 0);
    // Writes a short silent-free phrase for each name (a distinct tone per file).
    void addPhrases(const QStringList& names);
    // Writes <stem>_1.wav .. <stem>_3.wav, marked phrases of `seconds` with the given tones.
    void addSet(const QString& stem, double f1, double f2, double f3, double seconds = 0.5,
        qint64 quietFrames = 4800);
    // Writes a text file (a set settings file) into the sound directory.
    void addTextFile(const QString& name, const QByteArray& text);
    QString soundPath(const QString& name) const { return m_soundDir + name; }

    // Starts the program as Main does, with the offline device or the system's output.
    void start(bool systemOutput = false);

    Form1& form() { return *m_form; }
    // The running program's parts.
    AppModul::Program& program() { return m_form.program(); }
    // The window's controls, found by their object names once start() made it.
    Form1Parts& ui() { return *m_ui; }
    // The three Playing flags of the player model.
    std::array<bool, 3> playingFlags() const;
    DX7Sound::Engine& engine() { return *m_engine; }
    Commands::ProgramValues& values() { return m_values; }
    DX7Sound::OfflineDevice* device() { return m_device; }

    // Simulated input.
    void pressRow(int list, int row, Qt::MouseButton button = Qt::LeftButton);
    void pressRow(int list, const QString& entry, Qt::MouseButton button = Qt::LeftButton);
    void press(StripButton* button, Qt::MouseButton which = Qt::LeftButton);
    // Drags the knob by `steps` mouse moves of one pixel, upwards when positive.
    void drag(animKnob* knob, int steps);
    void doubleClick(animKnob* knob);
    // Runs pending events and hands the engine's commands to the audio thread.
    void settle();

    // The texts of a list and its selected row (-1 when none).
    QStringList entries(int list) const;
    int selectedRow(int list) const;

    // Renders `frames` frames from the offline device, once every channel's file is decoded.
    SoundTestKit::Signal render(qint64 frames);

    // While it runs, every pass of the event loop (nested ones inside the handlers too)
    // renders `framesPerPass` frames into pumped(), as an audio thread running beside the GUI.
    void startPump(int framesPerPass = 64);
    void stopPump();
    const SoundTestKit::Signal& pumped() const { return m_pumped; }

    // Answers the next modal boxes: each one found is recorded and answered OK, or Yes.
    struct SeenBox
    {
        QString title;
        QString text;
        int icon = 0;
    };
    void answerModalBoxes();
    const QList<SeenBox>& seenBoxes() const { return m_seen; }

    QTemporaryDir m_root;

private:
    QString m_programDir;
    QString m_soundDir;
    QString m_tempDir;
    Commands::ProgramValues m_values;
    DX7Sound::OfflineDevice* m_device = nullptr;
    std::unique_ptr<DX7Sound::Engine> m_engine;
    StartedProgram m_form;
    std::unique_ptr<Form1Parts> m_ui;
    QMetaObject::Connection m_pump;
    int m_pumpFrames = 64;
    SoundTestKit::Signal m_pumped;
    QTimer m_boxTimer;
    QList<SeenBox> m_seen;
};

} // namespace PlayerTest
