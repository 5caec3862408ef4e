// Signals on Linux: the signal set by the kernel's numbers, the signals the
// starter left ignored, those that ask Vantrel to end and how each reaches
// the command (the relay), and whether a process is stopped.
//
// Every signal whose default action ends a process (SIGKILL aside, which
// cannot be caught) is blocked and read from a signal descriptor instead, so
// that none can end Vantrel while the command runs and leave it behind. One
// that the starter ignored stays ignored and is never looked at. Each signal
// that comes while the command runs goes on to the command once, unless the
// command has it already or sent it itself, and a stopped command is then
// continued; Vantrel ends with 128 + the first one once the command has ended.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantrel {

// A set of signals by the kernel's numbers 1 to 64, bit N-1 for signal N.
// (The C library's own set functions refuse the two real-time signals it
// keeps for itself, 32 and 33.)
using SignalSet = std::uint64_t;
// Its size in bytes, as the kernel's signal calls take it: the kernel's set
// is 64 bits on every platform the program builds for.
constexpr std::size_t KernelSetSize = sizeof(SignalSet);
// The number of signals the kernel has on this platform.
constexpr int LastSignal = 64;
constexpr SignalSet SignalBit(int number) { return SignalSet{1} << (number - 1); }
inline bool Contains(SignalSet set, int number) { return (set & SignalBit(number)) != 0; }

// The signals this process was started with set to "ignore", SIGCHLD aside,
// read the first time it is asked; main asks before it changes any
// disposition. They stay ignored in every process Vantrel starts, as they
// would have been had the starter run the command itself (nohup's SIGHUP is
// one).
SignalSet StarterIgnoredSignals();

// In a child between fork and exec: every signal at its default action but
// those in `ignored`, and none blocked. Calls only the kernel, so it is safe
// there however many threads the parent has.
void ResetSignals(SignalSet ignored);

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
// and process group, the sender's process group (-1 when unknown), and
// whether the sender descends from the command (read while it lives).
struct SignalFamily {
    pid_t self = 0;
    pid_t ownGroup = 0;
    bool sessionLeader = false;
    pid_t command = 0;
    pid_t commandGroup = 0;
    pid_t senderGroup = -1;
    bool senderDescends = false;
};

// The family as it stands now, for a signal that came while the command runs.
SignalFamily FamilyOf(const SignalOrigin& origin, pid_t command);

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
// - a signal from the command or a process it started, or from a process in
//   a process group that the command or Vantrel leads (the command's own
//   processes, as `kill 0` there sends it to all of them), reached the
//   command or came from it; in a group that someone else leads (a script's),
//   only the command's descendants are its own;
// - any other is passed on. (Sent with kill to a whole process group from
//   outside, it cannot be told from one sent to Vantrel alone.)
SignalRoute RouteSignal(const SignalOrigin& origin, const SignalFamily& family);

// Blocks the given signals for as long as it lives, and reads them from a
// descriptor.
class SignalRelay {
public:
    explicit SignalRelay(SignalSet watched);
    ~SignalRelay();
    SignalRelay(const SignalRelay&) = delete;
    SignalRelay& operator=(const SignalRelay&) = delete;

    // -1 when no descriptor could be had; errno then says why.
    int Fd() const { return fd_; }

    // The signals that have come since the last call, in order.
    std::vector<SignalOrigin> Take();

private:
    SignalSet blocked_ = 0;
    int fd_ = -1;
};

// Whether the process is stopped (by SIGSTOP, SIGTSTP, SIGTTIN or SIGTTOU).
bool IsStopped(pid_t pid);

// Sends a signal to a child that has not been reaped yet, through its process
// descriptor where there is one (-1: none).
void SendSignal(pid_t pid, int processFd, int number);

// Ends this process the way the signal would have ended it had it not been
// caught, as a careful wrapper does once its child has ended: its default
// action, unblocked, raised, with no core file. A shell then sees the death
// by the signal ($? still 128 + N) and stops its loop after Ctrl-C.
[[noreturn]] void EndBySignal(int number);

} // namespace vantrel
