// The output view on Qt 6 Widgets: Qt's plain text view, holding every
// character exactly as the child wrote it, and offering the output view's
// operations (OutputView.h) that start-up, the find and Copy All use.
#pragma once

#include "OutputView.h"

#include <QPlainTextEdit>

#include <string>
#include <string_view>

class QMimeData;

// The child's bytes as the view shows them: decoded as UTF-8, the console's
// encoding here, each byte that is not valid UTF-8 (an unfinished sequence
// at the end too) as U+FFFD instead of being dropped, and every other
// character as it is, a leading byte-order mark included.
std::u16string ShownText(std::string_view bytes);

class TOutputView : public QPlainTextEdit, public vantrel::OutputView {
public:
    explicit TOutputView(QWidget* parent);

    void AddLine(std::u16string_view text) override;
    std::u16string Text() const override;
    std::size_t SelStart() const override;
    std::size_t SelLength() const override;
    void SetSelStart(std::size_t start) override;
    void SetSelLength(std::size_t length) override;
    void CopySelection() override;

protected:
    QMimeData* createMimeDataFromSelection() const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    int LastPosition() const;
};
