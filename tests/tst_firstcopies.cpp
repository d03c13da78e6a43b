// Lines copied by their bytes: first copies kept in the program's own memory, each compared as
// the line it was made from, with the results of files read through a buffer the same as the
// model's; and kept lines copied into the result as they are, at every length.
#include "engine/engine.h"
#include "engine/inmemory/firstcopies.h"
#include "filehelpers.h"
#include "files/textcodec.h"
#include "referencefilter.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <numeric>

Q_DECLARE_METATYPE(TextEncoding)

namespace {

// The first copy of every line, each followed by LF.
QString FirstOfEach(const QString& text) {
    QSet<QString> seen;
    QString out;
    for (const QString& line : ReferenceLines(text)) {
        if (!seen.contains(line)) {
            seen.insert(line);
            out += line + u'\n';
        }
    }
    return out;
}

// A line of `bytes` bytes in `encoding` (its last character Chinese where that fits), numbered.
QString LineOfBytes(int bytes, int number, TextEncoding encoding, QRandomGenerator& rng) {
    const bool wide = CodeUnitBytes(encoding) == 2;
    QString line = QString::number(number) + u'-';
    int size = wide ? 2 * int(line.size()) : int(line.size());
    while (size < bytes) {
        const bool chinese = !wide && encoding == TextEncoding::Gbk && bytes - size == 2;
        line += chinese ? QChar(u'甲') : QChar(u'a' + rng.bounded(26));
        size += wide || chinese ? 2 : 1;
    }
    return line;
}

} // namespace

class FirstCopiesTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    // Filters the files read through a buffer and read whole, in memory, with LF after each line.
    void filterBothWays(const QStringList& paths, TextEncoding encoding,
                        const QByteArray& expected) {
        for (const qint64 whole : {qint64(0), qint64(16) << 20}) {
            EngineSettings settings;
            settings.tempDir = dir.path();
            settings.readWholeBytes = whole;
            settings.inputEncoding = encoding;
            settings.lineBreak = LineBreak::Lf;
            BytesSink sink;
            const EngineResult r = FilterFiles(paths, sink, settings);
            QVERIFY2(r.ok() && !r.partitioned, qPrintable(r.outcome.message()));
            QCOMPARE(sink.bytes, expected);
        }
    }

