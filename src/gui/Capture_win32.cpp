// The capture on Windows: the child runs hidden with the pipe's write end as
// its standard output (Process_win32.h), and the pipe is drained while the
// child runs so that no amount of output can block it. The child's end is
// noticed during a read as well as between reads, so a grandchild that
// inherited the pipe cannot hold the capture up; and every wait also wakes
// for the thread's messages, which are answered at once.
#include "Capture_win32.h"
#include "Process_win32.h"

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

// The running command: its process, the pipe and the event its reads
// signal. While Drain waits for the command, the calling thread's messages
// are answered (Capture_win32.h).
struct RunningCommand {
    UniqueHandle process, thread, readDone;
    OutputPipe pipe;
    std::uint32_t startError = 0;

    // Starts the command line, exactly as given, as a hidden child with its
    // standard output on the output pipe.
    explicit RunningCommand(std::u16string_view commandLine)
    {
        readDone.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        startError = readDone.Get() ? CreateOutputPipe(pipe) : GetLastError();
        if (startError == 0)
            startError = StartChild(commandLine, pipe.writeEnd.Get(), process, thread);
        // Our copy of the write end goes at once: once the child has ended,
        // the pipe must not be held open by us.
        pipe.writeEnd.Reset();
    }

    // Drains the pipe until the child has ended and returns its output as
    // OutputText (empty when the child was not started). Then the pipe is
    // closed, so that a grandchild that still writes to it fails at once
    // instead of waiting for a reader. A WM_QUIT taken from the thread's
    // queue meanwhile is posted again on return, for the caller's own
    // message loop.
    std::string Drain()
    {
        if (!process.Get())
            return {};
        CaptureBuffer buffer;
        vantrel::Drain drain{pipe.readEnd.Get(), readDone.Get(), process.Get(), buffer, {}, {}};
        drain.UntilChildEnds();
        process.Reset();
        thread.Reset();
        pipe.readEnd.Reset();
        if (drain.quit)
            PostQuitMessage(static_cast<int>(*drain.quit));
        return buffer.OutputText();
    }
};

// The command line as it is started, and the output as Finish returns it,
// for each kind of command line: an 8-bit line is read in the ANSI code page
// as the system would read it and gets the bytes back; a UTF-16 line starts
// unchanged and gets the output as the console's code page decodes it.
std::u16string LineToStart(std::u16string_view commandLine) { return std::u16string(commandLine); }
std::u16string LineToStart(std::string_view commandLine) { return FromAnsi(commandLine); }
std::string OutputAs(std::string bytes, const std::string& /*kind*/) { return bytes; }
std::u16string OutputAs(const std::string& bytes, const std::u16string& /*kind*/) { return FromAnsi(bytes); }

} // namespace

template <typename Char>
struct BasicChildCapture<Char>::Child : RunningCommand {
    using RunningCommand::RunningCommand;
};

template <typename Char>
BasicChildCapture<Char>::BasicChildCapture(std::basic_string_view<Char> commandLine, CaptureCompanion* /*none*/)
    : commandLine_(commandLine), child_(std::make_unique<Child>(LineToStart(commandLine)))
{
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
    return child_->startError;
}

template <typename Char>
auto BasicChildCapture<Char>::Finish() -> Text
{
    finished_ = true;
    return CapturedText<Char>(child_->startError, commandLine_, OutputAs(child_->Drain(), commandLine_));
}

template class BasicChildCapture<char>;
template class BasicChildCapture<char16_t>;

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

} // namespace vantrel
