// The children of the Windows tests. Each test binary is its own child:
// "<self> --child <behaviour> [+ <behaviour> ...]" acts out the behaviours
// in order, so that one child can do what several cases need.
#pragma once

#include "ChildOutput.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// The path of this binary.
inline std::string SelfPath()
{
    char path[MAX_PATH];
    return std::string(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
}

// The command line that starts this binary as a child with the behaviours.
inline std::string ChildLine(const std::string& behaviours)
{
    return "\"" + SelfPath() + "\" --child " + behaviours;
}

// Milliseconds on the one clock that every process reads alike.
inline long long NowMs()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return now.QuadPart * 1000 / frequency.QuadPart;
}

// A path in the temporary folder, made unique to this process.
inline std::string TempPath(const char* name)
{
    char directory[MAX_PATH];
    GetTempPathA(MAX_PATH, directory);
    return std::string(directory) + name + std::to_string(GetCurrentProcessId());
}

inline bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace children {

inline void Out(const std::string& bytes)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
              nullptr);
}

inline void Touch(const std::string& path, const std::string& text = "")
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

// One behaviour, its name first.
inline int Behave(const std::vector<std::string>& a)
{
    int status = 0;
    const auto err = [](const std::string& bytes) {
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                  nullptr);
    };
    if (WriteLikeEveryPlatform(a, Out, err, status))
        return status;
    const std::string& behaviour = a[0];
    if (behaviour == "linesum") {   // the fingerprint of the raw command line
        Out(Fingerprint(GetCommandLineA()));
    } else if (behaviour == "commandline") {
        Out(GetCommandLineA());
    } else if (behaviour == "print") {     // its raw command line from the text after "print "
        Out(std::strstr(GetCommandLineA(), " --child print ") + 15);
    } else if (behaviour == "stdin") {
        char c;
        DWORD read = 0;
        const BOOL ok = ReadFile(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &read, nullptr);
        Out(!ok ? "no input" : read == 0 ? "end of input" : "read a byte");
    } else if (behaviour == "grandchild") { // grandchild <count> <behaviour...>
        // Starts that many grandchildren that hold standard output.
        Out("parent done");
        std::string line = ChildLine("");
        for (std::size_t i = 2; i < a.size(); ++i)
            line += " \"" + a[i] + "\"";
        for (int n = std::atoi(a[1].c_str()); n > 0; --n) {
            STARTUPINFOA startup{};
            startup.cb = sizeof startup;
            startup.dwFlags = STARTF_USESTDHANDLES;
            startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
            PROCESS_INFORMATION grandchild{};
            std::string copy = line;
            if (CreateProcessA(nullptr, copy.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                               &grandchild)) {
                CloseHandle(grandchild.hProcess);
                CloseHandle(grandchild.hThread);
            }
        }
    } else if (behaviour == "stamp") {     // stamp <file>: the time now
        Touch(a[1], std::to_string(NowMs()));
    } else if (behaviour == "sleep") {
        Sleep(static_cast<DWORD>(std::atoi(a[1].c_str())));
    } else if (behaviour == "wait-event") { // wait-event <name>: until the test sets it, ten minutes at most
        HANDLE event = CreateEventA(nullptr, TRUE, FALSE, a[1].c_str());
        WaitForSingleObject(event, 600000);
        CloseHandle(event);
    } else if (behaviour == "broadcast") { // as installers do: every top-level window must answer
        SendMessageW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"));
    } else if (behaviour == "flood") {     // flood <marker>: writes without pause, for a minute at most
        const std::string block(65536, 'g');
        const DWORD start = GetTickCount();
        DWORD written = 0;
        while (GetTickCount() - start < 60000 &&
               WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), block.data(), 65536, &written, nullptr)) {
        }
        Touch(a[1]);
    } else if (behaviour == "write-handle") { // writes into a handle it may have inherited
        DWORD written = 0;
        WriteFile(reinterpret_cast<HANDLE>(std::strtoull(a[1].c_str(), nullptr, 10)), "leaked", 6, &written,
                  nullptr);
    } else if (behaviour == "close-early") { // close-early <marker>
        Out("early");
        CloseHandle(GetStdHandle(STD_OUTPUT_HANDLE));
        Sleep(500);
        Touch(a[1]);
    } else if (behaviour == "killed") {
        Out("partial output");
        TerminateProcess(GetCurrentProcess(), 9);
    }
    return 0;
}

// A child that has done its behaviours waits VANTREL_E2E_CHILD_LINGER_MS
// before it ends, so that Vantrel's read is already waiting when the end of
// the output comes. The 32-bit exe's test needs it: under qemu 7.2, Wine's
// signal to a thread that is between starting a read and waiting on it can
// run on another thread's signal stack, after which that thread never wakes,
// a fault of the emulator that neither Windows nor native Wine shows.
inline void Linger()
{
    if (const char* milliseconds = std::getenv("VANTREL_E2E_CHILD_LINGER_MS"))
        Sleep(static_cast<DWORD>(std::atoi(milliseconds)));
}

} // namespace children

// Acts out the behaviours after argv[1] (which is --child); returns the
// child's exit status.
inline int RunChild(int argc, char** argv)
{
    int status = 0;
    for (int i = 2; i < argc;) {
        int end = i;
        while (end < argc && std::strcmp(argv[end], "+") != 0)
            ++end;
        status = children::Behave(std::vector<std::string>(argv + i, argv + end));
        i = end + 1;
    }
    children::Linger();
    return status;
}
