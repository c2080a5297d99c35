// The player's main gesture, timed: from the mouse press on a phrase of a set of three
// 30-second phrases (Phrase Sync and Auto Play on) to the first non-silent sample at the sound
// server's null sink, median of 20 presses, beside the time of each of the three loads alone.
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

// A 30-second stereo cosine, 16-bit PCM, loud from its first sample.
bool writePhrase(const QString& path, double frequency)
{
    const sf_count_t frames = sf_count_t(30) * kRate;
    std::vector<float> s(size_t(frames) * 2);
    for (sf_count_t i = 0; i < frames; ++i)
        s[size_t(2 * i)] = s[size_t(2 * i + 1)]
            = float(0.4 * std::cos(2.0 * M_PI * frequency * double(i) / kRate));
    SF_INFO info {};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!f)
        return false;
    const sf_count_t written = sf_writef_float(f, s.data(), frames);
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

void BM_PlayerPressToSound_Median20(benchmark::State& state)
{
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
        if (!writePhrase(phrases.last(), frequencies[n])) {
            state.SkipWithError("cannot write the phrases");
            return;
        }
    }
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
    std::unique_ptr<Form1> form = AppModul::StartProgram(values, engine);
    if (!engine.deviceOpen() || !sink.start()) {
        state.SkipWithError("no PulseAudio server with the sorvanto_null sink in PULSE_SERVER");
        return;
    }

    std::vector<double> press, loads[3];
    for (auto _ : state) {
        for (int round = 0; round < 20; ++round) {
            // The three loads alone, into channels the window does not use.
            for (int n = 0; n < 3; ++n) {
                const auto t0 = Clock::now();
                engine.LoadFile(qint16(5 + n), phrases[n], 80, 50);
                loads[n].push_back(msSince(t0, Clock::now()));
            }
            // Stop everything and wait for silence at the sink.
            for (qint16 c = 0; c < 3; ++c)
                engine.StopChannel(c);
            form->Playing = { false, false, false };
            const auto quietBy = Clock::now() + std::chrono::seconds(2);
            while (!sink.silentFor(kRate / 20) && Clock::now() < quietBy) {
                QCoreApplication::processEvents();
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }

            sink.arm();
            const auto t0 = Clock::now();
            pressRow(form->lstPhrase[1], 0);
            const auto until = Clock::now() + std::chrono::seconds(3);
            while (sink.found() == 0 && Clock::now() < until) {
                QCoreApplication::processEvents();
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            if (sink.found() == 0) {
                state.SkipWithError("no sound reached the sink");
                return;
            }
            press.push_back(double(sink.found() - nanos(t0)) / 1e6);
        }
    }
    const double l1 = median(loads[0]), l2 = median(loads[1]), l3 = median(loads[2]);
    state.counters["press_to_sound_ms"] = median(press);
    state.counters["press_to_sound_max_ms"] = *std::max_element(press.begin(), press.end());
    state.counters["load1_ms"] = l1;
    state.counters["load2_ms"] = l2;
    state.counters["load3_ms"] = l3;
    state.counters["goal_ms"] = l1 + l2 + l3 + 30.0;
}
BENCHMARK(BM_PlayerPressToSound_Median20)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
