// The removed lines: every line that is not in the result, once, with its number and why it went,
// against the reference; in memory and partitioned (also where partitions split); several inputs
// named; in the result's encoding and line break; and on the command line.
#include "cli/cli.h"
#include "engine/engine.h"
#include "engine/window/largefile.h"
#include "engine/writing/removedrow.h"
#include "filehelpers.h"
#include "files/textcodec.h"
#include "referencefilter.h"
#include "ui/statistic/removedexport.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Runs the command line in-process; its messages into *err.
int RunCli(const QStringList& arguments, QString* err) {
    QBuffer out, errors;
    out.open(QIODevice::WriteOnly);
    errors.open(QIODevice::WriteOnly);
    const int status = RunCommandLine(arguments, out, errors);
    *err = QString::fromUtf8(errors.data());
    return status;
}

} // namespace

class RemovedTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

    struct Removed {
        EngineResult result;
        QByteArray kept;
        QByteArray removed;
        std::vector<RemovedLine> told; // what the callback was told
    };
    Removed filter(const QStringList& inputs, EngineSettings settings) {
        Removed r;
        BytesSink out, removed;
        settings.removedSink = &removed;
        settings.removedOut = [&](const RemovedLine& line) {
            r.told.push_back(line);
            return true;
        };
        settings.tempDir = dir.path();
        r.result = FilterFiles(inputs, out, settings);
        r.kept = out.bytes;
        r.removed = removed.bytes;
        return r;
    }

