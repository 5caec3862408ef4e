#include "frmOutput_win32.h"

#include "Layout.h"
#include "SystemLibrary_win32.h"
#include "resource.h"

#include <richedit.h>

#include <algorithm>
#include <cwctype>
#include <string>

namespace {

const wchar_t WindowClass[] = L"Tfrm_Output";
const wchar_t PanelClass[] = L"TPanel";

// The design layout is in pixels at 96 per inch; Scale() adapts it.
using namespace vantrel::layout;

constexpr COLORREF Black = RGB(0, 0, 0);
constexpr COLORREF Lime = RGB(0, 255, 0);
constexpr COLORREF Aqua = RGB(0, 255, 255);
constexpr COLORREF Olive = RGB(128, 128, 0); // the button picture's transparent colour

constexpr int CopyButtonId = 1;
constexpr int PictureSize = 16; // each image of the button's picture strip, at 96 per inch

// The common controls are loaded from the system directory at run time (see
// SystemLibrary_win32.h). These are the functions of theirs that the window
// calls, null where the DLL could not be loaded.
struct CommonControls {
    HMODULE dll = vantrel::LoadSystemLibrary(L"comctl32.dll");
    SYSTEM_FUNCTION(InitCommonControlsEx);
    SYSTEM_FUNCTION(ImageList_Create);
    SYSTEM_FUNCTION(ImageList_AddMasked);
    SYSTEM_FUNCTION(ImageList_Copy);
    SYSTEM_FUNCTION(ImageList_Destroy);
};

const CommonControls& Comctl()
{
    static const CommonControls loaded;
    return loaded;
}

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

void RegisterClasses(HINSTANCE instance, WNDPROC windowProc, WNDPROC panelProc)
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

    WNDCLASSEXW panelClass = windowClass;
    panelClass.lpfnWndProc = panelProc;
    panelClass.hIcon = nullptr;
    panelClass.lpszClassName = PanelClass;
    RegisterClassExW(&panelClass);
}

// The button's picture as the six state images a button's image list holds
// (normal, hot, pressed, disabled, defaulted, stylus-hot): the strip's left
// image for every state but disabled, which gets the right one. The strip is
// stretched to the density as it is loaded; the density is never below 96
// per inch, so pixels are only repeated, never mixed, and olive stays olive
// to become the mask.
HIMAGELIST LoadButtonPicture(HINSTANCE instance, int size)
{
    const CommonControls& controls = Comctl();
    if (!controls.ImageList_Create)
        return nullptr;
    HIMAGELIST list = controls.ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, 6, 0);
    HBITMAP strip = static_cast<HBITMAP>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDB_COPY), IMAGE_BITMAP, 2 * size, size, LR_CREATEDIBSECTION));
    // Three strips give normal, disabled, normal, disabled, normal, disabled;
    // the hot and stylus-hot places then take the normal image.
    for (int i = 0; i < 3; ++i)
        controls.ImageList_AddMasked(list, strip, Olive);
    DeleteObject(strip);
    controls.ImageList_Copy(list, 1, list, 0, ILCF_MOVE);
    controls.ImageList_Copy(list, 5, list, 0, ILCF_MOVE);
    return list;
}

} // namespace

Tfrm_Output::Tfrm_Output(HINSTANCE instance) : instance_(instance)
{
    if (Comctl().InitCommonControlsEx) {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
        Comctl().InitCommonControlsEx(&controls);
    }
    // Themed controls load msimg32 by a delay load when they first draw,
    // which some systems (Wine for one) resolve by the ordinary search, the
    // exe's folder first; loaded from the system now, it is found loaded then.
    vantrel::LoadSystemLibrary(L"msimg32.dll");
    RegisterClasses(instance, WindowProc, PanelProc);

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
    if (IsWindow(window_))
        DestroyWindow(window_);
    DeleteObject(windowFont_);
    DeleteObject(viewFont_);
    DeleteObject(fieldBrush_);
    if (buttonPicture_)
        Comctl().ImageList_Destroy(buttonPicture_);
}

int Tfrm_Output::Scale(int designPixels) const
{
    return Scaled(designPixels, dpi_);
}

