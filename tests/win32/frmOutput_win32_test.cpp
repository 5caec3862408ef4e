// The Windows window in its own process (under wine64 on Xvfb), for what
// the toolkit adds: real keys through the window's own dispatch, the focus,
// WM_DPICHANGED and the layout applied, the density awareness the manifest
// gives (vantrel.exe's, linked in), screen readers' names, the clipboard,
// messages other programs post, and loading system DLLs without the flags.
#include "Driver_win32.h"
#include "Layout.h"
#include "SystemLibrary_win32.h"
#include "frmOutput_win32.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>
#include <richedit.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

RECT RectIn(HWND control, HWND parent)
{
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

int FontHeight(HWND control)
{
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font.lfHeight;
}

std::wstring ModulePath(HMODULE module)
{
    wchar_t path[MAX_PATH];
    return std::wstring(path, GetModuleFileNameW(module, path, MAX_PATH));
}

// Another program holding the clipboard open until the test lets it go: a
// thread of ours, which the clipboard tells apart from the window's.
struct ClipboardHolder {
    HANDLE letGo = CreateEventW(nullptr, TRUE, FALSE, nullptr), held = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, Hold, this, 0, nullptr);

    ClipboardHolder() { WaitForSingleObject(held, INFINITE); }
    ~ClipboardHolder()
    {
        LetGo();
        for (HANDLE handle : {letGo, held, thread})
            CloseHandle(handle);
    }
    // Returns once the clipboard is free again.
    void LetGo() const { SetEvent(letGo), WaitForSingleObject(thread, INFINITE); }
    static DWORD WINAPI Hold(void* self)
    {
        OpenClipboard(nullptr);
        const auto* holder = static_cast<ClipboardHolder*>(self);
        SignalObjectAndWait(holder->held, holder->letGo, INFINITE, FALSE);
        return CloseClipboard();
    }
};

// Messages through the window's own dispatch, as the event loop runs it,
// until the condition holds (given the last message), or a hang the
// watchdog names (a WM_QUIT an earlier test's window posted is passed over).
template <typename Condition>
void DispatchUntil(Tfrm_Output& form, Condition done)
{
    MSG message{};
    while (!done(message)) {
        if (GetMessageW(&message, nullptr, 0, 0) > 0)
            form.Dispatch(message);
    }
}

void DispatchQueued(Tfrm_Output& form)
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        form.Dispatch(message);
}

// A real key event and every message it brings, dispatched: the last
// key's release comes last.
void Press(Tfrm_Output& form, WORD key, const std::vector<WORD>& modifiers = {})
{
    const WORD last = Key(key, modifiers, 0);
    DispatchUntil(form, [&](const MSG& m) {
        return (m.message == WM_KEYUP || m.message == WM_SYSKEYUP) && m.wParam == last;
    });
    DispatchQueued(form);
}

// A place and size as a row of four, compared and printed alike.
std::tuple<int, int, int, int> Of(const vantrel::layout::Box& b) { return {b.left, b.top, b.width, b.height}; }
std::tuple<int, int, int, int> Of(const RECT& r) { return {r.left, r.top, r.right - r.left, r.bottom - r.top}; }

std::wstring Lower(std::wstring text)
{
    CharLowerW(text.data());
    return text;
}

} // namespace

TEST(Window, IsAwareOfEachMonitorsDensity)
{
    using GetContext = HANDLE(WINAPI*)();
    using GetAwareness = int(WINAPI*)(HANDLE);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    const auto context = vantrel::SystemFunction<GetContext>(user32, "GetThreadDpiAwarenessContext");
    const auto awareness = vantrel::SystemFunction<GetAwareness>(user32, "GetAwarenessFromDpiAwarenessContext");
    ASSERT_TRUE(context && awareness);
    constexpr int perMonitorAware = 2;
    EXPECT_EQ(awareness(context()), perMonitorAware);
}

