// The kept lines in a sort order: each order against hand-written results and the plain reference,
// in memory, from files in two encodings, partitioned, and through sorted runs on disk.
#include "core/comparisonoptions.h"
#include "engine/engine.h"
#include "engine/writing/sortstage.h"
#include "filehelpers.h"
#include "files/textcodec.h"
#include "referencefilter.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>

namespace {

// Options from the command line's words: "sort=natural reverse ignore-case keep=last" (others,
// such as "counts", are read by the test).
FilterOptions SortOptions(const QString& key, const QString& words) {
    FilterOptions o = Options(key, QString());
    (void)SetOptionWords(o, words);
    return o;
}

} // namespace

class SortTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

    // The result of the engine for a text: 0 in memory as the window filters, 1 from a UTF-8
    // file, 2 from a GB18030 file, 3 from a UTF-8 file partitioned.
    QString run(const QString& text, const EngineSettings& given, int where, EngineResult* r) {
        EngineSettings settings = given;
        settings.tempDir = dir.path();
        settings.lineBreak = LineBreak::CrLf;
        if (where == 0) {
            const TextFilterResult t = FilterText(NormalizeLineBreaks(text), settings);
            *r = t.result;
            return t.text;
        }
        if (where == 3)
            settings.memoryBudget = 1;
        const TextEncoding encoding = where == 2 ? TextEncoding::Gb18030 : TextEncoding::Utf8Bom;
        settings.inputEncoding = encoding;
        WriteAll(path(QStringLiteral("in.txt")), EncodeText(text, encoding)->bytes);
        BytesSink sink;
        *r = FilterFiles({path(QStringLiteral("in.txt"))}, sink, settings);
        QString decoded;
        TextDecoder(encoding).decode(sink.bytes, decoded);
        return decoded.startsWith(QChar(0xFEFF)) ? decoded.mid(1) : decoded;
    }

