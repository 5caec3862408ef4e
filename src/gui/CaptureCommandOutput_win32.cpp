// CaptureCommandOutput on Windows: the child runs hidden with the pipe's
// write end as its standard output (see ChildProcess_win32.cpp), and the
// pipe is drained while the child runs so that no amount of output can block
// it. The child's end is noticed during a read as well as between reads, so
// a grandchild that inherited the pipe cannot hold the capture up; and every
// wait also wakes for the thread's messages, which are answered at once.
#include "Capture_win32.h"

#include <algorithm>
#include <memory>
#include <optional>

namespace vantrel {

namespace {

// Waits until one of the handles is signalled and returns its index, while
// dispatching every message sent or posted to the calling thread. A WM_QUIT
// among them is kept in `quit` instead (the last one's exit code).
DWORD WaitAnsweringMessages(DWORD count, const HANDLE* handles, std::optional<WPARAM>& quit)
{
    for (;;) {
        const DWORD woken = MsgWaitForMultipleObjectsEx(count, handles, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woken != WAIT_OBJECT_0 + count)
            return woken - WAIT_OBJECT_0;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = message.wParam;
                continue;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

// The state of one drain: the pipe, the event its reads signal, the child,
// and a WM_QUIT that came meanwhile.
struct Drain {
    HANDLE pipe, readDone, process;
    CaptureBuffer& buffer;
    std::optional<WPARAM> quit;
    char chunk[65536];

    // One overlapped read into the chunk, ended early when the child ends
    // first (with waitForChild false, the read alone is waited for). Returns
    // false once every writer has closed the pipe or it fails.
    bool ReadUnlessChildEnds(DWORD size, bool waitForChild, bool& childEnded)
    {
        OVERLAPPED read{};
        read.hEvent = readDone;
        if (!ReadFile(pipe, chunk, size, nullptr, &read) && GetLastError() != ERROR_IO_PENDING)
            return false;
        // The child comes first: a grandchild that keeps the pipe full could
        // otherwise keep the read winning every time.
        const HANDLE either[] = {process, readDone};
        childEnded = waitForChild && WaitAnsweringMessages(2, either, quit) == 0;
        if (childEnded)
            CancelIo(pipe);
        // A read cancelled too late has completed, and what it read is kept.
        DWORD count = 0;
        const bool completed = GetOverlappedResult(pipe, &read, &count, TRUE);
        buffer.Append(chunk, count);
        return completed;
    }

    // Reads the pipe until the child has ended, then takes what the pipe
    // holds at that moment (the child's last words, perhaps some of a
    // grandchild's) without waiting for a grandchild that may still hold the
    // write end.
    void UntilChildEnds()
    {
        bool childEnded = false;
        while (!childEnded && ReadUnlessChildEnds(sizeof chunk, true, childEnded)) {
        }
        // Every writer may have closed the pipe while the child still runs.
        WaitAnsweringMessages(1, &process, quit);
        DWORD available = 0;
        if (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            bool unused = false;
            ReadUnlessChildEnds(std::min<DWORD>(available, sizeof chunk), false, unused);
        }
    }
};

} // namespace

std::u16string FromAnsi(std::string_view bytes)
{
    if (bytes.empty())
        return {};
    const int size = static_cast<int>(bytes.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
    std::u16string text(static_cast<std::size_t>(length), u'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, reinterpret_cast<wchar_t*>(text.data()), length);
    return text;
}

WideChildCapture::WideChildCapture(std::u16string_view commandLine)
{
    readDone_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    startError_ = readDone_.Get() ? CreateOutputPipe(pipe_) : GetLastError();
    if (startError_ == 0)
        startError_ = StartChild(commandLine, pipe_.writeEnd.Get(), process_, thread_);
    // Our copy of the write end goes at once: once the child has ended, the
    // pipe must not be held open by us.
    pipe_.writeEnd.Reset();
}

WideChildCapture::~WideChildCapture()
{
    if (!finished_)
        Finish();
}

std::string WideChildCapture::Finish()
{
    finished_ = true;
    if (!process_.Get())
        return {};
    CaptureBuffer buffer;
    Drain drain{pipe_.readEnd.Get(), readDone_.Get(), process_.Get(), buffer, {}, {}};
    drain.UntilChildEnds();
    process_.Reset();
    thread_.Reset();
    pipe_.readEnd.Reset();
    if (drain.quit)
        PostQuitMessage(static_cast<int>(*drain.quit));
    return buffer.OutputText();
}

// The 8-bit command line, read in the ANSI code page as the system would
// read it, and the error text made of it as it was given.
struct ChildCapture::Child {
    explicit Child(const std::string& line) : commandLine(line), capture(FromAnsi(line)) {}
    std::string commandLine;
    WideChildCapture capture;
};

ChildCapture::ChildCapture(const std::string& commandLine) : child_(std::make_unique<Child>(commandLine)) {}

ChildCapture::~ChildCapture() = default;

std::string ChildCapture::Finish()
{
    std::string output = child_->capture.Finish();
    if (const std::uint32_t error = child_->capture.StartError())
        return CaptureErrorText(error, child_->commandLine);
    return output;
}

} // namespace vantrel
