// Starting a program on Linux, the command or the window: finding it on PATH,
// exactly the descriptors and signal dispositions it should have, and its
// environment; then watching for its end, and reading what it writes. Each is
// started by vfork and exec, so that the child's signal dispositions, signal
// mask and descriptors are exactly what is asked for here, real-time signals
// included, and a program search on PATH reports the same error numbers as
// the system's own spawn does.
#pragma once

#include "Signals_posix.h"

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
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

// What a program is started with. Standard input, output and error are the
// given descriptors, or /dev/null where one is -1; no other descriptor of
// ours reaches it but the one to keep. Every signal starts at its default
// action except those in `ignored`, with an empty signal mask.
struct ProgramStart {
    std::vector<std::string> argv;    // argv[0] is searched on PATH unless it holds a '/'
    int standard[3] = {-1, -1, -1};
    SignalSet ignored = 0;
    const std::vector<std::string>* environment = nullptr;  // null: our own
    bool endsWithUs = false;          // killed when this process ends, however it ends
    int keep = -1;                    // a descriptor it gets at the same number (-1: none)
};

// A started program: its pid (0 when it could not be started, `error` then
// holding the system's error number) and a descriptor that becomes readable
// when it ends (-1 where the kernel has none).
struct StartedProgram {
    pid_t pid = 0;
    int error = 0;
    Descriptor processFd;
};

// A child as a poll loop watches it: its pid (0: none) and a descriptor that
// becomes readable when it ends (-1: there is none, and the loop looks at it
// every 10 ms instead).
struct WatchedProcess {
    pid_t pid = 0;
    int processFd = -1;
};
inline WatchedProcess Watched(const StartedProgram& program) { return {program.pid, program.processFd.Get()}; }

StartedProgram StartProgram(const ProgramStart& start);

// Our own environment without the variables named.
std::vector<std::string> EnvironmentWithout(std::initializer_list<std::string_view> names);

// Moves a descriptor to 3 or above, so that setting up a child's standard
// descriptors cannot overwrite it; closes the original. Returns -1 on failure.
int AboveStandardDescriptors(int fd);

// Whether the child has ended, without waiting; reaps it if it has, storing
// its wait status. A child the kernel reaped itself (SIGCHLD ignored) counts
// as ended, with status 0.
bool HasEnded(pid_t pid, int* status = nullptr);

// Waits for the child's end and reaps it; its wait status.
int Reap(pid_t pid);

// Whether a watched child has ended, given what poll reported for its
// process descriptor; reaps it if it has, storing its wait status.
bool HasEnded(const WatchedProcess& process, short revents, int& status);

// Reads what the descriptor holds now and hands it to `take`, until a read
// comes back short (there is no more for now) or `limit` bytes have come, so
// that a writer that never stops cannot hold the caller. Returns true once
// the descriptor has ended (end of file, or a read error): nothing more will
// come. This is the one loop that reads a pipe or socket to its end: the
// capture's, the window's and the test children's.
bool ReadWhatIsThere(int fd, const std::function<void(std::string_view)>& take, std::size_t limit = SIZE_MAX);

} // namespace vantrel
