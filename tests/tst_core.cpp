#include "core/linefilter.h"

#include <QRandomGenerator>
#include <QSet>
#include <QStringList>
#include <QTest>

namespace {

// Test texts are written with ⏎ for CR LF and ↓ for a lone LF.
QString T(const QString& s) {
    QString r = s;
    r.replace(QStringLiteral("⏎"), QStringLiteral("\r\n"));
    r.replace(QStringLiteral("↓"), QStringLiteral("\n"));
    return r;
}

// A deliberately plain model of the filtering rule: split, then compare with every kept line.
QString ReferenceFilter(const QString& text) {
    if (text.isEmpty())
        return {};
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    QStringList kept;
    QSet<QString> seen;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString& line = lines[i];
        if (i > 0 && line.isEmpty())
            continue;
        if (!seen.contains(line)) {
            seen.insert(line);
            kept.append(line);
        }
    }
    QString out;
    for (const QString& line : kept)
        out += line + QStringLiteral("\r\n");
    return out;
}

qsizetype ReferenceCount(const QString& text) {
    if (text.isEmpty())
        return 0;
    qsizetype n = 0;
    for (const QString& line : text.split(QStringLiteral("\r\n"))) {
        QString t = line;
        while (t.startsWith(u' '))
            t.remove(0, 1);
        while (t.endsWith(u' '))
            t.chop(1);
        if (!t.isEmpty())
            ++n;
    }
    return n;
}

} // namespace

class CoreTest : public QObject {
    Q_OBJECT
private slots:
    void filter_data() {
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
        QTest::newRow("lone LF inside") << "x↓y⏎x"
                                        << "x↓y⏎x⏎";
        QTest::newRow("lone CR inside") << "x\ry⏎x\ry⏎\r"
                                        << "x\ry⏎\r⏎";
        QTest::newRow("leading space") << " a⏎a"
                                       << " a⏎a⏎";
        QTest::newRow("spaces line") << "  ⏎a⏎  "
                                     << "  ⏎a⏎";
        QTest::newRow("CR before CR LF") << "a\r⏎a"
                                         << "a\r⏎a⏎";
        QTest::newRow("chinese") << "甲⏎乙⏎甲"
                                 << "甲⏎乙⏎";
        QTest::newRow("surrogates") << "😀⏎😁⏎😀"
                                    << "😀⏎😁⏎";
    }
    void filter() {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(FilterDuplicateLines(T(input)), T(expected));
    }

