#include "frmOutput_qt.h"

#include "Find.h"
#include "Layout.h"

#include <QApplication>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QFrame>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

#include "../../res/btn_copy.xpm"
#include "../../res/vantrel_icon.xpm"

namespace {

// The design layout is in logical pixels, which Qt scales for the screen.
using namespace vantrel::layout;

// A font by name at the design size, or the desktop's own monospaced or
// general font where the named one is missing.
QFont DesignFont(const char* family, QFontDatabase::SystemFont fallback)
{
    QFont font = QFontDatabase::hasFamily(family) ? QFont(family) : QFontDatabase::systemFont(fallback);
    font.setPixelSize(FontPixels);
    return font;
}

// Text and background of a control, the same whether it has the focus or not;
// the view's selection keeps its colours without the focus, so that a match
// stays visible while the user types in the find field.
void Colour(QWidget* widget, const QColor& text, const QColor& ground)
{
    QPalette palette = widget->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Base, ground);
        palette.setColor(group, QPalette::Text, text);
        palette.setColor(group, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
        palette.setColor(group, QPalette::HighlightedText,
                         palette.color(QPalette::Active, QPalette::HighlightedText));
    }
    widget->setPalette(palette);
}

// The button's picture: the left half for the normal state, the right half
// for the disabled one, the olive of the bottom-left pixel transparent.
QIcon ButtonPicture()
{
    const QImage strip(btn_copy_xpm);
    const QColor ground = strip.pixelColor(0, strip.height() - 1);
    auto half = [&](int index) {
        QPixmap pixmap = QPixmap::fromImage(strip.copy(index * 16, 0, 16, 16));
        pixmap.setMask(pixmap.createMaskFromColor(ground));
        return pixmap;
    };
    QIcon icon;
    icon.addPixmap(half(0), QIcon::Normal);
    icon.addPixmap(half(1), QIcon::Disabled);
    return icon;
}

// Characters that Qt's text document cannot hold as themselves: it makes a
// block break of U+2029 and of the frame marks U+FDD0 and U+FDD1, and draws
// U+2028 as a line break. The view holds each as a stand-in of the same
// length, a visible sign drawn in its place, whose character format carries
// the original; the format follows the sign through the user's edits and
// undo. Reading the view back, copying from it and the find all see the
// originals, and only real line breaks are line breaks.
struct StandIn {
    char16_t original;
    char16_t sign;
};
constexpr StandIn StandIns[] = {
    {0x2028, 0x21B5}, // LINE SEPARATOR as a downwards arrow with corner leftwards
    {0x2029, 0x00B6}, // PARAGRAPH SEPARATOR as a pilcrow
    {0xFDD0, 0x25A1}, // the noncharacters as a white square, the look of a missing glyph
    {0xFDD1, 0x25A1},
};
constexpr int OriginalCharacter = QTextFormat::UserProperty + 1;

const StandIn* StandInFor(QChar c)
{
    for (const StandIn& standIn : StandIns)
        if (c.unicode() == standIn.original)
            return &standIn;
    return nullptr;
}

bool IsStandInSign(QChar c)
{
    for (const StandIn& standIn : StandIns)
        if (c.unicode() == standIn.sign)
            return true;
    return false;
}

// Inserts the text at the cursor as one undo step, the characters that need
// it as stand-ins; line feeds become line breaks.
void InsertExact(QTextCursor& cursor, QStringView text)
{
    cursor.beginEditBlock();
    const QTextCharFormat plain;
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const StandIn* standIn = StandInFor(text[i]);
        if (!standIn)
            continue;
        cursor.insertText(text.sliced(runStart, i - runStart).toString(), plain);
        QTextCharFormat carrying;
        carrying.setProperty(OriginalCharacter, int(standIn->original));
        cursor.insertText(QString(QChar(standIn->sign)), carrying);
        runStart = i + 1;
    }
    cursor.insertText(text.sliced(runStart).toString(), plain);
    cursor.endEditBlock();
}

