// Near repeats in the window: the menu item with its percentage, the filter and its note, and the
// statistic's page of the similar lines with its ticks.
#include "core/comparisonoptions.h"
#include "engine/engine.h"
#include "eventturn.h"
#include "testtext.h"
#include "ui/compare/filteroptionsmenu.h"
#include "ui/statistic/repeatsdialog.h"
#include "ui/statistic/similargroups.h"
#include "ui/statistic/similarmodel.h"
#include "ui/statistic/similarview.h"
#include "ui/textbox/repeatmarks.h"
#include "ui/textbox/textbox.h"
#include "ui/window/mainwindow.h"
#include "ui/window/splitbutton.h"
#include "windowdriver.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

namespace {
// Keyword-like lines with a typo, a letter added and one equal copy.
const QString kKeywords = QStringLiteral(
    "机器学习教程⏎color chart⏎机器学习教材⏎colour chart⏎apple⏎apple⏎colour charts⏎pear");

// `count` groups: a kept line "Kept g" (line g * 10 + 1), then nine lines "line g-m".
std::shared_ptr<SimilarGroups> ManyGroups(int count) {
    auto listed = std::make_shared<SimilarGroups>();
    for (int g = 0; g < count; ++g) {
        SimilarGroup group{{0, g * 10 + 1}, QStringLiteral("Kept %1").arg(g), {}};
        for (int m = 0; m < 9; ++m)
            group.members.push_back(
                SimilarMember{{0, g * 10 + 2 + m}, 90, QStringLiteral("line %1-%2").arg(g).arg(m)});
        listed->groups.push_back(std::move(group));
    }
    listed->rows = listed->nearLines = qint64(count) * 9;
    return listed;
}

// Types `text` into the page's search and waits until its rows are shown.
bool SearchFor(SimilarView* view, const QString& text) {
    if (view->search()->text() == text) // no key, no search
        return view->searched() == text;
    QSignalSpy shown(view, &SimilarView::searchShown);
    view->search()->setText(text);
    return QTest::qWaitFor([&] { return !shown.isEmpty() && view->searched() == text; }, 60000);
}
} // namespace

class SimilarWindowTest : public QObject, WindowDriver {
    Q_OBJECT

    FilterOptionsMenu* menu() { return find<FilterOptionsMenu>("FilterOptionsMenu"); }
    QCheckBox* similarCheck() { return menu()->findChild<QCheckBox*>("OptionSimilar"); }
    QSpinBox* similarValue() { return menu()->findChild<QSpinBox*>("OptionSimilarValue"); }
    void restart() {
        window.reset();
        window = std::make_unique<MainWindow>(*services);
        window->show();
    }
    void filter(const QString& text) {
        text1()->setText(T(text));
        click("Command1");
        QVERIFY(waitIdle());
    }
    RepeatsDialog* openSimilarPage() {
        window->findChild<QAction*>(QStringLiteral("ShowRepeats"))->trigger();
        if (!waitIdle() || !QueuedWorkRan())
            return nullptr;
        auto* dialog = window->findChild<RepeatsDialog*>();
        if (!dialog || !dialog->similarView())
            return nullptr;
        dialog->showPage(RepeatsDialog::Page::Similar);
        if (!QTest::qWaitFor([dialog] { return dialog->similarView()->groups() != nullptr; },
                             60000))
            return nullptr;
        return dialog;
    }
    // The rows of the page as "place|similarity|text", a group's members indented by two spaces.
    static QStringList Rows(const QTreeView* tree) {
        const QAbstractItemModel* model = tree->model();
        QStringList rows;
        auto row = [model](const QModelIndex& parent, int r) {
            QStringList cells;
            for (const int c : {SimilarView::Place, SimilarView::Similarity, SimilarView::Text})
                cells << model->index(r, c, parent).data().toString();
            return cells.join(u'|');
        };
        for (int g = 0; g < model->rowCount(); ++g) {
            rows << row({}, g);
            const QModelIndex group = model->index(g, 0);
            for (int m = 0; m < model->rowCount(group); ++m)
                rows << QStringLiteral("  ") + row(group, m);
        }
        return rows;
    }

private slots:
    void init() {
        makeWindow();
        window->show();
    }
    void cleanup() { dropWindow(); }

