// SPDX-License-Identifier: GPL-3.0-or-later
// The player's main gesture, timed: from the mouse press on a phrase of a set of three phrases
// (Phrase Sync and Auto Play on) to the first non-silent sample at the sound server's null sink,
// median of 20 presses, for sets of 2 s to 10 min at 48 and 44.1 kHz, with the longest time the
// GUI thread was held in one call; beside it the resident memory of three ten-minute phrases.
//
// Needs a PulseAudio server with the null sink "sorvanto_null" in PULSE_SERVER, e.g.
//   tests/pulse_server.sh start /tmp/sv/pulse
//   PULSE_SERVER=unix:/tmp/sv/pulse/native sorvanto_bench --benchmark_filter=Player
// The sink's monitor is read by parec on a thread of its own, each block stamped as it arrives,
// so the figure includes the capture path's own latency (parec asks for 1 ms): an upper bound.

#include "app/Commands.h"
#include "player/AppModul.h"
#include "player/Form1.h"
#include "player/PhraseList.h"
#include "player/PlayerModel.h"
#include "sound/AudioDevice.h"
#include "sound/DX7Sound.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRate = 48000;

qint64 nanos(Clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

bool ensureWidgetsApp()
{
    static int argc = 1;
    static char name[] = "sorvanto_bench";
    static char* argv[] = { name, nullptr };
    if (!QCoreApplication::instance()) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        new QApplication(argc, argv);
    }
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

// A stereo cosine of `seconds` at `rate`, 16-bit PCM, loud from its first sample. Written in
// blocks, so a ten-minute phrase needs no more memory than a short one.
bool writePhrase(const QString& path, double frequency, double seconds = 30, int rate = kRate)
{
    SF_INFO info {};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!f)
        return false;
    const sf_count_t frames = sf_count_t(seconds * rate);
    std::vector<float> s(size_t(rate) * 2);
    sf_count_t written = 0;
    for (sf_count_t at = 0; at < frames; at += rate) {
        const sf_count_t n = std::min<sf_count_t>(rate, frames - at);
        for (sf_count_t i = 0; i < n; ++i)
            s[size_t(2 * i)] = s[size_t(2 * i + 1)]
                = float(0.4 * std::cos(2.0 * M_PI * frequency * double(at + i) / rate));
        written += sf_writef_float(f, s.data(), n);
    }
    sf_close(f);
    return written == frames;
}

// The null sink's monitor through parec, read on its own thread. After arm(), the arrival time
// of the first non-silent frame is recorded.
class SinkWatch
{
public:
    bool start()
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
        const char* args[] = { "parec", "-d", "sorvanto_null.monitor", "--raw",
            "--format=float32le", "--rate=48000", "--channels=2", "--latency-msec=1", nullptr };
        const int rc
            = posix_spawnp(&m_pid, "parec", &actions, nullptr, const_cast<char**>(args), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (rc != 0) {
            ::close(fds[0]);
            m_pid = -1;
            return false;
        }
        m_fd = fds[0];
        m_thread = std::thread([this] { run(); });
        // Live once data flows.
        const auto until = Clock::now() + std::chrono::seconds(3);
        while (m_bytes.load() < 8 * 4800 && Clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return m_bytes.load() >= 8 * 4800;
    }

    ~SinkWatch()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
        if (m_thread.joinable())
            m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
    }