// The document's characters from position `from` on, as `raw` holds them
// (its block breaks as U+2029), turned into what the view shows: block
// breaks as line feeds, stand-ins as the characters they stand for. Positions
// stay those of the document.
QString ExactText(QTextDocument* document, QString raw, int from)
{
    bool mayHoldStandIns = false;
    for (QChar& c : raw) {
        if (c == QChar::ParagraphSeparator)
            c = u'\n';
        else if (IsStandInSign(c))
            mayHoldStandIns = true;
    }
    if (!mayHoldStandIns)
        return raw;
    // A sign is a stand-in only where its format carries an original it
    // stands for: a sign the child wrote or the user typed stays as it is.
    QTextCursor probe(document);
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (!IsStandInSign(raw[i]))
            continue;
        probe.setPosition(from + int(i) + 1);
        const QChar original(char16_t(probe.charFormat().intProperty(OriginalCharacter)));
        if (const StandIn* standIn = StandInFor(original); standIn && standIn->sign == raw[i])
            raw[i] = original;
    }
    return raw;
}

// The output view: Qt's plain text view, whose own copy, drag and paste go
// through the stand-ins like the program's reading and adding do.
class TOutputView : public QPlainTextEdit {
public:
    explicit TOutputView(QWidget* parent) : QPlainTextEdit(parent)
    {
        // What the user types next to a stand-in takes the plain format, not
        // the one before the caret that carries the stand-in's original.
        // (With a selection, setting the format would change the selection's.)
        connect(this, &QPlainTextEdit::cursorPositionChanged, this, [this] {
            QTextCharFormat format = currentCharFormat();
            if (!textCursor().hasSelection() && format.hasProperty(OriginalCharacter)) {
                format.clearProperty(OriginalCharacter);
                setCurrentCharFormat(format);
            }
        });
    }

protected:
    // Plain text only, made at once. Qt's own copy offers rich formats that
    // it renders only when asked; a clipboard manager that takes the
    // clipboard over as the program ends asks for all of them after the
    // application object is gone, and rendering them then aborts the program.
    QMimeData* createMimeDataFromSelection() const override
    {
        const QTextCursor cursor = textCursor();
        auto* data = new QMimeData;
        data->setText(ExactText(document(), cursor.selectedText(), cursor.selectionStart()));
        return data;
    }

    void insertFromMimeData(const QMimeData* source) override
    {
        if (!source->hasText())
            return QPlainTextEdit::insertFromMimeData(source);
        QTextCursor cursor = textCursor();
        InsertExact(cursor, source->text());
        setTextCursor(cursor);
        ensureCursorVisible();
    }
};

} // namespace

