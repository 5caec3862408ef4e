// The Windows window in its own process (under wine64 on Xvfb), for what
// only its process can see: WM_DPICHANGED, whose suggested rectangle is a
// pointer no other process could send; the density awareness the system
// made of the manifest (the same manifest as vantrel.exe's, linked in); and
// how system DLLs are loaded on systems without the search flags.
#include "SystemLibrary_win32.h"
#include "frmOutput_win32.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>
#include <richedit.h>

#include <atomic>
#include <string>

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

std::wstring ClipboardText()
{
    std::wstring text;
    if (OpenClipboard(nullptr)) {
        if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            text = static_cast<const wchar_t*>(GlobalLock(data));
            GlobalUnlock(data);
        }
        CloseClipboard();
    }
    return text;
}

// Another program holding the clipboard open for that many milliseconds:
// a thread of ours, which the clipboard tells apart from the window's.
std::atomic<bool> clipboardHeld;
DWORD WINAPI HoldClipboard(void* milliseconds)
{
    OpenClipboard(nullptr);
    clipboardHeld = true;
    Sleep(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(milliseconds)));
    return CloseClipboard();
}

void PumpMessages(DWORD milliseconds)
{
    for (const DWORD start = GetTickCount(); GetTickCount() - start < milliseconds; Sleep(10)) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
}

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
    for (const int dpi : {144, 120, 192, 96}) {
        auto scale = [&](int pixels) { return MulDiv(pixels, dpi, 96); };
        // The system suggests a place on the new monitor; the window takes it.
        RECT suggested{10, 10, 10 + scale(500), 10 + scale(400)};
        SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        RECT outer;
        GetWindowRect(window, &outer);
        EXPECT_TRUE(EqualRect(&outer, &suggested)) << dpi;

        // The layout rules at the new density.
        RECT panel, client;
        GetClientRect(frm_Output.Panel1, &panel);
        GetClientRect(window, &client);
        EXPECT_EQ(panel.bottom, scale(26)) << dpi;
        EXPECT_EQ(RectIn(frm_Output.re_Output.Handle(), window).bottom, client.bottom - scale(26)) << dpi;
        const RECT field = RectIn(frm_Output.e_FindText.Handle(), frm_Output.Panel1);
        EXPECT_EQ(field.left, scale(34)) << dpi;
        EXPECT_EQ(field.top, scale(2)) << dpi;
        EXPECT_EQ(panel.right - field.right, scale(83)) << dpi;
        const RECT button = RectIn(frm_Output.btn_Copy, frm_Output.Panel1);
        EXPECT_EQ(button.left, scale(580)) << dpi;
        EXPECT_EQ(button.right - button.left, scale(77)) << dpi;
        EXPECT_EQ(button.bottom - button.top, scale(24)) << dpi;
        EXPECT_EQ(RectIn(frm_Output.Label1, frm_Output.Panel1).left, scale(6)) << dpi;

        // Fonts of 8 points and a picture of 16 pixels at 96 per inch.
        for (HWND control : {frm_Output.Label1, frm_Output.e_FindText.Handle(), frm_Output.btn_Copy})
            EXPECT_EQ(FontHeight(control), -MulDiv(8, dpi, 72)) << dpi;
        BUTTON_IMAGELIST picture{};
        SendMessageW(frm_Output.btn_Copy, BCM_GETIMAGELIST, 0, reinterpret_cast<LPARAM>(&picture));
        int width = 0, height = 0;
        ImageList_GetIconSize(picture.himl, &width, &height);
        EXPECT_EQ(width, scale(16)) << dpi;
        EXPECT_EQ(height, scale(16)) << dpi;

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

TEST(Window, CopyAllWaitsAboutASecondForAClipboardHeldElsewhere)
{
    Tfrm_Output frm_Output(GetModuleHandleW(nullptr));
    frm_Output.View().AddLine(u"some output");
    for (const UINT_PTR held : {300, 2000}) {
        OpenClipboard(nullptr);
        EmptyClipboard();
        CloseClipboard();
        clipboardHeld = false;
        HANDLE holder = CreateThread(nullptr, 0, HoldClipboard, reinterpret_cast<void*>(held), 0, nullptr);
        while (!clipboardHeld)
            Sleep(1);
        frm_Output.btn_CopyClick(frm_Output.btn_Copy);
        // It returned while the clipboard is still held: the window goes on.
        EXPECT_EQ(WaitForSingleObject(holder, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << held;
        PumpMessages(2300);
        CloseHandle(holder);
        EXPECT_EQ(ClipboardText(), held < 1000 ? L"some output\r\n" : L"") << held;
    }
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
