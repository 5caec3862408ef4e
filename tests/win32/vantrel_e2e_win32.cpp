// End-to-end test of the real vantrel.exe under Windows (run here under
// wine64 on Xvfb): starts it with a command line, finds its window and
// controls, types into the find field (WM_CHAR for characters, real key
// events for Enter, Escape, Tab, Alt+F and Alt+C), reads the view's
// selection and text and the clipboard, closes the window and checks the
// exit status. Also covers the usage message box and a program that cannot
// be started.
//   vantrel_e2e_win32.exe <path of vantrel.exe> [case ...]
// runs the cases named, in that order (all when none is), each starting
// Vantrel once or more. A /unix/path to the exe works too.
// VANTREL_E2E_TIMEOUT_SCALE (a number, 1 by default) multiplies every wait,
// for an exe that starts slowly, such as the 32-bit one under emulation.
// Started as "vantrel_e2e_win32.exe --print <text>" it is the child whose
// output Vantrel shows: it prints its own command line from <text> on;
// "--bytes <hex> <count> ..." writes each <hex> bytes <count> times. With
// VANTREL_E2E_CHILD_LINGER_MS set, such a child waits that long after
// writing before it ends (see Linger).
#include "ChildOutput.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

int failures = 0;
std::wstring vantrelPath;
std::wstring selfPath;
double timeoutScale = 1;

std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (const wchar_t c : text) {
        if (c == L'\r')
            out += "\\r";
        else if (c == L'\n')
            out += "\\n";
        else
            out += c < 128 ? static_cast<char>(c) : '?';
    }
    return out;
}

void Check(bool ok, const char* what, const std::wstring& detail = L"")
{
    std::printf("%s: %s%s%s\n", ok ? "ok" : "FAIL", what, detail.empty() ? "" : " -- ", Narrow(detail).c_str());
    std::fflush(stdout);
    if (!ok)
        ++failures;
}

void CheckEqual(const std::wstring& expected, const std::wstring& actual, const char* what)
{
    Check(expected == actual, what, expected == actual ? L"" : L"expected \"" + expected + L"\", got \"" + actual + L"\"");
}

// Polls until the condition holds or five seconds (times the timeout scale)
// have passed: key events are queued, so their effect shows a moment later.
bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds = 5000)
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
std::wstring Lines(std::wstring text)
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

struct Selection {
    int start, end;
    bool operator==(const Selection&) const = default;
};

Selection SelectionOf(HWND control)
{
    const auto packed = static_cast<DWORD>(SendMessageW(control, EM_GETSEL, 0, 0));
    return {LOWORD(packed), HIWORD(packed)};
}

std::wstring Describe(Selection s) { return std::to_wstring(s.start) + L".." + std::to_wstring(s.end); }

void CheckSelection(HWND view, Selection expected, const char* what)
{
    WaitUntil([&] { return SelectionOf(view) == expected; });
    const Selection actual = SelectionOf(view);
    Check(actual == expected, what, actual == expected ? L"" : L"expected " + Describe(expected) + L", got " + Describe(actual));
}

