// The output window on the Win32 API: a RichEdit output view and a bottom
// panel with the find field and the Copy All button. The find and Copy All
// rules live in Find.h; this class adapts the Windows controls to them.
#pragma once

#include "OutputView.h"

#include <windows.h>
#include <commctrl.h>

#include <string>

class Tfrm_Output : private vantrel::OutputView {
public:
    // Creates the window and its controls, not yet visible, sized for the
    // screen's density and centred in the work area of its monitor.
    explicit Tfrm_Output(HINSTANCE instance);
    ~Tfrm_Output();
    Tfrm_Output(const Tfrm_Output&) = delete;
    Tfrm_Output& operator=(const Tfrm_Output&) = delete;

    HWND re_Output = nullptr;
    HWND Panel1 = nullptr;
    HWND e_FindText = nullptr;
    HWND Label1 = nullptr;
    HWND btn_Copy = nullptr;

    // Runs for every character typed into the find field, before the field
    // applies it; setting key to 0 keeps the field from seeing it.
    void e_FindTextKeyPress(HWND sender, char16_t& key);
    void btn_CopyClick(HWND sender);
    void FindInOutput(std::u16string_view pattern, bool findNext);

    // The output view's operations, for start-up.
    vantrel::OutputView& View() { return *this; }
    // Shows the window with the keyboard focus in the find field.
    void Show();
    // The window's own keys, looked at before the message reaches a control:
    // Tab and Shift+Tab move along the tab order, Alt+F and Alt+C are the
    // label's and the button's accelerators, Enter presses the focused button.
    // Returns true when the message was handled.
    bool PreTranslateMessage(const MSG& message);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK FindTextProc(HWND field, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls(HINSTANCE instance);
    void ApplyDensity();
    void PlaceInWorkArea();
    void LayOutControls();
    void OnSize(int width, int height);
    void OnDpiChanged(int dpi, const RECT& suggested);
    LRESULT OnColourField(HDC dc);
    void OnActivate(bool active);
    void OnCopyTimer();
    void MoveFocus(bool backwards);
    int Scale(int designPixels) const;

    void AddLine(std::u16string_view text) override;
    std::u16string Text() const override;
    std::size_t SelStart() const override;
    std::size_t SelLength() const override;
    void SetSelStart(std::size_t start) override;
    void SetSelLength(std::size_t length) override;
    void CopySelection() override;

    HINSTANCE instance_ = nullptr;
    HWND window_ = nullptr;
    HWND tooltip_ = nullptr;
    HWND focusWhenInactive_ = nullptr;
    WNDPROC fieldProc_ = nullptr; // the edit control's own procedure
    HFONT windowFont_ = nullptr;
    HFONT viewFont_ = nullptr;
    HBRUSH fieldBrush_ = nullptr;
    HIMAGELIST buttonPicture_ = nullptr;
    int dpi_ = 96;
    // Copy All's text while the clipboard is held by another program, tried
    // again on this timer.
    static constexpr UINT_PTR CopyTimerId = 1;
    std::wstring pendingCopy_;
    int copyTriesLeft_ = 0;
};
