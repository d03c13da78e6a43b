// How many different lines the first lines of an input promise: the table of the in-memory way is
// sized from that once, so an estimate far too low makes it grow (and hold its old and new slots
// at once), one far too high takes memory and cache for nothing.
#include "engine/linetable.h"

#include <QRandomGenerator>
#include <QTest>

#include <cmath>
#include <functional>
#include <unordered_set>

using Draw = std::function<quint64(qint64 index, QRandomGenerator& random)>;
Q_DECLARE_METATYPE(Draw)

class TableSizeTest : public QObject {
    Q_OBJECT

private slots:
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
};

QTEST_APPLESS_MAIN(TableSizeTest)
#include "tst_tablesize.moc"
