// The first look at a file's line breaks, in two halves when it is large: the same counts as one
// look at the whole, whatever the cut falls on, in every encoding; a compared list's breaks kept
// apart; a file that shrinks said to have changed.
#include "engine/engine.h"
#include "engine/reading/firstlook.h"
#include "engine/reading/inputs.h"
#include "filehelpers.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(TextEncoding)

namespace {

// One character of plain ASCII as a unit of the encoding.
QByteArray Unit(char c, TextEncoding encoding) {
    if (CodeUnitBytes(encoding) == 1)
        return {1, c};
    const bool big = WithoutByteOrderMark(encoding) == TextEncoding::Utf16Be;
    return big ? QByteArray(1, '\0') + c : QByteArray(1, c) + '\0';
}

// `bytes` bytes of text: short lines with every kind of break, or one line without any.
QByteArray Filler(qint64 bytes, bool breaks, TextEncoding encoding) {
    const QByteArray pattern = breaks ? QByteArray("ab\r\ncd\nef\rgh\r\n\n") : QByteArray("x");
    QByteArray units;
    for (const char c : pattern)
        units += Unit(c, encoding);
    QByteArray text;
    text.reserve(qsizetype(bytes + units.size()));
    while (text.size() < bytes)
        text += units;
    text.truncate(qsizetype(bytes));
    return text;
}

// Where a file's text of `bytes` bytes is cut in two.
qint64 CutOf(qint64 bytes, TextEncoding encoding) {
    return bytes / 2 & ~qint64(CodeUnitBytes(encoding) - 1);
}

QByteArray Mark(TextEncoding encoding) {
    if (encoding == TextEncoding::Utf16Le)
        return QByteArrayLiteral("\xFF\xFE");
    if (encoding == TextEncoding::Utf16Be)
        return QByteArrayLiteral("\xFE\xFF");
    return {};
}

} // namespace

class FirstLookTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    // Opens the files and the lists as the engine does, read through a buffer.
    FirstLook look(const QStringList& paths, TextEncoding encoding, OpenInputs& inputs,
                   const QStringList& lists = {}, int threads = 2) {
        EngineSettings settings;
        settings.readWholeBytes = 0;
        settings.inputEncoding = encoding;
        for (const QString& list : lists)
            settings.lists.push_back(ComparedList{ComparedList::Kind::Exclude, list, {}, list});
        for (const QString& path : paths) {
            if (!OpenInput(path, settings, inputs).ok())
                qFatal("cannot open %s", qPrintable(path));
        }
        if (!OpenLists(settings, inputs).ok())
            qFatal("cannot open the lists");
        return LookAtLines(inputs.list, threads);
    }

    // A text of `bytes` bytes with `around` (plain ASCII, or bytes of a byte encoding) written
    // where its cut falls, `before` of its units in front of the cut.
    static QByteArray TextCutAt(qint64 bytes, bool breaks, TextEncoding encoding,
                                const QByteArray& around, int before) {
        QByteArray text = Filler(bytes, breaks, encoding);
        const qint64 unit = CodeUnitBytes(encoding);
        qint64 at = CutOf(bytes, encoding) - before * unit;
        for (const char c : around) {
            text.replace(qsizetype(at), qsizetype(unit), Unit(c, encoding));
            at += unit;
        }
        return text;
    }

    static LineBreakCounts WholeCounts(const QByteArray& text, TextEncoding encoding) {
        const auto* data = reinterpret_cast<const uchar*>(text.constData());
        return CountLineBreaks(data, data + text.size(), UnitFormatOf(encoding));
    }

