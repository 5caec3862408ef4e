// What one key press in the find field costs. The find reads the view's whole
// text anew on every key (the user may have edited it), so its cost grows
// with the text: a full capture is 8 KiB, but the view is editable and a user
// may paste megabytes into it. Measured for an 8 KiB view and for the same
// view after 10 MiB more were added, with keys whose pattern does not occur,
// so that the whole text is searched: a pattern of one character, and one of
// 1,000 (the field holding 999 characters that match the text's beginning):
// - through the real Qt window (Tfrm_Output::e_FindTextKeyPress, what one
//   typed character runs) on Qt's offscreen platform, and how much of that
//   is only reading the text back from the view;
// - through the core algorithm (vantrel::FindInOutput) over an in-memory view.
// Then the worst case of a search that compares the whole pattern at every
// position (the find's search before it was made linear, kept as PlainFind):
// a text of "a" only and a pattern of 999 "a" and one "b", in the core and in
// that plain search, on 1 MiB and (the core only) on 10 MiB.
// Prints the median time of each and the ratios.
//   bench_find [--reps-small R] [--reps-large R]
#include "FakeView.h"
#include "Find.h"
#include "PlainFind.h"
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
    double longKeyPress = 0; // the same two with a 1,000-character pattern
    double longCore = 0;
};

// 999 characters that match the beginning of every view measured, so that
// the pattern they make with the key almost occurs once per 832 characters.
const std::u16string LongField = Lines(999);

void ExpectNothingSelected(const vantrel::OutputView& view)
{
    if (view.SelLength() != 0 || view.SelStart() != 0) {
        std::fprintf(stderr, "the find selected something it should not have found\n");
        std::exit(1);
    }
}

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
    const auto press = [&] {
        char32_t key = U'#';
        frm.e_FindTextKeyPress(frm.e_FindText, key);
    };
    figures.keyPress = MedianMs(reps, press, events);
    ExpectNothingSelected(frm.View());
    frm.e_FindText->setText(QString::fromStdU16String(LongField));
    figures.longKeyPress = MedianMs(reps, press, events);
    ExpectNothingSelected(frm.View());
    std::size_t size = 0;
    figures.readBack = MedianMs(reps, [&] { size = frm.View().Text().size(); }, events);

    FakeView view;
    view.AddLine(output);
    if (!pasted.empty())
        view.AddLine(pasted);
    figures.core = MedianMs(reps, [&] { vantrel::FindInOutput(view, u"#", false); }, [] {});
    const std::u16string longPattern = LongField + u"#";
    figures.longCore = MedianMs(reps, [&] { vantrel::FindInOutput(view, longPattern, false); }, [] {});
    ExpectNothingSelected(view);
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
    row("Qt window, 1,000-character pattern", small.longKeyPress, large.longKeyPress);
    row("core, 1,000-character pattern", small.longCore, large.longCore);
    std::printf("  (the text grows %.0fx; %d runs on 8 KiB, %d on 10 MiB)\n", sizeRatio, repsSmall, repsLarge);

    // The worst case of the plain search: every position matches 999
    // characters before the pattern fails.
    const std::u16string worstPattern = std::u16string(999, u'a') + u"b";
    const auto worst = [&](std::size_t size, int reps, bool plain) {
        FakeView view;
        view.text.assign(size, u'a');
        return MedianMs(reps, [&] {
            if (plain) {
                if (PlainFind(view.text, worstPattern, 0) != std::u16string::npos)
                    std::exit(1);
            } else {
                vantrel::FindInOutput(view, worstPattern, false);
            }
        }, [] {});
    };
    const double coreMiB = worst(MiB, repsLarge, false);
    const double plainMiB = worst(MiB, 3, true);
    const double core10MiB = worst(10 * MiB, repsLarge, false);
    std::printf("find, worst case of the plain search: text of \"a\" only, pattern of 999 \"a\" and a \"b\", median ms\n");
    std::printf("  %-36s %12s %16s\n", "", "1 MiB", "10 MiB");
    std::printf("  %-36s %12.3f %16.3f\n", "core FindInOutput (linear)", coreMiB, core10MiB);
    std::printf("  %-36s %12.3f %16s\n", "plain search (the one before)", plainMiB, "not run");
    std::printf("  (plain / core on 1 MiB: %.0fx; core 10 MiB / 1 MiB: %.1fx; 3 runs of the plain search)\n",
                plainMiB / coreMiB, core10MiB / coreMiB);
    return 0;
}
