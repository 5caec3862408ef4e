// The baselines of the footprint benchmark: what a Qt Widgets program costs
// in memory before Vantrel adds anything. Vantrel's peak RSS is compared
// against this program's, measured the same way (same Qt platform, same
// display), so the difference is what Vantrel adds on top of Qt itself.
//   qt_minimal_window               an empty top-level QWidget
//   qt_minimal_window --label       the same with one short text label: an
//                                   empty window draws no text, so this shows
//                                   what drawing the first text costs
//   qt_minimal_window --text-view   the same with a QPlainTextEdit holding
//                                   8 KiB of text lines, Qt's own cost of
//                                   showing a full capture
// The window is named "Minimal" for x_map_watch and stays until it is closed.
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QWidget>

#include <cstring>

int main(int argc, char** argv)
{
    const char* mode = argc > 1 ? argv[1] : "";
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    QWidget window;
    window.setWindowTitle("Minimal");
    window.resize(660, 566);  // Vantrel's window size, so the backing stores match
    if (std::strcmp(mode, "--label") == 0) {
        (new QLabel("Find:", &window))->move(6, 546);
    } else if (std::strcmp(mode, "--text-view") == 0) {
        // The same lines of 64 characters that the footprint run captures.
        QString text(8192, ' ');
        for (int i = 0; i < text.size(); ++i)
            text[i] = i % 64 == 63 ? QChar('\n') : QChar('a' + i % 26);
        auto* view = new QPlainTextEdit(text, &window);
        view->setGeometry(0, 0, 660, 540);
    }
    window.show();
    return QApplication::exec();
}
