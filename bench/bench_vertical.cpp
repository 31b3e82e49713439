// Vertical writing against horizontal writing, the same 4 MB Japanese text in the same editor widget, the two
// modes alternating in one run. Three figures, each with horizontal writing as its floor:
//
//   open:        the text loaded into a shown editor up to its first paint;
//   page steps:  50 screens onward from the middle of the text, each painted;
//   jumps:       20 jumps spread over the whole text (start to end), each painted;
//   keystrokes:  100 keys typed in the middle of the text (a letter, then Backspace), each painted;
//   resizes:     10 changes of the view's size (both ways), each painted: the text flows anew.
//
// Output: one line per figure, tab-separated, the form bench/run.sh collects:
//
//   ROW <name> <unit> <median> <p25> <p75> <floor> <floor median> <p25> <p75> <ratio> <goal> <ok> <runs> <note>
//
//   bench_vertical [--runs N]     (default 7; run with QT_QPA_PLATFORM=offscreen)

#include "platform/editor.h"
#include "platform/verticallayout.h"
#include "sample_text.h"

#include <QApplication>
#include <QScrollBar>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

struct Summary {
    double median = 0, p25 = 0, p75 = 0;
    int runs = 0;
};

double percentile(const std::vector<double> &sorted, double p)
{
    const double at = p * double(sorted.size() - 1);
    const size_t i = size_t(at);
    const double f = at - double(i);
    return i + 1 < sorted.size() ? sorted[i] * (1 - f) + sorted[i + 1] * f : sorted[i];
}

Summary summarize(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return {percentile(v, 0.5), percentile(v, 0.25), percentile(v, 0.75), int(v.size())};
}

void printRow(const std::string &name, const Summary &ours, const std::string &floorName, const Summary &floor,
              double goal, const std::string &note)
{
    const double ratio = ours.median / floor.median;
    const bool ok = std::isfinite(ratio) && ratio <= goal;
    std::printf("ROW\t%s\tms\t%.4f\t%.4f\t%.4f\t%s\t%.4f\t%.4f\t%.4f\t%.3f\t%g\t%s\t%d\t%s\n", name.c_str(), ours.median,
                ours.p25, ours.p75, floorName.c_str(), floor.median, floor.p25, floor.p75, ratio, goal,
                ok ? "yes" : "no", ours.runs, note.c_str());
    std::fflush(stdout);
}

// An editor as the main window shows it: the default font, word wrap on, a window-sized view.
std::unique_ptr<zv::Editor> makeEditor(bool vertical)
{
    auto e = std::make_unique<zv::Editor>();
    zv::FontSpec font;
    font.name = QStringLiteral("FixedSys");
    font.pointSize = 14;
    e->setEditorFont(font);
    e->setWordWrap(true);
    e->setOptions(zv::ECOOP_SET, zv::ECO_SELECTIONBAR | (vertical ? zv::ECO_VERTICAL : 0u));
    e->resize(960, 640);
    e->show();
    QCoreApplication::processEvents();
    return e;
}

// The scroll bar that moves through the text in each mode.
QScrollBar *scroller(zv::Editor &e) { return e.vertical() ? e.columnScrollBar() : e.verticalScrollBar(); }

void paint(zv::Editor &e)
{
    e.viewport()->repaint();
    QCoreApplication::processEvents();
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int runs = 7;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::max(1, std::atoi(argv[i + 1]));

    // About 4 MB in CP932 (the sample's own measure), with the line breaks the file layer hands over.
    QString text = zv::bench::sampleJapaneseText(4 * 1024 * 1024 * 2 / 3);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));

    std::vector<double> open[2], pages[2], jumps[2], keys[2], resizes[2];
    qint64 placed = 0;
    int paragraphs = 0;
    for (int r = 0; r < runs + 1; ++r) { // the first round warms up
        for (const bool vertical : {false, true}) {
            auto e = makeEditor(vertical);
            const auto start = Clock::now();
            e->loadText(text);
            paint(*e);
            const double openMs = msSince(start);
            if (e->textLength() != text.size())
                std::fprintf(stderr, "bench_vertical: the text did not load\n"), std::exit(1);

            QScrollBar *bar = scroller(*e);
            bar->setValue(bar->maximum() / 2);
            paint(*e);
            auto t = Clock::now();
            for (int i = 0; i < 50; ++i) {
                bar->setValue(bar->value() + bar->pageStep());
                paint(*e);
            }
            const double pageMs = msSince(t);

            t = Clock::now();
            for (int i = 0; i <= 20; ++i) {
                bar->setValue(int(qint64(bar->maximum()) * i / 20));
                paint(*e);
            }
            const double jumpMs = msSince(t);
            if (bar->value() != bar->maximum() || bar->maximum() < 1000)
                std::fprintf(stderr, "bench_vertical: the view did not scroll\n"), std::exit(1);
            if (vertical) {
                placed = std::max(placed, e->verticalLayout().paragraphsPlaced());
                paragraphs = e->document()->blockCount();
            }

            e->setFocus();
            e->setSelStart(e->textLength() / 2);
            paint(*e);
            t = Clock::now();
            for (int i = 0; i < 100; ++i) {
                if (i % 2 == 0)
                    QTest::keyClick(e.get(), char('a' + (i / 2) % 26));
                else
                    QTest::keyClick(e.get(), Qt::Key_Backspace);
                paint(*e);
            }
            const double keyMs = msSince(t);
            if (e->textLength() != text.size())
                std::fprintf(stderr, "bench_vertical: the keystrokes did not reach the editor\n"), std::exit(1);
            t = Clock::now();
            for (int i = 0; i < 10; ++i) {
                e->resize(i % 2 ? QSize(960, 640) : QSize(900, 600));
                QCoreApplication::processEvents();
                paint(*e);
            }
            const double resizeMs = msSince(t);
            if (r > 0) {
                resizes[vertical].push_back(resizeMs / 10);
                open[vertical].push_back(openMs);
                pages[vertical].push_back(pageMs / 50);
                jumps[vertical].push_back(jumpMs / 21);
                keys[vertical].push_back(keyMs / 100);
            }
        }
    }
    const std::string note = "4 MB sample, 960x640 view, FixedSys 14 pt; " + std::to_string(placed) + " of "
                             + std::to_string(paragraphs) + " paragraphs placed in one vertical run (those shown)";
    printRow("vertical: open 4 MB to first paint", summarize(open[1]), "horizontal writing, same text",
             summarize(open[0]), 1.2, note);
    printRow("vertical: one screen onward, painted", summarize(pages[1]), "horizontal writing, same text",
             summarize(pages[0]), 1.5, note);
    printRow("vertical: jump across the text, painted", summarize(jumps[1]), "horizontal writing, same text",
             summarize(jumps[0]), 1.5, note);
    printRow("vertical: keystroke in the middle, painted", summarize(keys[1]), "horizontal writing, same text",
             summarize(keys[0]), 1.5, note);
    printRow("vertical: resize the view, painted", summarize(resizes[1]), "horizontal writing, same text",
             summarize(resizes[0]), 1.5, note);
    return 0;
}
