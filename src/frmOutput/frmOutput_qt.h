// The output window on Qt 6 Widgets: the output view, the bottom panel with
// the find field and the Copy All button. The find and Copy All rules live in
// Find.h; this class adapts Qt's controls to them.
#pragma once

#include "OutputView.h"

#include <QWidget>

class QFrame;
class QInputMethodEvent;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class Tfrm_Output : public QWidget, private vantrel::OutputView {
public:
    explicit Tfrm_Output(QWidget* parent = nullptr);

    QPlainTextEdit* re_Output;
    QFrame* Panel1;
    QLineEdit* e_FindText;
    QLabel* Label1;
    QPushButton* btn_Copy;

    // Runs for every character typed into the find field or committed to it
    // by an input method, one whole character at a time, before the field
    // applies it; setting key to 0 keeps the field from seeing it.
    void e_FindTextKeyPress(QObject* sender, char32_t& key);
    void btn_CopyClick(QObject* sender);
    void FindInOutput(std::u16string_view pattern, bool findNext);

    // The output view's operations, for start-up and for the tests.
    vantrel::OutputView& View() { return *this; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void AddLine(std::u16string_view text) override;
    std::u16string Text() const override;
    std::size_t SelStart() const override;
    std::size_t SelLength() const override;
    void SetSelStart(std::size_t start) override;
    void SetSelLength(std::size_t length) override;
    void CopySelection() override;
    int LastPosition() const;

    bool FindTextKey(QKeyEvent* event);
    bool FindTextInput(QInputMethodEvent* event);
    void ApplyToFindText(QEvent* event);
    bool applyingToFindText_ = false; // an event of our own on its way to the field
};
