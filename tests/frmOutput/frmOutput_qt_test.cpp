// The output window on Qt's offscreen platform: start-up state, the find
// driven by real key events and input method text, Copy All, keyboard
// navigation, focus, accessible names, exact characters and layout.
#include "Find.h"
#include "Layout.h"
#include "frmOutput_qt.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFontInfo>
#include <QFontMetrics>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>

#include <memory>


namespace {

struct Selection {
    int start;
    int length;
};

Selection SelectionOf(const QPlainTextEdit* view)
{
    const QTextCursor cursor = view->textCursor();
    return {cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart()};
}

// Types each character of the text as one key event carrying it, as a
// keyboard layout that has the character would (QTest types ASCII only).
void Type(QWidget* widget, const QString& text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
    }
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Tfrm_Output> frm;

    // Start-up as the program does it: the text as the child's UTF-8 bytes,
    // added as one line, shown, caret home.
    void Open(const QString& output)
    {
        frm = std::make_unique<Tfrm_Output>();
        vantrel::ShowOutput(frm->View(), ShownText(output.toUtf8().toStdString()), [&] { frm->show(); });
        QVERIFY(QTest::qWaitForWindowActive(frm.get()));
    }

private slots:
    void cleanup() { frm.reset(); }

    void startUpState()
    {
        Open("Error, error, ERROR");
        QCOMPARE(frm->re_Output->toPlainText(), QString("Error, error, ERROR\n"));
        QCOMPARE(frm->re_Output->textCursor().position(), 0);
        QVERIFY(!frm->re_Output->textCursor().hasSelection());
        QCOMPARE(QApplication::focusWidget(), frm->e_FindText);
        QCOMPARE(frm->e_FindText->text(), QString());
        QCOMPARE(frm->windowTitle(), QString("Vantrel"));
    }

    void findByKeys_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<QTestEventList>("keys");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("field");

        QTestEventList typed;
        typed.addKeyClicks("error");
        QTest::newRow("typing selects the first") << "Error, error, ERROR" << typed << 0 << 5 << "error";
        QTestEventList enter = typed;
        enter.addKeyClick(Qt::Key_Return);
        QTest::newRow("Enter steps to the next") << "Error, error, ERROR" << enter << 7 << 5 << "error";
        // The find's own steps are the core test's; here each kind of key
        // reaches the field's handler through Qt's events.
        QTestEventList keypad = typed;
        keypad.addKeyClick(Qt::Key_Enter, Qt::KeypadModifier);
        QTest::newRow("the keypad's Enter steps too") << "Error, error, ERROR" << keypad << 7 << 5 << "error";

