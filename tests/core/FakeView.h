// An output view and a find field in memory, for the find and Copy All tests
// and the fuzzer. The view's text is what AddLine and the test put there;
// positions count its UTF-16 units.
#pragma once

#include "Find.h"
#include "OutputView.h"

#include <algorithm>
#include <string>

class FakeView : public vantrel::OutputView {
public:
    void AddLine(std::u16string_view line) override
    {
        text.append(line);
        text += u'\n';
    }
    std::u16string Text() const override { return text; }
    std::size_t SelStart() const override { return start; }
    std::size_t SelLength() const override { return length; }
    void SetSelStart(std::size_t s) override
    {
        start = std::min(s, text.size());
        length = 0;
    }
    void SetSelLength(std::size_t l) override { length = std::min(l, text.size() - start); }
    void CopySelection() override { clipboard = text.substr(start, length); }

    std::u16string text;
    std::size_t start = 0;
    std::size_t length = 0;
    std::u16string clipboard;
};

// A find field in memory: each key goes through the field's key handler,
// then the field does with it what a single-line field does when its caret
// stands at the end (Enter adds nothing, Backspace takes the last unit).
struct FakeField : vantrel::FindField {
    std::u16string Text() const override { return text; }
    void Clear() override { text.clear(); }

    void Type(vantrel::OutputView& view, char32_t key)
    {
        vantrel::FindTextKeyPress(*this, view, key);
        if (key == u'\b') {
            if (!text.empty())
                text.pop_back();
        } else if (key != 0 && key != vantrel::KeyEnter) {
            vantrel::AppendCharacter(text, key);
        }
    }

    std::u16string text;
};
