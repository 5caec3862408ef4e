// What the end-to-end test uses to drive the real vantrel.exe from outside,
// as a user does: starting it, finding its windows and controls, real key
// events and typed characters, the clipboard, and waits that allow for an
// exe that starts slowly.
#pragma once

#include "Children_win32.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// The exe under test, and the factor every wait is multiplied by
// (VANTREL_E2E_TIMEOUT_SCALE; the 32-bit exe under emulation needs 10).
inline std::wstring vantrelPath;
inline double timeoutScale = 1;

// Polls until the condition holds or the time (times the scale) has passed:
// key events are queued, so their effect shows a moment later.
inline bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds = 5000)
{
    const auto limit = static_cast<DWORD>(milliseconds * timeoutScale);
    for (DWORD waited = 0; waited < limit; waited += 50) {
        if (condition())
            return true;
        Sleep(50);
    }
    return condition();
}

// Line breaks as one LF, whatever form the control or clipboard returns.
inline std::wstring Lines(const std::wstring& text)
{
    std::wstring out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        out += text[i] == L'\r' ? L'\n' : text[i];
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n')
            ++i;
    }
    return out;
}

inline std::wstring TextOf(HWND window)
{
    std::wstring text(static_cast<std::size_t>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

// The clipboard's text in that format (CF_UNICODETEXT or CF_TEXT).
inline std::wstring Clipboard(UINT format = CF_UNICODETEXT)
{
    std::wstring text;
    if (!WaitUntil([] { return OpenClipboard(nullptr) != FALSE; }, 2000))
        return L"(clipboard not opened)";
    if (HANDLE data = GetClipboardData(format)) {
        void* bytes = GlobalLock(data);
        text = format == CF_TEXT ? Wide(static_cast<const char*>(bytes)) : static_cast<const wchar_t*>(bytes);
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

inline void ClearClipboard()
{
    if (WaitUntil([] { return OpenClipboard(nullptr) != FALSE; }, 2000)) {
        EmptyClipboard();
        CloseClipboard();
    }
}

// Real key events, as the keyboard makes them: modifiers down, key down and
// up, modifiers up; then a moment for them to arrive. Returns the last key.
inline WORD Key(WORD key, std::vector<WORD> modifiers = {}, DWORD moment = 150)
{
    std::vector<INPUT> inputs;
    auto add = [&](WORD vk, bool up) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
        input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(input);
    };
    for (const WORD m : modifiers)
        add(m, false);
    add(key, false);
    add(key, true);
    for (auto m = modifiers.rbegin(); m != modifiers.rend(); ++m)
        add(*m, true);
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    Sleep(moment);
    return inputs.back().ki.wVk;
}

// The first window that the test accepts, among the children of `parent` or
// (with no parent) the top-level windows of process `pid`, once there is one.
inline HWND FindWindowOf(HWND parent, DWORD pid, const std::function<bool(HWND)>& accepted, DWORD milliseconds)
{
    struct Search {
        DWORD pid;
        const std::function<bool(HWND)>& accepted;
        HWND found;
    } search{pid, accepted, nullptr};
    const WNDENUMPROC match = [](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if ((s->pid && pid != s->pid) || !s->accepted(window))
            return TRUE;
        s->found = window;
        return FALSE;
    };
    WaitUntil([&] {
        parent ? EnumChildWindows(parent, match, reinterpret_cast<LPARAM>(&search))
               : EnumWindows(match, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    }, milliseconds);
    return search.found;
}

inline bool OfClass(HWND window, const wchar_t* className)
{
    wchar_t name[64];
    GetClassNameW(window, name, 64);
    return lstrcmpiW(name, className) == 0;
}

// The first descendant control of that window class (compared case-insensitively).
inline HWND Control(HWND parent, const wchar_t* className)
{
    return FindWindowOf(parent, 0, [&](HWND control) { return OfClass(control, className); }, 0);
}

inline HWND FocusOf(HWND window)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

// The screen's density for the programs started from now on.
inline void SetScreenDensity(DWORD dpi)
{
    HKEY desktop;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &desktop, nullptr) == ERROR_SUCCESS) {
        RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
        RegCloseKey(desktop);
    }
}

// vantrel.exe (or a copy of it) started with the parameters, in the
// driver's current directory or the one given, as the desktop starts it:
// without a console of ours for it or its children to share, and with the
// show state given (none: the starter asks for nothing). Ended by force if
// it still runs when the object goes.
struct Program {
    PROCESS_INFORMATION process{};

    explicit Program(const std::wstring& parameters, const std::wstring& exe = vantrelPath,
                     const std::wstring& directory = L"", int show = -1)
    {
        std::wstring line = L"\"" + exe + L"\"" + (parameters.empty() ? L"" : L" " + parameters);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = show < 0 ? 0 : STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(show < 0 ? 0 : show);
        EXPECT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                                   directory.empty() ? nullptr : directory.c_str(), &startup, &process))
            << "vantrel.exe starts";
    }
    ~Program()
    {
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(process.hProcess, 99);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }

    // The program's top-level window with that caption, once it is visible.
    HWND FindWindowTitled(const wchar_t* caption, DWORD milliseconds = 30000)
    {
        return FindWindowOf(nullptr, process.dwProcessId, [&](HWND window) {
            return IsWindowVisible(window) && TextOf(window) == caption;
        }, milliseconds);
    }
    // The output window while it is still hidden.
    HWND HiddenWindow()
    {
        return FindWindowOf(nullptr, process.dwProcessId, [](HWND w) { return OfClass(w, L"Tfrm_Output"); }, 30000);
    }
    // Closes the window as its close box does; the exit status then.
    DWORD Close(HWND window) { return PostMessageW(window, WM_CLOSE, 0, 0), WaitForExit(); }
    DWORD WaitForExit()
    {
        DWORD status = 12345;
        if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(10000 * timeoutScale)) == WAIT_OBJECT_0)
            GetExitCodeProcess(process.hProcess, &status);
        return status;
    }
};

// Runs Vantrel on the parameters and returns the text its view shows (line
// breaks as LF), then closes it, expecting status 0.
inline std::wstring ViewAfterRun(const std::wstring& parameters, const std::wstring& exe = vantrelPath,
                                 const std::wstring& directory = L"")
{
    Program vantrel(parameters, exe, directory);
    HWND window = vantrel.FindWindowTitled(L"Vantrel");
    if (!window)
        return L"(no window)";
    const std::wstring text = Lines(TextOf(Control(window, L"RichEdit20W")));
    EXPECT_EQ(vantrel.Close(window), 0u) << "closing the window ends it with status 0";
    return text;
}
