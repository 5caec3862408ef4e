// The window's program on Linux, which the supervisor (gui_posix.cpp) starts
// right after the command, as WindowProtocol_posix.h says. The toolkit starts
// and the window is built while the command runs; the window shows the
// command's output once it has all of it.
#include "CommandLine.h"
#include "Process_posix.h"
#include "WindowProtocol_posix.h"
#include "frmOutput_qt.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QScreen>
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

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

// The output as the supervisor hands it over on standard input, read as it
// comes while the toolkit's events are handled, so that nothing piles up
// however long the command runs; complete when the supervisor closes it.
std::string HandedOverOutput()
{
    std::string bytes;
    fcntl(0, F_SETFL, fcntl(0, F_GETFL) | O_NONBLOCK);
    // Reads what is there; true once the pipe has been closed (or fails).
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
    // A reader of our standard error that has gone must not end us when the
    // toolkit writes a warning there.
    signal(SIGPIPE, SIG_IGN);
    if (argc > 1)
        vantrelName = argv[argc - 1];
    qInstallMessageHandler(ToStandardError);
    if (argc > 2 && std::strcmp(argv[1], vantrel::window::ShowsUsage) == 0)
        return ShowUsage(vantrelName);

    const Application application(vantrelName);
    Tfrm_Output frm_Output;
    // Placed and given its native window while the command runs, so that
    // only filling the view and mapping the window remain after its end.
    QScreen* screen = frm_Output.screen();
    if (!screen)
        return vantrel::window::FoundNoScreen;
    frm_Output.move(screen->availableGeometry().center() - frm_Output.rect().center());
    frm_Output.winId();
    const std::string output = HandedOverOutput();

    vantrel::ShowOutput(frm_Output.View(), ShownText(output), [&] { frm_Output.show(); });
    return QApplication::exec();
}
