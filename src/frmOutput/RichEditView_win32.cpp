// The output view's operations on the RichEdit control, the clipboard that
// Copy All writes to, and the handlers that drive the find and Copy All
// through them.
#include "frmOutput_win32.h"

#include "Find.h"

#include <richedit.h>

#include <algorithm>
#include <string>

namespace {

// Copy All tries the clipboard this often, this many milliseconds apart,
// while another program holds it open (clipboard managers and remote
// desktops do, briefly and often): about a second in all.
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

// An edit control as the find field's key handler reads and empties it.
class EditField : public vantrel::FindField {
public:
    explicit EditField(HWND edit) : edit_(edit) {}

    std::u16string Text() const override
    {
        const int length = GetWindowTextLengthW(edit_);
        std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
        text.resize(static_cast<std::size_t>(
            GetWindowTextW(edit_, reinterpret_cast<wchar_t*>(text.data()), length + 1)));
        return text;
    }
    void Clear() override { SetWindowTextW(edit_, L""); }

private:
    HWND edit_;
};

} // namespace

void Tfrm_Output::AddLine(std::u16string_view text)
{
    CHARRANGE end{-1, -1};
    SendMessageW(re_Output, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
    std::wstring line(text.begin(), text.end());
    line += L"\r";
    SendMessageW(re_Output, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
}

std::u16string Tfrm_Output::Text() const
{
    // Read as UTF-16 without CR-LF expansion: each line break is one
    // character, as the selection positions count it.
    GETTEXTLENGTHEX howLong{GTL_NUMCHARS | GTL_PRECISE, 1200};
    const auto length = static_cast<std::size_t>(
        SendMessageW(re_Output, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&howLong), 0));
    std::wstring text(length + 1, L'\0');
    GETTEXTEX how{static_cast<DWORD>((length + 1) * sizeof(wchar_t)), GT_DEFAULT, 1200, nullptr, nullptr};
    const auto copied = static_cast<std::size_t>(SendMessageW(
        re_Output, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&how), reinterpret_cast<LPARAM>(text.data())));
    text.resize(std::min(copied, length));
    return std::u16string(text.begin(), text.end());
}

std::size_t Tfrm_Output::SelStart() const
{
    CHARRANGE selection{};
    SendMessageW(re_Output, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    return static_cast<std::size_t>(selection.cpMin);
}

std::size_t Tfrm_Output::SelLength() const
{
    CHARRANGE selection{};
    SendMessageW(re_Output, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    return static_cast<std::size_t>(selection.cpMax - selection.cpMin);
}

void Tfrm_Output::SetSelStart(std::size_t start)
{
    CHARRANGE caret{static_cast<LONG>(start), static_cast<LONG>(start)};
    SendMessageW(re_Output, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&caret));
}

void Tfrm_Output::SetSelLength(std::size_t length)
{
    const auto start = static_cast<LONG>(SelStart());
    CHARRANGE selection{start, start + static_cast<LONG>(length)};
    SendMessageW(re_Output, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
}

void Tfrm_Output::CopySelection()
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

void Tfrm_Output::OnCopyTimer()
{
    const bool copied = PutOnClipboard(window_, pendingCopy_);
    if (!copied && --copyTriesLeft_ > 0) {
        SetTimer(window_, CopyTimerId, CopyRetryMilliseconds, nullptr);
        return;
    }
    KillTimer(window_, CopyTimerId);
    // Held for longer than the user would wait: a beep says it, not silence.
    if (!copied)
        MessageBeep(MB_OK);
}

void Tfrm_Output::e_FindTextKeyPress(HWND sender, char16_t& key)
{
    EditField field(sender);
    char32_t character = key;
    vantrel::FindTextKeyPress(field, *this, character);
    key = static_cast<char16_t>(character);
}

void Tfrm_Output::btn_CopyClick(HWND /*sender*/)
{
    vantrel::CopyAll(*this);
}

void Tfrm_Output::FindInOutput(std::u16string_view pattern, bool findNext)
{
    vantrel::FindInOutput(*this, pattern, findNext);
}
