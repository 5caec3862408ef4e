// The supervisor: the part of Vantrel on Linux that owns the command's whole
// life and links no toolkit, so that nothing the toolkit does (a platform that
// cannot load, an abort, a crash, a lost display) can end it early.
//
// One thread runs one poll loop over the command's end (its process
// descriptor), its output pipe, the signal descriptor and the window
// process's end and hand-over pipe. The command's output is kept as the
// capture keeps it until the command has ended; then it is handed over to
// the window process, and the pipe is still drained (and the rest discarded)
// while the window is open, so that a grandchild that writes on never blocks.
#pragma once

#include "Capture.h"
#include "Process_posix.h"

#include <sys/types.h>

#include <string>
#include <vector>

namespace vantrel {

class SignalRelay;

// A child process as the loop watches it: its pid (0: none) and a
// descriptor that becomes readable when it ends (-1: looked at every 10 ms).
struct WatchedProcess {
    pid_t pid = 0;
    int processFd = -1;
};

class Supervisor {
public:
    // Watches a running command and drains its output pipe. Without a
    // command (pid 0), `output` is -1 and the loop has only a window to run.
    Supervisor(WatchedProcess command, int output);

    // Sends the signals that come while the command runs on to it.
    void RelaySignals(SignalRelay& relay);
    // A window process that is given the command's output, or `text` when
    // there is no command, through `handover` once the command has ended.
    // Without a handover pipe it is given nothing (the usage message).
    void ShowIn(WatchedProcess window, Descriptor handover, std::string text = {});

    // Runs until the command has ended and, with a window, until the window
    // has ended too. When a signal came while the command ran, the window is
    // ended at the command's end instead of being given the output; when one
    // comes after, it is ended at once.
    void Run();

    // The command's output as OutputText (once the command has ended).
    const std::string& Output() const { return text_; }
    // The first signal that asked Vantrel to end, or 0.
    int EndSignal() const { return endSignal_; }
    // The window's wait status, and whether it ended before it was given the
    // whole output (its failure, or a signal's doing).
    int WindowStatus() const { return windowStatus_; }
    bool WindowEndedEarly() const { return windowEndedEarly_; }

private:
    static bool Ended(const WatchedProcess& process, short revents, int& status);
    void OnOutput();
    void OnSignals();
    void OnCommandEnded();
    void OnHandoverWritable();
    void OnWindowEnded();
    void EndWindow();

    WatchedProcess command_;
    int output_ = -1;
    bool commandRunning_ = false;
    CaptureBuffer buffer_;
    std::string text_;
    SignalRelay* relay_ = nullptr;
    int endSignal_ = 0;
    WatchedProcess window_;
    bool windowRunning_ = false;
    bool windowEnded_ = false;
    Descriptor handover_;
    std::size_t handedOver_ = 0;
    bool handoverDue_ = false;
    int windowStatus_ = 0;
    bool windowEndedEarly_ = false;
};

// The window process's first parameter when it is to show the usage message
// instead of the output; its last one is always Vantrel's program name.
inline constexpr const char* WindowShowsUsage = "--usage";
// The window process's exit status when the toolkit has no screen to show
// the window on.
inline constexpr int WindowFoundNoScreen = 3;

// One run of Vantrel on Linux once the display check has passed: starts the
// command line (none: the usage message) and the window process, whose
// program and first parameters are `window`, supervises both, and returns
// the exit status: the window's when it was shown and closed, 128 + N after
// signal N, and 1, with one line on standard error naming what failed, when
// the window failed. `programName` names Vantrel in messages and the usage.
int RunVantrel(const std::string& programName, const std::vector<std::string>& parameters,
               const std::vector<std::string>& window);

} // namespace vantrel
