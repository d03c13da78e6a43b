// Drives the real window offscreen over a generated text of 1,000,000 lines (or the count
// given) and prints how long each command takes and how long the event loop is ever held up.
// Then measures boxes holding very long lines: a bare QPlainTextEdit against the TextBox.
// With --large FILE, measures the large-file mode on that file instead (make one with
// gen_shapes), the statistic with its dialog included; with --import FILE, the file imported
// into the box whatever its size.
// Usage: bench_window [LINES] [--long-lines-only] [--large FILE] [--import FILE]
#include "../tests/fakedesktopservices.h"
#include "core/lines.h"
#include "engine/engine.h"
#include "eventloop.h"
#include "platform/memory.h"
#include "textgen.h"
#include "ui/statistic/repeatsdialog.h"
#include "ui/textbox/textbox.h"
#include "ui/window/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>

#include <cstdio>

namespace {

// A line of `length` characters: words of ASCII and Chinese separated by spaces.
QString LongLine(qsizetype length) {
    QString line;
    line.reserve(length);
    for (qsizetype i = 0; i < length; ++i)
        line +=
            i % 7 == 6 ? QChar(u' ') : QChar(char16_t(i % 3 ? u'a' + i % 26 : 0x4e00 + i % 500));
    return line;
}

// Set, a keystroke in the middle of the long line, a scroll and a resize, in an edit box of the
// window's size; three lines, the middle one long.
template <typename Box, typename Set>
void MeasureLongLines(const char* name, qsizetype length, Set set) {
    const QString line = LongLine(length);
    const QString text = QStringLiteral("short\r\n") + line + QStringLiteral("\r\nshort");
    Box box;
    box.resize(225, 137);
    box.show();
    QCoreApplication::processEvents();
    const double setMs = Settled(box, [&] { set(box, text); });
    QTextCursor cursor(box.document()->findBlockByNumber(1));
    cursor.movePosition(
        QTextCursor::Right, QTextCursor::MoveAnchor,
        std::min(int(length / 2), box.document()->findBlockByNumber(1).length() - 1));
    box.setTextCursor(cursor);
    box.setFocus();
    QCoreApplication::processEvents();
    const double editMs = Settled(box, [&] { QTest::keyClick(&box, Qt::Key_X); });
    const double scrollMs = Settled(
        box, [&] { box.verticalScrollBar()->setValue(box.verticalScrollBar()->maximum() / 2); });
    const double resizeMs = Settled(box, [&] { box.resize(300, 200); });
    std::printf("%-12s %8lld chars: set %8.1f  edit %8.1f  scroll %7.1f  resize %7.1f ms\n", name,
                static_cast<long long>(length), setMs, editMs, scrollMs, resizeMs);
    std::fflush(stdout);
}

void LongLines() {
    std::printf("\nBoxes with one long line among short ones (225x137 px, then 300x200):\n");
    for (const qsizetype length : {qsizetype(10000), qsizetype(100000), qsizetype(1000000)}) {
        MeasureLongLines<QPlainTextEdit>("QPlainTextEdit", length,
                                         [](QPlainTextEdit& b, const QString& t) {
                                             b.setWordWrapMode(QTextOption::WrapAnywhere);
                                             b.setPlainText(t);
                                         });
        MeasureLongLines<TextBox>("TextBox", length,
                                  [](TextBox& b, const QString& t) { b.setText(t); });
    }
    // A box holding 1,000 lines at the bound: edits that keep every line within it, scrolling,
    // resizing, and the keystroke that makes one line too long (the box becomes a preview).
    const QString line = LongLine(TextBox::kLongLine);
    QString text;
    for (int i = 0; i < 1000; ++i)
        text += line + QStringLiteral("\r\n");
    TextBox box;
    box.resize(225, 137);
    box.show();
    QCoreApplication::processEvents();
    const Measure set = RunUntil([&] { box.setText(text); }, [&] { return !box.isWorking(); });
    box.setFocus();
    double worstKey = 0;
    double worstPage = 0;
    for (int i = 0; i < 20; ++i) {
        worstKey = std::max(worstKey, Settled(box, [&] { QTest::keyClick(&box, Qt::Key_Delete); }));
        worstKey = std::max(worstKey, Settled(box, [&] { QTest::keyClick(&box, Qt::Key_X); }));
        worstPage =
            std::max(worstPage, Settled(box, [&] { QTest::keyClick(&box, Qt::Key_PageDown); }));
    }
    const double resizeMs = Settled(box, [&] { box.resize(400, 300); });
    std::printf("TextBox, 1,000 lines of %lld chars: set %.0f ms (longest stall %.0f ms); worst "
                "keystroke %.1f ms, page down %.1f ms, resize %.1f ms\n",
                static_cast<long long>(TextBox::kLongLine), set.ms, set.longestStallMs, worstKey,
                worstPage, resizeMs);
    QTextCursor end(box.document()->firstBlock());
    end.movePosition(QTextCursor::EndOfBlock);
    box.setTextCursor(end);
    const Measure over = RunUntil([&] { QTest::keyClick(&box, Qt::Key_X); },
                                  [&] { return box.isPreview() && !box.isWorking(); });
    std::printf("  the keystroke that makes a line too long: %.0f ms to a preview, longest stall "
                "%.0f ms\n",
                over.ms, over.longestStallMs);
}

// `file` imported into the box (whatever the large-file bounds), filtered, the window resized
// and cleared.
int ImportIntoTheBox(const QString& file) {
    std::printf("%s imported into the box, %.1f MB\n", qPrintable(file),
                double(QFileInfo(file).size()) / 1e6);
    FakeDesktopServices services;
    MainWindow window(services);
    window.setLargeFileBounds({qint64(1) << 40, qint64(1) << 40});
    window.show();
    QCoreApplication::processEvents();
    auto button = [&](const char* name) {
        return window.findChild<QPushButton*>(QString::fromLatin1(name));
    };
    auto* text1 = window.findChild<TextBox*>(QStringLiteral("Text1"));
    // Twice: the second time the memory holds what the first left behind.
    for (int round = 1; round <= 2; ++round) {
        std::printf("round %d\n", round);
        services.dialogAnswers = {file};
        Print("import", RunUntil([&] { button("Command2")->click(); },
                                 [&] { return !window.busy() && !text1->isWorking(); }));
        Print("filter",
              RunUntil([&] { button("Command1")->click(); }, [&] { return !window.busy(); }));
        Print("resize the window",
              RunUntil([&] { window.resize(700 - round * 100, 560); }, [] { return true; }));
        std::printf("peak memory: %.0f MiB\n", PeakMemoryMiB());
        Print("clear", RunUntil([&] { button("Command3")->click(); }, [] { return true; }));
    }
    return 0;
}

// The large-file mode on `file`: open, filter (with the progress seen), save, copy, the
// statistic and its dialog, a resize, clear.
int LargeFileMode(const QString& file) {
    std::printf("large-file mode on %s, %.1f MB\n", qPrintable(file),
                double(QFileInfo(file).size()) / 1e6);
    QTemporaryDir dir;
    FakeDesktopServices services;
    MainWindow window(services);
    window.show();
    QCoreApplication::processEvents();
    auto button = [&](const char* name) {
        return window.findChild<QPushButton*>(QString::fromLatin1(name));
    };
    auto* text2 = window.findChild<TextBox*>(QStringLiteral("Text2"));
    auto* label1 = window.findChild<QLabel*>(QStringLiteral("Label1"));
    auto* label2 = window.findChild<QLabel*>(QStringLiteral("Label2"));

    services.dialogAnswers = {file};
    Print("open (choice to beginning shown)",
          RunUntil([&] { button("Command2")->click(); },
                   [&] { return !window.busy() && window.isLargeInput(); }));
    std::printf("  %s\n", qPrintable(label1->text()));

    QStringList seen;
    QTimer sampler;
    sampler.setInterval(250);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        auto* bar = text2->findChild<QProgressBar*>();
        if (text2->isProgressShown() && (seen.isEmpty() || seen.last() != bar->format()))
            seen.append(bar->format());
    });
    sampler.start();
    Print("filter (click to result shown)",
          RunUntil([&] { button("Command1")->click(); },
                   [&] { return !window.busy() && window.isLargeResult(); }));
    sampler.stop();
    std::printf("  %s, %s\n  progress seen: %s\n", qPrintable(label2->text()),
                qPrintable(text2->note()), qPrintable(seen.join(QStringLiteral(" | "))));

    auto messages = services.messages.size();
    services.dialogAnswers = {dir.filePath(QStringLiteral("out.txt"))};
    Print("save (whole result)", RunUntil([&] { button("Command5")->click(); },
                                          [&] { return services.messages.size() > messages; }));
    std::printf("  %.1f MB written\n",
                double(QFileInfo(dir.filePath(QStringLiteral("out.txt"))).size()) / 1e6);
    messages = services.messages.size();
    Print("copy (whole result)", RunUntil([&] { button("Command4")->click(); },
                                          [&] { return services.messages.size() > messages; }));
    std::printf("  %s\n", qPrintable(services.messages.last().prompt.section(u'\n', 0, 0)));

    RepeatsDialog* dialog = nullptr;
    Print("statistic (request to dialog shown)",
          RunUntil([&] { window.findChild<QAction*>(QStringLiteral("ShowRepeats"))->trigger(); },
                   [&] {
                       dialog = window.findChild<RepeatsDialog*>();
                       return !window.busy() && dialog && dialog->isVisible();
                   }));
    if (dialog) {
        auto* table = dialog->findChild<QTableView*>(QStringLiteral("RepeatsTable"));
        std::printf("  %lld rows listed\n", static_cast<long long>(table->model()->rowCount()));
        Print("  scroll the list to its end",
              RunUntil([&] { table->scrollToBottom(); }, [] { return true; }));
        messages = services.messages.size();
        Print("  copy the list",
              RunUntil(
                  [&] { dialog->findChild<QPushButton*>(QStringLiteral("CopyRepeats"))->click(); },
                  [&] { return services.messages.size() > messages; }));
        std::printf("  %lld rows copied\n",
                    static_cast<long long>(services.clipboard.count(QStringLiteral("\r\n"))));
        services.clipboard.clear();
        dialog->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        Print(
            "statistic again (kept from the first time)",
            RunUntil([&] { window.findChild<QAction*>(QStringLiteral("ShowRepeats"))->trigger(); },
                     [&] {
                         dialog = window.findChild<RepeatsDialog*>();
                         return !window.busy() && dialog && dialog->isVisible();
                     }));
        if (dialog)
            dialog->close();
    }
    Print("resize the window", RunUntil([&] { window.resize(700, 560); }, [] { return true; }));
    std::printf("peak memory: %.0f MiB\n", PeakMemoryMiB());
    Print("clear",
          RunUntil([&] { button("Command3")->click(); }, [&] { return !window.isLargeInput(); }));

    // The statistic's dialog alone, with a million lines.
    auto statistic = std::make_shared<Statistic>();
    statistic->rows.resize(1000000);
    for (std::size_t i = 0; i < statistic->rows.size(); ++i)
        statistic->rows[i] = {QStringLiteral("重复的行 %1").arg(i),
                              qint64(statistic->rows.size() - i + 1)};
    statistic->stats.repeatedLines = qint64(statistic->rows.size());
    RepeatsDialog* alone = nullptr;
    Print("statistic dialog alone, 1M lines",
          RunUntil(
              [&] {
                  alone = new RepeatsDialog(statistic, FilterSource(QString()), EngineSettings{},
                                            FileFormat{}, services, &window);
                  alone->show();
              },
              [] { return true; }));
    Print("  closed", RunUntil([&] { delete alone; }, [] { return true; }));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    MapLargeAllocations(); // as the program does
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.contains(QStringLiteral("--long-lines-only"))) {
        LongLines();
        return 0;
    }
    if (const qsizetype at = args.indexOf(QStringLiteral("--large"));
        at > 0 && at + 1 < args.size())
        return LargeFileMode(args[at + 1]);
    if (const qsizetype at = args.indexOf(QStringLiteral("--import"));
        at > 0 && at + 1 < args.size())
        return ImportIntoTheBox(args[at + 1]);
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
    // The text goes into the box whatever its size: these are the box's own figures.
    window.setLargeFileBounds({qint64(1) << 40, qint64(1) << 40});
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

    // Resizing and scrolling the full boxes.
    Print("resize the window (full boxes)",
          RunUntil([&] { window.resize(600, 500); }, [] { return true; }));
    Print("page down in the input box", RunUntil(
                                            [&] {
                                                text1->setFocus();
                                                QTest::keyClick(text1, Qt::Key_PageDown);
                                            },
                                            [] { return true; }));

    // A filter cancelled while it fills the output box: Esc to both boxes as before.
    bool escaped = false;
    auto onSlice = QObject::connect(text2, &TextBox::workProgress, [&](int percent) {
        if (!escaped && text2->isFilling() && percent >= 50) {
            escaped = true;
            QTest::keyClick(&window, Qt::Key_Escape);
        }
    });
    const QString outputBefore = text2->text();
    Print("filter cancelled at half the fill",
          RunUntil([&] { button("Command1")->click(); },
                   [&] { return escaped && !window.busy() && !text2->isWorking(); }));
    QObject::disconnect(onSlice);
    if (text2->text() != outputBefore || text2->documentText() != outputBefore)
        std::printf("  WRONG: the output box is not as before\n");
    std::printf("peak memory with both boxes full: %.0f MiB\n", PeakMemoryMiB());
    Print("clear", RunUntil([&] { button("Command3")->click(); },
                            [&] { return text1->document()->blockCount() == 1; }));
    LongLines();
    return 0;
}