private slots:
    // Random texts, options, keep modes and lists against the reference: the result is unchanged
    // by asking for the removed lines, and every other line is listed once, with why it went.
    void againstReference_data() {
        QTest::addColumn<int>("where"); // 0: a text and pasted lists, 1: a file, 2: partitioned
        QTest::newRow("text") << 0;
        QTest::newRow("file") << 1;
        QTest::newRow("file, partitioned") << 2;
    }
    void againstReference() {
        QFETCH(int, where);
        QRandomGenerator rng(quint32(77 + where));
        auto randomText = [&](int lines) {
            QStringList text;
            for (int i = 0; i < lines; ++i)
                text << RandomLine(rng);
            return text.join(u'\n');
        };
        for (int round = 0; round < 400; ++round) {
            FilterOptions o = round % 3 == 0 ? FilterOptions() : RandomOptions(rng);
            o.keep = KeepMode(rng.bounded(6));
            o.keepBlank = rng.bounded(4) == 0;
            const QString input = randomText(rng.bounded(1, 16));
            EngineSettings settings;
            settings.options = o;
            settings.lineBreak = LineBreak::CrLf;
            settings.tempDir = dir.path();
            std::vector<ReferenceList> lists;
            for (int i = 0, n = rng.bounded(3); i < n; ++i) {
                const QString name = QStringLiteral("list%1").arg(i);
                lists.push_back(
                    ReferenceList{rng.bounded(3) != 0, randomText(rng.bounded(6)), name});
                ComparedList compared{lists.back().excludes ? ComparedList::Kind::Exclude
                                                            : ComparedList::Kind::Intersect,
                                      {},
                                      {},
                                      name};
                if (where == 0) {
                    compared.text = lists.back().text;
                } else {
                    compared.path = path(name);
                    WriteAll(compared.path, lists.back().text.toUtf8());
                }
                settings.lists.push_back(compared);
            }
            if (where == 2)
                settings.memoryBudget = 1;
            BytesSink removed;
            settings.removedSink = &removed;
            QString kept;
            EngineResult r;
            if (where == 0) {
                const TextFilterResult t = FilterText(input, settings);
                kept = t.text;
                r = t.result;
            } else {
                WriteAll(path(QStringLiteral("in.txt")), input.toUtf8());
                BytesSink out;
                r = FilterFiles({path(QStringLiteral("in.txt"))}, out, settings);
                kept = QString::fromUtf8(out.bytes);
            }
            QVERIFY2(r.ok(), qPrintable(r.outcome.message()));
            QCOMPARE(r.partitioned, where == 2);
            QCOMPARE(kept, ReferenceFilter(input, o, false, lists));
            const QString expected = ReferenceRemoved(input, o, lists);
            // A box's text gives its removed lines as UTF-16, as its result.
            const QString got =
                where == 0 ? QString(reinterpret_cast<const QChar*>(removed.bytes.constData()),
                                     removed.bytes.size() / 2)
                           : QString::fromUtf8(removed.bytes);
            QVERIFY2(
                got == expected,
                qPrintable(QStringLiteral("round %1, keep %2\ninput: %3\ngot:\n%4\nwanted:\n%5")
                               .arg(round)
                               .arg(int(o.keep))
                               .arg(input, got, expected)));
            QCOMPARE(r.stats.linesRemoved, qint64(got.count(QStringLiteral("\r\n"))));
        }
    }

    // A larger input in every keep mode, with and without a list, with long lines: partitioned with
    // a budget so small that partitions split, the same removed lines as in memory and as the
    // reference.
    void partitionsThatSplit_data() {
        QTest::addColumn<int>("keep");
        QTest::addColumn<bool>("withList");
        for (int keep = 0; keep < 4; ++keep) {
            QTest::addRow("keep %d", keep) << keep << false;
            QTest::addRow("keep %d, list", keep) << keep << true;
        }
    }
    void partitionsThatSplit() {
        QFETCH(int, keep);
        QFETCH(bool, withList);
        QStringList lines, list;
        // Blank lines, and long lines whose keys stay in the input.
        for (int i = 0; i < 60000; ++i)
            lines << (i % 97 == 0   ? QString()
                      : i % 89 == 0 ? QString(300, u'长') + QString::number(i % 7)
                                    : QStringLiteral("行%1").arg(i * 7919 % 25013));
        for (int i = 0; i < 3000; ++i)
            list << QStringLiteral("行%1").arg(i * 11);
        const QString text = lines.join(u'\n');
        WriteAll(path(QStringLiteral("big.txt")), text.toUtf8());
        WriteAll(path(QStringLiteral("list.txt")), list.join(u'\n').toUtf8());
        EngineSettings settings;
        settings.options.keep = KeepMode(keep);
        settings.lineBreak = LineBreak::CrLf;
        std::vector<ReferenceList> lists;
        if (withList) {
            settings.lists.push_back(ComparedList{
                ComparedList::Kind::Exclude, path(QStringLiteral("list.txt")), {}, "list"});
            lists.push_back(ReferenceList{true, list.join(u'\n'), QStringLiteral("list")});
        }
        const Removed inMemory = filter({path(QStringLiteral("big.txt"))}, settings);
        settings.memoryBudget = 64 * 1024;
        const Removed partitioned = filter({path(QStringLiteral("big.txt"))}, settings);
        QVERIFY(inMemory.result.ok() && partitioned.result.ok());
        QVERIFY(!inMemory.result.partitioned && partitioned.result.partitioned);
        QVERIFY2(partitioned.result.partitions > 16,
                 qPrintable(QString::number(partitioned.result.partitions)));
        QCOMPARE(partitioned.kept, inMemory.kept);
        QCOMPARE(partitioned.removed, inMemory.removed);
        QCOMPARE(QString::fromUtf8(inMemory.removed),
                 ReferenceRemoved(text, settings.options, lists));
        QCOMPARE(partitioned.told.size(), inMemory.told.size());
    }

    // With several inputs a line is named by its input and its number there; the kept copy may
    // be in another input. The callback is told the same, as numbers.
    void severalInputs_data() {
        QTest::addColumn<bool>("partitioned");
        QTest::newRow("in memory") << false;
        QTest::newRow("partitioned") << true;
    }
    void severalInputs() {
        QFETCH(bool, partitioned);
        WriteAll(path(QStringLiteral("a.txt")), "x\ny\nx\n");
        WriteAll(path(QStringLiteral("empty.txt")), "");
        WriteAll(path(QStringLiteral("b.txt")),
                 EncodeText(QStringLiteral("y\n中文\nx\n中文"), TextEncoding::Gbk)->bytes);
        EngineSettings settings;
        settings.lineBreak = LineBreak::Lf;
        settings.inputNames = {QStringLiteral("a.txt"), QStringLiteral("empty.txt"),
                               QStringLiteral("b.txt")};
        if (partitioned)
            settings.memoryBudget = 1;
        const Removed r = filter({path(QStringLiteral("a.txt")), path(QStringLiteral("empty.txt")),
                                  path(QStringLiteral("b.txt"))},
                                 settings);
        QVERIFY2(r.result.ok(), qPrintable(r.result.outcome.message()));
        QCOMPARE(r.result.partitioned, partitioned);
        // The first input is read as GBK, the default: so is the result, and so are the removed.
        QCOMPARE(r.kept, EncodeText(QStringLiteral("x\ny\n中文\n"), TextEncoding::Gbk)->bytes);
        QCOMPARE(r.removed, EncodeText(QStringLiteral("a.txt:3\ta.txt:1\tx\n"
                                                      "b.txt:1\ta.txt:2\ty\n"
                                                      "b.txt:3\ta.txt:1\tx\n"
                                                      "b.txt:4\tb.txt:2\t中文\n"),
                                       TextEncoding::Gbk)
                                ->bytes);
        QCOMPARE(r.told.size(), std::size_t(4));
        const RemovedLine& last = r.told.back();
        QCOMPARE(last.input, 2);
        QCOMPARE(last.line, 4);
        QCOMPARE(last.keptInput, 2);
        QCOMPARE(last.keptLine, 2);
        QCOMPARE(last.text, QStringLiteral("中文"));
        QCOMPARE(r.told.front().why, RemovedLine::Why::Repeat);
    }

    // The removed lines take the result's encoding (GBK stays GBK, a mark stays) and line break;
    // a name GBK cannot hold is written as GB18030.
    void resultsEncodingAndBreak_data() {
        QTest::addColumn<int>("encoding");
        QTest::addColumn<QByteArray>("lineBreak");
        QTest::newRow("GBK, CR LF") << int(TextEncoding::Gbk) << QByteArray("\r\n");
        QTest::newRow("UTF-16LE, LF") << int(TextEncoding::Utf16LeBom) << QByteArray("\n");
        QTest::newRow("UTF-8 with a mark, CR") << int(TextEncoding::Utf8Bom) << QByteArray("\r");
    }
    void resultsEncodingAndBreak() {
        QFETCH(int, encoding);
        QFETCH(QByteArray, lineBreak);
        const auto e = TextEncoding(encoding);
        const QString text =
            QStringLiteral("甲\n乙\n甲\n\n乙").replace(u'\n', QString::fromLatin1(lineBreak));
        WriteAll(path(QStringLiteral("清单😀.txt")), EncodeText(text, e)->bytes);
        EngineSettings settings;
        settings.inputEncoding = e;
        settings.inputNames = {QStringLiteral("清单😀.txt"), QStringLiteral("清单😀.txt")};
        const Removed r = filter(
            {path(QStringLiteral("清单😀.txt")), path(QStringLiteral("清单😀.txt"))}, settings);
        QVERIFY2(r.result.ok(), qPrintable(r.result.outcome.message()));
        // The same input twice: each named by its position.
        QString expected = QStringLiteral("清单😀.txt#1:3\t清单😀.txt#1:1\t甲\n"
                                          "清单😀.txt#1:4\tblank\t\n"
                                          "清单😀.txt#1:5\t清单😀.txt#1:2\t乙\n"
                                          "清单😀.txt#2:1\t清单😀.txt#1:1\t甲\n"
                                          "清单😀.txt#2:2\t清单😀.txt#1:2\t乙\n"
                                          "清单😀.txt#2:3\t清单😀.txt#1:1\t甲\n"
                                          "清单😀.txt#2:4\tblank\t\n"
                                          "清单😀.txt#2:5\t清单😀.txt#1:2\t乙\n");
        expected.replace(u'\n', QString::fromLatin1(lineBreak));
        if (e == TextEncoding::Gbk) {
            // GBK has no emoji: the names are written in GB18030, which keeps GBK's bytes.
            QCOMPARE(r.removed, EncodeText(expected, TextEncoding::Gb18030)->bytes);
        } else {
            QCOMPARE(r.removed, EncodeText(expected, e)->bytes);
        }
    }

    // The callback stops the work as a cancel does; nothing more is written.
    void callbackStops() {
        WriteAll(path(QStringLiteral("in.txt")), "a\na\na\na\n");
        EngineSettings settings;
        int told = 0;
        settings.removedOut = [&](const RemovedLine&) { return ++told < 2; };
        BytesSink out;
        const EngineResult r = FilterFiles({path(QStringLiteral("in.txt"))}, out, settings);
        QVERIFY(r.outcome.wasCancelled());
        QCOMPARE(told, 2);
    }

    // On the command line: the file is written with the result, and refused when it is the
    // output itself; a failure to write it leaves the output as it was.
    void commandLine() {
        WriteAll(path(QStringLiteral("in.txt")), "b\na\nb\n");
        WriteAll(path(QStringLiteral("out.txt")), "old");
        QString err;
        QCOMPARE(
            RunCli({path("in.txt"), "-o", path("out.txt"), "--removed", path("gone.txt")}, &err),
            0);
        QCOMPARE(ReadAll(path("out.txt")), QByteArray("b\na\n"));
        QCOMPARE(ReadAll(path("gone.txt")), QByteArray("3\t1\tb\n"));

        WriteAll(path(QStringLiteral("out.txt")), "old");
        QCOMPARE(
            RunCli({path("in.txt"), "-o", path("out.txt"), "--removed", path("out.txt")}, &err), 2);
        QVERIFY2(err.contains(QStringLiteral("同一个文件")), qPrintable(err));
        QCOMPARE(RunCli({path("in.txt"), "--removed", "a", "--removed", "b"}, &err), 2);
        QVERIFY2(err.contains(QStringLiteral("--removed 给了 2 次")), qPrintable(err));
        QCOMPARE(
            RunCli({path("in.txt"), "-o", path("out.txt"), "--removed", path("no/gone.txt")}, &err),
            1);
        QVERIFY2(err.contains(QStringLiteral("gone.txt")), qPrintable(err));
        QCOMPARE(ReadAll(path("out.txt")), QByteArray("old"));
    }

    // Names that hold a tab or a line break, and an input given twice: every row keeps its three
    // fields and names each input so that it is told apart, and the window's export writes the
    // very rows the command line writes.
    void rowsWithAwkwardNames_data() {
        QTest::addColumn<QStringList>("inputs");
        QTest::addColumn<QString>("list"); // empty: none
        QTest::addColumn<QString>("firstRow");
        QTest::newRow("a tab in a name")
            << QStringList{"tab\tname.txt", "x.txt"} << QString() << "x.txt:1\ttab\\tname.txt:2\tb";
        QTest::newRow("a line break in a name") << QStringList{"line\nbreak.txt", "x.txt"}
                                                << QString() << "x.txt:1\tline\\nbreak.txt:2\tb";
        QTest::newRow("an escape and a CR in a name")
            << QStringList{"esc\x1b[2J\r.txt", "x.txt"} << QString()
            << "x.txt:1\tesc\\x1b[2J\\r.txt:2\tb";
        QTest::newRow("the same input twice")
            << QStringList{"x.txt", "y.txt", "x.txt"} << QString() << "y.txt:1\tx.txt#1:2\tb";
        QTest::newRow("a list with a tab in its name")
            << QStringList{"x.txt", "y.txt"} << "li\tst.txt"
            << "x.txt:2\tli\\tst.txt\tb";
    }
    void rowsWithAwkwardNames() {
        QFETCH(QStringList, inputs);
        QFETCH(QString, list);
        QFETCH(QString, firstRow);
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        WriteAll(inputs[0], "a\nb\n");
        for (qsizetype i = 1; i < inputs.size(); ++i) {
            if (inputs[i] != inputs[0])
                WriteAll(inputs[i], "b\na\nc\n");
        }
        QStringList arguments = inputs;
        EngineSettings settings;
        if (!list.isEmpty()) {
            WriteAll(list, "b\n");
            arguments << QStringLiteral("--exclude") << list;
            settings.lists.push_back(ComparedList{ComparedList::Kind::Exclude, list, {}, list});
        }
        QString err;
        const int status = RunCli(
            arguments + QStringList{"--crlf", "-o", "out.txt", "--removed", "rows.txt"}, &err);
        const QString rows = QString::fromUtf8(ReadAll(QStringLiteral("rows.txt")));
        // The window, given the same files (it names them by their file names, as here).
        LargeFile large;
        const Outcome opened = OpenLargeFiles(inputs, {}, &large);
        QString exported;
        if (opened.ok()) {
            const FilterSource source(std::make_shared<const LargeFile>(std::move(large)));
            std::shared_ptr<const RemovedRows> listed;
            QVERIFY(ListRemoved(source, settings, {}, {}, &listed).ok());
            QVERIFY(AllRemovedText(*listed, source, settings, {}, &exported).ok());
        }
        QDir::setCurrent(before);
        QVERIFY2(status == 0, qPrintable(err));
        QVERIFY2(opened.ok(), qPrintable(opened.message()));
        const QStringList lines = rows.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QVERIFY(!lines.isEmpty());
        QCOMPARE(lines.first(), firstRow);
        for (const QString& line : lines) {
            QVERIFY2(line.count(u'\t') == 2 && !line.contains(u'\n') && !line.contains(u'\r'),
                     qPrintable(line));
        }
        QCOMPARE(exported, rows);
    }

    // Names by rows: the system's separators, escapes, and a shared name told apart by position.
    void rowNames() {
        const QStringList rows = RemovedRowNames(
            {"a/b.txt", "a/b.txt", "c\td.txt", "-", QString::fromUtf16(u"e\u202eg.txt")});
        QCOMPARE(rows, (QStringList{QDir::toNativeSeparators("a/b.txt") + "#1",
                                    QDir::toNativeSeparators("a/b.txt") + "#2", "c\\td.txt", "-",
                                    "e\\u202eg.txt"}));
        QCOMPARE(RemovedRowPlace(1, 7, rows), QDir::toNativeSeparators("a/b.txt") + "#2:7");
        QCOMPARE(RemovedRowPlace(0, 7, {"only.txt"}), QStringLiteral("7"));
    }
};

QTEST_GUILESS_MAIN(RemovedTest)
#include "tst_removed.moc"
