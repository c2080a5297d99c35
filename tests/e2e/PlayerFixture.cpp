// SPDX-License-Identifier: GPL-3.0-or-later
#include "e2e/PlayerFixture.h"

#include "controls/StripButton.h"
#include "controls/animKnob.h"
#include "player/AppModul.h"
#include "player/Form1.h"
#include "player/PhraseList.h"
#include "player/PlayerModel.h"

#include <QAbstractButton>
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <sndfile.h>
#include <thread>

namespace PlayerTest {

SoundTestKit::Signal markedPhrase(
    double frequency, double seconds, float marker, qint64 quietFrames, double amplitude)
{
    SoundTestKit::Signal s;
    s.rate = kRate;
    s.channels = 2;
    const qint64 frames = qint64(std::llround(seconds * kRate));
    s.samples.assign(size_t(frames * 2), 0.0f);
    for (qint64 i = 0; i < frames; ++i) {
        float v = 0.0f;
        if (i == 0)
            v = marker;
        else if (i >= quietFrames)
            v = float(
                amplitude * std::cos(2.0 * M_PI * frequency * double(i - quietFrames) / kRate));
        s.samples[size_t(2 * i)] = v;
        s.samples[size_t(2 * i + 1)] = v;
    }
    return s;
}

SoundTestKit::Signal tone(double frequency, double seconds, int side, double amplitude)
{
    SoundTestKit::Signal s;
    s.rate = kRate;
    s.channels = 2;
    const qint64 frames = qint64(std::llround(seconds * kRate));
    s.samples.assign(size_t(frames * 2), 0.0f);
    for (qint64 i = 0; i < frames; ++i) {
        const float v = float(amplitude * std::cos(2.0 * M_PI * frequency * double(i) / kRate));
        if (side != 1)
            s.samples[size_t(2 * i)] = v;
        if (side != 0)
            s.samples[size_t(2 * i + 1)] = v;
    }
    return s;
}

double toneDb(const SoundTestKit::Signal& s, int side, double frequency, qint64 from, qint64 to)
{
    to = std::min(to, s.frames());
    if (from >= to)
        return -1000.0;
    double re = 0, im = 0;
    for (qint64 i = from; i < to; ++i) {
        const double phase = 2.0 * M_PI * frequency * double(i) / s.rate;
        re += s.at(i, side) * std::cos(phase);
        im += s.at(i, side) * std::sin(phase);
    }
    const double n = double(to - from);
    // A sine of peak A correlates to A/2 in magnitude; its RMS is A/sqrt(2).
    const double peakAmplitude = 2.0 * std::hypot(re, im) / n;
    const double rms = peakAmplitude / std::sqrt(2.0);
    return rms > 0 ? 20.0 * std::log10(rms) : -1000.0;
}

double steadyToneDb(
    const SoundTestKit::Signal& s, int side, double frequency, qint64 from, qint64 to, qint64 block)
{
    to = std::min(to, s.frames());
    std::vector<double> levels;
    for (qint64 at = from; at + block <= to; at += block)
        levels.push_back(toneDb(s, side, frequency, at, at + block));
    if (levels.empty())
        return -1000.0;
    std::sort(levels.begin(), levels.end());
    const size_t m = levels.size();
    return m % 2 ? levels[m / 2] : (levels[m / 2 - 1] + levels[m / 2]) / 2;
}

QList<qint64> nonSilentFrames(
    const SoundTestKit::Signal& s, int side, qint64 from, qint64 to, float threshold)
{
    QList<qint64> frames;
    to = std::min(to, s.frames());
    for (qint64 i = std::max<qint64>(0, from); i < to; ++i)
        if (std::fabs(s.at(i, side)) > threshold)
            frames << i;
    return frames;
}

PlayerFixture::PlayerFixture()
{
    const QString root = m_root.path() + QLatin1Char('/');
    m_programDir = root + QStringLiteral("program/");
    m_soundDir = root + QStringLiteral("sounds/");
    m_tempDir = root + QStringLiteral("runtime/");
    QDir().mkpath(m_programDir);
    QDir().mkpath(m_soundDir);
    QDir().mkpath(m_tempDir);
    QFile::setPermissions(m_tempDir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    m_boxTimer.setInterval(10);
    QObject::connect(&m_boxTimer, &QTimer::timeout, [this] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        m_seen << SeenBox { box->windowTitle(), box->text(), int(box->icon()) };
        if (QAbstractButton* ok = box->button(QMessageBox::Ok))
            ok->click();
        else if (QAbstractButton* yes = box->button(QMessageBox::Yes))
            yes->click();
        else
            box->accept();
    });
}

PlayerFixture::~PlayerFixture()
{
    stopPump();
    m_boxTimer.stop();
    m_ui.reset();
    m_form.reset();
    m_engine.reset();
}

void PlayerFixture::addPhrase(const QString& name, const SoundTestKit::Signal& signal, int format)
{
    ASSERT_TRUE(SoundTestKit::writeWav(m_soundDir + name, signal, format)) << name.toStdString();
}

void PlayerFixture::addPhrases(const QStringList& names)
{
    double frequency = 300.0;
    for (const QString& name : names) {
        addPhrase(name, markedPhrase(frequency, 0.5));
        frequency += 50.0;
    }
}

void PlayerFixture::addSet(
    const QString& stem, double f1, double f2, double f3, double seconds, qint64 quietFrames)
{
    const double frequencies[3] = { f1, f2, f3 };
    for (int n = 0; n < 3; ++n)
        addPhrase(QStringLiteral("%1_%2.wav").arg(stem).arg(n + 1),
            markedPhrase(frequencies[n], seconds, 0.5f, quietFrames));
}

void PlayerFixture::addTextFile(const QString& name, const QByteArray& text)
{
    QFile f(m_soundDir + name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

void PlayerFixture::start(bool systemOutput)
{
    QFile ini(m_programDir + QStringLiteral("sorvanto.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write(QStringLiteral("[Vorn's Sorvanto]\nWAVpath=%1\nShowEnding=%2\nAutoPlay=%3\n"
                             "PhraseSync=%4\nLineUpByName=%5\nPlayInStep=%6\n")
                  .arg(m_soundDir)
                  .arg(showEnding)
                  .arg(autoPlay)
                  .arg(phraseSync)
                  .arg(lineUpByName)
                  .arg(playInStep)
                  .toUtf8());
    ini.close();

    m_values.AppDir = m_programDir;
    m_values.AppExeName = QStringLiteral("sorvanto");
    m_values.TempDir = m_tempDir;
    if (systemOutput) {
        m_engine = std::make_unique<DX7Sound::Engine>(DX7Sound::SystemDeviceFactory());
    } else {
        m_engine = std::make_unique<DX7Sound::Engine>([this] {
            auto device = std::make_unique<DX7Sound::OfflineDevice>(kRate);
            m_device = device.get();
            return std::unique_ptr<DX7Sound::AudioDevice>(std::move(device));
        });
    }
    m_form = StartedProgram(AppModul::StartProgram(m_values, *m_engine));
    ASSERT_TRUE(m_form);
    m_ui = std::make_unique<Form1Parts>(*m_form);
    settle();
}

void PlayerFixture::pressRow(int list, int row, Qt::MouseButton button)
{
    PhraseList* box = ui().lstPhrase.at(list);
    ASSERT_GE(row, 0);
    ASSERT_LT(row, box->count());
    const QRect rect = box->visualItemRect(box->item(row));
    ASSERT_FALSE(rect.isEmpty());
    QTest::mouseClick(box->viewport(), button, Qt::NoModifier, rect.center());
}

void PlayerFixture::pressRow(int list, const QString& entry, Qt::MouseButton button)
{
    const int row = int(entries(list).indexOf(entry));
    ASSERT_GE(row, 0) << "no entry " << entry.toStdString() << " in list " << list;
    pressRow(list, row, button);
}

void PlayerFixture::press(StripButton* button, Qt::MouseButton which)
{
    QTest::mouseClick(button, which, Qt::NoModifier, button->rect().center());
}

void PlayerFixture::drag(animKnob* knob, int steps)
{
    const QPointF centre = QRectF(knob->rect()).center();
    QMouseEvent down(QEvent::MouseButtonPress, centre, knob->mapToGlobal(centre), Qt::LeftButton,
        Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(knob, &down);
    QPointF at = centre;
    for (int i = 0; i < std::abs(steps); ++i) {
        at.ry() += steps > 0 ? -1.0 : 1.0;
        QMouseEvent move(QEvent::MouseMove, at, knob->mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
            Qt::NoModifier);
        QApplication::sendEvent(knob, &move);
    }
    QMouseEvent up(QEvent::MouseButtonRelease, at, knob->mapToGlobal(at), Qt::LeftButton,
        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(knob, &up);
}

void PlayerFixture::doubleClick(animKnob* knob)
{
    QTest::mouseDClick(knob, Qt::LeftButton, Qt::NoModifier, knob->rect().center());
}

void PlayerFixture::settle()
{
    QCoreApplication::processEvents();
    if (m_engine)
        m_engine->flush();
}

QStringList PlayerFixture::entries(int list) const
{
    QStringList texts;
    const PhraseList* box = m_ui->lstPhrase.at(list);
    for (int row = 0; row < box->count(); ++row)
        texts << box->item(row)->text();
    return texts;
}

int PlayerFixture::selectedRow(int list) const
{
    const PhraseList* box = m_ui->lstPhrase.at(list);
    const QList<QListWidgetItem*> items = box->selectedItems();
    return items.isEmpty() ? -1 : box->row(items.first());
}

SoundTestKit::Signal PlayerFixture::render(qint64 frames)
{
    SoundTestKit::Signal s;
    s.rate = kRate;
    s.channels = 2;
    s.samples.assign(size_t(frames * 2), 0.0f);
    // The offline device runs far faster than real time, so it would overtake the decoders and
    // hear the silence a real output only meets on a starved machine: let them finish first.
    for (int i = 0; m_engine && i < 30000; ++i) {
        bool decoding = false;
        for (qint16 c = 0; m_engine->status(c).exists; ++c)
            decoding = decoding || m_engine->status(c).decoding;
        if (!decoding)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (m_device)
        m_device->render(s.samples.data(), int(frames));
    return s;
}

void PlayerFixture::startPump(int framesPerPass)
{
    m_pumpFrames = framesPerPass;
    m_pumped = SoundTestKit::Signal {};
    m_pumped.rate = kRate;
    // awake() comes at the start of every pass of the event loop, before its posted events and
    // timers: the engine's hand-overs of commands happen between two renders.
    m_pump = QObject::connect(
        QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, [this] {
            const SoundTestKit::Signal part = render(m_pumpFrames);
            m_pumped.samples.insert(
                m_pumped.samples.end(), part.samples.begin(), part.samples.end());
        });
}

void PlayerFixture::stopPump()
{
    QObject::disconnect(m_pump);
}

void PlayerFixture::answerModalBoxes()
{
    m_boxTimer.start();
}

std::array<bool, 3> PlayerFixture::playingFlags() const
{
    const PlayerModel& model = m_form->model();
    return { model.playing(0), model.playing(1), model.playing(2) };
}

} // namespace PlayerTest
