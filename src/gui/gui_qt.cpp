// The window's program on Linux, which the supervisor (gui_posix.cpp) starts
// right before the command, as WindowProtocol_posix.h says. The toolkit
// starts and the window is built while the command runs; the window shows
// the command's output once it has all of it, and says when it is on screen.
#include "CommandLine.h"
#include "Process_posix.h"
#include "Signals_posix.h"
#include "WindowProtocol_posix.h"
#include "frmOutput_qt.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

namespace {

// Vantrel's program name, which the toolkit's messages carry.
std::string vantrelName = "vantrel";

// The toolkit's warnings go to standard error under Vantrel's name, as a
// program's own messages do: the user sees which program is speaking.
void ToStandardError(QtMsgType /*type*/, const QMessageLogContext& /*context*/, const QString& message)
{
    std::fprintf(stderr, "%s: %s\n", vantrelName.c_str(), message.toLocal8Bit().constData());
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

    // The toolkit sees only the program's name.
    int qtArgc = 1;
    char* qtArgv[2] = {nullptr, nullptr};
    std::optional<QApplication> object;
};

// The signals that ask the window to close as its close button does: the
// supervisor's request, and a terminal's interrupt or hang-up that reached us
// directly, unless the starter ignored them. They are read through a
// descriptor by the event loop, so that the toolkit ends in order and hands
// the clipboard over to a clipboard manager. They are blocked before the
// toolkit starts threads of its own, which inherit the block.
class EndRequests {
public:
    EndRequests()
        : relay_((vantrel::SignalBit(vantrel::window::EndRequest) | vantrel::SignalBit(SIGINT) |
                  vantrel::SignalBit(SIGHUP)) & ~vantrel::StarterIgnoredSignals())
    {
    }

    // Once the application object exists, whose event loops a request ends.
    void Listen()
    {
        if (relay_.Fd() < 0)
            return;
        auto* notifier = new QSocketNotifier(relay_.Fd(), QSocketNotifier::Read, QCoreApplication::instance());
        QObject::connect(notifier, &QSocketNotifier::activated, [this] {
            relay_.Take();
            requested_ = true;
            QCoreApplication::exit(0);
        });
    }

    bool Requested() const { return requested_; }

private:
    vantrel::SignalRelay relay_;
    bool requested_ = false;
};

// Tells the supervisor that the window is on screen, once the event loop has
// turned after showing it: a toolkit that hangs never gets there. (A window
// manager may keep a window from being exposed, on another workspace: being
// shown is what counts.)
void ReportShownSoon()
{
    QTimer::singleShot(0, [] {
        const char shown = vantrel::window::Shown;
        while (write(0, &shown, 1) < 0 && errno == EINTR) {
        }
    });
}

int ShowUsage(std::string programName, EndRequests& endRequests)
{
    const Application application(programName);
    endRequests.Listen();
    // The text's line breaks are lone carriage returns; a Qt label breaks
    // lines only at line feeds.
    const QString text = QString::fromStdString(vantrel::UsageText(programName)).replace('\r', '\n');
    QMessageBox box(QMessageBox::Information, "Error", text, QMessageBox::Ok);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    ReportShownSoon();
    box.exec();
    return 0;
}

// The output as the supervisor hands it over on standard input, read as it
// comes while the toolkit's events are handled, so that nothing piles up
// however long the command runs; complete when the supervisor shuts its
// side. An end request ends the wait early.
std::string HandedOverOutput()
{
    std::string bytes;
    fcntl(0, F_SETFL, fcntl(0, F_GETFL) | O_NONBLOCK);
    // Reads what is there; true once the supervisor's side is shut (or fails).
    auto readAll = [&bytes] { return vantrel::ReadWhatIsThere(0, [&](std::string_view b) { bytes += b; }); };
    if (readAll())
        return bytes;
    QEventLoop loop;
    QSocketNotifier notifier(0, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &loop, [&] {
        if (readAll()) {
            notifier.setEnabled(false);
            loop.quit();
        }
    });
    loop.exec();
    return bytes;
}

} // namespace

int main(int argc, char** argv)
{
    EndRequests endRequests;
    // A reader of our standard error that has gone must not end us when the
    // toolkit writes a warning there.
    signal(SIGPIPE, SIG_IGN);
    if (argc > 1)
        vantrelName = argv[argc - 1];
    qInstallMessageHandler(ToStandardError);
    if (argc > 2 && std::strcmp(argv[1], vantrel::window::ShowsUsage) == 0)
        return ShowUsage(vantrelName, endRequests);

    const Application application(vantrelName);
    endRequests.Listen();
    Tfrm_Output frm_Output;
    // Placed and given its native window while the command runs, so that
    // only filling the view and mapping the window remain after its end.
    QScreen* screen = frm_Output.screen();
    if (!screen)
        return vantrel::window::FoundNoScreen;
    frm_Output.move(screen->availableGeometry().center() - frm_Output.rect().center());
    frm_Output.winId();
    const std::string output = HandedOverOutput();
    if (endRequests.Requested())
        return 0;

    vantrel::ShowOutput(frm_Output.View(), ShownText(output), [&] {
        frm_Output.show();
        ReportShownSoon();
    });
    return QApplication::exec();
}