private slots:
    // Every copy is found as the line it was made from, and not as a line one byte shorter,
    // longer or different at either end; in chunks of 1 KiB, so that lines fill a chunk exactly,
    // pass its end by one byte, or start the next.
    void copiesAreTheirLines_data() {
        QTest::addColumn<QList<int>>("lengths");
        QTest::addRow("filling a chunk exactly") << QList<int>{1000, 24, 8, 1016, 1015, 9, 1023};
        QTest::addRow("one byte past a chunk") << QList<int>{1000, 25, 1023, 1023, 8, 9};
        QTest::addRow("the longest lines") << QList<int>{1023, 1023, 1023, 1023};
        QTest::addRow("the shortest lines") << QList<int>(300, 8);
        QList<int> mixed;
        QRandomGenerator rng(7);
        for (int i = 0; i < 2000; ++i)
            mixed << int(rng.bounded(8, 1024));
        QTest::addRow("2,000 lines of 8 to 1,023 bytes") << mixed;
    }
    void copiesAreTheirLines() {
        QFETCH(QList<int>, lengths);
        FirstCopies copies(10);
        QRandomGenerator rng(quint32(lengths.size()));
        std::vector<QByteArray> lines;
        std::vector<quint64> places;
        for (const int length : lengths) {
            QByteArray line(length + 1, Qt::Uninitialized);
            for (char& c : line)
                c = char(rng.bounded(256));
            lines.push_back(line);
            quint64 place = 0;
            QVERIFY(copies.add(reinterpret_cast<const uchar*>(line.constData()), length, &place));
            QVERIFY(FirstCopies::Holds(place));
            places.push_back(place);
        }
        QVERIFY(copies.bytes() >=
                1024 * ((std::accumulate(lengths.begin(), lengths.end(), 0) + 1023) / 1024));
        auto same = [&](quint64 place, const QByteArray& bytes, qint64 length) {
            return copies.same(place, reinterpret_cast<const uchar*>(bytes.constData()), length);
        };
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const QByteArray& line = lines[i];
            const qint64 length = line.size() - 1;
            QVERIFY(same(places[i], line, length));
            QVERIFY(!same(places[i], line, length + 1));
            QVERIFY(!same(places[i], line, length - 1));
            QByteArray other = line;
            other[0] = char(other[0] ^ 1);
            QVERIFY(!same(places[i], other, length));
            other = line;
            other[length - 1] = char(other[length - 1] ^ 0x80);
            QVERIFY(!same(places[i], other, length));
        }
    }

    // Which lines are copied: those of a file read through a buffer from 8 to 1,023 bytes (a
    // shorter one is coded, a longer one read again), never one looked at in place in steps.
    void whichLinesAreCopied_data() {
        QTest::addColumn<bool>("file");
        QTest::addColumn<bool>("longLine");
        QTest::addColumn<qint64>("length");
        QTest::addColumn<bool>("taken");
        for (const qint64 length : {1, 7, 8, 9, 1023, 1024, 1025})
            QTest::addRow("%lld bytes", length)
                << true << false << length << (length >= 8 && length <= 1023);
        QTest::addRow("read whole") << false << false << qint64(100) << false;
        QTest::addRow("looked at in steps") << true << true << qint64(100) << false;
    }
    void whichLinesAreCopied() {
        QFETCH(bool, file);
        QFETCH(bool, longLine);
        QFETCH(qint64, length);
        QFETCH(bool, taken);
        const QFile someFile;
        Segment s;
        s.file = file ? &someFile : nullptr;
        s.longLine = longLine;
        QCOMPARE(FirstCopies::Takes(s, length), taken);
    }

    // Copying stops where 31 of 32 lines of the second half of the sample were new, and only
    // there: at that share, one line fewer, and the odd sizes of a sample.
    void copyingStopsForDifferentLines_data() {
        QTest::addColumn<qint64>("lines");
        QTest::addColumn<qint64>("late");
        QTest::addColumn<bool>("stops");
        for (const qint64 lines : {qint64(65536), qint64(65537), qint64(1) << 20}) {
            const qint64 half = lines - lines / 2;
            const qint64 bound = (half * 31 + 31) / 32; // the fewest new lines that stop it
            QTest::addRow("%lld lines, all new", lines) << lines << half << true;
            QTest::addRow("%lld lines, at the share", lines) << lines << bound << true;
            QTest::addRow("%lld lines, one fewer", lines) << lines << bound - 1 << false;
            QTest::addRow("%lld lines, half new", lines) << lines << half / 2 << false;
        }
    }
    void copyingStopsForDifferentLines() {
        QFETCH(qint64, lines);
        QFETCH(qint64, late);
        QFETCH(bool, stops);
        DistinctSample sample;
        sample.lines = lines;
        sample.early = lines / 2;
        sample.late = late;
        sample.read = lines;
        sample.found = sample.early + late;
        QCOMPARE(StopsCopying(sample), stops);
    }

    // Files read through a buffer, whose first copies are kept in memory, against the model:
    // lines on both sides of the longest coded line (7 bytes) and of the shortest read again
    // (1,024), lines that start others, lines with their last character changed, every kind of
    // break; on one thread (short lines) and on two, over several chunks of copies, and where
    // copying stops after a sample of nearly only new lines.
    void filesReadThroughABuffer_data() {
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<int>("shape");
        QTest::addColumn<int>("files");
        const char* shapes[] = {"around the bounds", "short lines, one thread",
                                "over a MiB of copies", "new lines first, repeats after",
                                "new short lines first, repeats after, one thread"};
        for (const auto& [name, encoding] :
             {std::pair{"utf-8", TextEncoding::Utf8}, std::pair{"gbk", TextEncoding::Gbk},
              std::pair{"utf-16le", TextEncoding::Utf16LeBom}}) {
            for (int shape = 0; shape < int(std::size(shapes)); ++shape) {
                QTest::addRow("%s, %s", name, shapes[shape]) << encoding << shape << 1;
                if (shape == 0)
                    QTest::addRow("%s, %s, three files", name, shapes[shape])
                        << encoding << shape << 3;
            }
        }
    }
    void filesReadThroughABuffer() {
        QFETCH(TextEncoding, encoding);
        QFETCH(int, shape);
        QFETCH(int, files);
        QRandomGenerator rng(quint32(shape * 10 + int(encoding) + files));
        const int unit = CodeUnitBytes(encoding);
        QStringList pool;
        int lines = 0;
        switch (shape) {
        case 0:
            // Each length in bytes, four lines of it and each of them changed four ways.
            for (const int bytes : {6, 7, 8, 9, 16, 64, 65, 1022, 1023, 1024, 1025, 1026}) {
                for (int i = 0; i < 4; ++i) {
                    const QString line = LineOfBytes(bytes / unit * unit, i, encoding, rng);
                    QString last = line;
                    last[last.size() - 1] = u'#';
                    pool << line << last << line + u'x' << line.chopped(1) << u'x' + line;
                }
            }
            lines = 20000;
            break;
        case 1:
            for (int i = 0; i < 3000; ++i)
                pool << LineOfBytes(int(rng.bounded(4, 14)) / unit * unit, i, encoding, rng);
            lines = 60000;
            break;
        case 2:
            // About 2.7 MB of different lines: more than a chunk for each half of the work.
            for (int i = 0; i < 3200; ++i)
                pool << LineOfBytes(int(rng.bounded(700, 1024)) / unit * unit, i, encoding, rng);
            lines = 12000;
            break;
        default:
            // Under 16 bytes a line on average in the last shape: decided on one thread.
            for (int i = 0; i < 90000; ++i)
                pool << LineOfBytes((shape == 3 ? int(rng.bounded(9, 30)) : 12) / unit * unit, i,
                                    encoding, rng);
            lines = 100000;
            break;
        }
        const QString breaks[] = {QStringLiteral("\n"), QStringLiteral("\r\n"),
                                  QStringLiteral("\r")};
        QStringList texts(files);
        for (int i = 0; i < lines; ++i) {
            // The last shape: the first 70,000 lines all new (more than the sample of 65,536),
            // then lines drawn from all of them and some new ones.
            const int n = shape >= 3 ? (i < 70000 ? i : int(rng.bounded(i < 90000 ? i : 90000)))
                                     : int(rng.bounded(int(pool.size())));
            texts[i * files / lines] += pool[n] + breaks[rng.bounded(3)];
        }
        QStringList paths;
        for (int f = 0; f < files; ++f) {
            paths << dir.filePath(QStringLiteral("in%1-%2.txt").arg(shape).arg(f));
            WriteAll(paths.back(), EncodeText(texts[f], encoding)->bytes);
        }
        const QByteArray expected = EncodeText(FirstOfEach(texts.join(QString())), encoding)->bytes;
        filterBothWays(paths, encoding, expected);
    }

    // Kept lines are copied into the result straight when they are short (up to 4,096 bytes; in
    // words of 8 bytes up to 256, where a call copies the longer ones) and through the general
    // way otherwise: every length on both sides of those, and the shortest ones, in each kind of
    // code unit, read whole and through a buffer.
    void keptLinesWrittenAsTheyAre_data() {
        QTest::addColumn<TextEncoding>("encoding");
        for (const auto& [name, encoding] :
             {std::pair{"utf-8", TextEncoding::Utf8}, std::pair{"gbk", TextEncoding::Gbk},
              std::pair{"utf-16le", TextEncoding::Utf16LeBom},
              std::pair{"utf-16be", TextEncoding::Utf16BeBom}})
            QTest::addRow("%s", name) << encoding;
    }
    void keptLinesWrittenAsTheyAre() {
        QFETCH(TextEncoding, encoding);
        QRandomGenerator rng{quint32(encoding)};
        const int unit = CodeUnitBytes(encoding);
        QStringList pool;
        for (const int bytes : {1,  2,   3,   4,   5,   6,    7,    8,    9,    15,   16,
                                17, 255, 256, 257, 258, 4094, 4095, 4096, 4097, 4098, 70000}) {
            if (bytes % unit != 0)
                continue;
            for (int i = 0; i < 3; ++i)
                pool << LineOfBytes(bytes, i, encoding, rng).right(bytes / unit);
        }
        QString text;
        for (int i = 0; i < 400; ++i)
            text += pool[rng.bounded(int(pool.size()))] + QStringLiteral("\r\n");
        const QString path = dir.filePath(QStringLiteral("kept.txt"));
        WriteAll(path, EncodeText(text, encoding)->bytes);
        const QByteArray expected = EncodeText(FirstOfEach(text), encoding)->bytes;
        filterBothWays({path}, encoding, expected);
    }
};

QTEST_GUILESS_MAIN(FirstCopiesTest)
#include "tst_firstcopies.moc"
