// What the capture offers on Linux beyond Capture.h: the companion that the
// supervisor hands its capture, and the capture's own loop, which watches the
// command and, with a companion, the window's process, its hand-over and the
// signals that ask Vantrel to end. The supervisor's loop is this loop: there
// is no other.
#pragma once

#include "Capture.h"
#include "Process_posix.h"
#include "Signals_posix.h"

#include <poll.h>
#include <sys/types.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace vantrel {

// The capture loop's poll slots, named by what each one watches. A slot with
// a negative descriptor is left out.
enum PollSlot : std::size_t {
    OutputSlot,    // the command's standard output
    CommandSlot,   // the command's end
    SignalSlot,    // the signals that ask Vantrel to end
    WindowSlot,    // the window's end
    HandoverSlot,  // the hand-over of the output to the window
    PollSlotCount
};
using PollSlots = std::array<pollfd, PollSlotCount>;

// The command as the capture's loop knows it.
struct CommandState {
    WatchedProcess process;
    bool running = false;
};

// What the supervisor's capture watches beside the command: the window's
// program, which is given the command's output (or the error text) once the
// command has ended and has a time limit to show it, and the signals that ask
// Vantrel to end, which go on to the command while it runs (Signals_posix.h).
// The window's end does not end the command: whatever becomes of the window,
// the command runs to its end with its output drained.
class CaptureCompanion {
public:
    // Starts the window whose program (by its absolute path) and first
    // parameters are `window`, for a command (with `usage`, for none: the
    // window then shows the usage message). It blocks the ending signals
    // that the starter did not ignore, makes the hand-over socket and starts
    // the window's program, which runs once this returns: before the
    // command, so that a command is never run whose window cannot be.
    CaptureCompanion(std::vector<std::string> window, std::string programName, bool usage);
    CaptureCompanion(const CaptureCompanion&) = delete;
    CaptureCompanion& operator=(const CaptureCompanion&) = delete;

    // Empty once the window's program runs; otherwise what failed, in words.
    // The command must then not be run.
    const std::string& StartFailure() const { return startFailure_; }

    // The environment the command starts with: ours without what belongs to
    // Vantrel's window, a launcher's start-up token and a compositor's
    // WAYLAND_SOCKET.
    const std::vector<std::string>& CommandEnvironment() const { return commandEnvironment_; }

    // The usage message: the window without a command. Ends as End does.
    int ShowUsage();

    // Vantrel's end once the capture has finished. After a signal that asked
    // Vantrel to end it ends this process by that signal (EndBySignal).
    // Otherwise it returns the exit status: 0 when the window was shown and
    // then closed, 1 with one line on standard error naming what failed.
    int End() const;

    // ---- The capture's loop calls these ----------------------------------
    // Whether the companion needs the loop no more (the window has ended).
    bool Done() const { return state_ == Window::Ended || state_ == Window::NotStarted; }
    // The longest the loop may wait before it looks again (-1: no limit).
    int WaitMs() const;
    // Fills the companion's slots.
    void Watch(PollSlots& slots) const;
    // Takes the signals that came: passes them on to the running command.
    void OnSignals(const CommandState& command);
    // The command has ended (or never started: `commandRan` false); the
    // window is to be given `text`.
    void OnCommandEnded(std::string text, bool commandRan);
    // What poll reported for the companion's slots, and the time limits.
    void OnEvents(const PollSlots& slots);

private:
    // The window's program, from its start to its end.
    enum class Window {
        NotStarted,   // it could not be started
        Waiting,      // started; the command runs
        HandingOver,  // the command has ended; its output is being handed over
        Showing,      // handed over; the window has ShowLimit to be on screen
        Shown,        // on screen until it is closed
        Ending,       // asked to end (window::EndRequest); killed after EndGrace
        Killed,       // killed; its end is on its way
        Ended,        // reaped
    };

    void StartWindow(std::vector<std::string> argv);
    void HandOver();
    void ReadShown();
    void EndWindow();
    void OnWindowEnded(int status);

    std::string programName_;
    SignalSet ignored_;
    SignalRelay relay_;
    std::vector<std::string> commandEnvironment_;
    std::string startFailure_;
    Descriptor handover_;  // our end of the window's standard input
    StartedProgram window_;
    Window state_ = Window::NotStarted;
    std::chrono::steady_clock::time_point deadline_;  // while Showing or Ending
    std::string text_;
    std::size_t handedOver_ = 0;
    bool commandRan_ = false;
    int endSignal_ = 0;
    int windowStatus_ = 0;
    bool endedBeforeShown_ = false;
    bool late_ = false;  // ended for not showing within ShowLimit
};

// The capture's own loop. It reads the command's output pipe until the
// command has ended, reaps it, and returns its output as OutputText. The
// pipe is read for as long as it is open and the command is looked at on
// every turn, so that a grandchild that holds the pipe open, or keeps
// writing, cannot hide the command's end; a command the kernel has already
// reaped (SIGCHLD ignored) counts as ended. With a companion, the loop runs
// on until the companion is done, gives it what `textOf` makes of the output
// once the command has ended, and after that drains the pipe and discards
// what comes, so that a grandchild that writes on never blocks. Without a
// command (pid 0) it runs the companion alone.
std::string RunCaptureLoop(WatchedProcess command, int output, CaptureCompanion* companion = nullptr,
                           const std::function<std::string(std::string)>& textOf = {});

} // namespace vantrel
