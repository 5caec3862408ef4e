// CaptureCommandOutput on Windows: the command line goes to CreateProcessA
// unchanged, the child runs hidden with the pipe's write end as its standard
// output, the NUL device as its standard input and no standard error, and the
// pipe is drained while the child runs so that no amount of output can block
// it. The child's end is noticed during a read as well as between reads, so
// a grandchild that inherited the pipe cannot hold the capture up.
#include "Capture.h"

#include <windows.h>

#include <algorithm>
#include <memory>

namespace vantrel {

namespace {

// Owns one kernel handle and closes it when it goes out of scope.
class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { Reset(); }

    HANDLE Get() const { return handle_; }
    void Reset(HANDLE handle = nullptr)
    {
        if (handle_ != nullptr)
            CloseHandle(handle_);
        handle_ = handle == INVALID_HANDLE_VALUE ? nullptr : handle;
    }

private:
    HANDLE handle_ = nullptr;
};

// The output pipe: a byte pipe of CaptureBufferSize whose read end is ours,
// opened for overlapped reads so that a read can be waited for together with
// the child's end, and whose write end is an ordinary one for the child. An
// anonymous pipe cannot read overlapped, so the pipe has a name, unique to
// this process, with one instance that our own write end takes at once.
bool CreateOutputPipe(Handle& readEnd, Handle& writeEnd)
{
    static LONG pipes = 0;
    const std::string name = "\\\\.\\pipe\\vantrel-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(InterlockedIncrement(&pipes));
    const DWORD access = PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE;
    const DWORD mode = PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT;
    readEnd.Reset(CreateNamedPipeA(name.c_str(), access, mode | PIPE_REJECT_REMOTE_CLIENTS, 1, CaptureBufferSize,
                                   CaptureBufferSize, 0, nullptr));
    // Systems before Vista do not know the flag that keeps other machines out.
    if (!readEnd.Get() && GetLastError() == ERROR_INVALID_PARAMETER)
        readEnd.Reset(CreateNamedPipeA(name.c_str(), access, mode, 1, CaptureBufferSize, CaptureBufferSize, 0,
                                       nullptr));
    if (!readEnd.Get())
        return false;
    // Only the write end is the child's; a read end in the child (or in a
    // grandchild that outlives it) would be a handle it has no use for.
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    writeEnd.Reset(CreateFileA(name.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0, &inheritable, OPEN_EXISTING,
                               0, nullptr));
    return writeEnd.Get() != nullptr;
}

// One overlapped read from the pipe into the chunk, ended early when the
// child ends first (pass no process to wait for the read alone). Returns
// false once every writer has closed the pipe or it fails.
bool ReadUnlessChildEnds(HANDLE pipe, HANDLE readDone, HANDLE process, char* chunk, DWORD size,
                         CaptureBuffer& buffer, bool& childEnded)
{
    OVERLAPPED read{};
    read.hEvent = readDone;
    if (!ReadFile(pipe, chunk, size, nullptr, &read) && GetLastError() != ERROR_IO_PENDING)
        return false;
    // The child comes first: a grandchild that keeps the pipe full could
    // otherwise keep the read winning every time.
    const HANDLE either[] = {process, readDone};
    childEnded = process && WaitForMultipleObjects(2, either, FALSE, INFINITE) != WAIT_OBJECT_0 + 1;
    if (childEnded)
        CancelIo(pipe);
    // A read cancelled too late has completed, and what it read is kept.
    DWORD count = 0;
    const bool completed = GetOverlappedResult(pipe, &read, &count, TRUE);
    buffer.Append(chunk, count);
    return completed;
}

// Reads the pipe until the child has ended, then takes what the pipe holds
// at that moment (the child's last words, perhaps some of a grandchild's)
// without waiting for a grandchild that may still hold the write end.
void Drain(HANDLE process, HANDLE pipe, HANDLE readDone, CaptureBuffer& buffer)
{
    char chunk[65536];
    bool childEnded = false;
    while (!childEnded && ReadUnlessChildEnds(pipe, readDone, process, chunk, sizeof chunk, buffer, childEnded)) {
    }
    // Every writer may have closed the pipe while the child still runs.
    WaitForSingleObject(process, INFINITE);
    DWORD available = 0;
    if (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        bool unused = false;
        ReadUnlessChildEnds(pipe, readDone, nullptr, chunk, std::min<DWORD>(available, sizeof chunk), buffer,
                            unused);
    }
}

} // namespace

// The running child with the read end of its output pipe; or, when it could
// not be started, the error text that stands in for its output.
struct ChildCapture::Child {
    Handle process, thread, readEnd, readDone;
    std::string errorText;
    bool finished = false;
};

ChildCapture::ChildCapture(const std::string& commandLine) : child_(std::make_unique<Child>())
{
    Child& child = *child_;
    Handle writeEnd;
    child.readDone.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!child.readDone.Get() || !CreateOutputPipe(child.readEnd, writeEnd)) {
        child.errorText = CaptureErrorText(GetLastError(), commandLine);
        return;
    }
    // Standard input is the NUL device: a child that reads it finds it empty
    // at once, where reading the hidden console it would otherwise get would
    // wait for ever for a key nobody can press.
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    Handle nul(CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0,
                           nullptr));

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = nul.Get();
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
    child.process.Reset(started.hProcess);
    child.thread.Reset(started.hThread);
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
    Drain(child.process.Get(), child.readEnd.Get(), child.readDone.Get(), buffer);
    child.process.Reset();
    child.thread.Reset();
    return buffer.OutputText();
}

} // namespace vantrel
