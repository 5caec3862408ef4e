// The output window on the Win32 API: the output view and the bottom panel
// with the find field and the Copy All button. The find and Copy All rules
// live in Find.h; the view (OutputView_win32.h) and the find field
// (FindEdit_win32.h) adapt the Windows controls to them.
#pragma once

#include "FindEdit_win32.h"
#include "OutputView_win32.h"

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <string_view>

class Tfrm_Output {
public:
    // Creates the window and its controls, not yet visible, sized for the
    // screen's density and centred in the work area of its monitor.
    explicit Tfrm_Output(HINSTANCE instance);
    ~Tfrm_Output();
    Tfrm_Output(const Tfrm_Output&) = delete;
    Tfrm_Output& operator=(const Tfrm_Output&) = delete;

    TOutputView re_Output;
    HWND Panel1 = nullptr;
    TFindEdit e_FindText;
    HWND Label1 = nullptr;
    HWND btn_Copy = nullptr;

    // Runs for every character typed into the find field, before the field
    // applies it; setting key to 0 keeps the field from seeing it.
    void e_FindTextKeyPress(HWND sender, char16_t& key);
    void btn_CopyClick(HWND sender);
    void FindInOutput(std::u16string_view pattern, bool findNext);

    // The output view's operations, for start-up.
    vantrel::OutputView& View() { return re_Output; }
    // Shows the window (SW_SHOWNORMAL or one of the minimised states) with
    // the keyboard focus in the find field, or there once it is restored.
    void Show(int state = SW_SHOWNORMAL);
    // False once the window has been closed, which ends the program.
    bool IsOpen() const { return window_ != nullptr; }
    // Handles one message of the event loop. The window's keys go through
    // the dialog manager, as in a dialog box: Tab and Shift+Tab move along
    // the tab order, Alt+F is the label's accelerator, Enter presses the
    // focused button; Alt+C, the button's accelerator, goes through the
    // window's accelerator table, so that the focus stays where it is.
    void Dispatch(MSG& message);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnSize();
    void OnActivate(bool active);
    void OnDpiChanged(int dpi, const RECT* suggested);
    void OnCommand(WPARAM wParam, LPARAM lParam);
    void OnTimer(WPARAM id);
    void OnNextControl(WPARAM which, LPARAM byHandle);
    void OnClose();
    LRESULT OnColourField(HDC dc);
    void OnDestroyed();

    void CreateControls(HINSTANCE instance);
    void ApplyDensity();
    void PlaceInWorkArea();
    int Scale(int designPixels) const;

    HINSTANCE instance_ = nullptr;
    HWND window_ = nullptr;
    HWND focusWhenInactive_ = nullptr;
    HACCEL accelerators_ = nullptr;
    HFONT windowFont_ = nullptr;
    HFONT viewFont_ = nullptr;
    HBRUSH fieldBrush_ = nullptr;
    HIMAGELIST buttonPicture_ = nullptr;
    int dpi_ = 96;
    bool outputIn_ = false; // Copy All waits for the output
    bool closing_ = false;  // closed while a copy is still being tried
};
