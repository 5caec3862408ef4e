// The output view's operations on the rich edit control, and the clipboard
// that Copy All writes to.
#include "OutputView_win32.h"

#include "SystemLibrary_win32.h"

#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <string>

namespace {

constexpr COLORREF Black = RGB(0, 0, 0);
constexpr COLORREF Lime = RGB(0, 255, 0);

// Copy All tries the clipboard this often, this many milliseconds apart,
// while another program holds it open: about a second in all.
constexpr int CopyTries = 20;
constexpr UINT CopyRetryMilliseconds = 50;

// Puts the text on the clipboard as Unicode text (the system offers it in
// the other text formats too). The data belongs to the system from then on,
// so it outlives the program. False when the clipboard is held elsewhere.
bool PutOnClipboard(HWND owner, const std::wstring& text)
{
    if (!OpenClipboard(owner))
        return false;
    EmptyClipboard();
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (void* target = data ? GlobalLock(data) : nullptr) {
        std::copy_n(text.c_str(), text.size() + 1, static_cast<wchar_t*>(target));
        GlobalUnlock(data);
        if (!SetClipboardData(CF_UNICODETEXT, data))
            GlobalFree(data);
    }
    CloseClipboard();
    return true;
}

} // namespace

void TOutputView::Create(HWND owner, HINSTANCE instance)
{
    owner_ = owner;
    // A hidden label just before the view gives screen readers its name.
    CreateWindowExW(0, WC_STATICW, L"Output", WS_CHILD, 0, 0, 0, 0, owner, nullptr, instance, nullptr);
    vantrel::LoadSystemLibrary(L"riched20.dll");
    edit_ = CreateWindowExW(WS_EX_CLIENTEDGE, RICHEDIT_CLASSW, L"",
                            WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                                ES_NOHIDESEL | ES_WANTRETURN,
                            0, 0, 0, 0, owner, nullptr, instance, nullptr);
    SendMessageW(edit_, EM_SETTEXTMODE, TM_PLAINTEXT | TM_MULTILEVELUNDO | TM_MULTICODEPAGE, 0);
    SendMessageW(edit_, EM_EXLIMITTEXT, 0, 0x7FFFFFF0);
    SendMessageW(edit_, EM_SETBKGNDCOLOR, 0, Black);
    SetWindowLongPtrW(edit_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    editProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(edit_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditProc)));
}

void TOutputView::SetFont(HFONT font)
{
    // Setting a font resets the text's colour.
    SendMessageW(edit_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR;
    format.crTextColor = Lime;
    SendMessageW(edit_, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
}

// In front of the rich edit control's own procedure. To the dialog manager
// the view is a multi-line text control: it takes every key but Tab, which
// moves the focus (Ctrl+Tab types a tab), and its selection stays as it was
// when the focus comes by Tab, so that the find goes on from it. The control
// itself is not told that it is in a dialog, where Escape would close the
// window.
LRESULT CALLBACK TOutputView::EditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam)
{
    const auto* self = reinterpret_cast<TOutputView*>(GetWindowLongPtrW(edit, GWLP_USERDATA));
    if (message != WM_GETDLGCODE)
        return CallWindowProcW(self->editProc_, edit, message, wParam, lParam);
    LRESULT code = CallWindowProcW(self->editProc_, edit, message, wParam, 0) & ~DLGC_HASSETSEL;
    const auto* key = reinterpret_cast<const MSG*>(lParam);
    if (key && key->message == WM_KEYDOWN && key->wParam == VK_TAB && GetKeyState(VK_CONTROL) >= 0)
        code &= ~(DLGC_WANTTAB | DLGC_WANTALLKEYS);
    return code;
}

void TOutputView::AddLine(std::u16string_view text)
{
    CHARRANGE end{-1, -1};
    SendMessageW(edit_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
    std::wstring line(text.begin(), text.end());
    line += L"\r";
    SendMessageW(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
}

std::u16string TOutputView::Text() const
{
    // Read as UTF-16 without CR-LF expansion: each line break is one
    // character, as the selection positions count it.
    GETTEXTLENGTHEX howLong{GTL_NUMCHARS | GTL_PRECISE, 1200};
    const auto length = static_cast<std::size_t>(
        SendMessageW(edit_, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&howLong), 0));
    std::wstring text(length + 1, L'\0');
    GETTEXTEX how{static_cast<DWORD>((length + 1) * sizeof(wchar_t)), GT_DEFAULT, 1200, nullptr, nullptr};
    const auto copied = static_cast<std::size_t>(SendMessageW(
        edit_, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&how), reinterpret_cast<LPARAM>(text.data())));
    text.resize(std::min(copied, length));
    return std::u16string(text.begin(), text.end());
}

std::size_t TOutputView::SelStart() const
{
    CHARRANGE selection{};
    SendMessageW(edit_, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    return static_cast<std::size_t>(selection.cpMin);
}

std::size_t TOutputView::SelLength() const
{
    CHARRANGE selection{};
    SendMessageW(edit_, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    return static_cast<std::size_t>(selection.cpMax - selection.cpMin);
}

void TOutputView::SetSelStart(std::size_t start)
{
    CHARRANGE caret{static_cast<LONG>(start), static_cast<LONG>(start)};
    SendMessageW(edit_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&caret));
}

void TOutputView::SetSelLength(std::size_t length)
{
    const auto start = static_cast<LONG>(SelStart());
    CHARRANGE selection{start, start + static_cast<LONG>(length)};
    SendMessageW(edit_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
}

void TOutputView::CopySelection()
{
    // The selection as the clipboard's text has it, each line break as
    // CR LF; tried at once and then on the timer while the clipboard is held.
    const std::u16string text = Text().substr(SelStart(), SelLength());
    pendingCopy_.clear();
    for (const char16_t c : text) {
        pendingCopy_ += static_cast<wchar_t>(c);
        if (c == u'\r')
            pendingCopy_ += L'\n';
    }
    copyTriesLeft_ = CopyTries;
    OnCopyTimer();
}

void TOutputView::OnCopyTimer()
{
    // A timer message of no copy's (another program can post one) counts
    // for nothing: it must not put an old copy over what is there now.
    if (!CopyPending())
        return;
    const bool copied = PutOnClipboard(owner_, pendingCopy_);
    if (!copied && --copyTriesLeft_ > 0) {
        SetTimer(owner_, CopyTimerId, CopyRetryMilliseconds, nullptr);
        return;
    }
    KillTimer(owner_, CopyTimerId);
    copyTriesLeft_ = 0;
    // Held for longer than the user would wait: a beep says it, not silence.
    if (!copied)
        MessageBeep(MB_OK);
}
