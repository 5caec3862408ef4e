// Starting a program on Windows: the handles it gets, the output pipe it
// writes to, and which file runs. Both are made so that nothing else on the
// machine can interfere: the pipe's name cannot be known beforehand and only
// the current user may open it; the program is not taken from a folder where
// someone may have put a program of a system name beside Vantrel; and the
// child inherits its two standard handles and nothing else of ours.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// Owns one kernel handle and closes it when it goes out of scope.
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) { Reset(handle); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { Reset(); }

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
// opened for overlapped reads, and whose write end is an inheritable one for
// the child.
struct OutputPipe {
    UniqueHandle readEnd, writeEnd;
};

// The system's random source (and a mix of clocks where it fails).
std::uint64_t SystemRandom();

// The pipe's name, \\.\pipe\vantrel-<the number in 16 hexadecimal digits>.
std::wstring OutputPipeName(std::uint64_t random);

// Makes the output pipe under a name that holds a number from random(), so
// that no other program can know the name beforehand, and tries new names
// while one is taken (by chance or by a program that squats names). Only
// the current user may open the pipe. Returns 0 or the system's number for
// the last failure.
std::uint32_t CreateOutputPipe(OutputPipe& pipe, std::uint64_t (*random)() = SystemRandom);

// The program file a path names: the path as given when its file name has
// an extension, else with .exe, as the system adds it; empty unless that is
// a file (a directory of that name is no program).
std::wstring ProgramFile(std::wstring path);

// The child's command line from Vantrel's parameters: joined by single
// blanks, the first one quoted when it holds a blank and names a program
// file as a whole (a path with blanks), so that the system reads it as one
// word. Unquoted, the system would try it up to each blank in turn, the
// shortest first, and might run a program of that shorter name.
std::u16string JoinChildCommandLine(const std::vector<std::u16string>& parameters);

// Starts the command line, unchanged, as a hidden child whose standard
// output is `output`, whose standard input is the NUL device and which has
// no standard error. It inherits those two handles and no other. A program
// named without a path is looked for in the system directory, the Windows
// directory, PATH and, for a 32-bit Vantrel on 64-bit Windows, the native
// view of those in the system directory, before the system's own search,
// which would look in the folder of our exe and the current directory
// first; a batch file found there is run by the system directory's cmd.exe
// by its full path. A path in the system directory that only the native
// view holds is started from there. Returns 0 or the system's number for
// why the child could not be started.
std::uint32_t StartChild(std::u16string_view commandLine, HANDLE output, UniqueHandle& process,
                         UniqueHandle& thread);

} // namespace vantrel
