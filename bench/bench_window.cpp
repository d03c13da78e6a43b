// Drives the real window offscreen over a generated text of 1,000,000 lines (or the count
// given) and prints how long each command takes and how long the event loop is ever held up.
#include "../tests/fakedesktopservices.h"
#include "core/linefilter.h"
#include "textgen.h"
#include "ui/mainwindow.h"
#include "ui/textbox.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>

#include <cstdio>

namespace {

// Runs the event loop until `done` holds, and reports the time taken and the longest stretch
// during which the loop could not run (the longest gap between ticks of a 1 ms timer).
struct Measure {
    double ms = 0;
    double longestStallMs = 0;
};

template <typename Start, typename Done> Measure RunUntil(Start start, Done done) {
    Measure m;
    QElapsedTimer total;
    QElapsedTimer gap;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        m.longestStallMs = std::max(m.longestStallMs, double(gap.nsecsElapsed()) / 1e6);
        gap.restart();
    });
    ticker.start();
    total.start();
    gap.start();
    QTimer::singleShot(0, [&] { start(); });
    while (!done() || total.elapsed() < 5)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    m.ms = double(total.nsecsElapsed()) / 1e6;
    m.longestStallMs = std::max(m.longestStallMs, double(gap.nsecsElapsed()) / 1e6);
    return m;
}

void Print(const char* what, const Measure& m) {
    std::printf("%-34s %8.0f ms   longest stall %5.0f ms\n", what, m.ms, m.longestStallMs);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const qsizetype lines = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;

    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.txt"));
    const QString text = GenerateLines(lines);
    const QString filtered = FilterDuplicateLines(text);
    {
        QFile f(in);
        if (!f.open(QIODevice::WriteOnly) || f.write(text.toUtf8()) < 0)
            return 1;
    }
    std::printf("%lld lines, %.1f MB of UTF-8\n", static_cast<long long>(lines),
                double(QFileInfo(in).size()) / 1e6);

    // The yardstick: a bare text edit of the same size given the whole text at once.
    double bareMs = 0;
    {
        QPlainTextEdit bare;
        bare.resize(225, 137);
        bare.show();
        QCoreApplication::processEvents();
        const Measure m = RunUntil([&] { bare.setPlainText(text); }, [] { return true; });
        bareMs = m.ms;
        Print("bare setPlainText", m);
    }

    FakeDesktopServices services;
    MainWindow window(services);
    window.show();
    QCoreApplication::processEvents();
    auto* text1 = window.findChild<TextBox*>(QStringLiteral("Text1"));
    auto* text2 = window.findChild<TextBox*>(QStringLiteral("Text2"));
    auto* label1 = window.findChild<QLabel*>(QStringLiteral("Label1"));
    auto* label2 = window.findChild<QLabel*>(QStringLiteral("Label2"));
    auto button = [&](const char* name) {
        return window.findChild<QPushButton*>(QString::fromLatin1(name));
    };

    services.dialogAnswers = {in};
    const QString inCaption = BeforeFilterCaption(CountNonBlankLines(text));
    const Measure import = RunUntil([&] { button("Command2")->click(); },
                                    [&] { return !window.busy() && label1->text() == inCaption; });
    Print("import (choice to text shown)", import);

    const QString outCaption = AfterFilterCaption(CountNonBlankLines(filtered));
    const Measure filter = RunUntil([&] { button("Command1")->click(); },
                                    [&] { return !window.busy() && label2->text() == outCaption; });
    Print("filter (click to output shown)", filter);
    std::printf("  import %.2fx, filter %.2fx a bare setPlainText\n", import.ms / bareMs,
                filter.ms / bareMs);
    if (text1->text() != text || text2->text() != filtered)
        std::printf("  WRONG: the boxes do not hold the expected texts\n");

    // Keystrokes in the middle of the full input box, label included.
    text1->setFocus();
    QTextCursor cursor(text1->document());
    cursor.setPosition(text1->document()->characterCount() / 2);
    text1->setTextCursor(cursor);
    double worstKey = 0;
    QElapsedTimer keys;
    keys.start();
    constexpr int kKeys = 50;
    for (int i = 0; i < kKeys; ++i) {
        QElapsedTimer one;
        one.start();
        QTest::keyClick(text1, i % 10 == 9 ? Qt::Key_Return : Qt::Key_X);
        QCoreApplication::processEvents();
        worstKey = std::max(worstKey, double(one.nsecsElapsed()) / 1e6);
    }
    const double meanKey = double(keys.nsecsElapsed()) / 1e6 / kKeys;
    const bool countRight = text1->nonBlankLineCount() == text1->recountNonBlankLines();
    std::printf("%-34s %8.2f ms   worst %5.1f ms (count %s)\n", "keystroke in the input box",
                meanKey, worstKey, countRight ? "right" : "WRONG");

    services.dialogAnswers = {dir.filePath(QStringLiteral("out.txt"))};
    const auto messages = services.messages.size();
    Print("save", RunUntil([&] { button("Command5")->click(); },
                           [&] { return services.messages.size() > messages; }));
    Print("copy", RunUntil([&] { button("Command4")->click(); },
                           [&] { return services.messages.size() > messages + 1; }));
    Print("filter again after typing",
          RunUntil([&] { button("Command1")->click(); }, [&] { return !window.busy(); }));
    std::printf("peak memory with both boxes full: %.0f MiB\n", PeakMemoryMiB());
    Print("clear", RunUntil([&] { button("Command3")->click(); },
                            [&] { return text1->document()->blockCount() == 1; }));
    return 0;
}
