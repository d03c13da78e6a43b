#include "chinesetext.h"
#include "core/lines.h"
#include "engine/engine.h"
#include "engine/reading/linescan.h"
#include "engine/systemfiles.h"
#include "engine/window/largefile.h"
#include "filehelpers.h"
#include "files/textcodec.h"
#include "referencefilter.h"
#include "shards.h"
#include "testtext.h"

#include <QDir>
#include <QHash>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(TextEncoding)
Q_DECLARE_METATYPE(std::optional<TextEncoding>)

namespace {

// The default rules, applied the simple way, with every CR LF written as the chosen break.
QString Model(const QString& text, LineBreak lineBreak) {
    QString out = ReferenceFilter(text);
    out.replace(QStringLiteral("\r\n"), LineBreakText(lineBreak).toString());
    return out;
}

QString RandomText(QRandomGenerator& rng, int maxLength) {
    static const QString alphabet[] = {
        QStringLiteral("a"),  QStringLiteral("b"),    QStringLiteral("A"),   QStringLiteral("甲"),
        QStringLiteral("é"),  QStringLiteral(" "),    QStringLiteral("\r"),  QStringLiteral("\n"),
        QStringLiteral("\n"), QStringLiteral("\r\n"), QStringLiteral("\r\n")};
    QString text;
    const int length = rng.bounded(maxLength + 1);
    for (int i = 0; i < length; ++i)
        text += alphabet[rng.bounded(int(std::size(alphabet)))];
    return text;
}

// The most common line break of a text, by the engine's rule.
LineBreak MostCommon(const QString& text) {
    return MostCommonLineBreak(text);
}

// The first copy of every line, compared byte for byte, each followed by `lineBreak`.
QByteArray FirstCopies(const QByteArray& bytes, const QByteArray& lineBreak) {
    QList<QByteArray> lines = bytes.split('\n');
    if (lines.back().isEmpty())
        lines.removeLast();
    QList<QByteArray> kept;
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!kept.contains(line))
            kept << line;
    }
    return kept.join(lineBreak) + lineBreak;
}

// Two bytes of a lone low surrogate (a unit that UTF-16 cannot read) in either byte order.
QByteArray LoneSurrogate(TextEncoding encoding) {
    return WithoutByteOrderMark(encoding) == TextEncoding::Utf16Le ? QByteArray("\x00\xdc", 2)
                                                                   : QByteArray("\xdc\x00", 2);
}

QString OptionText(const FilterOptions& o, bool counts) {
    const char* modes[] = {"first", "last", "unique", "repeated"};
    return QStringLiteral("case %1 trim %2 width %3 blank %4 keep %5 counts %6")
        .arg(o.ignoreCase)
        .arg(o.trim)
        .arg(o.ignoreWidth)
        .arg(o.keepBlank)
        .arg(QLatin1String(modes[int(o.keep)]))
        .arg(counts);
}

} // namespace

class EngineTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

    EngineResult filterFile(const QByteArray& bytes, const EngineSettings& settings,
                            QByteArray* out) {
        WriteAll(path(QStringLiteral("in.txt")), bytes);
        BytesSink sink;
        EngineResult r = FilterFiles({path(QStringLiteral("in.txt"))}, sink, settings);
        *out = sink.bytes;
        return r;
    }