    void count_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<qsizetype>("expected");
        QTest::newRow("empty") << "" << qsizetype(0);
        QTest::newRow("blank lines") << "a⏎⏎  ⏎b" << qsizetype(2);
        QTest::newRow("trailing break") << "a⏎" << qsizetype(1);
        QTest::newRow("tabs") << "\t\t" << qsizetype(1);
        QTest::newRow("ideographic space") << "\u3000" << qsizetype(1);
        QTest::newRow("lone LF is no break") << "a↓b" << qsizetype(1);
        QTest::newRow("filtered") << "a⏎b⏎" << qsizetype(2);
    }
    void count() {
        QFETCH(QString, input);
        QFETCH(qsizetype, expected);
        QCOMPARE(CountNonBlankLines(T(input)), expected);
    }

    void captions() {
        QCOMPARE(BeforeFilterCaption(0), QStringLiteral("过滤前共0行"));
        QCOMPARE(AfterFilterCaption(1000000), QStringLiteral("过滤后共1000000行"));
    }

    void normalize_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("none") << "ab"
                              << "ab";
        QTest::newRow("crlf kept") << "a⏎b⏎"
                                   << "a⏎b⏎";
        QTest::newRow("lone LF") << "a↓b↓"
                                 << "a⏎b⏎";
        QTest::newRow("lone CR") << "a\rb\r"
                                 << "a⏎b⏎";
        QTest::newRow("LF CR") << "a\n\rb"
                               << "a⏎⏎b";
        QTest::newRow("paragraph separator") << "a\u2029b"
                                             << "a⏎b";
        QTest::newRow("line separator stays") << "a\u2028b"
                                              << "a\u2028b";
        QTest::newRow("starts with LF") << "↓a"
                                        << "⏎a";
        QTest::newRow("ends with CR") << "a\r"
                                      << "a⏎";
        QTest::newRow("CR CR LF") << "\r⏎"
                                  << "⏎⏎";
        QTest::newRow("frame markers") << "\ufdd0a\ufdd1"
                                       << "⏎a⏎";
    }
    void normalize() {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(NormalizeLineBreaks(T(input)), T(expected));
    }

    // Thousands of short random texts over a tiny alphabet, against the plain model above.
    void randomAgainstModel() {
        const QChar alphabet[] = {u'a', u'b', u' ', u'\t', u'\r', u'\n', QChar(0x7532)};
        QRandomGenerator rng(20261208);
        for (int round = 0; round < 20000; ++round) {
            QString text;
            const int length = rng.bounded(0, 24);
            for (int i = 0; i < length; ++i)
                text += alphabet[rng.bounded(0, int(std::size(alphabet)))];
            const QString filtered = FilterDuplicateLines(text);
            QCOMPARE(filtered, ReferenceFilter(text));
            QCOMPARE(CountNonBlankLines(text), ReferenceCount(text));
            QCOMPARE(FilterDuplicateLines(filtered), filtered);
        }
    }

    // Large enough for the work to be shared between threads.
    void largeRandomAgainstModel() {
        const QChar alphabet[] = {u'a', u'b', u'c', u'\r', u'\n', u'\r', u'\n', QChar(0x7532)};
        QRandomGenerator rng(5);
        for (int round = 0; round < 3; ++round) {
            QString text;
            for (int i = 0; i < 3000000; ++i)
                text += alphabet[rng.bounded(int(std::size(alphabet)))];
            QCOMPARE(FilterDuplicateLines(text), ReferenceFilter(text));
        }
    }

    // Just below, at and just above the size from which the work is shared between threads,
    // with the text's end falling inside a CR LF or not.
    void aroundTheThreadBound_data() {
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<bool>("endsInCr");
        for (const qsizetype delta : {-1, 0, 1})
            for (const bool cr : {false, true})
                QTest::addRow("%lld%+lld%s", qlonglong(1 << 20), qlonglong(delta),
                              cr ? ", ends in CR" : "")
                    << qsizetype((1 << 20) + delta) << cr;
    }
    void aroundTheThreadBound() {
        QFETCH(qsizetype, size);
        QFETCH(bool, endsInCr);
        const QChar alphabet[] = {u'a', u'b', u'\r', u'\n', QChar(0x7532)};
        QRandomGenerator rng(static_cast<quint32>(size));
        QString text;
        text.reserve(size);
        while (text.size() < size - 1)
            text += alphabet[rng.bounded(int(std::size(alphabet)))];
        text += endsInCr ? u'\r' : u'a';
        QCOMPARE(text.size(), size);
        QCOMPARE(FilterDuplicateLines(text), ReferenceFilter(text));
    }

    void manyLines() {
        // Far beyond any 16-bit limit, and enough to make the set grow several times.
        QString text;
        for (int i = 0; i < 100000; ++i)
            text += QString::number(i % 40000) + QStringLiteral("\r\n");
        const QString out = FilterDuplicateLines(text);
        QCOMPARE(CountNonBlankLines(text), qsizetype(100000));
        QCOMPARE(CountNonBlankLines(out), qsizetype(40000));
        QVERIFY(out.startsWith(QStringLiteral("0\r\n1\r\n2\r\n")));
        QVERIFY(out.endsWith(QStringLiteral("\r\n39999\r\n")));
    }
};

QTEST_APPLESS_MAIN(CoreTest)
#include "tst_core.moc"