void Tfrm_Output::CreateControls(HINSTANCE instance)
{
    fieldBrush_ = CreateSolidBrush(Black);
    auto child = [&](DWORD exStyle, const wchar_t* className, const wchar_t* text, DWORD style,
                     HWND parent, int id = 0) {
        return CreateWindowExW(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    };

    // The output view: RichEdit 2 or later, where a line break is one
    // character both in the text read back and in selection positions. A
    // hidden label just before it gives screen readers its name.
    CreateWindowExW(0, WC_STATICW, L"Output", WS_CHILD, 0, 0, 0, 0, window_, nullptr, instance, nullptr);
    vantrel::LoadSystemLibrary(L"riched20.dll");
    re_Output = child(WS_EX_CLIENTEDGE, RICHEDIT_CLASSW, L"",
                      WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_NOHIDESEL | ES_WANTRETURN,
                      window_);
    SendMessageW(re_Output, EM_SETTEXTMODE, TM_PLAINTEXT | TM_MULTILEVELUNDO | TM_MULTICODEPAGE, 0);
    SendMessageW(re_Output, EM_EXLIMITTEXT, 0, 0x7FFFFFF0);
    SendMessageW(re_Output, EM_SETBKGNDCOLOR, 0, Black);

    Panel1 = child(0, PanelClass, L"", 0, window_);
    SetWindowLongPtrW(Panel1, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));

    // Screen readers name a field after the label just before it in z-order,
    // which is the order of creation: the label comes first.
    Label1 = child(0, WC_STATICW, L"&Find:", SS_LEFT, Panel1);
    e_FindText = child(WS_EX_CLIENTEDGE, WC_EDITW, L"", WS_TABSTOP | WS_CLIPSIBLINGS | ES_AUTOHSCROLL, Panel1);
    SetWindowLongPtrW(e_FindText, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    fieldProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(e_FindText, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FindTextProc)));
    btn_Copy = child(0, WC_BUTTONW, L"&Copy All", WS_TABSTOP | WS_CLIPSIBLINGS | BS_PUSHBUTTON, Panel1,
                     CopyButtonId);

    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_,
                               nullptr, instance, nullptr);
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = Panel1;
    tool.uId = reinterpret_cast<UINT_PTR>(btn_Copy);
    tool.lpszText = const_cast<wchar_t*>(L"Copy All of the above to the clipboard.");
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));

    focusWhenInactive_ = e_FindText;
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
    // The controls on the panel take the window's font; the view has its
    // own, in lime (setting a font resets the view's colour).
    for (HWND control : {Label1, e_FindText, btn_Copy})
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont_), TRUE);
    SendMessageW(re_Output, WM_SETFONT, reinterpret_cast<WPARAM>(viewFont_), TRUE);
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR;
    format.crTextColor = Lime;
    SendMessageW(re_Output, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
    DeleteObject(oldWindowFont);
    DeleteObject(oldViewFont);

    const HIMAGELIST oldPicture = buttonPicture_;
    buttonPicture_ = LoadButtonPicture(instance_, Scale(PictureSize));
    BUTTON_IMAGELIST picture{buttonPicture_, {Scale(2), 0, 0, 0}, BUTTON_IMAGELIST_ALIGN_LEFT};
    SendMessageW(btn_Copy, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&picture));
    if (oldPicture)
        Comctl().ImageList_Destroy(oldPicture);
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
    LayOutControls();
}

// The layout for the client area as it is now: WM_SIZE comes only when the
// size changes, and the density may have changed without it.
void Tfrm_Output::LayOutControls()
{
    RECT client;
    GetClientRect(window_, &client);
    OnSize(client.right, client.bottom);
}

void Tfrm_Output::OnSize(int width, int height)
{
    // The layout rules at the window's density (Layout.h). The button stays
    // above the field, whose right part goes behind it in a wide window.
    const Placement placed = LayOut(width, height, dpi_);
    const auto place = [](HWND control, const Box& box) {
        MoveWindow(control, box.left, box.top, box.width, box.height, TRUE);
    };
    place(re_Output, placed.view);
    place(Panel1, placed.panel);
    place(Label1, placed.label);
    place(e_FindText, placed.field);
    const Box& button = placed.button;
    SetWindowPos(btn_Copy, HWND_TOP, button.left, button.top, button.width, button.height, 0);
    InvalidateRect(Panel1, nullptr, TRUE);
}

void Tfrm_Output::OnDpiChanged(int dpi, const RECT& suggested)
{
    // Moved to a monitor of another density, or the density changed: the
    // fonts, controls and picture follow, and the window takes the place the
    // system suggests for it.
    dpi_ = dpi;
    ApplyDensity();
    SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    LayOutControls();
}

