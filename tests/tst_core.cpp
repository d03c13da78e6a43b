#include "core/lines.h"
#include "testtext.h"

#include <QRandomGenerator>
#include <QSet>
#include <QStringList>
#include <QTest>

namespace {

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

    // Thousands of short random texts over a tiny alphabet, against the plain count above.
    void randomAgainstModel() {
        const QChar alphabet[] = {u'a', u'b', u' ', u'\t', u'\r', u'\n', QChar(0x7532)};
        QRandomGenerator rng(20261208);
        for (int round = 0; round < 20000; ++round) {
            QString text;
            const int length = rng.bounded(0, 24);
            for (int i = 0; i < length; ++i)
                text += alphabet[rng.bounded(0, int(std::size(alphabet)))];
            QCOMPARE(CountNonBlankLines(text), ReferenceCount(text));
        }
    }
};

QTEST_APPLESS_MAIN(CoreTest)
#include "tst_core.moc"
