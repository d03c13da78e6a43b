// Times the filter of a box's text and the counter on a generated text of 1,000,000 lines (or the
// count given): the engine with the default rules, against the tests' deliberately simple
// reference (and equal to it), and with every comparison option on.
#include "core/lines.h"
#include "engine/engine.h"
#include "referencefilter.h"
#include "textgen.h"

#include <cstdio>

int main(int argc, char** argv) {
    const qsizetype lines = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
    const QString text = GenerateLines(lines);
    std::printf("text: %lld lines, %.1f MB as UTF-16\n", static_cast<long long>(lines),
                double(text.size()) * 2 / 1e6);
    EngineSettings all;
    all.options.ignoreCase = true;
    all.options.trim = true;
    all.options.ignoreWidth = true;
    for (int run = 0; run < 3; ++run) {
        QString copy;
        const double copyMs = TimeMs([&] { copy = QString(text.constData(), text.size()); });
        QString out;
        const double filterMs = TimeMs([&] { out = FilterDuplicateLines(text); });
        QString reference;
        const double referenceMs = TimeMs([&] { reference = ReferenceFilter(text); });
        TextFilterResult options;
        const double optionsMs = TimeMs([&] { options = FilterText(text, all); });
        qsizetype count = 0;
        const double countMs = TimeMs([&] { count = CountNonBlankLines(text); });
        std::printf("run %d: engine %.0f ms (%lld lines kept), reference %.0f ms (%s), every "
                    "option %.0f ms (%lld kept), count %.1f ms (%lld), copy %.1f ms\n",
                    run + 1, filterMs, static_cast<long long>(CountNonBlankLines(out)), referenceMs,
                    reference == out ? "same" : "DIFFERENT", optionsMs,
                    static_cast<long long>(options.result.stats.linesKept), countMs,
                    static_cast<long long>(count), copyMs);
    }
    std::printf("peak memory: %.0f MiB\n", PeakMemoryMiB());
    return 0;
}
