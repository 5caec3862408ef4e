#include "FindEdit_qt.h"

#include "Find.h"

#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>

#include <utility>

TFindEdit::TFindEdit(QWidget* parent, KeyPressHandler onKeyPress)
    : QLineEdit(parent), onKeyPress_(std::move(onKeyPress))
{
}

// A key pressed in the field: each character it makes goes to the key
// handler first.
void TFindEdit::keyPressEvent(QKeyEvent* event)
{
    // Keys that make no character (arrows, Home, End, Delete) and Tab, which
    // moves the focus, are the field's and the window's own.
    const int code = event->key();
    if (event->text().isEmpty() || code == Qt::Key_Tab || code == Qt::Key_Backtab || code == Qt::Key_Delete)
        return QLineEdit::keyPressEvent(event);
    // Alt with a letter that no accelerator of the window took (those never
    // reach the field) is no character here: neither typed nor searched.
    if (event->modifiers().testFlag(Qt::AltModifier))
        return;
    const std::u32string characters = vantrel::Characters(event->text().toStdU16String());
    if (characters.size() == 1) {
        char32_t key = characters.front();
        onKeyPress_(this, key);
        if (key != 0)
            QLineEdit::keyPressEvent(event);
        return;
    }
    // Several characters in one key event (a compose sequence can make
    // them): each is one key, and the field takes each before the next one
    // is looked at, exactly as if they had been typed one by one.
    for (const char32_t character : characters) {
        char32_t key = character;
        onKeyPress_(this, key);
        if (key != 0) {
            QKeyEvent one(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString::fromUcs4(&key, 1));
            QLineEdit::keyPressEvent(&one);
        }
    }
}

// Text from an input method (dead keys, compose, IBus, fcitx): what it
// commits is typed characters, handled one by one as keys are; a pre-edit
// string (text still being composed) searches nothing.
void TFindEdit::inputMethodEvent(QInputMethodEvent* event)
{
    if (event->commitString().isEmpty())
        return QLineEdit::inputMethodEvent(event);
    // The replacement of text around the caret that the input method asks
    // for goes with the first character the field takes.
    int replacementStart = event->replacementStart();
    int replacementLength = event->replacementLength();
    for (const char32_t character : vantrel::Characters(event->commitString().toStdU16String())) {
        char32_t key = character;
        onKeyPress_(this, key);
        if (key == 0)
            continue;
        QInputMethodEvent one;
        one.setCommitString(QString::fromUcs4(&key, 1), replacementStart, replacementLength);
        QLineEdit::inputMethodEvent(&one);
        replacementStart = replacementLength = 0;
    }
    // Then the pre-edit string that follows the commit, as the method sent it.
    QInputMethodEvent rest(event->preeditString(), event->attributes());
    rest.setCommitString(QString(), replacementStart, replacementLength);
    QLineEdit::inputMethodEvent(&rest);
}

// The focus coming other than by a mouse click (Tab, Shift+Tab, Alt+F, the
// window activated again) selects all the field's text; Qt's field would do
// so only for some of these, and only when none of it is selected. The
// focus coming back from the field's own context menu leaves it as the user
// left it.
void TFindEdit::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    if (event->reason() != Qt::MouseFocusReason && event->reason() != Qt::PopupFocusReason)
        selectAll();
}
