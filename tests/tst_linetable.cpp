// The table of lines: what its slots hold for a line's bytes, and how many lines it is sized for.
#include "engine/inmemory/linebytes.h"
#include "engine/inmemory/linetable.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <functional>
#include <set>
#include <unordered_set>

using Draw = std::function<quint64(qint64 index, QRandomGenerator& random)>;
Q_DECLARE_METATYPE(Draw)
Q_DECLARE_METATYPE(UnitFormat)
Q_DECLARE_METATYPE(ReadAgain)

class LineTableTest : public QObject {
    Q_OBJECT

private slots:
    // Short lines are coded, not hashed: two codes are the same only for the same bytes, and a
    // code is never the hash of a longer line, so that a code found in the table decides alone.
    void shortLineCodesAreTheBytes() {
        // Every line of up to 7 bytes from these four, zero bytes at the end among them.
        const uchar letters[] = {0x00, 0x01, 'a', 0xff};
        std::vector<QByteArray> lines{QByteArray()};
        for (std::size_t from = 0; lines[from].size() < 7; ++from) {
            for (const uchar c : letters)
                lines.push_back(lines[from] + char(c));
        }
        QCOMPARE(lines.size(), std::size_t(21845));
        std::set<quint64> codes;
        for (const QByteArray& line : lines) {
            // Once in the middle of a text, once at its very end (where no 8 bytes can be read).
            const QByteArray text = line + QByteArray(9, 'z') + line;
            Segment s;
            s.data = reinterpret_cast<const uchar*>(text.constData());
            s.size = text.size();
            const quint64 code = HashLineBytes(s, s.data, line.size());
            QVERIFY(IsLineCode(code));
            QCOMPARE(HashLineBytes(s, s.end() - line.size(), line.size()), code);
            codes.insert(code);
        }
        QCOMPARE(codes.size(), lines.size());
        // Longer lines are hashed, and never look like a code.
        QRandomGenerator random(29);
        for (int n = 0; n < 20000; ++n) {
            QByteArray line(8 + int(random.bounded(40)), Qt::Uninitialized);
            for (char& c : line)
                c = char(random.bounded(256));
            Segment s;
            s.data = reinterpret_cast<const uchar*>(line.constData());
            s.size = line.size();
            QVERIFY(!IsLineCode(HashLineBytes(s, s.data, s.size)));
        }
    }

    // The tables take a hash's low bits, the partitions its high ones, the two halves of the work
    // its highest: codes of words must spread over all of them as hashes do.
    void codesSpreadLikeHashes() {
        std::vector<int> low(256), high(256), half(2);
        const int words = 26 * 26 * 26 * 26;
        for (int n = 0; n < words; ++n) {
            const char word[4] = {char('a' + n % 26), char('a' + n / 26 % 26),
                                  char('a' + n / 676 % 26), char('a' + n / 17576)};
            Segment s;
            s.data = reinterpret_cast<const uchar*>(word);
            s.size = 4;
            const quint64 code = HashLineBytes(s, s.data, 4);
            ++low[code & 255];
            ++high[code >> 56];
            ++half[code >> 63];
        }
        const double each = words / 256.0;
        for (int i = 0; i < 256; ++i) {
            QVERIFY2(std::abs(low[i] - each) < each / 5, qPrintable(QString::number(i)));
            QVERIFY2(std::abs(high[i] - each) < each / 5, qPrintable(QString::number(i)));
        }
        QVERIFY(std::abs(half[0] - words / 2) < words / 50);
    }

