#include "frmOutput_qt.h"

#include "Find.h"
#include "Layout.h"

#include <QAccessibleWidget>
#include <QFontDatabase>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

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

// Screen readers are told that the window is a window: Qt describes a plain
// top-level widget as a client area, which AT-SPI shows as a filler.
QAccessibleInterface* WindowAccessible(const QString& /*className*/, QObject* object)
{
    if (auto* window = dynamic_cast<Tfrm_Output*>(object))
        return new QAccessibleWidget(window, QAccessible::Window);
    return nullptr;
}

// The view's look: lime on black in a monospaced font, long lines wrapped at
// its width, a vertical scroll bar only while the text does not fit.
void DesignView(TOutputView* view)
{
    view->setObjectName("re_Output");
    view->setFont(DesignFont("Courier", QFontDatabase::FixedFont));
    Colour(view, Qt::green, Qt::black);
    view->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    view->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    view->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // Tab leaves the view instead of typing a tab; Enter makes a line break.
    view->setTabChangesFocus(true);
    view->setAccessibleName("Output");
}

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
    , e_FindText(new TFindEdit(Panel1, [this](QObject* sender, char32_t& key) { e_FindTextKeyPress(sender, key); }))
    , Label1(new QLabel(Panel1))
    , btn_Copy(new QPushButton(Panel1))
{
    static const bool accessibleAsWindow = (QAccessible::installFactory(WindowAccessible), true);
    (void)accessibleAsWindow;
    setObjectName("frm_Output");
    setWindowTitle("Vantrel");
    setWindowIcon(QPixmap(vantrel_icon_xpm));
    setFont(DesignFont("MS Sans Serif", QFontDatabase::GeneralFont));
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    resize(ClientWidth, ViewHeight + PanelHeight);

    DesignView(re_Output);

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
    // The layout rules in logical pixels, which Qt scales (Layout.h). The
    // label and the button keep the places they were given; the button stays
    // above the field, whose right part goes behind it in a wide window.
    const Placement placed = LayOut(width(), height());
    const auto place = [](QWidget* control, const Box& box) {
        control->setGeometry(box.left, box.top, box.width, box.height);
    };
    place(re_Output, placed.view);
    place(Panel1, placed.panel);
    place(e_FindText, placed.field);
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
    return QWidget::eventFilter(watched, event);
}

void Tfrm_Output::e_FindTextKeyPress(QObject* /*sender*/, char32_t& key)
{
    vantrel::FindTextKeyPress(*e_FindText, *re_Output, key);
}

void Tfrm_Output::btn_CopyClick(QObject* /*sender*/)
{
    vantrel::CopyAll(*re_Output);
}

void Tfrm_Output::FindInOutput(std::u16string_view pattern, bool findNext)
{
    vantrel::FindInOutput(*re_Output, pattern, findNext);
}
