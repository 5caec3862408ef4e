#include "Find.h"

#include <algorithm>

namespace vantrel {

namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// True when position i of the text is the second half of a surrogate pair,
// where a match may not begin.
bool IsInsidePair(std::u16string_view text, std::size_t i)
{
    return i > 0 && i < text.size() && IsLowSurrogate(text[i]) && IsHighSurrogate(text[i - 1]);
}

} // namespace

std::u16string FoldCase(std::u16string_view text)
{
    std::u16string folded(text);
    for (char16_t& c : folded) {
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
    }
    return folded;
}

void FindInOutput(OutputView& view, std::u16string_view pattern, bool findNext)
{
    const std::u16string needle = FoldCase(pattern);
    const std::size_t selStart = view.SelStart();
    const std::size_t selLength = view.SelLength();
    const std::size_t start =
        (selStart > 0 || selLength > 0) ? selStart + (findNext ? selLength : 0) : 0;

    // Nothing is cached: the whole text is read and folded anew every time,
    // since the user may have edited the view since the last search.
    const std::u16string text = FoldCase(view.Text());
    std::size_t found = std::u16string::npos;
    if (!needle.empty() && start < text.size()) {
        for (std::size_t at = text.find(needle, start); at != std::u16string::npos;
             at = text.find(needle, at + 1)) {
            if (!IsInsidePair(text, at)) {
                found = at;
                break;
            }
        }
    }

    if (found != std::u16string::npos) {
        view.SetSelStart(found);
        view.SetSelLength(needle.size());
    } else {
        view.SetSelStart(0);
        view.SetSelLength(0);
    }
}

void CopyAll(OutputView& view)
{
    view.SetSelStart(0);
    view.SetSelLength(view.Text().size());
    view.CopySelection();
    view.SetSelLength(0);
}

FindKeyAction FindKeyRule(std::u16string_view fieldText, char16_t key)
{
    switch (key) {
    case KeyEnter:
        return {false, std::u16string(fieldText), true};
    case KeyEscape:
        return {true, {}, false};
    default: {
        std::u16string pattern(fieldText);
        pattern += key;
        return {false, std::move(pattern), false};
    }
    }
}

} // namespace vantrel
