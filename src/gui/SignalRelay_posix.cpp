#include "SignalRelay_posix.h"

#include <csignal>
#include <fstream>
#include <string>
#include <sys/signalfd.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vantrel {

SignalSet EndingSignals()
{
    // Those whose default action is to ignore, stop or continue, and SIGKILL.
    SignalSet others = 0;
    for (const int number : {SIGKILL, SIGCHLD, SIGCONT, SIGSTOP, SIGTSTP, SIGTTIN, SIGTTOU, SIGURG, SIGWINCH})
        others |= SignalBit(number);
    return ~others;
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
    if (origin.sender == family.command)
        return SignalRoute::Reached;
    const bool commandLeadsItsGroup = family.commandGroup == family.command;
    const bool weLeadOurGroup = family.ownGroup == family.self;
    if (family.senderGroup > 0 && ((commandLeadsItsGroup && family.senderGroup == family.commandGroup) ||
                                   (weLeadOurGroup && family.senderGroup == family.ownGroup)))
        return SignalRoute::Reached;
    return SignalRoute::PassOn;
}

SignalRelay::SignalRelay(SignalSet starterIgnored) : blocked_(EndingSignals() & ~starterIgnored)
{
    // The system calls themselves: the C library would leave out 32 and 33.
    syscall(SYS_rt_sigprocmask, SIG_BLOCK, &blocked_, nullptr, KernelSetSize);
    const long fd = syscall(SYS_signalfd4, -1, &blocked_, KernelSetSize, SFD_CLOEXEC | SFD_NONBLOCK);
    fd_.Reset(AboveStandardDescriptors(fd >= 0 ? static_cast<int>(fd) : -1));
}

SignalRelay::~SignalRelay()
{
    syscall(SYS_rt_sigprocmask, SIG_UNBLOCK, &blocked_, nullptr, KernelSetSize);
}

std::vector<SignalOrigin> SignalRelay::Take()
{
    std::vector<SignalOrigin> taken;
    signalfd_siginfo info[8];
    ssize_t n;
    while ((n = read(fd_.Get(), info, sizeof info)) > 0) {
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

bool IsStopped(pid_t pid)
{
    // The state follows the command's name in parentheses, which may itself
    // hold parentheses.
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    std::getline(file, stat);
    const std::size_t nameEnd = stat.rfind(')');
    return nameEnd != std::string::npos && nameEnd + 2 < stat.size() && stat[nameEnd + 2] == 'T';
}

} // namespace vantrel