// An ordinary top-level window, so that task bars and window switchers list
// it by its caption, with a title and a close button but no minimise or
// maximise button where the window manager honours the hint. Being a normal
// window, closing it ends the event loop by Qt's rule for the last window.
Tfrm_Output::Tfrm_Output(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
    , re_Output(new TOutputView(this))
    , Panel1(new QFrame(this))
    , e_FindText(new QLineEdit(Panel1))
    , Label1(new QLabel(Panel1))
    , btn_Copy(new QPushButton(Panel1))
{
    setObjectName("frm_Output");
    setWindowTitle("Vantrel");
    setWindowIcon(QPixmap(vantrel_icon_xpm));
    setFont(DesignFont("MS Sans Serif", QFontDatabase::GeneralFont));
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    resize(ClientWidth, ViewHeight + PanelHeight);

    re_Output->setObjectName("re_Output");
    re_Output->setFont(DesignFont("Courier", QFontDatabase::FixedFont));
    Colour(re_Output, Qt::green, Qt::black);
    re_Output->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    re_Output->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    re_Output->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    re_Output->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    re_Output->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // Tab leaves the view instead of typing a tab; Enter makes a line break.
    re_Output->setTabChangesFocus(true);
    re_Output->setAccessibleName("Output");

    Panel1->setObjectName("Panel1");
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(1);

    Label1->setObjectName("Label1");
    Label1->setText("&Find:");
    Label1->setBuddy(e_FindText);
    // Wider than designed only where the desktop's font needs it.
    Label1->setGeometry(Label.left, Label.top, std::max(Label.width, Label1->sizeHint().width()), Label.height);

    e_FindText->setObjectName("e_FindText");
    e_FindText->setFont(DesignFont("MS Sans Serif", QFontDatabase::GeneralFont));
    Colour(e_FindText, Qt::cyan, Qt::black);
    e_FindText->setAccessibleName("Find:");
    e_FindText->installEventFilter(this);

    btn_Copy->setObjectName("btn_Copy");
    btn_Copy->setText("&Copy All");
    btn_Copy->setToolTip("Copy All of the above to the clipboard.");
    btn_Copy->setIcon(ButtonPicture());
    btn_Copy->setIconSize(QSize(16, 16));
    btn_Copy->setAutoDefault(false);
    btn_Copy->setGeometry(Button.left, Button.top, Button.width, Button.height);
    btn_Copy->setAccessibleName("Copy All");
    btn_Copy->installEventFilter(this);
    connect(btn_Copy, &QPushButton::clicked, this, [this] { btn_CopyClick(btn_Copy); });

    // The view first, then the panel: the find field, then the button.
    setTabOrder(re_Output, e_FindText);
    setTabOrder(e_FindText, btn_Copy);
    // The find field has the focus when the window is shown.
    e_FindText->setFocus();
}

void Tfrm_Output::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The view and the panel follow the window; on the panel only the field
    // follows the panel's width (see Layout.h).
    re_Output->setGeometry(0, 0, width(), std::max(0, height() - PanelHeight));
    Panel1->setGeometry(0, height() - PanelHeight, width(), PanelHeight);
    e_FindText->setGeometry(Field.left, Field.top, std::max(0, width() - Field.left - FieldRightGap), Field.height);
    btn_Copy->raise();
}

bool Tfrm_Output::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == btn_Copy && event->type() == QEvent::KeyPress) {
        // Enter presses the focused button, as Space does.
        const auto* keyEvent = static_cast<QKeyEvent*>(event);
        const bool enter = keyEvent->key() == Qt::Key_Return || keyEvent->key() == Qt::Key_Enter;
        if (enter && (keyEvent->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            btn_Copy->click();
            return true;
        }
    }
    if (watched != e_FindText || applyingToFindText_)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress:
        return FindTextKey(static_cast<QKeyEvent*>(event));
    case QEvent::InputMethod:
        return FindTextInput(static_cast<QInputMethodEvent*>(event));
    case QEvent::FocusIn: {
        // The focus coming other than by a mouse click (Tab, Shift+Tab,
        // Alt+F, the window activated again) selects all the field's text;
        // Qt's field would do so only for some of these, and only when none
        // of it is selected. The focus coming back from the field's own
        // context menu leaves it as the user left it.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::MouseFocusReason && reason != Qt::PopupFocusReason)
            e_FindText->selectAll();
        return false;
    }
    default:
        return false;
    }
}

// A key pressed in the find field: each character it makes goes to the key
// handler first. Returns true when the field must not see the event.
bool Tfrm_Output::FindTextKey(QKeyEvent* event)
{
    // Keys that make no character (arrows, Home, End, Delete) and Tab, which
    // moves the focus, are the field's and the window's own.
    const int code = event->key();
    if (event->text().isEmpty() || code == Qt::Key_Tab || code == Qt::Key_Backtab || code == Qt::Key_Delete)
        return false;
    // Alt with a letter that no accelerator of the window took (those never
    // reach the field) is no character here: neither typed nor searched.
    if (event->modifiers().testFlag(Qt::AltModifier))
        return true;
    const std::u32string characters = vantrel::Characters(event->text().toStdU16String());
    if (characters.size() == 1) {
        char32_t key = characters.front();
        e_FindTextKeyPress(e_FindText, key);
        return key == 0;
    }
    // Several characters in one key event (a compose sequence can make
    // them): each is one key, and the field takes each before the next one
    // is looked at, exactly as if they had been typed one by one.
    for (const char32_t character : characters) {
        char32_t key = character;
        e_FindTextKeyPress(e_FindText, key);
        if (key != 0) {
            QKeyEvent one(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier,
                          QString::fromUcs4(&key, 1));
            ApplyToFindText(&one);
        }
    }
    return true;
}

