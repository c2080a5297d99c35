#include "player/AppModul.h"

#include "app/About.h"
#include "app/Commands.h"
#include "app/DisplayCheck.h"
#include "app/Notices.h"
#include "app/Placement.h"
#include "app/ProgramLocations.h"
#include "app/SingleInstance.h"
#include "player/Form1.h"
#include "sound/DX7Sound.h"

#include <QApplication>
#include <QProcessEnvironment>
#include <QSocketNotifier>
#include <QTimer>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace AppModul {

namespace {

// The write end of the self-pipe, read by the signal handler. Only a handler installed by the
// one CloseOnTermination that exists reads it.
std::atomic<int> g_signalPipe { -1 };

constexpr std::array<int, 3> kCloseSignals { SIGTERM, SIGINT, SIGHUP };
std::array<struct sigaction, 3> g_previous {};

extern "C" void onCloseSignal(int)
{
    const int saved = errno;
    const int fd = g_signalPipe.load();
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = saved;
}

} // namespace

std::unique_ptr<Form1> StartProgram(Commands::ProgramValues& values, DX7Sound::Engine& engine)
{
    Commands::LoadProgramSettings(values);
    auto form = std::make_unique<Form1>(values, engine);
    form->applyOptionChecks();
    form->setWindowTitle(values.AppTitle);
    form->RefreshPhraseLists();
    form->show();
    form->LoadDXSound();
    return form;
}

CloseOnTermination::CloseOnTermination()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, m_pipe) == 0) {
        g_signalPipe.store(m_pipe[0]);
        m_notifier = new QSocketNotifier(m_pipe[1], QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] {
            drainPipe();
            closeWindow();
        });
        struct sigaction action
        {
        };
        action.sa_handler = onCloseSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (std::size_t i = 0; i < kCloseSignals.size(); ++i)
            ::sigaction(kCloseSignals[i], &action, &g_previous[i]);
    }
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
#ifndef QT_NO_SESSIONMANAGER
        connect(
            app, &QGuiApplication::commitDataRequest, this, [this] { closeWindow(); },
            Qt::DirectConnection);
#endif
        connect(
            app, &QCoreApplication::aboutToQuit, this, [this] { closeWindow(); },
            Qt::DirectConnection);
    }
}

CloseOnTermination::~CloseOnTermination()
{
    if (m_notifier) {
        for (std::size_t i = 0; i < kCloseSignals.size(); ++i)
            ::sigaction(kCloseSignals[i], &g_previous[i], nullptr);
        g_signalPipe.store(-1);
        delete m_notifier;
    }
    for (int fd : m_pipe) {
        if (fd >= 0)
            ::close(fd);
    }
}

void CloseOnTermination::setWindow(Form1* window)
{
    m_window = window;
    if (m_pending)
        closeWindow();
}

void CloseOnTermination::closeWindow()
{
    if (!m_window) {
        m_pending = true;
        return;
    }
    m_pending = false;
    m_window->closeUnattended();
}

void CloseOnTermination::drainPipe()
{
    char buffer[64];
    while (::read(m_pipe[1], buffer, sizeof buffer) > 0) { }
}

int Main(int argc, char** argv)
{
    // --help and --version answer before anything of the program exists.
    if (const std::optional<int> status = About::HandleCommandLine(argc, argv, stdout))
        return *status;
    // Qt aborts when it finds no display; say so in one line and how to run without one.
    if (const QString problem
        = Commands::MissingDisplayMessage(QProcessEnvironment::systemEnvironment());
        !problem.isEmpty()) {
        std::fputs(qPrintable(problem + QLatin1Char('\n')), stderr);
        return 1;
    }

    // The rest of the command line is ignored, Qt's own options included.
    int qtArgc = argc > 0 ? 1 : 0;
    char* qtArgv[] = { argc > 0 ? argv[0] : nullptr, nullptr };
    QApplication app(qtArgc, qtArgv);
    // Lets the desktop match the window to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.vorn.Sorvanto"));

    // Before anything touches a file: is this executable already running for this user?
    Commands::SingleInstance instance(
        Commands::GetTempDir(), QCoreApplication::applicationFilePath());
    if (!instance.isFirst()) {
        // The user asked for the program: show them the one that runs.
        instance.askFirstToShow();
        return 0;
    }

    // A file-size limit (ulimit -f) must make a write fail, which every save handles, rather
    // than kill the program with SIGXFSZ.
    ::signal(SIGXFSZ, SIG_IGN);
    CloseOnTermination termination;
    const Commands::PreparedLocations prepared
        = Commands::PrepareProgramLocations(Commands::ProgramLocations::detect(
            QCoreApplication::applicationFilePath(), QProcessEnvironment::systemEnvironment()));
    if (!prepared.fatal.isEmpty()) {
        // No window yet: the terminal and one box hear it.
        std::fputs(("sorvanto: " + prepared.fatal + '\n').toLocal8Bit().constData(), stderr);
        Commands::ShowNotice(nullptr, prepared.fatal, Commands::NoticeError);
        return 1;
    }
    Commands::ProgramValues values;
    Commands::InitPaths(values, prepared.locations);
    DX7Sound::Engine engine(DX7Sound::SystemDeviceFactory());
    const std::unique_ptr<Form1> form = StartProgram(values, engine);
    termination.setWindow(form.get());
    QObject::connect(&instance, &Commands::SingleInstance::showRequested, form.get(),
        [window = form.get()] { Commands::BringToFront(*window); });
    // A signal taken during start-up may have closed the window already.
    if (form->unloaded())
        return 0;
    // Told once the window is up and the loop runs, so that closing the window (or a signal)
    // while the box is open still ends the program.
    if (!prepared.notice.isEmpty()) {
        const QString notice = prepared.notice;
        QTimer::singleShot(0, form.get(), [window = form.get(), notice] {
            if (!window->unloaded())
                Commands::ShowNotice(window, notice, Commands::NoticeExclamation);
        });
    }
    return QApplication::exec();
}

} // namespace AppModul