    // The menu's box turns near repeats on at the usual percentage; its value changes them; the
    // button and the next start tell and bring back both; the other keep modes are off meanwhile.
    void menuItemRemembered_data() {
        QTest::addColumn<bool>("on");
        QTest::addColumn<int>("percent"); // set in the box; 0: left alone
        QTest::addColumn<int>("similar");
        QTest::newRow("off") << false << 0 << 0;
        QTest::newRow("on, usual") << true << 0 << 90;
        QTest::newRow("on, lowest") << true << 50 << 50;
        QTest::newRow("on, highest") << true << 99 << 99;
        QTest::newRow("value alone does nothing") << false << 70 << 0;
    }
    void menuItemRemembered() {
        QFETCH(bool, on);
        QFETCH(int, percent);
        QFETCH(int, similar);
        window->findChild<QAction*>(QStringLiteral("KeepLast"))->trigger();
        QVERIFY(similarCheck() && similarValue());
        QCOMPARE(similarValue()->value(), 90);
        QCOMPARE(similarValue()->minimum(), 50);
        QCOMPARE(similarValue()->maximum(), 99);
        similarCheck()->setChecked(on);
        if (percent != 0)
            similarValue()->setValue(percent);
        for (int run = 0; run < 2; ++run) {
            QCOMPARE(window->filterOptions().similar, similar);
            QCOMPARE(window->filterOptions().keep, on ? KeepMode::First : KeepMode::Last);
            const QString described = QStringLiteral("相似度达到 %1% 的行也算重复").arg(similar);
            QCOMPARE(find<SplitButton>("Command1")->toolTip().contains(described), on);
            QCOMPARE(similarCheck()->isChecked(), on);
            QCOMPARE(window->findChild<QAction*>(QStringLiteral("KeepLast"))->isEnabled(), !on);
            if (on)
                QCOMPARE(similarValue()->value(), similar);
            restart();
        }
    }

    // The box's filter removes near repeats at the percentage chosen, and its note tells them
    // from equal copies.
    void filterHonoursIt_data() {
        QTest::addColumn<int>("percent");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("note");
        QTest::newRow("80%") << 80 << "机器学习教程⏎color chart⏎apple⏎pear⏎"
                             << "已删除 4 行（重复 1 行，相似 3 行）；相似度达到 80% 的行也算重复";
        // 机器学习教材 is 5/6 alike: 83%.
        QTest::newRow("90%") << 90
                             << "机器学习教程⏎color chart⏎机器学习教材⏎apple⏎colour charts⏎pear⏎"
                             << "已删除 2 行（重复 1 行，相似 1 行）；相似度达到 90% 的行也算重复";
        // At the edge: 100 * 1 <= (100 - 83) * 6, but not at 84.
        QTest::newRow("83%") << 83 << "机器学习教程⏎color chart⏎apple⏎pear⏎"
                             << "已删除 4 行（重复 1 行，相似 3 行）；相似度达到 83% 的行也算重复";
        QTest::newRow("84%") << 84 << "机器学习教程⏎color chart⏎机器学习教材⏎apple⏎pear⏎"
                             << "已删除 3 行（重复 1 行，相似 2 行）；相似度达到 84% 的行也算重复";
    }
    void filterHonoursIt() {
        QFETCH(int, percent);
        QFETCH(QString, result);
        QFETCH(QString, note);
        similarValue()->setValue(percent);
        similarCheck()->setChecked(true);
        filter(kKeywords);
        QCOMPARE(text2()->text(), T(result));
        QCOMPARE(text2()->note(), note);
    }

