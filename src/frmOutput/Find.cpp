#include "Find.h"

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

char16_t Fold(char16_t c)
{
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// The first position from `start` at which the folded needle matches the
// text folded, never one inside a surrogate pair; npos when there is none.
// The text is folded as it is compared rather than copied folded: the user
// may have pasted megabytes into the view.
std::size_t FindFolded(std::u16string_view text, std::u16string_view needle, std::size_t start)
{
    if (needle.empty() || needle.size() > text.size())
        return std::u16string_view::npos;
    for (std::size_t at = start; at <= text.size() - needle.size(); ++at) {
        std::size_t matched = 0;
        while (matched < needle.size() && Fold(text[at + matched]) == needle[matched])
            ++matched;
        if (matched == needle.size() && !IsInsidePair(text, at))
            return at;
    }
    return std::u16string_view::npos;
}

} // namespace

std::u16string FoldCase(std::u16string_view text)
{
    std::u16string folded(text);
    for (char16_t& c : folded)
        c = Fold(c);
    return folded;
}

void FindInOutput(OutputView& view, std::u16string_view pattern, bool findNext)
{
    const std::u16string needle = FoldCase(pattern);
    const std::size_t selStart = view.SelStart();
    const std::size_t selLength = view.SelLength();
    const std::size_t start =
        (selStart > 0 || selLength > 0) ? selStart + (findNext ? selLength : 0) : 0;

    // Nothing is cached: the whole text is read anew every time, since the
    // user may have edited the view since the last search.
    const std::size_t found = FindFolded(view.Text(), needle, start);
    if (found != std::u16string_view::npos) {
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
