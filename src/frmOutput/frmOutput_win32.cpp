// The output window on the Win32 API: its controls, its layout at the
// screen's density, and one small function for each message it handles.
#include "frmOutput_win32.h"

#include "CommonControls_win32.h"
#include "Find.h"
#include "Layout.h"
#include "Panel_win32.h"
#include "SystemLibrary_win32.h"
#include "resource.h"

#include <algorithm>
#include <string>

namespace {

const wchar_t WindowClass[] = L"Tfrm_Output";

// The design layout is in pixels at 96 per inch; Scale() adapts it.
using namespace vantrel::layout;

constexpr COLORREF Black = RGB(0, 0, 0);
constexpr COLORREF Aqua = RGB(0, 255, 255);

constexpr int PictureSize = 16; // each image of the button's picture strip, at 96 per inch

// The density the window is drawn at: its monitor's where the system scales
// per monitor (Windows 10 1607 and later), the system's elsewhere.
int WindowDpi(HWND window)
{
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow =
        vantrel::SystemFunction<GetDpiForWindowFunction>(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow");
    if (getDpiForWindow)
        return static_cast<int>(getDpiForWindow(window));
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

Tfrm_Output* Self(HWND window)
{
    return reinterpret_cast<Tfrm_Output*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

void RegisterWindowClass(HINSTANCE instance, WNDPROC windowProc)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_VANTREL));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = WindowClass;
    RegisterClassExW(&windowClass);
}

void Place(HWND control, const Box& box)
{
    SetWindowPos(control, nullptr, box.left, box.top, box.width, box.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

Tfrm_Output::Tfrm_Output(HINSTANCE instance) : instance_(instance)
{
    vantrel::InitializeCommonControls();
    // Themed controls load msimg32 by a delay load when they first draw,
    // which some systems (Wine for one) resolve by the ordinary search, the
    // exe's folder first; loaded from the system now, it is found loaded then.
    vantrel::LoadSystemLibrary(L"msimg32.dll");
    RegisterWindowClass(instance, WindowProc);
    accelerators_ = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDA_OUTPUT));

    // A sizeable tool window, made where the system puts a new window so
    // that it opens on the monitor the program was started on; sized and
    // centred there below. A tool window has no task-bar entry of its own,
    // so it asks for one.
    window_ = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_APPWINDOW, WindowClass, L"Vantrel",
                              WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance,
                              this);
    dpi_ = WindowDpi(window_);
    // The icons the task bar and the task switcher show for the window.
    const auto icon = [&](int size) {
        return reinterpret_cast<LPARAM>(
            LoadImageW(instance, MAKEINTRESOURCEW(IDI_VANTREL), IMAGE_ICON, size, size, LR_SHARED));
    };
    SendMessageW(window_, WM_SETICON, ICON_BIG, icon(GetSystemMetrics(SM_CXICON)));
    SendMessageW(window_, WM_SETICON, ICON_SMALL, icon(GetSystemMetrics(SM_CXSMICON)));
    CreateControls(instance);
    ApplyDensity();
    PlaceInWorkArea();
}

Tfrm_Output::~Tfrm_Output()
{
    if (window_)
        DestroyWindow(window_);
    DeleteObject(windowFont_);
    DeleteObject(viewFont_);
    DeleteObject(fieldBrush_);
    vantrel::DestroyButtonPicture(buttonPicture_);
}

int Tfrm_Output::Scale(int designPixels) const
{
    return Scaled(designPixels, dpi_);
}

// The controls in the tab order: the view, then the panel with the find
// field and the button. The panel is a container for the dialog manager,
// which walks into it for the tab order and the accelerators.
void Tfrm_Output::CreateControls(HINSTANCE instance)
{
    fieldBrush_ = CreateSolidBrush(Black);
    re_Output.Create(window_, instance);
    Panel1 = vantrel::CreatePanel(window_, instance);
    auto onPanel = [&](const wchar_t* className, const wchar_t* text, DWORD style, int id) {
        return CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, Panel1,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    };
    // Screen readers name a field after the label just before it in z-order,
    // which is the order of creation: the label comes first.
    Label1 = onPanel(WC_STATICW, L"&Find:", SS_LEFT, 0);
    const auto keyPress = [](void* self, HWND sender, char16_t& key) {
        static_cast<Tfrm_Output*>(self)->e_FindTextKeyPress(sender, key);
    };
    e_FindText.Create(Panel1, instance, keyPress, this);
    btn_Copy = onPanel(WC_BUTTONW, L"&Copy All", WS_TABSTOP | WS_CLIPSIBLINGS | BS_PUSHBUTTON, IDC_COPY);
    vantrel::AddTooltip(window_, btn_Copy, L"Copy All of the above to the clipboard.");

    focusWhenInactive_ = e_FindText.Handle();
}

