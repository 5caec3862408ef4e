// The find and Copy All, driven through the find field's key rules against a
// view in memory, the way the window drives them.
#include "FakeView.h"
#include "Find.h"

#include <gtest/gtest.h>

#include <vector>

using vantrel::FindKeyRule;

namespace {

// A find field in memory: applies the key rules, then does with the key what
// a single-line field does with it when the caret stands at the end.
struct Typist {
    FakeView& view;
    std::u16string field;

    void Type(char16_t key)
    {
        const vantrel::FindKeyAction action = FindKeyRule(field, key);
        if (action.clearField) {
            field.clear();
            return;
        }
        vantrel::FindInOutput(view, action.pattern, action.findNext);
        if (key == u'\b') {
            if (!field.empty())
                field.pop_back();
        } else if (key != vantrel::KeyEnter) {
            field += key;
        }
    }
};

struct Step {
    char16_t key;
    std::size_t start;   // the view's selection after the key
    std::size_t length;
};

constexpr char16_t Enter = vantrel::KeyEnter;
constexpr char16_t Escape = vantrel::KeyEscape;

// Types the keys into an empty field over a view holding `output` plus one
// line break (as start-up leaves it) and checks the selection after each key.
void ExpectSteps(const std::u16string& output, const std::vector<Step>& steps,
                 std::size_t startAt = 0, std::size_t lengthAt = 0)
{
    FakeView view;
    view.AddLine(output);
    view.start = startAt;
    view.length = lengthAt;
    Typist typist{view, {}};
    for (std::size_t i = 0; i < steps.size(); ++i) {
        typist.Type(steps[i].key);
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
    Typist typist{view, u"bet"};
    view.start = 6;
    view.length = 3;
    typist.Type(Escape);
    EXPECT_EQ(typist.field, u"");
    EXPECT_EQ(view.start, 6u);
    EXPECT_EQ(view.length, 3u);
    // The next search starts from the selection that was left highlighted.
    typist.Type(u'a');
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

TEST(FindKeyRule, AppendsToTheWholeFieldText)
{
    // Whatever is selected in the field, the key is appended to all of it.
    EXPECT_EQ(FindKeyRule(u"err", u'x').pattern, u"errx");
    EXPECT_FALSE(FindKeyRule(u"err", u'x').findNext);
    EXPECT_EQ(FindKeyRule(u"err", Enter).pattern, u"err");
    EXPECT_TRUE(FindKeyRule(u"err", Enter).findNext);
    EXPECT_TRUE(FindKeyRule(u"err", Escape).clearField);
    EXPECT_FALSE(FindKeyRule(u"err", u'\b').clearField);
}

TEST(CopyAll, CopiesTheWholeTextAndLeavesNoSelection)
{
    FakeView view;
    view.AddLine(u"Error, error, ERROR");
    view.text.insert(0, u"typed by the user ");
    Typist typist{view, u"erro"};
    typist.Type(u'r');
    typist.Type(Enter);
    ASSERT_EQ(view.length, 5u);

    vantrel::CopyAll(view);
    EXPECT_EQ(view.clipboard, u"typed by the user Error, error, ERROR\n");
    EXPECT_EQ(view.start, 0u);
    EXPECT_EQ(view.length, 0u);
    // The match is gone, so the next Enter starts from the beginning again.
    typist.Type(Enter);
    EXPECT_EQ(view.start, 18u);
    EXPECT_EQ(view.length, 5u);
}