    // Watches for sound from now on.
    void arm()
    {
        m_found.store(0);
        m_armed.store(true);
    }
    // Watches from now on for the first 10 ms block whose rising zero crossings on the left
    // side are above (`above`) or below `count`: a tone that changed its pitch.
    void armPitch(int count, bool above)
    {
        m_pitchCount = count;
        m_pitchAbove = above;
        m_found.store(0);
        m_pitchArmed.store(true);
    }
    // Nanoseconds (steady clock) of the first sound since arm(), 0 while none.
    qint64 found() const { return m_found.load(); }
    // Whether the sink has been silent for the last `frames` frames.
    bool silentFor(qint64 frames) const { return m_silentFrames.load() >= frames; }

private:
    void run()
    {
        std::vector<char> buffer(8 * 256);
        size_t carry = 0;
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer.data() + carry, buffer.size() - carry);
            if (n <= 0)
                return;
            const qint64 now = nanos(Clock::now());
            m_bytes += n;
            const size_t total = carry + size_t(n);
            const size_t frames = total / 8;
            const auto* f = reinterpret_cast<const float*>(buffer.data());
            for (size_t i = 0; i < frames; ++i) {
                if (m_last < 0.0f && f[2 * i] >= 0.0f)
                    ++m_crossings;
                m_last = f[2 * i];
                if (++m_blockFrames == kRate / 100) {
                    const bool changed
                        = m_pitchAbove ? m_crossings > m_pitchCount : m_crossings < m_pitchCount;
                    if (changed && m_pitchArmed.load() && m_found.load() == 0) {
                        // The block ended (frames - i) / rate before its data arrived.
                        const qint64 back = qint64(frames - i) * 1000000000LL / kRate;
                        m_found.store(now - back);
                        m_pitchArmed.store(false);
                    }
                    m_blockFrames = 0;
                    m_crossings = 0;
                }
                const bool loud = std::fabs(f[2 * i]) > 1e-3f || std::fabs(f[2 * i + 1]) > 1e-3f;
                m_silentFrames = loud ? 0 : m_silentFrames + 1;
                if (loud && m_armed.load() && m_found.load() == 0) {
                    // The frame sounded (frames - i) / rate before the block's end arrived.
                    const qint64 back = qint64(frames - i) * 1000000000LL / kRate;
                    m_found.store(now - back);
                    m_armed.store(false);
                }
            }
            carry = total - frames * 8;
            std::memmove(buffer.data(), buffer.data() + frames * 8, carry);
        }
    }

    pid_t m_pid = -1;
    int m_fd = -1;
    std::thread m_thread;
    std::atomic<qint64> m_bytes { 0 };
    std::atomic<bool> m_armed { false };
    std::atomic<qint64> m_found { 0 };
    std::atomic<qint64> m_silentFrames { 0 };
    std::atomic<bool> m_pitchArmed { false };
    std::atomic<int> m_pitchCount { 0 };
    std::atomic<bool> m_pitchAbove { true };
    float m_last = 0.0f; // reader thread's
    int m_crossings = 0;
    int m_blockFrames = 0;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0.0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double msSince(Clock::time_point t0, Clock::time_point t1)
{
    return std::chrono::duration<double, std::milli>(t1 - t0).count();
}

void pressRow(PhraseList* list, int row)
{
    QWidget* viewport = list->viewport();
    const QPointF at = QRectF(list->visualItemRect(list->item(row))).center();
    const QPointF global = viewport->mapToGlobal(at);
    QMouseEvent down(
        QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &down);
    QMouseEvent up(
        QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &up);
}

