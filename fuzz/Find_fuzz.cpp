// Fuzzes the find and Copy All as the window drives them: a view holding any
// UTF-16 text (lone and paired surrogates, control characters, accented
// letters), a selection the user left anywhere in it, then a run of keys
// typed into the find field, clicks that move the selection and Copy All
// presses. After every step the selection must lie within the text; a search
// must select the first occurrence of the field's text (a to z folded) from
// where it starts, never one that begins on the second half of a surrogate
// pair, and must leave the caret at 0 with nothing selected when there is
// none; Copy All must copy exactly the whole text and leave the caret at 0.
//
// The input, laid out so that short inputs reach letters and surrogates:
//   one byte       the number of text units, then that many units
//   two bytes      the selection's start and length, folded into the text
//   the rest       steps, one operation byte each (see the loop below)
// A unit is one byte: below 0x80 that ASCII code, control characters
// included; 0x80-0x8F a high surrogate D830-D83F; 0x90-0x9F a low surrogate
// DE00-DE0F; 0xA0-0xBF a Latin-1 letter C0-DF; 0xC0-0xFF any unit at all,
// from the next two bytes, low byte first.
#include "Check.h"
#include "FakeView.h"
#include "Find.h"
#include "PlainFind.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using vantrel::KeyEnter;
using vantrel::KeyEscape;

namespace {

constexpr auto npos = std::u16string::npos;

class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Empty() const { return at_ == size_; }
    // The next byte; zeros once the input has run out.
    std::uint8_t Next() { return Empty() ? 0 : data_[at_++]; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

char16_t NextUnit(Bytes& in)
{
    const std::uint8_t b = in.Next();
    if (b < 0x80)
        return b;
    if (b < 0x90)
        return static_cast<char16_t>(0xD830 + (b - 0x80));
    if (b < 0xA0)
        return static_cast<char16_t>(0xDE00 + (b - 0x90));
    if (b < 0xC0)
        return static_cast<char16_t>(0x00C0 + (b - 0xA0));
    const std::uint8_t low = in.Next();
    return static_cast<char16_t>(low | in.Next() << 8);
}

// A selection the user may leave: anywhere within the text.
void Select(FakeView& view, std::uint8_t start, std::uint8_t length)
{
    view.start = start % (view.text.size() + 1);
    view.length = length % (view.text.size() - view.start + 1);
}

// A key as the window passes it: one character, a pair's two halves joined.
char32_t NextKey(Bytes& in)
{
    const char16_t unit = NextUnit(in);
    if (!vantrel::IsHighSurrogate(unit))
        return unit;
    const char16_t low = NextUnit(in);
    if (!vantrel::IsLowSurrogate(low))
        return unit;
    return vantrel::Characters(std::u16string{unit, low}).front();
}

// One key typed into the find field as the window handles it (FakeField),
// and what it must do: Enter searches for the field's text from the end of
// the match, any other key but Escape for the field's text with the key
// added, from its start. Escape is checked by the caller.
void TypeKey(FakeView& view, FakeField& field, char32_t key)
{
    const std::size_t selStart = view.start;
    const std::size_t selLength = view.length;
    const bool findNext = key == KeyEnter;
    std::u16string pattern = field.text;
    if (!findNext)
        vantrel::AppendCharacter(pattern, key);
    field.Type(view, key);
    if (key == KeyEscape) {
        FUZZ_CHECK(field.text.empty());
        return;
    }

    FUZZ_CHECK(view.start + view.length <= view.text.size());
    if (view.length > 0) {
        FUZZ_CHECK(vantrel::FoldCase(view.text.substr(view.start, view.length)) ==
                   vantrel::FoldCase(pattern));
        FUZZ_CHECK(!vantrel::IsSecondHalfOfPair(view.text, view.start));
    }
    const std::size_t from =
        (selStart > 0 || selLength > 0) ? selStart + (findNext ? selLength : 0) : 0;
    const std::size_t expected = PlainFind(view.text, pattern, from);
    if (expected == npos)
        FUZZ_CHECK(view.start == 0 && view.length == 0);
    else
        FUZZ_CHECK(view.start == expected && view.length == pattern.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Bytes in(data, size);
    FakeView view;
    for (std::size_t units = in.Next(); units > 0; --units)
        view.text += NextUnit(in);
    const std::u16string text = view.text;
    const std::uint8_t start = in.Next();
    Select(view, start, in.Next());

    // Folding changes a to z and nothing else, unit for unit.
    const std::u16string folded = vantrel::FoldCase(text);
    FUZZ_CHECK(folded.size() == text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        FUZZ_CHECK(folded[i] == (text[i] >= u'a' && text[i] <= u'z' ? text[i] - 32 : text[i]));

    // Operation bytes: below 0x80 that ASCII key (Backspace 8, Enter 13 and
    // Escape 27 among them); then, 32 codes each, Enter, Escape and a key
    // read as a unit; 8 codes each Backspace and Copy All; the last 16 a
    // click that leaves a new selection, from the next two bytes.
    FakeField field;
    while (!in.Empty()) {
        const std::uint8_t op = in.Next();
        if (op >= 0xF0) {
            const std::uint8_t clickStart = in.Next();
            Select(view, clickStart, in.Next());
        } else if (op >= 0xE8) {
            vantrel::CopyAll(view);
            FUZZ_CHECK(view.clipboard == text);
            FUZZ_CHECK(view.start == 0 && view.length == 0);
        } else {
            const char32_t key = op < 0x80 ? op
                               : op < 0xA0 ? KeyEnter
                               : op < 0xC0 ? KeyEscape
                               : op < 0xE0 ? NextKey(in)
                                           : U'\b';
            const std::size_t selStart = view.start;
            const std::size_t selLength = view.length;
            TypeKey(view, field, key);
            if (key == KeyEscape)
                FUZZ_CHECK(view.start == selStart && view.length == selLength);
        }
        // Neither the find nor Copy All changes the text.
        FUZZ_CHECK(view.text == text);
        FUZZ_CHECK(view.start + view.length <= view.text.size());
    }
    return 0;
}
