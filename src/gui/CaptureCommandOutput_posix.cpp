// CaptureCommandOutput on POSIX systems: the command line is split into words
// with the parameter splitter's rules and the first word is started, searched
// on PATH, with no shell in front. The child's standard output is a pipe that
// is drained while the child runs; its standard input and standard error are
// /dev/null, and no other descriptor of ours reaches it.
#include "Capture.h"
#include "Capture_posix.h"
#include "CommandLine.h"
#include "Supervisor_posix.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

namespace vantrel {

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

bool ReadChunk(int fd, CaptureBuffer& buffer)
{
    // Larger than the kept area: past the first 8192 bytes the output is only
    // drained, and big reads keep that cheap.
    char chunk[65536];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n > 0) {
            buffer.Append(chunk, static_cast<std::size_t>(n));
            return true;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 && errno == EAGAIN;
    }
}

void TakeWhatIsLeft(int fd, CaptureBuffer& buffer)
{
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    int waiting = 0;
    if (ioctl(fd, FIONREAD, &waiting) != 0)
        return;
    char chunk[65536];
    while (waiting > 0) {
        const ssize_t n = read(fd, chunk, std::min(sizeof chunk, static_cast<std::size_t>(waiting)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        buffer.Append(chunk, static_cast<std::size_t>(n));
        waiting -= static_cast<int>(n);
    }
}

std::string DrainUntilChildEnds(pid_t pid, int readFd, int processFd)
{
    Supervisor supervisor({pid, processFd}, readFd);
    supervisor.Run();
    return supervisor.Output();
}

template <typename Char>
struct BasicChildCapture<Char>::Child : StartedCommand {
};

template <typename Char>
BasicChildCapture<Char>::BasicChildCapture(std::basic_string_view<Char> commandLine, CaptureCompanion* /*companion*/)
    : commandLine_(commandLine), child_(std::make_unique<Child>())
{
    static_cast<StartedCommand&>(*child_) = StartCommand(commandLine, StarterIgnoredSignals());
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
    std::string output;
    if (child.program.pid != 0)
        output = DrainUntilChildEnds(child.program.pid, child.output.Get(), child.program.processFd.Get());
    return CapturedText<Char>(child.error, commandLine_, std::move(output));
}

// 8-bit command lines only: the system takes them so.
template class BasicChildCapture<char>;

} // namespace vantrel