std::wstring Clipboard()
{
    std::wstring text;
    if (!WaitUntil([] { return OpenClipboard(nullptr) != FALSE; }, 2000))
        return L"(clipboard not opened)";
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        text = static_cast<const wchar_t*>(GlobalLock(data));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

// Whether the clipboard offers that format, without asking its owner to
// render it (reading the data would make a delayed copy permanent).
bool ClipboardOffers(UINT format)
{
    return IsClipboardFormatAvailable(format) != FALSE;
}

// The clipboard's text in the 8-bit format, as a program that reads only
// that format sees it.
std::string ClipboardAnsi()
{
    std::string text;
    if (!WaitUntil([] { return OpenClipboard(nullptr) != FALSE; }, 2000))
        return "(clipboard not opened)";
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
        text = static_cast<const char*>(GlobalLock(data));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

void ClearClipboard()
{
    if (WaitUntil([] { return OpenClipboard(nullptr) != FALSE; }, 2000)) {
        EmptyClipboard();
        CloseClipboard();
    }
}

// Real key events, as the keyboard makes them: modifiers down, key down and
// up, modifiers up.
void Key(WORD key, std::vector<WORD> modifiers = {})
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

// Characters typed into the field, as the keyboard's translation delivers them.
void Type(HWND field, const std::wstring& text)
{
    for (const wchar_t c : text)
        SendMessageW(field, WM_CHAR, c, 1);
}

struct WindowSearch {
    DWORD pid;
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM search)
{
    auto* s = reinterpret_cast<WindowSearch*>(search);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == s->pid && IsWindowVisible(window) && TextOf(window) == s->caption) {
        s->found = window;
        return FALSE;
    }
    return TRUE;
}

struct ControlSearch {
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK MatchControl(HWND control, LPARAM search)
{
    auto* s = reinterpret_cast<ControlSearch*>(search);
    wchar_t name[64];
    GetClassNameW(control, name, 64);
    if (lstrcmpiW(name, s->className) == 0) {
        s->found = control;
        return FALSE;
    }
    return TRUE;
}

struct Program {
    PROCESS_INFORMATION process{};
    HWND window = nullptr;

    // Starts vantrel.exe (or a copy of it) with the parameters, in the
    // driver's current directory or the one given.
    explicit Program(const std::wstring& parameters, const std::wstring& exe = vantrelPath,
                     const std::wstring& directory = L"")
    {
        std::wstring line = L"\"" + exe + L"\"" + (parameters.empty() ? L"" : L" " + parameters);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        // Started as the desktop starts it, without a console of ours for
        // it or its children to share.
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                            directory.empty() ? nullptr : directory.c_str(), &startup, &process))
            Check(false, "vantrel.exe starts", line);
    }
    ~Program()
    {
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(process.hProcess, 99);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }

    // The program's visible top-level window with that caption.
    HWND FindWindowTitled(const wchar_t* caption, DWORD milliseconds = 30000)
    {
        WindowSearch search{process.dwProcessId, caption, nullptr};
        WaitUntil([&] {
            EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        }, milliseconds);
        return search.found;
    }

    DWORD WaitForExit()
    {
        DWORD status = 12345;
        if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(10000 * timeoutScale)) == WAIT_OBJECT_0)
            GetExitCodeProcess(process.hProcess, &status);
        return status;
    }
};

