#include "Supervisor_posix.h"

#include "Capture_posix.h"
#include "CommandLine.h"
#include "SignalRelay_posix.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vantrel {

Supervisor::Supervisor(WatchedProcess command, int output)
    : command_(command), output_(output), commandRunning_(command.pid != 0)
{
}

void Supervisor::RelaySignals(SignalRelay& relay) { relay_ = &relay; }

void Supervisor::ShowIn(WatchedProcess window, Descriptor handover, std::string text)
{
    window_ = window;
    windowRunning_ = true;
    handover_ = std::move(handover);
    handoverDue_ = handover_.Get() >= 0;
    if (!commandRunning_)
        text_ = std::move(text);
    if (handoverDue_)
        fcntl(handover_.Get(), F_SETFL, fcntl(handover_.Get(), F_GETFL) | O_NONBLOCK);
}

bool Supervisor::Ended(const WatchedProcess& process, short revents, int& status)
{
    // Without a process descriptor the process is looked at on every turn.
    if (process.processFd < 0)
        return HasEnded(process.pid, &status);
    if (revents == 0)
        return false;
    status = Reap(process.pid);
    return true;
}

void Supervisor::Run()
{
    while (commandRunning_ || windowRunning_) {
        const bool handing = !commandRunning_ && handoverDue_ && handover_.Get() >= 0;
        // A negative descriptor is left out by poll.
        pollfd watched[5] = {{output_, POLLIN, 0},
                             {commandRunning_ ? command_.processFd : -1, POLLIN, 0},
                             {relay_ ? relay_->Fd() : -1, POLLIN, 0},
                             {windowRunning_ ? window_.processFd : -1, POLLIN, 0},
                             {handing ? handover_.Get() : -1, POLLOUT, 0}};
        const bool looking =
            (commandRunning_ && command_.processFd < 0) || (windowRunning_ && window_.processFd < 0);
        if (poll(watched, 5, looking ? 10 : -1) < 0) {
            // Interrupted, or short of kernel memory: look again. Giving up
            // here would leave a command that fills the pipe blocked for ever.
            if (errno != EINTR)
                usleep(1000);
            continue;
        }
        if (watched[0].revents != 0)
            OnOutput();
        if (watched[2].revents != 0)
            OnSignals();
        int commandStatus = 0;
        if (commandRunning_ && Ended(command_, watched[1].revents, commandStatus))
            OnCommandEnded();
        if (watched[4].revents != 0)
            OnHandoverWritable();
        if (windowRunning_ && Ended(window_, watched[3].revents, windowStatus_))
            OnWindowEnded();
    }
}

void Supervisor::OnOutput()
{
    // After the command's end the output was handed over already: what a
    // grandchild still writes is read and discarded.
    CaptureBuffer discarded;
    if (!ReadChunk(output_, commandRunning_ ? buffer_ : discarded))
        output_ = -1;  // every writer has closed it; the command may run on
}

void Supervisor::OnSignals()
{
    for (const SignalOrigin& origin : relay_->Take()) {
        SignalRoute route = SignalRoute::PassOn;
        if (commandRunning_) {
            SignalFamily family;
            family.self = getpid();
            family.ownGroup = getpgrp();
            family.sessionLeader = getsid(0) == family.self;
            family.command = command_.pid;
            family.commandGroup = getpgid(command_.pid);
            family.senderGroup = origin.sender > 0 ? getpgid(origin.sender) : -1;
            route = RouteSignal(origin, family);
        } else if (origin.sender == getpid()) {
            route = SignalRoute::Ignore;
        }
        if (route == SignalRoute::Ignore)
            continue;
        if (endSignal_ == 0)
            endSignal_ = origin.number;
        if (!commandRunning_) {
            EndWindow();
        } else if (route == SignalRoute::PassOn) {
            SendSignal(command_.pid, command_.processFd, origin.number);
            // A stopped command would keep the signal pending for ever.
            if (IsStopped(command_.pid))
                SendSignal(command_.pid, command_.processFd, SIGCONT);
        }
    }
}

void Supervisor::OnCommandEnded()
{
    commandRunning_ = false;
    if (output_ >= 0)
        TakeWhatIsLeft(output_, buffer_);
    text_ = buffer_.OutputText();
    if (endSignal_ != 0)
        EndWindow();
}