// Text from an input method (dead keys, compose, IBus, fcitx): what it
// commits is typed characters, handled one by one as FindTextKey does; a
// pre-edit string (text still being composed) searches nothing.
bool Tfrm_Output::FindTextInput(QInputMethodEvent* event)
{
    if (event->commitString().isEmpty())
        return false;
    // The replacement of text around the caret that the input method asks
    // for goes with the first character the field takes.
    int replacementStart = event->replacementStart();
    int replacementLength = event->replacementLength();
    for (const char32_t character : vantrel::Characters(event->commitString().toStdU16String())) {
        char32_t key = character;
        e_FindTextKeyPress(e_FindText, key);
        if (key == 0)
            continue;
        QInputMethodEvent one;
        one.setCommitString(QString::fromUcs4(&key, 1), replacementStart, replacementLength);
        ApplyToFindText(&one);
        replacementStart = replacementLength = 0;
    }
    // Then the pre-edit string that follows the commit, as the method sent it.
    QInputMethodEvent rest(event->preeditString(), event->attributes());
    rest.setCommitString(QString(), replacementStart, replacementLength);
    ApplyToFindText(&rest);
    return true;
}

// Hands an event of our own to the find field, past the key handling.
void Tfrm_Output::ApplyToFindText(QEvent* event)
{
    applyingToFindText_ = true;
    QCoreApplication::sendEvent(e_FindText, event);
    applyingToFindText_ = false;
}

void Tfrm_Output::e_FindTextKeyPress(QObject* /*sender*/, char32_t& key)
{
    const vantrel::FindKeyAction action = vantrel::FindKeyRule(e_FindText->text().toStdU16String(), key);
    if (action.clearField) {
        key = 0;
        e_FindText->clear();
        return;
    }
    FindInOutput(action.pattern, action.findNext);
}

void Tfrm_Output::btn_CopyClick(QObject* /*sender*/)
{
    vantrel::CopyAll(*this);
}

void Tfrm_Output::FindInOutput(std::u16string_view pattern, bool findNext)
{
    vantrel::FindInOutput(*this, pattern, findNext);
}

void Tfrm_Output::AddLine(std::u16string_view text)
{
    QTextCursor cursor = re_Output->textCursor();
    cursor.movePosition(QTextCursor::End);
    InsertExact(cursor, QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())) + '\n');
}

std::u16string Tfrm_Output::Text() const
{
    // Every character as the view holds it (Qt's own plain text would turn
    // a no-break space into a blank and some characters into line feeds);
    // line breaks read back as one character each, as the cursor counts them.
    return ExactText(re_Output->document(), re_Output->document()->toRawText(), 0).toStdU16String();
}

std::size_t Tfrm_Output::SelStart() const
{
    return static_cast<std::size_t>(re_Output->textCursor().selectionStart());
}

std::size_t Tfrm_Output::SelLength() const
{
    const QTextCursor cursor = re_Output->textCursor();
    return static_cast<std::size_t>(cursor.selectionEnd() - cursor.selectionStart());
}

void Tfrm_Output::SetSelStart(std::size_t start)
{
    QTextCursor cursor = re_Output->textCursor();
    cursor.setPosition(std::min(static_cast<int>(start), LastPosition()));
    re_Output->setTextCursor(cursor);
}

void Tfrm_Output::SetSelLength(std::size_t length)
{
    QTextCursor cursor = re_Output->textCursor();
    const int start = cursor.selectionStart();
    cursor.setPosition(start);
    cursor.setPosition(std::min(start + static_cast<int>(length), LastPosition()), QTextCursor::KeepAnchor);
    re_Output->setTextCursor(cursor);
}

int Tfrm_Output::LastPosition() const
{
    // The document counts a final paragraph end that the text read back lacks.
    return re_Output->document()->characterCount() - 1;
}

void Tfrm_Output::CopySelection()
{
    re_Output->copy();
}
