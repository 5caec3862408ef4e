// The signals that ask Vantrel to end, and how they reach the command.
//
// Every signal whose default action ends a process (SIGKILL aside, which
// cannot be caught) is blocked and read from a signal descriptor instead, so
// that none can end Vantrel while the command runs and leave it behind. One
// that the starter ignored stays ignored and is never looked at. Each signal
// that comes while the command runs goes on to the command once, unless the
// command has it already or sent it itself, and a stopped command is then
// continued; Vantrel ends with 128 + the first one once the command has ended.
#pragma once

#include "Process_posix.h"

#include <sys/types.h>

#include <vector>

namespace vantrel {

// Every signal whose default action ends a process, SIGKILL aside.
SignalSet EndingSignals();

// Where a signal came from, as the kernel reports it.
struct SignalOrigin {
    int number = 0;
    bool fromKernel = false;  // sent by the kernel itself: a terminal's keys or hang-up
    pid_t sender = 0;         // the process that sent it, when one did
};

// Who was where when it came: our own pid and process group, whether we lead
// a session (a terminal's hang-up then goes to us alone), the command's pid
// and process group, and the sender's process group (-1 when unknown).
struct SignalFamily {
    pid_t self = 0;
    pid_t ownGroup = 0;
    bool sessionLeader = false;
    pid_t command = 0;
    pid_t commandGroup = 0;
    pid_t senderGroup = -1;
};

enum class SignalRoute {
    PassOn,    // send it on to the command; it asks Vantrel to end
    Reached,   // the command has it already, or sent it: it asks Vantrel to end
    Ignore,    // our own doing (a write to a closed standard error): nothing
};

// The relay's rules, for one signal that came while the command runs:
// - a signal Vantrel sent itself is ignored;
// - a terminal's interrupt, quit or hang-up went to the terminal's whole
//   foreground process group, so it reached the command if the command is in
//   ours, and not if it left it (setsid, timeout) or if the hang-up came to
//   us as the session's leader;
// - a signal from the command, or from a process in a process group that the
//   command or Vantrel leads (the command's own processes, as `kill 0` there
//   sends it to all of them), reached the command or came from it;
// - any other is passed on. (Sent with kill to a whole process group from
//   outside, it cannot be told from one sent to Vantrel alone.)
SignalRoute RouteSignal(const SignalOrigin& origin, const SignalFamily& family);

// Blocks the ending signals but the starter's ignored ones for as long as it
// lives, and reads them from a descriptor.
class SignalRelay {
public:
    explicit SignalRelay(SignalSet starterIgnored);
    ~SignalRelay();
    SignalRelay(const SignalRelay&) = delete;
    SignalRelay& operator=(const SignalRelay&) = delete;

    // -1 when no descriptor could be had; errno then says why.
    int Fd() const { return fd_.Get(); }

    // The signals that have come since the last call, in order.
    std::vector<SignalOrigin> Take();

private:
    SignalSet blocked_ = 0;
    Descriptor fd_;
};

// Whether the process is stopped (by SIGSTOP, SIGTSTP, SIGTTIN or SIGTTOU).
bool IsStopped(pid_t pid);

} // namespace vantrel
