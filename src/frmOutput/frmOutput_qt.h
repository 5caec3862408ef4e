// The output window on Qt 6 Widgets: the output view, the bottom panel with
// the find field and the Copy All button. The find and Copy All rules live in
// Find.h; the view (OutputView_qt.h) and the find field (FindEdit_qt.h) adapt
// Qt's controls to them.
#pragma once

#include "FindEdit_qt.h"
#include "OutputView_qt.h"

#include <QWidget>

class QFrame;
class QLabel;
class QPushButton;

class Tfrm_Output : public QWidget {
public:
    explicit Tfrm_Output(QWidget* parent = nullptr);

    TOutputView* re_Output;
    QFrame* Panel1;
    TFindEdit* e_FindText;
    QLabel* Label1;
    QPushButton* btn_Copy;

    // Runs for every character typed into the find field or committed to it
    // by an input method, one whole character at a time, before the field
    // applies it; setting key to 0 keeps the field from seeing it.
    void e_FindTextKeyPress(QObject* sender, char32_t& key);
    void btn_CopyClick(QObject* sender);
    void FindInOutput(std::u16string_view pattern, bool findNext);

    // The output view's operations, for start-up and for the tests.
    vantrel::OutputView& View() { return *re_Output; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
};
