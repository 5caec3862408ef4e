// The find field on Qt 6 Widgets: a line edit that offers every character
// typed into it, or committed to it by an input method, to its key handler
// first, one whole character at a time, before it applies it; and that
// selects all its text whenever the focus comes other than by a mouse click.
// The key handler reads and empties it as a FindField.
#pragma once

#include "Find.h"

#include <QLineEdit>

#include <functional>

class TFindEdit : public QLineEdit, public vantrel::FindField {
public:
    // Called with the field and one character; setting the character to 0
    // keeps the field from applying it.
    using KeyPressHandler = std::function<void(QObject* sender, char32_t& key)>;

    TFindEdit(QWidget* parent, KeyPressHandler onKeyPress);

    std::u16string Text() const override { return text().toStdU16String(); }
    void Clear() override { clear(); }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    KeyPressHandler onKeyPress_;
};
