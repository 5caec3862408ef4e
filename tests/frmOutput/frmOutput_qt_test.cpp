// The output window on Qt's offscreen platform: start-up state, the find
// driven by real key events, Copy All, keyboard navigation and layout.
#include "Find.h"
#include "frmOutput_qt.h"

#include <QApplication>
#include <QClipboard>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>

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

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Tfrm_Output> frm;

    // Start-up as the program does it: the text as one line, shown, caret home.
    void Open(const QString& output)
    {
        frm = std::make_unique<Tfrm_Output>();
        frm->View().AddLine(output.toStdU16String());
        frm->show();
        frm->View().SetSelStart(0);
        frm->View().SetSelLength(0);
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
        QTestEventList pastLast = enter;
        pastLast.addKeyClick(Qt::Key_Enter);
        pastLast.addKeyClick(Qt::Key_Return);
        QTest::newRow("after the last the caret goes home") << "Error, error, ERROR" << pastLast << 0 << 0 << "error";
        QTestEventList again = pastLast;
        again.addKeyClick(Qt::Key_Return);
        QTest::newRow("then the first again") << "Error, error, ERROR" << again << 0 << 5 << "error";

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

    void layoutAndAnchoring()
    {
        Open("x");
        QCOMPARE(frm->size(), QSize(660, 566));
        QCOMPARE(frm->re_Output->geometry(), QRect(0, 0, 660, 540));
        QCOMPARE(frm->Panel1->geometry(), QRect(0, 540, 660, 26));
        QCOMPARE(frm->Label1->pos(), QPoint(6, 6));
        QVERIFY(frm->Label1->width() >= 23);
        QVERIFY(frm->Label1->width() >= frm->Label1->sizeHint().width());
        QCOMPARE(frm->e_FindText->geometry(), QRect(34, 2, 543, 21));
        QCOMPARE(frm->btn_Copy->geometry(), QRect(580, 1, 77, 24));

        // Wider: the field keeps 83 px to the right edge, the button its place.
        frm->resize(760, 666);
        QCOMPARE(frm->re_Output->geometry(), QRect(0, 0, 760, 640));
        QCOMPARE(frm->Panel1->geometry(), QRect(0, 640, 760, 26));
        QCOMPARE(frm->e_FindText->geometry(), QRect(34, 2, 643, 21));
        QCOMPARE(frm->btn_Copy->geometry(), QRect(580, 1, 77, 24));
        // Narrower: the button is cut off at the panel's edge.
        frm->resize(500, 300);
        QCOMPARE(frm->e_FindText->geometry(), QRect(34, 2, 383, 21));
        QCOMPARE(frm->btn_Copy->geometry(), QRect(580, 1, 77, 24));
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
        QCOMPARE(frm->re_Output->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        QCOMPARE(frm->re_Output->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QVERIFY(!frm->re_Output->isReadOnly());
        const QPalette field = frm->e_FindText->palette();
        QCOMPARE(field.color(QPalette::Base), QColor(0, 0, 0));
        QCOMPARE(field.color(QPalette::Text), QColor(0, 255, 255));
        QCOMPARE(frm->Label1->text(), QString("&Find:"));
        QCOMPARE(frm->btn_Copy->text(), QString("&Copy All"));
        QCOMPARE(frm->btn_Copy->toolTip(), QString("Copy All of the above to the clipboard."));
        QVERIFY(!frm->btn_Copy->icon().isNull());
        QVERIFY(!frm->btn_Copy->isDefault() && !frm->btn_Copy->autoDefault());
        QCOMPARE(frm->Panel1->frameShadow(), QFrame::Sunken);
        const Qt::WindowFlags flags = frm->windowFlags();
        QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    }
};

QTEST_MAIN(WindowTest)
#include "frmOutput_qt_test.moc"
