// The supervisor's companion to the capture (Capture_posix.h): the window's
// program, the hand-over of the output to it, the signals that ask Vantrel
// to end, and Vantrel's exit status. The supervisor links no toolkit, so that
// nothing the toolkit does (a platform that cannot load, an abort, a crash,
// a lost display) can end it early.
#include "Capture_posix.h"

#include "WindowProtocol_posix.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vantrel {

namespace {

// How the window's program ended, in words.
std::string HowItEnded(int status)
{
    if (WIFSIGNALED(status))
        return "was ended by signal " + std::to_string(WTERMSIG(status)) + " (" + strsignal(WTERMSIG(status)) + ")";
    if (WEXITSTATUS(status) == window::FoundNoScreen)
        return "found no screen to show on";
    return "ended with exit status " + std::to_string(WEXITSTATUS(status));
}

int Fail(const std::string& programName, const std::string& what)
{
    std::fprintf(stderr, "%s: %s\n", programName.c_str(), what.c_str());
    return 1;
}

} // namespace

CaptureCompanion::CaptureCompanion(std::vector<std::string> window, std::string programName, bool usage)
    : windowArgv_(std::move(window)), programName_(std::move(programName)), usage_(usage),
      ignored_(StarterIgnoredSignals()), relay_(EndingSignals() & ~ignored_),
      // The launcher's start-up token belongs to Vantrel's window: the command
      // is started without it, the window with our whole environment.
      commandEnvironment_(EnvironmentWithout({"DESKTOP_STARTUP_ID", "XDG_ACTIVATION_TOKEN"}))
{
    int ends[2] = {-1, -1};
    if (relay_.Fd() < 0 || pipe2(ends, O_CLOEXEC) != 0) {
        startFailure_ = std::string("cannot start: ") + std::strerror(errno);
        return;
    }
    handoverRead_.Reset(AboveStandardDescriptors(ends[0]));
    handover_.Reset(AboveStandardDescriptors(ends[1]));
    if (handoverRead_.Get() < 0 || handover_.Get() < 0)
        startFailure_ = std::string("cannot start: ") + std::strerror(errno);
}

void CaptureCompanion::StartWindow()
{
    ProgramStart start;
    start.argv = windowArgv_;
    if (usage_)
        start.argv.emplace_back(window::ShowsUsage);
    start.argv.push_back(programName_);
    start.standard[0] = handoverRead_.Get();
    start.standard[1] = 1;
    start.standard[2] = 2;
    start.ignored = ignored_;
    start.endsWithUs = true;
    window_ = StartProgram(start);
    handoverRead_.Reset();
    if (window_.pid == 0)
        return;
    state_ = Window::Waiting;
    fcntl(handover_.Get(), F_SETFL, fcntl(handover_.Get(), F_GETFL) | O_NONBLOCK);
}

int CaptureCompanion::ShowUsage()
{
    StartWindow();
    // The usage message is given nothing.
    handover_.Reset();
    RunCaptureLoop({}, -1, this);
    return ExitStatus();
}

int CaptureCompanion::WaitMs() const
{
    // Without a process descriptor the window is looked at every 10 ms.
    return state_ != Window::NotStarted && state_ != Window::Ended && window_.processFd.Get() < 0 ? 10 : -1;
}

void CaptureCompanion::Watch(PollSlots& slots, const CommandState& /*command*/) const
{
    slots[SignalSlot] = {relay_.Fd(), POLLIN, 0};
    if (Done())
        return;
    slots[WindowSlot] = {window_.processFd.Get(), POLLIN, 0};
    if (state_ == Window::HandingOver)
        slots[HandoverSlot] = {handover_.Get(), POLLOUT, 0};
}

void CaptureCompanion::OnSignals(const CommandState& command)
{
    for (const SignalOrigin& origin : relay_.Take()) {
        SignalRoute route = SignalRoute::PassOn;
        if (command.running)
            route = RouteSignal(origin, FamilyOf(origin, command.process.pid));
        else if (origin.sender == getpid())
            route = SignalRoute::Ignore;
        if (route == SignalRoute::Ignore)
            continue;
        if (endSignal_ == 0)
            endSignal_ = origin.number;
        if (!command.running) {
            EndWindow();
        } else if (route == SignalRoute::PassOn) {
            const WatchedProcess& process = command.process;
            SendSignal(process.pid, process.processFd, origin.number);
            // A stopped command would keep the signal pending for ever.
            if (IsStopped(process.pid))
                SendSignal(process.pid, process.processFd, SIGCONT);
        }
    }
}

void CaptureCompanion::OnCommandEnded(std::string text, bool commandRan)
{
    text_ = std::move(text);
    commandRan_ = commandRan;
    if (endSignal_ != 0)
        EndWindow();
    else if (state_ == Window::Waiting)
        state_ = handover_.Get() >= 0 ? Window::HandingOver : Window::Showing;
}

void CaptureCompanion::OnEvents(const PollSlots& slots)
{
    if (state_ == Window::HandingOver && slots[HandoverSlot].revents != 0)
        HandOver();
    int status = 0;
    if (!Done() && HasEnded(Watched(window_), slots[WindowSlot].revents, status))
        OnWindowEnded(status);
}

void CaptureCompanion::HandOver()
{
    while (handedOver_ < text_.size()) {
        const ssize_t n = write(handover_.Get(), text_.data() + handedOver_, text_.size() - handedOver_);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        if (n < 0) {
            handover_.Reset();  // the window has gone; its end tells the rest
            state_ = Window::Showing;
            return;
        }
        handedOver_ += static_cast<std::size_t>(n);
    }
    // Closed, the pipe tells the window that it has all of it.
    handover_.Reset();
    state_ = Window::Showing;
}

void CaptureCompanion::OnWindowEnded(int status)
{
    windowStatus_ = status;
    endedBeforeShowing_ = state_ == Window::Waiting || state_ == Window::HandingOver;
    state_ = Window::Ended;
    handover_.Reset();
}

void CaptureCompanion::EndWindow()
{
    if (state_ != Window::NotStarted && state_ != Window::Ending && state_ != Window::Ended) {
        SendSignal(window_.pid, window_.processFd.Get(), SIGKILL);
        state_ = Window::Ending;
    }
    handover_.Reset();
}

int CaptureCompanion::ExitStatus() const
{
    if (endSignal_ != 0)
        return 128 + endSignal_;
    const std::string ran = commandRan_ ? "; the command ran to its end." : ".";
    if (window_.pid == 0)
        return Fail(programName_, std::string("the window could not be started: ") + std::strerror(window_.error) + ran);
    if (endedBeforeShowing_)
        return Fail(programName_, "the window " + HowItEnded(windowStatus_) + " before showing the output" + ran);
    if (!WIFEXITED(windowStatus_) || WEXITSTATUS(windowStatus_) != 0)
        return Fail(programName_, "the window " + HowItEnded(windowStatus_) + ".");
    return 0;
}

} // namespace vantrel