TEST(Window, FollowsTheDensityItIsMovedTo)
{
    Tfrm_Output frm_Output(GetModuleHandleW(nullptr));
    frm_Output.View().AddLine(u"some output");
    const HWND window = GetAncestor(frm_Output.Panel1, GA_ROOT);
    // The system suggests a place on the new monitor, which the window takes:
    // narrower than designed, or wider (the field then reaches under the
    // button). Without one (width 0: another program sent no rectangle), the
    // window stays where it is.
    const struct {
        int dpi, width;
    } rows[] = {{144, 500}, {120, 500}, {192, 500}, {144, 0}, {96, 800}};
    for (const auto [dpi, width] : rows) {
        auto scale = [&](int pixels) { return MulDiv(pixels, dpi, 96); };
        RECT before, suggested{10, 10, 10 + scale(width), 10 + scale(400)}, outer;
        GetWindowRect(window, &before);
        SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), width ? reinterpret_cast<LPARAM>(&suggested) : 0);
        GetWindowRect(window, &outer);
        EXPECT_TRUE(EqualRect(&outer, width ? &suggested : &before)) << dpi;
        // The layout rules at the new density, for the client area it has.
        RECT client;
        GetClientRect(window, &client);
        const auto placed = vantrel::layout::LayOut(client.right, client.bottom, dpi);
        const HWND panel = frm_Output.Panel1;
        EXPECT_EQ(Of(RectIn(frm_Output.re_Output.Handle(), window)), Of(placed.view)) << dpi;
        EXPECT_EQ(Of(RectIn(panel, window)), Of(placed.panel)) << dpi;
        EXPECT_EQ(Of(RectIn(frm_Output.Label1, panel)), Of(placed.label)) << dpi;
        EXPECT_EQ(Of(RectIn(frm_Output.e_FindText.Handle(), panel)), Of(placed.field)) << dpi;
        EXPECT_EQ(Of(RectIn(frm_Output.btn_Copy, panel)), Of(placed.button)) << dpi;

        // Fonts of 8 points and a picture of 16 pixels at 96 per inch.
        for (HWND control : {frm_Output.Label1, frm_Output.e_FindText.Handle(), frm_Output.btn_Copy})
            EXPECT_EQ(FontHeight(control), -MulDiv(8, dpi, 72)) << dpi;
        BUTTON_IMAGELIST picture{};
        SendMessageW(frm_Output.btn_Copy, BCM_GETIMAGELIST, 0, reinterpret_cast<LPARAM>(&picture));
        std::pair pictureSize{0, 0};
        ImageList_GetIconSize(picture.himl, &pictureSize.first, &pictureSize.second);
        EXPECT_EQ(pictureSize, std::pair(scale(16), scale(16))) << dpi;

        // The view keeps its text, in lime.
        EXPECT_EQ(frm_Output.View().Text(), u"some output\r") << dpi;
        CHARFORMAT2W format{};
        format.cbSize = sizeof format;
        SendMessageW(frm_Output.re_Output.Handle(), EM_GETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
        EXPECT_EQ(format.crTextColor, RGB(0, 255, 0)) << dpi;
    }
}

TEST(Window, ScreenReadersNameItsControls)
{
    Tfrm_Output frm_Output(GetModuleHandleW(nullptr));
    CoInitialize(nullptr);
    const struct {
        HWND control;
        const wchar_t* name;
    } rows[] = {{frm_Output.e_FindText.Handle(), L"Find:"}, {frm_Output.btn_Copy, L"Copy All"}};
    for (const auto& row : rows) {
        IAccessible* accessible = nullptr;
        ASSERT_EQ(AccessibleObjectFromWindow(row.control, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                             reinterpret_cast<void**>(&accessible)), S_OK) << row.name;
        VARIANT self{};
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        BSTR name = nullptr;
        accessible->get_accName(self, &name);
        EXPECT_EQ(std::wstring(name ? name : L"(none)"), row.name);
        SysFreeString(name);
        accessible->Release();
    }
    CoUninitialize();
    // Windows names the rich edit view, as it names an edit, after the label
    // just before it (Wine names it after its text): that label is read.
    wchar_t label[16] = L"";
    GetWindowTextW(GetWindow(frm_Output.re_Output.Handle(), GW_HWNDPREV), label, 16);
    EXPECT_STREQ(label, L"Output");
}