    void expectedDistinctLines_data() {
        QTest::addColumn<qint64>("total");
        QTest::addColumn<Draw>("draw");
        // Estimated ÷ true, at most.
        QTest::addColumn<double>("over");

        auto uniform = [](quint64 set) {
            return Draw([set](qint64, QRandomGenerator& r) { return r.bounded(set); });
        };
        // Words of a language: the word of rank k drawn about 1/k as often as the first.
        auto zipf = [](double set) {
            return Draw([set](qint64, QRandomGenerator& r) {
                return quint64(std::exp(r.generateDouble() * std::log(set)));
            });
        };
        const Draw distinct = [](qint64 index, QRandomGenerator&) { return quint64(index); };
        QTest::newRow("all different") << qint64(1000000) << distinct << 1.0;
        QTest::newRow("one line") << qint64(1000000)
                                  << Draw([](qint64, QRandomGenerator&) { return 7; }) << 1.0;
        QTest::newRow("1,000 words") << qint64(1000000) << uniform(1000) << 1.0;
        // A set about as large as the input: the sample cannot see it run out.
        QTest::newRow("numbers, 1M known") << qint64(1000000) << uniform(1000000) << 2.0;
        QTest::newRow("numbers, 500,000 known") << qint64(1000000) << uniform(500000) << 2.0;
        QTest::newRow("words, 100,000 known") << qint64(1000000) << zipf(1e5) << 1.6;
        QTest::newRow("words, 10M known") << qint64(1000000) << zipf(1e7) << 1.15;
        QTest::newRow("every other line new")
            << qint64(1000000)
            << Draw([](qint64 index, QRandomGenerator&) { return quint64(index % 2 ? index : 0); })
            << 1.0;
    }
    void expectedDistinctLines() {
        QFETCH(qint64, total);
        QFETCH(Draw, draw);
        QFETCH(double, over);
        QRandomGenerator random(29);
        const qint64 sampleLines = total / 8;
        DistinctSample sample;
        sample.lines = sampleLines;
        sample.read = sampleLines;
        std::unordered_set<quint64> seen;
        seen.reserve(std::size_t(total));
        for (qint64 i = 0; i < total; ++i) {
            const bool added = seen.insert(draw(i, random)).second;
            if (added && i < sampleLines)
                ++(i < sampleLines / 2 ? sample.early : sample.late);
            if (i + 1 == sampleLines)
                sample.found = qint64(seen.size());
        }
        const auto actual = qint64(seen.size());
        const qint64 expected = ExpectedDistinctLines(sample, total);
        // Never short: lines drawn alike throughout only bring new ones ever more seldom.
        QVERIFY2(expected >= actual,
                 qPrintable(QStringLiteral("%1 expected, %2 found").arg(expected).arg(actual)));
        QVERIFY2(double(expected) <= over * double(actual),
                 qPrintable(QStringLiteral("%1 expected, %2 found").arg(expected).arg(actual)));
    }

    // Lines that come in another order than drawn alike can be underestimated: the table then
    // grows, which costs time, not lines. What must hold is that nothing found is forgotten.
    void neverBelowWhatWasFound() {
        DistinctSample sample;
        sample.lines = 1000;
        sample.early = 500;
        sample.late = 0;
        sample.read = 1500;
        sample.found = 900; // new lines after the sample
        QCOMPARE(ExpectedDistinctLines(sample, 1000000), 900);
        sample.read = 1000000;
        QCOMPARE(ExpectedDistinctLines(sample, 1000000), 900);
    }

