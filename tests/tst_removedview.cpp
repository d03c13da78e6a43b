// What went, seen in the window: the statistic's page of the removed lines against a reference
// (its rows, both sorts, copy and save, the room of the list), the note that opens it, and the
// marks in the input box of what a filter would remove (where they are, F3 and Shift+F3, when
// they go, how they are painted and in what colour).
#include "core/grouped.h"
#include "filehelpers.h"
#include "files/textcodec.h"
#include "referencefilter.h"
#include "testtext.h"
#include "ui/appearance.h"
#include "ui/filteroptionsmenu.h"
#include "ui/removedexport.h"
#include "ui/removedmodel.h"
#include "ui/removedview.h"
#include "ui/repeatmarks.h"
#include "ui/repeatsdialog.h"
#include "ui/wording.h"
#include "windowdriver.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QRandomGenerator>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextBlock>

#include <numeric>

namespace {

// A removed line as the reference says it: its number (from 1), why ("3", "blank", "unique" or
// a list's name) and its text.
struct Gone {
    int line;
    QString why;
    QString text;
};

std::vector<Gone> ReferenceGone(const QString& text, const FilterOptions& o) {
    const QStringList lines = ReferenceLines(text);
    const std::vector<ReferenceFate> fates = ReferenceFates(lines, o, {});
    std::vector<Gone> gone;
    for (int i = 0; i < lines.size(); ++i) {
        if (!fates[std::size_t(i)].keep)
            gone.push_back({i + 1, fates[std::size_t(i)].why, lines[i]});
    }
    return gone;
}

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

FilterOptions WithKeep(FilterOptions o, const QString& keep, bool keepBlank) {
    const QStringList modes = {QStringLiteral("first"), QStringLiteral("last"),
                               QStringLiteral("unique"), QStringLiteral("repeated")};
    o.keep = KeepMode(modes.indexOf(keep));
    o.keepBlank = keepBlank;
    return o;
}

} // namespace

class RemovedViewTest : public QObject, WindowDriver {
    Q_OBJECT
    QTemporaryDir dir;