// Arguments: seconds of each phrase, rate of the files. Besides the press-to-sound figures it
// reports the longest single stretch the GUI thread spent in one call during the rounds (the
// press handler with its three loads, or one turn of the event loop): the longest freeze a
// user could see.
void BM_PlayerPressToSound_Median20(benchmark::State& state)
{
    const double seconds = double(state.range(0));
    const int fileRate = int(state.range(1));
    const int tempo = int(state.range(2));
    // The loads alone are timed for the short set only: for long ones their workers would add
    // to the load of the very rounds they are compared with.
    const bool timeLoads = seconds <= 30;
    if (!ensureWidgetsApp()) {
        state.SkipWithError("a non-widget application object exists; run this benchmark alone");
        return;
    }
    QTemporaryDir root;
    const QString programDir = root.filePath(QStringLiteral("program")) + QLatin1Char('/');
    const QString soundDir = root.filePath(QStringLiteral("sounds")) + QLatin1Char('/');
    const QString runtimeDir = root.filePath(QStringLiteral("runtime")) + QLatin1Char('/');
    for (const QString& d : { programDir, soundDir, runtimeDir })
        QDir().mkpath(d);
    QFile::setPermissions(runtimeDir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const double frequencies[3] = { 300.0, 450.0, 600.0 };
    QStringList phrases;
    for (int n = 0; n < 3; ++n) {
        phrases << soundDir + QStringLiteral("set_%1.wav").arg(n + 1);
        if (!writePhrase(phrases.last(), frequencies[n], seconds, fileRate)) {
            state.SkipWithError("cannot write the phrases");
            return;
        }
    }
    // The set's own tempo, read by the press (Phrase Sync).
    QFile setIni(soundDir + QStringLiteral("set.ini"));
    if (tempo != 100
        && (!setIni.open(QIODevice::WriteOnly)
            || setIni.write(QStringLiteral("[Vorn's Sorvanto]\nTempo=%1\n").arg(tempo).toUtf8())
                < 0)) {
        state.SkipWithError("cannot write the set's settings");
        return;
    }
    setIni.close();
    QFile ini(programDir + QStringLiteral("sorvanto.ini"));
    if (!ini.open(QIODevice::WriteOnly)) {
        state.SkipWithError("cannot write the settings");
        return;
    }
    ini.write(QStringLiteral("[Vorn's Sorvanto]\nWAVpath=%1\nShowEnding=0\nAutoPlay=1\n"
                             "PhraseSync=1\n")
                  .arg(soundDir)
                  .toUtf8());
    ini.close();

    Commands::ProgramValues values;
    values.AppDir = programDir;
    values.AppExeName = QStringLiteral("sorvanto");
    values.TempDir = runtimeDir;
    DX7Sound::Engine engine(DX7Sound::SystemDeviceFactory());
    SinkWatch sink;
    const std::unique_ptr<AppModul::Program> program = AppModul::StartProgram(values, engine);
    Form1* form = &program->window();
    if (!engine.deviceOpen() || !sink.start()) {
        state.SkipWithError("no PulseAudio server with the sorvanto_null sink in PULSE_SERVER");
        return;
    }

    std::vector<double> press, loads[3];
    double guiBlock = 0, pressBlock = 0;
    auto turn = [&guiBlock] {
        const auto t0 = Clock::now();
        QCoreApplication::processEvents();
        guiBlock = std::max(guiBlock, msSince(t0, Clock::now()));
    };
    for (auto _ : state) {
        for (int round = 0; round < 20; ++round) {
            // The three loads alone, into channels the window does not use.
            for (int n = 0; timeLoads && n < 3; ++n) {
                const auto t0 = Clock::now();
                engine.LoadFile(qint16(5 + n), phrases[n], 80, 50);
                loads[n].push_back(msSince(t0, Clock::now()));
            }
            // Stop everything and wait for silence at the sink.
            form->model().stopAll();
            const auto quietBy = Clock::now() + std::chrono::seconds(2);
            while (!sink.silentFor(kRate / 20) && Clock::now() < quietBy) {
                turn();
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }

            sink.arm();
            const auto t0 = Clock::now();
            pressRow(form->findChild<PhraseList*>(QStringLiteral("lstPhrase_1")), 0);
            pressBlock = std::max(pressBlock, msSince(t0, Clock::now()));
            const auto until = Clock::now() + std::chrono::seconds(3);
            while (sink.found() == 0 && Clock::now() < until) {
                turn();
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            if (sink.found() == 0) {
                state.SkipWithError("no sound reached the sink");
                return;
            }
            press.push_back(double(sink.found() - nanos(t0)) / 1e6);
        }
    }
    state.counters["press_to_sound_ms"] = median(press);
    state.counters["press_to_sound_max_ms"] = *std::max_element(press.begin(), press.end());
    state.counters["gui_block_max_ms"] = std::max(guiBlock, pressBlock);
    state.counters["press_handler_max_ms"] = pressBlock;
    state.counters["event_turn_max_ms"] = guiBlock;
    if (timeLoads) {
        const double l1 = median(loads[0]), l2 = median(loads[1]), l3 = median(loads[2]);
        state.counters["load1_ms"] = l1;
        state.counters["load2_ms"] = l2;
        state.counters["load3_ms"] = l3;
        state.counters["goal_ms"] = l1 + l2 + l3 + 30.0;
    }
}
BENCHMARK(BM_PlayerPressToSound_Median20)
    ->ArgNames({ "s", "rate", "tempo" })
    ->Args({ 30, 48000, 100 })
    ->Args({ 30, 48000, 80 })
    ->Args({ 2, 48000, 100 })
    ->Args({ 120, 48000, 100 })
    ->Args({ 600, 48000, 100 })
    ->Args({ 600, 48000, 80 })
    ->Args({ 2, 44100, 100 })
    ->Args({ 120, 44100, 100 })
    ->Args({ 600, 44100, 100 })
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Resident memory with a set of three ten-minute stereo 16-bit 48 kHz phrases loaded and
// decoded, through an offline output (no server needed). Run it alone
// (--benchmark_filter=Rss) so nothing else in the process counts.
qint64 statusKb(const char* field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field)))
                .trimmed()
                .split(' ')
                .value(0)
                .toLongLong();
    return -1;
}

