// The program's entry point on Linux: either the usage message, or one run
// that starts the command at once, builds the window while the command runs
// and shows it with the command's output once the command has ended.
//
// The child is started as soon as the parameters are known and is drained by
// a thread of its own from then on, while this thread starts the toolkit and
// builds the window: the toolkit's start-up hides behind the command's run
// instead of adding to it. Until the child has ended this thread keeps
// handling the display's events with the window still hidden, so nothing
// piles up however long the child runs.
#include "Capture.h"
#include "Capture_posix.h"
#include "CommandLine.h"
#include "DisplayCheck_posix.h"
#include "frmOutput_qt.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QScreen>
#include <QSocketNotifier>

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// A desktop launcher may start us with standard input, output or error
// closed. Their numbers would then be handed out to the next files we open,
// and whatever writes to "standard error" would write into those files.
void OpenMissingStandardDescriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) < 0)
            open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    }
}

// The program's own file name, for the usage text and for messages: the last
// part of argv[0]; where a starter left that empty, the executable's own file
// name; failing both, "vantrel".
std::string ProgramFileName(const char* argv0)
{
    std::string name = vantrel::FileNamePart(argv0 ? argv0 : "", "/");
    if (name.empty()) {
        char path[PATH_MAX];
        const ssize_t n = readlink("/proc/self/exe", path, sizeof path);
        if (n > 0)
            name = vantrel::FileNamePart(std::string_view(path, static_cast<std::size_t>(n)), "/");
    }
    return name.empty() ? "vantrel" : name;
}

// The toolkit's application object, named so that desktops match the window
// to Vantrel's desktop entry (Wayland compositors go by this name).
struct Application {
    explicit Application(std::string& programName)
    {
        QGuiApplication::setDesktopFileName("vantrel");
        qtArgv[0] = programName.data();
        object.emplace(qtArgc, qtArgv);
        QApplication::setApplicationName("Vantrel");
    }

    // The toolkit sees only the program's name: every parameter, "-style" or
    // "-platform" included, belongs to the child.
    int qtArgc = 1;
    char* qtArgv[2] = {nullptr, nullptr};
    std::optional<QApplication> object;
};

int ShowUsage(std::string programName)
{
    const Application application(programName);
    // The text's line breaks are lone carriage returns; a Qt label breaks
    // lines only at line feeds.
    const QString text = QString::fromStdString(vantrel::UsageText(programName)).replace('\r', '\n');
    QMessageBox box(QMessageBox::Information, "Error", text, QMessageBox::Ok);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
    return 0;
}

// Once the child has ended, an end signal no longer needs catching: one
// that came while the child ran ends the program at once with 128 + its
// number, from whichever thread gets here, so that a toolkit start-up that
// hangs (a session bus that never answers) cannot keep us alive; later ones
// take their default action again.
void EndIfSignalled()
{
    if (const int endSignal = vantrel::ReleaseEndSignals(); endSignal != 0)
        _exit(128 + endSignal);
}

// Drains the child in a thread of its own from its start on; the main thread
// collects the output with Wait once the window is built. The thread's end
// is told through a pipe, which the main thread's event loop watches.
class BackgroundDrain {
public:
    explicit BackgroundDrain(vantrel::ChildCapture& capture) : capture_(capture)
    {
        if (pipe2(done_, O_CLOEXEC) != 0) {
            DrainHere();
            return;
        }
        try {
            thread_ = std::thread([this] {
                output_ = capture_.Finish();
                EndIfSignalled();
                const char byte = 1;
                if (write(done_[1], &byte, 1) < 0) {
                    // Cannot happen with one byte in an empty pipe; Wait
                    // joins the thread all the same.
                }
            });
        } catch (const std::system_error&) {
            DrainHere();
        }
    }
    BackgroundDrain(const BackgroundDrain&) = delete;
    BackgroundDrain& operator=(const BackgroundDrain&) = delete;
    ~BackgroundDrain()
    {
        if (thread_.joinable())
            thread_.join();
        for (const int fd : done_) {
            if (fd >= 0)
                close(fd);
        }
    }

    // Handles the toolkit's events until the child has ended, then returns
    // its output. Needs the application object.
    std::string Wait()
    {
        if (!thread_.joinable())
            return output_;
        pollfd done{done_[0], POLLIN, 0};
        if (poll(&done, 1, 0) != 1) {
            QEventLoop loop;
            QSocketNotifier notifier(done_[0], QSocketNotifier::Read);
            QObject::connect(&notifier, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
            loop.exec();
        }
        thread_.join();
        return output_;
    }

private:
    // Without a thread (or a pipe to tell its end) the child is drained here
    // and now, before the toolkit starts: slower to show, but the end signals
    // are never held back by a toolkit start-up that hangs.
    void DrainHere()
    {
        output_ = capture_.Finish();
        EndIfSignalled();
    }

    vantrel::ChildCapture& capture_;
    int done_[2] = {-1, -1};
    std::thread thread_;
    std::string output_;
};

} // namespace

int main(int argc, char** argv)
{
    OpenMissingStandardDescriptors();
    // A reader of our standard error that has gone must not end us when the
    // toolkit writes a warning there. The child gets the default back.
    signal(SIGPIPE, SIG_IGN);
    // Ignored SIGCHLD, inherited from a starter, would let the kernel reap
    // the child behind the drain's back.
    signal(SIGCHLD, SIG_DFL);
    std::string programName = ProgramFileName(argc > 0 ? argv[0] : nullptr);

    // Nothing is started that would have nowhere to show its output. The
    // check's connection is kept until the toolkit has opened its own.
    std::optional<vantrel::DisplayCheck> display(std::in_place, getenv);
    if (!display->Why().empty()) {
        std::fprintf(stderr, "%s: no display to show a window on: %s.%s\n", programName.c_str(),
                     display->Why().c_str(), argc > 1 ? " The command was not run." : "");
        return 1;
    }
    if (argc <= 1)
        return ShowUsage(programName);

    const std::string ChildCommandLine =
        vantrel::JoinParameters(std::vector<std::string>(argv + 1, argv + argc));

    // From the child's start to its end, an end signal goes on to the child;
    // we end once it has, without showing the window.
    vantrel::CatchEndSignals();
    vantrel::ChildCapture capture(ChildCommandLine);
    BackgroundDrain drain(capture);

    const Application application(programName);
    display.reset();
    Tfrm_Output frm_Output;
    // Placed and given its native window while the child runs, so that only
    // filling the view and mapping the window remain after its end.
    frm_Output.move(frm_Output.screen()->availableGeometry().center() - frm_Output.rect().center());
    frm_Output.winId();
    const std::string output = drain.Wait();

    frm_Output.View().AddLine(ShownText(output));

    frm_Output.show();
    frm_Output.View().SetSelStart(0);
    frm_Output.View().SetSelLength(0);
    QApplication::exec();
    return 0;
}