void Supervisor::OnHandoverWritable()
{
    while (handedOver_ < text_.size()) {
        const ssize_t n = write(handover_.Get(), text_.data() + handedOver_, text_.size() - handedOver_);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        if (n < 0) {
            handover_.Reset();  // the window has gone; its end tells the rest
            return;
        }
        handedOver_ += static_cast<std::size_t>(n);
    }
    // Closed, the pipe tells the window that it has all of it.
    handover_.Reset();
    handoverDue_ = false;
}

void Supervisor::OnWindowEnded()
{
    windowRunning_ = false;
    windowEndedEarly_ = handoverDue_;
    handover_.Reset();
}

void Supervisor::EndWindow()
{
    if (windowRunning_ && !windowEnded_) {
        SendSignal(window_.pid, window_.processFd, SIGKILL);
        windowEnded_ = true;
    }
    handoverDue_ = false;
    handover_.Reset();
}

namespace {

bool IsStartupToken(const char* entry)
{
    return std::strncmp(entry, "DESKTOP_STARTUP_ID=", 19) == 0 || std::strncmp(entry, "XDG_ACTIVATION_TOKEN=", 21) == 0;
}

// How the window process ended, in words.
std::string HowItEnded(int status)
{
    if (WIFSIGNALED(status))
        return "was ended by signal " + std::to_string(WTERMSIG(status)) + " (" + strsignal(WTERMSIG(status)) + ")";
    if (WEXITSTATUS(status) == WindowFoundNoScreen)
        return "found no screen to show on";
    return "ended with exit status " + std::to_string(WEXITSTATUS(status));
}

int Fail(const std::string& programName, const std::string& what)
{
    std::fprintf(stderr, "%s: %s\n", programName.c_str(), what.c_str());
    return 1;
}

} // namespace

int RunVantrel(const std::string& programName, const std::vector<std::string>& parameters,
               const std::vector<std::string>& window)
{
    const SignalSet ignored = StarterIgnoredSignals();
    const char* notRun = parameters.empty() ? "" : " The command was not run.";
    SignalRelay relay(ignored);
    int ends[2] = {-1, -1};
    if (relay.Fd() < 0 || pipe2(ends, O_CLOEXEC) != 0)
        return Fail(programName, std::string("cannot start: ") + std::strerror(errno) + "." + notRun);
    Descriptor handoverRead(AboveStandardDescriptors(ends[0]));
    Descriptor handoverWrite(AboveStandardDescriptors(ends[1]));
    if (handoverRead.Get() < 0 || handoverWrite.Get() < 0)
        return Fail(programName, std::string("cannot start: ") + std::strerror(errno) + "." + notRun);

    // The launcher's start-up token belongs to Vantrel's window: the command
    // is started without it, the window with our whole environment.
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        if (!IsStartupToken(*entry))
            environment.emplace_back(*entry);
    }
    StartedCommand command;
    if (!parameters.empty())
        command = StartCommand(JoinParameters(parameters), ignored, &environment);

    ProgramStart windowStart;
    windowStart.argv = window;
    if (parameters.empty())
        windowStart.argv.emplace_back(WindowShowsUsage);
    windowStart.argv.push_back(programName);
    windowStart.standard[0] = handoverRead.Get();
    windowStart.standard[1] = 1;
    windowStart.standard[2] = 2;
    windowStart.ignored = ignored;
    windowStart.endsWithUs = true;
    const StartedProgram shown = StartProgram(windowStart);
    handoverRead.Reset();

    // The usage message is given nothing.
    if (parameters.empty())
        handoverWrite.Reset();
    Supervisor supervisor({command.program.pid, command.program.processFd.Get()}, command.output.Get());
    supervisor.RelaySignals(relay);
    if (shown.pid != 0)
        supervisor.ShowIn({shown.pid, shown.processFd.Get()}, std::move(handoverWrite),
                          command.error ? CaptureErrorText(command.error, JoinParameters(parameters)) : "");
    supervisor.Run();

    if (supervisor.EndSignal() != 0)
        return 128 + supervisor.EndSignal();
    const std::string ran = command.program.pid != 0 ? "; the command ran to its end." : ".";
    if (shown.pid == 0)
        return Fail(programName, std::string("the window could not be started: ") + std::strerror(shown.error) + ran);
    const int status = supervisor.WindowStatus();
    if (supervisor.WindowEndedEarly())
        return Fail(programName, "the window " + HowItEnded(status) + " before showing the output" + ran);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return Fail(programName, "the window " + HowItEnded(status) + ".");
    return 0;
}

} // namespace vantrel
