// CaptureCommandOutput on POSIX systems: the command line is split into words
// with the parameter splitter's rules and the first word is started, searched
// on PATH, with no shell in front. The child's standard output is a pipe that
// is drained while the child runs; its standard input and standard error are
// /dev/null, and no other descriptor of ours reaches it. While it drains, the
// signals that ask us to end are passed on to the child (Capture_posix.h).
#include "Capture.h"
#include "Capture_posix.h"
#include "CommandLine.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

extern char** environ;

namespace vantrel {

namespace {

// Owns one descriptor and closes it when it goes out of scope.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { Reset(); }

    int Get() const { return fd_; }
    void Reset(int fd = -1)
    {
        if (fd_ >= 0)
            close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

// Moves a descriptor to 3 or above. When our own standard descriptors were
// closed at start, the pipe may land on 0, 1 or 2, where the child's
// standard-handle set-up would overwrite or misread it.
int AboveStandardDescriptors(int fd)
{
    if (fd > 2)
        return fd;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    close(fd);
    return moved;
}

// What the child is given: /dev/null as standard input and error, the pipe as
// standard output, nothing else open, default signal dispositions and an
// empty signal mask (whatever we block or ignore is none of the child's).
class SpawnSettings {
public:
    explicit SpawnSettings(int outputFd)
    {
        posix_spawn_file_actions_init(&actions_);
        posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions_, outputFd, 1);
        posix_spawn_file_actions_addopen(&actions_, 2, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addclosefrom_np(&actions_, 3);

        posix_spawnattr_init(&attributes_);
        sigset_t none;
        sigemptyset(&none);
        sigset_t all;
        sigfillset(&all);
        posix_spawnattr_setsigmask(&attributes_, &none);
        posix_spawnattr_setsigdefault(&attributes_, &all);
        posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;
    ~SpawnSettings()
    {
        posix_spawnattr_destroy(&attributes_);
        posix_spawn_file_actions_destroy(&actions_);
    }

    const posix_spawn_file_actions_t* Actions() const { return &actions_; }
    const posix_spawnattr_t* Attributes() const { return &attributes_; }

private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
};

// Reads what the pipe holds into the buffer. Returns false at end-of-file or
// on a read error, when nothing more will come.
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

// Takes what the pipe holds right now without waiting for more: a grandchild
// that inherited the write end may keep it open, or keep writing, for ever.
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

// A descriptor that becomes readable when the child ends, or -1 where the
// kernel has none; then the drain loop looks at the child every 10 ms.
int OpenProcessDescriptor(pid_t pid)
{
#ifdef SYS_pidfd_open
    const long fd = syscall(SYS_pidfd_open, pid, 0);
    return fd >= 0 ? static_cast<int>(fd) : -1;
#else
    (void)pid;
    return -1;
#endif
}

// Waits for the child's end and reaps it. ECHILD means the kernel reaped it
// already: SIGCHLD was ignored.
void Reap(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

// Whether the child has ended, without waiting; reaps it if it has.
bool HasEnded(pid_t pid)
{
    int status = 0;
    const pid_t result = waitpid(pid, &status, WNOHANG);
    return result == pid || (result < 0 && errno == ECHILD);
}

// ---- The end signals ------------------------------------------------------
// The handler writes one byte per signal into a pipe that the drain loop
// watches: the signal's number, with the top bit set when the signal is not
// to be sent on. Both ends are non-blocking: a handler never waits, and a
// flood of signals that fills the pipe loses only repeats.

constexpr int EndSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr unsigned char AlreadyDelivered = 0x80;

int signalPipe[2] = {-1, -1};
volatile sig_atomic_t lastEndSignal = 0;

void OnEndSignal(int number, siginfo_t* info, void*)
{
    const int savedErrno = errno;
    lastEndSignal = number;
    unsigned char byte = static_cast<unsigned char>(number);
    if (number == SIGINT && info && info->si_code == SI_KERNEL)
        byte |= AlreadyDelivered;
    if (write(signalPipe[1], &byte, 1) < 0) {
        // Full: the signal is noted all the same.
    }
    errno = savedErrno;
}

// Sends the signals the handler noted on to the child: through its process
// descriptor where there is one, so that a reused pid can never be hit.
void PassSignalsOn(pid_t pid, int processFd)
{
    unsigned char bytes[64];
    ssize_t n;
    while ((n = read(signalPipe[0], bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            if (bytes[i] & AlreadyDelivered)
                continue;
            const int number = bytes[i];
#ifdef SYS_pidfd_send_signal
            if (processFd >= 0 && syscall(SYS_pidfd_send_signal, processFd, number, nullptr, 0) == 0)
                continue;
#endif
            (void)processFd;
            kill(pid, number);
        }
    }
}

} // namespace

void CatchEndSignals()
{
    if (signalPipe[0] < 0 && pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        signalPipe[0] = signalPipe[1] = -1;
    lastEndSignal = 0;
    struct sigaction action {};
    action.sa_sigaction = OnEndSignal;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigset_t unblocked;
    sigemptyset(&unblocked);
    for (const int number : EndSignals) {
        sigaction(number, &action, nullptr);
        sigaddset(&unblocked, number);
    }
    // A starter may have blocked them; they would then wait unseen.
    pthread_sigmask(SIG_UNBLOCK, &unblocked, nullptr);
}

int ReleaseEndSignals()
{
    for (const int number : EndSignals)
        signal(number, SIG_DFL);
    return lastEndSignal;
}

void DrainUntilChildEnds(pid_t pid, int readFd, int processFd, CaptureBuffer& buffer)
{
    bool pipeOpen = true;
    for (;;) {
        // A negative descriptor is left out by poll.
        pollfd watched[3] = {{pipeOpen ? readFd : -1, POLLIN, 0},
                             {processFd, POLLIN, 0},
                             {signalPipe[0], POLLIN, 0}};
        if (poll(watched, 3, processFd >= 0 ? -1 : 10) < 0) {
            // Interrupted, or short of kernel memory: look again. Giving up
            // here would leave a child that fills the pipe blocked for ever.
            if (errno != EINTR)
                usleep(1000);
            continue;
        }
        if (watched[0].revents != 0 && !ReadChunk(readFd, buffer))
            pipeOpen = false;  // every writer has closed it; the child may run on
        if (watched[2].revents != 0)
            PassSignalsOn(pid, processFd);
        if (processFd >= 0 ? watched[1].revents != 0 : HasEnded(pid)) {
            if (processFd >= 0)
                Reap(pid);
            return;
        }
    }
}

// The running child and the read end of its output pipe; or, when it could
// not be started, the error text that stands in for its output.
struct ChildCapture::Child {
    pid_t pid = 0;
    Descriptor readEnd;
    std::string errorText;
    bool finished = false;
};

ChildCapture::ChildCapture(const std::string& commandLine) : child_(std::make_unique<Child>())
{
    Child& child = *child_;
    const std::vector<std::string> words = SplitParameters(commandLine);
    if (words.empty()) {
        child.errorText = CaptureErrorText(ENOENT, commandLine);
        return;
    }

    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        child.errorText = CaptureErrorText(static_cast<std::uint32_t>(errno), commandLine);
        return;
    }
    child.readEnd.Reset(AboveStandardDescriptors(ends[0]));
    Descriptor writeEnd(AboveStandardDescriptors(ends[1]));
    if (child.readEnd.Get() < 0 || writeEnd.Get() < 0) {
        child.errorText = CaptureErrorText(static_cast<std::uint32_t>(errno), commandLine);
        return;
    }

    std::vector<char*> argv;
    for (const std::string& word : words)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);

    int spawnError = 0;
    {
        const SpawnSettings settings(writeEnd.Get());
        spawnError = posix_spawnp(&child.pid, argv[0], settings.Actions(), settings.Attributes(),
                                  argv.data(), environ);
    }
    // Our copy of the write end goes at once (when writeEnd goes out of
    // scope), or the pipe would stay open after the child has ended.
    if (spawnError != 0) {
        child.pid = 0;
        child.errorText = CaptureErrorText(static_cast<std::uint32_t>(spawnError), commandLine);
    }
}

ChildCapture::~ChildCapture()
{
    if (!child_->finished)
        Finish();
}

std::string ChildCapture::Finish()
{
    Child& child = *child_;
    child.finished = true;
    if (child.pid == 0)
        return child.errorText;

    CaptureBuffer buffer;
    {
        const Descriptor exitWatch(OpenProcessDescriptor(child.pid));
        DrainUntilChildEnds(child.pid, child.readEnd.Get(), exitWatch.Get(), buffer);
    }
    child.pid = 0;
    TakeWhatIsLeft(child.readEnd.Get(), buffer);
    return buffer.OutputText();
}

} // namespace vantrel