// The first descendant control of that window class (compared case-insensitively).
HWND Control(HWND parent, const wchar_t* className)
{
    ControlSearch search{className, nullptr};
    EnumChildWindows(parent, MatchControl, reinterpret_cast<LPARAM>(&search));
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

void FindAndCopy()
{
    Program vantrel(L"\"" + selfPath + L"\" --print Error, error, ERROR");
    HWND window = vantrel.FindWindowTitled(L"Vantrel");
    Check(window != nullptr, "the Vantrel window opens");
    if (!window)
        return;
    HWND view = Control(window, L"RichEdit20W");
    HWND field = Control(window, L"Edit");
    HWND button = Control(window, L"Button");
    Check(view && field && button, "the view, the find field and the button are there");
    SetForegroundWindow(window);

    // Start-up: the text plus one line break, the caret at 0, focus in the field.
    CheckEqual(L"Error, error, ERROR\n", Lines(TextOf(view)), "the view holds the output and one line break");
    CheckSelection(view, {0, 0}, "the caret stands at the start with nothing selected");
    Check(WaitUntil([&] { return FocusOf(window) == field; }), "the find field has the focus");
    RECT outer;
    GetWindowRect(window, &outer);
    Check(outer.right - outer.left == 668 && outer.bottom - outer.top == 600, "the window is 668 by 600",
          std::to_wstring(outer.right - outer.left) + L"x" + std::to_wstring(outer.bottom - outer.top));

    // The find, typed as characters; Enter and Escape as real keys.
    Type(field, L"erro");
    CheckSelection(view, {0, 4}, "typing selects the first occurrence");
    Type(field, L"r");
    CheckSelection(view, {0, 5}, "a growing pattern stays on it");
    Key(VK_RETURN);
    CheckSelection(view, {7, 12}, "Enter selects the second occurrence");
    Key(VK_RETURN);
    CheckSelection(view, {14, 19}, "Enter selects the third");
    Key(VK_RETURN);
    CheckSelection(view, {0, 0}, "Enter after the last puts the caret home");
    Key(VK_RETURN);
    CheckSelection(view, {0, 5}, "the next Enter selects the first again");
    Key(VK_ESCAPE);
    CheckEqual(L"", TextOf(field), "Escape empties the field");
    CheckSelection(view, {0, 5}, "Escape leaves the match selected");
    Type(field, L"or\b");
    CheckSelection(view, {0, 0}, "a Backspace is searched for and finds nothing");
    CheckEqual(L"o", TextOf(field), "the field then applies the Backspace");

    // Copy All by Alt+C.
    ClearClipboard();
    Type(field, L"x");
    Key(VK_ESCAPE);
    Type(field, L"ERROR");
    Key('C', {VK_MENU});
    Check(WaitUntil([] { return Lines(Clipboard()) == L"Error, error, ERROR\n"; }),
          "Alt+C copies the whole view", Clipboard());
    CheckSelection(view, {0, 0}, "Copy All leaves no selection");

    // Keyboard navigation: Tab order, and Alt+F selecting the field's text.
    Key(VK_TAB);
    Check(WaitUntil([&] { return FocusOf(window) == button; }), "Tab goes from the field to the button");
    Key(VK_TAB);
    Check(WaitUntil([&] { return FocusOf(window) == view; }), "Tab goes from the button to the view");
    Key('F', {VK_MENU});
    Check(WaitUntil([&] { return FocusOf(window) == field; }), "Alt+F puts the focus in the field");
    const auto length = static_cast<int>(TextOf(field).size());
    CheckSelection(field, {0, length}, "the field's text is selected when Alt+F brings the focus");
    Key(VK_TAB, {VK_SHIFT});
    Check(WaitUntil([&] { return FocusOf(window) == view; }), "Shift+Tab goes back to the view");

    // Text typed into the view is copied and searched like the output.
    Key(VK_END, {VK_CONTROL});
    Type(view, L"Zed");
    Key('C', {VK_MENU});
    Check(WaitUntil([] { return Lines(Clipboard()) == L"Error, error, ERROR\nZed"; }),
          "Copy All copies what the user typed into the view", Clipboard());

    // Anchoring: the field widens with the window, the button keeps its place.
    HWND panel = GetParent(field);
    const RECT fieldBefore = RectIn(field, panel);
    const RECT buttonBefore = RectIn(button, panel);
    RECT panelArea;
    GetClientRect(panel, &panelArea);
    Check(fieldBefore.left == 34 && panelArea.right - fieldBefore.right == 83, "the field sits 34 from the left and 83 from the right");
    Check(buttonBefore.left == 580, "the button sits 580 from the panel's left");
    SetWindowPos(window, nullptr, 0, 0, 768, 600, SWP_NOMOVE | SWP_NOZORDER);
    WaitUntil([&] { return RectIn(field, panel).right != fieldBefore.right; });
    GetClientRect(panel, &panelArea);
    Check(panelArea.right - RectIn(field, panel).right == 83, "a wider window widens the field");
    Check(RectIn(button, panel).left == 580, "the button keeps its place");

    PostMessageW(window, WM_CLOSE, 0, 0);
    Check(vantrel.WaitForExit() == 0, "closing the window ends the program with status 0");
}

// Copy All, then close: the text must still be on the clipboard once
// Vantrel has ended, as Unicode and as 8-bit text, for whatever program the
// user pastes into next. Nothing reads the clipboard while Vantrel runs, so
// that no format is rendered early.
void ClipboardSurvivesTheEnd()
{
    ClearClipboard();
    Program vantrel(L"\"" + selfPath + L"\" --print kept after the end");
    HWND window = vantrel.FindWindowTitled(L"Vantrel");
    Check(window != nullptr, "the Vantrel window opens");
    if (!window)
        return;
    SetForegroundWindow(window);
    Key('C', {VK_MENU});
    Check(WaitUntil([] { return ClipboardOffers(CF_UNICODETEXT); }), "Alt+C offers text on the clipboard");
    PostMessageW(window, WM_CLOSE, 0, 0);
    Check(vantrel.WaitForExit() == 0, "closing the window ends the program with status 0");
    CheckEqual(L"kept after the end\n", Lines(Clipboard()), "the copied text is still there as Unicode text");
    const std::string ansi = ClipboardAnsi();
    CheckEqual(L"kept after the end\n", Lines(std::wstring(ansi.begin(), ansi.end())),
               "and as 8-bit text");
}

void Usage()
{
    Program vantrel(L"");
    HWND box = vantrel.FindWindowTitled(L"Error");
    Check(box != nullptr, "no parameters: the usage message box opens");
    if (!box)
        return;
    Check(vantrel.FindWindowTitled(L"Vantrel", 0) == nullptr, "and no other window");
    // Wine's message box does not apply MB_TOPMOST, so staying on top cannot
    // be seen here; the flag is passed (gui_win32.cpp).
    std::wstring text;
    for (HWND child = nullptr; (child = FindWindowExW(box, child, L"Static", nullptr)) != nullptr;) {
        if (!TextOf(child).empty())
            text = TextOf(child);
    }
    CheckEqual(L"CommandLine-Output Display Applet\r\rSyntax:\r     vantrel.exe app.exe appparams", text,
               "the usage text");
    SetForegroundWindow(box);
    Key(VK_RETURN);
    Check(vantrel.WaitForExit() == 0, "OK ends the program with status 0");
}


// Runs Vantrel on the parameters and checks the text its view shows (line
// breaks as LF), then closes it and checks status 0.
void ExpectView(const char* what, const std::wstring& parameters, const std::function<bool(const std::wstring&)>& expected)
{
    Program vantrel(parameters);
    HWND window = vantrel.FindWindowTitled(L"Vantrel");
    if (!window)
        return Check(false, what, L"no window");
    const std::wstring text = Lines(TextOf(Control(window, L"RichEdit20W")));
    Check(expected(text), what, text.substr(0, 200));
    PostMessageW(window, WM_CLOSE, 0, 0);
    Check(vantrel.WaitForExit() == 0, "and status 0");
}

// The system's 64-bit command interpreter, as Vantrel names it: a 32-bit
// Vantrel reaches it through sysnative. It starts far quicker than the 32-bit
// one where 32-bit code is emulated.
std::wstring CommandInterpreter()
{
    DWORD type = 0;
    return GetBinaryTypeW(vantrelPath.c_str(), &type) && type == SCS_32BIT_BINARY
               ? L"C:\\windows\\sysnative\\cmd.exe"
               : L"cmd";
}

// A child that waits for a key must not wait for one nobody can press: its
// standard input is empty, so the pause ends at once and the window opens.
void ChildWaitingForInput()
{
    ExpectView("a child waiting for a key goes on at once", CommandInterpreter() + L" /c pause& echo after the pause",
               [](const std::wstring& text) {
                   return text.size() > 17 && text.compare(text.size() - 17, 17, L"after the pause\n\n") == 0;
               });
}

std::string ReadFileText(const std::wstring& path)
{
    std::string text;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return text;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0)
        text.append(chunk, read);
    CloseHandle(file);
    return text;
}

