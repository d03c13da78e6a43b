// What the output box says about its result: what the last filter removed in each keep mode
// (checked against counts made here), that a result no longer belongs to the input, the filter
// run again as a preview when only the options change, and the statistic kept for the last
// filter and exported whole however many rows it has.
#include "eventturn.h"
#include "filehelpers.h"
#include "files/safefile.h"
#include "files/textcodec.h"
#include "testtext.h"
#include "ui/compare/filteroptionsmenu.h"
#include "ui/statistic/repeatsdialog.h"
#include "ui/statistic/repeatsexport.h"
#include "ui/textbox/textbox.h"
#include "ui/window/mainwindow.h"
#include "ui/window/wording.h"
#include "windowdriver.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QDir>
#include <QHash>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QThreadPool>

#include <map>

namespace {
// What a note says went, by kind: "重复", "有重复的行", "没有重复的行", "空行"; and "" for the
// whole count.
std::map<QString, qint64> NoteCounts(const QString& note) {
    std::map<QString, qint64> counts;
    const QRegularExpression whole(QStringLiteral("^已删除 ([\\d,]+) 行(.*)$"));
    const QRegularExpressionMatch m = whole.match(note);
    if (!m.hasMatch())
        return {{QStringLiteral("(unreadable)"), -1}};
    auto number = [](const QString& digits) { return QString(digits).remove(u',').toLongLong(); };
    counts[QString()] = number(m.captured(1));
    const QString rest = m.captured(2);
    if (rest.startsWith(u'（')) {
        const QRegularExpression part(
            QStringLiteral("(重复|有重复的行|没有重复的行|空行) ([\\d,]+) 行"));
        for (auto it = part.globalMatch(rest); it.hasNext();) {
            const QRegularExpressionMatch p = it.next();
            counts[p.captured(1)] = number(p.captured(2));
        }
    } else if (!rest.isEmpty()) {
        counts[rest] = counts[QString()];
    }
    return counts;
}

// The same counts made here, line by line, with exact comparison: blank lines are empty ones.
std::map<QString, qint64> ModelCounts(const QStringList& lines, KeepMode keep, bool keepBlank) {
    QHash<QString, qint64> seen;
    qint64 blanks = 0;
    qint64 nonBlank = 0;
    for (const QString& line : lines) {
        if (line.isEmpty())
            ++blanks;
        else
            ++seen[line], ++nonBlank;
    }
    qint64 once = 0;
    qint64 inRepeated = 0;
    for (auto it = seen.cbegin(); it != seen.cend(); ++it) {
        once += it.value() == 1;
        inRepeated += it.value() > 1 ? it.value() : 0;
    }
    const qint64 distinct = seen.size();
    std::map<QString, qint64> counts;
    const qint64 blanksGone =
        keepBlank ? 0 : blanks - (!lines.isEmpty() && lines.first().isEmpty() ? 1 : 0);
    if (blanksGone > 0)
        counts[QStringLiteral("空行")] = blanksGone;
    switch (keep) {
    case KeepMode::First:
    case KeepMode::Last:
    case KeepMode::Longest:
    case KeepMode::Shortest:
        if (nonBlank - distinct > 0)
            counts[QStringLiteral("重复")] = nonBlank - distinct;
        break;
    case KeepMode::Unique:
        if (inRepeated > 0)
            counts[QStringLiteral("有重复的行")] = inRepeated;
        break;
    case KeepMode::Repeated:
        if (once > 0)
            counts[QStringLiteral("没有重复的行")] = once;
        if (nonBlank - distinct > 0)
            counts[QStringLiteral("重复")] = nonBlank - distinct;
        break;
    }
    qint64 total = 0;
    for (const auto& [kind, n] : counts)
        total += n;
    counts[QString()] = total;
    return counts;
}

// The lines of a text as the filter sees them: a line break at the very end ends the last line.
QStringList Lines(const QString& text) {
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (text.endsWith(QStringLiteral("\r\n")))
        lines.removeLast();
    return lines;
}

const char* const kKeepActions[] = {"KeepFirst", "KeepLast", "KeepUnique", "KeepRepeated"};

// A short list as a user pastes it: 22 lines, 3 of them blank, 14 different among the other 19.
QString TwentyTwoLines() {
    QStringList lines;
    for (int i = 0; i < 14; ++i)
        lines.append(QStringLiteral("行%1").arg(i));
    for (int i = 0; i < 5; ++i)
        lines.append(QStringLiteral("行%1").arg(i * 2));
    lines.insert(3, QString());
    lines.insert(9, QString());
    lines.insert(15, QString());
    return lines.join(QStringLiteral("\r\n"));
}

} // namespace

