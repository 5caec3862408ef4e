// The output view on the Win32 API: a rich edit control offering the output
// view's operations (OutputView.h) that start-up, the find and Copy All use.
// RichEdit 2 or later, where a line break is one character both in the text
// read back and in selection positions.
#pragma once

#include "OutputView.h"

#include <windows.h>

#include <string>
#include <string_view>

class TOutputView : public vantrel::OutputView {
public:
    // Makes the control on the window `owner`, which also owns what Copy All
    // puts on the clipboard and the timer a held clipboard is tried again on:
    // it hands its WM_TIMER messages of CopyTimerId to OnCopyTimer.
    void Create(HWND owner, HINSTANCE instance);
    HWND Handle() const { return edit_; }

    // The view's font; the text stays lime on black.
    void SetFont(HFONT font);

    void AddLine(std::u16string_view text) override;
    std::u16string Text() const override;
    std::size_t SelStart() const override;
    std::size_t SelLength() const override;
    void SetSelStart(std::size_t start) override;
    void SetSelLength(std::size_t length) override;
    // Puts the selection on the clipboard as plain text. While another
    // program holds the clipboard open (clipboard managers and remote
    // desktops do, briefly and often), it is tried again for about a second,
    // and then a beep says that it failed.
    void CopySelection() override;

    // Whether a copy is still being tried.
    bool CopyPending() const { return copyTriesLeft_ > 0; }
    static constexpr UINT_PTR CopyTimerId = 1;
    // One more try of the copy being tried; nothing when there is none.
    void OnCopyTimer();

private:
    static LRESULT CALLBACK EditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam);

    HWND edit_ = nullptr;
    HWND owner_ = nullptr;
    WNDPROC editProc_ = nullptr; // the rich edit control's own procedure
    std::wstring pendingCopy_;
    int copyTriesLeft_ = 0;
};