private slots:
    // The filter of a box's text: the engine's work under the name the window has always used.
    void boxFilter_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("one line") << "a"
                                  << "a⏎";
        QTest::newRow("trailing break") << "a⏎"
                                        << "a⏎";
        QTest::newRow("repeat") << "a⏎b⏎a"
                                << "a⏎b⏎";
        QTest::newRow("substring is kept") << "abc⏎b⏎abc"
                                           << "abc⏎b⏎";
        QTest::newRow("prefix is kept") << "apple⏎app⏎ppl"
                                        << "apple⏎app⏎ppl⏎";
        QTest::newRow("first empty line") << "⏎a⏎⏎a"
                                          << "⏎a⏎";
        QTest::newRow("only breaks") << "⏎⏎⏎"
                                     << "⏎";
        QTest::newRow("case") << "A⏎a"
                              << "A⏎a⏎";
        // A box holds CR LF only; elsewhere a lone LF or CR ends a line as well.
        QTest::newRow("lone LF ends a line") << "x↓y⏎x"
                                             << "x⏎y⏎";
        QTest::newRow("lone CR ends a line") << "x\ry⏎x\ry⏎\r"
                                             << "x⏎y⏎";
        QTest::newRow("leading space") << " a⏎a"
                                       << " a⏎a⏎";
        QTest::newRow("spaces line") << "  ⏎a⏎  "
                                     << "  ⏎a⏎";
        QTest::newRow("CR before CR LF") << "a\r⏎a"
                                         << "a⏎";
        QTest::newRow("chinese") << "甲⏎乙⏎甲"
                                 << "甲⏎乙⏎";
        QTest::newRow("surrogates") << "😀⏎😁⏎😀"
                                    << "😀⏎😁⏎";
    }
    void boxFilter() {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(FilterDuplicateLines(T(input)), T(expected));
        QCOMPARE(ReferenceFilter(T(input)), T(expected));
    }

    // Thousands of short random texts over a tiny alphabet, against the reference; filtering
    // again changes nothing.
    void boxFilterAgainstReference() {
        const QChar alphabet[] = {u'a', u'b', u' ', u'\t', u'\r', u'\n', QChar(0x7532)};
        QRandomGenerator rng(20261208);
        for (int round = 0; round < 20000 / kRoundsDivisor; ++round) {
            QString text;
            const int length = rng.bounded(0, 24);
            for (int i = 0; i < length; ++i)
                text += alphabet[rng.bounded(0, int(std::size(alphabet)))];
            const QString filtered = FilterDuplicateLines(text);
            QCOMPARE(filtered, ReferenceFilter(text));
            QCOMPARE(FilterDuplicateLines(filtered), filtered);
        }
    }

    // Thousands of random texts in each encoding, in memory and partitioned, against the model.
    void filesAgainstModel_data() {
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<bool>("forced");
        QTest::addColumn<qint64>("budget");
        const std::pair<const char*, TextEncoding> encodings[] = {
            {"utf-8", TextEncoding::Utf8},
            {"utf-8 bom", TextEncoding::Utf8Bom},
            {"gbk", TextEncoding::Gbk},
            {"gb18030", TextEncoding::Gb18030},
            {"utf-16le", TextEncoding::Utf16Le},
            {"utf-16be bom", TextEncoding::Utf16BeBom},
            {"utf-16le bom", TextEncoding::Utf16LeBom}};
        for (const auto& [name, encoding] : encodings) {
            QTest::addRow("%s, in memory", name) << encoding << true << qint64(0);
            QTest::addRow("%s, partitioned", name) << encoding << true << qint64(1);
            QTest::addRow("%s, mapped", name) << encoding << true << qint64(-1);
        }
        // Detected rather than told: where the random texts show their encoding (a byte-order
        // mark, or bytes that read only one way).
        for (const auto& [name, encoding] : encodings) {
            if (encoding == TextEncoding::Gb18030 || encoding == TextEncoding::Utf16Le)
                continue;
            QTest::addRow("%s, detected", name) << encoding << false << qint64(0);
            QTest::addRow("%s, detected, partitioned", name) << encoding << false << qint64(1);
        }
    }
    void filesAgainstModel() {
        QFETCH(TextEncoding, encoding);
        QFETCH(bool, forced);
        QFETCH(qint64, budget);
        QRandomGenerator rng(quint32(qHash(int(encoding)) + quint32(budget)));
        EngineSettings settings;
        settings.memoryBudget = std::max(budget, qint64(0));
        settings.tempDir = dir.path();
        if (budget < 0) // the way of large files: mapped, not read
            settings.readWholeBytes = 0;
        if (forced)
            settings.inputEncoding = WithoutByteOrderMark(encoding);
        for (int round = 0; round < 250; ++round) {
            const QString text = RandomText(rng, 30);
            const std::optional<EncodedText> encoded = EncodeText(text, encoding);
            QVERIFY(encoded);
            QByteArray out;
            const EngineResult r = filterFile(encoded->bytes, settings, &out);
            QVERIFY2(r.ok(), qPrintable(r.outcome.message()));
            QCOMPARE(r.partitioned, budget == 1);
            const QString expected = Model(text, MostCommon(text));
            const std::optional<EncodedText> want = EncodeText(expected, encoded->encoding);
            QVERIFY(want);
            QCOMPARE(out.toHex(' '),
                     (expected.isEmpty() ? ByteOrderMark(encoding).toByteArray() : want->bytes)
                         .toHex(' '));
        }
    }

    // Every combination of options on random texts over an alphabet that exercises each of them,
    // against the plain reference: in memory as the window filters, and from files, partitioned
    // too.
    void optionsAgainstReference_data() {
        QTest::addColumn<int>("where"); // 0: a text in memory, 1: a UTF-8 file, 2: partitioned
        QTest::newRow("text") << 0;
        QTest::newRow("file") << 1;
        QTest::newRow("file, partitioned") << 2;
    }
    void optionsAgainstReference() {
        QFETCH(int, where);
        static const QString alphabet[] = {
            QStringLiteral("a"),      QStringLiteral("A"),      QStringLiteral("\uff41"),
            QStringLiteral("\uff21"), QStringLiteral(" "),      QStringLiteral("\t"),
            QStringLiteral("\u3000"), QStringLiteral("\u00a0"), QStringLiteral("\r"),
            QStringLiteral("\n"),     QStringLiteral("\r\n"),   QStringLiteral("甲")};
        QRandomGenerator rng(quint32(77 + where));
        for (int combination = 0; combination < 128; ++combination) {
            FilterOptions o;
            o.ignoreCase = combination & 1;
            o.trim = combination & 2;
            o.ignoreWidth = combination & 4;
            o.keepBlank = combination & 8;
            o.keep = KeepMode((combination >> 4) & 3);
            const bool counts = combination & 64;
            EngineSettings settings;
            settings.options = o;
            settings.writeCounts = counts;
            settings.tempDir = dir.path();
            settings.memoryBudget = where == 2 ? 1 : 0;
            settings.lineBreak = LineBreak::CrLf;
            for (int round = 0; round < (where == 0 ? 60 : 12) / kRoundsDivisor; ++round) {
                QString text;
                for (int i = rng.bounded(14); i > 0; --i)
                    text += alphabet[rng.bounded(int(std::size(alphabet)))];
                const QString expected = ReferenceFilter(text, o, counts);
                QString actual;
                if (where == 0) {
                    actual = FilterText(NormalizeLineBreaks(text), settings).text;
                } else {
                    QByteArray out;
                    const EngineResult r =
                        filterFile(EncodeText(text, TextEncoding::Utf8Bom)->bytes, settings, &out);
                    QVERIFY2(r.ok(), qPrintable(r.outcome.message()));
                    actual = QString::fromUtf8(out.sliced(3));
                }
                QVERIFY2(actual == expected,
                         qPrintable(OptionText(o, counts) + QStringLiteral("\ninput: ") +
                                    text.toUtf8().toPercentEncoding() + QStringLiteral("\nwant: ") +
                                    expected.toUtf8().toPercentEncoding() +
                                    QStringLiteral("\ngot: ") +
                                    actual.toUtf8().toPercentEncoding()));
            }
        }
    }

    // Keys beyond the test alphabet: full case folding, compatibility forms, every kind of white
    // space, escaped bytes.
    void keys_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("options"); // 1 case, 2 trim, 4 width
        QTest::addColumn<QString>("key");
        QTest::newRow("sharp s folds to ss")
            << QStringLiteral("Straße") << 1 << QStringLiteral("strasse");
        QTest::newRow("ligature") << QStringLiteral("ﬁle") << 4 << QStringLiteral("file");
        QTest::newRow("full-width digits")
            << QStringLiteral("ＡＢＣ１２３") << 4 << QStringLiteral("ABC123");
        QTest::newRow("full-width, any case")
            << QStringLiteral("ＡＢＣ") << 5 << QStringLiteral("abc");
        QTest::newRow("combining mark composes")
            << QStringLiteral("Ae\u0301") << 5 << QStringLiteral("a\u00e9");
        QTest::newRow("every white space at the ends")
            << QStringLiteral("\u3000\u00a0\t\u2003\u000b\u000c\u0085 x y\u2029\u202f\u205f") << 2
            << QStringLiteral("x y");
        QTest::newRow("zero-width space is no white space")
            << QStringLiteral("\u200bx") << 2 << QStringLiteral("\u200bx");
        QTest::newRow("escaped byte untouched")
            << (QStringLiteral("A") + QChar(0xdc80)) << 7 << (QStringLiteral("a") + QChar(0xdc80));
        QTest::newRow("emoji untouched") << QStringLiteral("😀A") << 1 << QStringLiteral("😀a");
        QTest::newRow("nothing asked") << QStringLiteral(" A ") << 0 << QStringLiteral(" A ");
    }
    void keys() {
        QFETCH(QString, line);
        QFETCH(int, options);
        QFETCH(QString, key);
        FilterOptions o;
        o.ignoreCase = options & 1;
        o.trim = options & 2;
        o.ignoreWidth = options & 4;
        LineKeyMaker maker(o);
        QCOMPARE(maker.key(line).toString(), key);
    }

    // Texts whose lines meet the sizes where the engine changes its ways: the batch it reads at
    // once (1 MiB), the size from which a batch is split on two threads (64 KiB), a line break
    // cut by a batch's end, one line longer than a batch.
    void sizesAtThresholds_data() {
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>(
            "shape"); // 0 short lines, 1 CR LF across the batch end, 2 one huge line, 3 long lines;
                      // 100 + N: lines of N bytes with their break; 1000 + N: without
        for (const auto& [name, encoding] : {std::pair{"utf-8", TextEncoding::Utf8},
                                             std::pair{"utf-16le", TextEncoding::Utf16LeBom}}) {
            // The second batch's end stands for every later one.
            for (const qint64 size : {qint64(64 << 10), qint64(1 << 20), qint64(2 << 20)}) {
                for (const int delta : {-3, -1, 0, 1, 3}) {
                    QTest::addRow("%s, %lld%+d, short lines", name, size, delta)
                        << encoding << size + delta << 0;
                }
                QTest::addRow("%s, %lld, break across the end", name, size)
                    << encoding << size << 1;
            }
            // Two halves of 2 MiB: longer than a batch, and the text past 4 MiB, where it is
            // decoded and first looked at in two pieces.
            QTest::addRow("%s, one huge line", name) << encoding << qint64(2 << 20) << 2;
            // Lines of 16 bytes and more on average are decided on two threads, shorter on one.
            for (const int bytes : {15, 16, 17})
                QTest::addRow("%s, lines of %d bytes", name, bytes)
                    << encoding << qint64(1 << 20) << 100 + bytes;
            // In a file read through a buffer, lines of 1,024 bytes and more are compared with
            // their first copy read again from the file, shorter ones in its mapping.
            for (const int bytes : {1023, 1024, 1025}) {
                const int even = bytes + (bytes - 1024) * (CodeUnitBytes(encoding) - 1);
                QTest::addRow("%s, repeated lines of %d bytes", name, even)
                    << encoding << qint64(1 << 20) << 1000 + even;
            }
            // Files up to 16 MiB are read whole, larger ones mapped (long lines, so that the
            // reference stays quick under the sanitizers).
            for (const int delta : {-1, 1})
                QTest::addRow("%s, read whole%+d", name, delta)
                    << encoding << qint64(16 << 20) + delta * CodeUnitBytes(encoding) << 3;
        }
    }
    void sizesAtThresholds() {
        QFETCH(TextEncoding, encoding);
        QFETCH(qint64, size);
        QFETCH(int, shape);
        const int unit = CodeUnitBytes(encoding);
        const qint64 chars = size / unit;
        QRandomGenerator rng{quint32(size)};
        QString text;
        if (shape == 2) {
            text = QString(qsizetype(chars), u'x') + QStringLiteral("\r\nx\r\n") +
                   QString(qsizetype(chars), u'x');
        } else if (shape > 1000) {
            // Lines of exactly shape - 1000 bytes, break not included: 40 lines, and each with
            // its last character changed, drawn at random.
            const int length = (shape - 1000) / unit;
            QStringList lines;
            for (int i = 0; i < 40; ++i) {
                QString line;
                for (int j = 0; j < length; ++j)
                    line += QChar(u'a' + rng.bounded(26));
                lines << line;
                line[length - 1] = u'#';
                lines << line;
            }
            while (text.size() < chars)
                text += lines[rng.bounded(80)] + QStringLiteral("\r\n");
        } else if (shape > 100) { // lines of exactly shape - 100 bytes, break included
            const int length = (shape - 100) / unit - 2;
            while (text.size() < chars) {
                QString line;
                for (int i = 0; i < length; ++i)
                    line += QChar(u'a' + rng.bounded(2));
                text += line + QStringLiteral("\r\n");
            }
        } else if (shape == 3) { // 1,000 lines of 3,000 to 5,000 characters, repeated
            QStringList lines;
            for (int i = 0; i < 1000; ++i)
                lines << QString(qsizetype(3000 + rng.bounded(2000)), QChar(u'a' + i % 26)) +
                             QString::number(i) + QStringLiteral("\r\n");
            // Exactly the row's size in bytes, the byte-order mark included.
            const qsizetype exact = qsizetype(size - ByteOrderMark(encoding).size()) / unit;
            while (text.size() < exact)
                text += lines[rng.bounded(1000)];
            text.truncate(exact - 2);
            text += QStringLiteral("\r\n");
        } else {
            while (text.size() < chars) {
                text += QString::number(rng.bounded(2000)) + QStringLiteral("\r\n");
                if (shape == 1 && text.size() > chars - 40) {
                    // The CR lands on the last unit of the batch and the LF on the first of the
                    // next (the byte-order mark counts in front).
                    const qsizetype cr =
                        qsizetype(chars) - 1 - ByteOrderMark(encoding).size() / unit;
                    text.truncate(cr);
                    text += QStringLiteral("\r\n1\r\n");
                }
            }
        }
        const QByteArray input = EncodeText(text, encoding)->bytes;
        if (shape == 3)
            QCOMPARE(input.size(), size);
        const QString expected = Model(text, LineBreak::CrLf);
        const QByteArray expectedBytes = EncodeText(expected, encoding)->bytes;
        // In memory, partitioned, mapped, and partitioned from a mapped file.
        for (const qint64 budget : {qint64(0), qint64(1), qint64(-1), qint64(-2)}) {
            EngineSettings settings;
            settings.memoryBudget = budget == -2 ? 1 : std::max(budget, qint64(0));
            settings.tempDir = dir.path();
            if (budget < 0)
                settings.readWholeBytes = 0;
            QByteArray out;
            const EngineResult r = filterFile(input, settings, &out);
            QVERIFY2(r.ok(), qPrintable(r.outcome.message()));
            QCOMPARE(out, expectedBytes);
            if (budget >= 0) // a text in a box: in memory and partitioned
                QCOMPARE(FilterText(NormalizeLineBreaks(text), settings).text, expected);
        }
    }

    // However many workers share the work, the result is the same: a file large enough to be
    // looked at in pieces and split into batches on every worker, in memory, partitioned (each
    // worker finishing partitions with its share of the budget) and mapped, keeping the first
    // or the last copy, with the removed lines named.
    void workersGiveOneResult_data() {
        QTest::addColumn<int>("threads");
        QTest::addColumn<qint64>("budget");
        QTest::addColumn<KeepMode>("keep");
        for (const int threads : {1, 3})
            for (const qint64 budget : {qint64(0), qint64(1), qint64(-1)})
                for (const KeepMode keep : {KeepMode::First, KeepMode::Last, KeepMode::Shortest})
                    QTest::addRow("%d threads, budget %lld, keep %d", threads, budget, int(keep))
                        << threads << budget << keep;
    }
    void workersGiveOneResult() {
        QFETCH(int, threads);
        QFETCH(qint64, budget);
        QFETCH(KeepMode, keep);
        static const QString text = [] {
            QRandomGenerator rng{7};
            QString t;
            while (t.size() < (qsizetype(4) << 20) + 4096)
                t += QString::number(rng.bounded(200000)) + QStringLiteral("\r\n");
            return t;
        }();
        static const QByteArray input = EncodeText(text, TextEncoding::Utf8)->bytes;
        EngineSettings settings;
        settings.threads = threads;
        settings.options.keep = keep;
        settings.memoryBudget = std::max(budget, qint64(0));
        settings.tempDir = dir.path();
        if (budget < 0)
            settings.readWholeBytes = 0;
        qint64 removed = 0;
        settings.removedOut = [&](const RemovedLine&) { return ++removed, true; };
        QByteArray out;
        const EngineResult r = filterFile(input, settings, &out);
        QVERIFY2(r.ok(), qPrintable(r.outcome.message()));
        static QHash<int, QByteArray> expected;
        if (!expected.contains(int(keep))) {
            FilterOptions options;
            options.keep = keep;
            expected[int(keep)] = ReferenceFilter(text, options).toUtf8();
        }
        QCOMPARE(out, expected[int(keep)]);
        QCOMPARE(removed, r.stats.linesRemoved);
    }

    // The tables are sized once from the share of new lines among the first ones (an eighth of
    // the lines in memory, from 65,536 to 1,048,576; 65,536 records of a partition): a share that
    // changes after them, up or down, on both sides of those counts, still gives the right
    // result.
    void tablesSizedFromFirstLines_data() {
        QTest::addColumn<int>("lines");
        QTest::addColumn<bool>("newFirst");
        QTest::addColumn<qint64>("budget");
        // With 8 MiB the larger inputs go into two partitions: at 262,150 lines they hold more
        // than twice 65,536 records and are sized; the smaller ones stay in memory.
        for (const int lines : {65535, 65537, 131071, 131073, 262150}) {
            for (const bool newFirst : {true, false}) {
                for (const qint64 budget : {qint64(0), qint64(2) << 20, qint64(8) << 20, qint64(1)})
                    QTest::addRow("%d lines, %s first, budget %lld", lines,
                                  newFirst ? "new" : "repeats", budget)
                        << lines << newFirst << budget;
            }
        }
        // Where an eighth of the lines passes 65,536.
        for (const int lines : {524287, 524289})
            QTest::addRow("%d lines, new first, in memory", lines) << lines << true << qint64(0);
    }
    void tablesSizedFromFirstLines() {
        QFETCH(int, lines);
        QFETCH(bool, newFirst);
        QFETCH(qint64, budget);
        QString text;
        for (int i = 0; i < lines; ++i) {
            const bool fresh = newFirst == (i < lines / 2);
            text += QString::number(fresh ? i : i % 7) + QStringLiteral("\r\n");
        }
        EngineSettings settings;
        settings.tempDir = dir.path();
        settings.memoryBudget = budget;
        QByteArray out;
        const EngineResult r = filterFile(text.toUtf8(), settings, &out);
        QVERIFY2(r.ok(), qPrintable(r.outcome.message()));
        if (budget <= 1)
            QCOMPARE(r.partitioned, budget == 1);
        static QHash<QString, QString> models; // the same text comes in several rows
        QString& model = models[text];
        if (model.isEmpty())
            model = Model(text, LineBreak::CrLf);
        QCOMPARE(QString::fromUtf8(out), model);
    }

    // Lines of a small set are decided on one thread once the first 65,536 lines show it (at
    // most 4,096 different ones, under 256 bytes a line on average): on both sides of both
    // bounds, with new lines and blank lines after the switch, the same result.
    void oneThreadForFewLines_data() {
        QTest::addColumn<int>("distinct");
        QTest::addColumn<int>("length");
        for (const int distinct : {4096, 4097}) {
            // With CR LF and the blank lines, 249.5 and 257.4 bytes a line on average.
            for (const int length : {252, 260})
                QTest::addRow("%d different, %d bytes", distinct, length + 2) << distinct << length;
        }
    }
    void oneThreadForFewLines() {
        QFETCH(int, distinct);
        QFETCH(int, length);
        QRandomGenerator rng(quint32(distinct + length));
        QString text;
        for (int i = 0; i < 80000; ++i) {
            // After the first lines, lines never seen and blank ones as well.
            const int n = i > 70000 && i % 3 == 0 ? i : int(rng.bounded(distinct));
            const QString line = i > 70000 && i % 7 == 0 ? QString() : QString::number(n);
            text += line.leftJustified(line.isEmpty() ? 0 : length, u'.') + QStringLiteral("\r\n");
        }
        QCOMPARE(text.size() < 80000 * 256, length < 256); // the side of the bound meant
        EngineSettings settings;
        settings.tempDir = dir.path();
        QByteArray out;
        const EngineResult r = filterFile(text.toUtf8(), settings, &out);
        QVERIFY2(r.ok() && !r.partitioned, qPrintable(r.outcome.message()));
        QCOMPARE(QString::fromUtf8(out), Model(text, LineBreak::CrLf));
    }

    // The default rule on lines short enough, or of a small enough set, is decided line by line
    // as each is split off: the same lines and the same counts as the model, in memory and
    // partitioned, whatever the shape; and a result that cannot be written stops it.
    void defaultRuleLineByLine_data() {
        QTest::addColumn<int>("shape");
        QTest::addColumn<bool>("keepBlank");
        QTest::addColumn<int>("files");
        const char* shapes[] = {
            "words",           "many different numbers", "few long lines",
            "many long lines", "lone CRs and blanks",    "lines of 5 to 9 bytes"};
        for (int shape = 0; shape < int(std::size(shapes)); ++shape) {
            for (const bool keepBlank : {false, true})
                QTest::addRow("%s, blank lines %s", shapes[shape], keepBlank ? "kept" : "once")
                    << shape << keepBlank << 1;
            QTest::addRow("%s, three files", shapes[shape]) << shape << false << 3;
        }
    }
    void defaultRuleLineByLine() {
        QFETCH(int, shape);
        QFETCH(bool, keepBlank);
        QFETCH(int, files);
        QRandomGenerator rng(quint32(shape * 10 + files));
        auto line = [&](int i) -> QString {
            switch (shape) {
            case 0: // words of 1 to 3 letters
                return QString::number(rng.bounded(300), 36).left(int(rng.bounded(1, 4)));
            case 1: // table grows through the whole input
                return QString::number(rng.bounded(1000000));
            case 2: // 40 bytes a line: two threads until the small set shows
            case 3: {
                const int n = shape == 2 ? int(rng.bounded(3000)) : i;
                return QString::number(n).leftJustified(38, u'-');
            }
            case 4:
                return rng.bounded(5) == 0 ? QString() : QString::number(rng.bounded(40));
            default: {
                // Around the longest line that is coded rather than hashed (7 bytes): lines
                // that are the start of others, or differ in their last byte only.
                const int n = int(rng.bounded(4000));
                QString l;
                for (int bits = n; l.toUtf8().size() < 5 + n % 5; bits /= 3)
                    l += QStringView(u"ab\u0001\u00e9").at(bits % 3 + (bits % 7 == 0));
                return l;
            }
            }
        };
        QStringList texts;
        for (int f = 0; f < files; ++f) {
            QString text;
            // Over a MiB of kept lines in the second shape: written while the work goes on.
            const int count = (shape == 1 ? 250000 : 90000) / files;
            for (int i = 0; i < count; ++i) {
                const QString l = shape != 4 && i % 97 == 5 ? QString() : line(i + f * 90000);
                text +=
                    l + (shape == 4 && i % 3 == 0 ? QStringLiteral("\r") : QStringLiteral("\n"));
            }
            texts << text;
        }
        // The model: the first copy of each line, blank lines by the option, and the counts.
        const QStringList lines = ReferenceLines(texts.join(QString()));
        QHash<QString, int> seen;
        QString expected;
        EngineStats want;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QString& l = lines[i];
            ++want.linesRead;
            if (l.isEmpty()) {
                ++want.blankLines;
                if (keepBlank || i == 0) {
                    ++want.blankLinesKept;
                    expected += u'\n';
                }
                continue;
            }
            if (++seen[l] == 1)
                expected += l + u'\n';
            else if (seen[l] == 2)
                ++want.repeatedLines;
        }
        want.distinctLines = seen.size();
        QTemporaryDir inputs;
        QStringList paths;
        for (int f = 0; f < files; ++f) {
            paths << inputs.filePath(QStringLiteral("in%1.txt").arg(f));
            WriteAll(paths.back(), texts[f].toUtf8());
        }
        for (const qint64 budget : {qint64(0), qint64(1)}) {
            EngineSettings settings;
            settings.tempDir = dir.path();
            settings.memoryBudget = budget;
            settings.inputEncoding = TextEncoding::Utf8;
            settings.options.keepBlank = keepBlank;
            settings.lineBreak = LineBreak::Lf;
            BytesSink sink;
            const EngineResult r = FilterFiles(paths, sink, settings);
            QVERIFY2(r.ok(), qPrintable(r.outcome.message()));
            QCOMPARE(r.partitioned, budget == 1);
            QCOMPARE(QString::fromUtf8(sink.bytes), expected);
            QCOMPARE(r.stats.linesRead, want.linesRead);
            QCOMPARE(r.stats.distinctLines, want.distinctLines);
            QCOMPARE(r.stats.repeatedLines, want.repeatedLines);
            QCOMPARE(r.stats.blankLines, want.blankLines);
            QCOMPARE(r.stats.blankLinesKept, want.blankLinesKept);
        }
        // A result that can no longer be written ends the work with the sink's reason.
        struct FullSink final : OutputSink {
            qint64 room = 100;
            bool write(const char*, qint64 size) override { return (room -= size) >= 0; }
            QString error() const override { return QStringLiteral("磁盘空间不足"); }
        } full;
        EngineSettings settings;
        settings.tempDir = dir.path();
        const EngineResult r = FilterFiles(paths, full, settings);
        QVERIFY(!r.ok());
        QVERIFY2(r.outcome.message().contains(QStringLiteral("磁盘空间不足")),
                 qPrintable(r.outcome.message()));
    }

    // The same way in each byte encoding, on lines with stray bytes in them, with lines of about
    // 1 KiB and lines longer than a step of a long line (4 MiB) among them: read whole, where they
    // are looked at in one piece, and mapped, where they come alone.
    void lineByLineInByteEncodings_data() {
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<bool>("mapped");
        for (const auto& [name, encoding] :
             {std::pair{"utf-8", TextEncoding::Utf8}, std::pair{"gbk", TextEncoding::Gbk},
              std::pair{"gb18030", TextEncoding::Gb18030}}) {
            QTest::addRow("%s, read whole", name) << encoding << false;
            QTest::addRow("%s, mapped", name) << encoding << true;
        }
    }
    void lineByLineInByteEncodings() {
        QFETCH(TextEncoding, encoding);
        QFETCH(bool, mapped);
        const QByteArray pieces[] = {EncodeText(QStringLiteral("甲"), encoding)->bytes,
                                     EncodeText(QStringLiteral("乙丙"), encoding)->bytes,
                                     "a",
                                     "Z9",
                                     "\x81",
                                     "\xff",
                                     "\x80",
                                     "\xad"
                                     "5",
                                     "\r"};
        QRandomGenerator rng(quint32(int(encoding) * 2 + mapped));
        auto shortLine = [&] {
            QByteArray line = pieces[rng.bounded(int(std::size(pieces)) - 1)];
            line += pieces[rng.bounded(int(std::size(pieces)))]; // a CR last makes CR LF
            return line;
        };
        // Just over a step, twice, and once with its last byte changed.
        QByteArray huge((qsizetype(4) << 20) + 1000, 'x');
        for (qsizetype i = 0; i < huge.size(); i += 4093)
            huge[i] = char('a' + i % 26);
        QByteArray changed = huge;
        changed.back() = 'y';
        QByteArray bytes;
        // Around the length from which a mapped file's first copies are read again: 1,023 to
        // 1,025 bytes of the same pieces, each also with its last byte changed.
        std::vector<QByteArray> medium;
        for (const qsizetype length : {1023, 1024, 1025}) {
            QByteArray line;
            while (line.size() < length)
                line += pieces[rng.bounded(int(std::size(pieces)) - 1)];
            line.truncate(length);
            medium.push_back(line);
            line.back() = line.back() == 'a' ? 'b' : 'a';
            medium.push_back(line);
        }
        for (int i = 0; i < 100000; ++i) {
            // After the first 65,536 lines show a small set: one thread, line by line.
            if (i % 1000 == 500)
                bytes += medium[rng.bounded(int(medium.size()))] + '\n';
            else if (i == 70000 || i == 90000)
                bytes += huge + '\n';
            else if (i == 80000)
                bytes += changed + '\n';
            else
                bytes += shortLine() + '\n';
        }
        QVERIFY(bytes.size() < qsizetype(16) << 20); // read whole unless mapped
        EngineSettings settings;
        settings.tempDir = dir.path();
        settings.inputEncoding = encoding;
        settings.lineBreak = LineBreak::Lf;
        if (mapped)
            settings.readWholeBytes = 0;
        QByteArray out;
        const EngineResult r = filterFile(bytes, settings, &out);
        QVERIFY2(r.ok(), qPrintable(r.outcome.message()));
        QVERIFY(!r.partitioned);
        QVERIFY(out == FirstCopies(bytes, "\n"));
    }

    // A budget far too small for the input: partitions are split further, and the result is
    // the same.
    void partitionsSplitWhenTooLarge() {
        QString text;
        QRandomGenerator rng(3);
        while (text.size() < 3 << 20)
            text += QString::number(rng.bounded(400000)) + QStringLiteral("\r\n");
        const QByteArray bytes = text.toUtf8();
        EngineSettings settings;
        settings.tempDir = dir.path();
        settings.writeCounts = true;
        QByteArray inMemory, partitioned;
        QVERIFY(filterFile(bytes, settings, &inMemory).ok());
        settings.memoryBudget = 1;
        const EngineResult r = filterFile(bytes, settings, &partitioned);
        QVERIFY(r.ok());
        QVERIFY2(r.partitions > 16, qPrintable(QString::number(r.partitions)));
        QCOMPARE(partitioned, inMemory);
        QVERIFY(QDir(dir.path()).entryList(QDir::Files).size() <= 1); // only in.txt
    }

    // A cancel at any point leaves no output and no temporary file.
    void cancelAnywhere_data() {
        QTest::addColumn<qint64>("budget");
        QTest::newRow("in memory") << qint64(0);
        QTest::newRow("partitioned") << qint64(1);
    }
    void cancelAnywhere() {
        QFETCH(qint64, budget);
        QString text;
        for (int i = 0; i < 400000; ++i)
            text += QString::number(i % 150000) + QStringLiteral(" 甲\r\n");
        WriteAll(path(QStringLiteral("in.txt")), text.toUtf8());
        EngineSettings settings;
        settings.memoryBudget = budget;
        settings.tempDir = dir.path();
        settings.options.keep = KeepMode::Last;
        for (int stopAt : {1, 2, 5, 9, 1000000}) {
            int calls = 0;
            BytesSink sink;
            const EngineResult r = FilterFiles({path(QStringLiteral("in.txt"))}, sink, settings,
                                               [&](qint64 done, qint64 total) {
                                                   if (done > total)
                                                       qFatal("progress past its total");
                                                   return ++calls < stopAt;
                                               });
            if (stopAt == 1000000) {
                QVERIFY(r.ok());
                QCOMPARE(r.stats.linesKept, 150000);
                break;
            }
            QVERIFY(r.outcome.wasCancelled());
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
                     QStringList{QStringLiteral("in.txt")});
        }
    }

    // An input's encoding is decided from its first MiB or, when that is plain ASCII, from where
    // its first other byte is, found 4 MiB at a time: that byte just inside and just past the
    // first MiB, and just inside and just past the first step after it.
    // The line breaks of bytes are counted sixteen at a time, summed every 255 steps: sizes on
    // both sides of each step, CR and LF everywhere (a CR LF across two steps among them).
    void lineBreaksCounted_data() {
        QTest::addColumn<int>("size");
        for (const int size : {0, 1, 2, 16, 17, 18, 32, 33, 4080, 4081, 4082, 4096, 4097, 70000})
            QTest::addRow("%d bytes", size) << size;
    }
    void lineBreaksCounted() {
        QFETCH(int, size);
        QRandomGenerator rng(quint32(size) + 1);
        for (int round = 0; round < 20; ++round) {
            QByteArray bytes(size, Qt::Uninitialized);
            for (char& c : bytes)
                c = "\r\na"[rng.bounded(3)];
            LineBreakCounts want;
            for (int i = 0; i < size; ++i) {
                if (bytes[i] == '\r' && i + 1 < size && bytes[i + 1] == '\n')
                    ++want.crlf, ++i;
                else if (bytes[i] == '\r')
                    ++want.cr;
                else if (bytes[i] == '\n')
                    ++want.lf;
            }
            const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
            const LineBreakCounts got = CountLineBreaks(data, data + size, UnitFormat::Bytes);
            QCOMPARE(got.crlf, want.crlf);
            QCOMPARE(got.lf, want.lf);
            QCOMPARE(got.cr, want.cr);
        }
    }

    void encodingFoundPastAsciiStart_data() {
        QTest::addColumn<qint64>("at");
        QTest::addColumn<TextEncoding>("encoding");
        for (const auto& [name, encoding] :
             {std::pair{"gbk", TextEncoding::Gbk}, std::pair{"utf-8", TextEncoding::Utf8}}) {
            // The scan goes in blocks of 64 bytes and steps of 4 MiB: the first other byte at
            // several places in a block.
            for (const qint64 bound : {qint64(1) << 20, (qint64(5) << 20)})
                for (const int delta : {-1, 1, 7, 8, 63, 64, 65})
                    QTest::addRow("%s at %lld%+d", name, bound, delta) << bound + delta << encoding;
        }
    }
    void encodingFoundPastAsciiStart() {
        QFETCH(qint64, at);
        QFETCH(TextEncoding, encoding);
        QByteArray bytes;
        bytes.reserve(at + 4096);
        for (int i = 0; bytes.size() < at; ++i)
            bytes += QByteArray::number(i).rightJustified(7, '0') + '\n';
        bytes.truncate(at); // the last ASCII line goes on with the first other byte
        for (int i = 0; i < 100; ++i)
            bytes += EncodeText(QStringLiteral("甲乙%1\n").arg(i), encoding)->bytes;
        BytesSink sink;
        const EngineResult result = FilterBytes(bytes, sink, EngineSettings{});
        QVERIFY(result.ok());
        QCOMPARE(result.outputEncoding, encoding);
        QCOMPARE(sink.bytes.size(), bytes.size());
        QVERIFY(sink.bytes == bytes);
    }

    // What the engine's own sample decides for files that fooled detection: NULs in a text of bytes
    // do not make it UTF-16, and one stray byte among a few characters does not make UTF-8
    // GB18030.
    void detectionOfFaultyFiles_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<QByteArray>("expected");
        QByteArray hello = QByteArray("hello world\n").repeated(1000);
        hello.insert(12 * 500 + 11, '\0');
        hello.insert(12 * 10 + 11, '\0');
        QTest::newRow("ascii, two lines end in a NUL")
            << hello << TextEncoding::Gbk << QByteArray("hello world\nhello world\0\n", 25);
        QTest::newRow("ascii, two NULs at the parity of UTF-16BE line breaks")
            << HelloWithNuls() << TextEncoding::Gbk << FirstCopies(HelloWithNuls(), "\n");
        QByteArray crlf;
        for (int i = 0; i < 1000; ++i) {
            crlf += QStringLiteral("第%1行，数据 line %2").arg(i % 300).arg(i % 7).toUtf8();
            crlf += i % 50 == 0 ? QByteArray("\0\r\n", 3) : QByteArray("\r\n");
        }
        QTest::newRow("utf-8 CR LF, 20 NULs")
            << crlf << TextEncoding::Utf8 << FirstCopies(crlf, "\r\n");
        const QByteArray stray = "ok line\nbad \xff byte\nok line\n\xe4\xb8\xad\xe6\x96\x87\n"
                                 "\xe4\xb8\xad\xe6\x96\x87\n";
        QTest::newRow("utf-8, one stray byte") << stray << TextEncoding::Utf8
                                               << QByteArray("ok line\nbad \xff byte\n"
                                                             "\xe4\xb8\xad\xe6\x96\x87\n");
        const QByteArray gbk = EncodeText(ChineseProse(), TextEncoding::Gbk)->bytes;
        QTest::newRow("gbk prose, a stray byte")
            << gbk + "\xff\n" + gbk << TextEncoding::Gbk << FirstCopies(gbk + "\xff\n", "\n");
    }
    void detectionOfFaultyFiles() {
        QFETCH(QByteArray, bytes);
        QFETCH(TextEncoding, encoding);
        QFETCH(QByteArray, expected);
        for (const qint64 readWhole : {qint64(16) << 20, qint64(0)}) {
            EngineSettings settings;
            settings.readWholeBytes = readWhole;
            settings.lineBreak = expected.endsWith("\r\n") ? LineBreak::CrLf : LineBreak::Lf;
            QByteArray out;
            const EngineResult r = filterFile(bytes, settings, &out);
            QVERIFY2(r.ok(), qPrintable(r.outcome.message()));
            QCOMPARE(r.outputEncoding, encoding);
            QCOMPARE(out.toHex(' '), expected.toHex(' '));
        }
    }

    // A file that went through once comes back unchanged the second time, in every encoding,
    // with stray bytes, an odd last byte of UTF-16, or no line break at the end; in memory,
    // mapped and partitioned, by bytes and by text.
    void secondRunChangesNothing_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<TextEncoding>("encoding"); // what the first run finds
        const QStringList samples = ChineseSamples();
        // Repeats, LF and CR LF, Latin and ideographs; 😀 is in GB18030 only.
        const QString text =
            samples[5] + samples[6] + samples[8] + samples[5] + QStringLiteral("abc 😀\nabc\n");
        const TextEncoding all[] = {TextEncoding::Gbk,        TextEncoding::Gb18030,
                                    TextEncoding::Utf8,       TextEncoding::Utf8Bom,
                                    TextEncoding::Utf16Le,    TextEncoding::Utf16Be,
                                    TextEncoding::Utf16LeBom, TextEncoding::Utf16BeBom};
        for (const TextEncoding e : all) {
            const QString body = e == TextEncoding::Gbk ? QString(text).remove(u"😀"_qs) : text;
            const QByteArray bytes = EncodeText(body, e)->bytes;
            const QByteArray name = EncodingName(e).toUtf8();
            const bool utf16 = CodeUnitBytes(e) == 2;
            QTest::addRow("%s", name.constData()) << bytes << e;
            QTest::addRow("%s, no break at the end", name.constData())
                << EncodeText(body.chopped(1), e)->bytes << e;
            if (utf16) {
                QTest::addRow("%s, odd", name.constData()) << bytes + "x" << e;
                QTest::addRow("%s, odd, no break before", name.constData())
                    << EncodeText(body.chopped(1), e)->bytes + "\r" << e;
                const qsizetype middle = bytes.size() / 4 * 2;
                QTest::addRow("%s, lone surrogate, odd", name.constData())
                    << bytes.first(middle) + LoneSurrogate(e) + bytes.sliced(middle) + "\xff" << e;
            } else {
                // A stray in the middle of a line, one cut off at the end. GB18030 that cannot
                // read its strays either is GBK.
                const qsizetype middle = bytes.indexOf('\n', bytes.size() / 2) - 3;
                QTest::addRow("%s, strays", name.constData())
                    << bytes.first(middle) + "\xff" + bytes.sliced(middle) + "\xe4\xb8"
                    << (e == TextEncoding::Gb18030 ? TextEncoding::Gbk : e);
            }
        }
    }
    void secondRunChangesNothing() {
        QFETCH(QByteArray, bytes);
        QFETCH(TextEncoding, encoding);
        const bool odd = (bytes.size() - ByteOrderMark(encoding).size()) % 2 != 0 &&
                         CodeUnitBytes(encoding) == 2;
        for (int way = 0; way < 4; ++way) {
            EngineSettings settings;
            settings.tempDir = dir.path();
            settings.memoryBudget = way == 2 ? 1 : 0;
            settings.readWholeBytes = way == 1 ? 0 : settings.readWholeBytes;
            settings.options.ignoreCase = way == 3;
            QByteArray once, twice;
            EngineResult r = filterFile(bytes, settings, &once);
            QVERIFY2(r.ok(), qPrintable(r.outcome.message()));
            QCOMPARE(r.outputEncoding, encoding);
            r = filterFile(once, settings, &twice);
            QVERIFY2(r.ok(), qPrintable(r.outcome.message()));
            QCOMPARE(r.outputEncoding, encoding);
            QCOMPARE(twice.toHex(' '), once.toHex(' '));
            // An odd last byte stays last, with nothing after it.
            if (odd)
                QCOMPARE(once.back(), bytes.back());
            if (CodeUnitBytes(encoding) == 2)
                QCOMPARE((once.size() - ByteOrderMark(encoding).size()) % 2 != 0, odd);
            QVERIFY(r.stats.linesRemoved == 0 && once.size() < bytes.size());
        }
    }

    // In UTF-16 a line that ends in a byte standing alone must end the result: a line break or
    // a line after it would be out of step. It is written last without a break, or not at all.
    void loneByteEndsTheResult_data() {
        QTest::addColumn<QList<QByteArray>>("inputs");
        QTest::addColumn<std::optional<TextEncoding>>("output");
        QTest::addColumn<QByteArray>("expected"); // empty: refused
        using L = QList<QByteArray>;
        const QByteArray le = QByteArray("a\0\n\0b\0\n\0", 8);
        QTest::newRow("odd utf-16 first of two inputs")
            << L{le + "x", le + QByteArray("c\0\n\0", 4)} << std::optional<TextEncoding>()
            << QByteArray();
        QTest::newRow("odd utf-16 last of two inputs")
            << L{le, le + QByteArray("c\0x", 3)} << std::optional<TextEncoding>()
            << le + QByteArray("c\0x", 3);
        QTest::newRow("gbk stray mid-line into utf-16")
            << L{"\xbc\xd7\r\n\xd2\xd2\r\n\xb1\xfb\x81\r\n\xb6\xa1\r\n"}
            << std::optional(TextEncoding::Utf16Le) << QByteArray();
        QTest::newRow("gbk stray ending the last line into utf-16")
            << L{"\xbc\xd7\r\n\xd2\xd2\x81"} << std::optional(TextEncoding::Utf16Le)
            << QByteArray("\x32\x75\r\0\n\0\x59\x4e\x81", 9);
        QTest::newRow("utf-8 stray pair mid-line into utf-16")
            << L{"\xe7\x94\xb2\xe4\xb9\x99\xff\xfe\r\n"} << std::optional(TextEncoding::Utf16Le)
            << QByteArray("\x32\x75\x59\x4e\xff\xfe\r\0\n\0", 10);
        QTest::newRow("odd utf-16 into gbk") << L{le + "\x81"} << std::optional(TextEncoding::Gbk)
                                             << QByteArray("a\r\nb\r\n\x81\r\n");
    }
    void loneByteEndsTheResult() {
        QFETCH(QList<QByteArray>, inputs);
        QFETCH(std::optional<TextEncoding>, output);
        QFETCH(QByteArray, expected);
        QStringList paths;
        for (qsizetype i = 0; i < inputs.size(); ++i) {
            paths << path(QStringLiteral("lone%1.txt").arg(i));
            WriteAll(paths.back(), inputs[i]);
        }
        for (const qint64 budget : {qint64(0), qint64(1)}) {
            EngineSettings settings;
            settings.tempDir = dir.path();
            settings.memoryBudget = budget;
            settings.outputEncoding = output;
            settings.lineBreak = output == TextEncoding::Gbk ? LineBreak::CrLf : LineBreak::Lf;
            if (output == TextEncoding::Utf16Le)
                settings.lineBreak = LineBreak::CrLf;
            BytesSink sink;
            const EngineResult r = FilterFiles(paths, sink, settings);
            if (expected.isEmpty()) {
                QVERIFY(r.outcome.hasFailed());
                QVERIFY2(r.outcome.message().contains(u"UTF-16"_qs) &&
                             r.outcome.message().contains(u"第 3 行"_qs),
                         qPrintable(r.outcome.message()));
                QVERIFY(sink.bytes.isEmpty());
            } else {
                QVERIFY2(r.ok(), qPrintable(r.outcome.message()));
                QCOMPARE(sink.bytes.toHex(' '), expected.toHex(' '));
            }
        }
    }

    // A line of the large-file mode's beginning is shown whole up to kPreviewLineChars
    // characters, and cut there with "…" from one more on, in every encoding.
    void largeFilePreviewLine_data() {
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<QString>("character");
        QTest::addColumn<int>("beyond"); // the line's length minus the bound
        const std::pair<const char*, TextEncoding> encodings[] = {
            {"gbk", TextEncoding::Gbk},
            {"gb18030", TextEncoding::Gb18030},
            {"utf-8", TextEncoding::Utf8},
            {"utf-16le", TextEncoding::Utf16LeBom},
            {"utf-16be", TextEncoding::Utf16BeBom}};
        for (const auto& [name, encoding] : encodings) {
            // An emoji is two UTF-16 units, and four bytes in GB18030 and UTF-8.
            const QString character =
                encoding == TextEncoding::Gbk ? QStringLiteral("长") : QStringLiteral("😀");
            // One character below the bound, at it, and one above.
            const int step = int(character.size());
            for (const int beyond : {-step, 0, step})
                QTest::addRow("%s, %+d", name, beyond) << encoding << character << beyond;
        }
    }
    void largeFilePreviewLine() {
        QFETCH(TextEncoding, encoding);
        QFETCH(QString, character);
        QFETCH(int, beyond);
        const QString line = character.repeated((kPreviewLineChars + beyond) / character.size());
        const QString in = path(QStringLiteral("preview.txt"));
        WriteAll(in,
                 EncodeText(QStringLiteral("a\r\n") + line + QStringLiteral("\r\nb\r\n"), encoding)
                     ->bytes);
        LargeFile opened;
        const Outcome o = OpenLargeFile(in, {}, &opened);
        QVERIFY2(o.ok(), qPrintable(o.message()));
        const LargeFile* large = &opened;
        QCOMPARE(large->summary.lines, 3);
        const QStringList shown = large->summary.preview.split(QStringLiteral("\r\n"));
        QCOMPARE(shown.size(), 3);
        if (line.size() <= kPreviewLineChars) {
            QCOMPARE(shown[1], line);
            QVERIFY(large->summary.previewComplete);
        } else {
            QCOMPARE(shown[1], line.left(kPreviewLineChars) + QStringLiteral("…"));
            QVERIFY(!large->summary.previewComplete);
        }
        QCOMPARE(shown[2], QStringLiteral("b"));
    }

    // The large-file mode: the whole file counted, its beginning shown, the result filtered into
    // a temporary file, saved and copied, each in the file's own encoding and line break.
    void largeFile_data() {
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<QString>("lineBreak");
        QTest::newRow("gbk, CR LF") << TextEncoding::Gbk << "\r\n";
        QTest::newRow("utf-8, LF") << TextEncoding::Utf8 << "\n";
        QTest::newRow("utf-16le with mark, CR") << TextEncoding::Utf16LeBom << "\r";
    }
    void largeFile() {
        QFETCH(TextEncoding, encoding);
        QFETCH(QString, lineBreak);
        QString text;
        for (int i = 0; i < 30000; ++i)
            text += (i % 7 == 0 ? QStringLiteral("  ") : QStringLiteral("第%1行").arg(i % 12000)) +
                    lineBreak;
        text += QString(5000, u'长') + lineBreak;
        const QString in = path(QStringLiteral("large.txt"));
        WriteAll(in, EncodeText(text, encoding)->bytes);

        LargeFile opened;
        Outcome o = OpenLargeFile(in, {}, &opened);
        QVERIFY2(o.ok(), qPrintable(o.message()));
        const LargeFile* large = &opened;
        QCOMPARE(large->encoding, encoding);
        QCOMPARE(large->summary.lines, 30001);
        QCOMPARE(large->summary.nonBlankLines, 30001 - 30000 / 7 - 1);
        QVERIFY(!large->summary.previewComplete);
        QCOMPARE(large->summary.preview.count(QStringLiteral("\r\n")), kPreviewLines - 1);
        QVERIFY(large->summary.preview.startsWith(QStringLiteral("  \r\n第1行\r\n第2行\r\n")));

        EngineSettings settings;
        settings.tempDir = dir.path();
        LargeResult filtered;
        o = FilterLargeFile(*large, settings, {}, &filtered);
        QVERIFY2(o.ok(), qPrintable(o.message()));
        LargeResult* result = &filtered;
        QByteArray expected;
        QVERIFY(filterFile(ReadAll(in), settings, &expected).ok());
        result->file->seek(0);
        QCOMPARE(result->file->readAll(), expected);
        QCOMPARE(result->summary.nonBlankLines, 12001);

        const QString out = path(QStringLiteral("saved.txt"));
        o = SaveLargeResult(*result->file, out, {});
        QVERIFY2(o.ok(), qPrintable(o.message()));
        QCOMPARE(ReadAll(out), expected);
        // A cancelled save leaves the file as it was.
        WriteAll(out, "before");
        QVERIFY(SaveLargeResult(*result->file, out, [](qint64, qint64) {
                    return false;
                }).wasCancelled());
        QCOMPARE(ReadAll(out), QByteArray("before"));

        QVERIFY(!ResultText(*result->file, result->encoding, expected.size() - 1));
        const std::optional<QString> copied =
            ResultText(*result->file, result->encoding, expected.size());
        QVERIFY(copied);
        QCOMPARE(copied->count(QStringLiteral("\r\n")), 12002); // the first line, spaces, counts
    }

    void largeFileFailures() {
        LargeFile large;
        const Outcome missing = OpenLargeFile(path(QStringLiteral("absent.txt")), {}, &large);
        QVERIFY(missing.hasFailed());
        QVERIFY2(missing.message().contains(QStringLiteral("absent.txt")) &&
                     missing.message().contains(QStringLiteral("原因")),
                 qPrintable(missing.message()));
        WriteAll(path(QStringLiteral("some.txt")), QByteArray(3 << 20, 'x'));
        const Outcome stopped = OpenLargeFile(
            path(QStringLiteral("some.txt")), [](qint64, qint64) { return false; }, &large);
        QVERIFY(stopped.wasCancelled()); // a cancel is no failure
        QVERIFY(stopped.message().isEmpty());
    }

    // Partitions carry keys of up to 256 bytes themselves and read longer ones from the input:
    // lines just below and above, compared by their bytes and by their text.
    void longKeysInPartitions_data() {
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("byText");
        QTest::addColumn<bool>("mapped");
        for (const bool mapped : {false, true}) {
            for (const int length : {255, 256, 257})
                QTest::addRow("%d bytes%s", length, mapped ? ", mapped" : "")
                    << length << false << mapped;
            for (const int length : {127, 128, 129}) // UTF-16 keys: two bytes a character
                QTest::addRow("%d characters by text%s", length, mapped ? ", mapped" : "")
                    << length << true << mapped;
        }
    }
    void longKeysInPartitions() {
        QFETCH(int, length);
        QFETCH(bool, byText);
        QFETCH(bool, mapped);
        QRandomGenerator rng(9);
        QString text;
        for (int i = 0; i < 3000; ++i) {
            QString line(length, u'a');
            line[rng.bounded(length)] = rng.bounded(2) ? u'B' : u'b';
            text += line + QStringLiteral("\r\n");
        }
        EngineSettings settings;
        settings.tempDir = dir.path();
        settings.options.ignoreCase = byText;
        settings.options.keep = KeepMode::Last;
        settings.writeCounts = true;
        if (mapped)
            settings.readWholeBytes = 0;
        QByteArray inMemory, partitioned;
        QVERIFY(filterFile(text.toUtf8(), settings, &inMemory).ok());
        settings.memoryBudget = 1;
        const EngineResult r = filterFile(text.toUtf8(), settings, &partitioned);
        QVERIFY(r.ok() && r.partitioned);
        QCOMPARE(partitioned, inMemory);
        QVERIFY(inMemory.count('\n') < 3000);
    }

    // Keys and compared lists on random texts over a tiny alphabet that reaches every rule,
    // against the reference: a box's text with pasted lists, files in two encodings, and
    // partitioned. The lines each list removed are counted as the reference counts them.
    void listsAndKeysAgainstReference_data() {
        QTest::addColumn<int>("where"); // 0: a text and pasted lists, 1: files, 2: partitioned
        QTest::newRow("text") << 0;
        QTest::newRow("files") << 1;
        QTest::newRow("files, partitioned") << 2;
    }
    void listsAndKeysAgainstReference() {
        QFETCH(int, where);
        QRandomGenerator rng(quint32(4242 + where));
        auto randomText = [&](int lines) {
            QStringList text;
            for (int i = 0; i < lines; ++i)
                text << RandomLine(rng);
            return text.join(u'\n');
        };
        for (int round = 0; round < 300; ++round) {
            FilterOptions o = RandomOptions(rng);
            o.keep = KeepMode(rng.bounded(4));
            o.keepBlank = rng.bounded(4) == 0;
            const bool counts = rng.bounded(4) == 0;
            const QString input = randomText(rng.bounded(1, 14));
            std::vector<ReferenceList> lists;
            EngineSettings settings;
            settings.options = o;
            settings.writeCounts = counts;
            settings.tempDir = dir.path();
            settings.lineBreak = LineBreak::CrLf;
            const int listCount = rng.bounded(4);
            for (int i = 0; i < listCount; ++i) {
                const ReferenceList list{rng.bounded(3) != 0, randomText(rng.bounded(0, 8))};
                lists.push_back(list);
                ComparedList compared;
                compared.kind =
                    list.excludes ? ComparedList::Kind::Exclude : ComparedList::Kind::Intersect;
                compared.name = QStringLiteral("list%1").arg(i);
                if (where == 0) {
                    compared.text = list.text;
                } else {
                    compared.path = path(compared.name);
                    // Lists in another encoding than the input are compared by their text.
                    WriteAll(compared.path, EncodeText(list.text, i % 2 ? TextEncoding::Gb18030
                                                                        : TextEncoding::Utf8Bom)
                                                ->bytes);
                }
                settings.lists.push_back(compared);
            }
            if (where == 2)
                settings.memoryBudget = 1;
            QString out;
            EngineResult r;
            if (where == 0) {
                const TextFilterResult t = FilterText(input, settings);
                out = t.text;
                r = t.result;
            } else {
                QByteArray bytes;
                r = filterFile(EncodeText(input, TextEncoding::Utf8Bom)->bytes, settings, &bytes);
                out = DecodeText(bytes).text;
            }
            QVERIFY2(r.ok(), qPrintable(r.outcome.message()));
            QCOMPARE(r.partitioned, where == 2);
            const QString expected = ReferenceFilter(input, o, counts, lists);
            QVERIFY2(out == expected, qPrintable(QStringLiteral("round %1: %2\ninput: %3")
                                                     .arg(round)
                                                     .arg(o.key.pattern, input)));
            // What each list removed: every copy of a keyed line it removes, and the lines
            // without a key that an intersecting list removes.
            std::vector<qint64> removed(lists.size(), 0);
            qint64 keyless = 0;
            qint64 blanksKept = 0;
            const QStringList inputLines = ReferenceLines(input);
            for (qsizetype n = 0; n < inputLines.size(); ++n) {
                const QString& line = inputLines[n];
                const ReferenceLineKey k = ReferenceKey(line, o);
                keyless += k.kind == ReferenceLineKey::Kind::Keyless;
                if (k.kind == ReferenceLineKey::Kind::Blank) {
                    blanksKept += o.keepBlank || n == 0;
                    continue;
                }
                const QString& key = k.key;
                auto holds = [&](const ReferenceList& l) {
                    if (k.kind != ReferenceLineKey::Kind::Keyed)
                        return false;
                    for (const QString& other : ReferenceLines(l.text)) {
                        const ReferenceLineKey ok = ReferenceKey(other, o);
                        if (ok.kind == ReferenceLineKey::Kind::Keyed && ok.key == key)
                            return true;
                    }
                    return false;
                };
                std::optional<std::size_t> by;
                for (std::size_t i = 0; i < lists.size() && !by; ++i)
                    if (lists[i].excludes && holds(lists[i]))
                        by = i;
                for (std::size_t i = 0; i < lists.size() && !by; ++i)
                    if (!lists[i].excludes && !holds(lists[i]))
                        by = i;
                if (by)
                    ++removed[*by];
            }
            QCOMPARE(r.stats.removedByList, removed);
            QCOMPARE(r.stats.keylessLines, keyless);
            QCOMPARE(r.stats.blankLinesKept, blanksKept);
        }
    }

    // A list far larger than the budget: partitioned with the input, the same result as in
    // memory and as the reference.
    void listLargerThanBudget() {
        QStringList input, list;
        for (int i = 0; i < 20000; ++i)
            input << QStringLiteral("user%1@example.org").arg(i * 7 % 30011);
        for (int i = 0; i < 120000; ++i)
            list << QStringLiteral("User%1@Example.org").arg(i * 3);
        WriteAll(path(QStringLiteral("unsubscribed.txt")), list.join(u'\n').toUtf8());
        EngineSettings settings;
        settings.tempDir = dir.path();
        settings.options.ignoreCase = true;
        settings.lists.push_back(ComparedList{ComparedList::Kind::Exclude,
                                              path(QStringLiteral("unsubscribed.txt")),
                                              {},
                                              QStringLiteral("unsubscribed")});
        const QByteArray bytes = input.join(u'\n').toUtf8();
        QByteArray inMemory, partitioned;
        const EngineResult a = filterFile(bytes, settings, &inMemory);
        settings.memoryBudget = 256 * 1024;
        const EngineResult b = filterFile(bytes, settings, &partitioned);
        QVERIFY2(a.ok() && b.ok(), qPrintable(a.outcome.message() + b.outcome.message()));
        QVERIFY(!a.partitioned && b.partitioned);
        QCOMPARE(partitioned, inMemory);
        QCOMPARE(a.stats.removedByList, b.stats.removedByList);
        FilterOptions o;
        o.ignoreCase = true;
        QString expected = ReferenceFilter(QString::fromUtf8(bytes), o, false,
                                           {ReferenceList{true, list.join(u'\n')}});
        expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        QCOMPARE(QString::fromUtf8(inMemory), expected);
        QVERIFY(a.stats.removedByList.front() > 1000);
    }

    // Lines longer than the engine reads into memory are looked at in place and gone through in
    // steps: lengths on both sides of that bound, repeated exactly and with one byte changed at
    // either end, with each line break, in memory and partitioned, as bytes and by text.
    void longLines_data() {
        QTest::addColumn<qint64>("length");
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<QString>("lineBreak");
        QTest::addColumn<qint64>("budget");
        QTest::addColumn<bool>("byText");
        constexpr qint64 kBound = qint64(4) << 20;
        // Two whole steps and a few bytes stand for any number of steps.
        for (const qint64 length : {kBound - 1, kBound, kBound + 1, 2 * kBound + 5}) {
            for (const qint64 budget : {qint64(0), qint64(8) << 20}) {
                QTest::addRow("%lld, utf-8, LF%s", length, budget ? ", partitioned" : "")
                    << length << TextEncoding::Utf8 << "\n"
                    << budget << false;
                QTest::addRow("%lld, utf-8, CR LF%s", length, budget ? ", partitioned" : "")
                    << length << TextEncoding::Utf8 << "\r\n"
                    << budget << false;
                QTest::addRow("%lld, utf-16le, CR%s", length, budget ? ", partitioned" : "")
                    << length / 2 << TextEncoding::Utf16LeBom << "\r" << budget << false;
            }
        }
        // By text, the buffers a long line grows are let go after it: keys on both sides.
        for (const qint64 length : {kBound - 1, kBound, kBound + 1}) {
            QTest::addRow("%lld, by text", length) << length << TextEncoding::Utf8 << "\n"
                                                   << qint64(0) << true;
            QTest::addRow("%lld, by text, partitioned", length)
                << length << TextEncoding::Utf8 << "\n"
                << (qint64(8) << 20) << true;
        }
    }
    void longLines() {
        QFETCH(qint64, length);
        QFETCH(TextEncoding, encoding);
        QFETCH(QString, lineBreak);
        QFETCH(qint64, budget);
        QFETCH(bool, byText);
        // By text, a key that is not the line itself (upper case folded).
        QString line(length, byText ? u'X' : u'x');
        for (qint64 i = 0; i < length; i += 997)
            line[i] = QChar(char16_t(u'a' + i % 26));
        QString lastChanged = line;
        lastChanged[length - 1] = u'#';
        QString firstChanged = line;
        firstChanged[0] = u'#';
        const QString& br = lineBreak;
        const QString text = QStringLiteral("a") + br + line + br + QStringLiteral("b") + br +
                             line + br + lastChanged + br + firstChanged + br + line;
        const QString expected = QStringLiteral("a") + br + line + br + QStringLiteral("b") + br +
                                 lastChanged + br + firstChanged + br;
        EngineSettings settings;
        settings.tempDir = dir.path();
        settings.readWholeBytes = 0; // mapped, as a large file is
        settings.memoryBudget = budget;
        settings.options.ignoreCase = byText;
        QByteArray out;
        const EngineResult r = filterFile(EncodeText(text, encoding)->bytes, settings, &out);
        QVERIFY2(r.ok(), qPrintable(r.outcome.message()));
        QCOMPARE(r.partitioned, budget > 0);
        QCOMPARE(r.stats.linesRead, qint64(7));
        QCOMPARE(r.stats.linesKept, qint64(5));
        QVERIFY(out == EncodeText(expected, encoding)->bytes);
    }

    // With a comparison option, a long first copy in a file read through a buffer is read again
    // from the file to make its key: words of 1,000 to 1,050 characters written in ways whose keys
    // match (another case, spaces around or inside, another first column), so that a first copy
    // is longer than the line that finds it (read on past what was asked for) or shorter, in
    // memory and partitioned, in UTF-8, GBK and UTF-16.
    void longLinesByKeyReadAgain_data() {
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("flags");
        QTest::addColumn<qint64>("budget");
        for (const auto& [name, encoding] :
             {std::pair{"utf-8", TextEncoding::Utf8}, std::pair{"gbk", TextEncoding::Gbk},
              std::pair{"utf-16le", TextEncoding::Utf16LeBom}}) {
            for (const auto& [key, flags] : {std::pair{"", "case"}, std::pair{"", "trim"},
                                             std::pair{"", "spaces"}, std::pair{"tab 2", ""}}) {
                for (const qint64 budget : {qint64(0), qint64(1)})
                    QTest::addRow("%s, key '%s', %s%s", name, key, flags,
                                  budget ? ", partitioned" : "")
                        << encoding << QString::fromLatin1(key) << QString::fromLatin1(flags)
                        << budget;
            }
        }
    }
    void longLinesByKeyReadAgain() {
        QFETCH(TextEncoding, encoding);
        QFETCH(QString, key);
        QFETCH(QString, flags);
        QFETCH(qint64, budget);
        QRandomGenerator rng(quint32(qHash(key + flags) + int(encoding)));
        QStringList words;
        for (int i = 0; i < 30; ++i) {
            QString word;
            for (int j = 1000 + int(rng.bounded(50)); j > 0; --j)
                word += rng.bounded(40) == 0 ? QChar(u'甲') : QChar(u'a' + rng.bounded(26));
            words << word;
        }
        const auto writing = [&](const QString& word) {
            switch (rng.bounded(6)) {
            case 0:
                return word;
            case 1:
                return word.toUpper();
            case 2: // spaces around: a copy up to 300 characters longer or shorter
                return QString(rng.bounded(300), u' ') + word + QString(rng.bounded(300), u' ');
            case 3: { // spaces inside
                QString spaced = word;
                for (int k = 0; k < 20; ++k)
                    spaced.insert(rng.bounded(spaced.size()), u' ');
                return spaced;
            }
            default: // another first column, of up to 400 characters
                return QString(rng.bounded(1, 400), QChar(u'0' + rng.bounded(10))) + u'\t' + word;
            }
        };
        QString text;
        for (int i = 0; i < 600; ++i)
            text += writing(words[rng.bounded(words.size())]) + QStringLiteral("\r\n");
        EngineSettings settings;
        settings.options = Options(key, flags);
        settings.inputEncoding = encoding;
        settings.readWholeBytes = 0; // read through a buffer, as a large file is
        settings.memoryBudget = budget;
        settings.tempDir = dir.path();
        QByteArray out;
        const EngineResult r = filterFile(EncodeText(text, encoding)->bytes, settings, &out);
        QVERIFY2(r.ok(), qPrintable(r.outcome.message()));
        QCOMPARE(r.partitioned, budget > 0);
        const QString expected = ReferenceFilter(text, settings.options);
        QVERIFY2(r.stats.linesRemoved >= 100, // many found again by their key
                 qPrintable(QString::number(r.stats.linesRemoved)));
        QVERIFY(out == EncodeText(expected, encoding)->bytes);
    }

    // A mapped file that shrinks meanwhile reads as zeros past its new end and says so, instead
    // of ending the program; another mapping is not marked.
    void mappingSurvivesShrink() {
        const QString name = path(QStringLiteral("shrinks.txt"));
        const QString other = path(QStringLiteral("stays.txt"));
        WriteAll(name, QByteArray(1 << 20, 'x'));
        WriteAll(other, QByteArray(1 << 20, 'y'));
        QFile file(name);
        QFile stays(other);
        QVERIFY(file.open(QIODevice::ReadOnly) && stays.open(QIODevice::ReadOnly));
        GuardedMapping a, b;
        QVERIFY(a.map(file, file.size()) && b.map(stays, stays.size()));
        QCOMPARE(a.data()[500000], uchar('x'));
        QVERIFY(QFile::resize(name, 4096));
        QCOMPARE(a.data()[100], uchar('x'));
        QCOMPARE(a.data()[500000], uchar(0));
        QCOMPARE(a.data()[(1 << 20) - 1], uchar(0));
        QVERIFY(a.failed());
        QCOMPARE(b.data()[(1 << 20) - 1], uchar('y'));
        QVERIFY(!b.failed());
        a.unmap();
        QVERIFY(!a.failed());
    }
};

TRENNIX_SHARDED_APPLESS_MAIN(EngineTest)
#include "tst_engine.moc"
