// The find field on the Win32 API: an edit control that offers every
// character typed into it to its key handler first, before it applies it;
// that gets Enter and Escape from the dialog manager; and that selects all
// its text whenever the focus comes other than by a mouse click. The key
// handler reads and empties it as a FindField.
#pragma once

#include "Find.h"

#include <windows.h>

class TFindEdit : public vantrel::FindField {
public:
    // Called with the field and one character, one UTF-16 unit as WM_CHAR
    // brings it; setting it to 0 keeps the field from applying it.
    using KeyPressHandler = void (*)(void* context, HWND sender, char16_t& key);

    // Makes the control on the parent window.
    void Create(HWND parent, HINSTANCE instance, KeyPressHandler onKeyPress, void* context);
    HWND Handle() const { return edit_; }

    // Leaves the rectangle (in the field's own coordinates) out of the
    // field's shape, so that what lies below shows and is clicked there; a
    // rectangle that does not meet the field leaves it whole.
    void LeaveOut(const RECT& covered);

    std::u16string Text() const override;
    void Clear() override;

private:
    static LRESULT CALLBACK EditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam);

    HWND edit_ = nullptr;
    WNDPROC editProc_ = nullptr; // the edit control's own procedure
    KeyPressHandler onKeyPress_ = nullptr;
    void* context_ = nullptr;
};
