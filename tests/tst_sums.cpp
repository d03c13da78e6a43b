// Lines merged with the exact sum of a column: rows against hand-written results and the plain
// reference, in memory, from files in two encodings and partitioned; the removed lines; random
// rounds; and the built program on files on disk.
#include "core/comparisonoptions.h"
#include "engine/engine.h"
#include "filehelpers.h"
#include "files/textcodec.h"
#include "referencefilter.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Options from a separator ("" for the tab), the column numbers compared ("" for every column
// but the summed one) and the command line's words: "sum=2 keep=last sort=text ignore-case".
FilterOptions SumOptions(const QString& separator, const QString& field, const QString& words) {
    const QString sep = separator.isEmpty() ? QStringLiteral("tab") : separator;
    FilterOptions o = Options(field.isEmpty() ? QString() : sep + u' ' + field, QString());
    QString error;
    o.key.separator = *ParseSeparator(sep, &error);
    if (const QStringList unknown = SetOptionWords(o, words); !unknown.isEmpty())
        qFatal("bad test row: %s", qPrintable(unknown.join(u' ')));
    return o;
}

} // namespace

class SumsTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

    static constexpr int kWays = 4;
    // The result of the engine for a text: 0 in memory as the window filters, 1 from a UTF-8
    // file, 2 from a GB18030 file, 3 from a UTF-8 file partitioned. With `removed`, the removed
    // lines as text.
    QString run(const QString& text, const EngineSettings& given, int where, EngineResult* r,
                QString* removed = nullptr) {
        EngineSettings settings = given;
        settings.tempDir = dir.path();
        settings.lineBreak = LineBreak::CrLf;
        BytesSink removedBytes;
        if (removed)
            settings.removedSink = &removedBytes;
        if (where == 0) {
            const TextFilterResult t = FilterText(NormalizeLineBreaks(text), settings);
            *r = t.result;
            if (removed)
                *removed = QString(reinterpret_cast<const QChar*>(removedBytes.bytes.constData()),
                                   removedBytes.bytes.size() / 2);
            return t.text;
        }
        if (where == 3)
            settings.memoryBudget = 1;
        const TextEncoding encoding = where == 2 ? TextEncoding::Gb18030 : TextEncoding::Utf8Bom;
        settings.inputEncoding = encoding;
        WriteAll(path(QStringLiteral("in.txt")), EncodeText(text, encoding)->bytes);
        BytesSink sink;
        *r = FilterFiles({path(QStringLiteral("in.txt"))}, sink, settings);
        auto decoded = [&](const QByteArray& bytes) {
            QString out;
            TextDecoder(encoding).decode(bytes, out);
            return out.startsWith(QChar(0xFEFF)) ? out.mid(1) : out;
        };
        if (removed)
            *removed = decoded(removedBytes.bytes);
        return decoded(sink.bytes);
    }

    // Runs every way, with and without the removed lines (which the work in memory then writes
    // from its tables after one pass), and compares each with the reference.
    void compareWays(const QString& input, const EngineSettings& settings, const QString& note) {
        const QString reference = ReferenceFilter(input, settings.options, settings.writeCounts);
        const QString referenceRemoved = ReferenceRemoved(input, settings.options);
        for (int way = 0; way < 2 * kWays; ++way) {
            const int where = way % kWays;
            const bool withRemoved = way < kWays;
            EngineResult r;
            QString removed = referenceRemoved;
            const QString actual =
                run(input, settings, where, &r, withRemoved ? &removed : nullptr);
            QVERIFY2(r.ok(), qPrintable(r.outcome.message()));
            QCOMPARE(r.partitioned, where == 3);
            QVERIFY2(actual == reference && removed == referenceRemoved,
                     qPrintable(QStringLiteral("%1 way %2\ninput: %3\nwant: %4\ngot:  %5\nwant "
                                               "removed: %6\ngot removed:  %7")
                                    .arg(note)
                                    .arg(way)
                                    .arg(PercentShown(input), PercentShown(reference),
                                         PercentShown(actual), PercentShown(referenceRemoved),
                                         PercentShown(removed))));
        }
    }

