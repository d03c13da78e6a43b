// Drives the real window offscreen over a generated text of 500,000 lines (the input box's bound,
// or the count given) and prints how long the event loop is ever held up while 标出重复 marks the
// lines a filter would remove: marking (with the text known, and read back after an edit), F3 and
// Shift+F3, paging and scrolling with the marks painted, and the edit that takes them away. Then
// the statistic's page of the removed lines: listed from the note of that filter, and a page of a
// million rows opened, sorted by either number and scrolled.
// Usage: bench_marks [LINES]
#include "../tests/fakedesktopservices.h"
#include "eventloop.h"
#include "platform/memory.h"
#include "textgen.h"
#include "ui/statistic/removedrows.h"
#include "ui/statistic/removedview.h"
#include "ui/statistic/repeatsdialog.h"
#include "ui/textbox/textbox.h"
#include "ui/window/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTextBlock>

#include <cstdio>

namespace {

// The worst of `times` runs of `action`, each with the events and the paint it causes.
template <typename Action> double Worst(QWidget& w, int times, Action action) {
    double worst = 0;
    for (int i = 0; i < times; ++i)
        worst = std::max(worst, Settled(w, action));
    return worst;
}

void PrintWorst(const char* what, int times, double ms) {
    std::printf("%-44s worst of %2d %8.1f ms\n", what, times, ms);
    std::fflush(stdout);
}

// A page of the removed lines with a million rows, as the window shows it: opened, sorted by the
// line repeated and back by the line's number, scrolled to its end.
void MillionRows(MainWindow& window, FakeDesktopServices& services) {
    constexpr qint64 kRows = 1000000;
    auto rows = std::make_shared<RemovedRows>(RemovedLimits{kRows, qsizetype(96) << 20});
    for (qint64 i = 0; i < kRows; ++i) {
        RemovedLine line;
        line.line = 2 * i + 2;
        line.why = i % 50 == 0 ? RemovedLine::Why::Blank : RemovedLine::Why::Repeat;
        line.keptLine = (i * 7919) % (2 * i + 1) + 1;
        line.text = line.why == RemovedLine::Why::Blank
                        ? QString()
                        : QStringLiteral("重复的行 %1").arg(i % 9973);
        rows->add(line);
    }
    auto statistic = std::make_shared<Statistic>();
    statistic->stats.linesRead = 2 * kRows;
    statistic->stats.linesRemoved = kRows;
    statistic->removed = rows;
    RepeatsDialog* dialog = nullptr;
    Print("removed-lines page alone, 1M rows: open",
          RunUntil(
              [&] {
                  dialog = new RepeatsDialog(statistic, FilterSource(QString()), EngineSettings{},
                                             FileFormat{}, services, &window);
                  dialog->showPage(RepeatsDialog::Page::Removed);
                  dialog->show();
              },
              [] { return true; }));
    QTableView* table = dialog->removedView()->table();
    QHeaderView* header = table->horizontalHeader();
    std::printf("  %d rows shown\n", table->model()->rowCount());
    Print("  sort by the line repeated",
          RunUntil([&] { header->setSortIndicator(1, Qt::AscendingOrder); }, [] { return true; }));
    Print("  the same, descending",
          RunUntil([&] { header->setSortIndicator(1, Qt::DescendingOrder); }, [] { return true; }));
    Print("  sort by the line's number, descending",
          RunUntil([&] { header->setSortIndicator(0, Qt::DescendingOrder); }, [] { return true; }));
    Print("  scroll to the end", RunUntil([&] { table->scrollToBottom(); }, [] { return true; }));
    Print("  closed", RunUntil([&] { delete dialog; }, [] { return true; }));
}

} // namespace