    QString path(const QString& name) const { return dir.filePath(name); }
    QLabel* noteOf(TextBox* box) const { return box->findChild<QLabel*>(QStringLiteral("note")); }
    void trigger(const char* action) {
        auto* a = window->findChild<QAction*>(QString::fromLatin1(action));
        QVERIFY2(a, action);
        a->trigger();
    }
    void setOptions(const FilterOptions& o) {
        auto* menu = find<FilterOptionsMenu>("FilterOptionsMenu");
        menu->setOptions(o);
        emit menu->optionsChanged(o);
    }
    void filter() {
        click("Command1");
        QVERIFY(waitIdle());
    }
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
    void mark() {
        trigger("MarkRepeats");
        QVERIFY(waitIdle());
    }
    void key(int key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(window.get(), Qt::Key(key), modifiers);
    }

private slots:
    void init() {
        makeWindow();
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }
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
        QTest::qWait(50);
        QVERIFY(!window->findChild<RepeatsDialog*>());
    }

    // 标出重复 marks exactly the lines the filter removes (as the reference says, and as many as
    // its note says), says how many, and marks nothing where nothing would go. Texts just below
    // and just above the size looked through on a worker thread.
    void marks_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("keep");
        QTest::addColumn<QString>("flags");
        QTest::newRow("repeats and blank lines") << "a⏎b⏎a⏎⏎c⏎b⏎⏎a"
                                                 << "first"
                                                 << "";
        QTest::newRow("keep the last") << "a⏎b⏎a⏎⏎c⏎b⏎⏎a"
                                       << "last"
                                       << "";
        QTest::newRow("only the repeated") << "a⏎b⏎a⏎⏎c⏎b⏎⏎a"
                                           << "repeated"
                                           << "";
        QTest::newRow("ignore case") << "Ab⏎aB⏎ab⏎c"
                                     << "first"
                                     << "case";
        QTest::newRow("no repeats") << "a⏎b⏎c"
                                    << "first"
                                    << "";
        QTest::newRow("empty box") << ""
                                   << "first"
                                   << "";
        // 262,144 characters is the most looked through on the window's thread.
        constexpr qsizetype kMost = 262144;
        QString most;
        for (int i = 0; most.size() + 22 <= kMost; ++i)
            most += QStringLiteral("line %1\r\n").arg(i % 997, 4, 10, QChar(u'0'));
        most += QString(kMost - most.size(), QChar(u'x'));
        QTest::newRow("at the background size") << most << "first"
                                                << "";
        QTest::newRow("just above it") << most + u'y' << "first"
                                       << "";
    }
    void marks() {
        QFETCH(QString, text);
        QFETCH(QString, keep);
        QFETCH(QString, flags);
        const FilterOptions o = WithKeep(Options(QString(), flags), keep, false);
        setOptions(o);
        text1()->setText(T(text));
        QTRY_VERIFY(!text1()->isWorking());
        mark();
        std::vector<int> expected;
        for (const Gone& g : ReferenceGone(T(text), o))
            expected.push_back(g.line - 1);
        QCOMPARE(text1()->marks(), expected);
        QCOMPARE(text1()->note(), MarksNote(qsizetype(expected.size()), -1));
        if (expected.empty())
            QCOMPARE(text1()->note(), QStringLiteral("没有过滤时会删除的行"));
        QCOMPARE(text1()->text(), T(text)); // marking changes nothing
        if (!text.isEmpty()) {
            filter();
            QCOMPARE(text2()->note().contains(
                         QStringLiteral("已删除 %1 行").arg(Grouped(qint64(expected.size())))),
                     true);
        }
    }

    // F3 goes to the next marked line, Shift+F3 to the previous one, around the ends; the note
    // says which one it is.
    void nextAndPrevious() {
        text1()->setText(T(QStringLiteral("a⏎b⏎a⏎c⏎b⏎a⏎d")));
        mark();
        QCOMPARE(text1()->marks(), (std::vector<int>{2, 4, 5}));
        struct Step {
            bool forward;
            int block;
            int index;
        };
        const Step steps[] = {{true, 2, 0},  {true, 4, 1},  {true, 5, 2}, {true, 2, 0},
                              {false, 5, 2}, {false, 4, 1}, {false, 2, 0}};
        for (const Step& step : steps) {
            key(Qt::Key_F3, step.forward ? Qt::NoModifier : Qt::ShiftModifier);
            QCOMPARE(text1()->textCursor().blockNumber(), step.block);
            QCOMPARE(text1()->textCursor().positionInBlock(), 0);
            QCOMPARE(text1()->note(), MarksNote(3, step.index));
            QVERIFY(text1()->hasFocus());
        }
        // From a line between marks.
        QTextCursor cursor(text1()->document()->findBlockByNumber(3));
        text1()->setTextCursor(cursor);
        key(Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(text1()->textCursor().blockNumber(), 2);
    }

    // The marks go at the first edit (with their note), at a change of the options and at Esc
    // (the note they stood in for comes back), when the boxes are cleared, and at an import
    // (whose note stays). F3 without marks marks again and goes to the first.
    void marksGo_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("noteBack");
        QTest::newRow("typed") << "type" << false;
        QTest::newRow("an option") << "option" << true;
        QTest::newRow("Esc") << "esc" << true;
        QTest::newRow("cleared") << "clear" << false;
        // The new text's own note stays.
        QTest::newRow("imported again") << "import" << true;
    }
    void marksGo() {
        QFETCH(QString, how);
        QFETCH(bool, noteBack);
        WriteAll(path(QStringLiteral("one.txt")), "a\nb\n");
        WriteAll(path(QStringLiteral("two.txt")), "a\nc\n");
        importAnswering(path(QStringLiteral("one.txt")) + u'\n' + path(QStringLiteral("two.txt")));
        const QString imported = text1()->note();
        QVERIFY(imported.startsWith(QStringLiteral("已导入 2 个文件")));
        mark();
        QCOMPARE(text1()->marks(), std::vector<int>{2});
        QCOMPARE(text1()->note(), MarksNote(1, -1));
        if (how == QStringLiteral("type")) {
            text1()->setFocus();
            text1()->moveCursor(QTextCursor::End);
            QTest::keyClicks(text1(), QStringLiteral("q"));
        } else if (how == QStringLiteral("option")) {
            trigger("OptionIgnoreCase");
        } else if (how == QStringLiteral("esc")) {
            text1()->setFocus();
            QTest::keyClick(text1(), Qt::Key_Escape);
        } else if (how == QStringLiteral("import")) {
            importAnswering(path(QStringLiteral("one.txt")) + u'\n' +
                            path(QStringLiteral("two.txt")));
        } else {
            click("Command3");
        }
        QVERIFY(text1()->marks().empty());
        QCOMPARE(text1()->note(), noteBack ? imported : QString());
        QVERIFY(waitIdle());
        if (how == QStringLiteral("clear"))
            return;
        // F3 marks again and goes to the first mark.
        text1()->setTextCursor(QTextCursor(text1()->document()));
        key(Qt::Key_F3);
        QVERIFY(waitIdle());
        QCOMPARE(text1()->marks().size(), std::size_t(1));
        QCOMPARE(text1()->textCursor().blockNumber(), text1()->marks().front());
        QCOMPARE(text1()->note(), MarksNote(1, 0));
    }

    // Marked lines are painted in the mark colour where they are on screen, at the top and
    // after the box has scrolled to a mark far down; the others keep the base colour.
    void marksPainted() {
        QString text;
        for (int i = 0; i < 3000; ++i)
            text += QStringLiteral("line %1⏎").arg(i == 2990 ? 1 : i);
        text1()->setText(T(text) + QStringLiteral("line 3"));
        QTRY_VERIFY(!text1()->isWorking());
        mark();
        QCOMPARE(text1()->marks(), (std::vector<int>{2990, 3000}));
        const QRgb color = MarkColor(text1()->palette()).rgb();
        const QRgb base = text1()->palette().color(QPalette::Base).rgb();
        // The colour at the right end of a line on screen, clear of its text.
        auto colourOf = [&](int block) {
            const QImage shot = text1()->viewport()->grab().toImage();
            const QRect r =
                text1()->cursorRect(QTextCursor(text1()->document()->findBlockByNumber(block)));
            return shot.pixel(shot.width() - 3,
                              r.center().y() * shot.height() / text1()->viewport()->height());
        };
        QCOMPARE(colourOf(0), base);
        key(Qt::Key_F3);
        QCOMPARE(colourOf(2990), color);
        QCOMPARE(colourOf(2989), base);
        QCOMPARE(colourOf(2991), base);
        key(Qt::Key_F3);
        QCOMPARE(colourOf(3000), color);
        QCOMPARE(colourOf(2999), base);
    }

    // The large-file mode shows only the file's beginning: marking is refused with a message.
    void largeFileRefused() {
        window->setLargeFileBounds({qint64(1) << 30, 5});
        QByteArray lines;
        for (int i = 0; i < 20; ++i)
            lines += QByteArray::number(i % 3) + '\n';
        WriteAll(path(QStringLiteral("large.txt")), lines);
        importAnswering(path(QStringLiteral("large.txt")));
        QVERIFY(window->isLargeInput());
        const auto before = services->messages.size();
        trigger("MarkRepeats");
        QVERIFY(waitIdle());
        QCOMPARE(services->messages.size(), before + 1);
        QCOMPARE(services->messages.last().title, QStringLiteral("标出重复"));
        QVERIFY(text1()->marks().empty());
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

    // The mark colour leaves the text readable on light, dark and grey schemes, and stands out
    // from the base.
    void markColour_data() {
        QTest::addColumn<QColor>("base");
        QTest::addColumn<QColor>("text");
        QTest::newRow("light") << QColor(Qt::white) << QColor(Qt::black);
        QTest::newRow("dark") << QColor(0x2a, 0x2a, 0x2a) << QColor(Qt::white);
        QTest::newRow("black") << QColor(Qt::black) << QColor(0xdd, 0xdd, 0xdd);
        QTest::newRow("grey, dark text") << QColor(0xa0, 0xa0, 0xa0) << QColor(Qt::black);
        QTest::newRow("solarized dark") << QColor(0x00, 0x2b, 0x36) << QColor(0x93, 0xa1, 0xa1);
    }
    void markColour() {
        QFETCH(QColor, base);
        QFETCH(QColor, text);
        QPalette palette;
        palette.setColor(QPalette::Base, base);
        palette.setColor(QPalette::Text, text);
        const QColor mark = MarkColor(palette);
        QVERIFY2(ContrastRatio(text, mark) >= 4.5, qPrintable(mark.name()));
        QVERIFY2(mark != base, qPrintable(mark.name()));
        QVERIFY(ContrastRatio(mark, base) > 1.1);
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
