// The find and Copy All, driven through the find field's key rules against a
// view in memory, the way the window drives them.
#include "FakeView.h"
#include "Find.h"
#include "PlainFind.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

struct Step {
    char32_t key;
    std::size_t start;   // the view's selection after the key
    std::size_t length;
};

constexpr char32_t Enter = vantrel::KeyEnter;
constexpr char32_t Escape = vantrel::KeyEscape;

// Types the keys into an empty field over a view holding `output` plus one
// line break (as start-up leaves it) and checks the selection after each key.
void ExpectSteps(const std::u16string& output, const std::vector<Step>& steps,
                 std::size_t startAt = 0, std::size_t lengthAt = 0)
{
    FakeView view;
    view.AddLine(output);
    view.start = startAt;
    view.length = lengthAt;
    FakeField field;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        field.Type(view, steps[i].key);
        EXPECT_EQ(view.start, steps[i].start) << "after key " << i << " (code " << int(steps[i].key) << ")";
        EXPECT_EQ(view.length, steps[i].length) << "after key " << i << " (code " << int(steps[i].key) << ")";
    }
}

} // namespace

TEST(Find, TypingStaysOnAMatchAndEnterStepsThroughTheOthers)
{
    ExpectSteps(u"Error, error, ERROR",
                {{u'e', 0, 1}, {u'r', 0, 2}, {u'r', 0, 3}, {u'o', 0, 4}, {u'r', 0, 5},
                 {Enter, 7, 5}, {Enter, 14, 5},
                 {Enter, 0, 0},   // after the last one the caret goes home...
                 {Enter, 0, 5}}); // ...and the next Enter starts again
}

TEST(Find, OccurrencesDoNotOverlap)
{
    ExpectSteps(u"aaaa", {{u'a', 0, 1}, {u'a', 0, 2}, {Enter, 2, 2}, {Enter, 0, 0}, {Enter, 0, 2}});
}

TEST(Find, AGrowingPatternMovesOnOnlyWhenTheMatchStopsMatching)
{
    ExpectSteps(u"abx abc abd", {{u'a', 0, 1}, {u'b', 0, 2}, {u'c', 4, 3}, {u'z', 0, 0}});
}

TEST(Find, KeysThatFindNothing)
{
    // Enter with an empty field, a Backspace (searched for like any other
    // character), a control character such as the one Ctrl+V makes first.
    ExpectSteps(u"one two", {{u't', 4, 1}, {Enter, 0, 0}});
    ExpectSteps(u"one two", {{u'o', 0, 1}, {u'\b', 0, 0}, {u'w', 5, 1}});
    ExpectSteps(u"one two", {{u'n', 1, 1}, {0x16, 0, 0}});
    // An empty view and a pattern longer than the text never match.
    ExpectSteps(u"", {{u'a', 0, 0}, {Enter, 0, 0}});
    ExpectSteps(u"ab", {{u'a', 0, 1}, {u'b', 0, 2}, {u'c', 0, 0}});
}

TEST(Find, EscapeEmptiesTheFieldAndKeepsTheSelection)
{
    FakeView view;
    view.AddLine(u"alpha beta");
    FakeField field;
    field.text = u"bet";
    view.start = 6;
    view.length = 3;
    field.Type(view, Escape);
    EXPECT_EQ(field.text, u"");
    EXPECT_EQ(view.start, 6u);
    EXPECT_EQ(view.length, 3u);
    // The next search starts from the selection that was left highlighted.
    field.Type(view, u'a');
    EXPECT_EQ(view.start, 9u);
    EXPECT_EQ(view.length, 1u);
}

TEST(Find, SearchesFromTheCaretOrSelectionTheUserLeft)
{
    // A click puts the caret at 8: the key searches from there.
    ExpectSteps(u"abc abc abc", {{u'a', 8, 1}}, 8, 0);
    // A match that lies before the selection is not found by a key press; the
    // next key press then searches the whole text.
    ExpectSteps(u"xyz abc", {{u'x', 0, 0}, {u'y', 0, 2}}, 4, 3);
    // A selection at the very end leaves nothing to search.
    ExpectSteps(u"ab", {{u'a', 0, 0}}, 3, 0);
}