private slots:
    void merges_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("options");
        QTest::addColumn<bool>("counts");
        QTest::addColumn<QString>("expected");
        auto row = [](const char* name, const char* input, const char* options,
                      const char* expected, const char* separator = "", const char* field = "",
                      bool counts = false) {
            QTest::newRow(name) << QString::fromUtf8(input) << QString::fromUtf8(separator)
                                << QString::fromUtf8(field) << QString::fromUtf8(options) << counts
                                << QString::fromUtf8(expected);
        };
        row("word counts merge by word", "apple\t3\nbanana\t2\napple\t4", "sum=2",
            "apple\t7\nbanana\t2");
        row("signs and decimals", "a\t1.5\na\t-2\na\t+0.25", "sum=2", "a\t-0.25");
        row("as many decimals as the most precise copy", "a\t1.50\na\t1\nb\t0.1\nb\t0.2", "sum=2",
            "a\t2.50\nb\t0.3");
        row("a sum of zero has no sign", "a\t-1.0\na\t1\nb\t-3\nb\t3", "sum=2", "a\t0.0\nb\t0");
        row("past 64 bits", "n\t99999999999999999999\nn\t1", "sum=2", "n\t100000000000000000000");
        row("past 128 bits", "n\t-123456789012345678901234567890123456789012.5\nn\t1", "sum=2",
            "n\t-123456789012345678901234567890123456789011.5");
        row("columns that are no number stay", "a\t1\na\tx\na\t2\na\t1e3\na\t\na\t.5\na\t1.",
            "sum=2", "a\t3\na\tx\na\t1e3\na\t\na\t.5\na\t1.");
        row("a missing column stays", "a\t1\na\na\t2", "sum=2", "a\t3\na");
        row("a line met once is written as it stands", "a\t+05\nb\t1\nb\t1", "sum=2",
            "a\t+05\nb\t2");
        row("every other column is the key", "a\tx\t1\na\ty\t2\na\tx\t3", "sum=3",
            "a\tx\t4\na\ty\t2");
        row("the summed column in the middle", "a\t1\tz\na\t2\tz\nb\t5\tz", "sum=2",
            "a\t3\tz\nb\t5\tz");
        row("the first column summed", "1\tw\n2\tw", "sum=1", "3\tw");
        row("keep last", "a\t1\nb\t1\na\t2", "sum=2 keep=last", "b\t1\na\t3");
        row("keep longest", "a\t1\na\t22\na\t3", "sum=2 keep=longest", "a\t26");
        row("keep shortest", "a\t10\na\t2\na\t30\nb\t1", "sum=2 keep=shortest", "a\t42\nb\t1");
        row("keep repeated", "a\t1\nb\t2\na\t3", "sum=2 keep=repeated", "a\t4");
        row("keep unique", "a\t1\nb\t2\na\t3", "sum=2 keep=unique", "b\t2");
        row("compared by a field", "k\tx\t1\nk\ty\t2\nj\tx\t4", "sum=3", "k\tx\t3\nj\tx\t4", "tab",
            "1");
        row("cut by commas", "a,1\nb,2\na,3", "sum=2", "a,4\nb,2", ",");
        row("counts", "a\t1\na\t2\nb\t5", "sum=2", "2\ta\t3\n1\tb\t5", "", "", true);
        row("sorted after the sum", "b\t1\na\t2\nb\t3", "sum=2 sort=text", "a\t2\nb\t4");
        row("sorted by count", "b\t1\na\t2\nb\t3", "sum=2 sort=count", "b\t4\na\t2");
        row("ignoring case", "A\t1\na\t2", "sum=2 ignore-case", "A\t3");
        row("blank lines", "a\t1\n\na\t2\n\n", "sum=2", "a\t3");
        row("Chinese words", "词\t1\n语\t2\n词\t3", "sum=2", "词\t4\n语\t2");
    }
    void merges() {
        QFETCH(QString, input);
        QFETCH(QString, separator);
        QFETCH(QString, field);
        QFETCH(QString, options);
        QFETCH(bool, counts);
        QFETCH(QString, expected);
        EngineSettings settings;
        settings.options = SumOptions(separator, field, options);
        settings.writeCounts = counts;
        const QString reference = ReferenceFilter(input, settings.options, counts);
        QCOMPARE(reference,
                 expected.split(u'\n').join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
        compareWays(input, settings, QString::fromUtf8(QTest::currentDataTag()));
    }

    // Lines whose column is no number are counted as lines without a key.
    void statsCountTheLinesNotMerged() {
        EngineSettings settings;
        settings.options = SumOptions(QString(), QString(), QStringLiteral("sum=2"));
        for (int where = 0; where < kWays; ++where) {
            EngineResult r;
            run(QStringLiteral("a\t1\na\tx\nb\na\t2\nc\t"), settings, where, &r);
            QVERIFY(r.ok());
            QCOMPARE(r.stats.keylessLines, qint64(3));
            QCOMPARE(r.stats.linesKept, qint64(4));
            QCOMPARE(r.stats.repeatedLines, qint64(1));
        }
    }

    // A compared list's lines are keyed as the input's, every column but the summed one, and need
    // no number: a list of words removes (or keeps) those words' merged lines.
    void listsNeedNoNumbers_data() {
        QTest::addColumn<bool>("excludes");
        QTest::newRow("excluding") << true;
        QTest::newRow("intersecting") << false;
    }
    void listsNeedNoNumbers() {
        QFETCH(bool, excludes);
        const QString input = QStringLiteral("w\t1\nx\t2\nw\t3\ny\tz\nx\t4\nv\t5");
        const QString list = QStringLiteral("w\nx\tnone\ny\n");
        const std::vector<ReferenceList> lists{{excludes, list, QStringLiteral("list")}};
        EngineSettings settings;
        settings.options = SumOptions(QString(), QString(), QStringLiteral("sum=2"));
        WriteAll(path(QStringLiteral("list.txt")), list.toUtf8());
        settings.lists.push_back(
            ComparedList{excludes ? ComparedList::Kind::Exclude : ComparedList::Kind::Intersect,
                         path(QStringLiteral("list.txt")),
                         {},
                         QStringLiteral("list")});
        const QString expected = ReferenceFilter(input, settings.options, false, lists);
        QCOMPARE(expected, excludes ? QStringLiteral("y\tz\r\nv\t5\r\n")
                                    : QStringLiteral("w\t4\r\nx\t6\r\n"));
        for (int where = 1; where < kWays; ++where) {
            EngineResult r;
            QString removed;
            QCOMPARE(run(input, settings, where, &r, &removed), expected);
            QVERIFY(r.ok());
            QCOMPARE(removed, ReferenceRemoved(input, settings.options, lists));
        }
    }

    // Random word lists with numbers, keep modes, sort orders and counts, against the reference,
    // with their removed lines.
    void randomAgainstReference() {
        QRandomGenerator rng(3233);
        static const QString words[] = {QStringLiteral("a"), QStringLiteral("A"),
                                        QStringLiteral("词"), QStringLiteral("b c"),
                                        QStringLiteral("")};
        static const QString numbers[] = {
            QStringLiteral("1"),     QStringLiteral("-2"),
            QStringLiteral("0.5"),   QStringLiteral("+3"),
            QStringLiteral("x"),     QStringLiteral(""),
            QStringLiteral("-0.05"), QStringLiteral("99999999999999999999"),
            QStringLiteral("007")};
        for (int round = 0; round < 120; ++round) {
            static const char* keeps[] = {"first",    "last",    "unique",
                                          "repeated", "longest", "shortest"};
            QStringList words2{QStringLiteral("sum=2"),
                               QStringLiteral("keep=") +
                                   QLatin1String(keeps[rng.bounded(int(std::size(keeps)))])};
            if (rng.bounded(3) == 0)
                words2 << QStringLiteral("sort=text");
            if (rng.bounded(4) == 0)
                words2 << QStringLiteral("ignore-case");
            const bool third = rng.bounded(3) == 0;
            EngineSettings settings;
            settings.options = SumOptions(QString(), QString(), words2.join(u' '));
            settings.writeCounts = rng.bounded(4) == 0;
            QStringList lines;
            for (int i = rng.bounded(1, 14); i > 0; --i) {
                QString line = words[rng.bounded(int(std::size(words)))];
                if (rng.bounded(8) != 0)
                    line += u'\t' + numbers[rng.bounded(int(std::size(numbers)))];
                if (third)
                    line += u'\t' + QString::number(rng.bounded(2));
                lines << line;
            }
            compareWays(lines.join(u'\n'), settings,
                        QStringLiteral("round %1 %2").arg(round).arg(words2.join(u' ')));
        }
    }

    // Many words under a small budget go through partitions, enough of them that partitions are
    // split further; the result and the removed lines are the very bytes of the work in memory.
    void partitionedGivesTheSameBytes_data() {
        QTest::addColumn<bool>("withRemoved");
        QTest::newRow("with the removed lines") << true;
        QTest::newRow("from the tables in memory") << false;
    }
    void partitionedGivesTheSameBytes() {
        QFETCH(bool, withRemoved);
        QVERIFY(QDir().mkpath(path(QStringLiteral("temporary"))));
        QRandomGenerator rng(32);
        QByteArray text;
        for (int i = 0; i < 60000; ++i) {
            text += "w" + QByteArray::number(rng.bounded(16000)) + '\t';
            const int kind = rng.bounded(20);
            text += kind == 0   ? QByteArray("n/a")
                    : kind == 1 ? QByteArray("-") + QByteArray::number(rng.bounded(100)) + ".25"
                                : QByteArray::number(rng.bounded(1000));
            text += '\n';
        }
        WriteAll(path(QStringLiteral("big.txt")), text);
        QByteArray outputs[2], removals[2];
        for (int way = 0; way < 2; ++way) {
            EngineSettings settings;
            settings.options = SumOptions(QString(), QString(), QStringLiteral("sum=2 keep=last"));
            settings.tempDir = path(QStringLiteral("temporary"));
            settings.memoryBudget = way == 0 ? 0 : qint64(256) << 10;
            BytesSink out, removed;
            if (withRemoved)
                settings.removedSink = &removed;
            const EngineResult r = FilterFiles({path(QStringLiteral("big.txt"))}, out, settings);
            QVERIFY2(r.ok(), qPrintable(r.outcome.message()));
            QCOMPARE(r.partitioned, way == 1);
            outputs[way] = out.bytes;
            removals[way] = removed.bytes;
        }
        QVERIFY(outputs[0].size() > 1000);
        QVERIFY(outputs[0] == outputs[1]);
        QVERIFY(removals[0] == removals[1]);
        QCOMPARE(removals[0].isEmpty(), !withRemoved);
        QCOMPARE(
            QString::fromUtf8(outputs[0]),
            ReferenceFilter(QString::fromUtf8(text),
                            SumOptions(QString(), QString(), QStringLiteral("sum=2 keep=last")))
                .replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        QCOMPARE(Entries(path(QStringLiteral("temporary"))), QStringList{});
    }

    // The built program on files on disk: the result file, the removed lines, the count of the
    // lines not merged, and the options it refuses with them.
    void commandLineOnFiles() {
        const QString in = path(QStringLiteral("词频.txt"));
        WriteAll(in, QStringLiteral("苹果\t3\n香蕉\t2\n苹果\t0.5\n梨\t许多\n香蕉\t-2\n").toUtf8());
        auto run = [&](const QStringList& arguments, QByteArray* err = nullptr) {
            QProcess p;
            p.start(QStringLiteral(TRENNIX_CLI), arguments);
            p.waitForFinished(60000);
            if (err)
                *err = p.readAllStandardError();
            return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        };
        const QString out = path(QStringLiteral("out.txt"));
        const QString removed = path(QStringLiteral("removed.txt"));
        for (const QString& memory : {QStringLiteral("1G"), QStringLiteral("1K")}) {
            QByteArray err;
            QCOMPARE(run({in, QStringLiteral("--sum"), QStringLiteral("2"), QStringLiteral("-o"),
                          out, QStringLiteral("--removed"), removed, QStringLiteral("--stats"),
                          QStringLiteral("--memory"), memory},
                         &err),
                     0);
            QCOMPARE(QString::fromUtf8(ReadAll(out)),
                     QStringLiteral("苹果\t3.5\n香蕉\t0\n梨\t许多\n"));
            QCOMPARE(QString::fromUtf8(ReadAll(removed)),
                     QStringLiteral("3\t1\t苹果\t0.5\n5\t2\t香蕉\t-2\n"));
            QVERIFY2(QString::fromUtf8(err).contains(
                         QStringLiteral("第 2 列不是数字（或没有键）而没有合并的行：1")),
                     err.constData());
        }
        QByteArray err;
        QCOMPARE(run({in, QStringLiteral("--sum"), QStringLiteral("2"), QStringLiteral("--similar"),
                      QStringLiteral("90")},
                     &err),
                 2);
        QVERIFY(QString::fromUtf8(err).contains(QStringLiteral("--sum 不能与 --similar 一起用")));
        QCOMPARE(run({in, QStringLiteral("--sum=2"), QStringLiteral("--field=2")}, &err), 2);
        QVERIFY(QString::fromUtf8(err).contains(QStringLiteral("不能同时是 --field 比较的列")));
        QCOMPARE(run({in, QStringLiteral("--sum=0")}, &err), 2);
        QCOMPARE(run({in, QStringLiteral("--separator=,")}, &err), 2);
        QCOMPARE(QString::fromUtf8(ReadAll(in)),
                 QStringLiteral("苹果\t3\n香蕉\t2\n苹果\t0.5\n梨\t许多\n香蕉\t-2\n"));
    }
};

QTEST_GUILESS_MAIN(SumsTest)
#include "tst_sums.moc"