class ResultsTest : public QObject, WindowDriver {
    Q_OBJECT
    QTemporaryDir dir;

    QString path(const QString& name) const { return dir.filePath(name); }
    QString note() { return text2()->note(); }
    void trigger(const char* action) {
        auto* a = window->findChild<QAction*>(QString::fromLatin1(action));
        QVERIFY2(a, action);
        a->trigger();
    }
    void filter() {
        click("Command1");
        QVERIFY(waitIdle());
    }
    RepeatsDialog* openStatistic() {
        trigger("ShowRepeats");
        if (!waitIdle())
            return nullptr;
        if (!QueuedWorkRan()) // the dialog comes at the next turn of the event loop
            return nullptr;
        return window->findChild<RepeatsDialog*>();
    }

private slots:
    void init() {
        makeWindow();
        window->show();
    }
    void cleanup() { dropWindow(); }

    // The note names what went in the words of each keep mode, with the counts of the lines it
    // took (made here, independently): other copies, blank lines, lines with repeats, lines
    // without. The short list of 22 lines first, in each mode.
    void removedNoteWords_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("keep");
        QTest::addColumn<bool>("keepBlank");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("label2");
        QTest::newRow("22 lines, first")
            << TwentyTwoLines() << "KeepFirst" << false << "已删除 8 行（重复 5 行，空行 3 行）"
            << "过滤后共14行";
        QTest::newRow("22 lines, last")
            << TwentyTwoLines() << "KeepLast" << false << "已删除 8 行（重复 5 行，空行 3 行）"
            << "过滤后共14行";
        QTest::newRow("22 lines, unique") << TwentyTwoLines() << "KeepUnique" << false
                                          << "已删除 13 行（有重复的行 10 行，空行 3 行）"
                                          << "过滤后共9行";
        QTest::newRow("22 lines, repeated")
            << TwentyTwoLines() << "KeepRepeated" << false
            << "已删除 17 行（没有重复的行 9 行，重复 5 行，空行 3 行）"
            << "过滤后共5行";
        QTest::newRow("22 lines, blank kept")
            << TwentyTwoLines() << "KeepFirst" << true << "已删除 5 行重复"
            << "过滤后共14行";
        QTest::newRow("blank lines only go") << "a⏎⏎b⏎⏎"
                                             << "KeepFirst" << false << "已删除 2 行空行"
                                             << "过滤后共2行";
        QTest::newRow("a blank first line stays")
            << "⏎a⏎⏎a"
            << "KeepFirst" << false << "已删除 2 行（重复 1 行，空行 1 行）"
            << "过滤后共1行";
        QTest::newRow("unique, repeats only") << "a⏎b⏎a"
                                              << "KeepUnique" << false << "已删除 2 行有重复的行"
                                              << "过滤后共1行";
        QTest::newRow("repeated, lines without repeats only")
            << "a⏎b⏎c⏎a"
            << "KeepRepeated" << false << "已删除 3 行（没有重复的行 2 行，重复 1 行）"
            << "过滤后共1行";
        QTest::newRow("nothing removed") << "a⏎b"
                                         << "KeepFirst" << false << "已删除 0 行"
                                         << "过滤后共2行";
    }
    void removedNoteWords() {
        QFETCH(QString, text);
        QFETCH(QString, keep);
        QFETCH(bool, keepBlank);
        QFETCH(QString, expected);
        QFETCH(QString, label2);
        trigger(keep.toLatin1().constData());
        if (keepBlank)
            trigger("OptionKeepBlank");
        text1()->setText(T(text));
        filter();
        QCOMPARE(note(), expected);
        QCOMPARE(label("Label2"), label2);
        const QStringList lines = Lines(T(text));
        const int modeIndex =
            int(std::find(std::begin(kKeepActions), std::end(kKeepActions), keep.toLatin1()) -
                std::begin(kKeepActions));
        QCOMPARE(NoteCounts(note()), ModelCounts(lines, KeepMode(modeIndex), keepBlank));
    }

    // Random texts over a few lines and blank ones: in every mode, with and without 保留空行,
    // the note's counts are those counted here.
    void removedNoteCountsOnRandomTexts() {
        QRandomGenerator random(17);
        for (int round = 0; round < 40; ++round) {
            QStringList lines;
            const int n = random.bounded(1, 30);
            for (int i = 0; i < n; ++i) {
                const int pick = random.bounded(8);
                lines.append(pick < 2 ? QString() : QStringLiteral("词%1").arg(pick));
            }
            const QString text = lines.join(QStringLiteral("\r\n"));
            for (int mode = 0; mode < 4; ++mode) {
                for (bool keepBlank : {false, true}) {
                    FilterOptions options;
                    options.keep = KeepMode(mode);
                    options.keepBlank = keepBlank;
                    find<FilterOptionsMenu>("FilterOptionsMenu")->setOptions(options);
                    emit find<FilterOptionsMenu>("FilterOptionsMenu")->optionsChanged(options);
                    text1()->setText(text);
                    filter();
                    QCOMPARE(NoteCounts(note()),
                             ModelCounts(Lines(text), KeepMode(mode), keepBlank));
                }
            }
        }
    }

    // Long counts are grouped in threes in the note; the count labels keep plain digits.
    void groupedNumbers() {
        QCOMPARE(Grouped(4997582), QStringLiteral("4,997,582"));
        QCOMPARE(Grouped(999), QStringLiteral("999"));
        QCOMPARE(Grouped(1000), QStringLiteral("1,000"));
        QString text;
        for (int i = 0; i < 1001; ++i)
            text += QStringLiteral("x\r\n");
        text1()->setText(text + QStringLiteral("y"));
        filter();
        QCOMPARE(note(), QStringLiteral("已删除 1,000 行重复"));
        QCOMPARE(label("Label1"), QStringLiteral("过滤前共1002行"));
    }

    // Once the input changes after a filter (typed, or a file imported), the note says at once
    // that the result is not the input's; the result stays, and is saved in the format of the
    // input it came from, not of the new file.
    void staleAfterANewInput_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("typed") << "type";
        QTest::newRow("imported") << "import";
        QTest::newRow("imported, then an option") << "import+option";
    }
    void staleAfterANewInput() {
        QFETCH(QString, how);
        WriteAll(path(QStringLiteral("utf8.txt")), QStringLiteral("甲\n乙\n甲\n").toUtf8());
        text1()->setText(T(QStringLiteral("甲⏎甲⏎乙")));
        filter();
        QCOMPARE(note(), QStringLiteral("已删除 1 行重复"));
        QVERIFY(!window->isResultStale());
        if (how == QStringLiteral("type")) {
            text1()->setFocus();
            QTest::keyClicks(text1(), QStringLiteral("z"));
        } else {
            importAnswering(path(QStringLiteral("utf8.txt")));
        }
        if (how.endsWith(QStringLiteral("option")))
            trigger("OptionIgnoreCase"); // the input changed: nothing is filtered again
        QVERIFY(window->isResultStale());
        QCOMPARE(note(), QStringLiteral("结果不是当前输入的过滤结果"));
        QCOMPARE(note(), StaleResultNote());
        QVERIFY(!window->busy());
        QCOMPARE(text2()->text(), T(QStringLiteral("甲⏎乙⏎")));
        QVERIFY(text2()->accessibleDescription().contains(StaleResultNote()));
        saveAnswering(path(QStringLiteral("old.txt")));
        QCOMPARE(ReadAll(path(QStringLiteral("old.txt"))),
                 EncodeText(T(QStringLiteral("甲⏎乙⏎")), TextEncoding::Gbk)->bytes);
        // Filtered again, the result is the input's, in its format.
        filter();
        QVERIFY(!window->isResultStale());
        QVERIFY(note().startsWith(QStringLiteral("已删除")));
        if (how != QStringLiteral("type")) {
            saveAnswering(path(QStringLiteral("new.txt")));
            QCOMPARE(ReadAll(path(QStringLiteral("new.txt"))), QByteArray("甲\n乙\n"));
        }
    }

    // A change of the options while the boxes still hold the last filter's input and result
    // filters again at once; the menu stays open, so that several options are set in one go.
    // An edit of the result is never overwritten: the note only says the result is stale.
    void optionsPreview_data() {
        QTest::addColumn<bool>("editedResult");
        QTest::newRow("result as filtered") << false;
        QTest::newRow("result edited") << true;
    }
    void optionsPreview() {
        QFETCH(bool, editedResult);
        text1()->setText(T(QStringLiteral("Apple⏎apple⏎ apple ⏎pear")));
        filter();
        QCOMPARE(text2()->text(), T(QStringLiteral("Apple⏎apple⏎ apple ⏎pear⏎")));
        if (editedResult) {
            text2()->setFocus();
            QTest::keyClicks(text2(), QStringLiteral("mine"));
        }
        const QString before = text2()->text();
        auto* menu = find<FilterOptionsMenu>("FilterOptionsMenu");
        menu->popup(QPoint(10, 10));
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        for (const char* name : {"OptionIgnoreCase", "OptionTrim"}) {
            QAction* action = window->findChild<QAction*>(QString::fromLatin1(name));
            const QRect at = menu->actionGeometry(action);
            QTest::mouseClick(menu, Qt::LeftButton, {}, at.center());
            QVERIFY(action->isChecked());
            QVERIFY2(menu->isVisible(), name); // still open for the next option
        }
        QVERIFY(waitIdle());
        QTRY_VERIFY(!window->busy());
        QVERIFY(QueuedWorkRan()); // a preview starts at the next turn of the event loop
        QVERIFY(waitIdle());
        if (editedResult) {
            QCOMPARE(text2()->text(), before);
            QCOMPARE(note(), StaleResultNote());
        } else {
            QCOMPARE(text2()->text(), T(QStringLiteral("Apple⏎pear⏎")));
            QCOMPARE(note(), QStringLiteral("已删除 2 行重复"));
        }
        // A command closes the menu.
        QAction* defaults = window->findChild<QAction*>(QStringLiteral("RestoreDefaults"));
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(defaults).center());
        QTRY_VERIFY(!menu->isVisible());
        QVERIFY(waitIdle());
        QVERIFY(QueuedWorkRan()); // a preview starts at the next turn of the event loop
        QVERIFY(waitIdle());
        if (!editedResult) // the default again, filtered again
            QCOMPARE(text2()->text(), T(QStringLiteral("Apple⏎apple⏎ apple ⏎pear⏎")));
    }

    // The keyboard sets options without closing the menu too.
    void optionsByKeyboard() {
        auto* menu = find<FilterOptionsMenu>("FilterOptionsMenu");
        menu->popup(QPoint(10, 10));
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        QAction* ignoreCase = window->findChild<QAction*>(QStringLiteral("OptionIgnoreCase"));
        QAction* last = window->findChild<QAction*>(QStringLiteral("KeepLast"));
        menu->setActiveAction(ignoreCase);
        QTest::keyClick(menu, Qt::Key_Return);
        menu->setActiveAction(last);
        QTest::keyClick(menu, Qt::Key_Space);
        QVERIFY(menu->isVisible());
        QVERIFY(ignoreCase->isChecked());
        QVERIFY(last->isChecked());
        QCOMPARE(window->filterOptions().keep, KeepMode::Last);
        // A chosen keep mode stays chosen.
        QTest::keyClick(menu, Qt::Key_Return);
        QVERIFY(last->isChecked());
        QTest::keyClick(menu, Qt::Key_Escape);
        QTRY_VERIFY(!menu->isVisible());
    }

    // On a large text the preview works in the background with its progress, and Esc cancels
    // it: the earlier result stays, said to be stale. An option changed while a preview works
    // starts it over with both.
    void largePreviewShowsProgressAndCancels() {
        text1()->setText(LargeText(150000));
        QTRY_VERIFY_WITH_TIMEOUT(!text1()->isWorking(), 60000);
        filter();
        const QString earlier = text2()->text();
        QCOMPARE(note(), QStringLiteral("已删除 100,000 行重复"));

        // Two options in a row: the first preview gives way to the second.
        trigger("OptionIgnoreCase");
        trigger("KeepUnique");
        QVERIFY(window->isResultStale());
        QTRY_VERIFY_WITH_TIMEOUT(!window->busy() && !window->isResultStale(), 60000);
        QCOMPARE(note(), QStringLiteral("已删除 150,000 行有重复的行"));
        QCOMPARE(text2()->text(), QString());

        bool progressSeen = false;
        bool cancelled = false;
        connect(text2(), &TextBox::workProgress, window.get(), [&] {
            if (!cancelled && !progressSeen)
                QThread::msleep(MainWindow::kProgressDelayMs + 100);
            progressSeen = progressSeen || text2()->isProgressShown();
            if (progressSeen && !cancelled) {
                cancelled = true;
                QTest::keyClick(window.get(), Qt::Key_Escape);
            }
        });
        const QString previewed = text2()->text();
        trigger("KeepFirst");
        QTRY_VERIFY(window->busy());
        QVERIFY(waitIdle());
        QVERIFY(progressSeen);
        QVERIFY(cancelled);
        QTRY_VERIFY_WITH_TIMEOUT(!text2()->isWorking(), 60000);
        QCOMPARE(text2()->text(), previewed);
        QVERIFY(window->isResultStale());
        QCOMPARE(note(), StaleResultNote());
        QVERIFY(previewed != earlier);
    }

    // An option changed while another command works (here an import) waits for it, and
    // cancels nothing; the import changed the input, so nothing is filtered then.
    void optionDuringAnotherCommand() {
        text1()->setText(T(QStringLiteral("a⏎a")));
        filter();
        QString big;
        for (int i = 0; i < 200000; ++i)
            big += QStringLiteral("line %1\n").arg(i % 1000);
        WriteAll(path(QStringLiteral("big.txt")), big.toUtf8());
        services->dialogAnswers = {path(QStringLiteral("big.txt"))};
        click("Command2");
        QVERIFY(window->busy());
        trigger("OptionIgnoreCase");
        QVERIFY(waitIdle());
        QVERIFY(QueuedWorkRan()); // a preview starts at the next turn of the event loop
        QVERIFY(waitIdle());
        QCOMPARE(label("Label1"), QStringLiteral("过滤前共200000行"));
        QCOMPARE(text2()->text(), T(QStringLiteral("a⏎")));
        QCOMPARE(note(), StaleResultNote());
    }

    // The statistic is counted once for each filter and kept: it opens again at once, and a
    // new filter counts its own.
    void statisticKept() {
        text1()->setText(T(QStringLiteral("b⏎a⏎b⏎c⏎a⏎b")));
        filter();
        RepeatsDialog* dialog = openStatistic();
        QVERIFY(dialog);
        QCOMPARE(dialog->listText(), T(QStringLiteral("3\tb⏎2\ta⏎")));
        dialog->close();
        QTRY_VERIFY(!window->findChild<RepeatsDialog*>());
        trigger("ShowRepeats");
        QVERIFY(!window->busy()); // nothing to count again
        QTRY_VERIFY((dialog = window->findChild<RepeatsDialog*>()));
        QCOMPARE(dialog->listText(), T(QStringLiteral("3\tb⏎2\ta⏎")));
        dialog->close();
        QTRY_VERIFY(!window->findChild<RepeatsDialog*>());
        text1()->setText(T(QStringLiteral("x⏎x")));
        filter();
        dialog = openStatistic();
        QVERIFY(dialog);
        QCOMPARE(dialog->listText(), T(QStringLiteral("2\tx⏎")));
        dialog->close();
    }

    // The list holds at most the rows it is given room for and says so; 复制列表 and 保存列表…
    // take every row all the same, most frequent first. Saved as a result is: the format of the
    // input, or the one chosen.
    void statisticExportBeyondTheList_data() {
        QTest::addColumn<int>("room");
        QTest::addColumn<SaveFormat>("format");
        QTest::addColumn<QByteArray>("saved");
        const QByteArray all("4\ta\r\n3\tb\r\n2\tc\r\n2\t\xbc\xd7\r\n2\te\r\n");
        QTest::newRow("room for all") << 5 << SaveFormat{} << all;
        QTest::newRow("room for two") << 2 << SaveFormat{} << all;
        QTest::newRow("room for four") << 4 << SaveFormat{} << all;
        QTest::newRow("room for two, UTF-8 and LF")
            << 2 << SaveFormat{SaveFormat::Encoding::Utf8, SaveFormat::Break::Lf}
            << QStringLiteral("4\ta\n3\tb\n2\tc\n2\t甲\n2\te\n").toUtf8();
        QTest::newRow("room for one, UTF-16LE")
            << 1 << SaveFormat{SaveFormat::Encoding::Utf16Le, SaveFormat::Break::Same}
            << EncodeText(QString::fromLatin1(all).replace(QStringLiteral("\xbc\xd7"),
                                                           QStringLiteral("甲")),
                          TextEncoding::Utf16LeBom)
                   ->bytes;
    }
    void statisticExportBeyondTheList() {
        QFETCH(int, room);
        QFETCH(SaveFormat, format);
        QFETCH(QByteArray, saved);
        window->setStatisticRows(room);
        text1()->setText(T(QStringLiteral("a⏎b⏎c⏎甲⏎e⏎a⏎b⏎c⏎甲⏎e⏎a⏎b⏎a⏎once")));
        filter();
        RepeatsDialog* dialog = openStatistic();
        QVERIFY(dialog);
        auto* table = dialog->findChild<QTableView*>(QStringLiteral("RepeatsTable"));
        QCOMPARE(table->model()->rowCount(), std::min(room, 5));
        const QString totals = dialog->findChild<QLabel*>(QStringLiteral("RepeatsTotals"))->text();
        QCOMPARE(totals.contains(QStringLiteral("列表只显示次数最多的 %1 行").arg(room)), room < 5);
        QCOMPARE(totals.contains(QStringLiteral("全部 5 行")), room < 5);

        dialog->findChild<QPushButton*>(QStringLiteral("CopyRepeats"))->click();
        QTRY_VERIFY(!dialog->isExporting());
        QCOMPARE(services->clipboard, T(QStringLiteral("4\ta⏎3\tb⏎2\tc⏎2\t甲⏎2\te⏎")));

        services->dialogAnswers = {path(QStringLiteral("统计"))};
        services->dialogFormatChoices = {format};
        dialog->findChild<QPushButton*>(QStringLiteral("SaveRepeats"))->click();
        QTRY_COMPARE(services->messages.last().prompt, QStringLiteral("统计已保存至指定路径！"));
        QCOMPARE(ReadAll(path(QStringLiteral("统计.txt"))), saved);
        dialog->close();
    }

    // GBK chosen for a list that GBK cannot hold: refused, nothing written; with the format of
    // the input (GBK for typed text) it becomes GB18030.
    void statisticSavedExactly() {
        window->setStatisticRows(1);
        text1()->setText(T(QStringLiteral("😀⏎😀⏎a⏎a⏎a")));
        filter();
        RepeatsDialog* dialog = openStatistic();
        QVERIFY(dialog);
        services->dialogAnswers = {path(QStringLiteral("gbk.txt")),
                                   path(QStringLiteral("same.txt"))};
        services->dialogFormatChoices = {
            SaveFormat{SaveFormat::Encoding::Gbk, SaveFormat::Break::Same}, SaveFormat{}};
        auto* save = dialog->findChild<QPushButton*>(QStringLiteral("SaveRepeats"));
        save->click();
        QTRY_VERIFY(!services->messages.isEmpty());
        QTRY_VERIFY(!dialog->isExporting());
        QCOMPARE(services->messages.last().style, 16);
        QVERIFY(services->messages.last().prompt.contains(QStringLiteral("GBK")));
        QVERIFY(services->messages.last().prompt.contains(path(QStringLiteral("gbk.txt"))));
        QVERIFY(!QFile::exists(path(QStringLiteral("gbk.txt"))));
        save->click();
        QTRY_COMPARE(services->messages.last().prompt, QStringLiteral("统计已保存至指定路径！"));
        QCOMPARE(ReadAll(path(QStringLiteral("same.txt"))),
                 EncodeText(T(QStringLiteral("3\ta⏎2\t😀⏎")), TextEncoding::Gb18030)->bytes);
        dialog->close();
    }

    // The list is written in pieces of kCopyChunkBytes: a list just below, at and just above
    // that size comes out whole, row for row.
    void statisticSavedInPieces_data() {
        QTest::addColumn<qint64>("size");
        QTest::newRow("below") << kCopyChunkBytes - 1;
        QTest::newRow("at") << kCopyChunkBytes;
        QTest::newRow("above") << kCopyChunkBytes + 1;
    }
    void statisticSavedInPieces() {
        QFETCH(qint64, size);
        // Rows "2<TAB>xxxx...<CR><LF>" of 100 bytes, the last one making up the size.
        Statistic statistic;
        QByteArray expected;
        for (qint64 row = 0; expected.size() < size; ++row) {
            const qint64 left = size - expected.size();
            const qint64 length = left >= 200 ? 100 : left; // the last two share what is left
            const qint64 textLength = (left >= 200 ? length : left) - 4;
            QString text = QStringLiteral("%1").arg(row, int(textLength), 10, QChar(u'x'));
            statistic.rows.push_back(RepeatedLine{text, 2});
            expected += "2\t" + text.toLatin1() + "\r\n";
        }
        statistic.stats.repeatedLines = qint64(statistic.rows.size());
        QCOMPARE(expected.size(), size);
        QTemporaryDir own;
        QVERIFY(SaveAllRepeats(statistic, FilterSource(QString()), EngineSettings{},
                               own.filePath(QStringLiteral("rows.txt")), TextEncoding::Gbk,
                               LineBreak::CrLf, false, {})
                    .ok());
        QCOMPARE(ReadAll(own.filePath(QStringLiteral("rows.txt"))), expected);
    }

    // Closing the dialog while it saves stops the save: nothing is written.
    void statisticSaveStoppedByClosing() {
        window->setStatisticRows(1);
        text1()->setText(LargeText(300000));
        QTRY_VERIFY_WITH_TIMEOUT(!text1()->isWorking(), 60000);
        filter();
        RepeatsDialog* dialog = openStatistic();
        QVERIFY(dialog);
        QTemporaryDir own;
        services->dialogAnswers = {own.filePath(QStringLiteral("stopped.txt"))};
        dialog->findChild<QPushButton*>(QStringLiteral("SaveRepeats"))->click();
        QVERIFY(dialog->isExporting());
        QPointer<RepeatsDialog> alive(dialog);
        dialog->findChild<QPushButton*>(QStringLiteral("CloseRepeats"))->click();
        QTRY_VERIFY(!alive);
        QTRY_COMPARE(QThreadPool::globalInstance()->activeThreadCount(), 0);
        QCOMPARE(QDir(own.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }
};

QTEST_MAIN(ResultsTest)
#include "tst_results.moc"
