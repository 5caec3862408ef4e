// Starting and watching the processes Vantrel runs on Linux: the command and
// the window. Each is started by fork and exec, so that the child's signal
// dispositions, signal mask and descriptors are exactly what is asked for
// here, real-time signals included, and a program search on PATH reports the
// same error numbers as the system's own spawn does.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vantrel {

// Owns one descriptor and closes it when it goes out of scope.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd_(other.Release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept
    {
        Reset(other.Release());
        return *this;
    }
    ~Descriptor() { Reset(); }

    int Get() const { return fd_; }
    void Reset(int fd = -1);
    int Release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_ = -1;
};

// A set of signals by the kernel's numbers 1 to 64, bit N-1 for signal N.
// (The C library's own set functions refuse the two real-time signals it
// keeps for itself, 32 and 33.)
using SignalSet = std::uint64_t;
// Its size in bytes, as the kernel's signal calls take it: the kernel's set
// is 64 bits on every platform the program builds for.
constexpr std::size_t KernelSetSize = sizeof(SignalSet);
constexpr SignalSet SignalBit(int number) { return SignalSet{1} << (number - 1); }
inline bool Contains(SignalSet set, int number) { return (set & SignalBit(number)) != 0; }

// The signals this process was started with set to "ignore", SIGCHLD aside,
// read the first time it is asked; main asks before it changes any
// disposition. They stay ignored in every process Vantrel starts, as they
// would have been had the starter run the command itself (nohup's SIGHUP is
// one).
SignalSet StarterIgnoredSignals();

// What a program is started with. Standard input, output and error are the
// given descriptors, or /dev/null where one is -1; no other descriptor of
// ours reaches it. Every signal starts at its default action except those
// in `ignored`, with an empty signal mask.
struct ProgramStart {
    std::vector<std::string> argv;    // argv[0] is searched on PATH unless it holds a '/'
    int standard[3] = {-1, -1, -1};
    SignalSet ignored = 0;
    const std::vector<std::string>* environment = nullptr;  // null: our own
    bool endsWithUs = false;          // killed when this process ends, however it ends
};

// A started program: its pid (0 when it could not be started, `error` then
// holding the system's error number) and a descriptor that becomes readable
// when it ends (-1 where the kernel has none).
struct StartedProgram {
    pid_t pid = 0;
    int error = 0;
    Descriptor processFd;
};

StartedProgram StartProgram(const ProgramStart& start);

// Moves a descriptor to 3 or above, so that setting up a child's standard
// descriptors cannot overwrite it; closes the original. Returns -1 on failure.
int AboveStandardDescriptors(int fd);

// Whether the child has ended, without waiting; reaps it if it has, storing
// its wait status. A child the kernel reaped itself (SIGCHLD ignored) counts
// as ended, with status 0.
bool HasEnded(pid_t pid, int* status = nullptr);

// Waits for the child's end and reaps it; its wait status.
int Reap(pid_t pid);

// Sends a signal to a child that has not been reaped yet, through its process
// descriptor where there is one (-1: none).
void SendSignal(pid_t pid, int processFd, int number);

} // namespace vantrel