// Copy All while another program holds the clipboard: the button returns
// at once and the window goes on, trying again until the clipboard is free
// or giving up after about a second. Closed meanwhile, the window goes out
// of sight at once but stays until the copy is done, so that it is not lost.
TEST(Window, CopyAllWaitsForAClipboardHeldElsewhere)
{
    const struct {
        bool letGo, close;
    } rows[] = {{true, false}, {false, false}, {true, true}, {false, true}};
    for (const auto [letGo, close] : rows) {
        Tfrm_Output frm_Output(GetModuleHandleW(nullptr));
        const HWND window = GetAncestor(frm_Output.Panel1, GA_ROOT);
        frm_Output.View().AddLine(u"some output");
        ClearClipboard();
        const ClipboardHolder holder;
        frm_Output.btn_CopyClick(frm_Output.btn_Copy);
        EXPECT_TRUE(frm_Output.re_Output.CopyPending()) << letGo << close;
        if (close) {
            PostMessageW(window, WM_CLOSE, 0, 0);
            DispatchQueued(frm_Output);
            EXPECT_TRUE(frm_Output.IsOpen() && !IsWindowVisible(window)) << letGo << close;
        }
        if (letGo)
            holder.LetGo();
        DispatchUntil(frm_Output, [&](const MSG&) { return !frm_Output.re_Output.CopyPending(); });
        EXPECT_EQ(frm_Output.IsOpen(), !close) << letGo << close;
        holder.LetGo();
        EXPECT_EQ(Clipboard(), letGo ? L"some output\r\n" : L"") << letGo << close;
    }
}

// What other programs may post the window, before its output is in (while
// the command runs) and after: only the button's own notice (with its
// handle) copies, and only then. Tools post IDOK to press a default button.
TEST(Window, OnlyTheUserDrivesCopyAll)
{
    Tfrm_Output frm_Output(GetModuleHandleW(nullptr));
    const HWND window = GetAncestor(frm_Output.Panel1, GA_ROOT), button = frm_Output.btn_Copy;
    const WPARAM clicked = MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED);
    const struct {
        const char* what;
        UINT message;
        WPARAM wParam;
        HWND from;
        bool copies;
    } rows[] = {
        {"IDOK", WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), nullptr, false},
        {"the button's id without its handle", WM_COMMAND, clicked, nullptr, false},
        {"the button's own notice", WM_COMMAND, clicked, button, true},
        {"a timer message", WM_TIMER, 1, nullptr, false},
    };
    for (const bool outputIn : {false, true}) {
        if (outputIn)
            vantrel::ShowOutput(frm_Output.View(), u"some output", [&] { frm_Output.Show(); });
        for (const auto& row : rows) {
            const DWORD clipboard = GetClipboardSequenceNumber();
            PostMessageW(window, row.message, row.wParam, reinterpret_cast<LPARAM>(row.from));
            DispatchQueued(frm_Output);
            EXPECT_EQ(GetClipboardSequenceNumber() != clipboard, outputIn && row.copies)
                << row.what << (outputIn ? ", the output in" : ", before the output");
        }
    }
}

