// The supervisor's companion to the capture (Capture_posix.h): the window's
// program, the hand-over of the output to it, the signals that ask Vantrel
// to end, and Vantrel's end. The supervisor links no toolkit, so that nothing
// the toolkit does (a platform that cannot load, an abort, a crash, a lost
// display) can end it early.
#include "Capture_posix.h"

#include "WindowProtocol_posix.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vantrel {

namespace {

using Clock = std::chrono::steady_clock;

// How long the window has to be on screen once it has all of the output (a
// toolkit whose start-up hangs on a silent session bus, a compositor that
// never answers), and how long it has to close once asked to.
constexpr std::chrono::seconds ShowLimit{30};
constexpr std::chrono::seconds EndGrace{3};

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

// The socket a Wayland compositor handed us, which belongs to the window
// alone, moved above the standard descriptors; -1 when there is none.
int HandedWaylandSocket()
{
    const char* handed = std::getenv("WAYLAND_SOCKET");
    char* end = nullptr;
    const long fd = handed ? std::strtol(handed, &end, 10) : -1;
    if (!handed || *end != '\0' || fd < 0 || fd > 65535 || fcntl(static_cast<int>(fd), F_GETFD) < 0)
        return -1;
    return fd > 2 ? static_cast<int>(fd) : fcntl(static_cast<int>(fd), F_DUPFD_CLOEXEC, 3);
}

} // namespace

CaptureCompanion::CaptureCompanion(std::vector<std::string> window, std::string programName, bool usage)
    : programName_(std::move(programName)), ignored_(StarterIgnoredSignals()),
      // SIGCHLD only wakes the loop: a command that a signal asked to end
      // must not stay stopped.
      relay_((EndingSignals() & ~ignored_) | SignalBit(SIGCHLD)),
      commandEnvironment_(EnvironmentWithout({"DESKTOP_STARTUP_ID", "XDG_ACTIVATION_TOKEN", "WAYLAND_SOCKET"}))
{
    if (usage)
        window.emplace_back(window::ShowsUsage);
    window.push_back(programName_);
    StartWindow(std::move(window));
}

void CaptureCompanion::StartWindow(std::vector<std::string> argv)
{
    int ends[2] = {-1, -1};
    if (relay_.Fd() < 0 || socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        startFailure_ = std::string("cannot start: ") + std::strerror(errno);
        return;
    }
    handover_.Reset(AboveStandardDescriptors(ends[0]));
    const Descriptor windowEnd(AboveStandardDescriptors(ends[1]));
    if (handover_.Get() < 0 || windowEnd.Get() < 0) {
        startFailure_ = std::string("cannot start: ") + std::strerror(errno);
        return;
    }
    ProgramStart start;
    start.argv = std::move(argv);
    start.standard[0] = windowEnd.Get();
    start.standard[1] = 1;
    start.standard[2] = 2;
    start.ignored = ignored_;
    start.endsWithUs = true;
    // The window gets our whole environment, the launcher's token included.
    std::vector<std::string> environment;
    start.keep = HandedWaylandSocket();
    if (start.keep >= 0) {
        environment = EnvironmentWithout({"WAYLAND_SOCKET"});
        environment.push_back("WAYLAND_SOCKET=" + std::to_string(start.keep));
        start.environment = &environment;
    }
    window_ = StartProgram(start);
    if (start.keep >= 0)
        close(start.keep);
    if (window_.pid == 0) {
        startFailure_ = "the window's program " + start.argv[0] + " cannot be run: " + std::strerror(window_.error);
        return;
    }
    state_ = Window::Waiting;
    fcntl(handover_.Get(), F_SETFL, fcntl(handover_.Get(), F_GETFL) | O_NONBLOCK);
}

int CaptureCompanion::ShowUsage()
{
    RunCaptureLoop({}, -1, this);
    return End();
}

int CaptureCompanion::WaitMs() const
{
    int waitMs = -1;
    if (state_ == Window::Showing || state_ == Window::Ending) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline_ - Clock::now());
        waitMs = static_cast<int>(std::max<std::int64_t>(0, left.count()));
    }
    // Without a process descriptor the window is looked at every 10 ms.
    if (!Done() && window_.processFd.Get() < 0)
        waitMs = waitMs < 0 ? 10 : std::min(waitMs, 10);
    return waitMs;
}

void CaptureCompanion::Watch(PollSlots& slots) const
{
    slots[SignalSlot] = {relay_.Fd(), POLLIN, 0};
    if (Done())
        return;
    slots[WindowSlot] = {window_.processFd.Get(), POLLIN, 0};
    if (state_ == Window::HandingOver)
        slots[HandoverSlot] = {handover_.Get(), POLLOUT, 0};
    else if (state_ == Window::Showing)
        slots[HandoverSlot] = {handover_.Get(), POLLIN, 0};
}

