// The operations of the output view that Copy All and the find rely on. Each
// window implements them on its own text control; the tests use a fake.
//
// Text is UTF-16, as both platforms' text controls hold it, and positions
// count its code units exactly as the text read back holds them, each
// character of a line break included, so that a position found in Text() is
// the same position when it is used as a selection start.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vantrel {

class OutputView {
public:
    // Appends the text followed by one line break.
    virtual void AddLine(std::u16string_view text) = 0;
    // The view's whole text as read back.
    virtual std::u16string Text() const = 0;
    virtual std::size_t SelStart() const = 0;
    virtual std::size_t SelLength() const = 0;
    // Puts the caret at the position with nothing selected.
    virtual void SetSelStart(std::size_t start) = 0;
    // Selects that many characters from the current selection start.
    virtual void SetSelLength(std::size_t length) = 0;
    // Copies the selection to the system clipboard.
    virtual void CopySelection() = 0;

protected:
    ~OutputView() = default;
};

// Start-up's last steps once the output is in, on every platform: the text
// goes into the view as one line, the window is shown (show), and the caret
// goes to the start of the text with nothing selected.
template <typename Show>
void ShowOutput(OutputView& view, std::u16string_view text, Show show)
{
    view.AddLine(text);
    show();
    view.SetSelStart(0);
    view.SetSelLength(0);
}

} // namespace vantrel