    // A long line of a file read through a buffer is compared with its first copy read again
    // from the file: the same bytes and a break (or the file's end) right after them, over
    // pieces of 64 KiB; a file that can no longer be read there says so.
    void lineReadAgainFromItsFile_data() {
        QTest::addColumn<QByteArray>("copy"); // the first copy and what follows it in the file
        QTest::addColumn<QByteArray>("line"); // the line compared with it
        QTest::addColumn<UnitFormat>("units");
        QTest::addColumn<bool>("same");
        QTest::addColumn<qint64>("cutTo"); // the file cut to this size before the read; -1: not
        const auto lineOf = [](qint64 length) {
            QByteArray bytes(qsizetype(length), 'a');
            for (qint64 i = 0; i < length; i += 7)
                bytes[qsizetype(i)] = char('a' + i % 23);
            return bytes;
        };
        const auto changedAt = [](QByteArray bytes, qint64 at) {
            bytes[qsizetype(at)] = '#';
            return bytes;
        };
        const QByteArray line = lineOf(1024);
        QTest::newRow("then LF") << line + "\nnext" << line << UnitFormat::Bytes << true << -1LL;
        QTest::newRow("then CR LF") << line + "\r\n" << line << UnitFormat::Bytes << true << -1LL;
        QTest::newRow("then CR") << line + "\rnext" << line << UnitFormat::Bytes << true << -1LL;
        QTest::newRow("at the end") << line << line << UnitFormat::Bytes << true << -1LL;
        QTest::newRow("goes on") << line + "b\n" << line << UnitFormat::Bytes << false << -1LL;
        QTest::newRow("first byte") << changedAt(line, 0) + "\n"
                                    << line << UnitFormat::Bytes << false << -1LL;
        QTest::newRow("last byte") << changedAt(line, 1023) + "\n"
                                   << line << UnitFormat::Bytes << false << -1LL;
        constexpr qint64 kPiece = qint64(64) << 10;
        for (const qint64 length : {kPiece - 1, kPiece, kPiece + 1, 3 * kPiece + 5}) {
            const QByteArray longer = lineOf(length);
            QTest::addRow("%lld bytes, the same", length)
                << longer + "\n"
                << longer << UnitFormat::Bytes << true << -1LL;
            QTest::addRow("%lld bytes, the last differs", length)
                << changedAt(longer, length - 1) + "\n"
                << longer << UnitFormat::Bytes << false << -1LL;
            QTest::addRow("%lld bytes, then goes on", length)
                << longer + "b" << longer << UnitFormat::Bytes << false << -1LL;
            if (length > kPiece)
                QTest::addRow("%lld bytes, the second piece's first differs", length)
                    << changedAt(longer, kPiece) + "\n"
                    << longer << UnitFormat::Bytes << false << -1LL;
        }
        QByteArray utf16;
        for (const char c : line)
            utf16.append(c).append('\0');
        QTest::newRow("utf-16, then CR LF")
            << utf16 + QByteArray("\r\0\n\0", 4) << utf16 << UnitFormat::Utf16Le << true << -1LL;
        QTest::newRow("utf-16, then a letter")
            << utf16 + QByteArray("\n\1", 2) << utf16 << UnitFormat::Utf16Le << false << -1LL;
        QByteArray utf16be;
        for (const char c : line)
            utf16be.append('\0').append(c);
        QTest::newRow("utf-16 big-endian, then CR LF")
            << utf16be + QByteArray("\0\r\0\n", 4) << utf16be << UnitFormat::Utf16Be << true
            << -1LL;
        QTest::newRow("utf-16 big-endian, then a little-endian LF")
            << utf16be + QByteArray("\n\0", 2) << utf16be << UnitFormat::Utf16Be << false << -1LL;
        QTest::newRow("cut inside the line") << line + "\n"
                                             << line << UnitFormat::Bytes << false << 500LL;
        QTest::newRow("cut right after the line")
            << line + "\r\n"
            << line << UnitFormat::Bytes << false << 1024LL + 7;
    }
    void lineReadAgainFromItsFile() {
        QFETCH(QByteArray, copy);
        QFETCH(QByteArray, line);
        QFETCH(UnitFormat, units);
        QFETCH(bool, same);
        QFETCH(qint64, cutTo);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QFile file(dir.filePath(QStringLiteral("in.txt")));
        const QByteArray before = "first\n";
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.write(before + copy) == before.size() + copy.size());
        QVERIFY(file.flush());
        SegmentList inputs;
        Segment s;
        s.file = &file;
        s.size = file.size();
        s.units = units;
        inputs.segments.push_back(s);
        if (cutTo >= 0)
            QVERIFY(file.resize(cutTo));
        QCOMPARE(SameLineReadAgain(inputs, inputs.segments.front(), before.size(),
                                   reinterpret_cast<const uchar*>(line.constData()), line.size()),
                 same);
        QCOMPARE(bool(inputs.readFailed), cutTo >= 0);

        // Read again whole, as a key is made from it: the file's bytes from the line's start on,
        // as far as its end; the same line where the bytes were the same, a longer one where the
        // copy goes on.
        inputs.readFailed = false;
        std::vector<uchar> into;
        Segment again;
        const ReadAgain read = ReadLineAgain(inputs, inputs.segments.front(), before.size(),
                                             line.size(), into, &again);
        QCOMPARE(read, cutTo >= 0 ? ReadAgain::Failed : ReadAgain::Read);
        QCOMPARE(bool(inputs.readFailed), cutTo >= 0);
        if (read != ReadAgain::Read)
            return;
        const QByteArrayView bytes(reinterpret_cast<const char*>(again.data), again.size);
        QVERIFY(copy.startsWith(bytes));
        const uchar* next = nullptr;
        const qint64 length = FindLineEnd(again.data, again.end(), units, &next) - again.data;
        if (same)
            QCOMPARE(length, qint64(line.size()));
        else if (QTest::currentDataTag() == QByteArray("goes on") ||
                 QByteArray(QTest::currentDataTag()).endsWith("then goes on"))
            QVERIFY(length > line.size());
    }
};

QTEST_APPLESS_MAIN(LineTableTest)
#include "tst_linetable.moc"
