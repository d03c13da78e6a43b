// What went, seen in the window: the statistic's page of the removed lines against a reference
// (its rows, both sorts, copy and save, the room of the list, several files), and the note that
// opens it.
#include "eventturn.h"
#include "filehelpers.h"
#include "files/textcodec.h"
#include "removeddriver.h"
#include "testtext.h"
#include "ui/statistic/removedexport.h"
#include "ui/statistic/removedmodel.h"
#include "ui/statistic/removedview.h"
#include "ui/statistic/repeatsdialog.h"
#include "ui/window/wording.h"

#include <QHeaderView>
#include <QLabel>
#include <QRandomGenerator>
#include <QTableView>

#include <numeric>

namespace {

// The reason as the list shows it.
QString Shown(const QString& why) {
    if (why == QStringLiteral("blank"))
        return QStringLiteral("空行");
    if (why == QStringLiteral("unique"))
        return QStringLiteral("只出现一次");
    return why;
}

// The order of the list sorted by why the lines went: repeats by the line they repeat, then
// blank lines, then lines that occur once; ties in input order either way.
std::vector<Gone> SortedByWhy(std::vector<Gone> gone, bool descending) {
    auto key = [](const Gone& g) {
        bool number = false;
        const qint64 n = g.why.toLongLong(&number);
        const qint64 group = number ? 0 : g.why == QStringLiteral("blank") ? 2 : 3;
        return std::pair(group, number ? n : 0);
    };
    std::stable_sort(gone.begin(), gone.end(), [&](const Gone& a, const Gone& b) {
        return descending ? key(b) < key(a) : key(a) < key(b);
    });
    return gone;
}

} // namespace

class RemovedViewTest : public QObject, RemovedDriver {
    Q_OBJECT

    QLabel* noteOf(TextBox* box) const { return box->findChild<QLabel*>(QStringLiteral("note")); }
    // The statistic opened by a click on the output box's note, once its removed lines are
    // listed.
    RepeatsDialog* clickNote() {
        QLabel* note = noteOf(text2());
        QTest::mouseClick(note, Qt::LeftButton, {}, note->rect().center());
        RepeatsDialog* dialog = nullptr;
        const bool listed = QTest::qWaitFor(
            [&] {
                dialog = window->findChild<RepeatsDialog*>();
                return !window->busy() && dialog && !dialog->isExporting() &&
                       dialog->removedView()->rows();
            },
            30000);
        return listed ? dialog : nullptr;
    }
    static std::vector<Gone> Rows(const QAbstractItemModel* model) {
        std::vector<Gone> rows;
        for (int r = 0; r < model->rowCount(); ++r) {
            auto cell = [&](int c) { return model->data(model->index(r, c)).toString(); };
            rows.push_back({cell(RemovedModel::Where).toInt(), cell(RemovedModel::Reason),
                            cell(RemovedModel::Text)});
        }
        return rows;
    }
    static void CompareRows(const std::vector<Gone>& shown, const std::vector<Gone>& expected) {
        QCOMPARE(shown.size(), expected.size());
        for (std::size_t i = 0; i < shown.size(); ++i) {
            QCOMPARE(shown[i].line, expected[i].line);
            QCOMPARE(shown[i].why, Shown(expected[i].why));
            QCOMPARE(shown[i].text, expected[i].text);
        }
    }
    void clickHeading(QTableView* table, int column) {
        QHeaderView* header = table->horizontalHeader();
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    }

private slots:
    void init() { showWindow(); }
    void cleanup() { dropWindow(); }

