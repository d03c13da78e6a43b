// The first look at a file's line breaks, in two halves when it is large: the same counts as one
// look at the whole, whatever the cut falls on, in every encoding; a compared list's breaks kept
// apart; a file that shrinks said to have changed.
#include "engine/engine.h"
#include "engine/firstlook.h"
#include "engine/inputs.h"
#include "filehelpers.h"

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

    // Opens the file and its lists as the engine does, read through a buffer.
    FirstLook look(const QString& path, TextEncoding encoding, OpenInputs& inputs,
                   const QStringList& lists = {}) {
        EngineSettings settings;
        settings.readWholeBytes = 0;
        settings.inputEncoding = encoding;
        for (const QString& list : lists)
            settings.lists.push_back(ComparedList{ComparedList::Kind::Exclude, list, {}, list});
        if (!OpenInput(path, settings, inputs).ok() || !OpenLists(settings, inputs).ok())
            qFatal("cannot open %s", qPrintable(path));
        return LookAtLines(inputs.list);
    }

private slots:
    // The breaks of a file are counted as in one look at its whole text, with a cut that falls
    // on either side of a CR LF pair, inside one, inside a character or a long line, and with no
    // cut at all just below the size that has one.
    void sameCountsAsTheWhole_data() {
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<bool>("breaks");
        QTest::addColumn<QByteArray>("before"); // the unit before the cut
        QTest::addColumn<QByteArray>("after");  // the unit after it

        const qint64 from = kLookInHalvesFrom;
        const struct {
            const char* name;
            char before, after;
        } cuts[] = {{"a CR LF cut in two", '\r', '\n'},
                    {"a CR before the cut", '\r', 'x'},
                    {"a LF after the cut", 'x', '\n'},
                    {"a LF before the cut, a CR after", '\n', '\r'},
                    {"no break at the cut", 'x', 'y'}};
        for (const TextEncoding e : {TextEncoding::Utf8, TextEncoding::Gbk, TextEncoding::Utf16Le,
                                     TextEncoding::Utf16Be}) {
            const qint64 unit = CodeUnitBytes(e);
            const QByteArray name = EncodingName(e).toUtf8();
            for (const auto& cut : cuts) {
                for (const qint64 bytes : {from - unit, from, from + unit, 3 * from + 2 * unit})
                    QTest::addRow("%s, %s, %lld bytes", name.constData(), cut.name, bytes)
                        << e << bytes << true << Unit(cut.before, e) << Unit(cut.after, e);
            }
            // A line longer than is read into memory, cut in two, or ending at the cut.
            QTest::addRow("%s, a long line cut in two", name.constData())
                << e << 3 * from << false << Unit('x', e) << Unit('y', e);
            QTest::addRow("%s, a long line ending at the cut", name.constData())
                << e << 3 * from << false << Unit('\r', e) << Unit('\n', e);
        }
        QTest::addRow("GBK, a character cut in two")
            << TextEncoding::Gbk << from + 1 << true << QByteArray("\xBC") << QByteArray("\xD7");
    }
    void sameCountsAsTheWhole() {
        QFETCH(TextEncoding, encoding);
        QFETCH(qint64, bytes);
        QFETCH(bool, breaks);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QByteArray text = Filler(bytes, breaks, encoding);
        const qint64 cut = CutOf(bytes, encoding);
        text.replace(qsizetype(cut - before.size()), before.size(), before);
        text.replace(qsizetype(cut), after.size(), after);
        const QString path = dir.filePath(QStringLiteral("cut.txt"));
        WriteAll(path, Mark(encoding) + text);

        OpenInputs inputs;
        const FirstLook got = look(path, encoding, inputs);
        const auto* data = reinterpret_cast<const uchar*>(text.constData());
        const LineBreakCounts whole =
            CountLineBreaks(data, data + text.size(), UnitFormatOf(encoding));
        QCOMPARE(got.breaks.crlf, whole.crlf);
        QCOMPARE(got.breaks.lf, whole.lf);
        QCOMPARE(got.breaks.cr, whole.cr);
        // At most: every batch and every half may count a line cut short.
        const qint64 lines = whole.crlf + whole.lf + whole.cr + 1;
        QVERIFY2(got.lines >= lines && got.lines <= lines + 64,
                 qPrintable(QStringLiteral("%1 lines for %2").arg(got.lines).arg(lines)));
        QCOMPARE(got.listLines, 0);
        QVERIFY(!inputs.list.readFailed);
    }

    // A compared list's lines are counted as its own, and its breaks do not choose the result's,
    // whether it is cut in two or not.
    void listsCountApart_data() {
        QTest::addColumn<qint64>("bytes");
        QTest::addRow("a list looked at whole") << kLookInHalvesFrom - 1;
        QTest::addRow("a list cut in two") << kLookInHalvesFrom + 1;
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
        const FirstLook got = look(input, TextEncoding::Utf8, inputs, {listPath});
        QCOMPARE(got.breaks.lf, 3);
        QCOMPARE(got.breaks.cr + got.breaks.crlf, 0);
        QVERIFY(got.listLines >= bytes / 100 && got.listLines <= bytes / 100 + 64);
    }

    // A file that becomes shorter than it was when it was opened is said to have changed,
    // whichever half it no longer reaches.
    void aFileThatShrinks_data() {
        QTest::addColumn<qint64>("keep");
        const qint64 bytes = 2 * kLookInHalvesFrom;
        QTest::addRow("into the first half") << CutOf(bytes, TextEncoding::Utf8) - 1;
        QTest::addRow("right after the cut") << CutOf(bytes, TextEncoding::Utf8) + 1;
        QTest::addRow("by its last byte") << bytes - 1;
    }
    void aFileThatShrinks() {
        QFETCH(qint64, keep);
        const qint64 bytes = 2 * kLookInHalvesFrom;
        const QString path = dir.filePath(QStringLiteral("shrinks.txt"));
        WriteAll(path, Filler(bytes, true, TextEncoding::Utf8));
        OpenInputs inputs;
        EngineSettings settings;
        settings.readWholeBytes = 0;
        settings.inputEncoding = TextEncoding::Utf8;
        QVERIFY(OpenInput(path, settings, inputs).ok());
        QVERIFY(QFile::resize(path, keep));
        LookAtLines(inputs.list);
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
        const qint64 pairs = kLookInHalvesFrom / 12 / unit + 1;
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
