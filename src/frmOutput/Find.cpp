#include "Find.h"

#include <vector>

namespace vantrel {

namespace {

// For each length k + 1 of the needle's beginning, the length of the longest
// beginning of the needle that also ends it (shorter than k + 1): where a
// partial match can go on after the next character does not fit.
std::vector<std::size_t> Borders(std::u16string_view needle)
{
    std::vector<std::size_t> border(needle.size(), 0);
    for (std::size_t k = 1, length = 0; k < needle.size(); ++k) {
        while (length > 0 && needle[k] != needle[length])
            length = border[length - 1];
        if (needle[k] == needle[length])
            ++length;
        border[k] = length;
    }
    return border;
}

// The first position from `start` at which the folded needle matches the
// text folded, never one inside a surrogate pair; npos when there is none.
// Each character of the text is read once, going forward, and the partial
// match falls back along the needle's borders instead of starting again at
// the next position: the cost is at most two comparisons per character of
// the text whatever the needle (one with 1,000 characters that almost
// occurs everywhere included), plus one pass over the needle. The text is
// folded as it is compared rather than copied folded: the user may have
// pasted megabytes into the view.
std::size_t FindFolded(std::u16string_view text, std::u16string_view needle, std::size_t start)
{
    if (needle.empty() || start > text.size() || needle.size() > text.size() - start)
        return std::u16string_view::npos;
    const std::vector<std::size_t> border = Borders(needle);
    std::size_t matched = 0;
    for (std::size_t i = start; i < text.size(); ++i) {
        const char16_t c = FoldCase(text[i]);
        while (matched > 0 && c != needle[matched])
            matched = border[matched - 1];
        if (c == needle[matched])
            ++matched;
        if (matched == needle.size()) {
            const std::size_t at = i + 1 - needle.size();
            if (!IsSecondHalfOfPair(text, at))
                return at;
            // Not here: go on as if this were a partial match, so that
            // occurrences overlapping this one are still found.
            matched = border[matched - 1];
        }
    }
    return std::u16string_view::npos;
}

} // namespace

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

FindKeyAction FindKeyRule(std::u16string_view fieldText, char32_t key)
{
    switch (key) {
    case KeyEnter:
        return {false, std::u16string(fieldText), true};
    case KeyEscape:
        return {true, {}, false};
    default: {
        std::u16string pattern(fieldText);
        AppendCharacter(pattern, key);
        return {false, std::move(pattern), false};
    }
    }
}

void FindTextKeyPress(FindField& field, OutputView& view, char32_t& key)
{
    const FindKeyAction action = FindKeyRule(field.Text(), key);
    if (action.clearField) {
        key = 0;
        field.Clear();
        return;
    }
    FindInOutput(view, action.pattern, action.findNext);
}

} // namespace vantrel
