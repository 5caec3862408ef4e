// What the end-to-end test uses to drive the real vantrel.exe from outside,
// as a user does: starting it, finding its windows and controls, real key
// events and typed characters, the clipboard, and waits that allow for an
// exe that starts slowly.
#pragma once

#include <windows.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

// The exe under test, and the factor every wait is multiplied by
// (VANTREL_E2E_TIMEOUT_SCALE; the 32-bit exe under emulation needs 10).
extern std::wstring vantrelPath;
extern double timeoutScale;

std::wstring Wide(const std::string& ascii);

// Polls until the condition holds or the time (times the scale) has passed:
// key events are queued, so their effect shows a moment later.
bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds = 5000);

// Line breaks as one LF, whatever form the control or clipboard returns.
std::wstring Lines(const std::wstring& text);

std::wstring TextOf(HWND window);

struct Selection {
    int start, end;
    bool operator==(const Selection&) const = default;
};
std::ostream& operator<<(std::ostream& out, Selection s);

// The control's selection once it is the expected one, or after the wait.
Selection SelectionOf(HWND control, Selection expected = {-1, -1});

// The clipboard's text in that format (CF_UNICODETEXT or CF_TEXT).
std::wstring Clipboard(UINT format = CF_UNICODETEXT);
// Whether the clipboard offers that format, without asking its owner to
// render it (reading the data would make a delayed copy permanent).
bool ClipboardOffers(UINT format);
void ClearClipboard();

// Real key events, as the keyboard makes them: modifiers down, key down and
// up, modifiers up.
void Key(WORD key, std::vector<WORD> modifiers = {});
// Characters typed into the field, as the keyboard's translation delivers them.
void Type(HWND field, const std::wstring& text);

// The first descendant control of that window class (compared case-insensitively).
HWND Control(HWND parent, const wchar_t* className);
HWND FocusOf(HWND window);
RECT RectIn(HWND control, HWND parent);

// The screen's density for the programs started from now on.
void SetScreenDensity(DWORD dpi);

// vantrel.exe (or a copy of it) started with the parameters, in the
// driver's current directory or the one given, as the desktop starts it;
// ended by force if it still runs when the object goes.
struct Program {
    PROCESS_INFORMATION process{};

    explicit Program(const std::wstring& parameters, const std::wstring& exe = vantrelPath,
                     const std::wstring& directory = L"");
    ~Program();
    // The program's top-level window with that caption, once it is visible.
    HWND FindWindowTitled(const wchar_t* caption, DWORD milliseconds = 30000);
    // The output window while it is still hidden.
    HWND HiddenWindow();
    DWORD WaitForExit();
};

// Runs Vantrel on the parameters and returns the text its view shows (line
// breaks as LF), then closes it, expecting status 0.
std::wstring ViewAfterRun(const std::wstring& parameters, const std::wstring& exe = vantrelPath,
                          const std::wstring& directory = L"");

// A named event that a child waits for (its "wait-event" behaviour); set
// when the object goes, so that no child waits on after a failed check.
struct GoSignal {
    std::string name;
    HANDLE event;
    explicit GoSignal(const char* what);
    ~GoSignal();
    void Set() const { SetEvent(event); }
};