// A copy of Vantrel in a folder of its own, with DLLs of system names planted
// beside it (built from PlantedDll_win32.cpp), started there as a user starts
// a program in a Downloads folder. Windows has no built-in DLLs and would
// take a planted one first from the exe's folder; a DLL override makes Wine
// prefer a DLL found on disk over its own in the same way. Vantrel must load
// none of them: neither the DLLs it loads itself (the rich edit control, the
// common controls, OLE at Copy All) nor those these need in turn.
void PlantedDll()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = temp + std::wstring(L"vantrel-planted-") + std::to_wstring(GetCurrentProcessId());
    const std::wstring exe = folder + L"\\vantrel.exe";
    const std::wstring planted = selfPath.substr(0, selfPath.rfind(L'\\')) + L"\\planted.dll";
    // The DLLs Vantrel loads at run time, directly or through each other.
    const std::vector<std::wstring> names = {L"riched20", L"usp10",   L"comctl32", L"uxtheme", L"msimg32",
                                             L"ole32",    L"combase", L"oleaut32", L"rpcrt4"};
    CreateDirectoryW(folder.c_str(), nullptr);
    bool copied = CopyFileW(vantrelPath.c_str(), exe.c_str(), FALSE) != FALSE;
    std::wstring overrides;
    for (const std::wstring& name : names) {
        copied = CopyFileW(planted.c_str(), (folder + L"\\" + name + L".dll").c_str(), FALSE) && copied;
        overrides += (overrides.empty() ? L"" : L",") + name;
    }
    Check(copied, "the exe and the DLLs to plant are copied", folder);

    {
        // Wine's per-program DLL overrides, for vantrel.exe only, while it
        // starts; removed again at once.
        HKEY dllOverrides;
        const wchar_t* key = L"Software\\Wine\\AppDefaults\\vantrel.exe\\DllOverrides";
        RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &dllOverrides, nullptr);
        for (const std::wstring& name : names)
            RegSetValueExW(dllOverrides, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(L"native,builtin"),
                           sizeof L"native,builtin");
        RegCloseKey(dllOverrides);
        Program vantrel(L"\"" + selfPath + L"\" --print nothing planted ran", exe, folder);
        HWND window = vantrel.FindWindowTitled(L"Vantrel");
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\vantrel.exe");
        Check(window != nullptr, "the copy beside the planted DLLs opens its window");
        if (window) {
            CheckEqual(L"nothing planted ran\n", Lines(TextOf(Control(window, L"RichEdit20W"))),
                       "its view shows the output");
            ClearClipboard();
            SetForegroundWindow(window);
            Key('C', {VK_MENU});
            Check(WaitUntil([] { return ClipboardOffers(CF_UNICODETEXT); }), "Copy All works there");
            PostMessageW(window, WM_CLOSE, 0, 0);
            Check(vantrel.WaitForExit() == 0, "and ends with status 0");
        }
    }

    // Each marker lists the programs that ran the planted DLL's code; other
    // programs (the child, Wine's own) are no concern of Vantrel's.
    for (const std::wstring& name : names) {
        const std::wstring marker = folder + L"\\" + name + L".dll.ran";
        std::string loaders = ReadFileText(marker);
        for (char& c : loaders)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        Check(loaders.find("\\vantrel.exe\n") == std::string::npos,
              ("no planted " + std::string(name.begin(), name.end()) + ".dll ran in Vantrel").c_str(),
              std::wstring(loaders.begin(), loaders.end()));
        DeleteFileW(marker.c_str());
        DeleteFileW((folder + L"\\" + name + L".dll").c_str());
    }
    DeleteFileW(exe.c_str());
    RemoveDirectoryW(folder.c_str());
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

