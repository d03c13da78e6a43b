// The page 相似的行 on its own: its model over the groups at the size of a large list, its search
// narrowed as a text is typed, and the characters of a line that differ from its kept line.
#include "similarsearch.h"
#include "ui/statistic/similargroups.h"
#include "ui/statistic/similarmodel.h"
#include "ui/statistic/similarview.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

#include <memory>

namespace {
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
} // namespace

class SimilarViewTest : public QObject {
    Q_OBJECT

private slots:
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

QTEST_MAIN(SimilarViewTest)
#include "tst_similarview.moc"
