// The choice an import makes between reading files whole and the large-file mode, on files on
// disk: each bound crossed, every kind of line break counted as the box counts it, several files
// joined, a cancel and a failure.
#include "engine/window/importfiles.h"
#include "filehelpers.h"

#include <QTemporaryDir>
#include <QTest>

namespace {
const EngineProgress kGoOn = [](qint64, qint64) { return true; };
} // namespace

class ImportFilesTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    // Writes the contents as files a.txt, b.txt... and returns their paths.
    QStringList write(const QList<QByteArray>& contents) {
        QStringList paths;
        for (qsizetype i = 0; i < contents.size(); ++i) {
            paths.append(dir_.filePath(QStringLiteral("%1.txt").arg(QChar(u'a' + int(i)))));
            WriteAll(paths.last(), contents[i]);
        }
        return paths;
    }

private slots:
    // At the bound the text is read whole, its line breaks made CR LF; one line above it, the
    // files open in the large-file mode. Lines are counted as a user counts them: a line break
    // at the very end starts no line, an empty file has one line.
    void linesBound_data() {
        QTest::addColumn<QList<QByteArray>>("files");
        QTest::addColumn<qint64>("lines");
        QTest::addColumn<QString>("text");
        QTest::newRow("LF, final break")
            << QList<QByteArray>{"a\nb\nc\n"} << qint64(3) << QStringLiteral("a\r\nb\r\nc\r\n");
        QTest::newRow("no final break")
            << QList<QByteArray>{"a\nb\nc"} << qint64(3) << QStringLiteral("a\r\nb\r\nc");
        QTest::newRow("lone CR, an empty line")
            << QList<QByteArray>{"a\rb\r\rc"} << qint64(4) << QStringLiteral("a\r\nb\r\n\r\nc");
        QTest::newRow("CR LF, LF and CR mixed")
            << QList<QByteArray>{"a\r\nb\nc\rd\r\n"} << qint64(4)
            << QStringLiteral("a\r\nb\r\nc\r\nd\r\n");
        QTest::newRow("empty file") << QList<QByteArray>{""} << qint64(1) << QString();
        // The count goes through the text in blocks of 32,768 characters: a line break as the
        // last character of the first block and as the first of the second.
        const QByteArray last = QByteArray(32766, 'x') + "\r\ny";
        const QByteArray first = QByteArray(32767, 'x') + "\r\ny";
        QTest::newRow("break ending a counting block")
            << QList<QByteArray>{last} << qint64(2) << QString::fromLatin1(last);
        QTest::newRow("break starting a counting block")
            << QList<QByteArray>{first} << qint64(2) << QString::fromLatin1(first);
        QTest::newRow("several files, the first without a final break")
            << QList<QByteArray>{"a\nb", "c\n", "d"} << qint64(4)
            << QStringLiteral("a\r\nb\r\nc\r\nd");
    }
    void linesBound() {
        QFETCH(QList<QByteArray>, files);
        QFETCH(qint64, lines);
        QFETCH(QString, text);
        const QStringList paths = write(files);
        const ImportedFiles at = ReadFiles(paths, {qint64(1) << 40, lines}, kGoOn);
        QVERIFY2(at.outcome.ok(), qPrintable(at.outcome.message()));
        QVERIFY(!at.large);
        QVERIFY(at.text.has_value());
        QCOMPARE(*at.text, text);

        const ImportedFiles above = ReadFiles(paths, {qint64(1) << 40, lines - 1}, kGoOn);
        QVERIFY2(above.outcome.ok(), qPrintable(above.outcome.message()));
        QVERIFY(!above.text);
        QVERIFY(above.large);
        QCOMPARE(above.large->paths, paths);
    }

    // The files' sizes together decide: at the bound they are read, one byte above they are
    // opened in the large-file mode without being read whole.
    void bytesBound_data() {
        QTest::addColumn<qint64>("beyond"); // the files' size minus the bound
        QTest::addColumn<bool>("large");
        QTest::newRow("at the bound") << qint64(0) << false;
        QTest::newRow("one byte above") << qint64(1) << true;
    }
    void bytesBound() {
        QFETCH(qint64, beyond);
        QFETCH(bool, large);
        const QStringList paths = write({"one\ntwo\n", "three\n"});
        const ImportedFiles read = ReadFiles(paths, {8 + 6 - beyond, 1000}, kGoOn);
        QVERIFY2(read.outcome.ok(), qPrintable(read.outcome.message()));
        QCOMPARE(bool(read.large), large);
        QCOMPARE(read.text.has_value(), !large);
        if (large)
            QCOMPARE(read.large->summary.lines, qint64(3));
        else
            QCOMPARE(*read.text, QStringLiteral("one\r\ntwo\r\nthree\r\n"));
    }

    // Of several files, the first one's encoding and most common line break are the text's.
    void firstFileDecides() {
        const QStringList paths = write({"\xEF\xBB\xBF\xE4\xB8\xAD\na\nb\r\n", "c\r\nd\r\ne\r\n"});
        const ImportedFiles read = ReadFiles(paths, {1000, 1000}, kGoOn);
        QVERIFY(read.text.has_value());
        QCOMPARE(read.encoding, TextEncoding::Utf8Bom);
        QCOMPARE(read.lineBreak, LineBreak::Lf);
        QCOMPARE(*read.text, QStringLiteral("中\r\na\r\nb\r\nc\r\nd\r\ne\r\n"));
    }

    // A cancel leaves nothing and says nothing; a file that cannot be read is named.
    void cancelAndFailure() {
        const QStringList paths = write({"a\nb\n"});
        const ImportedFiles cancelled =
            ReadFiles(paths, {1000, 1000}, [](qint64, qint64) { return false; });
        QVERIFY(!cancelled.text && !cancelled.large);
        QVERIFY(cancelled.outcome.wasCancelled());

        const QString missing = dir_.filePath(QStringLiteral("missing.txt"));
        const ImportedFiles failed = ReadFiles(paths + QStringList{missing}, {1000, 1000}, kGoOn);
        QVERIFY(!failed.text && !failed.large);
        QVERIFY2(failed.outcome.message().contains(QStringLiteral("missing.txt")),
                 qPrintable(failed.outcome.message()));
    }
};

QTEST_MAIN(ImportFilesTest)
#include "tst_importfiles.moc"
