#include "Driver_win32.h"

#include <gtest/gtest.h>

std::wstring vantrelPath;
double timeoutScale = 1;

std::wstring Wide(const std::string& ascii)
{
    return std::wstring(ascii.begin(), ascii.end());
}

bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds)
{
    const auto limit = static_cast<DWORD>(milliseconds * timeoutScale);
    for (DWORD waited = 0; waited < limit; waited += 50) {
        if (condition())
            return true;
        Sleep(50);
    }
    return condition();
}

std::wstring Lines(const std::wstring& text)
{
    std::wstring out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r') {
            out += L'\n';
            if (i + 1 < text.size() && text[i + 1] == L'\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::wstring TextOf(HWND window)
{
    const auto length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

std::ostream& operator<<(std::ostream& out, Selection s)
{
    return out << s.start << ".." << s.end;
}

Selection SelectionOf(HWND control, Selection expected)
{
    auto now = [&] {
        const auto packed = static_cast<DWORD>(SendMessageW(control, EM_GETSEL, 0, 0));
        return Selection{LOWORD(packed), HIWORD(packed)};
    };
    if (expected.start >= 0)
        WaitUntil([&] { return now() == expected; });
    return now();
}

std::wstring Clipboard(UINT format)
{
    std::wstring text;
    if (!WaitUntil([] { return OpenClipboard(nullptr) != FALSE; }, 2000))
        return L"(clipboard not opened)";
    if (HANDLE data = GetClipboardData(format)) {
        if (format == CF_TEXT)
            text = Wide(static_cast<const char*>(GlobalLock(data)));
        else
            text = static_cast<const wchar_t*>(GlobalLock(data));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

bool ClipboardOffers(UINT format)
{
    return IsClipboardFormatAvailable(format) != FALSE;
}

void ClearClipboard()
{
    if (WaitUntil([] { return OpenClipboard(nullptr) != FALSE; }, 2000)) {
        EmptyClipboard();
        CloseClipboard();
    }
}

void Key(WORD key, std::vector<WORD> modifiers)
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
    Sleep(150);
}

void Type(HWND field, const std::wstring& text)
{
    for (const wchar_t c : text)
        SendMessageW(field, WM_CHAR, c, 1);
}

HWND Control(HWND parent, const wchar_t* className)
{
    struct Search {
        const wchar_t* className;
        HWND found;
    } search{className, nullptr};
    EnumChildWindows(parent, [](HWND control, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        wchar_t name[64];
        GetClassNameW(control, name, 64);
        if (lstrcmpiW(name, s->className) != 0)
            return TRUE;
        s->found = control;
        return FALSE;
    }, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FocusOf(HWND window)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

RECT RectIn(HWND control, HWND parent)
{
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void SetScreenDensity(DWORD dpi)
{
    HKEY desktop;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &desktop, nullptr) == ERROR_SUCCESS) {
        RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
        RegCloseKey(desktop);
    }
}

Program::Program(const std::wstring& parameters, const std::wstring& exe, const std::wstring& directory)
{
    std::wstring line = L"\"" + exe + L"\"" + (parameters.empty() ? L"" : L" " + parameters);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    // Without a console of ours for it or its children to share.
    EXPECT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                               directory.empty() ? nullptr : directory.c_str(), &startup, &process))
        << "vantrel.exe starts";
}

Program::~Program()
{
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
        TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
}

namespace {

// The program's top-level window that the test accepts, once there is one.
HWND WindowOf(DWORD pid, const std::function<bool(HWND)>& accepted, DWORD milliseconds)
{
    struct Search {
        DWORD pid;
        const std::function<bool(HWND)>& accepted;
        HWND found;
    } search{pid, accepted, nullptr};
    WaitUntil([&] {
        EnumWindows([](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD pid = 0;
            GetWindowThreadProcessId(window, &pid);
            if (pid != s->pid || !s->accepted(window))
                return TRUE;
            s->found = window;
            return FALSE;
        }, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    }, milliseconds);
    return search.found;
}

} // namespace

HWND Program::FindWindowTitled(const wchar_t* caption, DWORD milliseconds)
{
    return WindowOf(process.dwProcessId,
                    [&](HWND window) { return IsWindowVisible(window) && TextOf(window) == caption; }, milliseconds);
}

HWND Program::HiddenWindow()
{
    return WindowOf(process.dwProcessId, [](HWND window) {
        wchar_t name[32];
        GetClassNameW(window, name, 32);
        return lstrcmpW(name, L"Tfrm_Output") == 0;
    }, 30000);
}

DWORD Program::WaitForExit()
{
    DWORD status = 12345;
    if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(10000 * timeoutScale)) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &status);
    return status;
}

std::wstring ViewAfterRun(const std::wstring& parameters, const std::wstring& exe, const std::wstring& directory)
{
    Program vantrel(parameters, exe, directory);
    HWND window = vantrel.FindWindowTitled(L"Vantrel");
    if (!window)
        return L"(no window)";
    const std::wstring text = Lines(TextOf(Control(window, L"RichEdit20W")));
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(vantrel.WaitForExit(), 0u) << "closing the window ends it with status 0";
    return text;
}

GoSignal::GoSignal(const char* what)
    : name(std::string("vantrel-e2e-") + what + "-" + std::to_string(GetCurrentProcessId())),
      event(CreateEventA(nullptr, TRUE, FALSE, name.c_str()))
{
}

GoSignal::~GoSignal()
{
    Set();
    CloseHandle(event);
}
