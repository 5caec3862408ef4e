// Signals on Linux (Signals_posix.h). The kernel's own calls are used where
// the C library would leave out the two real-time signals it keeps for
// itself, 32 and 33.
#include "Signals_posix.h"

#include "Process_posix.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vantrel {

namespace {

// A signal's disposition as the kernel's own call takes it; only the handler
// is set or read here, the default or "ignore", which needs nothing else.
struct KernelSignalAction {
    void (*handler)(int);
    unsigned long flags;
    void (*restorer)();
    SignalSet mask;
};

// What /proc/<pid>/stat says of a process: its state ('T' stopped, '?' when
// it is gone) and its parent. Its name, in parentheses, may itself hold
// parentheses and blanks: the fields are read after the last ')'.
struct ProcessStat {
    char state = '?';
    pid_t parent = 0;
};

ProcessStat ReadStat(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    std::getline(file, stat);
    ProcessStat read;
    const std::size_t nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos || nameEnd + 2 >= stat.size())
        return read;
    read.state = stat[nameEnd + 2];
    read.parent = static_cast<pid_t>(std::atol(stat.c_str() + std::min(stat.size(), nameEnd + 4)));
    return read;
}

// Whether the process descends from the ancestor, by its chain of parents.
bool DescendsFrom(pid_t pid, pid_t ancestor)
{
    for (int depth = 0; depth < 64 && pid > 1; ++depth) {
        pid = ReadStat(pid).parent;
        if (pid == ancestor)
            return true;
    }
    return false;
}

} // namespace

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

void ResetSignals(SignalSet ignored)
{
    for (int number = 1; number <= LastSignal; ++number) {
        if (number == SIGKILL || number == SIGSTOP)
            continue;
        KernelSignalAction action {};
        action.handler = Contains(ignored, number) ? SIG_IGN : SIG_DFL;
        syscall(SYS_rt_sigaction, number, &action, nullptr, KernelSetSize);
    }
    const SignalSet none = 0;
    syscall(SYS_rt_sigprocmask, SIG_SETMASK, &none, nullptr, KernelSetSize);
}

SignalSet EndingSignals()
{
    // Those whose default action is to ignore, stop or continue, and SIGKILL.
    SignalSet others = 0;
    for (const int number : {SIGKILL, SIGCHLD, SIGCONT, SIGSTOP, SIGTSTP, SIGTTIN, SIGTTOU, SIGURG, SIGWINCH})
        others |= SignalBit(number);
    return ~others;
}

SignalFamily FamilyOf(const SignalOrigin& origin, pid_t command)
{
    SignalFamily family;
    family.self = getpid();
    family.ownGroup = getpgrp();
    family.sessionLeader = getsid(0) == family.self;
    family.command = command;
    family.commandGroup = getpgid(command);
    family.senderGroup = origin.sender > 0 ? getpgid(origin.sender) : -1;
    family.senderDescends = origin.sender > 0 && DescendsFrom(origin.sender, command);
    return family;
}

SignalRoute RouteSignal(const SignalOrigin& origin, const SignalFamily& family)
{
    if (origin.fromKernel) {
        const int n = origin.number;
        const bool toForegroundGroup = n == SIGINT || n == SIGQUIT || (n == SIGHUP && !family.sessionLeader);
        return toForegroundGroup && family.commandGroup == family.ownGroup ? SignalRoute::Reached
                                                                          : SignalRoute::PassOn;
    }
    if (origin.sender == family.self)
        return SignalRoute::Ignore;
    if (origin.sender == family.command || family.senderDescends)
        return SignalRoute::Reached;
    const bool commandLeadsItsGroup = family.commandGroup == family.command;
    const bool weLeadOurGroup = family.ownGroup == family.self;
    if (family.senderGroup > 0 && ((commandLeadsItsGroup && family.senderGroup == family.commandGroup) ||
                                   (weLeadOurGroup && family.senderGroup == family.ownGroup)))
        return SignalRoute::Reached;
    return SignalRoute::PassOn;
}

SignalRelay::SignalRelay(SignalSet watched) : blocked_(watched)
{
    syscall(SYS_rt_sigprocmask, SIG_BLOCK, &blocked_, nullptr, KernelSetSize);
    const long fd = syscall(SYS_signalfd4, -1, &blocked_, KernelSetSize, SFD_CLOEXEC | SFD_NONBLOCK);
    fd_ = AboveStandardDescriptors(fd >= 0 ? static_cast<int>(fd) : -1);
}

SignalRelay::~SignalRelay()
{
    if (fd_ >= 0)
        close(fd_);
    syscall(SYS_rt_sigprocmask, SIG_UNBLOCK, &blocked_, nullptr, KernelSetSize);
}

std::vector<SignalOrigin> SignalRelay::Take()
{
    std::vector<SignalOrigin> taken;
    signalfd_siginfo info[8];
    ssize_t n;
    while ((n = read(fd_, info, sizeof info)) > 0) {
        for (ssize_t i = 0; i < n / static_cast<ssize_t>(sizeof info[0]); ++i) {
            // Codes above zero are the kernel's own; zero and below are kill,
            // sigqueue and the like, sent by a process.
            const bool fromKernel = info[i].ssi_code > 0;
            taken.push_back({static_cast<int>(info[i].ssi_signo), fromKernel,
                             fromKernel ? 0 : static_cast<pid_t>(info[i].ssi_pid)});
        }
    }
    return taken;
}

bool IsStopped(pid_t pid) { return ReadStat(pid).state == 'T'; }

void SendSignal(pid_t pid, int processFd, int number)
{
#ifdef SYS_pidfd_send_signal
    if (processFd >= 0 && syscall(SYS_pidfd_send_signal, processFd, number, nullptr, 0) == 0)
        return;
#endif
    kill(pid, number);
}

void EndBySignal(int number)
{
    // No core file: the signal was the command's to act on, not a fault of ours.
    prctl(PR_SET_DUMPABLE, 0);
    const rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
    KernelSignalAction action {};
    action.handler = SIG_DFL;
    syscall(SYS_rt_sigaction, number, &action, nullptr, KernelSetSize);
    const SignalSet set = SignalBit(number);
    syscall(SYS_rt_sigprocmask, SIG_UNBLOCK, &set, nullptr, KernelSetSize);
    // The kernel's own call, which takes 32 and 33 as well: the C library
    // keeps those two for itself.
    syscall(SYS_tgkill, getpid(), static_cast<pid_t>(syscall(SYS_gettid)), number);
    // Only a signal whose default action does not end a process gets here.
    _exit(128 + number);
}

} // namespace vantrel