private slots:
    // The breaks of a file are counted as in one look at its whole text, with a cut that falls
    // on either side of a CR LF pair, inside one, inside a character or a long line, and with no
    // cut at all just below the size that has one.
    void sameCountsAsTheWhole_data() {
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<bool>("mark");
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<bool>("breaks");
        QTest::addColumn<QByteArray>("around"); // the units written where the cut falls
        QTest::addColumn<int>("before");        // how many of them come before it

        const qint64 from = kLookInPiecesFrom;
        const struct {
            const char* name;
            const char* around;
            int before;
        } cuts[] = {{"a CR LF cut in two", "\r\n", 1},
                    {"a CR before the cut", "\rx", 1},
                    {"a LF after the cut", "x\n", 1},
                    {"a LF before the cut, a CR after", "\n\r", 1},
                    {"CR, then a CR LF cut in two", "\r\r\n", 2},
                    {"a CR, then a CR LF after the cut", "\r\r\n", 1},
                    {"no break at the cut", "xy", 1}};
        for (const TextEncoding e : {TextEncoding::Utf8, TextEncoding::Gbk, TextEncoding::Utf16Le,
                                     TextEncoding::Utf16Be}) {
            const qint64 unit = CodeUnitBytes(e);
            const bool mark = unit == 2;
            const QByteArray name = EncodingName(e).toUtf8();
            for (const auto& cut : cuts) {
                for (const qint64 bytes : {from - unit, from, from + unit, 3 * from + 2 * unit})
                    QTest::addRow("%s, %s, %lld bytes", name.constData(), cut.name, bytes)
                        << e << mark << bytes << true << QByteArray(cut.around) << cut.before;
            }
            // A line longer than is read into memory, cut in two, or ending at the cut.
            QTest::addRow("%s, a long line cut in two", name.constData())
                << e << mark << 3 * from << false << QByteArray("xy") << 1;
            QTest::addRow("%s, a long line ending at the cut", name.constData())
                << e << mark << 3 * from << false << QByteArray("\r\n") << 1;
            if (unit == 2) {
                for (const qint64 bytes : {from - 2, from, from + 3})
                    QTest::addRow("%s without its mark, %lld bytes", name.constData(), bytes)
                        << e << false << bytes << true << QByteArray("\r\n") << 1;
                QTest::addRow("%s, a byte standing alone at the end", name.constData())
                    << e << mark << from + 1 << true << QByteArray("\r\n") << 1;
            }
        }
        QTest::addRow("GBK, a character cut in two")
            << TextEncoding::Gbk << false << from + 1 << true << QByteArray("\xBC\xD7") << 1;
    }
    void sameCountsAsTheWhole() {
        QFETCH(TextEncoding, encoding);
        QFETCH(bool, mark);
        QFETCH(qint64, bytes);
        QFETCH(bool, breaks);
        QFETCH(QByteArray, around);
        QFETCH(int, before);
        const QByteArray text = TextCutAt(bytes, breaks, encoding, around, before);
        const QString path = dir.filePath(QStringLiteral("cut.txt"));
        WriteAll(path, (mark ? Mark(encoding) : QByteArray()) + text);

        OpenInputs inputs;
        const FirstLook got = look({path}, encoding, inputs);
        QCOMPARE(inputs.list.segments.front().body, mark ? 2 : 0);
        const LineBreakCounts whole = WholeCounts(text, encoding);
        QCOMPARE(got.breaks.crlf, whole.crlf);
        QCOMPARE(got.breaks.lf, whole.lf);
        QCOMPARE(got.breaks.cr, whole.cr);
        QCOMPARE(got.filesCut, bytes >= kLookInPiecesFrom ? 1 : 0);
        // At most: every batch and every half may count a line cut short.
        const qint64 lines = whole.crlf + whole.lf + whole.cr + 1;
        QVERIFY2(got.lines >= lines && got.lines <= lines + 64,
                 qPrintable(QStringLiteral("%1 lines for %2").arg(got.lines).arg(lines)));
        QCOMPARE(got.listLines, 0);
        QVERIFY(!inputs.list.readFailed);
    }

    // Each worker looks at a piece of its own: breaks of every kind falling anywhere, a CR LF
    // pair cut in two wherever a cut lands, are counted as in one look at the whole.
    void aPieceForEachWorker_data() {
        QTest::addColumn<int>("threads");
        for (const int threads : {1, 3, 4, 7})
            QTest::addRow("%d", threads) << threads;
    }
    void aPieceForEachWorker() {
        QFETCH(int, threads);
        QRandomGenerator rng{quint32(threads)};
        QByteArray text(qsizetype(3 * kLookInPiecesFrom + 5), 'x');
        for (char& c : text)
            c = "\r\nxy"[rng.bounded(4)];
        const QString path = dir.filePath(QStringLiteral("pieces.txt"));
        WriteAll(path, text);
        OpenInputs inputs;
        const FirstLook got = look({path}, TextEncoding::Utf8, inputs, {}, threads);
        const LineBreakCounts whole = WholeCounts(text, TextEncoding::Utf8);
        QCOMPARE(got.breaks.crlf, whole.crlf);
        QCOMPARE(got.breaks.lf, whole.lf);
        QCOMPARE(got.breaks.cr, whole.cr);
        QCOMPARE(got.filesCut, threads > 1 ? 1 : 0);
        QVERIFY(got.lines >= whole.crlf + whole.lf + whole.cr + 1);
    }

    // Several files, large and small, and a large list: each large one cut in two, a CR LF at
    // each cut, the inputs' breaks added up and the list's kept apart.
    void severalFilesAndAList() {
        const qint64 from = kLookInPiecesFrom;
        const QList<QByteArray> texts = {TextCutAt(from + 2, true, TextEncoding::Utf8, "\r\n", 1),
                                         QByteArray("a\r\nb\nc\r"),
                                         TextCutAt(2 * from, false, TextEncoding::Utf8, "\r\n", 1)};
        QStringList paths;
        LineBreakCounts whole;
        for (const QByteArray& text : texts) {
            paths += dir.filePath(QStringLiteral("part%1.txt").arg(paths.size()));
            WriteAll(paths.back(), text);
            whole += WholeCounts(text, TextEncoding::Utf8);
        }
        const QString list = dir.filePath(QStringLiteral("biglist.txt"));
        WriteAll(list, TextCutAt(from + 10, true, TextEncoding::Utf8, "\r\n", 1));

        OpenInputs inputs;
        const FirstLook got = look(paths, TextEncoding::Utf8, inputs, {list});
        QCOMPARE(got.filesCut, 3);
        QCOMPARE(got.breaks.crlf, whole.crlf);
        QCOMPARE(got.breaks.lf, whole.lf);
        QCOMPARE(got.breaks.cr, whole.cr);
        QVERIFY(got.listLines > from / 4);
        QVERIFY(!inputs.list.readFailed);
    }

    // A compared list's lines are counted as its own, and its breaks do not choose the result's,
    // whether it is cut in two or not.
    void listsCountApart_data() {
        QTest::addColumn<qint64>("bytes");
        QTest::addRow("a list looked at whole") << kLookInPiecesFrom - 1;
        QTest::addRow("a list cut in two") << kLookInPiecesFrom + 1;
    }
    void listsCountApart() {
        QFETCH(qint64, bytes);
        QByteArray list(qsizetype(bytes), 'l');
        for (qint64 i = 99; i < bytes; i += 100)
            list[qsizetype(i)] = '\r';
        // A CR LF where a list's cut falls, which the inputs' breaks must not see either.
        const qint64 cut = CutOf(bytes, TextEncoding::Utf8);
        list[qsizetype(cut - 1)] = '\r';
        list[qsizetype(cut)] = '\n';
        const QString input = dir.filePath(QStringLiteral("input.txt"));
        const QString listPath = dir.filePath(QStringLiteral("list.txt"));
        WriteAll(input, "a\nb\nc\n");
        WriteAll(listPath, list);
        OpenInputs inputs;
        const FirstLook got = look({input}, TextEncoding::Utf8, inputs, {listPath});
        QCOMPARE(got.filesCut, bytes >= kLookInPiecesFrom ? 1 : 0);
        QCOMPARE(got.breaks.lf, 3);
        QCOMPARE(got.breaks.cr + got.breaks.crlf, 0);
        QVERIFY(got.listLines >= bytes / 100 && got.listLines <= bytes / 100 + 64);
    }

    // A file that becomes shorter than it was when it was opened is said to have changed,
    // whichever half it no longer reaches.
    void aFileThatShrinks_data() {
        QTest::addColumn<qint64>("keep");
        const qint64 bytes = 2 * kLookInPiecesFrom;
        QTest::addRow("into the first half") << CutOf(bytes, TextEncoding::Utf8) - 1;
        QTest::addRow("right after the cut") << CutOf(bytes, TextEncoding::Utf8) + 1;
        QTest::addRow("by its last byte") << bytes - 1;
    }
    void aFileThatShrinks() {
        QFETCH(qint64, keep);
        const qint64 bytes = 2 * kLookInPiecesFrom;
        const QString path = dir.filePath(QStringLiteral("shrinks.txt"));
        WriteAll(path, Filler(bytes, true, TextEncoding::Utf8));
        OpenInputs inputs;
        EngineSettings settings;
        settings.readWholeBytes = 0;
        settings.inputEncoding = TextEncoding::Utf8;
        QVERIFY(OpenInput(path, settings, inputs).ok());
        QVERIFY(QFile::resize(path, keep));
        LookAtLines(inputs.list, 2);
        QVERIFY(inputs.list.readFailed);
    }

    // The result is written with the break the whole file uses most: here CR LF and LF as many
    // times, a tie that CR LF takes, which one CR LF cut in two would hand to LF.
    void resultTakesTheWholeFilesBreak_data() {
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addRow("UTF-8") << TextEncoding::Utf8;
        QTest::addRow("UTF-16LE") << TextEncoding::Utf16Le;
    }
    void resultTakesTheWholeFilesBreak() {
        QFETCH(TextEncoding, encoding);
        const qint64 unit = CodeUnitBytes(encoding);
        // Lines of 6 units, CR LF in the first half and LF in the second, one unit in front: the
        // cut falls between the last CR LF's two units.
        const qint64 pairs = kLookInPiecesFrom / 12 / unit + 1;
        QByteArray text = Unit('b', encoding);
        for (qint64 i = 0; i < pairs; ++i)
            text += Filler(4 * unit, false, encoding) + Unit('\r', encoding) + Unit('\n', encoding);
        for (qint64 i = 0; i < pairs; ++i)
            text += Filler(5 * unit, false, encoding) + Unit('\n', encoding);
        const qint64 cut = CutOf(text.size(), encoding);
        QCOMPARE(text.mid(qsizetype(cut - unit), 2 * unit),
                 Unit('\r', encoding) + Unit('\n', encoding));

        const QString path = dir.filePath(QStringLiteral("tie.txt"));
        WriteAll(path, text);
        EngineSettings settings;
        settings.readWholeBytes = 0;
        settings.inputEncoding = encoding;
        settings.tempDir = dir.path();
        BytesSink sink;
        const EngineResult r = FilterFiles({path}, sink, settings);
        QVERIFY2(r.ok(), qPrintable(r.outcome.message()));
        QCOMPARE(r.lineBreak, LineBreak::CrLf);
        QVERIFY(sink.bytes.endsWith(Unit('\r', encoding) + Unit('\n', encoding)));
    }
};

QTEST_GUILESS_MAIN(FirstLookTest)
#include "tst_firstlook.moc"