private slots:
    void orders_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("options");
        QTest::addColumn<bool>("counts");
        QTest::addColumn<QString>("expected");
        auto row = [](const char* name, const char* input, const char* key, const char* options,
                      const char* expected, bool counts = false) {
            QTest::newRow(name) << QString::fromUtf8(input) << QString::fromUtf8(key)
                                << QString::fromUtf8(options) << counts
                                << QString::fromUtf8(expected);
        };
        row("no sort keeps the input order", "b\na\nc\na", "", "", "b\na\nc");
        row("text", "b\na\nc\na", "", "sort=text", "a\nb\nc");
        row("text reversed", "b\na\nc\na", "", "sort=text reverse", "c\nb\na");
        row("text by code point past U+FFFF", "\xF0\x9F\x98\x80\n\xEF\xBF\xBF\nz", "", "sort=text",
            "z\n\xEF\xBF\xBF\n\xF0\x9F\x98\x80");
        row("text ignoring case keeps the copy that stays", "b\nA\na\nB", "",
            "sort=text ignore-case", "A\nb");
        row("text of the last copies", "b\na\nB", "", "sort=text ignore-case keep=last", "a\nB");
        row("text of the unique lines", "c\na\nc\nb", "", "sort=text keep=unique", "a\nb");
        row("text of a column", "x\t3\ny\t1\nz\t2", "tab 2", "sort=text", "y\t1\nz\t2\nx\t3");
        row("ties in input order, also reversed", "c\nb\na\tx\nd", "tab 2", "sort=text reverse",
            "a\tx\nc\nb\nd");
        row("a line without a key sorts as empty", "a\tz\nb\nc\ta", "tab 2", "sort=text",
            "b\nc\ta\na\tz");
        row("kept blank lines sort first", "b\n\na\n\n", "", "sort=text keep-blank", "\n\na\nb");
        row("the first line blank", "\nb\na\n\n", "", "sort=text", "\na\nb");
        row("trimmed blanks", "b\n  \na", "", "sort=text trim keep-blank", "  \na\nb");
        row("natural", "item10\nitem2\nitem02\nitem1", "", "sort=natural",
            "item1\nitem2\nitem02\nitem10");
        row("natural reversed", "item10\nitem2\nitem02\nitem1", "", "sort=natural reverse",
            "item10\nitem02\nitem2\nitem1");
        row("natural digits before letters", "a\n1\nb10\nb2\nb", "", "sort=natural",
            "1\na\nb\nb2\nb10");
        row("natural zeros", "007\n7\n00\n0\n10", "", "sort=natural", "0\n00\n7\n007\n10");
        row("natural long numbers", "123456789012345678901\n99999999999999999999\n5", "",
            "sort=natural", "5\n99999999999999999999\n123456789012345678901");
        row("natural of a column", "a,10\nb,9\nc,100", ", 2", "sort=natural", "b,9\na,10\nc,100");
        row("natural full-width digits are characters", "a\xEF\xBC\x92\na2\na10", "",
            "sort=natural", "a2\na10\na\xEF\xBC\x92");
        row("pinyin", "张三\n李四\n王五\n安", "", "sort=pinyin", "安\n李四\n王五\n张三");
        row("pinyin reversed", "张三\n李四\n王五\n安", "", "sort=pinyin reverse",
            "张三\n王五\n李四\n安");
        row("pinyin mixed scripts", "中\nabc\n1\nАб\n阿\nZ\nかな", "", "sort=pinyin", "");
        row("length", "ccc\na\nbb\nd\n中文", "", "sort=length", "a\nd\nbb\n中文\nccc");
        row("length reversed, ties in input order", "ccc\na\nbb\nd\n中文", "",
            "sort=length reverse", "ccc\nbb\n中文\na\nd");
        row("length counts code points", "\xF0\x9F\x98\x80\xF0\x9F\x98\x80\nabc\nx", "",
            "sort=length", "x\n\xF0\x9F\x98\x80\xF0\x9F\x98\x80\nabc");
        row("count", "x\ny\ny\nz\nz\nz\nx", "", "sort=count", "z\nx\ny");
        row("count reversed", "x\ny\ny\nz\nz\nz\nw", "", "sort=count reverse", "x\nw\ny\nz");
        row("count with counts", "x\ny\ny\nz\nz\nz", "", "sort=count", "3\tz\n2\ty\n1\tx", true);
        row("count of blank lines", "\na\n\na\nb\n\n", "", "sort=count", "\na\nb");
        row("count of repeated lines", "a\nb\nb\na\nc\nb", "", "sort=count keep=repeated", "b\na");
        row("longest at its own place", "a\t1\nb\t22\na\t333\nb\t4", "tab 1", "keep=longest",
            "b\t22\na\t333");
        row("shortest at its own place", "a\t11\nb\t22\na\t3\nb\t4", "tab 1", "keep=shortest",
            "a\t3\nb\t4");
        row("longest ties go to the first", "x\tab\nx\tcd\nx\ta", "tab 1", "keep=longest", "x\tab");
        row("shortest ties go to the first", "x\tab\nx\tc\nx\td", "tab 1", "keep=shortest", "x\tc");
        row("longest counts code points, not bytes", "k,\xE4\xB8\xAD\xE6\x96\x87\nk,abc", ", 1",
            "keep=longest", "k,abc");
        row("shortest counts a pair of surrogates once",
            "k,\xF0\x9F\x98\x80\xF0\x9F\x98\x80\xF0\x9F\x98\x80\nk,abcd", ", 1", "keep=shortest",
            "k,\xF0\x9F\x98\x80\xF0\x9F\x98\x80\xF0\x9F\x98\x80");
        row("longest ignoring case and spaces", "ab\n Ab \nAB", "", "keep=longest trim ignore-case",
            " Ab ");
        row("longest with counts and sorted", "b\tx\na\ty\nb\txyz\na", "tab 1",
            "keep=longest sort=text", "2\ta\ty\n2\tb\txyz", true);
    }
    void orders() {
        QFETCH(QString, input);
        QFETCH(QString, key);
        QFETCH(QString, options);
        QFETCH(bool, counts);
        QFETCH(QString, expected);
        const FilterOptions o = SortOptions(key, options);
        const QString reference = ReferenceFilter(input, o, counts);
        if (!expected.isEmpty()) {
            QStringList lines = expected.split(u'\n');
            QCOMPARE(reference, lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
        }
        EngineSettings settings;
        settings.options = o;
        settings.writeCounts = counts;
        for (int where = 0; where < 4; ++where) {
            EngineResult r;
            const QString actual = run(input, settings, where, &r);
            QVERIFY2(r.ok(), qPrintable(r.outcome.message()));
            QVERIFY2(actual == reference,
                     qPrintable(QStringLiteral("way %1\nwant: %2\ngot:  %3")
                                    .arg(where)
                                    .arg(PercentShown(reference), PercentShown(actual))));
        }
    }

    // Random texts and options, each order with and without reverse, against the reference.
    void randomAgainstReference() {
        QRandomGenerator rng(3232);
        static const QString extra[] = {QStringLiteral("张"), QStringLiteral("李"),
                                        QStringLiteral("0"), QStringLiteral("10"),
                                        QStringLiteral("b")};
        for (int round = 0; round < 200; ++round) {
            FilterOptions o = RandomOptions(rng);
            o.keep = KeepMode(rng.bounded(6));
            o.keepBlank = rng.bounded(4) == 0;
            o.sort = SortOrder(1 + rng.bounded(5));
            o.reverse = rng.bounded(2) == 0;
            const bool counts = rng.bounded(4) == 0;
            QStringList lines;
            for (int i = rng.bounded(1, 16); i > 0; --i)
                lines << RandomLine(rng) + extra[rng.bounded(int(std::size(extra)))];
            const QString input = lines.join(u'\n');
            const QString expected = ReferenceFilter(input, o, counts);
            EngineSettings settings;
            settings.options = o;
            settings.writeCounts = counts;
            const int where = round % 4;
            EngineResult r;
            const QString actual = run(input, settings, where, &r);
            QVERIFY2(r.ok(), qPrintable(r.outcome.message()));
            QVERIFY2(actual == expected,
                     qPrintable(QStringLiteral("round %1 way %2 options %3\ninput: %4\nwant: "
                                               "%5\ngot:  %6")
                                    .arg(round)
                                    .arg(where)
                                    .arg(FilterOptionsToText(o), PercentShown(input),
                                         PercentShown(expected), PercentShown(actual))));
        }
    }

    // Many kept lines under a small budget go through sorted runs in the temporary folder; the
    // result is the one sorted in memory, and the reference's.
    void runsThroughTheTemporaryFolder_data() {
        QTest::addColumn<QString>("options");
        QTest::newRow("text") << "sort=text";
        QTest::newRow("text reversed, counts") << "sort=text reverse counts";
        QTest::newRow("natural") << "sort=natural ignore-case";
        QTest::newRow("pinyin") << "sort=pinyin";
        QTest::newRow("length reversed") << "sort=length reverse";
        QTest::newRow("count") << "sort=count";
    }
    void runsThroughTheTemporaryFolder() {
        QFETCH(QString, options);
        QRandomGenerator rng(32);
        static const QString pieces[] = {
            QStringLiteral("张"), QStringLiteral("李"), QStringLiteral("a"),  QStringLiteral("B"),
            QStringLiteral("7"),  QStringLiteral("07"), QStringLiteral("12"), QStringLiteral(" ")};
        QStringList lines;
        for (int i = 0; i < 12000; ++i) {
            QString line;
            for (int n = rng.bounded(1, 7); n > 0; --n)
                line += pieces[rng.bounded(int(std::size(pieces)))];
            lines << line;
        }
        const QString input = lines.join(u'\n');
        EngineSettings settings;
        settings.options = SortOptions(QString(), options);
        settings.writeCounts = options.contains(QStringLiteral("counts"));
        EngineResult inMemory;
        const QString whole = run(input, settings, 1, &inMemory);
        QVERIFY2(inMemory.ok(), qPrintable(inMemory.outcome.message()));
        QCOMPARE(inMemory.sortRuns, 0);
        EngineResult small;
        const QString runs = run(input, settings, 3, &small);
        QVERIFY2(small.ok(), qPrintable(small.outcome.message()));
        QVERIFY(small.partitioned);
        QVERIFY2(small.sortRuns > 1, qPrintable(QString::number(small.sortRuns)));
        QCOMPARE(runs, whole);
        QCOMPARE(whole, ReferenceFilter(input, settings.options, settings.writeCounts));
        QCOMPARE(Entries(dir.path()), QStringList{QStringLiteral("in.txt")});
    }

    // Past a number of lines the sort is shared by the threads, each sorting a part that is then
    // merged: the same result with one, two or three threads, just below and just above it, with
    // ties (equal lengths, equal counts) and long common beginnings.
    void sharedByThreads_data() {
        QTest::addColumn<QString>("options");
        QTest::addColumn<int>("lines");
        for (const int lines : {int(SortStage::kSortAlone) - 1, int(SortStage::kSortAlone) + 1}) {
            for (const char* options : {"sort=text", "sort=text reverse", "sort=length reverse",
                                        "sort=natural ignore-case"})
                QTest::addRow("%s, %d lines", options, lines)
                    << QString::fromLatin1(options) << lines;
        }
    }
    void sharedByThreads() {
        QFETCH(QString, options);
        QFETCH(int, lines);
        QRandomGenerator rng(lines);
        QStringList text;
        const QString common = QStringLiteral("共同的开头 0123456789 ");
        for (int i = 0; i < lines; ++i) {
            QString line = common.left(rng.bounded(int(common.size()) + 1));
            for (int n = rng.bounded(0, 3); n > 0; --n)
                line += QChar(u'a' + rng.bounded(3)) + QString::number(rng.bounded(40));
            text << line + u'#' + QString::number(i); // every line is kept
        }
        const QString input = text.join(u'\n');
        EngineSettings settings;
        settings.options = SortOptions(QString(), options);
        QString one;
        for (const int threads : {1, 2, 3}) {
            settings.threads = threads;
            EngineResult r;
            const QString sorted = run(input, settings, 1, &r);
            QVERIFY2(r.ok(), qPrintable(r.outcome.message()));
            if (threads == 1) {
                one = sorted;
                QCOMPARE(one.count(u'\n'), lines);
                QVERIFY(one == ReferenceFilter(input, settings.options, false));
            } else {
                QVERIFY2(sorted == one, qPrintable(QString::number(threads)));
            }
        }
    }

    // A cancel while the sorted lines are written stops the work: the sorted runs are merged
    // when the output gets its first bytes, and the stop is asked for then.
    void cancelWhileMerging_data() {
        QTest::addColumn<qint64>("budget");
        QTest::newRow("in memory") << qint64(0);
        QTest::newRow("runs on disk") << qint64(1);
    }
    void cancelWhileMerging() {
        QFETCH(qint64, budget);
        QStringList lines;
        for (int i = 0; i < 400000; ++i)
            lines << QString::number(qint64(i) * 7919 % 400009);
        WriteAll(path(QStringLiteral("in.txt")), lines.join(u'\n').toUtf8());
        std::atomic<bool> stop = false;
        class StoppingSink final : public OutputSink {
        public:
            explicit StoppingSink(std::atomic<bool>& stop) : stop_(stop) {}
            bool write(const char*, qint64) override {
                stop_ = true;
                ++writes;
                return true;
            }
            QString error() const override { return {}; }
            int writes = 0;

        private:
            std::atomic<bool>& stop_;
        } sink(stop);
        EngineSettings settings;
        settings.options.sort = SortOrder::Text;
        settings.tempDir = dir.path();
        settings.memoryBudget = budget;
        settings.stop = &stop;
        const EngineResult r = FilterFiles({path(QStringLiteral("in.txt"))}, sink, settings);
        QVERIFY2(r.outcome.wasCancelled(), qPrintable(r.outcome.message()));
        QCOMPARE(r.sortRuns > 0, budget == 1);
        QVERIFY(sink.writes >= 1 && sink.writes < 4);
    }
};

QTEST_GUILESS_MAIN(SortTest)
#include "tst_sort.moc"
