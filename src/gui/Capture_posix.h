// What the POSIX capture offers beyond Capture.h: passing the signals that
// ask us to end on to the running child, and the drain loop itself, which
// the capture test drives directly on the path taken without a process
// descriptor.
#pragma once

#include "Capture.h"

#include <sys/types.h>

namespace vantrel {

// From here on SIGTERM, SIGINT and SIGHUP no longer end the program: each one
// is noted, and a ChildCapture that is draining (in Finish) sends the same
// signal on to its child and goes on draining until the child has ended. A
// SIGINT that the kernel generated (a terminal's interrupt key) went to the
// whole foreground process group, the child included, and is not sent again.
// Meant for one capture at a time, as the program runs one. Call it before
// the child is started, so that no signal finds it unprepared.
void CatchEndSignals();

// Gives SIGTERM, SIGINT and SIGHUP their default action back and returns the
// number of the last one caught since CatchEndSignals, or 0 if none came.
int ReleaseEndSignals();

// Reads the child's output pipe into the buffer until the child has ended,
// then reaps it. The pipe is read for as long as it is open, the end signals
// caught meanwhile are passed on, and the child is looked at on every turn,
// so that a grandchild that holds the pipe open, or keeps writing, cannot
// hide the child's end. processFd is a descriptor that becomes readable when
// the child ends; where the kernel has none it is -1 and the child is looked
// at every 10 ms instead. Either way a child the kernel has already reaped
// (SIGCHLD ignored) counts as ended.
void DrainUntilChildEnds(pid_t pid, int readFd, int processFd, CaptureBuffer& buffer);

} // namespace vantrel
