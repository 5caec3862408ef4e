// The find's first-occurrence rule written the plainest way, for the tests,
// the fuzzer and the benchmark to hold the real search to: the first position
// at or after `from` where the text equals the pattern with a to z folded and
// that is not the second half of a surrogate pair; npos when there is none.
// It compares the whole pattern at every position, so its cost is the text's
// length times the pattern's: the find's search before it was made linear.
#pragma once

#include <cstddef>
#include <string_view>

inline std::size_t PlainFind(std::u16string_view text, std::u16string_view pattern, std::size_t from)
{
    const auto upper = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; };
    const auto secondHalf = [&](std::size_t i) {
        return i > 0 && text[i] >= 0xDC00 && text[i] <= 0xDFFF && text[i - 1] >= 0xD800 && text[i - 1] <= 0xDBFF;
    };
    if (pattern.empty())
        return std::u16string_view::npos;
    for (std::size_t i = from; i + pattern.size() <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < pattern.size() && upper(text[i + k]) == upper(pattern[k]))
            ++k;
        if (k == pattern.size() && !secondHalf(i))
            return i;
    }
    return std::u16string_view::npos;
}
