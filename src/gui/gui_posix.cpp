// The program's entry point on Linux: the supervisor, the `vantrel` that the
// user runs. It links no toolkit. It makes sure there is a display to show
// the window on, then starts the command at once and the window beside it,
// a program of its own (gui_qt.cpp), and watches over both until the end
// (Supervisor_posix.h): whatever becomes of the window, the command runs to
// its end with its output drained.
#include "CommandLine.h"
#include "DisplayCheck_posix.h"
#include "Process_posix.h"
#include "Supervisor_posix.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// This program's own file, as the kernel knows it (symbolic links resolved).
std::string OwnExecutable()
{
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path);
    return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

// The program's own file name, for the usage text and for messages: the last
// part of argv[0]; where a starter left that empty, the executable's own file
// name; failing both, "vantrel".
std::string ProgramFileName(const char* argv0)
{
    std::string name = vantrel::FileNamePart(argv0 ? argv0 : "", "/");
    if (name.empty())
        name = vantrel::FileNamePart(OwnExecutable(), "/");
    return name.empty() ? "vantrel" : name;
}

// The window's program: installed, it lies in the directory of programs that
// only other programs run, found from this program's own place so that any
// installation prefix works; in the build tree it lies beside this program.
std::string WindowProgram()
{
    const std::string self = OwnExecutable();
    const std::string directory = self.substr(0, self.rfind('/') + 1);
    const std::string installed = directory + VANTREL_WINDOW_FROM_BINDIR;
    return access(installed.c_str(), F_OK) == 0 ? installed : directory + "vantrel-window";
}

} // namespace

int main(int argc, char** argv)
{
    // What the starter left ignored is read before anything changes it.
    vantrel::StarterIgnoredSignals();
    OpenMissingStandardDescriptors();
    // Ignored SIGCHLD, inherited from a starter, would let the kernel reap our
    // children before we learn how the window ended.
    signal(SIGCHLD, SIG_DFL);
    const std::string programName = ProgramFileName(argc > 0 ? argv[0] : nullptr);
    std::vector<std::string> parameters;
    for (int i = 1; i < argc; ++i)
        parameters.emplace_back(argv[i]);
    const char* notRun = parameters.empty() ? "" : " The command was not run.";

    // Nothing is started that would have nowhere to show its output. The
    // check's connection is kept until the end: an X server that has just
    // seen a client leave makes the next one (the window's) wait.
    const vantrel::DisplayCheck display(getenv);
    if (!display.Why().empty()) {
        std::fprintf(stderr, "%s: no display to show a window on: %s.%s\n", programName.c_str(),
                     display.Why().c_str(), notRun);
        return 1;
    }
    const std::string window = WindowProgram();
    if (access(window.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "%s: the window's program %s cannot be run: %s.%s\n", programName.c_str(),
                     window.c_str(), std::strerror(errno), notRun);
        return 1;
    }
    return vantrel::RunVantrel(programName, parameters, {window});
}
