// The program's entry point on Linux: the supervisor, the `vantrel` that the
// user runs, and its whole start-up. It links no toolkit. It makes sure there
// is a display to show the window on, then starts the command at once and
// the window beside it, a program of its own (gui_qt.cpp), and watches over
// both until the end: the capture with the window as its companion
// (Capture_posix.h). Whatever becomes of the window, the command runs to its
// end with its output drained.
#include "Capture.h"
#include "Capture_posix.h"
#include "CommandLine.h"
#include "DisplayCheck_posix.h"
#include "Signals_posix.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
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

// Where the window's program may lie, always by an absolute path: installed,
// in the directory of programs that only other programs run, found from this
// program's own place so that any installation prefix works; in the build
// tree beside this program; and, where /proc cannot say where this program
// is, at the installed path the build was made for. Never relative to the
// current directory, never on PATH.
std::vector<std::string> WindowProgramPlaces()
{
    std::vector<std::string> places;
    const std::string self = OwnExecutable();
    if (!self.empty() && self.front() == '/') {
        const std::string directory = self.substr(0, self.rfind('/') + 1);
        places = {directory + VANTREL_WINDOW_FROM_BINDIR, directory + "vantrel-window"};
    }
    places.emplace_back(VANTREL_WINDOW_INSTALLED);
    return places;
}

// The first of the places that holds the window's program; it is started by
// that same path. Empty when none does, `why` then saying so.
std::string WindowProgram(std::string& why)
{
    const std::vector<std::string> places = WindowProgramPlaces();
    for (const std::string& place : places) {
        if (access(place.c_str(), F_OK) == 0)
            return place;
    }
    why = "the window's program is not installed: it is not at " + places.front();
    for (std::size_t i = 1; i < places.size(); ++i)
        why += (i + 1 < places.size() ? ", " : " or ") + places[i];
    return "";
}

// Says on standard error why Vantrel cannot go on, adding, when there was a
// command line, that it was not run; exit status 1.
int Refuse(const std::string& programName, const std::string& why, bool commandGiven)
{
    std::fprintf(stderr, "%s: %s.%s\n", programName.c_str(), why.c_str(),
                 commandGiven ? " The command was not run." : "");
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    // What the starter left ignored is read before anything changes it.
    vantrel::StarterIgnoredSignals();
    // A write to a standard error whose reader has gone fails instead of
    // ending us: the exit status stays the one documented.
    signal(SIGPIPE, SIG_IGN);
    OpenMissingStandardDescriptors();
    // Ignored SIGCHLD, inherited from a starter, would let the kernel reap our
    // children before we learn how the window ended.
    signal(SIGCHLD, SIG_DFL);
    const std::string programName = ProgramFileName(argc > 0 ? argv[0] : nullptr);
    const std::vector<std::string> parameters(argv + std::min(argc, 1), argv + argc);
    const bool usage = parameters.empty();

    // Nothing is started that would have nowhere to show its output. The
    // check's connection is kept until the end: an X server that has just
    // seen a client leave makes the next one (the window's) wait.
    const vantrel::DisplayCheck display(getenv);
    if (!display.Why().empty())
        return Refuse(programName, "no display to show a window on: " + display.Why(), !usage);
    std::string why;
    const std::string window = WindowProgram(why);
    if (window.empty())
        return Refuse(programName, why, !usage);

    // The window's program first, known to run its program before the
    // command starts: a command is never run that has no window to show in.
    vantrel::CaptureCompanion companion({window}, programName, usage);
    if (!companion.StartFailure().empty())
        return Refuse(programName, companion.StartFailure(), !usage);
    if (usage)
        return companion.ShowUsage();
    vantrel::ChildCapture capture(vantrel::JoinParameters(parameters), &companion);
    capture.Finish();
    return companion.End();
}