        QTestEventList escape = enter;
        escape.addKeyClick(Qt::Key_Escape);
        QTest::newRow("Escape empties the field only") << "Error, error, ERROR" << escape << 7 << 5 << "";
        QTestEventList backspace;
        backspace.addKeyClicks("err");
        backspace.addKeyClick(Qt::Key_Backspace);
        QTest::newRow("Backspace is searched for") << "Error, error" << backspace << 0 << 0 << "er";
        QTestEventList moves = typed;
        for (const auto key : {Qt::Key_Left, Qt::Key_Home, Qt::Key_End, Qt::Key_Delete})
            moves.addKeyClick(key);
        QTest::newRow("keys without a character make no search") << "Error, error" << moves << 0 << 5 << "error";
        QTestEventList alt = typed;
        alt.addKeyClick(Qt::Key_X, Qt::AltModifier);
        QTest::newRow("Alt with a letter is neither typed nor searched") << "Error, errorx" << alt << 0 << 5 << "error";
    }

    // Text that reaches the field other than as one key event per character:
    // each step is "key TEXT" (one key event carrying TEXT), "commit TEXT"
    // or "preedit TEXT" (an input method's event), or "select all" (in the
    // field). Every character must search as a typed one does, in order,
    // each seeing the field's text with the characters before it applied.
    void charactersFromAnywhere_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("field");

        QTest::newRow("a character outside 16 bits is one key")
            << "a \U0001F600 b" << QStringList{"key \U0001F600"} << 2 << 2 << "\U0001F600";
        QTest::newRow("a committed character searches; a pre-edit does not")
            << "cafe caf\u00e9" << QStringList{"key c", "key a", "commit f", "preedit \u00e9"} << 0 << 3 << "caf";
        QTest::newRow("a commit after typing")
            << "cafe caf\u00e9" << QStringList{"key c", "key a", "key f", "commit \u00e9"} << 5 << 4 << "caf\u00e9";
        // With "xyz" selected, "a" searches "xyza" (nothing: caret home) and
        // replaces the selection; then "b" searches "ab" from the start.
        QTest::newRow("each committed character sees those before it")
            << "ab xyz ab" << QStringList{"key x", "key y", "key z", "select all", "commit ab"} << 0 << 2 << "ab";
        QTest::newRow("each character of one key event sees those before it")
            << "ab xyz ab" << QStringList{"key x", "key y", "key z", "select all", "key ab"} << 0 << 2 << "ab";
        QTest::newRow("a pair among other committed characters")
            << "x\U0001F600 \U0001F600x" << QStringList{"commit \U0001F600x"} << 4 << 3 << "\U0001F600x";
    }

    void charactersFromAnywhere()
    {
        QFETCH(QString, output);
        QFETCH(QStringList, steps);
        Open(output);
        for (const QString& step : steps) {
            const QString text = step.section(' ', 1);
            if (step.startsWith("key ")) {
                QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
                QApplication::sendEvent(frm->e_FindText, &press);
            } else if (step.startsWith("commit ")) {
                QInputMethodEvent commit;
                commit.setCommitString(text);
                QApplication::sendEvent(frm->e_FindText, &commit);
            } else if (step.startsWith("preedit ")) {
                QInputMethodEvent preedit(text, {});
                QApplication::sendEvent(frm->e_FindText, &preedit);
            } else {
                frm->e_FindText->selectAll();
            }
        }
        QFETCH(int, start);
        QFETCH(int, length);
        QCOMPARE(SelectionOf(frm->re_Output).start, start);
        QCOMPARE(SelectionOf(frm->re_Output).length, length);
        QFETCH(QString, field);
        QCOMPARE(frm->e_FindText->text(), field);
    }

    void findByKeys()
    {
        QFETCH(QString, output);
        QFETCH(QTestEventList, keys);
        Open(output);
        keys.simulate(frm->e_FindText);
        const Selection selection = SelectionOf(frm->re_Output);
        QFETCH(int, start);
        QFETCH(int, length);
        QCOMPARE(selection.start, start);
        QCOMPARE(selection.length, length);
        QFETCH(QString, field);
        QCOMPARE(frm->e_FindText->text(), field);
    }

    void matchStaysVisibleWithoutFocus()
    {
        Open("Error, error");
        QTest::keyClicks(frm->e_FindText, "err");
        const QPalette palette = frm->re_Output->palette();
        QCOMPARE(palette.color(QPalette::Inactive, QPalette::Highlight),
                 palette.color(QPalette::Active, QPalette::Highlight));
        QVERIFY(palette.color(QPalette::Inactive, QPalette::Highlight) != palette.color(QPalette::Base));
    }

    void copyAll()
    {
        Open("Error, error, ERROR");
        QTest::keyClicks(frm->e_FindText, "error");
        QTest::keyClick(frm->e_FindText, Qt::Key_Return);
        QTest::mouseClick(frm->btn_Copy, Qt::LeftButton);
        QCOMPARE(QApplication::clipboard()->text(), QString("Error, error, ERROR\n"));
        QCOMPARE(SelectionOf(frm->re_Output).start, 0);
        QCOMPARE(SelectionOf(frm->re_Output).length, 0);
        // The match is gone: the next Enter starts from the beginning.
        QTest::keyClick(frm->e_FindText, Qt::Key_Return);
        QCOMPARE(SelectionOf(frm->re_Output).start, 0);
        QCOMPARE(SelectionOf(frm->re_Output).length, 5);
    }

    void userEditsAreCopiedAndSearched()
    {
        Open("first");
        frm->re_Output->setFocus();
        QTest::keyClick(frm->re_Output, Qt::Key_End);
        QTest::keyClick(frm->re_Output, Qt::Key_Return);
        QTest::keyClicks(frm->re_Output, "Zed");
        QTest::keyClick(frm.get(), Qt::Key_C, Qt::AltModifier);
        // A mnemonic animates the click: the copy follows a moment later.
        QTRY_COMPARE(QApplication::clipboard()->text(), QString("first\nZed\n"));
        QTest::keyClick(frm.get(), Qt::Key_F, Qt::AltModifier);
        QTest::keyClicks(frm->e_FindText, "zed");
        QCOMPARE(SelectionOf(frm->re_Output).start, 6);
        QCOMPARE(SelectionOf(frm->re_Output).length, 3);
    }

    // The find field selects all its text whenever the focus comes other
    // than by a mouse click, even where part of it was selected before.
    void focusSelectsTheWholeField_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Tab from the view") << "tab";
        QTest::newRow("Shift+Tab from the button") << "backtab";
        QTest::newRow("Alt+F") << "alt+f";
        QTest::newRow("the window activated again") << "activation";
    }

    void focusSelectsTheWholeField()
    {
        QFETCH(QString, how);
        Open("text");
        QTest::keyClicks(frm->e_FindText, "abc");
        if (how == "activation") {
            frm->e_FindText->setSelection(1, 1);
            QWidget other;
            other.show();
            other.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&other));
            frm->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(frm.get()));
        } else {
            QWidget* from = how == "backtab" ? static_cast<QWidget*>(frm->btn_Copy) : frm->re_Output;
            from->setFocus();
            frm->e_FindText->setSelection(1, 1);
            if (how == "alt+f")
                QTest::keyClick(from, Qt::Key_F, Qt::AltModifier);
            else
                QTest::keyClick(from, how == "tab" ? Qt::Key_Tab : Qt::Key_Backtab,
                                how == "tab" ? Qt::NoModifier : Qt::ShiftModifier);
        }
        QCOMPARE(QApplication::focusWidget(), frm->e_FindText);
        QCOMPARE(frm->e_FindText->selectedText(), QString("abc"));
    }

    void enterPressesTheFocusedButton()
    {
        for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
            Open("Error, error");
            QApplication::clipboard()->clear();
            QTest::keyClick(frm->e_FindText, Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), frm->btn_Copy);
            QTest::keyClick(frm->btn_Copy, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
            QCOMPARE(QApplication::clipboard()->text(), QString("Error, error\n"));
        }
    }

    void accessibleNames()
    {
        Open("x");
        const struct {
            QWidget* widget;
            const char* name;
            QAccessible::Role role;
        } controls[] = {
            {frm->re_Output, "Output", QAccessible::EditableText},
            {frm->e_FindText, "Find:", QAccessible::EditableText},
            {frm->btn_Copy, "Copy All", QAccessible::Button},
            {frm.get(), "Vantrel", QAccessible::Window},  // a frame to screen readers
        };
        for (const auto& control : controls) {
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control.widget);
            QVERIFY2(accessible, control.name);
            QCOMPARE(accessible->text(QAccessible::Name), QString(control.name));
            QCOMPARE(accessible->role(), control.role);
        }
    }

    // What the child wrote is what the view reads back, copies and finds:
    // a no-break space stays one, the separators and noncharacters stay
    // themselves and break no line, at the positions the selection counts;
    // neither U+FEFF nor U+FFFE first is taken for a byte-order mark.
    void exactCharacters_data()
    {
        QTest::addColumn<QString>("first");
        QTest::newRow("a letter first") << "a";
        QTest::newRow("U+FEFF first") << "\ufeff";
        QTest::newRow("U+FFFE first") << "\ufffe";
    }

    // The command's bytes as the view shows them: what is not UTF-8 shows as
    // U+FFFD, one for each byte, an unfinished character at the end too,
    // wherever the 8192-byte cut falls.
    void shownText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("two bytes of three at the end") << QByteArray("abc\xe2\x82") << QString("abc\ufffd\ufffd");
        QTest::newRow("three bytes of four at the end")
            << QByteArray("abc\xf0\x9f\x98") << QString("abc\ufffd\ufffd\ufffd");
        QTest::newRow("the cut after a character's first byte")
            << QByteArray(8191, 'x') + "\xe2" << QString(8191, 'x') + QChar(0xfffd);
    }

    void shownText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        QCOMPARE(QString::fromStdU16String(ShownText(bytes.toStdString())), shown);
    }

    void exactCharacters()
    {
        // A sign the view uses as a stand-in, written by the child, stays too.
        QFETCH(QString, first);
        const QString output = first + "\u00a0b\u2028c\u2029d\ufdd0e\ufdd1f \u21b5\u00b6\u25a1";
        Open(output);
        QCOMPARE(frm->View().Text(), (output + "\n").toStdU16String());
        QCOMPARE(frm->re_Output->document()->blockCount(), 2);
        QCOMPARE(frm->re_Output->document()->firstBlock().layout()->lineCount(), 1);

        QTest::mouseClick(frm->btn_Copy, Qt::LeftButton);
        QCOMPARE(QApplication::clipboard()->text(), output + "\n");

        // The find compares the characters themselves, at their positions.
        QTest::keyClicks(frm->e_FindText, "a ");
        QCOMPARE(SelectionOf(frm->re_Output).length, 0);
        QTest::keyClick(frm->e_FindText, Qt::Key_Escape);
        for (int at = 0; at < output.size(); ++at) {
            char32_t key = output[at].unicode();
            frm->e_FindTextKeyPress(frm->e_FindText, key);
            QCOMPARE(SelectionOf(frm->re_Output).start, at);
            QCOMPARE(SelectionOf(frm->re_Output).length, 1);
            frm->re_Output->setFocus();
            QTest::keySequence(frm->re_Output, QKeySequence::Copy);
            QCOMPARE(QApplication::clipboard()->text(), output.mid(at, 1));
            frm->View().SetSelStart(0);
        }

        // Pasted back, typed next to, and both kept: the characters, their
        // stand-ins and what the user typed after one.
        QTextCursor afterStandIn = frm->re_Output->textCursor();
        afterStandIn.setPosition(4);
        frm->re_Output->setTextCursor(afterStandIn);
        Type(frm->re_Output, "\u21b5x");
        QApplication::clipboard()->setText(output);
        QTest::keySequence(frm->re_Output, QKeySequence::Paste);
        QCOMPARE(frm->View().Text(), (output.left(4) + "\u21b5x" + output + output.mid(4) + "\n").toStdU16String());
    }

    void keyboardNavigation()
    {
        Open("text");
        QTest::keyClicks(frm->e_FindText, "abc");
        frm->re_Output->setFocus();
        // Alt+F from anywhere puts the focus in the field with its text selected.
        QTest::keyClick(frm.get(), Qt::Key_F, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), frm->e_FindText);
        QCOMPARE(frm->e_FindText->selectedText(), QString("abc"));
        // Tab order: view, field, button, and round again. Tab leaves the view.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), frm->btn_Copy);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), frm->re_Output);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), frm->e_FindText);
        QCOMPARE(frm->e_FindText->selectedText(), QString("abc"));
        QCOMPARE(frm->re_Output->toPlainText(), QString("text\n"));
    }

    // The rules are the core's (LayOut); the window applies them to its
    // controls at the design size and after each resize.
    void layoutAndAnchoring()
    {
        Open("x");
        QCOMPARE(frm->size(), QSize(660, 566));
        const auto rect = [](const vantrel::layout::Box& box) {
            return QRect(box.left, box.top, box.width, box.height);
        };
        for (const QSize size : {QSize(660, 566), QSize(760, 666), QSize(500, 300)}) {
            frm->resize(size);
            const auto placed = vantrel::layout::LayOut(size.width(), size.height());
            QCOMPARE(frm->re_Output->geometry(), rect(placed.view));
            QCOMPARE(frm->Panel1->geometry(), rect(placed.panel));
            QCOMPARE(frm->e_FindText->geometry(), rect(placed.field));
            QCOMPARE(frm->btn_Copy->geometry(), rect(placed.button));
            QCOMPARE(frm->Label1->pos(), rect(placed.label).topLeft());
        }
        // Wider than designed only where the desktop's font needs it.
        QVERIFY(frm->Label1->width() >= frm->Label1->sizeHint().width());
    }

    void look()
    {
        Open("x");
        const QPalette view = frm->re_Output->palette();
        QCOMPARE(view.color(QPalette::Base), QColor(0, 0, 0));
        QCOMPARE(view.color(QPalette::Text), QColor(0, 255, 0));
        const QFontMetrics metrics(frm->re_Output->font());
        QCOMPARE(metrics.horizontalAdvance('i'), metrics.horizontalAdvance('W'));
        QCOMPARE(QFontInfo(frm->re_Output->font()).pixelSize(), 11);
        const QPalette field = frm->e_FindText->palette();
        QCOMPARE(field.color(QPalette::Base), QColor(0, 0, 0));
        QCOMPARE(field.color(QPalette::Text), QColor(0, 255, 255));
        QCOMPARE(frm->Label1->text(), QString("&Find:"));
        QCOMPARE(frm->btn_Copy->text(), QString("&Copy All"));
        QCOMPARE(frm->btn_Copy->toolTip(), QString("Copy All of the above to the clipboard."));
    }
};

QTEST_MAIN(WindowTest)
#include "frmOutput_qt_test.moc"