void BM_RssThreeTenMinutePhrases(benchmark::State& state)
{
    const int tempo = int(state.range(0));
    if (!ensureWidgetsApp()) {
        state.SkipWithError("a non-widget application object exists; run this benchmark alone");
        return;
    }
    QTemporaryDir dir;
    QStringList phrases;
    for (int n = 0; n < 3; ++n) {
        phrases << dir.filePath(QStringLiteral("long_%1.wav").arg(n + 1));
        if (!writePhrase(phrases.last(), 300.0 + 150 * n, 600, kRate)) {
            state.SkipWithError("cannot write the phrases");
            return;
        }
    }
    DX7Sound::Engine engine(
        [] { return std::unique_ptr<DX7Sound::AudioDevice>(new DX7Sound::OfflineDevice(kRate)); });
    engine.InitDirectSound();
    engine.InitChannels(2, QString());
    // At another tempo each column plays through its stage, which the loads prime.
    engine.SetTempoKey({ tempo, tempo == 100 ? 0 : 2 });
    for (auto _ : state) {
        for (int n = 0; n < 3; ++n)
            engine.LoadFile(qint16(n), phrases[n], 80, 50);
        for (int n = 0; n < 3; ++n)
            engine.PlayChannel(qint16(n), 1);
        engine.flush();
        bool busy = true;
        while (busy) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            busy = false;
            for (int n = 0; n < 3; ++n)
                busy = busy || engine.status(qint16(n)).decoding;
        }
    }
    state.counters["rss_mb"] = double(statusKb("VmRSS:")) / 1024.0;
    state.counters["peak_rss_mb"] = double(statusKb("VmHWM:")) / 1024.0;
}
BENCHMARK(BM_RssThreeTenMinutePhrases)
    ->ArgName("tempo")
    ->Arg(100)
    ->Arg(80)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

void waitDecoded(DX7Sound::Engine& engine);

