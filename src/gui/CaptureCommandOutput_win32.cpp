// CaptureCommandOutput on Windows: the command line goes to CreateProcessA
// unchanged, the child runs hidden with the pipe's write end as its standard
// output and no standard input or error, and the pipe is drained while the
// child runs so that no amount of output can block it.
#include "Capture.h"

#include <windows.h>

#include <algorithm>

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

} // namespace

std::string CaptureCommandOutput(const std::string& commandLine)
{
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    Handle readEnd, writeEnd;
    if (!CreatePipe(readEnd.Receive(), writeEnd.Receive(), &inheritable, CaptureBufferSize))
        return CaptureErrorText(GetLastError(), commandLine);
    // Only the write end is the child's; a read end in the child (or in a
    // grandchild that outlives it) would be a handle it has no use for.
    SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = nullptr;
    startup.hStdOutput = writeEnd.Get();
    startup.hStdError = nullptr;

    // CreateProcessA may write into the line it is given; it gets a copy.
    std::string line = commandLine;
    PROCESS_INFORMATION child{};
    const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &child);
    const DWORD startError = GetLastError();
    // Our copy of the write end goes at once: once the child has ended, the
    // pipe must not be held open by us.
    writeEnd.Reset();
    if (!started)
        return CaptureErrorText(startError, commandLine);
    Handle process(child.hProcess), thread(child.hThread);

    // While the child runs: read whatever is there, and when nothing is,
    // wait a little on the child. An anonymous pipe cannot be waited on, so
    // the wait on the process paces the loop. The child is looked at after
    // every read too, so a grandchild that keeps writing cannot hide its end.
    CaptureBuffer buffer;
    DWORD available = 0;
    bool pipeOpen = true;
    for (;;) {
        pipeOpen = TakeAvailable(readEnd.Get(), buffer, available);
        if (!pipeOpen) {
            // Every writer has closed the pipe; the child may run on.
            WaitForSingleObject(process.Get(), INFINITE);
            break;
        }
        if (WaitForSingleObject(process.Get(), available == 0 ? 10 : 0) == WAIT_OBJECT_0)
            break;
    }
    // The child has ended: take what it left in the pipe, without waiting
    // for a grandchild that may still hold the write end.
    if (pipeOpen)
        TakeAvailable(readEnd.Get(), buffer, available);
    process.Reset();
    thread.Reset();
    return buffer.OutputText();
}

} // namespace vantrel
