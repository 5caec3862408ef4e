// Find in the output view, the find field's keys and Copy All, written once
// against OutputView and FindField. No platform headers: each window adapts
// its own controls to these rules.
#pragma once

#include "Characters.h"
#include "OutputView.h"

#include <string>
#include <string_view>

namespace vantrel {

// Searches the view for the pattern and selects the first occurrence, ignoring
// the case of a to z. The search starts at the current selection's start, or
// at its end when findNext is true; with the caret at 0 and nothing selected
// it starts at 0. When nothing is found the caret goes to 0 with nothing
// selected. A match never begins on the second half of a surrogate pair.
// Its cost grows with the length of the text searched, whatever the pattern.
void FindInOutput(OutputView& view, std::u16string_view pattern, bool findNext);

// Copy All: selects the view's whole text, copies it to the clipboard and
// leaves the caret at the start with nothing selected.
void CopyAll(OutputView& view);

// What one character typed into the find field asks for.
struct FindKeyAction {
    bool clearField = false;     // Escape: empty the field, swallow the key, no search
    std::u16string pattern;      // otherwise: search for this...
    bool findNext = false;       // ...from the end (Enter) or the start of the selection
};

// The find field's key rules: Enter searches for the field's text from the
// end of the current match; Escape empties the field; any other character is
// appended to the field's whole text (wherever the field's caret stands) and
// searched for from the start of the current match. All but Escape then reach
// the field unchanged. A key is one whole character: one outside the 16-bit
// range is appended as its surrogate pair; a lone surrogate (as a window that
// gets a pair in two halves passes it) is appended as itself.
FindKeyAction FindKeyRule(std::u16string_view fieldText, char32_t key);

inline constexpr char32_t KeyEnter = 13;
inline constexpr char32_t KeyEscape = 27;

// The find field as its key handler reads and empties it; each window
// adapts its own single-line field.
class FindField {
public:
    virtual std::u16string Text() const = 0;
    virtual void Clear() = 0;

protected:
    ~FindField() = default;
};

// The find field's key handler (e_FindTextKeyPress) on every platform: one
// whole character typed into the field, before the field applies it, goes
// through FindKeyRule with the field's whole text. Escape empties the field
// and sets key to 0, so that the field never sees it; every other key
// searches the view and reaches the field unchanged.
void FindTextKeyPress(FindField& field, OutputView& view, char32_t& key);

} // namespace vantrel