    // The page lists every removed line once, in input order, with the line it repeats, as the
    // reference says, in each keep mode and with options; a click on 行号 or 所重复的行 sorts by
    // that number (a second click backwards), one on 行 changes nothing.
    void rowsAndSorting_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("keep");
        QTest::addColumn<bool>("keepBlank");
        QTest::addColumn<QString>("flags");
        const QString mixed = QStringLiteral("b⏎a⏎b⏎⏎c⏎a⏎b⏎⏎d⏎a");
        QTest::newRow("first") << mixed << "first" << false << "";
        QTest::newRow("last") << mixed << "last" << false << "";
        QTest::newRow("unique") << mixed << "unique" << false << "";
        QTest::newRow("repeated") << mixed << "repeated" << false << "";
        QTest::newRow("blank lines kept") << mixed << "first" << true << "";
        QTest::newRow("ignore case, trim") << "Apple⏎ apple ⏎pear⏎APPLE⏎Pear"
                                           << "first" << false << "case trim";
        QTest::newRow("a blank first line stays") << "⏎x⏎⏎x⏎⏎"
                                                  << "first" << false << "";
        QTest::newRow("nothing removed") << "a⏎b⏎c"
                                         << "first" << false << "";
    }
    void rowsAndSorting() {
        QFETCH(QString, text);
        QFETCH(QString, keep);
        QFETCH(bool, keepBlank);
        QFETCH(QString, flags);
        const FilterOptions o = WithKeep(Options(QString(), flags), keep, keepBlank);
        setOptions(o);
        text1()->setText(T(text));
        filter();
        RepeatsDialog* dialog = clickNote();
        QVERIFY(dialog);
        QCOMPARE(dialog->page(), RepeatsDialog::Page::Removed);
        const std::vector<Gone> expected = ReferenceGone(T(text), o);
        auto* table = dialog->findChild<QTableView*>(QStringLiteral("RemovedTable"));
        QVERIFY(table->isVisible());
        CompareRows(Rows(table->model()), expected);
        QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("RemovedTotals"))->text(),
                 QStringLiteral("删除了 %1 行：").arg(expected.size()));

        clickHeading(table, RemovedModel::Reason);
        CompareRows(Rows(table->model()), SortedByWhy(expected, false));
        clickHeading(table, RemovedModel::Reason);
        CompareRows(Rows(table->model()), SortedByWhy(expected, true));
        clickHeading(table, RemovedModel::Text); // not sorted by: the order stays
        CompareRows(Rows(table->model()), SortedByWhy(expected, true));
        QCOMPARE(table->horizontalHeader()->sortIndicatorSection(), int(RemovedModel::Reason));
        clickHeading(table, RemovedModel::Where);
        clickHeading(table, RemovedModel::Where);
        CompareRows(Rows(table->model()), std::vector<Gone>(expected.rbegin(), expected.rend()));
        clickHeading(table, RemovedModel::Where);
        CompareRows(Rows(table->model()), expected);
        QCOMPARE(find<QPushButton>("CopyRepeats")->isEnabled(), !expected.empty());
        dialog->close();
    }

    // 复制列表 and 保存列表… on the page take every removed line, as the command line writes them,
    // also where the list has room for fewer (just below, at and just above their number): then
    // streamed from the engine once more. Saved in the input's format or the one chosen.
    void copyAndSave_data() {
        QTest::addColumn<int>("room");
        QTest::addColumn<SaveFormat>("format");
        QTest::addColumn<QByteArray>("saved");
        // 7 removed lines.
        const QByteArray gbk("3\t1\ta\r\n5\tblank\t\r\n6\t2\t\xbc\xd7\r\n7\t1\ta\r\n8\t2\t\xbc\xd7"
                             "\r\n9\tblank\t\r\n10\t1\ta\r\n");
        QTest::newRow("room for all") << 100 << SaveFormat{} << gbk;
        QTest::newRow("room for one less") << 6 << SaveFormat{} << gbk;
        QTest::newRow("room for them exactly") << 7 << SaveFormat{} << gbk;
        QTest::newRow("room for one more") << 8 << SaveFormat{} << gbk;
        QTest::newRow("room for one, UTF-8 and LF")
            << 1 << SaveFormat{SaveFormat::Encoding::Utf8, SaveFormat::Break::Lf}
            << QStringLiteral(
                   "3\t1\ta\n5\tblank\t\n6\t2\t甲\n7\t1\ta\n8\t2\t甲\n9\tblank\t\n10\t1\ta\n")
                   .toUtf8();
    }
    void copyAndSave() {
        QFETCH(int, room);
        QFETCH(SaveFormat, format);
        QFETCH(QByteArray, saved);
        window->setStatisticRows(room);
        const QString text = T(QStringLiteral("a⏎甲⏎a⏎b⏎⏎甲⏎a⏎甲⏎⏎a"));
        text1()->setText(text);
        filter();
        RepeatsDialog* dialog = clickNote();
        QVERIFY(dialog);
        auto* table = dialog->findChild<QTableView*>(QStringLiteral("RemovedTable"));
        QCOMPARE(table->model()->rowCount(), std::min(room, 7));
        const QString totals = dialog->findChild<QLabel*>(QStringLiteral("RemovedTotals"))->text();
        QCOMPARE(totals.contains(QStringLiteral("列表只显示前 %1 行").arg(room)), room < 7);

        find<QPushButton>("CopyRepeats")->click();
        QTRY_VERIFY(!dialog->isExporting());
        QCOMPARE(services->clipboard, ReferenceRemoved(text));
        QCOMPARE(services->messages.last().prompt, QStringLiteral("复制成功..."));

        services->dialogAnswers = {path(QStringLiteral("删除的行"))};
        services->dialogFormatChoices = {format};
        find<QPushButton>("SaveRepeats")->click();
        QTRY_COMPARE(services->messages.last().prompt,
                     QStringLiteral("已删除的行已保存至指定路径！"));
        QCOMPARE(ReadAll(path(QStringLiteral("删除的行.txt"))), saved);
        dialog->close();
    }

    // The room of a list: rows and characters just below, at and just above it, and lines just
    // within and just beyond what a row keeps of them. Whatever the list holds, the export
    // gives every line whole.
    void listRoom_data() {
        QTest::addColumn<qsizetype>("rows");
        QTest::addColumn<qsizetype>("chars");
        QTest::addColumn<int>("length"); // of each removed line
        QTest::addColumn<qsizetype>("held");
        QTest::addColumn<bool>("complete");
        constexpr int kShown = int(RemovedRows::kShownChars);
        QTest::newRow("rows: one less")
            << qsizetype(3) << qsizetype(1000) << 5 << qsizetype(3) << false;
        QTest::newRow("rows: exactly")
            << qsizetype(4) << qsizetype(1000) << 5 << qsizetype(4) << true;
        QTest::newRow("rows: one more")
            << qsizetype(5) << qsizetype(1000) << 5 << qsizetype(4) << true;
        QTest::newRow("chars: one less")
            << qsizetype(9) << qsizetype(19) << 5 << qsizetype(3) << false;
        QTest::newRow("chars: exactly")
            << qsizetype(9) << qsizetype(20) << 5 << qsizetype(4) << true;
        QTest::newRow("chars: one more")
            << qsizetype(9) << qsizetype(21) << 5 << qsizetype(4) << true;
        QTest::newRow("lines as long as a row keeps")
            << qsizetype(9) << qsizetype(10000) << kShown << qsizetype(4) << true;
        QTest::newRow("lines one longer")
            << qsizetype(9) << qsizetype(10000) << kShown + 1 << qsizetype(4) << false;
    }
    void listRoom() {
        QFETCH(qsizetype, rows);
        QFETCH(qsizetype, chars);
        QFETCH(int, length);
        QFETCH(qsizetype, held);
        QFETCH(bool, complete);
        // Four lines of `length` characters, then the same four again, which go.
        QStringList lines;
        for (int i = 0; i < 8; ++i)
            lines << QString(length, QChar(u'a' + i % 4));
        const QString text = lines.join(QStringLiteral("\r\n"));
        std::shared_ptr<const RemovedRows> listed;
        const FilterSource source(text);
        QVERIFY(ListRemoved(source, {}, {rows, chars}, {}, &listed).ok());
        QCOMPARE(listed->total(), qint64(4));
        QCOMPARE(listed->size(), held);
        QCOMPARE(listed->complete(), complete);
        const qsizetype kept = std::min<qsizetype>(length, RemovedRows::kShownChars);
        for (qsizetype i = 0; i < listed->size(); ++i) {
            QCOMPARE(listed->text(i).toString(), QString(kept, QChar(u'a' + int(i) % 4)));
            QCOMPARE(listed->isCut(i), kept < length);
        }
        QString all;
        QVERIFY(AllRemovedText(*listed, source, {}, {}, &all).ok());
        QCOMPARE(all, ReferenceRemoved(text));
    }

    // The note of what went opens the page of the removed lines; its text stays as it was. A
    // note that the result is stale opens nothing. The statistic from the menu opens on its own
    // page, and lists the removed lines once their page shows; they are kept for the filter.
    void noteOpensTheList() {
        text1()->setText(T(QStringLiteral("x⏎y⏎x⏎x")));
        filter();
        QLabel* note = noteOf(text2());
        QCOMPARE(note->text(), QStringLiteral("已删除 2 行重复"));
        QCOMPARE(note->cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(note->toolTip().contains(QStringLiteral("点击查看已删除的行")));
        RepeatsDialog* dialog = clickNote();
        QVERIFY(dialog);
        QCOMPARE(dialog->page(), RepeatsDialog::Page::Removed);
        QCOMPARE(note->text(), QStringLiteral("已删除 2 行重复"));
        QCOMPARE(text2()->note(), QStringLiteral("已删除 2 行重复"));
        const auto listed = dialog->removedView()->rows();
        dialog->close();
        QTRY_VERIFY(!window->findChild<RepeatsDialog*>());

        trigger("ShowRepeats");
        QTRY_VERIFY((dialog = window->findChild<RepeatsDialog*>()));
        QCOMPARE(dialog->page(), RepeatsDialog::Page::Repeats);
        dialog->showPage(RepeatsDialog::Page::Removed);
        QVERIFY(!dialog->isExporting()); // kept: nothing to list again
        QCOMPARE(dialog->removedView()->rows(), listed);
        dialog->close();
        QTRY_VERIFY(!window->findChild<RepeatsDialog*>());

        text1()->setFocus();
        QTest::keyClicks(text1(), QStringLiteral("z"));
        QCOMPARE(text2()->note(), StaleResultNote());
        QVERIFY(!text2()->isNoteClickable());
        QTest::mouseClick(note, Qt::LeftButton, {}, note->rect().center());
        QVERIFY(QueuedWorkRan());
        QVERIFY(!window->findChild<RepeatsDialog*>());
    }

    // Several files in the large-file mode: the page names each line's file, also for the line
    // it repeats, and lists the lines of the whole files, not only the beginning shown; its
    // copy is what the command line writes.
    void largeFilesNamed() {
        window->setLargeFileBounds({qint64(1) << 30, 5});
        WriteAll(path(QStringLiteral("one.txt")), "a\nb\na\nc\nd\ne\n");
        WriteAll(path(QStringLiteral("two.txt")), "b\nf\n\ne\ng\na\n");
        importAnswering(path(QStringLiteral("one.txt")) + u'\n' + path(QStringLiteral("two.txt")));
        QVERIFY(window->isLargeInput());
        filter();
        RepeatsDialog* dialog = clickNote();
        QVERIFY(dialog);
        auto* table = dialog->findChild<QTableView*>(QStringLiteral("RemovedTable"));
        const QAbstractItemModel* model = table->model();
        const QStringList expected = {
            QStringLiteral("one.txt:3|one.txt:1|a"), QStringLiteral("two.txt:1|one.txt:2|b"),
            QStringLiteral("two.txt:3|空行|"), QStringLiteral("two.txt:4|one.txt:6|e"),
            QStringLiteral("two.txt:6|one.txt:1|a")};
        QStringList shown;
        for (int r = 0; r < model->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < RemovedModel::Columns; ++c)
                cells << model->data(model->index(r, c)).toString();
            shown << cells.join(u'|');
        }
        QCOMPARE(shown, expected);
        find<QPushButton>("CopyRepeats")->click();
        QTRY_VERIFY(!dialog->isExporting());
        QCOMPARE(services->clipboard,
                 QStringLiteral("one.txt:3\tone.txt:1\ta\r\ntwo.txt:1\tone.txt:2\tb\r\n"
                                "two.txt:3\tblank\t\r\ntwo.txt:4\tone.txt:6\te\r\n"
                                "two.txt:6\tone.txt:1\ta\r\n"));
        dialog->close();
    }

    // The radix sort against std::stable_sort, on keys that differ in few or many digits.
    void stableOrder_data() {
        QTest::addColumn<quint64>("mask");
        QTest::addColumn<quint64>("top");
        QTest::newRow("all equal") << quint64(0) << quint64(0);
        QTest::newRow("small numbers") << quint64(0xff) << quint64(0);
        QTest::newRow("groups in the top bits") << quint64(0xfff) << quint64(1);
        QTest::newRow("all 64 bits") << ~quint64(0) << quint64(0);
    }
    void stableOrder() {
        QFETCH(quint64, mask);
        QFETCH(quint64, top);
        QRandomGenerator rng(7);
        std::vector<quint64> keys(5000);
        for (quint64& k : keys)
            k = (rng.generate64() & mask) | (quint64(rng.bounded(4)) * top) << 62;
        std::vector<quint32> expected(keys.size());
        std::iota(expected.begin(), expected.end(), 0);
        std::stable_sort(expected.begin(), expected.end(),
                         [&](quint32 a, quint32 b) { return keys[a] < keys[b]; });
        QCOMPARE(StableOrder(keys), expected);
    }
};

QTEST_MAIN(RemovedViewTest)
#include "tst_removedview.moc"