// At 144 dots per inch the design size, 1002 by 900, is taller than a small
// screen (the test's display is 1366 by 768): the window must open centred
// in its monitor's work area, as large as fits there, with the controls
// placed by the layout rules at that density.
void SmallScreen()
{
    const int dpi = 144;
    SetScreenDensity(dpi);
    Program vantrel(L"\"" + selfPath + L"\" --print small screen");
    HWND window = vantrel.FindWindowTitled(L"Vantrel");
    SetScreenDensity(96);
    Check(window != nullptr, "the Vantrel window opens at 144 dpi");
    if (!window)
        return;
    auto scale = [&](int pixels) { return MulDiv(pixels, dpi, 96); };
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT work = monitor.rcWork;
    RECT outer;
    GetWindowRect(window, &outer);
    const int width = std::min<int>(scale(668), work.right - work.left);
    const int height = std::min<int>(scale(600), work.bottom - work.top);
    const std::wstring placed = std::to_wstring(outer.left) + L"," + std::to_wstring(outer.top) + L" " +
                                std::to_wstring(outer.right - outer.left) + L"x" +
                                std::to_wstring(outer.bottom - outer.top) + L" in " +
                                std::to_wstring(work.right - work.left) + L"x" + std::to_wstring(work.bottom - work.top);
    Check(outer.right - outer.left == width && outer.bottom - outer.top == height,
          "the window has the scaled size, cut to the work area", placed);
    Check(outer.left >= work.left && outer.top >= work.top && outer.right <= work.right && outer.bottom <= work.bottom,
          "the whole window lies in the work area", placed);
    Check(std::abs(outer.left - work.left - (work.right - outer.right)) <= 1 &&
              std::abs(outer.top - work.top - (work.bottom - outer.bottom)) <= 1,
          "centred in it", placed);

    HWND field = Control(window, L"Edit");
    HWND panel = GetParent(field);
    RECT panelArea, client;
    GetClientRect(panel, &panelArea);
    GetClientRect(window, &client);
    Check(panelArea.bottom == scale(26) && RectIn(panel, window).bottom == client.bottom,
          "the panel runs along the bottom, 39 high");
    Check(RectIn(field, panel).left == scale(34) && panelArea.right - RectIn(field, panel).right == scale(83),
          "the field sits 51 from the panel's left and 125 from its right");
    Check(RectIn(Control(window, L"Button"), panel).left == scale(580), "the button sits 870 from the panel's left");
    PostMessageW(window, WM_CLOSE, 0, 0);
    Check(vantrel.WaitForExit() == 0, "closing the window ends the program with status 0");
}