TEST(Find, FoldsOnlyAToZ)
{
    EXPECT_EQ(vantrel::FoldCase(u"`az{@AZ[\u00e4\u00df\u00e9"), u"`AZ{@AZ[\u00e4\u00df\u00e9");
    ExpectSteps(u"\u00c9t\u00e9", {{u'\u00e9', 2, 1}});                 // é finds é, not É
    ExpectSteps(u"x STRA\u00dfE", {{u's', 2, 1}, {u't', 2, 2}, {u'r', 2, 3},
                                   {u'a', 2, 4}, {u'\u00df', 2, 5}, {u'e', 2, 6}});
}

TEST(Find, NeverStartsAMatchInsideASurrogatePair)
{
    // U+1F600 is the pair D83D DE00; a lone DE00 after it stands on its own.
    const std::u16string text = u"\U0001F600 \xDE00";
    FakeView view;
    view.AddLine(text);
    vantrel::FindInOutput(view, u"\xDE00", false);
    EXPECT_EQ(view.start, 3u);
    EXPECT_EQ(view.length, 1u);

    FakeView pairOnly;
    pairOnly.AddLine(u"\U0001F600");
    vantrel::FindInOutput(pairOnly, u"\xDE00", false);
    EXPECT_EQ(pairOnly.start, 0u);
    EXPECT_EQ(pairOnly.length, 0u);
    vantrel::FindInOutput(pairOnly, u"\U0001F600", false);
    EXPECT_EQ(pairOnly.length, 2u);
}

// The search against the plain one (PlainFind.h) where a search that does
// not compare the whole pattern at every position can go wrong: patterns that
// almost occur everywhere, that overlap themselves, that are long, that meet
// surrogate pairs only where a match may not begin, and every start position.
TEST(Find, AgreesWithThePlainSearchOnLongAndAdversarialPatterns)
{
    const auto times = [](std::u16string_view piece, std::size_t n) {
        std::u16string text;
        for (std::size_t i = 0; i < n; ++i)
            text += piece;
        return text;
    };
    const std::u16string a999b = times(u"a", 999) + u"b";
    const std::u16string smiles = times(u"\U0001F600", 2000);
    struct Case {
        const char* name;
        std::u16string text;
        std::u16string pattern;
    } cases[] = {
        {"1,000 characters that almost match everywhere", times(u"a", 20000), a999b},
        {"...and occur once at the end", times(u"a", 20000) + u"B", a999b},
        {"a periodic pattern", times(u"ab", 5000) + u"abc", times(u"ab", 700) + u"c"},
        {"a pattern overlapping itself", times(u"aab", 3000) + u"aabaabaac", u"aabaabaac"},
        {"partial matches falling back several times", u"abacabadabacabae abacabadabacabad", u"abacabadabacabad"},
        {"folded, in mixed case", times(u"ErRoR, ", 2000) + u"eRrOr!", times(u"error, ", 1500) + u"ERROR!"},
        {"every occurrence inside surrogate pairs", smiles, times(u"\xDE00\xD83D", 300) + u"\xDE00"},
        {"...until a lone half stands on its own", smiles + u"\xDE00\xD83D\xDE00", u"\xDE00\xD83D\xDE00"},
        {"a whole pair among lone halves", u"\xDE00\xD83D\xD83D\xDE00", u"\xD83D\xDE00"},
        {"longer than the text", u"abc", u"abcd"},
        {"the whole text", u"abc", u"ABC"},
        {"an empty text", u"", u"a"},
    };
    for (const Case& c : cases) {
        for (const std::size_t from : {std::size_t{0}, std::size_t{1}, std::size_t{2}, c.text.size() / 2,
                                       c.text.size() - std::min<std::size_t>(c.text.size(), 2)}) {
            FakeView view;
            view.text = c.text;
            view.start = from;
            vantrel::FindInOutput(view, c.pattern, false);
            const std::size_t expected = PlainFind(c.text, c.pattern, from);
            if (expected == std::u16string::npos) {
                EXPECT_EQ(view.start, 0u) << c.name << ", from " << from;
                EXPECT_EQ(view.length, 0u) << c.name << ", from " << from;
            } else {
                EXPECT_EQ(view.start, expected) << c.name << ", from " << from;
                EXPECT_EQ(view.length, c.pattern.size()) << c.name << ", from " << from;
            }
        }
    }
}