// The audio work of three looping stereo 48 kHz columns: 20 s rendered in 256-frame periods
// through an offline output, at 100 % / 0 and at 80 % / +2. The counter share_of_core is the
// render thread's CPU time over the audio's duration (the stages run in the render call, as on
// the audio thread).
void BM_ThreeColumnsAudioWork(benchmark::State& state)
{
    const int tempo = int(state.range(0));
    const int semitones = int(state.range(1));
    if (!ensureWidgetsApp()) {
        state.SkipWithError("a non-widget application object exists; run this benchmark alone");
        return;
    }
    QTemporaryDir dir;
    QStringList phrases;
    for (int n = 0; n < 3; ++n) {
        phrases << dir.filePath(QStringLiteral("col_%1.wav").arg(n + 1));
        if (!writePhrase(phrases.last(), 220.0 * (n + 2), 30, kRate)) {
            state.SkipWithError("cannot write the phrases");
            return;
        }
    }
    DX7Sound::OfflineDevice* device = nullptr;
    DX7Sound::Engine engine([&device] {
        auto d = std::make_unique<DX7Sound::OfflineDevice>(kRate);
        device = d.get();
        return std::unique_ptr<DX7Sound::AudioDevice>(std::move(d));
    });
    engine.InitDirectSound();
    engine.InitChannels(2, QString());
    engine.SetTempoKey({ tempo, semitones });
    for (int n = 0; n < 3; ++n)
        engine.LoadFile(qint16(n), phrases[n], 80, 50);
    for (int n = 0; n < 3; ++n)
        engine.PlayChannel(qint16(n), 1);
    engine.flush();
    waitDecoded(engine);
    constexpr int kPeriodFrames = 256;
    std::vector<float> out(size_t(2) * kPeriodFrames);
    const auto threadMs = [] {
        timespec t {};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
    };
    double cpuMs = 0;
    for (auto _ : state) {
        const double t0 = threadMs();
        for (int p = 0; p < 20 * kRate / kPeriodFrames; ++p)
            device->render(out.data(), kPeriodFrames);
        cpuMs = threadMs() - t0;
    }
    state.counters["share_of_core_pct"] = cpuMs / 20000.0 * 100.0;
}
BENCHMARK(BM_ThreeColumnsAudioWork)
    ->ArgNames({ "tempo", "key" })
    ->Args({ 100, 0 })
    ->Args({ 80, 2 })
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// The process's threads and memory while the user switches quickly between two sets of three
// ten-minute stereo 16-bit 48 kHz phrases through the system's output (the test server), each
// switch loading and starting a set while the previous one is still being decoded. Counters:
// threads when idle with one set, the most and fewest during 200 switches, the milliseconds
// until the count is back at the idle figure, and RSS with one set against RSS 2 s after the
// switches (both sets' last one fully decoded). Run it alone (--benchmark_filter=Switch).
int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task"))
                   .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                   .size());
}

void waitDecoded(DX7Sound::Engine& engine)
{
    bool busy = true;
    while (busy) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        busy = false;
        for (int n = 0; n < 3; ++n)
            busy = busy || engine.status(qint16(n)).decoding;
    }
}

void BM_SwitchLongSets200(benchmark::State& state)
{
    if (!ensureWidgetsApp()) {
        state.SkipWithError("a non-widget application object exists; run this benchmark alone");
        return;
    }
    QTemporaryDir dir;
    QStringList sets[2];
    for (int s = 0; s < 2; ++s) {
        for (int n = 0; n < 3; ++n) {
            sets[s] << dir.filePath(QStringLiteral("set%1_%2.wav").arg(s).arg(n + 1));
            if (!writePhrase(sets[s].last(), 300.0 + 150 * n + 50 * s, 600, kRate)) {
                state.SkipWithError("cannot write the phrases");
                return;
            }
        }
    }
    DX7Sound::Engine engine(DX7Sound::SystemDeviceFactory());
    if (!engine.InitDirectSound()) {
        state.SkipWithError("no output (is PULSE_SERVER the test server?)");
        return;
    }
    engine.InitChannels(10, QString());
    for (int n = 0; n < 3; ++n)
        engine.LoadFile(qint16(n), sets[0][n], 80, 50);
    waitDecoded(engine);
    QCoreApplication::processEvents();
    const int idle = threadCount();
    const double oneSet = double(statusKb("VmRSS:")) / 1024.0;
    int most = idle, fewest = idle;
    for (auto _ : state) {
        for (int round = 0; round < 200; ++round) {
            const QStringList& set = sets[round % 2];
            for (int n = 0; n < 3; ++n)
                engine.LoadFile(qint16(n), set[n], 80, 50);
            for (int n = 0; n < 3; ++n)
                engine.PlayChannel(qint16(n), 1);
            const auto until = Clock::now() + std::chrono::milliseconds(20);
            while (Clock::now() < until) {
                QCoreApplication::processEvents();
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            most = std::max(most, threadCount());
            fewest = std::min(fewest, threadCount());
        }
    }
    for (int n = 0; n < 3; ++n)
        engine.StopChannel(qint16(n));
    const auto stopped = Clock::now();
    while (threadCount() != idle && Clock::now() - stopped < std::chrono::seconds(10))
        QCoreApplication::processEvents();
    const double backMs
        = double(
              std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - stopped).count())
        / 1000.0;
    waitDecoded(engine);
    const auto settle = Clock::now() + std::chrono::seconds(2);
    while (Clock::now() < settle) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    state.counters["threads_idle"] = idle;
    state.counters["threads_most"] = most;
    state.counters["threads_fewest"] = fewest;
    state.counters["ms_back_to_idle_threads"] = backMs;
    state.counters["rss_one_set_mb"] = oneSet;
    state.counters["rss_after_mb"] = double(statusKb("VmRSS:")) / 1024.0;
}
BENCHMARK(BM_SwitchLongSets200)->Iterations(1)->Unit(benchmark::kSecond);

