// The capture on Linux: the command line is split into words with the
// parameter splitter's rules and the first word is started, searched on
// PATH, with no shell in front. The command's standard output is a pipe that
// is drained while it runs; its standard input and standard error are
// /dev/null, and no other descriptor of ours reaches it. The capture's loop
// (RunCaptureLoop) is also the supervisor's: with a companion it watches the
// window and the signals too (Capture_posix.h).
#include "Capture.h"
#include "Capture_posix.h"
#include "CommandLine.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

namespace vantrel {

namespace {

// The command, started; or, when it could not be started, the system's
// number for why (program.pid is then 0).
struct StartedCommand {
    StartedProgram program;
    Descriptor output;  // the read end of its standard output
    std::uint32_t error = 0;
};

// Starts the first word of the split command line: standard output on a
// pipe, standard input and error /dev/null, the given signals ignored and
// every other at its default, and the given environment (null: ours).
StartedCommand StartCommand(std::string_view commandLine, SignalSet ignored,
                            const std::vector<std::string>* environment)
{
    StartedCommand command;
    const std::vector<std::string> words = SplitParameters(commandLine);
    if (words.empty()) {
        command.error = ENOENT;
        return command;
    }
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        command.error = static_cast<std::uint32_t>(errno);
        return command;
    }
    command.output.Reset(AboveStandardDescriptors(ends[0]));
    // Our copy of the write end goes as soon as the child has its own, or the
    // pipe would stay open after the child has ended.
    const Descriptor writeEnd(AboveStandardDescriptors(ends[1]));
    if (command.output.Get() < 0 || writeEnd.Get() < 0) {
        command.error = static_cast<std::uint32_t>(errno);
        return command;
    }
    ProgramStart start;
    start.argv = words;
    start.standard[1] = writeEnd.Get();
    start.ignored = ignored;
    start.environment = environment;
    command.program = StartProgram(start);
    if (command.program.pid == 0)
        command.error = static_cast<std::uint32_t>(command.program.error);
    return command;
}

// One run of the loop (RunCaptureLoop in Capture_posix.h).
class CaptureLoop {
public:
    CaptureLoop(WatchedProcess command, int output, CaptureCompanion* companion,
                const std::function<std::string(std::string)>& textOf)
        : command_{command, command.pid != 0}, output_(output), companion_(companion), textOf_(textOf)
    {
    }

    std::string Run()
    {
        if (!command_.running)
            OnCommandEnded();
        while (command_.running || (companion_ && !companion_->Done()))
            Turn();
        return text_;
    }

private:
    // Waits for what comes first and handles it.
    void Turn()
    {
        PollSlots slots;
        slots.fill({-1, 0, 0});
        slots[OutputSlot] = {output_, POLLIN, 0};
        slots[CommandSlot] = {command_.running ? command_.process.processFd : -1, POLLIN, 0};
        if (companion_)
            companion_->Watch(slots);
        // Without a process descriptor the command is looked at every 10 ms.
        int waitMs = command_.running && command_.process.processFd < 0 ? 10 : -1;
        if (companion_ && companion_->WaitMs() >= 0)
            waitMs = waitMs < 0 ? companion_->WaitMs() : std::min(waitMs, companion_->WaitMs());
        if (poll(slots.data(), slots.size(), waitMs) < 0) {
            // Interrupted, or short of kernel memory: look again. Giving up
            // here would leave a command that fills the pipe blocked for ever.
            if (errno != EINTR)
                usleep(1000);
            return;
        }
        if (slots[OutputSlot].revents != 0)
            OnOutput();
        if (companion_ && slots[SignalSlot].revents != 0)
            companion_->OnSignals(command_);
        int status = 0;
        if (command_.running && HasEnded(command_.process, slots[CommandSlot].revents, status)) {
            command_.running = false;
            OnCommandEnded();
        }
        if (companion_)
            companion_->OnEvents(slots);
    }

    // One chunk of what the pipe holds: kept while the command runs, and
    // after its end (the output was handed over already) read and discarded.
    void OnOutput()
    {
        CaptureBuffer discarded;
        CaptureBuffer& buffer = command_.running ? buffer_ : discarded;
        const auto keep = [&buffer](std::string_view bytes) { buffer.Append(bytes.data(), bytes.size()); };
        if (ReadWhatIsThere(output_, keep, 65536))
            output_ = -1;  // every writer has closed it; the command may run on
    }

    // Takes what the pipe holds right now without waiting for more: a
    // grandchild that inherited the write end may keep it open, or keep
    // writing, for ever. The pipe is non-blocking from here on.
    void OnCommandEnded()
    {
        if (output_ >= 0) {
            fcntl(output_, F_SETFL, fcntl(output_, F_GETFL) | O_NONBLOCK);
            int waiting = 0;
            if (ioctl(output_, FIONREAD, &waiting) == 0 && waiting > 0)
                ReadWhatIsThere(output_, [this](std::string_view bytes) { buffer_.Append(bytes.data(), bytes.size()); },
                                static_cast<std::size_t>(waiting));
        }
        text_ = buffer_.OutputText();
        std::string shown = textOf_ ? textOf_(text_) : text_;
        if (companion_)
            companion_->OnCommandEnded(std::move(shown), command_.process.pid != 0);
    }

    CommandState command_;
    int output_;
    CaptureCompanion* companion_;
    const std::function<std::string(std::string)>& textOf_;
    CaptureBuffer buffer_;
    std::string text_;
};

} // namespace

std::string RunCaptureLoop(WatchedProcess command, int output, CaptureCompanion* companion,
                           const std::function<std::string(std::string)>& textOf)
{
    return CaptureLoop(command, output, companion, textOf).Run();
}

template <typename Char>
struct BasicChildCapture<Char>::Child : StartedCommand {
    CaptureCompanion* companion = nullptr;
};

template <typename Char>
BasicChildCapture<Char>::BasicChildCapture(std::basic_string_view<Char> commandLine, CaptureCompanion* companion)
    : commandLine_(commandLine), child_(std::make_unique<Child>())
{
    static_cast<StartedCommand&>(*child_) =
        StartCommand(commandLine, StarterIgnoredSignals(), companion ? &companion->CommandEnvironment() : nullptr);
    child_->companion = companion;
}

template <typename Char>
BasicChildCapture<Char>::~BasicChildCapture()
{
    if (!finished_)
        Finish();
}

template <typename Char>
std::uint32_t BasicChildCapture<Char>::StartError() const
{
    return child_->error;
}

template <typename Char>
auto BasicChildCapture<Char>::Finish() -> Text
{
    finished_ = true;
    Child& child = *child_;
    Text text;
    const auto textOf = [&](std::string output) {
        text = CapturedText<Char>(child.error, commandLine_, std::move(output));
        return text;
    };
    RunCaptureLoop(Watched(child.program), child.output.Get(), child.companion, textOf);
    return text;
}

// 8-bit command lines only: the system takes them so.
template class BasicChildCapture<char>;

} // namespace vantrel
