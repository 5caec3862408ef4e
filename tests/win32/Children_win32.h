// The children of the Windows tests. Each test binary is its own child:
// "<self> --child <behaviour> [+ <behaviour> ...]" acts out the behaviours
// in order, so that one child can do what several cases need.
#pragma once

#include "ChildOutput.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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

// A path in the temporary folder, made unique to this process.
inline std::string TempPath(const char* name)
{
    char directory[MAX_PATH];
    GetTempPathA(MAX_PATH, directory);
    return std::string(directory) + name + std::to_string(GetCurrentProcessId());
}

inline bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
inline std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// The files and folders a test makes, removed again, the last first, when
// it goes. Each call returns the path it made (Copy: empty where it failed;
// Marker: a file a child leaves, none there yet).
struct MadeFiles {
    std::vector<std::wstring> paths;

    std::wstring Folder(const std::wstring& path) { return CreateDirectoryW(path.c_str(), nullptr), Made(path); }
    std::wstring File(const std::wstring& path, const std::string& text)
    {
        return std::ofstream(path.c_str(), std::ios::binary) << text, Made(path);
    }
    std::wstring Copy(const std::wstring& from, const std::wstring& path)
    {
        return CopyFileW(from.c_str(), path.c_str(), FALSE) ? Made(path) : std::wstring();
    }
    std::wstring Made(const std::wstring& path) { return paths.emplace_back(path); }
    std::string Marker(const std::string& path) { return DeleteFileA(path.c_str()), Made(Wide(path)), path; }
    ~MadeFiles()
    {
        for (auto path = paths.rbegin(); path != paths.rend(); ++path)
            DeleteFileW(path->c_str()) || RemoveDirectoryW(path->c_str());
    }
};

// A named event that a child waits for (its "wait-event" behaviour); set
// when the object goes, so that no child waits on after a failed check.
struct GoSignal {
    std::string name;
    HANDLE event;
    explicit GoSignal(const char* what)
        : name(std::string("vantrel-test-") + what + "-" + std::to_string(GetCurrentProcessId())),
          event(CreateEventA(nullptr, TRUE, FALSE, name.c_str())) {}
    ~GoSignal() { Set(), CloseHandle(event); }
    void Set() const { SetEvent(event); }
};

namespace children {

// False once the write fails.
inline bool Write(HANDLE handle, const std::string& bytes)
{
    DWORD written = 0;
    return WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}
inline void Out(const std::string& bytes) { Write(GetStdHandle(STD_OUTPUT_HANDLE), bytes); }
inline void Touch(const std::string& path) { std::ofstream{path}; }

// The behaviours only Windows children have: one table from a behaviour's
// name to what it does, given its parameters (its name first).
using Parameters = const std::vector<std::string>&;
using WindowsChild = std::pair<const char*, void (*)(Parameters)>;

// grandchild <n> <behaviour...>: n grandchildren that hold standard output.
inline void StartGrandchildren(Parameters a)
{
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
        if (CreateProcessA(nullptr, copy.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &grandchild)) {
            CloseHandle(grandchild.hProcess);
            CloseHandle(grandchild.hThread);
        }
    }
}

inline const std::vector<WindowsChild>& WindowsChildren()
{
    static const std::vector<WindowsChild> table = {
        {"linesum", [](Parameters) { Out(Fingerprint(GetCommandLineA())); }}, // of the raw command line
        {"commandline", [](Parameters) { Out(GetCommandLineA()); }},
        {"print", [](Parameters) { Out(std::strstr(GetCommandLineA(), " --child print ") + 15); }},
        {"stdin", [](Parameters) {
             char c;
             DWORD read = 0;
             const BOOL ok = ReadFile(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &read, nullptr);
             Out(!ok ? "no input" : read == 0 ? "end of input" : "read a byte");
         }},
        {"grandchild", StartGrandchildren},
        {"touch", [](Parameters a) { Touch(a.at(1)); }},
        {"wait-event", [](Parameters a) { // until the test sets it, ten minutes at most
             HANDLE event = CreateEventA(nullptr, TRUE, FALSE, a.at(1).c_str());
             WaitForSingleObject(event, 600000);
             CloseHandle(event);
         }},
        {"broadcast", [](Parameters) { // as installers do: every top-level window must answer
             SendMessageW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"));
         }},
        {"flood", [](Parameters a) { // flood <marker>: writes until a write fails
             while (Write(GetStdHandle(STD_OUTPUT_HANDLE), std::string(65536, 'g'))) {
             }
             Touch(a.at(1));
         }},
        {"write-handle", [](Parameters a) { // into a handle it may have inherited
             Write(reinterpret_cast<HANDLE>(std::strtoull(a.at(1).c_str(), nullptr, 10)), "leaked");
         }},
        {"close-early", [](Parameters a) { // close-early <marker>
             Out("early");
             CloseHandle(GetStdHandle(STD_OUTPUT_HANDLE));
             Sleep(500);
             Touch(a.at(1));
         }},
        {"killed", [](Parameters) {
             Out("partial output");
             TerminateProcess(GetCurrentProcess(), 9);
         }},
    };
    return table;
}

// One behaviour, its name first; returns the child's exit status.
inline int Behave(Parameters a)
{
    int status = 0;
    const auto err = [](const std::string& bytes) { Write(GetStdHandle(STD_ERROR_HANDLE), bytes); };
    if (WriteLikeEveryPlatform(a, Out, err, status))
        return status;
    for (const auto& [name, act] : WindowsChildren()) {
        if (a[0] == name)
            act(a);
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

// What a test binary's main does first. Started under a name other than its
// own (a copy planted where no program of that name may run, or put where
// the lookup must find it), it only says which program ran; started with
// --child, it acts the behaviours out. The exit status then; none for a test run.
inline std::optional<int> RunAsChild(int argc, char** argv, const char* ownName)
{
    const std::string self = SelfPath(), name = self.substr(self.find_last_of("\\/") + 1);
    if (name.rfind(ownName, 0) != 0)
        return std::fputs((name + " ran").c_str(), stdout), 0;
    if (argc >= 2 && std::strcmp(argv[1], "--child") == 0)
        return RunChild(argc, argv);
    return std::nullopt;
}
