#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <memory>

class Form1;
class QSocketNotifier;
namespace Commands {
struct ProgramValues;
}
namespace DX7Sound {
class Engine;
}

// The program's entry routine and the start-up sequence it is built from.
namespace AppModul {

// Everything Main does once the paths are known: loads the program settings into `values`
// (which must hold AppDir, AppExeName and TempDir), creates the main window (which places
// itself and takes its load colours), sets the check marks from the flags and the caption to
// AppTitle, fills the phrase lists, shows the window and opens the sound engine (LoadDXSound).
// Returns the shown window; `values` and `engine` are the caller's and must outlive it. Tests
// use it to set the whole program up on temporary directories with any engine. GUI thread.
std::unique_ptr<Form1> StartProgram(Commands::ProgramValues& values, DX7Sound::Engine& engine);

// Turns SIGTERM, SIGINT, SIGHUP and the end of the desktop session into a close of the main
// window, exactly as its close box does, so the options are stored. Signals are taken from the
// moment it is made; one that arrives before setWindow() closes the window once the event loop
// runs. At most one exists at a time; it restores the previous signal dispositions when it
// goes. Created and used on the GUI thread (the signal handler only writes one byte to a pipe).
class CloseOnTermination : public QObject
{
    Q_OBJECT
public:
    CloseOnTermination();
    ~CloseOnTermination() override;
    CloseOnTermination(const CloseOnTermination&) = delete;
    CloseOnTermination& operator=(const CloseOnTermination&) = delete;

    // The window to close (not owned; may be destroyed first). It is closed unattended: no
    // box is shown on the way out.
    void setWindow(Form1* window);

private:
    void closeWindow();
    void drainPipe();

    QPointer<Form1> m_window;
    bool m_pending = false;
    int m_pipe[2] = { -1, -1 };
    QSocketNotifier* m_notifier = nullptr;
};

// Runs the program: --help and --version are answered at once (no window, lock or file);
// otherwise the single-instance test (a second instance returns 0 at once, having touched no
// file), the program's locations (portable or installed, whose folders are prepared), paths,
// StartProgram with the system's sound device, then the event loop until the main window
// closes. Other arguments are accepted and ignored (Qt does not see them either).
// Returns the process exit status. Called once, from main().
int Main(int argc, char** argv);

} // namespace AppModul
