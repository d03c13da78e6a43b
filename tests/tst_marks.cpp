// The marks in the input box of what a filter would remove: where they are against a reference,
// F3 and Shift+F3, when they go, how they are painted, and their colour on light and dark
// schemes.
#include "core/grouped.h"
#include "filehelpers.h"
#include "removeddriver.h"
#include "testtext.h"
#include "ui/textbox/repeatmarks.h"
#include "ui/window/appearance.h"

#include <QTextBlock>

class MarksTest : public QObject, RemovedDriver {
    Q_OBJECT

private slots:
    void init() { showWindow(); }
    void cleanup() { dropWindow(); }

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
};

QTEST_MAIN(MarksTest)
#include "tst_marks.moc"