// Command lines good and bad: each ends with the output or the error text shown.
void BadCommandLines()
{
    auto errorText = [](const std::wstring& line) {
        return [line](const std::wstring& text) {
            const std::wstring tail = L"\" -> " + line + L"\n";
            return text.rfind(L"Error: \"", 0) == 0 && text.size() > tail.size() + 8 &&
                   text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
        };
    };
    ExpectView("an empty parameter gives the error text", L"\"\"", errorText(L""));
    ExpectView("a parameter of blanks gives the error text", L"\"   \"", errorText(L"   "));
    ExpectView("a directory gives the error text", L"C:\\windows", errorText(L"C:\\windows"));

    wchar_t directory[MAX_PATH];
    GetTempPathW(MAX_PATH, directory);
    const std::wstring notProgram = std::wstring(directory) + L"vantrel-not-a-program.exe";
    HANDLE file = CreateFileW(notProgram.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, "just text\r\n", 11, &written, nullptr);
    CloseHandle(file);
    ExpectView("a file that is not a program gives the error text", notProgram, errorText(notProgram));
    DeleteFileW(notProgram.c_str());

    // The quotes are dropped, so the system looks for the program at the blank.
    ExpectView("a quoted program path with a blank reaches the system unquoted",
               L"\"C:\\Program Files\\vantrel-nothing.exe\" /x", errorText(L"C:\\Program Files\\vantrel-nothing.exe /x"));

    // Quotes group a parameter and are dropped; the blanks inside stay.
    ExpectView("parameters reach the child joined by single blanks, without their quotes",
               L"\"" + selfPath + L"\" --print \"two  blanks\" back\\slash /x -y",
               [](const std::wstring& text) { return text == L"two  blanks back\\slash /x -y\n"; });

    // Non-ASCII text of the ANSI code page, and a command line near the limit.
    ExpectView("characters above 127 reach the child and come back", L"\"" + selfPath + L"\" --print \u00e9t\u00e9 \u00c4\u00d6",
               [](const std::wstring& text) { return text == L"\u00e9t\u00e9 \u00c4\u00d6\n"; });
    std::wstring words;
    for (int i = 0; words.size() < 31000; ++i)
        words += L" " + std::to_wstring(i) + std::wstring(90, static_cast<wchar_t>(L'a' + i % 26));
    const std::string childLine = std::string(selfPath.begin(), selfPath.end()) + " --linesum" +
                                  std::string(words.begin(), words.end());
    const std::string sum = Fingerprint(childLine);
    ExpectView("a 31 KB command line reaches the child unchanged", L"\"" + selfPath + L"\" --linesum" + words,
               [&](const std::wstring& text) { return text == std::wstring(sum.begin(), sum.end()) + L"\n"; });
}

void ProgramNotFound()
{
    ExpectView("a program that is not found: the error text with number 2", L"vantrel-no-such-program.exe -x",
               [](const std::wstring& text) { return text == L"Error: \"2\" -> vantrel-no-such-program.exe -x\n"; });
}