// The fonts and the button's picture at the window's density: made when the
// window is created and again when the density changes.
void Tfrm_Output::ApplyDensity()
{
    // The design size in points at the density; where the face is missing
    // the system picks the nearest of the same pitch.
    auto designFont = [&](const wchar_t* face, BYTE pitchAndFamily) {
        return CreateFontW(-MulDiv(FontPoints, dpi_, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, pitchAndFamily, face);
    };
    const HFONT oldWindowFont = windowFont_, oldViewFont = viewFont_;
    windowFont_ = designFont(L"MS Sans Serif", DEFAULT_PITCH | FF_SWISS);
    viewFont_ = designFont(L"Courier", FIXED_PITCH | FF_MODERN);
    // The controls on the panel take the window's font; the view has its own.
    for (HWND control : {Label1, e_FindText.Handle(), btn_Copy})
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont_), TRUE);
    re_Output.SetFont(viewFont_);
    DeleteObject(oldWindowFont);
    DeleteObject(oldViewFont);

    const HIMAGELIST oldPicture = buttonPicture_;
    buttonPicture_ = vantrel::LoadButtonPicture(instance_, Scale(PictureSize));
    BUTTON_IMAGELIST picture{buttonPicture_, {Scale(2), 0, 0, 0}, BUTTON_IMAGELIST_ALIGN_LEFT};
    SendMessageW(btn_Copy, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&picture));
    vantrel::DestroyButtonPicture(oldPicture);
}

