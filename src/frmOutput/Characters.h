// The characters of UTF-16 text as the find and the find field see them:
// surrogate halves, whole characters, and the find's case folding. No
// platform headers; the windows, the tests and the fuzzers share these.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vantrel {

constexpr bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
constexpr bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// True when position i of the text is the second half of a surrogate pair,
// where a match may not begin.
constexpr bool IsSecondHalfOfPair(std::u16string_view text, std::size_t i)
{
    return i > 0 && i < text.size() && IsLowSurrogate(text[i]) && IsHighSurrogate(text[i - 1]);
}

// Case folding for the find: the letters a to z become A to Z; every other
// unit, letters with accents included, stays unchanged.
constexpr char16_t FoldCase(char16_t c)
{
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

inline std::u16string FoldCase(std::u16string_view text)
{
    std::u16string folded(text);
    for (char16_t& c : folded)
        c = FoldCase(c);
    return folded;
}

// Appends one character as UTF-16: a character outside the 16-bit range as
// its surrogate pair, a lone surrogate (as a window that gets a pair in two
// halves passes it) as itself, a number beyond Unicode as U+FFFD.
inline void AppendCharacter(std::u16string& text, char32_t c)
{
    if (c < 0x10000) {
        text += static_cast<char16_t>(c);
    } else if (c <= 0x10FFFF) {
        c -= 0x10000;
        text += static_cast<char16_t>(0xD800 + (c >> 10));
        text += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
        text += u'\uFFFD'; // no Unicode character: what a decoder makes of it
    }
}

// The characters of a UTF-16 text in order, one per key for the find: a
// surrogate pair is one character, a lone surrogate stands for itself.
inline std::u32string Characters(std::u16string_view text)
{
    std::u32string characters;
    characters.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            characters += 0x10000 + ((char32_t(text[i]) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
            ++i;
        } else {
            characters += text[i];
        }
    }
    return characters;
}

} // namespace vantrel