// One capture of 12 KB in CRLF lines with a NUL after 6000 bytes: the view
// shows the lines up to the NUL with LF alone, and the window opens although
// the child wrote more than Vantrel keeps.
void Capture()
{
    std::wstring lines;
    for (int i = 0; i < 1500; ++i)
        lines += L"ab\n";
    ExpectView("CRLF becomes LF, the text ends at the NUL, the window opens after 12 KB",
               L"\"" + selfPath + L"\" --bytes 61620d0a 1500 00 1 63640d0a 1500",
               [&](const std::wstring& text) { return text == lines + L"\n"; });
}

// The cases by name, in the order a full run takes them.
struct NamedCase {
    const char* name;
    void (*run)();
};
constexpr NamedCase cases[] = {
    {"find_and_copy", FindAndCopy},
    {"clipboard_survives_the_end", ClipboardSurvivesTheEnd},
    {"usage", Usage},
    {"not_found", ProgramNotFound},
    {"capture", Capture},
    {"bad_command_lines", BadCommandLines},
    {"child_waiting_for_input", ChildWaitingForInput},
    {"planted_dll", PlantedDll},
    {"small_screen", SmallScreen},
};

// A child that has written its output waits VANTREL_E2E_CHILD_LINGER_MS
// before it ends, so that Vantrel's read is already waiting when the end of
// the output comes. The 32-bit exe's test needs it: under qemu 7.2, Wine's
// signal to a thread that is between starting a read and waiting on it can
// run on another thread's signal stack, after which that thread never wakes,
// a fault of the emulator that neither Windows nor native Wine shows.
void Linger()
{
    std::fflush(stdout);
    if (const char* milliseconds = std::getenv("VANTREL_E2E_CHILD_LINGER_MS"))
        Sleep(static_cast<DWORD>(std::atoi(milliseconds)));
}

// Writes each <hex> bytes <count> times to standard output, unconverted.
int WriteBytes(int argc, char** argv)
{
    std::string bytes;
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string chunk = FromHex(argv[i]);
        for (long n = std::atol(argv[i + 1]); n > 0; --n)
            bytes += chunk;
    }
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    Linger();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "--bytes") == 0)
        return WriteBytes(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "--linesum") == 0) {
        std::fputs(Fingerprint(GetCommandLineA()).c_str(), stdout);
        Linger();
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "--print") == 0) {
        // Prints its own raw command line from the text after "--print ".
        const char* line = std::strstr(GetCommandLineA(), "--print");
        std::fputs(line[7] == ' ' ? line + 8 : line + 7, stdout);
        Linger();
        return 0;
    }
    if (argc < 2) {
        std::fputs("usage: vantrel_e2e_win32 <path of vantrel.exe> [case ...]\ncases:", stderr);
        for (const NamedCase& c : cases)
            std::fprintf(stderr, " %s", c.name);
        std::fputs("\n", stderr);
        return 2;
    }
    // The cases named after the exe, or all of them.
    std::vector<const NamedCase*> chosen;
    for (const NamedCase& c : cases)
        if (argc == 2)
            chosen.push_back(&c);
    for (int i = 2; i < argc; ++i) {
        const auto named = std::find_if(std::begin(cases), std::end(cases),
                                        [&](const NamedCase& c) { return std::strcmp(c.name, argv[i]) == 0; });
        if (named == std::end(cases)) {
            std::fprintf(stderr, "no case named %s\n", argv[i]);
            return 2;
        }
        chosen.push_back(named);
    }
    if (const char* scale = std::getenv("VANTREL_E2E_TIMEOUT_SCALE"); scale && std::atof(scale) > 0)
        timeoutScale = std::atof(scale);
    std::string path = argv[1];
    if (!path.empty() && path[0] == '/') {
        // A Unix path, as the build names files; Wine's Z: drive is the root.
        path = "Z:" + path;
        for (char& c : path)
            c = c == '/' ? '\\' : c;
    }
    vantrelPath.assign(path.begin(), path.end());
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    selfPath = self;

    for (const NamedCase* c : chosen) {
        const DWORD start = GetTickCount();
        std::printf("--- %s\n", c->name);
        std::fflush(stdout);
        c->run();
        std::printf("--- %s: %.1f s\n", c->name, (GetTickCount() - start) / 1000.0);
    }
    std::printf(failures ? "%d failure(s)\n" : "all end-to-end checks passed\n", failures);
    return failures ? 1 : 0;
}