int main(int argc, char** argv) {
    MapLargeAllocations(); // as the program does
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const qsizetype lines = argc > 1 ? QByteArray(argv[1]).toLongLong() : 500000;
    const QString text = GenerateLines(lines);
    std::printf("%lld lines, %.1f MB of UTF-16 in the input box\n", static_cast<long long>(lines),
                double(text.size()) * 2 / 1e6);

    FakeDesktopServices services;
    MainWindow window(services);
    window.setLargeFileBounds({qint64(1) << 40, qint64(1) << 40});
    window.resize(700, 560);
    window.show();
    QCoreApplication::processEvents();
    auto* text1 = window.findChild<TextBox*>(QStringLiteral("Text1"));
    auto* text2 = window.findChild<TextBox*>(QStringLiteral("Text2"));
    auto* mark = window.findChild<QAction*>(QStringLiteral("MarkRepeats"));
    Print("set the text",
          RunUntil([&] { text1->setText(text); }, [&] { return !text1->isWorking(); }));

    auto marked = [&] { return !window.busy() && !text1->marks().empty(); };
    Print("标出重复 (text known)", RunUntil([&] { mark->trigger(); }, marked));
    std::printf("  %zu lines marked; note: %s\n", text1->marks().size(), qPrintable(text1->note()));

    text1->setFocus();
    PrintWorst("F3", 20, Worst(window, 20, [&] { QTest::keyClick(&window, Qt::Key_F3); }));
    text1->setTextCursor(QTextCursor(text1->document()));
    PrintWorst("Shift+F3 (the first goes round to the end)", 20,
               Worst(window, 20, [&] { QTest::keyClick(&window, Qt::Key_F3, Qt::ShiftModifier); }));
    text1->setTextCursor(QTextCursor(text1->document()));
    PrintWorst("page down with the marks painted", 20,
               Worst(window, 20, [&] { QTest::keyClick(text1, Qt::Key_PageDown); }));
    QScrollBar* bar = text1->verticalScrollBar();
    PrintWorst("scroll by a tenth with the marks painted", 10, Worst(window, 10, [&] {
                   bar->setValue((bar->value() + bar->maximum() / 10) % (bar->maximum() + 1));
               }));
    PrintWorst("resize the window with the marks painted", 4,
               Worst(window, 4, [&] { window.resize(window.width() == 700 ? 800 : 700, 560); }));
    Print("the first edit (the marks go)", RunUntil([&] { QTest::keyClick(text1, Qt::Key_X); },
                                                    [&] { return text1->marks().empty(); }));
    Print("标出重复 after the edit (text read back)", RunUntil([&] { mark->trigger(); }, marked));
    Print("Esc (the marks go)", RunUntil([&] { QTest::keyClick(text1, Qt::Key_Escape); },
                                         [&] { return text1->marks().empty(); }));
    PrintWorst("keystroke without marks, for comparison", 20,
               Worst(window, 20, [&] { QTest::keyClick(text1, Qt::Key_X); }));
    Print("F3 without marks (marks, goes to the next)",
          RunUntil([&] { QTest::keyClick(&window, Qt::Key_F3); },
                   [&] { return marked() && text1->note().startsWith(QStringLiteral("第 ")); }));

    // The removed lines of this filter, from the note of what went.
    Print("filter",
          RunUntil([&] { window.findChild<QPushButton*>(QStringLiteral("Command1"))->click(); },
                   [&] { return !window.busy() && !text2->isWorking(); }));
    RepeatsDialog* dialog = nullptr;
    auto* note = text2->findChild<QLabel*>(QStringLiteral("note"));
    Print("click on the note to the removed lines listed",
          RunUntil([&] { QTest::mouseClick(note, Qt::LeftButton, {}, note->rect().center()); },
                   [&] {
                       dialog = window.findChild<RepeatsDialog*>();
                       return !window.busy() && dialog && !dialog->isExporting() &&
                              dialog->removedView()->rows();
                   }));
    std::printf("  %lld removed lines listed\n",
                static_cast<long long>(dialog->removedView()->rows()->size()));
    delete dialog;
    MillionRows(window, services);
    std::printf("peak memory: %.0f MiB\n", PeakMemoryMiB());
    return 0;
}
