#include "engine/engine.h"
#include "filehelpers.h"
#include "files/textcodec.h"
#include "referencefilter.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

// Columns cut by one ASCII character are cut from the bytes of a line where its encoding allows;
// the result must be the one the text of the lines gives. Random lines of pieces that meet every
// way a byte can be misread: characters whose second byte is a separator, bytes no encoding reads
// before a separator, the halves of a four-byte GB18030 character, the bytes that join columns.

namespace {

QByteArray RandomBytesLine(QRandomGenerator& rng, char separator) {
    static const QByteArray pieces[] = {
        "a",
        "A",
        "1",
        "\xd6\xd0", // GBK 中
        "\x81\x7c",
        "\x81\x30",         // a GBK character ending in '|', a cut four-byte one
        "\x81\x30\x81\x30", // a four-byte GB18030 character
        "\x81",
        "\xff",
        "\xe4\xb8\xad",
        "\xe4\xb8",
        "\xc3", // UTF-8 中, cut ones
        "\x1e",
        "\x1f",
        " ",
        ",",
        "\t",
        ";",
        "|",
        "5"};
    QByteArray line;
    const int length = rng.bounded(8);
    for (int i = 0; i < length; ++i) {
        line += rng.bounded(3) == 0 ? QByteArray(1, separator)
                                    : pieces[rng.bounded(int(std::size(pieces)))];
    }
    return line;
}

QString Decoded(const QByteArray& bytes, TextEncoding encoding) {
    QString text;
    TextDecoder(encoding).decode(bytes, text);
    return text;
}

} // namespace

class ByteColumnsTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

private slots:
    void asTheirText_data() {
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<bool>("partitioned");
        const std::pair<const char*, TextEncoding> encodings[] = {
            {"gbk", TextEncoding::Gbk},
            {"gb18030", TextEncoding::Gb18030},
            {"utf-8", TextEncoding::Utf8}};
        // Tab, comma and semicolon are cut from the bytes; '|' and '5' can end a GBK character
        // and are cut from the text there.
        for (const auto& [name, encoding] : encodings) {
            for (const char* separator : {"\t", ",", ";", "|", "5"}) {
                for (const bool partitioned : {false, true})
                    QTest::addRow("%s, %s%s", name, separator[0] == '\t' ? "tab" : separator,
                                  partitioned ? ", partitioned" : "")
                        << encoding << QString::fromLatin1(separator) << partitioned;
            }
        }
    }
    void asTheirText() {
        QFETCH(TextEncoding, encoding);
        QFETCH(QString, separator);
        QFETCH(bool, partitioned);
        const char sep = separator.front().toLatin1();
        QRandomGenerator rng(quint32(sep) * 31 + quint32(encoding) + (partitioned ? 7 : 0));
        static const char* columns[] = {"1", "2", "2,1", "1,1,3", "3", "1,2"};
        auto randomBytes = [&](int lines) {
            QByteArray bytes;
            for (int i = 0; i < lines; ++i)
                bytes += RandomBytesLine(rng, sep) + '\n';
            return bytes;
        };
        for (int round = 0; round < 200; ++round) {
            FilterOptions o;
            o.key.source = KeyRule::Source::Columns;
            o.key.separator.character = separator;
            o.key.columns = *ParseFieldList(
                QString::fromLatin1(columns[rng.bounded(int(std::size(columns)))]), nullptr);
            o.keep = KeepMode(rng.bounded(6));
            const QByteArray input = randomBytes(rng.bounded(1, 14));
            EngineSettings settings;
            settings.options = o;
            settings.inputEncoding = encoding;
            settings.tempDir = dir.path();
            settings.lineBreak = LineBreak::Lf;
            if (partitioned)
                settings.memoryBudget = 1;
            std::vector<ReferenceList> lists;
            QByteArray listBytes;
            if (rng.bounded(2)) {
                // A list's encoding is found from its own bytes, as a file's is; a UTF-8 list
                // with a byte-order mark is read as the input is.
                const QByteArray list =
                    (encoding == TextEncoding::Utf8 ? QByteArray("\xef\xbb\xbf") : QByteArray()) +
                    randomBytes(rng.bounded(1, 8));
                WriteAll(path(QStringLiteral("list.txt")), list);
                const bool excludes = rng.bounded(3) != 0;
                settings.lists.push_back(ComparedList{excludes ? ComparedList::Kind::Exclude
                                                               : ComparedList::Kind::Intersect,
                                                      path(QStringLiteral("list.txt")),
                                                      {},
                                                      QStringLiteral("list")});
                lists.push_back(ReferenceList{excludes, DecodeText(list).text});
                listBytes = list;
            }
            WriteAll(path(QStringLiteral("in.txt")), input);
            BytesSink sink;
            const EngineResult r = FilterFiles({path(QStringLiteral("in.txt"))}, sink, settings);
            QVERIFY2(r.ok(), qPrintable(r.outcome.message()));
            QCOMPARE(r.partitioned, partitioned);
            QString expected = ReferenceFilter(Decoded(input, encoding), o, false, lists);
            expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            QVERIFY2(Decoded(sink.bytes, encoding) == expected,
                     qPrintable(QStringLiteral("round %1, keep %2\ninput %3\nlist %4\ngot %5")
                                    .arg(round)
                                    .arg(int(o.keep))
                                    .arg(QString::fromLatin1(input.toHex(' ')),
                                         QString::fromLatin1(listBytes.toHex(' ')),
                                         QString::fromLatin1(sink.bytes.toHex(' ')))));
        }
    }
};

QTEST_GUILESS_MAIN(ByteColumnsTest)
#include "tst_bytecolumns.moc"
