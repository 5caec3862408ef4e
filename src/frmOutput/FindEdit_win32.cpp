#include "FindEdit_win32.h"

#include <commctrl.h>

void TFindEdit::Create(HWND parent, HINSTANCE instance, KeyPressHandler onKeyPress, void* context)
{
    onKeyPress_ = onKeyPress;
    context_ = context;
    edit_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_EDITW, L"",
                            WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | ES_AUTOHSCROLL, 0, 0, 0, 0,
                            parent, nullptr, instance, nullptr);
    SetWindowLongPtrW(edit_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    editProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(edit_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditProc)));
}

void TFindEdit::LeaveOut(const RECT& covered)
{
    RECT outer;
    GetWindowRect(edit_, &outer);
    const int width = outer.right - outer.left, height = outer.bottom - outer.top;
    if (covered.left >= width || covered.right <= 0 || covered.top >= height || covered.bottom <= 0) {
        SetWindowRgn(edit_, nullptr, TRUE);
        return;
    }
    HRGN shape = CreateRectRgn(0, 0, width, height);
    HRGN left = CreateRectRgn(covered.left, covered.top, covered.right, covered.bottom);
    CombineRgn(shape, shape, left, RGN_DIFF);
    DeleteObject(left);
    SetWindowRgn(edit_, shape, TRUE); // the window owns the shape from now on
}

std::u16string TFindEdit::Text() const
{
    const int length = GetWindowTextLengthW(edit_);
    std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(edit_, reinterpret_cast<wchar_t*>(text.data()), length + 1)));
    return text;
}

void TFindEdit::Clear()
{
    SetWindowTextW(edit_, L"");
}

// In front of the edit control's own procedure.
LRESULT CALLBACK TFindEdit::EditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam)
{
    const auto* self = reinterpret_cast<TFindEdit*>(GetWindowLongPtrW(edit, GWLP_USERDATA));
    switch (message) {
    case WM_CHAR: {
        char16_t key = static_cast<char16_t>(wParam);
        self->onKeyPress_(self->context_, edit, key);
        if (key == 0)
            return 0;
        wParam = key;
        break;
    }
    case WM_GETDLGCODE: {
        // Enter and Escape are the find's keys, never the dialog manager's;
        // so is Ctrl+Tab, which types a character. Tab moves the focus on.
        LRESULT code = CallWindowProcW(self->editProc_, edit, message, wParam, lParam);
        const auto* key = reinterpret_cast<const MSG*>(lParam);
        const bool controlTab = key && key->wParam == VK_TAB && GetKeyState(VK_CONTROL) < 0;
        if (key && key->message == WM_KEYDOWN && (key->wParam == VK_RETURN || key->wParam == VK_ESCAPE || controlTab))
            code |= DLGC_WANTALLKEYS;
        return code;
    }
    case WM_SETFOCUS: {
        // Focus that does not come from a mouse click selects the whole text.
        const LRESULT result = CallWindowProcW(self->editProc_, edit, message, wParam, lParam);
        if (GetKeyState(VK_LBUTTON) >= 0)
            SendMessageW(edit, EM_SETSEL, 0, -1);
        return result;
    }
    }
    return CallWindowProcW(self->editProc_, edit, message, wParam, lParam);
}
