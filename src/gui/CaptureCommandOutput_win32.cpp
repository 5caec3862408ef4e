// CaptureCommandOutput on Windows: the command line goes to CreateProcessA
// unchanged, the child runs hidden with the pipe's write end as its standard
// output and no standard input or error, and the pipe is drained while the
// child runs so that no amount of output can block it.
#include "Capture.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>

namespace vantrel {

namespace {

// Owns one kernel handle and closes it when it goes out of scope.
class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { Reset(); }

    HANDLE Get() const { return handle_; }
    HANDLE* Receive() { return &handle_; }
    void Reset()
    {
        if (handle_ != nullptr)
            CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    HANDLE handle_ = nullptr;
};

// Reads what the pipe holds right now, without blocking, and says how much
// that was. Returns false once every writer has closed the pipe.
bool TakeAvailable(HANDLE pipe, CaptureBuffer& buffer, DWORD& available)
{
    available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr))
        return false;
    char chunk[65536];
    DWORD left = available;
    while (left > 0) {
        DWORD read = 0;
        if (!ReadFile(pipe, chunk, std::min<DWORD>(left, sizeof chunk), &read, nullptr) || read == 0)
            return false;
        buffer.Append(chunk, read);
        left -= read;
    }
    return true;
}

// Lets the capture read with plain blocking reads, which return as soon as
// the child writes, and still never wait for an end-of-file that a grandchild
// holding the write end would keep from coming: once the child has ended, a
// watcher thread cancels the read that is waiting.
struct ReadWatch {
    HANDLE process;
    HANDLE reader;  // the thread that reads the pipe
    std::atomic<bool> reading{true};
};

DWORD WINAPI CancelReadsOnceChildEnds(LPVOID parameter)
{
    auto* watch = static_cast<ReadWatch*>(parameter);
    WaitForSingleObject(watch->process, INFINITE);
    // A cancel that finds no read waiting does nothing, so it is repeated
    // until the reader has stopped.
    while (watch->reading.load()) {
        CancelSynchronousIo(watch->reader);
        Sleep(1);
    }
    return 0;
}

// Reads the pipe until the child has ended or every writer has closed it.
void DrainWhileRunning(HANDLE process, HANDLE pipe, CaptureBuffer& buffer)
{
    Handle reader;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), reader.Receive(), 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    ReadWatch watch{process, reader.Get()};
    Handle watcher(reader.Get() ? CreateThread(nullptr, 0, CancelReadsOnceChildEnds, &watch, 0, nullptr) : nullptr);
    if (watcher.Get()) {
        char chunk[65536];
        DWORD read = 0;
        while (ReadFile(pipe, chunk, sizeof chunk, &read, nullptr) && read > 0)
            buffer.Append(chunk, read);
        watch.reading = false;
        // Returns once the child has ended, which may be long after it closed
        // its standard output.
        WaitForSingleObject(watcher.Get(), INFINITE);
        return;
    }
    // Without a watcher a blocking read could wait for ever: take only what
    // the pipe holds, and wait a little on the child when it holds nothing.
    DWORD available = 0;
    while (TakeAvailable(pipe, buffer, available) &&
           WaitForSingleObject(process, available == 0 ? 10 : 0) == WAIT_TIMEOUT) {
    }
    WaitForSingleObject(process, INFINITE);
}

} // namespace

// The running child with the read end of its output pipe; or, when it could
// not be started, the error text that stands in for its output.
struct ChildCapture::Child {
    Handle process, thread, readEnd;
    std::string errorText;
    bool finished = false;
};

ChildCapture::ChildCapture(const std::string& commandLine) : child_(std::make_unique<Child>())
{
    Child& child = *child_;
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    Handle writeEnd;
    if (!CreatePipe(child.readEnd.Receive(), writeEnd.Receive(), &inheritable, CaptureBufferSize)) {
        child.errorText = CaptureErrorText(GetLastError(), commandLine);
        return;
    }
    // Only the write end is the child's; a read end in the child (or in a
    // grandchild that outlives it) would be a handle it has no use for.
    SetHandleInformation(child.readEnd.Get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = nullptr;
    startup.hStdOutput = writeEnd.Get();
    startup.hStdError = nullptr;

    // CreateProcessA may write into the line it is given; it gets a copy.
    std::string line = commandLine;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &started)) {
        child.errorText = CaptureErrorText(GetLastError(), commandLine);
        return;
    }
    *child.process.Receive() = started.hProcess;
    *child.thread.Receive() = started.hThread;
    // Our copy of the write end goes at once (when writeEnd goes out of
    // scope): once the child has ended, the pipe must not be held open by us.
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
    if (!child.process.Get())
        return child.errorText;

    CaptureBuffer buffer;
    DrainWhileRunning(child.process.Get(), child.readEnd.Get(), buffer);
    // The child has ended: take what it left in the pipe, without waiting
    // for a grandchild that may still hold the write end.
    DWORD available = 0;
    TakeAvailable(child.readEnd.Get(), buffer, available);
    child.process.Reset();
    child.thread.Reset();
    return buffer.OutputText();
}

} // namespace vantrel
