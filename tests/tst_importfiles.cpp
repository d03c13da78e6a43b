// The choice an import makes between reading files whole and the large-file mode, on files on
// disk: each bound crossed, every kind of line break counted as the box counts it, several files
// joined, a cancel and a failure.
#include "engine/window/importfiles.h"
#include "filehelpers.h"

#include <QDir>
#include <QFileInfo>

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

    // A text's size in UTF-8 and its line breaks, as the file it would make has them; the
    // counting goes in blocks of 8,192 characters, so breaks and pairs across a block's end are
    // tried.
    void measureText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("breaks");
        const QString block(8191, u'a');
        QTest::newRow("empty") << QString() << qint64(0);
        QTest::newRow("CR LF, lone LF, lone CR") << QStringLiteral("a\r\nb\nc\rd") << qint64(3);
        QTest::newRow("CR at the end, CR CR LF") << QStringLiteral("\r\r\n\r") << qint64(3);
        QTest::newRow("one, two, three and four bytes") << QStringLiteral("aé中😀\n") << qint64(1);
        QTest::newRow("CR LF across a block's end") << block + QStringLiteral("\r\nb") << qint64(1);
        QTest::newRow("lone CR at a block's end") << block + QStringLiteral("\rb") << qint64(1);
        QTest::newRow("a pair across a block's end") << block + QStringLiteral("😀") << qint64(0);
        QTest::newRow("many blocks of Chinese")
            << QStringLiteral("中文\r\n").repeated(20000) << qint64(20000);
    }
    void measureText() {
        QFETCH(QString, text);
        QFETCH(qint64, breaks);
        const TextMeasure m = MeasureText(text);
        QCOMPARE(m.utf8Bytes, qint64(text.toUtf8().size()));
        QCOMPARE(m.lineBreaks, breaks);
    }

    // A text in parts goes into a file, owner-only, in UTF-8 with its line breaks as they are,
    // read as a large file; a character pair across the pieces it is written in stays whole.
    // The file goes with the last user of the large file.
    void largeText_data() {
        QTest::addColumn<QStringList>("parts");
        QTest::addColumn<qint64>("lines");
        QTest::newRow("around a paste")
            << QStringList{"head 甲\r\n", "x\ny\n", "tail"} << qint64(4);
        QTest::newRow("empty parts") << QStringList{"", "a\rb", ""} << qint64(2);
        const QString piece(1 << 20, u'z');
        QTest::newRow("a pair across two pieces")
            << QStringList{piece.chopped(1) + QStringLiteral("😀\n") + piece} << qint64(2);
    }
    void largeText() {
        QFETCH(QStringList, parts);
        QFETCH(qint64, lines);
        std::vector<QStringView> views(parts.begin(), parts.end());
        QTemporaryDir folder;
        LargeFile large;
        const Outcome o = OpenLargeText(views, folder.path(), kGoOn, &large);
        QVERIFY2(o.ok(), qPrintable(o.message()));
        QCOMPARE(large.paths.size(), 1);
        const QString path = large.paths[0];
        QCOMPARE(ReadAll(path), parts.join(QString()).toUtf8());
        QCOMPARE(QFileInfo(path).permissions() &
                     ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser),
                 QFile::Permissions());
        QCOMPARE(large.encoding, TextEncoding::Utf8);
        QCOMPARE(large.summary.lines, lines);
        QVERIFY(ChangedSince(large.paths, large.opened).isEmpty());
        // Nothing has a name in the folder, and the file goes with its last user.
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        const std::vector<FileStatus> opened = large.opened;
        large = LargeFile{};
        QVERIFY(!ChangedSince(QStringList{path}, opened).isEmpty());
    }

    void largeTextCancelled() {
        QTemporaryDir folder;
        LargeFile large;
        const QString text(3 << 20, u'c');
        const Outcome o = OpenLargeText(
            {QStringView(text)}, folder.path(), [](qint64, qint64) { return false; }, &large);
        QVERIFY(o.wasCancelled());
        QVERIFY(large.paths.isEmpty() && !large.pasted);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }
};

QTEST_MAIN(ImportFilesTest)
#include "tst_importfiles.moc"