// Many small texts and patterns over an alphabet of a few units (letters in
// both cases, both halves of a pair), where every kind of partial match and
// fall-back occurs: the search must agree with the plain one on each.
TEST(Find, AgreesWithThePlainSearchOnSmallAlphabets)
{
    const char16_t alphabet[] = {u'a', u'A', u'b', 0xD83D, 0xDE00};
    std::mt19937 random(8);
    const auto draw = [&](std::size_t maxLength) {
        std::u16string text(random() % (maxLength + 1), u' ');
        for (char16_t& c : text)
            c = alphabet[random() % std::size(alphabet)];
        return text;
    };
    for (int round = 0; round < 20000; ++round) {
        const std::u16string text = draw(24);
        const std::u16string pattern = draw(round % 2 ? 3 : 8);
        const std::size_t from = random() % (text.size() + 1);
        FakeView view;
        view.text = text;
        view.start = from;
        vantrel::FindInOutput(view, pattern, false);
        const std::size_t expected = PlainFind(text, pattern, from);
        const std::size_t start = expected == std::u16string::npos ? 0 : expected;
        const std::size_t length = expected == std::u16string::npos ? 0 : pattern.size();
        ASSERT_TRUE(view.start == start && view.length == length) << "round " << round << ", from " << from;
    }
}

TEST(Find, ACharacterOutsideTheSixteenBitRangeIsOneKey)
{
    // Typed after "a", U+1F600 is searched for whole: one search, one match.
    ExpectSteps(u"b\U0001F600 a\U0001F600", {{u'a', 4, 1}, {U'\U0001F600', 4, 3}});
    ExpectSteps(u"x \U0001F600", {{U'\U0001F600', 2, 2}, {Enter, 0, 0}, {Enter, 2, 2}});
}

// A key is one whole character: its UTF-16 form is appended to the pattern.
TEST(Characters, AKeyIsAppendedAsItsWholeUtf16Form)
{
    const struct {
        char32_t key;
        std::u16string appended;
    } rows[] = {
        {U'x', u"x"},
        {U'\u00e9', u"\u00e9"},
        {U'\U0001F600', u"\xD83D\xDE00"},  // both halves of the pair
        {U'\U0010FFFF', u"\xDBFF\xDFFF"},
        {0xD83D, u"\xD83D"},                  // a lone half, as Windows passes it
        {0x110000, u"\uFFFD"},                // no Unicode character
    };
    for (const auto& row : rows) {
        std::u16string pattern = u"err";
        vantrel::AppendCharacter(pattern, row.key);
        EXPECT_EQ(pattern, u"err" + row.appended) << "key " << std::hex << std::uint32_t(row.key);
    }
}

TEST(Characters, APairIsOneCharacterALoneHalfStandsForItself)
{
    EXPECT_EQ(vantrel::Characters(u"a\U0001F600b"), std::u32string(U"a\U0001F600b"));
    EXPECT_EQ(vantrel::Characters(u"\xDE00\xD83D"), (std::u32string{0xDE00, 0xD83D}));
    EXPECT_EQ(vantrel::Characters(u"\xD83Dx\xD83D"), (std::u32string{0xD83D, U'x', 0xD83D}));
    EXPECT_EQ(vantrel::Characters(u""), std::u32string());
}

TEST(CopyAll, CopiesTheWholeTextAndLeavesNoSelection)
{
    FakeView view;
    view.AddLine(u"Error, error, ERROR");
    view.text.insert(0, u"typed by the user ");
    FakeField field;
    field.text = u"erro";
    field.Type(view, u'r');
    field.Type(view, Enter);
    ASSERT_EQ(view.length, 5u);

    vantrel::CopyAll(view);
    EXPECT_EQ(view.clipboard, u"typed by the user Error, error, ERROR\n");
    EXPECT_EQ(view.start, 0u);
    EXPECT_EQ(view.length, 0u);
    // The match is gone, so the next Enter starts from the beginning again.
    field.Type(view, Enter);
    EXPECT_EQ(view.start, 18u);
    EXPECT_EQ(view.length, 5u);
}

TEST(ShowOutput, ShowsTheTextWithTheCaretAtTheStart)
{
    // A view whose caret was left elsewhere, as a text control leaves it at
    // the end of what was added.
    FakeView view;
    view.text = u"old";
    view.start = 2;
    view.length = 1;
    std::u16string shownWith;
    vantrel::ShowOutput(view, u"out", [&] { shownWith = view.text; });
    EXPECT_EQ(shownWith, u"oldout\n");
    EXPECT_EQ(view.start, 0u);
    EXPECT_EQ(view.length, 0u);
}
