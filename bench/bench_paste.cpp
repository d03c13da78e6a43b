// Drives the real paste path offscreen: a generated text of 1,000,000 lines (or the count given)
// on the system's clipboard, Ctrl+V in the window's input box, then 开始过滤. Prints the time from
// the keystroke to the count shown, from the click to the result shown, the longest stretch the
// event loop could not run during each, whether progress was shown, and the peak memory of the
// process against the text's size in UTF-8. With --in-the-box, the large-file bounds are lifted
// and the text goes into the box itself, for comparison.
// Usage: bench_paste [LINES] [--in-the-box]
#include "../tests/fakedesktopservices.h"
#include "core/lines.h"
#include "eventloop.h"
#include "platform/memory.h"
#include "textgen.h"
#include "ui/textbox/textbox.h"
#include "ui/window/mainwindow.h"
#include "ui/window/wording.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <cstdio>

namespace {

// Lets the peak memory (VmHWM) start again from what the process holds now; false where the
// system cannot.
bool ResetPeakMemory() {
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

// What the process holds now, in MiB.
double ResidentMiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

// The progress texts shown at a box while `measure` runs, sampled every 50 ms.
template <typename Measure> QStringList ProgressSeen(TextBox* box, Measure measure) {
    QStringList seen;
    QTimer sampler;
    sampler.setInterval(50);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        auto* bar = box->findChild<QProgressBar*>();
        if (box->isProgressShown() && bar && (seen.isEmpty() || seen.last() != bar->text()))
            seen.append(bar->text());
    });
    sampler.start();
    measure();
    return seen;
}

} // namespace

int main(int argc, char** argv) {
    MapLargeAllocations(); // as the program does
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const bool inTheBox = args.contains(QStringLiteral("--in-the-box"));
    const qsizetype lines =
        argc > 1 && args[1] != QStringLiteral("--in-the-box") ? args[1].toLongLong() : 1000000;

    qint64 utf8Bytes = 0;
    QString inCaption;
    {
        const QString text = GenerateLines(lines);
        utf8Bytes = text.toUtf8().size();
        inCaption = BeforeFilterCaption(CountNonBlankLines(text));
        QGuiApplication::clipboard()->setText(text);
    }
    std::printf("%lld lines on the clipboard, %.1f MB of UTF-8 (%.1f MiB)\n",
                static_cast<long long>(lines), double(utf8Bytes) / 1e6,
                double(utf8Bytes) / (1 << 20));

    FakeDesktopServices services;
    MainWindow window(services);
    if (inTheBox)
        window.setLargeFileBounds({qint64(1) << 40, qint64(1) << 40});
    window.show();
    QCoreApplication::processEvents();
    auto* text1 = window.findChild<TextBox*>(QStringLiteral("Text1"));
    auto* text2 = window.findChild<TextBox*>(QStringLiteral("Text2"));
    auto* label1 = window.findChild<QLabel*>(QStringLiteral("Label1"));
    auto* label2 = window.findChild<QLabel*>(QStringLiteral("Label2"));
    text1->setFocus();
    QCoreApplication::processEvents();

    const double before = ResidentMiB();
    const bool reset = ResetPeakMemory();
    std::printf("resident before the paste (clipboard included): %.0f MiB\n", before);

    Measure paste;
    const QStringList pasteProgress = ProgressSeen(text1, [&] {
        paste = RunUntil(
            [&] { QTest::keyClick(text1, Qt::Key_V, Qt::ControlModifier); },
            [&] { return !window.busy() && !text1->isWorking() && label1->text() == inCaption; });
    });
    Print("paste (Ctrl+V to count shown)", paste);
    std::printf("  %s, %s\n  progress seen: %s\n", qPrintable(label1->text()),
                window.isLargeInput() ? "large-file mode" : "in the box",
                qPrintable(pasteProgress.join(QStringLiteral(" | "))));

    Measure filter;
    const QStringList filterProgress = ProgressSeen(text2, [&] {
        filter =
            RunUntil([&] { window.findChild<QPushButton*>(QStringLiteral("Command1"))->click(); },
                     [&] { return !window.busy() && !text2->isWorking(); });
    });
    Print("filter (click to result shown)", filter);
    std::printf("  %s\n  progress seen: %s\n", qPrintable(label2->text()),
                qPrintable(filterProgress.join(QStringLiteral(" | "))));

    const double peak = PeakMemoryMiB();
    const double textMiB = double(utf8Bytes) / (1 << 20);
    std::printf("peak memory %s: %.0f MiB = %.1fx the text (%.0f MiB more than before the paste "
                "= %.1fx)\n",
                reset ? "during paste and filter" : "of the whole run", peak, peak / textMiB,
                peak - before, (peak - before) / textMiB);
    std::printf("goal: count within 1000 ms, filter within 1000 ms, no stall over 50 ms, peak at "
                "most 4x the text\n");
    return 0;
}
