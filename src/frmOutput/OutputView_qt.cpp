#include "OutputView_qt.h"

#include <QMimeData>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace {

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

} // namespace

std::u16string ShownText(std::string_view bytes)
{
    // Qt's plain conversion would drop a leading byte-order mark. Stateless:
    // the bytes are all there is, so an unfinished sequence at the end (the
    // 8192-byte cut may fall inside a character) shows as U+FFFD, one for
    // each of its bytes as elsewhere, instead of being kept for a next call.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::ConvertInitialBom | QStringDecoder::Flag::Stateless);
    const QString text = decoder(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return text.toStdU16String();
}

TOutputView::TOutputView(QWidget* parent) : QPlainTextEdit(parent)
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

// Plain text only, made at once. Qt's own copy offers rich formats that it
// renders only when asked; a clipboard manager that takes the clipboard over
// as the program ends asks for all of them after the application object is
// gone, and rendering them then aborts the program. Its own copy, drag and
// paste go through the stand-ins like the program's reading and adding do.
QMimeData* TOutputView::createMimeDataFromSelection() const
{
    const QTextCursor cursor = textCursor();
    auto* data = new QMimeData;
    data->setText(ExactText(document(), cursor.selectedText(), cursor.selectionStart()));
    return data;
}

void TOutputView::insertFromMimeData(const QMimeData* source)
{
    if (!source->hasText())
        return QPlainTextEdit::insertFromMimeData(source);
    QTextCursor cursor = textCursor();
    InsertExact(cursor, source->text());
    setTextCursor(cursor);
    ensureCursorVisible();
}

void TOutputView::AddLine(std::u16string_view text)
{
    QTextCursor cursor = textCursor();
    cursor.movePosition(QTextCursor::End);
    // Copied as it is: a conversion from UTF-16 would take a leading U+FEFF
    // or U+FFFE for a byte-order mark, drop the one and byte-swap all the
    // text after the other.
    const QString copied(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
    InsertExact(cursor, copied + '\n');
}

std::u16string TOutputView::Text() const
{
    // Every character as the view holds it (Qt's own plain text would turn
    // a no-break space into a blank and some characters into line feeds);
    // line breaks read back as one character each, as the cursor counts them.
    return ExactText(document(), document()->toRawText(), 0).toStdU16String();
}

std::size_t TOutputView::SelStart() const
{
    return static_cast<std::size_t>(textCursor().selectionStart());
}

std::size_t TOutputView::SelLength() const
{
    const QTextCursor cursor = textCursor();
    return static_cast<std::size_t>(cursor.selectionEnd() - cursor.selectionStart());
}

void TOutputView::SetSelStart(std::size_t start)
{
    QTextCursor cursor = textCursor();
    cursor.setPosition(std::min(static_cast<int>(start), LastPosition()));
    setTextCursor(cursor);
}

void TOutputView::SetSelLength(std::size_t length)
{
    QTextCursor cursor = textCursor();
    const int start = cursor.selectionStart();
    cursor.setPosition(start);
    cursor.setPosition(std::min(start + static_cast<int>(length), LastPosition()), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
}

int TOutputView::LastPosition() const
{
    // The document counts a final paragraph end that the text read back lacks.
    return document()->characterCount() - 1;
}

void TOutputView::CopySelection()
{
    copy();
}