// Each kind of key reaches its control through the window's own dispatch:
// characters (WM_CHAR) and Enter and Escape (real keys the dialog manager
// leaves to it) the find field; Alt+C the accelerator, the focus staying;
// Tab, Shift+Tab and Alt+F the dialog manager, along the tab order, the
// view's selection kept. The find's steps themselves are the core test's.
TEST(Window, KeysReachTheFieldAndMoveTheFocus)
{
    Tfrm_Output frm_Output(GetModuleHandleW(nullptr));
    vantrel::ShowOutput(frm_Output.View(), u"Error, error, ERROR", [&] { frm_Output.Show(); });
    SetForegroundWindow(GetAncestor(frm_Output.Panel1, GA_ROOT));
    DispatchQueued(frm_Output);
    const HWND view = frm_Output.re_Output.Handle(), field = frm_Output.e_FindText.Handle();
    const HWND button = frm_Output.btn_Copy;
    const struct {
        const wchar_t* typed;
        WORD key;
        std::vector<WORD> modifiers;
        HWND focus;
        std::size_t start, length;
        const char16_t* field;
    } steps[] = {
        {L"error", 0, {}, field, 0, 5, u"error"},
        {nullptr, VK_RETURN, {}, field, 7, 5, u"error"},
        {nullptr, VK_ESCAPE, {}, field, 7, 5, u""},
        {L"or\b", 0, {}, field, 0, 0, u"o"},
        {L"r", 'C', {VK_MENU}, field, 0, 0, u"or"},
        {nullptr, VK_TAB, {}, button, 0, 0, u"or"},
        {nullptr, VK_RIGHT, {}, button, 0, 0, u"or"}, // no group of buttons to move in
        {nullptr, VK_TAB, {}, view, 0, 0, u"or"},
        {nullptr, 'F', {VK_MENU}, field, 0, 0, u"or"},
        {nullptr, VK_TAB, {VK_SHIFT}, view, 0, 0, u"or"},
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        for (const wchar_t* c = steps[i].typed; c && *c; ++c) {
            PostMessageW(field, WM_CHAR, *c, 1);
            DispatchQueued(frm_Output);
        }
        if (steps[i].key)
            Press(frm_Output, steps[i].key, steps[i].modifiers);
        EXPECT_EQ(GetFocus(), steps[i].focus) << "step " << i;
        EXPECT_EQ(frm_Output.View().SelStart(), steps[i].start) << "step " << i;
        EXPECT_EQ(frm_Output.View().SelLength(), steps[i].length) << "step " << i;
        EXPECT_EQ(frm_Output.e_FindText.Text(), steps[i].field) << "step " << i;
    }
    EXPECT_EQ(Clipboard(), L"Error, error, ERROR\r\n") << "Alt+C copied the whole view";
    // Alt+F selected the field's whole text.
    Press(frm_Output, 'F', {VK_MENU});
    EXPECT_EQ(SendMessageW(field, EM_GETSEL, 0, 0), MAKELRESULT(0, 2));
}

TEST(SystemLibrary, LoadsSystemDllsFromTheSystemOnly)
{
    wchar_t system[MAX_PATH];
    const std::wstring systemDirectory = Lower(std::wstring(system, GetSystemDirectoryW(system, MAX_PATH)));
    // Where the system lacks the search flags: a DLL by its full path in the
    // system directory, the common controls from the assembly store (the
    // version 6 that the manifest names).
    const HMODULE richEdit = vantrel::LoadFromSystemDirectory(L"riched20.dll");
    EXPECT_EQ(Lower(ModulePath(richEdit)).rfind(systemDirectory + L"\\", 0), 0u) << ModulePath(richEdit);
    const HMODULE controls = vantrel::LoadFromSystemDirectory(L"comctl32.dll");
    EXPECT_NE(Lower(ModulePath(controls)).find(L"\\winsxs\\"), std::wstring::npos) << ModulePath(controls);
    // Elsewhere the same DLLs, by the search flags.
    EXPECT_EQ(vantrel::LoadSystemLibrary(L"riched20.dll"), richEdit);
    EXPECT_EQ(vantrel::LoadSystemLibrary(L"comctl32.dll"), controls);
    EXPECT_EQ(vantrel::LoadSystemLibrary(L"vantrel-no-such.dll"), nullptr);
}
