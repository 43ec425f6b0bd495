// SPDX-License-Identifier: GPL-3.0-or-later
// Cost of selecting the spoken word in the reader's text area, for texts of
// the sample's length, 1 MB and 10 MB. Words are selected in reading order
// through the whole text, each scrolled into view, as during speech.
#include "BenchText.h"
#include "reader/ReaderTextBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("\nHighlightWord: select a word and keep it in view\n");
    std::printf("%-20s %-10s %8s %10s %10s %10s %14s\n", "text", "words", "calls", "mean us", "p95 us", "max us",
                "load text ms");
    const struct
    {
        const char *name;
        qsizetype units;
    } sizes[] = {{"10,625 characters", 10625}, {"1 MB (UTF-8)", 1000000 / 3}, {"10 MB (UTF-8)", 10000000 / 3}};
    for (const auto &size : sizes) {
        ReaderTextBox box;
        box.resize(337, 273);
        box.show();
        const QString text = benchText(size.units);
        QElapsedTimer load;
        load.start();
        box.setPlainText(text);
        QApplication::processEvents();
        const double loadMs = load.nsecsElapsed() / 1e6;

        // 2,000 words in reading order from the middle of the text (speech
        // started there), then 2,000 spread through the whole text.
        const int calls = 4000;
        std::vector<double> us;
        us.reserve(calls);
        for (int i = 0; i < calls; ++i) {
            const qsizetype position =
                i < calls / 2 ? text.size() / 2 + i * 2 : text.size() / (calls / 2) * (i - calls / 2);
            QElapsedTimer clock;
            clock.start();
            box.selectRange(position, 1);
            us.push_back(clock.nsecsElapsed() / 1e3);
        }
        const auto report = [&](const char *how, std::vector<double> part) {
            double sum = 0;
            for (double u : part)
                sum += u;
            std::sort(part.begin(), part.end());
            std::printf("%-20s %-10s %8zu %10.1f %10.1f %10.1f %14.1f\n", size.name, how, part.size(),
                        sum / part.size(), part[part.size() * 95 / 100], part.back(), loadMs);
        };
        report("in order", std::vector<double>(us.begin(), us.begin() + calls / 2));
        report("jumping", std::vector<double>(us.begin() + calls / 2, us.end()));
    }
    return 0;
}