// From a change of key to the first 10 ms at the null sink that sounds at the new pitch, median
// of 20 changes: three 600 Hz columns at 80 %, moved an octave up and back down (a change that
// needs new stages, the slower kind). Measured through the system's output (the test server).
void BM_KeyChangeToSound_Median20(benchmark::State& state)
{
    if (!ensureWidgetsApp()) {
        state.SkipWithError("a non-widget application object exists; run this benchmark alone");
        return;
    }
    QTemporaryDir dir;
    QStringList phrases;
    for (int n = 0; n < 3; ++n) {
        phrases << dir.filePath(QStringLiteral("tone_%1.wav").arg(n + 1));
        if (!writePhrase(phrases.last(), 600.0, 10, kRate)) {
            state.SkipWithError("cannot write the phrases");
            return;
        }
    }
    DX7Sound::Engine engine(DX7Sound::SystemDeviceFactory());
    SinkWatch sink;
    if (!engine.InitDirectSound() || !sink.start()) {
        state.SkipWithError("no PulseAudio server with the sorvanto_null sink in PULSE_SERVER");
        return;
    }
    engine.InitChannels(2, QString());
    engine.SetTempoKey({ 80, 0 });
    for (int n = 0; n < 3; ++n)
        engine.LoadFile(qint16(n), phrases[n], 100, 50);
    for (int n = 0; n < 3; ++n)
        engine.PlayChannel(qint16(n), 1);
    const auto pump = [](double ms) {
        const auto until = Clock::now() + std::chrono::duration<double, std::milli>(ms);
        while (Clock::now() < until) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    };
    pump(500);
    std::vector<double> changes;
    for (auto _ : state) {
        for (int round = 0; round < 20; ++round) {
            const bool up = round % 2 == 0;
            // 600 Hz makes 6 rising crossings per 10 ms, an octave up 12.
            sink.armPitch(9, up);
            const auto t0 = Clock::now();
            engine.SetTempoKey({ 80, up ? 12 : 0 });
            const auto until = Clock::now() + std::chrono::seconds(2);
            while (sink.found() == 0 && Clock::now() < until) {
                QCoreApplication::processEvents();
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            if (sink.found() == 0) {
                state.SkipWithError("the change was not heard at the sink");
                return;
            }
            changes.push_back(double(sink.found() - nanos(t0)) / 1e6);
            pump(300);
        }
    }
    state.counters["change_to_sound_ms"] = median(changes);
    state.counters["change_to_sound_max_ms"] = *std::max_element(changes.begin(), changes.end());
}
BENCHMARK(BM_KeyChangeToSound_Median20)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
