// The program's entry point on Linux: either the usage message, or one run
// that captures the command's output and shows it in the output window.
#include "Capture.h"
#include "CommandLine.h"
#include "frmOutput_qt.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>

#include <fcntl.h>
#include <unistd.h>

#include <string>
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

int ShowUsage(const char* programPath)
{
    const std::string name = vantrel::FileNamePart(programPath ? programPath : "vantrel", "/");
    int argc = 1;
    char* argv[] = {const_cast<char*>("vantrel"), nullptr};
    QApplication application(argc, argv);
    // The text's line breaks are lone carriage returns; a Qt label breaks
    // lines only at line feeds.
    const QString text = QString::fromStdString(vantrel::UsageText(name)).replace('\r', '\n');
    QMessageBox box(QMessageBox::Information, "Error", text, QMessageBox::Ok);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    OpenMissingStandardDescriptors();
    if (argc <= 1)
        return ShowUsage(argc > 0 ? argv[0] : nullptr);

    // The parameters are taken before Qt sees the command line: every one of
    // them, "-style" or "-platform" included, belongs to the child.
    const std::string ChildCommandLine =
        vantrel::JoinParameters(std::vector<std::string>(argv + 1, argv + argc));

    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication application(qtArgc, qtArgv);
    QApplication::setApplicationName("Vantrel");

    Tfrm_Output frm_Output;
    const std::string output = vantrel::CaptureCommandOutput(ChildCommandLine);
    // The captured bytes are shown as UTF-8, the console's encoding here; a
    // byte that is not valid UTF-8 shows as U+FFFD instead of being dropped.
    frm_Output.View().AddLine(QString::fromUtf8(output.data(), static_cast<qsizetype>(output.size()))
                                  .toStdU16String());

    frm_Output.move(frm_Output.screen()->availableGeometry().center() - frm_Output.rect().center());
    frm_Output.show();
    frm_Output.View().SetSelStart(0);
    frm_Output.View().SetSelLength(0);
    QApplication::exec();
    return 0;
}
