// Near repeats in the window: the menu item with its percentage, the filter and its note, and the
// statistic's page of the similar lines with its ticks, also in the large-file mode.
#include "core/comparisonoptions.h"
#include "engine/engine.h"
#include "eventturn.h"
#include "similarsearch.h"
#include "testtext.h"
#include "ui/compare/filteroptionsmenu.h"
#include "ui/statistic/repeatsdialog.h"
#include "ui/statistic/similarview.h"
#include "ui/textbox/repeatmarks.h"
#include "ui/textbox/textbox.h"
#include "ui/window/mainwindow.h"
#include "ui/window/splitbutton.h"
#include "windowdriver.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

namespace {
// Keyword-like lines with a typo, a letter added and one equal copy.
const QString kKeywords = QStringLiteral(
    "机器学习教程⏎color chart⏎机器学习教材⏎colour chart⏎apple⏎apple⏎colour charts⏎pear");
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
};

QTEST_MAIN(SimilarWindowTest)
#include "tst_similarwindow.moc"
