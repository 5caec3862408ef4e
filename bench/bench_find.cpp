// What one key press in the find field costs. The find reads the view's whole
// text anew on every key (the user may have edited it), so its cost grows
// with the text: a full capture is 8 KiB, but the view is editable and a user
// may paste megabytes into it. Measured for an 8 KiB view and for the same
// view after 10 MiB more were added, with a key whose pattern does not occur,
// so that the whole text is searched:
// - through the real Qt window (Tfrm_Output::e_FindTextKeyPress, what one
//   typed character runs) on Qt's offscreen platform, and how much of that
//   is only reading the text back from the view;
// - through the core algorithm (vantrel::FindInOutput) over an in-memory view.
// Prints the median time of each and the large / small ratio.
//   bench_find [--reps-small R] [--reps-large R]
#include "FakeView.h"
#include "Find.h"
#include "frmOutput_qt.h"

#include <QApplication>
#include <QLineEdit>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr std::size_t KiB = 1024;
constexpr std::size_t MiB = 1024 * KiB;

// Lines of 64 characters, a to z only: the searched key '#' never occurs.
std::u16string Lines(std::size_t size)
{
    std::u16string text(size, u' ');
    for (std::size_t i = 0; i < size; ++i)
        text[i] = i % 64 == 63 ? u'\n' : static_cast<char16_t>(u'a' + i % 26);
    return text;
}

// Median milliseconds of the timed step; `between` runs untimed after each.
double MedianMs(int reps, const std::function<void()>& step, const std::function<void()>& between)
{
    std::vector<double> ms;
    for (int r = 0; r < reps; ++r) {
        const auto start = std::chrono::steady_clock::now();
        step();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        between();
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

struct Figures {
    double keyPress = 0;  // e_FindTextKeyPress on the Qt window
    double readBack = 0;  // of which: the window's View().Text()
    double core = 0;      // vantrel::FindInOutput over FakeView
};

Figures Measure(const std::u16string& pasted, int reps)
{
    const std::u16string output = Lines(8 * KiB);
    Figures figures;

    // Start-up as the program does it, then what the user pasted.
    Tfrm_Output frm;
    frm.View().AddLine(output);
    if (!pasted.empty())
        frm.View().AddLine(pasted);
    frm.show();
    frm.View().SetSelStart(0);
    frm.View().SetSelLength(0);
    QApplication::processEvents();

    const auto events = [] { QApplication::processEvents(); };
    figures.keyPress = MedianMs(reps, [&] {
        char16_t key = u'#';
        frm.e_FindTextKeyPress(frm.e_FindText, key);
    }, events);
    if (frm.View().SelLength() != 0 || frm.View().SelStart() != 0) {
        std::fprintf(stderr, "the find selected something it should not have found\n");
        std::exit(1);
    }
    std::size_t size = 0;
    figures.readBack = MedianMs(reps, [&] { size = frm.View().Text().size(); }, events);

    FakeView view;
    view.AddLine(output);
    if (!pasted.empty())
        view.AddLine(pasted);
    figures.core = MedianMs(reps, [&] { vantrel::FindInOutput(view, u"#", false); }, [] {});
    if (size != view.text.size()) {
        std::fprintf(stderr, "the window holds %zu characters, the fake view %zu\n", size, view.text.size());
        std::exit(1);
    }
    return figures;
}

} // namespace

int main(int argc, char** argv)
{
    int repsSmall = 201, repsLarge = 11;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--reps-small") == 0)
            repsSmall = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--reps-large") == 0)
            repsLarge = std::atoi(argv[i + 1]);
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication application(qtArgc, qtArgv);

    const Figures small = Measure({}, repsSmall);
    const Figures large = Measure(Lines(10 * MiB), repsLarge);
    const double sizeRatio = (8.0 * KiB + 10.0 * MiB + 2) / (8.0 * KiB + 1);

    std::printf("find: one key press whose pattern does not occur (whole text searched), median ms\n");
    std::printf("  %-36s %12s %16s %10s\n", "", "8 KiB view", "+10 MiB pasted", "ratio");
    const auto row = [](const char* what, double a, double b) {
        std::printf("  %-36s %12.3f %16.3f %9.0fx\n", what, a, b, b / a);
    };
    row("Qt window, e_FindTextKeyPress", small.keyPress, large.keyPress);
    row("  of which reading the text back", small.readBack, large.readBack);
    row("core FindInOutput over FakeView", small.core, large.core);
    std::printf("  (the text grows %.0fx; %d runs on 8 KiB, %d on 10 MiB)\n", sizeRatio, repsSmall, repsLarge);
    return 0;
}
