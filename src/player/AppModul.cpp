// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/AppModul.h"

#include "app/About.h"
#include "app/CloseOnTermination.h"
#include "app/Commands.h"
#include "app/DisplayCheck.h"
#include "app/Notices.h"
#include "app/Placement.h"
#include "app/ProgramLocations.h"
#include "app/SingleInstance.h"
#include "dialogs/SettingsCommand.h"
#include "library/DirectoryWatcher.h"
#include "manage/LibraryCommands.h"
#include "player/Form1.h"
#include "player/PlayerKeys.h"
#include "player/PlayerModel.h"
#include "sound/DX7Sound.h"

#include <QApplication>
#include <QProcessEnvironment>
#include <QTimer>

#include <csignal>
#include <cstdio>

namespace AppModul {

Program::Program(Commands::ProgramValues& values, DX7Sound::Engine& engine)
    : m_window(std::make_unique<Form1>(values))
    , m_watcher(std::make_unique<DirectoryWatcher>())
    , m_model(std::make_unique<PlayerModel>(m_window->view(), values, engine, *m_watcher))
    , m_library(std::make_unique<LibraryCommands>(*m_model, values, m_window.get()))
    , m_settings(std::make_unique<SettingsCommand>(*m_model, values, m_window.get()))
{
    m_window->attach(*m_model, *m_library, *m_settings);
    PlayerModel& model = *m_model;
    m_keys = std::make_unique<PlayerKeys>(
        m_window->keyControls(), [&model](int c) { return model.playing(c); },
        [&model] { model.followDirectory(); }, [&model](int c) { model.aimPopup(c); },
        [window = m_window.get()] { return window->tempoKeyText(); });
    m_window->attachKeys(*m_keys);
}

Program::~Program() = default;

std::unique_ptr<Program> StartProgram(Commands::ProgramValues& values, DX7Sound::Engine& engine)
{
    Commands::LoadProgramSettings(values);
    auto program = std::make_unique<Program>(values, engine);
    Form1* form = &program->window();
    form->applyOptionChecks();
    form->setWindowTitle(values.AppTitle);
    form->RefreshPhraseLists();
    form->show();
    form->LoadDXSound();
    return program;
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
    const std::unique_ptr<Program> program = StartProgram(values, engine);
    Form1* form = &program->window();
    termination.setWindow(form);
    QObject::connect(&instance, &Commands::SingleInstance::showRequested, form,
        [window = form] { Commands::BringToFront(*window); });
    // A signal taken during start-up may have closed the window already.
    if (form->unloaded())
        return 0;
    // Told once the window is up and the loop runs, so that closing the window (or a signal)
    // while the box is open still ends the program.
    if (!prepared.notice.isEmpty()) {
        const QString notice = prepared.notice;
        QTimer::singleShot(0, form, [window = form, notice] {
            if (!window->unloaded())
                Commands::ShowNotice(window, notice, Commands::NoticeExclamation);
        });
    }
    return QApplication::exec();
}

} // namespace AppModul
