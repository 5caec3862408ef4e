#include "CommonControls_win32.h"

#include "SystemLibrary_win32.h"
#include "resource.h"

namespace vantrel {

namespace {

constexpr COLORREF Olive = RGB(128, 128, 0); // the button picture's transparent colour

// The functions of comctl32 that the window calls, null where the DLL could
// not be loaded.
struct CommonControls {
    HMODULE dll = LoadSystemLibrary(L"comctl32.dll");
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

} // namespace

void InitializeCommonControls()
{
    if (Comctl().InitCommonControlsEx) {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
        Comctl().InitCommonControlsEx(&controls);
    }
}

void AddTooltip(HWND owner, HWND control, const wchar_t* text)
{
    HWND tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                                   reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE)), nullptr);
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = GetParent(control);
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = const_cast<wchar_t*>(text);
    SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

// The six state images a button's image list holds (normal, hot, pressed,
// disabled, defaulted, stylus-hot): the strip's left image for every state
// but disabled, which gets the right one. The strip is stretched to the size
// as it is loaded; the size is never below the design's, so pixels are only
// repeated, never mixed, and olive stays olive to become the mask.
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

void DestroyButtonPicture(HIMAGELIST picture)
{
    if (picture)
        Comctl().ImageList_Destroy(picture);
}

} // namespace vantrel