    // The page lists the groups with a near repeat, the largest first, each line's similarity,
    // and finds by text; a tick keeps the line at the next filter, until the text changes.
    void pageAndTicks() {
        similarValue()->setValue(80);
        similarCheck()->setChecked(true);
        filter(kKeywords + QStringLiteral("⏎peach⏎pears"));
        RepeatsDialog* dialog = openSimilarPage();
        QVERIFY(dialog);
        QTreeView* tree = dialog->similarView()->tree();
        // color chart (2) has two near repeats; 机器学习教程 and pear one each; apple's group has
        // only an equal copy and is not listed.
        const QStringList expected{
            "2|2 行|color chart",  "  4|91%|colour chart", "  7|84%|colour charts",
            "1|1 行|机器学习教程", "  3|83%|机器学习教材", "8|1 行|pear",
            "  10|80%|pears",
        };
        QCOMPARE(Rows(tree), expected);
        const auto* model = tree->model();
        const QModelIndex member = model->index(1, SimilarView::Keep, model->index(0, 0));
        QCOMPARE(member.data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
        // The search keeps a group whose kept line or member matches.
        QVERIFY(SearchFor(dialog->similarView(), QStringLiteral("CHARTS")));
        QCOMPARE(Rows(tree), (QStringList{"2|2 行|color chart", "  7|84%|colour charts"}));
        QVERIFY(SearchFor(dialog->similarView(), QString()));
        // Ticking colour charts (line 7) keeps it at the next filter; nothing else changes.
        QVERIFY(tree->model()->setData(member, Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(window->keptByHand(), (std::vector<std::pair<int, qint64>>{{0, 7}}));
        QVERIFY(window->isResultStale());
        dialog->close();
        click("Command1");
        QVERIFY(waitIdle());
        QCOMPARE(text2()->text(), T("机器学习教程⏎color chart⏎apple⏎colour charts⏎pear⏎peach⏎"));
        QVERIFY2(text2()->note().endsWith(QStringLiteral("，手动保留 1 行")),
                 qPrintable(text2()->note()));
        // The next statistic shows the tick.
        dialog = openSimilarPage();
        QVERIFY(dialog);
        const auto* shown = dialog->similarView()->tree()->model();
        QCOMPARE(
            shown->index(1, SimilarView::Keep, shown->index(0, 0)).data(Qt::CheckStateRole).toInt(),
            int(Qt::Checked));
        dialog->close();
        // Another text forgets the ticks.
        text1()->setText(text1()->text() + QStringLiteral("\r\nx"));
        QVERIFY(window->keptByHand().empty());
    }

    // In the large-file mode the kept lines are read again from the files, so that each group
    // shows its kept line and the characters of its lines that differ, as for a box's text.
    void largeFileKeptLines_data() {
        QTest::addColumn<QByteArrayList>("files");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("first"); // the text of the first group's kept line
        QTest::newRow("one file, LF")
            << QByteArrayList{kKeywords.toUtf8().replace("⏎", "\n") + "\npeach\npears\n"}
            << QStringList{"2|2 行|color chart",  "  4|91%|colour chart", "  7|84%|colour charts",
                           "1|1 行|机器学习教程", "  3|83%|机器学习教材", "8|1 行|pear",
                           "  10|80%|pears"}
            << "color chart";
        QTest::newRow("byte-order mark, CR LF, no last break")
            << QByteArrayList{"\xEF\xBB\xBF"
                              "color chart\r\napple\r\ncolour chart"}
            << QStringList{"1|1 行|color chart", "  3|91%|colour chart"} << "color chart";
        // Each file's lines are counted from 1; a kept line in the first, another in the second.
        QTest::newRow("two files")
            << QByteArrayList{"机器学习教程\ncolor chart\n机器学习教材\n",
                              "colour chart\napple\napples\n"}
            << QStringList{"1|1 行|机器学习教程",  "  3|83%|机器学习教材", "2|1 行|color chart",
                           "  1|91%|colour chart", "2|1 行|apple",         "  3|83%|apples"}
            << "机器学习教程";
    }
    void largeFileKeptLines() {
        QFETCH(QByteArrayList, files);
        QFETCH(QStringList, rows);
        QFETCH(QString, first);
        window->setLargeFileBounds({qint64(1) << 30, 2});
        QTemporaryDir dir;
        QStringList paths;
        for (const QByteArray& bytes : files) {
            paths << dir.filePath(QStringLiteral("%1.txt").arg(paths.size()));
            QFile out(paths.last());
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(bytes);
        }
        similarValue()->setValue(80);
        similarCheck()->setChecked(true);
        importAnswering(paths.join(u'\n'));
        QVERIFY(window->isLargeInput());
        click("Command1");
        QVERIFY(waitIdle());
        RepeatsDialog* dialog = openSimilarPage();
        QVERIFY(dialog);
        QTreeView* tree = dialog->similarView()->tree();
        QCOMPARE(Rows(tree), rows);
        const QModelIndex line =
            tree->model()->index(0, SimilarView::Text, tree->model()->index(0, 0));
        QCOMPARE(line.data(SimilarModel::KeptTextRole).toString(), first);
        dialog->close();
    }

    // At the size of a large list (270,000 lines that went), the page reads the lines from the
    // groups as it shows them, with the same rows, search and ticks as for a few.
    void manyLines_data() {
        QTest::addColumn<QString>("searched");
        QTest::addColumn<int>("groups");
        QTest::addColumn<int>("lastGroupLines");
        QTest::newRow("all") << "" << 30000 << 9;
        QTest::newRow("a kept line, with all its lines") << "kept 29999" << 1 << 9;
        QTest::newRow("one line of each group") << "-8" << 30000 << 1;
        QTest::newRow("nothing") << "none" << 0 << 0;
    }
    void manyLines() {
        QFETCH(QString, searched);
        QFETCH(int, groups);
        QFETCH(int, lastGroupLines);
        SimilarView view;
        view.setGroups(ManyGroups(30000));
        view.resize(600, 400);
        view.show();
        QTreeView* tree = view.tree();
        // A model over the groups, not an item for each cell.
        const auto* model = qobject_cast<const SimilarModel*>(tree->model());
        QVERIFY(model);
        QVERIFY(SearchFor(&view, searched));
        QCOMPARE(model->rowCount(), groups);
        if (groups == 0)
            return;
        const QModelIndex last = model->index(groups - 1, 0);
        QCOMPARE(model->rowCount(last), lastGroupLines);
        QCOMPARE(last.data().toString(), QStringLiteral("299991"));
        QVERIFY(tree->isExpanded(last));
        const QModelIndex line = model->index(lastGroupLines - 1, SimilarView::Keep, last);
        QCOMPARE(model->index(line.row(), SimilarView::Text, last).data().toString(),
                 QStringLiteral("line 29999-8"));
        QCOMPARE(model->index(line.row(), SimilarView::Text, last)
                     .data(SimilarModel::KeptTextRole)
                     .toString(),
                 QStringLiteral("Kept 29999"));
        QVERIFY(tree->model()->setData(line, Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(view.keptByHand(), (std::vector<LinePlace>{{0, 300000}}));
        // The tick stays when the search goes.
        QVERIFY(SearchFor(&view, QString()));
        QCOMPARE(model->index(8, SimilarView::Keep, model->index(29999, 0))
                     .data(Qt::CheckStateRole)
                     .toInt(),
                 int(Qt::Checked));
    }

    // A search narrowed from the last one finds what a search of every group finds, whatever
    // was typed before; the page shows the last text's rows however fast the keys come.
    void searchNarrows_data() {
        QTest::addColumn<QStringList>("typed");
        QTest::newRow("a key at a time")
            << QStringList{"l", "li", "lin", "line", "line 1", "line 12", "line 12-3"};
        QTest::newRow("kept lines, then their lines") << QStringList{"2", "2-", "12-", "line 12-"};
        QTest::newRow("kept lines narrowed")
            << QStringList{"kept", "kept 1", "kept 12", "KEPT 123"};
        QTest::newRow("case changes") << QStringList{"LINE 1", "line 1-", "Line 1-8"};
        QTest::newRow("back and anew")
            << QStringList{"line 12-3", "line 12-", "ine 1-3", "", "-8", "9-8"};
        QTest::newRow("nothing left, then more") << QStringList{"x", "xy", "x"};
    }
    void searchNarrows() {
        QFETCH(QStringList, typed);
        const std::shared_ptr<const SimilarGroups> groups = ManyGroups(300);
        std::shared_ptr<const SimilarSearch> last;
        for (const QString& text : typed) {
            if (text.isEmpty()) {
                last = nullptr;
                continue;
            }
            const auto narrowed = SearchSimilar(*groups, text, last.get());
            const auto fresh = SearchSimilar(*groups, text, nullptr);
            QVERIFY2(narrowed && fresh && narrowed->sameRows(*fresh), qPrintable(text));
            last = narrowed;
        }
        SimilarView view;
        view.setGroups(groups);
        view.show();
        QSignalSpy shown(&view, &SimilarView::searchShown);
        for (const QString& text : typed)
            view.search()->setText(text);
        QVERIFY(QTest::qWaitFor([&] { return !shown.isEmpty() && view.searched() == typed.last(); },
                                60000));
        SimilarModel fresh;
        fresh.setGroups(groups, {});
        fresh.setSearch(typed.last());
        const QAbstractItemModel* model = view.tree()->model();
        QCOMPARE(model->rowCount(), fresh.rowCount());
        for (int g = 0; g < fresh.rowCount(); ++g) {
            QCOMPARE(model->index(g, 0).data().toString(), fresh.index(g, 0).data().toString());
            QCOMPARE(model->rowCount(model->index(g, 0)), fresh.rowCount(fresh.index(g, 0)));
            QVERIFY(view.tree()->isExpanded(model->index(g, 0)));
        }
    }

    // 标出重复 marks near repeats in a second shade, and its note tells them from equal copies.
    void marksTellNearApart_data() {
        QTest::addColumn<int>("percent");
        QTest::addColumn<QList<int>>("marked");
        QTest::addColumn<QList<int>>("near");
        QTest::newRow("80%") << 80 << QList<int>{2, 3, 5, 6} << QList<int>{2, 3, 6};
        QTest::newRow("90%") << 90 << QList<int>{3, 5} << QList<int>{3};
        QTest::newRow("off") << 0 << QList<int>{5} << QList<int>{};
    }
    void marksTellNearApart() {
        QFETCH(int, percent);
        QFETCH(QList<int>, marked);
        QFETCH(QList<int>, near);
        if (percent != 0) {
            similarValue()->setValue(percent);
            similarCheck()->setChecked(true);
        }
        text1()->setText(T(kKeywords));
        window->findChild<QAction*>(QStringLiteral("MarkRepeats"))->trigger();
        QVERIFY(waitIdle());
        QCOMPARE(QList<int>(text1()->marks().begin(), text1()->marks().end()), marked);
        QCOMPARE(QList<int>(text1()->secondMarks().begin(), text1()->secondMarks().end()), near);
        QCOMPARE(text1()->note(), MarksNote(qsizetype(marked.size()), -1, qsizetype(near.size())));
        if (!near.isEmpty())
            QVERIFY(text1()->note().contains(QStringLiteral("（相同 %1 行，相似 %2 行）")
                                                 .arg(marked.size() - near.size())
                                                 .arg(near.size())));
    }

    // The characters of a line that differ from its kept line, by the fewest edits.
    void differingChars_data() {
        QTest::addColumn<QString>("kept");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QByteArray>("marks");
        QTest::newRow("replaced") << "机器学习教程"
                                  << "机器学习教材" << QByteArray("000001");
        QTest::newRow("inserted") << "color chart"
                                  << "colour chart" << QByteArray("000010000000");
        QTest::newRow("deleted") << "colour"
                                 << "color" << QByteArray("00000");
        QTest::newRow("equal") << "apple"
                               << "apple" << QByteArray("00000");
        QTest::newRow("from nothing") << ""
                                      << "ab" << QByteArray("11");
        QTest::newRow("swapped") << "ab"
                                 << "ba" << QByteArray("11");
    }
    void differingChars() {
        QFETCH(QString, kept);
        QFETCH(QString, line);
        QFETCH(QByteArray, marks);
        QByteArray got = DifferingChars(kept, line);
        for (char& c : got)
            c = char('0' + c);
        QCOMPARE(got, marks);
    }
};

QTEST_MAIN(SimilarWindowTest)
#include "tst_similarwindow.moc"
