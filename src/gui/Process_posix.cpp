// Starting programs with fork and exec (Process_posix.h). Everything the
// child needs is prepared before the fork: between fork and exec the child
// calls only functions that are safe there even when the parent has other
// threads (the capture test runs captures on several at once).
#include "Process_posix.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vantrel {

namespace {

// The number of signals the kernel has on this platform.
constexpr int LastSignal = 64;

// A signal's disposition as the kernel's own call takes it; only the handler
// is set or read here, the default or "ignore", which needs nothing else.
struct KernelSignalAction {
    void (*handler)(int);
    unsigned long flags;
    void (*restorer)();
    SignalSet mask;
};

// Where argv[0] may be found, in the order exec tries them: the name itself
// when it holds a slash, otherwise each directory of PATH (an empty entry is
// the current directory; without PATH, the system's default).
std::vector<std::string> ProgramCandidates(const std::string& name, const char* path)
{
    if (name.empty())
        return {};
    if (name.find('/') != std::string::npos)
        return {name};
    std::vector<std::string> candidates;
    std::string_view rest = path ? path : "/bin:/usr/bin";
    for (;;) {
        const std::size_t colon = rest.find(':');
        const std::string_view directory = rest.substr(0, colon);
        candidates.push_back((directory.empty() ? std::string(".") : std::string(directory)) + "/" + name);
        if (colon == std::string_view::npos)
            return candidates;
        rest.remove_prefix(colon + 1);
    }
}

const char* Lookup(const std::vector<std::string>* environment, const char* name)
{
    if (!environment)
        return getenv(name);
    const std::size_t length = std::strlen(name);
    for (const std::string& entry : *environment) {
        if (entry.size() > length && entry.compare(0, length, name) == 0 && entry[length] == '=')
            return entry.c_str() + length + 1;
    }
    return nullptr;
}

// Tells the parent why the child could not become the program, and ends it.
[[noreturn]] void ReportFailure(int report, int error)
{
    while (write(report, &error, sizeof error) < 0 && errno == EINTR) {
    }
    _exit(127);
}

// The child's side, after the fork: descriptors, signals, exec. Reports the
// error number of a failed exec through `report` and ends.
[[noreturn]] void BecomeProgram(const ProgramStart& start, const std::vector<std::string>& candidates,
                                char* const* argv, char* const* envp, pid_t parent, int report)
{
    if (start.endsWithUs) {
        // The parent may have ended between the fork and here.
        if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent)
            _exit(127);
    }

    // Standard descriptors first, from sources that lie above them.
    int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0 && null <= 2)
        null = fcntl(null, F_DUPFD_CLOEXEC, 3);
    if (null < 0)
        ReportFailure(report, errno);
    for (int target = 0; target <= 2; ++target) {
        const int source = start.standard[target] >= 0 ? start.standard[target] : null;
        const int result = source == target ? fcntl(target, F_SETFD, 0) : dup2(source, target);
        if (result < 0)
            ReportFailure(report, errno);
    }
    // Nothing else of ours goes on, but the report pipe stays until the exec.
    for (int fd = 3; fd < report; ++fd)
        close(fd);
    closefrom(report + 1);

    // The kernel's own call, which takes 32 and 33 as well: the C library
    // refuses the two it keeps for itself.
    for (int number = 1; number <= LastSignal; ++number) {
        if (number == SIGKILL || number == SIGSTOP)
            continue;
        KernelSignalAction action {};
        action.handler = Contains(start.ignored, number) ? SIG_IGN : SIG_DFL;
        syscall(SYS_rt_sigaction, number, &action, nullptr, KernelSetSize);
    }
    const SignalSet none = 0;
    syscall(SYS_rt_sigprocmask, SIG_SETMASK, &none, nullptr, KernelSetSize);

    // As the system's own search does: go on past a directory without the
    // program, stop at any other failure, and report "permission denied"
    // when that was met anywhere on the way.
    int error = ENOENT;
    bool denied = false;
    for (const std::string& candidate : candidates) {
        execve(candidate.c_str(), argv, envp);
        error = errno;
        if (error == EACCES)
            denied = true;
        else if (error != ENOENT && error != ENOTDIR && error != ESTALE && error != ENODEV && error != ETIMEDOUT)
            ReportFailure(report, error);
    }
    ReportFailure(report, denied ? EACCES : error);
}

} // namespace

void Descriptor::Reset(int fd)
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = fd;
}

SignalSet StarterIgnoredSignals()
{
    static const SignalSet ignored = [] {
        SignalSet set = 0;
        for (int number = 1; number <= LastSignal; ++number) {
            // Ignoring SIGCHLD is no ignoring but a request to have one's
            // children reaped unseen: Vantrel undoes it for itself (it must
            // learn how the window ended) and for the command alike.
            if (number == SIGCHLD)
                continue;
            KernelSignalAction action {};
            if (syscall(SYS_rt_sigaction, number, nullptr, &action, KernelSetSize) == 0 && action.handler == SIG_IGN)
                set |= SignalBit(number);
        }
        return set;
    }();
    return ignored;
}

int AboveStandardDescriptors(int fd)
{
    if (fd > 2 || fd < 0)
        return fd;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    close(fd);
    return moved;
}

StartedProgram StartProgram(const ProgramStart& start)
{
    StartedProgram started;
    const std::vector<std::string> candidates =
        ProgramCandidates(start.argv.empty() ? std::string() : start.argv[0], Lookup(start.environment, "PATH"));
    if (candidates.empty()) {
        started.error = ENOENT;
        return started;
    }
    std::vector<char*> argv;
    for (const std::string& word : start.argv)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    if (start.environment) {
        for (const std::string& entry : *start.environment)
            envp.push_back(const_cast<char*>(entry.c_str()));
        envp.push_back(nullptr);
    }

    // The exec's outcome comes back through a pipe that the exec closes: end
    // of file means the program runs, four bytes are the error number.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        started.error = errno;
        return started;
    }
    Descriptor reportRead(AboveStandardDescriptors(report[0]));
    Descriptor reportWrite(AboveStandardDescriptors(report[1]));
    if (reportRead.Get() < 0 || reportWrite.Get() < 0) {
        started.error = errno;
        return started;
    }
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        started.error = errno;
        return started;
    }
    if (pid == 0)
        BecomeProgram(start, candidates, argv.data(), start.environment ? envp.data() : environ, parent,
                      reportWrite.Get());
    reportWrite.Reset();

    int error = 0;
    ssize_t n;
    while ((n = read(reportRead.Get(), &error, sizeof error)) < 0 && errno == EINTR) {
    }
    if (n == sizeof error) {
        Reap(pid);
        started.error = error;
        return started;
    }
    started.pid = pid;
#ifdef SYS_pidfd_open
    const long fd = syscall(SYS_pidfd_open, pid, 0);
    started.processFd.Reset(fd >= 0 ? static_cast<int>(fd) : -1);
#endif
    return started;
}

bool HasEnded(pid_t pid, int* status)
{
    int waitStatus = 0;
    const pid_t result = waitpid(pid, &waitStatus, WNOHANG);
    if (status)
        *status = result == pid ? waitStatus : 0;
    return result == pid || (result < 0 && errno == ECHILD);
}

int Reap(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return 0;  // the kernel reaped it already: SIGCHLD was ignored
    }
    return status;
}

void SendSignal(pid_t pid, int processFd, int number)
{
#ifdef SYS_pidfd_send_signal
    if (processFd >= 0 && syscall(SYS_pidfd_send_signal, processFd, number, nullptr, 0) == 0)
        return;
#endif
    kill(pid, number);
}

} // namespace vantrel
