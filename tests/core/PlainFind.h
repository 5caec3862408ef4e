// The find's first-occurrence rule written the plainest way, for the tests,
// the fuzzer and the benchmark to hold the real search to: the first position
// at or after `from` where the text equals the pattern with a to z folded and
// that is not the second half of a surrogate pair; npos when there is none.
// It compares the whole pattern at every position, so its cost is the text's
// length times the pattern's: the find's search before it was made linear.
#pragma once

#include "Characters.h"

#include <cstddef>
#include <string_view>

inline std::size_t PlainFind(std::u16string_view text, std::u16string_view pattern, std::size_t from)
{
    if (pattern.empty())
        return std::u16string_view::npos;
    for (std::size_t i = from; i + pattern.size() <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < pattern.size() && vantrel::FoldCase(text[i + k]) == vantrel::FoldCase(pattern[k]))
            ++k;
        if (k == pattern.size() && !vantrel::IsSecondHalfOfPair(text, i))
            return i;
    }
    return std::u16string_view::npos;
}
