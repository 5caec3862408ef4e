#include "frmOutput_qt.h"

#include "Find.h"
#include "Layout.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>

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

} // namespace

Tfrm_Output::Tfrm_Output(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
    , re_Output(new QPlainTextEdit(this))
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
    e_FindText->installEventFilter(this);

    btn_Copy->setObjectName("btn_Copy");
    btn_Copy->setText("&Copy All");
    btn_Copy->setToolTip("Copy All of the above to the clipboard.");
    btn_Copy->setIcon(ButtonPicture());
    btn_Copy->setIconSize(QSize(16, 16));
    btn_Copy->setAutoDefault(false);
    btn_Copy->setGeometry(Button.left, Button.top, Button.width, Button.height);
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

void Tfrm_Output::closeEvent(QCloseEvent* event)
{
    // The output window is the program's only window: closing it ends the
    // event loop. Qt does not count a tool window as a last window by itself.
    QWidget::closeEvent(event);
    QCoreApplication::quit();
}

bool Tfrm_Output::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != e_FindText || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    auto* keyEvent = static_cast<QKeyEvent*>(event);
    // Keys that make no character (arrows, Home, End, Delete) and Tab, which
    // moves the focus, are the field's and the window's own.
    // Alt with a letter is a menu or accelerator key, not a character.
    const int code = keyEvent->key();
    if (keyEvent->text().isEmpty() || code == Qt::Key_Tab || code == Qt::Key_Backtab ||
        code == Qt::Key_Delete || keyEvent->modifiers().testFlag(Qt::AltModifier))
        return false;
    bool swallowed = false;
    for (const QChar c : keyEvent->text()) {
        char16_t key = c.unicode();
        e_FindTextKeyPress(e_FindText, key);
        swallowed = swallowed || key == 0;
    }
    return swallowed;
}

void Tfrm_Output::e_FindTextKeyPress(QObject* /*sender*/, char16_t& key)
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
    cursor.insertText(QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())) + '\n');
}

std::u16string Tfrm_Output::Text() const
{
    // Line breaks read back as one character each, as the cursor counts them.
    return re_Output->toPlainText().toStdU16String();
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
