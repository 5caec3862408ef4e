// What the POSIX capture offers beyond Capture.h, for the supervisor that
// runs the command and the window (Supervisor_posix.h): starting the command
// with its output on a pipe, reading that pipe, and the drain loop on its
// own, which the capture test drives directly on the path taken without a
// process descriptor.
#pragma once

#include "Capture.h"
#include "Process_posix.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// The command, started; or, when it could not be started, the system's
// number for why (program.pid is then 0).
struct StartedCommand {
    StartedProgram program;
    Descriptor output;  // the read end of its standard output
    std::uint32_t error = 0;
};

// Splits the command line with the parameter splitter's rules and starts the
// first word, searched on PATH, with no shell in front: standard output on a
// pipe, standard input and error /dev/null, the given signals ignored and
// every other at its default, and the given environment (null: ours).
StartedCommand StartCommand(std::string_view commandLine, SignalSet ignored,
                            const std::vector<std::string>* environment = nullptr);

// Reads what the pipe holds into the buffer. Returns false at end-of-file or
// on a read error, when nothing more will come.
bool ReadChunk(int fd, CaptureBuffer& buffer);

// Takes what the pipe holds right now without waiting for more: a grandchild
// that inherited the write end may keep it open, or keep writing, for ever.
// Leaves the pipe non-blocking.
void TakeWhatIsLeft(int fd, CaptureBuffer& buffer);

// Reads the child's output pipe until the child has ended, reaps it and
// returns its output as OutputText. The pipe is read for as long as it is
// open and the child is looked at on every turn, so that a grandchild that
// holds the pipe open, or keeps writing, cannot hide the child's end.
// processFd is a descriptor that becomes readable when the child ends; where
// the kernel has none it is -1 and the child is looked at every 10 ms
// instead. Either way a child the kernel has already reaped (SIGCHLD
// ignored) counts as ended.
std::string DrainUntilChildEnds(pid_t pid, int readFd, int processFd);

} // namespace vantrel