// The design size at the window's density, centred in the work area of the
// window's monitor and made smaller where the work area is: the task bar
// never covers the bottom strip and the caption never leaves the screen.
// The controls follow by the layout rules (OnSize).
void Tfrm_Output::PlaceInWorkArea()
{
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    const int width = std::min<int>(Scale(OuterWidth), work.right - work.left);
    const int height = std::min<int>(Scale(OuterHeight), work.bottom - work.top);
    SetWindowPos(window_, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    OnSize();
}

void Tfrm_Output::Show(int state)
{
    // The first ShowWindow of a program's window takes the show state its
    // starter asked for in place of its own (hidden, for one, would leave
    // the window unseen for good): this first call uses it up, so that the
    // window is shown as start-up says.
    ShowWindow(window_, SW_HIDE);
    ShowWindow(window_, state);
    UpdateWindow(window_);
    outputIn_ = true;
    // Minimised, the field gets the focus once the window is restored.
    if (!IsIconic(window_))
        SetFocus(e_FindText.Handle());
}

void Tfrm_Output::Dispatch(MSG& message)
{
    if (TranslateAcceleratorW(window_, accelerators_, &message) || IsDialogMessageW(window_, &message))
        return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

LRESULT CALLBACK Tfrm_Output::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Tfrm_Output*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    Tfrm_Output* self = Self(window);
    return self ? self->OnMessage(message, wParam, lParam) : DefWindowProcW(window, message, wParam, lParam);
}

// The window's messages, each to its handler below.
LRESULT Tfrm_Output::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        OnSize();
        return 0;
    case WM_ACTIVATE:
        OnActivate(LOWORD(wParam) != WA_INACTIVE);
        return 0;
    case WM_SETFOCUS: // the window's own focus goes on to its control
        SetFocus(focusWhenInactive_);
        return 0;
    case WM_DPICHANGED:
        OnDpiChanged(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_COMMAND:
        OnCommand(wParam, lParam);
        return 0;
    case WM_TIMER:
        OnTimer(wParam);
        return 0;
    case WM_NEXTDLGCTL:
        OnNextControl(wParam, lParam);
        return 0;
    case DM_GETDEFID:
        // The focused button is the default one while it has the focus, so
        // that Enter presses it; there is none otherwise.
        return GetFocus() == btn_Copy ? MAKELRESULT(IDC_COPY, DC_HASDEFID) : 0;
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_CTLCOLOREDIT:
        if (reinterpret_cast<HWND>(lParam) == e_FindText.Handle())
            return OnColourField(reinterpret_cast<HDC>(wParam));
        break;
    case WM_DESTROY:
        // The output window is the program's only one: closing it ends the loop.
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        OnDestroyed();
        return 0;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

// The layout rules for the client area at the window's density (Layout.h):
// WM_SIZE, and whenever the density changes, which it may do without one.
void Tfrm_Output::OnSize()
{
    if (!Panel1)
        return;
    RECT client;
    GetClientRect(window_, &client);
    const Placement placed = LayOut(client.right, client.bottom, dpi_);
    Place(re_Output.Handle(), placed.view);
    Place(Panel1, placed.panel);
    Place(Label1, placed.label);
    Place(e_FindText.Handle(), placed.field);
    Place(btn_Copy, placed.button);
    // The field comes before the button in the tab order, which is the order
    // of the controls, and so lies above it: where it reaches under the
    // button, its shape leaves that part out, as if the button lay on top.
    const Box& field = placed.field;
    const Box& button = placed.button;
    e_FindText.LeaveOut({button.left - field.left, button.top - field.top, button.left + button.width - field.left,
                         button.top + button.height - field.top});
    InvalidateRect(Panel1, nullptr, TRUE);
}

// The focus leaves with the window and comes back to the same control.
void Tfrm_Output::OnActivate(bool active)
{
    if (!active) {
        const HWND focus = GetFocus();
        if (focus && IsChild(window_, focus))
            focusWhenInactive_ = focus;
    } else if (focusWhenInactive_) {
        SetFocus(focusWhenInactive_);
    }
}

// Moved to a monitor of another density, or the density changed: the fonts,
// controls and picture follow, and the window takes the place the system
// suggests for it, where it suggests one. (A density below the design's is
// none the system gives.)
void Tfrm_Output::OnDpiChanged(int dpi, const RECT* suggested)
{
    if (dpi < 96)
        return;
    dpi_ = dpi;
    ApplyDensity();
    if (suggested)
        SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    OnSize();
}

// Copy All, once the output is in: the button's own notice (a click, Enter
// or Space on it: its handle comes with it) or its accelerator's (no handle).
void Tfrm_Output::OnCommand(WPARAM wParam, LPARAM lParam)
{
    const HWND from = reinterpret_cast<HWND>(lParam);
    const bool button = HIWORD(wParam) == BN_CLICKED && from == btn_Copy;
    const bool accelerator = HIWORD(wParam) == 1 && !from;
    if (outputIn_ && LOWORD(wParam) == IDC_COPY && (button || accelerator))
        btn_CopyClick(btn_Copy);
}

// The timer a held clipboard is tried again on; closing waits for it.
void Tfrm_Output::OnTimer(WPARAM id)
{
    if (id != TOutputView::CopyTimerId)
        return;
    re_Output.OnCopyTimer();
    if (closing_ && !re_Output.CopyPending())
        DestroyWindow(window_);
}

// Closed while Copy All still tries a held clipboard: the window goes out of
// sight at once, and away once the copy is done or given up (about a second
// at most), so that the copy is not lost with it.
void Tfrm_Output::OnClose()
{
    closing_ = re_Output.CopyPending();
    if (closing_)
        ShowWindow(window_, SW_HIDE);
    else
        DestroyWindow(window_);
}

// The dialog manager's request to move the focus: a label's accelerator
// asks for the label and then for the tab stop after it. The arrow keys on
// the button ask for a tab stop by its handle, as they would move among a
// dialog's group of buttons; here there is none, and they move nothing.
void Tfrm_Output::OnNextControl(WPARAM which, LPARAM byHandle)
{
    HWND next = reinterpret_cast<HWND>(which);
    if (!LOWORD(byHandle))
        next = GetNextDlgTabItem(window_, GetFocus(), which != 0);
    else if (GetWindowLongW(next, GWL_STYLE) & WS_TABSTOP)
        return;
    if (next)
        SetFocus(next);
}

LRESULT Tfrm_Output::OnColourField(HDC dc)
{
    SetTextColor(dc, Aqua);
    SetBkColor(dc, Black);
    return reinterpret_cast<LRESULT>(fieldBrush_);
}

void Tfrm_Output::OnDestroyed()
{
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    window_ = nullptr;
}

void Tfrm_Output::e_FindTextKeyPress(HWND /*sender*/, char16_t& key)
{
    char32_t character = key;
    vantrel::FindTextKeyPress(e_FindText, re_Output, character);
    key = static_cast<char16_t>(character);
}

void Tfrm_Output::btn_CopyClick(HWND /*sender*/)
{
    vantrel::CopyAll(re_Output);
}

void Tfrm_Output::FindInOutput(std::u16string_view pattern, bool findNext)
{
    vantrel::FindInOutput(re_Output, pattern, findNext);
}