void CaptureCompanion::OnSignals(const CommandState& command)
{
    const WatchedProcess& process = command.process;
    for (const SignalOrigin& origin : relay_.Take()) {
        if (origin.number == SIGCHLD)
            continue;  // a child stopped or ended: looked at below, and by the loop
        SignalRoute route = SignalRoute::PassOn;
        if (command.running)
            route = RouteSignal(origin, FamilyOf(origin, process.pid));
        else if (origin.sender == getpid())
            route = SignalRoute::Ignore;
        if (route == SignalRoute::Ignore)
            continue;
        if (endSignal_ == 0)
            endSignal_ = origin.number;
        if (!command.running)
            EndWindow();
        else if (route == SignalRoute::PassOn)
            SendSignal(process.pid, process.processFd, origin.number);
    }
    // A stopped command would keep the signal that asked it to end pending
    // for ever, whether it was passed on or reached it directly.
    if (endSignal_ != 0 && command.running && IsStopped(process.pid))
        SendSignal(process.pid, process.processFd, SIGCONT);
}

void CaptureCompanion::OnCommandEnded(std::string text, bool commandRan)
{
    text_ = std::move(text);
    commandRan_ = commandRan;
    if (endSignal_ != 0)
        EndWindow();
    else if (state_ == Window::Waiting)
        state_ = Window::HandingOver;
}

void CaptureCompanion::OnEvents(const PollSlots& slots)
{
    if (state_ == Window::HandingOver && slots[HandoverSlot].revents != 0)
        HandOver();
    else if (state_ == Window::Showing && slots[HandoverSlot].revents != 0)
        ReadShown();
    if ((state_ == Window::Showing || state_ == Window::Ending) && Clock::now() >= deadline_) {
        if (state_ == Window::Showing) {
            late_ = true;
            EndWindow();
        } else {
            SendSignal(window_.pid, window_.processFd.Get(), SIGKILL);
            state_ = Window::Killed;
        }
    }
    int status = 0;
    if (!Done() && HasEnded(Watched(window_), slots[WindowSlot].revents, status))
        OnWindowEnded(status);
}

void CaptureCompanion::HandOver()
{
    while (handedOver_ < text_.size()) {
        const ssize_t n = send(handover_.Get(), text_.data() + handedOver_, text_.size() - handedOver_, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        if (n < 0)
            break;  // the window has gone; its end tells the rest
        handedOver_ += static_cast<std::size_t>(n);
    }
    // The end of the socket's one direction tells the window that it has all
    // of it; the other brings word that it is on screen.
    shutdown(handover_.Get(), SHUT_WR);
    state_ = Window::Showing;
    deadline_ = Clock::now() + ShowLimit;
}

void CaptureCompanion::ReadShown()
{
    char said[16];
    const ssize_t n = recv(handover_.Get(), said, sizeof said, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n > 0 && std::memchr(said, window::Shown, static_cast<std::size_t>(n)))
        state_ = Window::Shown;
    // Word came, or never will: the window's end or the time limit tell the rest.
    if (n <= 0 || state_ == Window::Shown)
        handover_.Reset();
}

void CaptureCompanion::OnWindowEnded(int status)
{
    windowStatus_ = status;
    endedBeforeShown_ = state_ == Window::Waiting || state_ == Window::HandingOver || state_ == Window::Showing;
    state_ = Window::Ended;
    handover_.Reset();
}

// Asks the window to end as its close button would, so that the toolkit can
// hand the clipboard over to a clipboard manager; a window that does not end
// within EndGrace is killed.
void CaptureCompanion::EndWindow()
{
    if (state_ == Window::Waiting || state_ == Window::HandingOver || state_ == Window::Showing ||
        state_ == Window::Shown) {
        SendSignal(window_.pid, window_.processFd.Get(), window::EndRequest);
        state_ = Window::Ending;
        deadline_ = Clock::now() + EndGrace;
    }
    handover_.Reset();
}

int CaptureCompanion::End() const
{
    if (endSignal_ != 0)
        EndBySignal(endSignal_);
    const std::string ran = commandRan_ ? "; the command ran to its end." : ".";
    if (late_)
        return Fail(programName_, "the window did not show within " + std::to_string(ShowLimit.count()) + " s" + ran);
    if (endedBeforeShown_)
        return Fail(programName_, "the window " + HowItEnded(windowStatus_) + " before showing the output" + ran);
    if (!WIFEXITED(windowStatus_) || WEXITSTATUS(windowStatus_) != 0)
        return Fail(programName_, "the window " + HowItEnded(windowStatus_) + ".");
    return 0;
}

} // namespace vantrel
