// Starting programs with vfork and exec (Process_posix.h). Everything the
// child needs is prepared before the vfork: between vfork and exec the child
// makes only system calls, which are safe there even when the parent has
// other threads (the capture test runs captures on several at once) and
// while it shares the parent's memory.
#include "Process_posix.h"

#include <algorithm>
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

// The words as exec takes them, null-terminated.
std::vector<char*> Pointers(const std::vector<std::string>& words)
{
    std::vector<char*> pointers;
    for (const std::string& word : words)
        pointers.push_back(const_cast<char*>(word.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

// What the child reports through the pipe that its exec closes: end of file
// when the program runs (0), or the error number of a failed exec.
int ExecFailure(int report)
{
    int error = 0;
    ssize_t n;
    while ((n = read(report, &error, sizeof error)) < 0 && errno == EINTR) {
    }
    return n == sizeof error ? error : 0;
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
    // Nothing else of ours goes on, but the report pipe stays until the exec,
    // and the descriptor to keep stays for good.
    int next = 3;
    for (const int kept : {std::min(report, start.keep), std::max(report, start.keep)}) {
        for (; next < kept; ++next)
            close(next);
        next = std::max(next, kept + 1);
    }
    closefrom(next);
    if (start.keep >= 0 && fcntl(start.keep, F_SETFD, 0) < 0)
        ReportFailure(report, errno);

    ResetSignals(start.ignored);

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
    std::vector<char*> argv = Pointers(start.argv);
    std::vector<char*> envp = start.environment ? Pointers(*start.environment) : std::vector<char*>();

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
    // vfork: this thread waits until the child has become the program, or
    // failed to, without the cost of copying our memory for it; the command
    // starts that much sooner after the window's program. The child shares
    // our memory until then, so it only makes system calls on what was
    // prepared above, with every signal blocked until it has set its own
    // dispositions: no handler of ours can run in it.
    const pid_t parent = getpid();
    const SignalSet all = ~SignalSet{0};
    SignalSet mask = 0;
    syscall(SYS_rt_sigprocmask, SIG_SETMASK, &all, &mask, KernelSetSize);
    const pid_t pid = vfork();
    if (pid == 0)
        BecomeProgram(start, candidates, argv.data(), start.environment ? envp.data() : environ, parent,
                      reportWrite.Get());
    const int forkError = errno;
    syscall(SYS_rt_sigprocmask, SIG_SETMASK, &mask, nullptr, KernelSetSize);
    if (pid < 0) {
        started.error = forkError;
        return started;
    }
    reportWrite.Reset();

    started.error = ExecFailure(reportRead.Get());
    if (started.error != 0) {
        Reap(pid);
        return started;
    }
    started.pid = pid;
#ifdef SYS_pidfd_open
    const long fd = syscall(SYS_pidfd_open, pid, 0);
    started.processFd.Reset(fd >= 0 ? static_cast<int>(fd) : -1);
#endif
    return started;
}

std::vector<std::string> EnvironmentWithout(std::initializer_list<std::string_view> names)
{
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string_view variable(*entry);
        const std::string_view name = variable.substr(0, variable.find('='));
        if (std::find(names.begin(), names.end(), name) == names.end())
            environment.emplace_back(variable);
    }
    return environment;
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

bool HasEnded(const WatchedProcess& process, short revents, int& status)
{
    if (process.processFd < 0)
        return HasEnded(process.pid, &status);
    if (revents == 0)
        return false;
    status = Reap(process.pid);
    return true;
}

bool ReadWhatIsThere(int fd, const std::function<void(std::string_view)>& take, std::size_t limit)
{
    // Larger than the capture's kept area: past its first 8192 bytes the
    // output is only drained, and big reads keep that cheap.
    char chunk[65536];
    for (std::size_t done = 0; done < limit;) {
        const ssize_t n = read(fd, chunk, std::min(sizeof chunk, limit - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return !(n < 0 && errno == EAGAIN);
        take(std::string_view(chunk, static_cast<std::size_t>(n)));
        done += static_cast<std::size_t>(n);
        if (static_cast<std::size_t>(n) < sizeof chunk)
            return false;
    }
    return false;
}

} // namespace vantrel