void Tfrm_Output::Show()
{
    ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
    SetFocus(e_FindText);
}

bool Tfrm_Output::PreTranslateMessage(const MSG& message)
{
    if (message.hwnd != window_ && !IsChild(window_, message.hwnd))
        return false;
    const bool control = GetKeyState(VK_CONTROL) < 0;
    switch (message.message) {
    case WM_KEYDOWN:
        if (message.wParam == VK_TAB && !control) {
            MoveFocus(GetKeyState(VK_SHIFT) < 0);
            return true;
        }
        if (message.wParam == VK_RETURN && message.hwnd == btn_Copy) {
            btn_CopyClick(btn_Copy);
            return true;
        }
        return false;
    case WM_SYSCHAR:
        switch (std::towupper(static_cast<wint_t>(message.wParam))) {
        case L'F':
            SetFocus(e_FindText);
            return true;
        case L'C':
            btn_CopyClick(btn_Copy);
            return true;
        }
        return false;
    }
    return false;
}

void Tfrm_Output::MoveFocus(bool backwards)
{
    // The view first, then the panel: the find field, then the button.
    const HWND order[] = {re_Output, e_FindText, btn_Copy};
    const HWND focus = GetFocus();
    const auto at = std::find(std::begin(order), std::end(order), focus) - std::begin(order);
    const int count = static_cast<int>(std::size(order));
    const int next = (static_cast<int>(at) + (backwards ? count - 1 : 1)) % count;
    SetFocus(order[next]);
}

void Tfrm_Output::OnActivate(bool active)
{
    // The focus leaves with the window and comes back to the same control.
    if (!active) {
        const HWND focus = GetFocus();
        if (focus && IsChild(window_, focus))
            focusWhenInactive_ = focus;
    } else if (focusWhenInactive_) {
        SetFocus(focusWhenInactive_);
    }
}

LRESULT Tfrm_Output::OnColourField(HDC dc)
{
    SetTextColor(dc, Aqua);
    SetBkColor(dc, Black);
    return reinterpret_cast<LRESULT>(fieldBrush_);
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

LRESULT Tfrm_Output::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        if (Panel1)
            OnSize(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_ACTIVATE:
        OnActivate(LOWORD(wParam) != WA_INACTIVE);
        return 0;
    case WM_DPICHANGED:
        OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == CopyButtonId && HIWORD(wParam) == BN_CLICKED)
            btn_CopyClick(btn_Copy);
        return 0;
    case WM_TIMER:
        if (wParam == CopyTimerId)
            OnCopyTimer();
        return 0;
    case WM_CTLCOLOREDIT:
        if (reinterpret_cast<HWND>(lParam) == e_FindText)
            return OnColourField(reinterpret_cast<HDC>(wParam));
        break;
    case WM_DESTROY:
        // The output window is the program's only one: closing it ends the loop.
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT CALLBACK Tfrm_Output::PanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        // The panel's lowered outer bevel.
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(panel, &paint);
        RECT area;
        GetClientRect(panel, &area);
        DrawEdge(dc, &area, BDR_SUNKENOUTER, BF_RECT);
        EndPaint(panel, &paint);
        return 0;
    }
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLOREDIT:
        // The controls on the panel are the window's: their notices go there.
        if (Tfrm_Output* self = Self(panel))
            return self->OnMessage(message, wParam, lParam);
        break;
    case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    }
    return DefWindowProcW(panel, message, wParam, lParam);
}

// The find field's procedure, in front of the edit control's own.
LRESULT CALLBACK Tfrm_Output::FindTextProc(HWND field, UINT message, WPARAM wParam, LPARAM lParam)
{
    Tfrm_Output* self = Self(field);
    switch (message) {
    case WM_CHAR: {
        char16_t key = static_cast<char16_t>(wParam);
        self->e_FindTextKeyPress(field, key);
        if (key == 0)
            return 0;
        wParam = key;
        break;
    }
    case WM_SETFOCUS: {
        // Focus that does not come from a mouse click selects the whole text.
        const LRESULT result = CallWindowProcW(self->fieldProc_, field, message, wParam, lParam);
        if (GetKeyState(VK_LBUTTON) >= 0)
            SendMessageW(field, EM_SETSEL, 0, -1);
        return result;
    }
    }
    return CallWindowProcW(self->fieldProc_, field, message, wParam, lParam);
}
