#include "chinesetext.h"
#include "filehelpers.h"
#include "files/codecs/codecicu.h"
#include "files/textfile.h"
#include "testtext.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(TextEncoding)
Q_DECLARE_METATYPE(LineBreak)

namespace {

// The codec's size thresholds: two pieces on two threads from 4 MiB of bytes (2 Mi units of
// text); GBK and GB18030 checked 1 MiB at a time; UTF-16 recognised from the first 64 KiB.
constexpr qsizetype kTwoPieces = 4 * qsizetype(kMiB);
constexpr qsizetype kSample = 64 * 1024;

QString Esc(std::initializer_list<int> bytes) {
    QString s;
    for (const int b : bytes)
        s.append(QChar(char16_t(kEscapedByteBase + b)));
    return s;
}

QString operator+(const QString& a, const char16_t* b) {
    return a + QString::fromUtf16(b);
}
QString operator+(const char16_t* a, const QString& b) {
    return QString::fromUtf16(a) + b;
}

QByteArray Gbk(const QString& text) {
    const std::optional<EncodedText> e = EncodeText(text, TextEncoding::Gbk);
    return e && e->encoding == TextEncoding::Gbk ? e->bytes : QByteArray("(not GBK)");
}

// Chinese prose, GBK's common case.
const QString kProse = QStringLiteral("人人生而自由，在尊严和权利上一律平等。他们赋有理性和良心，"
                                      "并应以兄弟关系的精神相对待。\r\n");

// What one converter makes of the whole input in one piece.
QString DecodeWhole(TextEncoding encoding, QByteArrayView bytes, qsizetype* places = nullptr) {
    TextDecoder decoder(WithoutByteOrderMark(encoding));
    QString text;
    const qsizetype n = decoder.decode(bytes.sliced(ByteOrderMark(encoding).size()), text);
    if (places)
        *places = n;
    return text;
}

// Bytes drawn mostly from the values where encodings have their edges.
QByteArray EdgyBytes(QRandomGenerator& rng, qsizetype size) {
    static const char kEdges[] = "\x00\x0a\x0d\x30\x39\x40\x7f\x80\x81\x84\x8f\x90\x95\xa0\xa1"
                                 "\xbc\xbf\xc0\xc2\xd7\xd8\xdc\xdf\xe0\xe3\xe4\xed\xef\xf0\xf4"
                                 "\xf5\xfe\xff\xbb";
    QByteArray b(size, Qt::Uninitialized);
    for (char& c : b)
        c = rng.bounded(3) == 0 ? char(rng.bounded(256))
                                : kEdges[rng.bounded(int(sizeof(kEdges) - 1))];
    return b;
}

} // namespace

class FilesTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const QString& name) { return dir.filePath(name); }

private slots:
    void roundTrip_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<QString>("text");
        QTest::addColumn<qsizetype>("places");
        auto row = [](const char* name, const QByteArray& b, TextEncoding e, const QString& t,
                      qsizetype p) { QTest::newRow(name) << b << e << t << p; };
        const QString jia = QStringLiteral("甲\r\n乙\r\n甲");
        const QByteArray zhong = QStringLiteral("中文测试第二行").toUtf8(); // 7 characters
        row("empty", {}, TextEncoding::Gbk, {}, 0);
        row("ascii", "a\r\nb", TextEncoding::Gbk, u"a\r\nb"_qs, 0);
        row("gbk", "\xbc\xd7\r\n\xd2\xd2\r\n\xbc\xd7", TextEncoding::Gbk, jia, 0);
        row("gbk euro and 0xff", "\x80\xff", TextEncoding::Gbk, u"\u20ac\uf8f5"_qs, 0);
        // U+20000 exists in GB18030 only.
        row("gb18030", "\x95\x32\x82\x36\r\n\xbc\xd7", TextEncoding::Gb18030,
            u"\U00020000\r\n甲"_qs, 0);
        row("gbk stray lead at the start, across CR LF", "\xa1\r\n\xbc\xd7", TextEncoding::Gbk,
            Esc({0xa1}) + u"\r\n甲", 1);
        row("gbk stray in the middle", "\xbc\xd7\x81\x30\xbc\xd7", TextEncoding::Gbk,
            u"甲" + Esc({0x81}) + u"0甲", 1);
        row("gbk cut off at the end", "a\xbc", TextEncoding::Gbk, u"a" + Esc({0xbc}), 1);
        row("gbk stray between CR and LF", "\xbc\xd7\r\x81\n", TextEncoding::Gbk,
            u"甲\r" + Esc({0x81}) + u"\n", 1);
        row("gb bad pairs", "\x81\x30x\x81\x30", TextEncoding::Gbk,
            Esc({0x81}) + u"0x" + Esc({0x81}) + u"0", 2);
        row("gb18030 four bytes cut off", "\x95\x32\x82\x36\x95\x32\x82", TextEncoding::Gbk,
            Esc({0x95}) + u"2" + Esc({0x82}) + u"6" + Esc({0x95}) + u"2" + Esc({0x82}), 4);
        row("utf-8", jia.toUtf8(), TextEncoding::Utf8, jia, 0);
        row("utf-8 bom", "\xef\xbb\xbf" + jia.toUtf8(), TextEncoding::Utf8Bom, jia, 0);
        row("utf-8 bom twice",
            "\xef\xbb\xbf\xef\xbb\xbf"
            "a",
            TextEncoding::Utf8Bom, u"\ufeffa"_qs, 0);
        row("utf-8 bom, then a stray", "\xef\xbb\xbf\xff", TextEncoding::Utf8Bom, Esc({0xff}), 1);
        row("utf-8 stray at the start", "\x80" + zhong + "\xe4\xb8\xad", TextEncoding::Utf8,
            Esc({0x80}) + u"中文测试第二行中", 1);
        row("utf-8 strays in the middle", zhong.repeated(5) + "\xc0\xaf\xed\xa0\x80" + zhong,
            TextEncoding::Utf8,
            u"中文测试第二行"_qs.repeated(5) + Esc({0xc0, 0xaf, 0xed, 0xa0, 0x80}) +
                u"中文测试第二行",
            1);
        row("utf-8 cut off at the end", zhong + "\xe4\xb8\xad\xe4\xb8", TextEncoding::Utf8,
            u"中文测试第二行中" + Esc({0xe4, 0xb8}), 1);
        row("utf-8 cut off before CR LF", zhong + "\xe6\x96\r\n" + zhong, TextEncoding::Utf8,
            u"中文测试第二行" + Esc({0xe6, 0x96}) + u"\r\n中文测试第二行", 1);
        row("utf-8 with a stray byte in its third line",
            "\xe4\xb8\xad\xe6\x96\x87\xe6\xb5\x8b\xe8\xaf\x95\r\n\xe7\xac\xac\xe4\xba\x8c\xe8\xa1"
            "\x8c\r\n\xe5\x9d\x8f\xe5\xad\x97\xe8\x8a\x82\x80\xe5\x9c\xa8\xe8\xbf\x99\xe9\x87\x8c"
            "\r\n",
            TextEncoding::Utf8, u"中文测试\r\n第二行\r\n坏字节" + Esc({0x80}) + u"在这里\r\n", 1);
        row("utf-8, one stray among four characters",
            "ok line\nbad \xff byte\nok line\n\xe4\xb8\xad\xe6\x96\x87\n\xe4\xb8\xad\xe6\x96\x87\n",
            TextEncoding::Utf8, u"ok line\nbad " + Esc({0xff}) + u" byte\nok line\n中文\n中文\n",
            1);
        row("utf-16le bom", QByteArray("\xff\xfe\x32\x75\x0d\x00\x0a\x00\x59\x4e", 10),
            TextEncoding::Utf16LeBom, u"甲\r\n乙"_qs, 0);
        row("utf-16be bom", QByteArray("\xfe\xff\x75\x32\x00\x61", 6), TextEncoding::Utf16BeBom,
            u"甲a"_qs, 0);
        row("utf-16le bom twice", QByteArray("\xff\xfe\xff\xfe\x61\x00", 6),
            TextEncoding::Utf16LeBom, u"\ufeffa"_qs, 0);
        row("utf-16le odd last byte", QByteArray("\xff\xfe\x61\x00\x62", 5),
            TextEncoding::Utf16LeBom, u"a" + Esc({0x62}), 1);
        row("utf-16le lone surrogates",
            QByteArray("\xff\xfe\x00\xd8\x61\x00\x00\xdc\x3d\xd8\x00\xde", 12),
            TextEncoding::Utf16LeBom, Esc({0x00, 0xd8}) + u"a" + Esc({0x00, 0xdc}) + u"\U0001f600",
            2);
        row("utf-16be high surrogate at the end", QByteArray("\xfe\xff\x00\x61\xd8\x3d", 6),
            TextEncoding::Utf16BeBom, u"a" + Esc({0xd8, 0x3d}), 1);
        row("utf-16le without bom", QByteArray("a\0b\0\r\0\n\0", 8), TextEncoding::Utf16Le,
            u"ab\r\n"_qs, 0);
        row("utf-16be without bom", QByteArray("\0a\0b\0\r\0\n", 8), TextEncoding::Utf16Be,
            u"ab\r\n"_qs, 0);
        row("utf-16le ideographs by their line breaks",
            QByteArray("\x2d\x4e\x87\x65\x2d\x4e\x87\x65\r\0\n\0", 12), TextEncoding::Utf16Le,
            u"中文中文\r\n"_qs, 0);
        row("utf-16le without bom, odd", QByteArray("a\0b\0c", 5), TextEncoding::Utf16Le,
            u"ab" + Esc({'c'}), 1);
        // Short texts stay as before: not UTF-8 strictly, so GBK.
        row("overlong utf-8 is gbk", "\xc0\x80", TextEncoding::Gbk, u"\u7eae"_qs, 0);
        row("utf-8 surrogate is gbk", "\xed\xa0\x80", TextEncoding::Gbk, u"\u980e\u20ac"_qs, 0);
    }
    void roundTrip() {
        QFETCH(QByteArray, bytes);
        QFETCH(TextEncoding, encoding);
        QFETCH(QString, text);
        QFETCH(qsizetype, places);
        const DecodedText d = DecodeText(bytes);
        QCOMPARE(d.encoding, encoding);
        QCOMPARE(d.text, text);
        QCOMPARE(d.unreadable, places);
        const std::optional<EncodedText> e = EncodeText(d.text, d.encoding);
        QVERIFY(e);
        QCOMPARE(e->bytes.toHex(' '), bytes.toHex(' '));
        QCOMPARE(e->encoding, encoding);
        QCOMPARE(DetectEncoding(bytes), encoding);
        qsizetype pieces = 0;
        QCOMPARE(DecodeWhole(encoding, bytes, &pieces), text);
        QCOMPARE(pieces, places);
        TextEncoder encoder(WithoutByteOrderMark(encoding));
        QByteArray piece;
        QVERIFY(encoder.encode(text, piece));
        QCOMPARE(ByteOrderMark(encoding).toByteArray() + piece, bytes);
    }

    // A line reads the same alone as within its text: the ASCII bytes of a sequence cut off at
    // its end are themselves, as they are when the line break follows.
    void cutSequenceAtLineEnd_data() {
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("text");
        QTest::newRow("gb18030 lead and digit")
            << TextEncoding::Gb18030 << QByteArray("5\xad\x35") << u"5" + Esc({0xad}) + u"5";
        QTest::newRow("gb18030 three of four")
            << TextEncoding::Gb18030 << QByteArray("\x81\x30\x81")
            << Esc({0x81}) + u"0" + Esc({0x81});
        QTest::newRow("gb18030 lead")
            << TextEncoding::Gb18030 << QByteArray("a\x81") << u"a" + Esc({0x81});
        QTest::newRow("gbk lead") << TextEncoding::Gbk << QByteArray("a\x81") << u"a" + Esc({0x81});
        QTest::newRow("utf-8 two of three")
            << TextEncoding::Utf8 << QByteArray("a\xe4\xb8") << u"a" + Esc({0xe4, 0xb8});
    }
    void cutSequenceAtLineEnd() {
        QFETCH(TextEncoding, encoding);
        QFETCH(QByteArray, line);
        QFETCH(QString, text);
        TextDecoder decoder(encoding);
        QString alone, within;
        decoder.decode(line, alone);
        decoder.decode(line + "\n", within);
        QCOMPARE(alone, text);
        QCOMPARE(within, text + u'\n');
        QByteArray back;
        QVERIFY(TextEncoder(encoding).encode(alone, back));
        QCOMPARE(back, line);
    }

    // UTF-8 against GB18030, each by its stray bytes: one that only UTF-8 sees costs 8 multi-byte
    // characters, one that GB18030 cannot read either costs nothing. GBK stays GBK.
    void detect_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("utf8");
        const QByteArray prose = Gbk(kProse);
        QByteArray manyGbk;
        for (int i = 0; i < 200; ++i)
            manyGbk += prose;
        QTest::newRow("gbk prose") << prose << false;
        QTest::newRow("gbk, 200 lines") << manyGbk << false;
        QTest::newRow("gbk, 200 lines and a stray") << manyGbk + "\x81" << false;
        QTest::newRow("short gbk that is valid utf-8") << Gbk(u"未知"_qs) << true;
        QTest::newRow("utf-8 prose") << kProse.toUtf8() << true;
        QTest::newRow("utf-8, 200 lines, 3 strays")
            << QByteArray(kProse.toUtf8().repeated(100) + "\x80" + kProse.toUtf8().repeated(100) +
                          "\xff\xfe" + kProse.toUtf8())
            << true;
        // After 7 characters (21 bytes) GB18030 reads 0x80 as a trail byte, so only UTF-8 sees
        // it; after 8 neither reads it.
        QTest::newRow("8 characters, 1 stray")
            << QByteArray("\xe4\xb8\xad").repeated(8) + "\x80" << true;
        QTest::newRow("7 characters, 1 stray")
            << QByteArray("\xe4\xb8\xad").repeated(7) + "\x80" << false;
        QTest::newRow("16 characters, 2 strays")
            << QByteArray("\xe4\xb8\xad").repeated(8) + "\x80" +
                   QByteArray("\xe4\xb8\xad").repeated(8) + "\xc0"
            << true;
        QTest::newRow("ascii") << QByteArray("plain") << false;
        QTest::newRow("one stray among four characters")
            << QByteArray("ok line\nbad \xff byte\nok line\n\xe4\xb8\xad\xe6\x96\x87\n"
                          "\xe4\xb8\xad\xe6\x96\x87\n")
            << true;
        QTest::newRow("a stray neither reads, one character")
            << QByteArray("\xe4\xb8\xad\n\xff\n") << true;
        // 0xA1 followed by '@' is a GB18030 character: a stray that only UTF-8 sees.
        QTest::newRow("a stray only utf-8 sees, 8 characters")
            << QByteArray("\xe4\xb8\xad").repeated(8) + "\xa1@" << true;
        QTest::newRow("a stray only utf-8 sees, 7 characters")
            << QByteArray("\xe4\xb8\xad").repeated(7) + "\xa1@" << false;
        QTest::newRow("two strays only utf-8 sees, 16 characters")
            << QByteArray("\xe4\xb8\xad").repeated(16) + "\xa1@\xa1@" << true;
        QTest::newRow("two strays only utf-8 sees, 15 characters")
            << QByteArray("\xe4\xb8\xad").repeated(15) + "\xa1@\xa1@" << false;
    }

    // Chinese as people write it, in GBK, short and long, clean or with a stray byte, is never
    // UTF-8; the same text in UTF-8 with a stray byte is.
    void chineseTextIsNeverUtf8_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<TextEncoding>("encoding");
        const QStringList samples = ChineseSamples();
        for (qsizetype i = 0; i < samples.size(); ++i) {
            const QByteArray gbk = Gbk(samples[i]);
            const QByteArray utf8 = samples[i].toUtf8();
            const qsizetype middle = samples[i].size() / 2;
            QTest::addRow("gbk %lld", qlonglong(i)) << gbk << TextEncoding::Gbk;
            QTest::addRow("gbk %lld, stray 0xff at the end", qlonglong(i))
                << gbk + "\xff" << TextEncoding::Gbk;
            QTest::addRow("gbk %lld, stray 0x80 in the middle", qlonglong(i))
                << Gbk(samples[i].first(middle)) + "\x80" + Gbk(samples[i].sliced(middle))
                << TextEncoding::Gbk;
            QTest::addRow("gbk %lld, cut off in its last character", qlonglong(i))
                << Gbk(samples[i].trimmed()).chopped(1) << TextEncoding::Gbk;
            QTest::addRow("utf-8 %lld, stray 0xff in the middle", qlonglong(i))
                << samples[i].first(middle).toUtf8() + "\xff" + samples[i].sliced(middle).toUtf8()
                << TextEncoding::Utf8;
            QTest::addRow("utf-8 %lld", qlonglong(i)) << utf8 << TextEncoding::Utf8;
        }
        const QString prose = ChineseProse();
        QTest::newRow("gbk, all") << Gbk(prose) << TextEncoding::Gbk;
        QTest::newRow("gbk, all 50 times, a stray in each")
            << (Gbk(prose) + "\xff\r\n").repeated(50) << TextEncoding::Gbk;
        QTest::newRow("gbk, all, a stray after each line")
            << Gbk(prose).replace("\n", "\n\x80") << TextEncoding::Gbk;
        QTest::newRow("utf-8, all 50 times, a stray in each")
            << (prose.toUtf8() + "\xff\r\n").repeated(50) << TextEncoding::Utf8;
    }
    void chineseTextIsNeverUtf8() {
        QFETCH(QByteArray, bytes);
        QFETCH(TextEncoding, encoding);
        QCOMPARE(DetectEncoding(bytes), encoding);
        const DecodedText d = DecodeText(bytes);
        QCOMPARE(d.encoding, encoding);
        QCOMPARE(EncodeText(d.text, d.encoding)->bytes, bytes);
    }
    void detect() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, utf8);
        const DecodedText d = DecodeText(bytes);
        QCOMPARE(d.encoding == TextEncoding::Utf8, utf8);
        QCOMPARE(DetectEncoding(bytes), d.encoding);
        QCOMPARE(EncodeText(d.text, d.encoding)->bytes, bytes);
    }

    // UTF-16 without a mark needs plain evidence in the first 64 KiB.
    void detectUtf16_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<TextEncoding>("encoding");
        const QString ideographs = QStringLiteral("中文测试").repeated(kSample / 8);
        auto le = [](const QString& s) { return EncodeText(s, TextEncoding::Utf16Le)->bytes; };
        auto be = [](const QString& s) { return EncodeText(s, TextEncoding::Utf16Be)->bytes; };
        QTest::newRow("le latin") << le(u"hello, world"_qs) << TextEncoding::Utf16Le;
        QTest::newRow("be latin") << be(u"hello, world"_qs) << TextEncoding::Utf16Be;
        QTest::newRow("le ideographs with lines")
            << le(kProse.repeated(3)) << TextEncoding::Utf16Le;
        QTest::newRow("be ideographs with lines")
            << be(kProse.repeated(3)) << TextEncoding::Utf16Be;
        // The first line break just inside and just outside the sample.
        QTest::newRow("line break ends the sample")
            << le(ideographs.first(kSample / 2 - 2) + u"\r\n" + ideographs)
            << TextEncoding::Utf16Le;
        QTest::newRow("line break after the sample")
            << le(ideographs.first(kSample / 2) + u"\r\n" + ideographs) << TextEncoding::Gbk;
        QTest::newRow("gbk with a NUL")
            << Gbk(kProse.repeated(20)) + QByteArray(1, '\0') << TextEncoding::Gbk;
        QTest::newRow("zeros on both sides")
            << QByteArray("a\0\0b\r\0\0\n", 8) << TextEncoding::Gbk;
        QTest::newRow("le with a lone surrogate")
            << le(u"ab\r\n"_qs) + QByteArray("\x00\xdc", 2) + le(u"cd\r\n"_qs) << TextEncoding::Gbk;
        QTest::newRow("le lines with a lone surrogate")
            << le(kProse.repeated(3)) + QByteArray("\x00\xdc", 2) + le(kProse)
            << TextEncoding::Utf16Le;

        // A few NULs in a text of bytes: every line ends in a line break that no UTF-16 unit
        // explains.
        QByteArray hello = QByteArray("hello world\n").repeated(1000);
        hello.insert(12 * 500 + 11, '\0');
        hello.insert(12 * 10 + 11, '\0');
        QTest::newRow("ascii, two lines end in a NUL") << hello << TextEncoding::Gbk;
        QTest::newRow("ascii, two NULs at the parity of UTF-16BE line breaks")
            << HelloWithNuls() << TextEncoding::Gbk;
        QByteArray crlf;
        for (int i = 0; i < 1000; ++i) {
            crlf += QStringLiteral("第%1行，数据 line %2").arg(i % 300).arg(i % 7).toUtf8();
            crlf += i % 50 == 0 ? QByteArray("\0\r\n", 3) : QByteArray("\r\n");
        }
        QTest::newRow("utf-8 CR LF, 20 NULs") << crlf << TextEncoding::Utf8;
        QTest::newRow("ascii, a NUL before one of two line breaks")
            << QByteArray("ab\0\ncd\n", 7) << TextEncoding::Gbk;

        // Each sample alone, in both orders, of even and odd length.
        const QStringList samples = ChineseSamples();
        for (qsizetype i = 0; i < samples.size(); ++i) {
            QTest::addRow("sample %lld, le", qlonglong(i))
                << le(samples[i]) << TextEncoding::Utf16Le;
            QTest::addRow("sample %lld, be, odd", qlonglong(i))
                << be(samples[i]) + "x" << TextEncoding::Utf16Be;
        }
        QTest::newRow("malayalam") << le(u"മലയാളം\n"_qs.repeated(3)) << TextEncoding::Utf16Le;
        QTest::newRow("russian") << be(u"Привет, мир\n"_qs) << TextEncoding::Utf16Be;

        // Each bound of the rule, just met and just missed.
        // At most one unit in 16 implausible (U+0001 is a control character).
        QTest::newRow("2 implausible of 32")
            << le(u"a"_qs.repeated(30) + u"\u0001\u0001") << TextEncoding::Utf16Le;
        QTest::newRow("3 implausible of 32")
            << le(u"a"_qs.repeated(29) + u"\u0001\u0001\u0001") << TextEncoding::Gbk;
        // Line breaks at the other parity at most one for 16: U+0D00 reads as CR the other way.
        const QString lines16 = u"中文。\n"_qs.repeated(16);
        QTest::newRow("1 break the other way for 16")
            << le(u"中\u0d00文。\n" + lines16.sliced(5)) << TextEncoding::Utf16Le;
        QTest::newRow("2 breaks the other way for 16")
            << le(u"中\u0d00文\u0d00。\n" + lines16.sliced(5)) << TextEncoding::Gbk;
        // CR and LF bytes in characters (上 is U+4E0A) at most half the breaks and other control
        // bytes (。 is U+3002) together.
        QTest::newRow("2 strays against 4") << le(u"上上。。。\n"_qs) << TextEncoding::Utf16Le;
        QTest::newRow("2 strays against 3") << le(u"上上。。\n"_qs) << TextEncoding::Gbk;
        QTest::newRow("odd last byte x") << le(u"上。\n"_qs) + "x" << TextEncoding::Utf16Le;
        QTest::newRow("odd last byte LF") << le(u"上。\n"_qs) + "\n" << TextEncoding::Gbk;
        // A letter of U+0D00..U+0DFF beside another of its block, and alone.
        QTest::newRow("two malayalam letters") << le(u"കക上。\n"_qs) << TextEncoding::Utf16Le;
        QTest::newRow("one malayalam letter") << le(u"ക上。\n"_qs) << TextEncoding::Gbk;
        // Latin: at least half the units, and more than 8 times as many as the other way (一 is
        // U+4E00, which reads as U+004E the other way).
        QTest::newRow("latin, 2 of 4") << le(u"ab中文"_qs) << TextEncoding::Utf16Le;
        QTest::newRow("latin, 1 of 3") << le(u"a中文"_qs) << TextEncoding::Gbk;
        QTest::newRow("latin, 9 against 1") << le(u"aaaaaaaaa一"_qs) << TextEncoding::Utf16Le;
        QTest::newRow("latin, 8 against 1") << le(u"aaaaaaaa一"_qs) << TextEncoding::Gbk;
    }
    void detectUtf16() {
        QFETCH(QByteArray, bytes);
        QFETCH(TextEncoding, encoding);
        const DecodedText d = DecodeText(bytes);
        QCOMPARE(d.encoding, encoding);
        QCOMPARE(DetectEncoding(bytes), encoding);
        QVERIFY(EncodeText(d.text, d.encoding)->bytes == bytes);
    }

    // GBK and GB18030 are checked 1 MiB at a time: what lies just past a piece still counts.
    void detectAroundCheckPieces_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<TextEncoding>("encoding");
        const QByteArray line = Gbk(kProse);
        for (const qsizetype size : {qsizetype(kMiB) - 1, qsizetype(kMiB), qsizetype(kMiB) + 1}) {
            QByteArray gbk = line.repeated(size / line.size() + 1);
            gbk.truncate(gbk.lastIndexOf('\n', size - 4) + 1);
            gbk += QByteArray(size - 4 - gbk.size(), 'x');
            // U+20000 at the very end: only GB18030 reads it.
            QTest::addRow("%lld bytes, gb18030 at the end", qlonglong(size))
                << gbk + "\x95\x32\x82\x36" << TextEncoding::Gb18030;
            QTest::addRow("%lld bytes, cut off at the end", qlonglong(size))
                << gbk + "\x95\x32\x82\r" << TextEncoding::Gbk;
        }
    }
    void detectAroundCheckPieces() {
        QFETCH(QByteArray, bytes);
        QFETCH(TextEncoding, encoding);
        QCOMPARE(DetectEncoding(bytes), encoding);
        const DecodedText d = DecodeText(bytes);
        QCOMPARE(d.encoding, encoding);
        QVERIFY(EncodeText(d.text, d.encoding)->bytes == bytes);
    }

    // Inputs from 4 MiB are decoded in two pieces: the text, the escaped places and the bytes
    // written back must be those of a decoding in one piece, wherever the cut falls.
    void largeInputs_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<TextEncoding>("encoding");
        QRandomGenerator rng(7);
        const QByteArray gbkLine = Gbk(kProse);
        const QByteArray gb18030Line =
            EncodeText(u"\U00020000𠀁 甲乙丙 ñ\r\n"_qs, TextEncoding::Gb18030)->bytes;
        const QByteArray utf8Line = QStringLiteral("甲\U00020000é ab\r\n").toUtf8();
        const QByteArray utf16Line = EncodeText(kProse, TextEncoding::Utf16Le)->bytes;
        struct Kind {
            const char* name;
            QByteArray line;
            TextEncoding encoding;
            QByteArray stray; // put into the middle
        };
        const Kind kinds[] = {
            {"gbk", gbkLine, TextEncoding::Gbk, "\xbc"},
            {"gb18030", gb18030Line, TextEncoding::Gb18030, {}},
            {"gbk with strays", gb18030Line, TextEncoding::Gbk, "\x95\x32\x82"},
            {"utf-8", utf8Line, TextEncoding::Utf8, {}},
            {"utf-8 with strays", utf8Line, TextEncoding::Utf8, "\xf0\x9f\x98"},
            {"utf-16le", utf16Line, TextEncoding::Utf16Le, {}},
            {"utf-16le with a lone surrogate", utf16Line, TextEncoding::Utf16Le, "\x3d\xd8"},
            {"random bytes", {}, TextEncoding::Gbk, {}},
        };
        for (const Kind& kind : kinds) {
            for (const qsizetype size :
                 {kTwoPieces - 1, kTwoPieces, kTwoPieces + 1, 5 * qsizetype(kMiB)}) {
                // Shifts move the middle through a character (and UTF-16 to odd offsets).
                for (const int shift : {0, 1, 2, 3}) {
                    if (size != 5 * qsizetype(kMiB) && shift > 0)
                        continue;
                    QByteArray b;
                    const bool utf16 = kind.encoding == TextEncoding::Utf16Le;
                    if (kind.line.isEmpty()) {
                        b = EdgyBytes(rng, size);
                    } else {
                        // Whole lines after a few letters, filled up with letters, then the
                        // stray sequence in the middle.
                        const QByteArray letter = utf16 ? QByteArray("x\0", 2) : "x";
                        b = letter.repeated(utf16 ? shift / 2 : shift);
                        b.reserve(size);
                        while (b.size() + kind.line.size() <= size)
                            b += kind.line;
                        while (b.size() + letter.size() <= size)
                            b += letter;
                        b += QByteArray(size - b.size(), 'x');
                        if (!kind.stray.isEmpty())
                            b.replace(size / 2 - kind.stray.size() + shift, kind.stray.size(),
                                      kind.stray);
                    }
                    QTest::addRow("%s, %lld bytes, shift %d", kind.name, qlonglong(b.size()), shift)
                        << b << kind.encoding;
                }
            }
        }
    }
    void largeInputs() {
        QFETCH(QByteArray, bytes);
        QFETCH(TextEncoding, encoding);
        const DecodedText d = DecodeText(bytes);
        QCOMPARE(d.encoding, encoding);
        QCOMPARE(DetectEncoding(bytes), encoding);
        qsizetype places = 0;
        QVERIFY(DecodeWhole(encoding, bytes, &places) == d.text);
        QCOMPARE(d.unreadable, places);
        const std::optional<EncodedText> e = EncodeText(d.text, d.encoding);
        QVERIFY(e);
        QVERIFY(e->bytes == bytes);
    }

    // Texts from 2 Mi units are encoded in two pieces; a surrogate pair or escaped bytes at the
    // cut must come out as from one piece.
    void largeTexts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<TextEncoding>("encoding");
        const qsizetype units = kTwoPieces / 2;
        for (const qsizetype size : {units - 1, units, units + 1}) {
            for (const TextEncoding e : {TextEncoding::Gbk, TextEncoding::Gb18030,
                                         TextEncoding::Utf8, TextEncoding::Utf16BeBom}) {
                QString text = kProse.repeated(size / kProse.size() + 1).first(size);
                text.replace(size / 2 - 1, 2, u"\U0001f600"_qs);
                QTest::addRow("%lld units, pair at the cut, %s", qlonglong(size),
                              qPrintable(EncodingName(e)))
                    << text << e;
                text.replace(size / 2 - 1, 2, Esc({0xe4, 0xb8}));
                QTest::addRow("%lld units, escaped bytes at the cut, %s", qlonglong(size),
                              qPrintable(EncodingName(e)))
                    << text << e;
            }
        }
    }
    void largeTexts() {
        QFETCH(QString, text);
        QFETCH(TextEncoding, encoding);
        const std::optional<EncodedText> e = EncodeText(text, encoding);
        QVERIFY(e);
        TextEncoder whole(WithoutByteOrderMark(e->encoding));
        QByteArray expected = ByteOrderMark(e->encoding).toByteArray();
        QVERIFY(whole.encode(text, expected));
        QVERIFY(e->bytes == expected);
        // GBK lacks the emoji: such a text is written as GB18030.
        QCOMPARE(e->encoding == TextEncoding::Gb18030,
                 encoding == TextEncoding::Gb18030 ||
                     (encoding == TextEncoding::Gbk && text.contains(u"\U0001f600"_qs)));
    }

    // Every byte string comes back, and the piece converters agree with the whole-text ones.
    void randomBytesComeBack() {
        QRandomGenerator rng(11);
        for (int round = 0; round < 6000; ++round) {
            const QByteArray bytes = EdgyBytes(rng, rng.bounded(40));
            const DecodedText d = DecodeText(bytes);
            const std::optional<EncodedText> e = EncodeText(d.text, d.encoding);
            QVERIFY2(e && e->bytes == bytes, bytes.toHex(' ').constData());
            QCOMPARE(DetectEncoding(bytes), d.encoding);
            qsizetype places = 0;
            QCOMPARE(DecodeWhole(d.encoding, bytes, &places), d.text);
            QCOMPARE(places, d.unreadable);
            QCOMPARE(places, codec::CountEscapedRuns(d.text));
            // A cut where the codec cuts large inputs changes nothing.
            const QByteArrayView body =
                QByteArrayView(bytes).sliced(ByteOrderMark(d.encoding).size());
            const qsizetype cut = codec::SplitPoint(d.encoding, body, body.size() / 2);
            if (cut < body.size()) {
                TextDecoder decoder(WithoutByteOrderMark(d.encoding));
                QString pieces;
                decoder.decode(body.first(cut), pieces);
                decoder.decode(body.sliced(cut), pieces);
                QVERIFY2(pieces == d.text, bytes.toHex(' ').constData());
            }
            // Lines decode on their own as within the text.
            if (CodeUnitBytes(d.encoding) == 1) {
                const QList<QByteArray> lines = body.toByteArray().split('\n');
                const QStringList texts = d.text.split(u'\n');
                QCOMPARE(texts.size(), lines.size());
                for (qsizetype i = 0; i < lines.size(); ++i)
                    QCOMPARE(DecodeWhole(WithoutByteOrderMark(d.encoding), lines[i]), texts[i]);
            }
        }
    }

    // The GB tables in use: every code that decodes encodes back to itself, and every character
    // that encodes decodes back to itself (nothing dropped or replaced on the way).
    void gbTablesRoundTrip_data() {
        QTest::addColumn<TextEncoding>("encoding");
        QTest::newRow("gbk") << TextEncoding::Gbk;
        QTest::newRow("gb18030") << TextEncoding::Gb18030;
    }
    void gbTablesRoundTrip() {
        QFETCH(TextEncoding, encoding);
        TextDecoder decoder(encoding);
        TextEncoder encoder(encoding);
        qsizetype decoded = 0;
        auto check = [&](const QByteArray& code) {
            QString text;
            QByteArray back;
            if (decoder.decode(code, text) == 0)
                ++decoded;
            return encoder.encode(text, back) && back == code;
        };
        for (int a = 0; a < 0x100; ++a) {
            QVERIFY(check(QByteArray(1, char(a))));
            for (int b = 0; a >= 0x81 && b < 0x100; ++b)
                QVERIFY(check(QByteArray(1, char(a)) + char(b)));
        }
        // Four-byte codes: all below U+10000, every 7th third byte above.
        for (int a = 0x81; a <= 0xfe; ++a) {
            for (int b = 0x30; b <= 0x39; ++b) {
                for (int c = 0x81; c <= 0xfe; c += a <= 0x84 ? 1 : 7) {
                    for (int d = 0x30; d <= 0x39; ++d)
                        QVERIFY(check(QByteArray(1, char(a)) + char(b) + char(c) + char(d)));
                }
            }
        }
        QVERIFY(decoded > (encoding == TextEncoding::Gbk ? 20000 : 200000));
        for (char32_t c = 0; c <= 0x10ffff; c += c < 0x10000 ? 1 : 17) {
            if (c >= 0xd800 && c <= 0xdfff)
                continue;
            const QString text = QString::fromUcs4(&c, 1);
            QByteArray bytes;
            if (encoder.encode(text, bytes)) {
                QString back;
                QCOMPARE(decoder.decode(bytes, back), 0);
                QCOMPARE(back, text);
            } else {
                QCOMPARE(encoding, TextEncoding::Gbk);
            }
        }
    }

    // Should a table ever map a code one way only, that code is kept as escaped bytes.
    void oneWayCodesAreEscaped_data() {
        QTest::addColumn<qsizetype>("at");
        QTest::newRow("short") << qsizetype(3);
        // The check decodes 1 MiB at a time.
        for (const qsizetype at :
             {qsizetype(kMiB) - 2, qsizetype(kMiB) - 1, qsizetype(kMiB), qsizetype(kMiB) + 1})
            QTest::addRow("at %lld", qlonglong(at)) << at;
    }
    void oneWayCodesAreEscaped() {
        QFETCH(qsizetype, at);
        const codec::OneWayCodes oneWay({QByteArray("\xbc\xd7")}, {u"甲"_qs});
        codec::IcuConverter converter(TextEncoding::Gbk, &oneWay);
        QByteArray bytes = QByteArray("\xd2\xd2").repeated(at / 2) + QByteArray(at % 2, 'a');
        bytes += "\xbc\xd7\xbc\r\n\xd2\xd2";
        QString text;
        QCOMPARE(converter.decode(bytes, text), 3);
        QCOMPARE(text.last(6), Esc({0xbc, 0xd7, 0xbc}) + u"\r\n乙");
        QCOMPARE(text.size(), at / 2 + at % 2 + 6);
        QByteArray back;
        QVERIFY(converter.encode(text, back));
        QVERIFY(back == bytes);
    }

    void encode_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<TextEncoding>("asked");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<TextEncoding>("written");
        QTest::newRow("gbk") << u"甲\r\n"_qs << TextEncoding::Gbk << QByteArray("\xbc\xd7\r\n")
                             << TextEncoding::Gbk;
        QTest::newRow("emoji upgrades gbk")
            << u"甲😀"_qs << TextEncoding::Gbk << QByteArray("\xbc\xd7\x94\x39\xfc\x36")
            << TextEncoding::Gb18030;
        QTest::newRow("n tilde upgrades gbk")
            << u"ñ"_qs << TextEncoding::Gbk << QByteArray("\x81\x30\x8a\x39")
            << TextEncoding::Gb18030;
        // Not dropped, as some converters do with characters that are invisible.
        QTest::newRow("zero-width space upgrades gbk")
            << u"a\u200b"_qs << TextEncoding::Gbk << QByteArray("a\x81\x36\xa4\x37")
            << TextEncoding::Gb18030;
        QTest::newRow("escaped bytes and an emoji")
            << u"\U0001f600" + Esc({0x81}) << TextEncoding::Gbk
            << QByteArray("\x94\x39\xfc\x36\x81") << TextEncoding::Gb18030;
        QTest::newRow("escaped bytes in utf-16")
            << u"a" + Esc({0x00, 0xd8}) << TextEncoding::Utf16LeBom
            << QByteArray("\xff\xfe\x61\x00\x00\xd8", 6) << TextEncoding::Utf16LeBom;
        QTest::newRow("a pair is no escaped byte")
            << u"\U00010000"_qs << TextEncoding::Utf8 << QByteArray("\xf0\x90\x80\x80")
            << TextEncoding::Utf8;
        QTest::newRow("utf-8 bom") << u"a"_qs << TextEncoding::Utf8Bom
                                   << QByteArray("\xef\xbb\xbf"
                                                 "a")
                                   << TextEncoding::Utf8Bom;
        QTest::newRow("utf-16be") << u"甲"_qs << TextEncoding::Utf16BeBom
                                  << QByteArray("\xfe\xff\x75\x32") << TextEncoding::Utf16BeBom;
        // A kept byte standing alone ends a UTF-16 text; the line break after it is left out.
        QTest::newRow("odd kept byte ends utf-16le, CR LF left out")
            << u"a" + Esc({0x78}) + u"\r\n"
            << TextEncoding::Utf16Le << QByteArray("a\0x", 3) << TextEncoding::Utf16Le;
        QTest::newRow("odd kept byte ends utf-16be, LF left out")
            << u"a" + Esc({0x78}) + u"\n"
            << TextEncoding::Utf16BeBom << QByteArray("\xfe\xff\0ax", 5)
            << TextEncoding::Utf16BeBom;
        QTest::newRow("three kept bytes end utf-16le, CR left out")
            << u"a" + Esc({1, 2, 3}) + u"\r" << TextEncoding::Utf16Le << QByteArray("a\0\1\2\3", 5)
            << TextEncoding::Utf16Le;
        QTest::newRow("a pair of kept bytes keeps its line break")
            << u"a" + Esc({0x00, 0xd8}) + u"\n"
            << TextEncoding::Utf16Le << QByteArray("a\0\0\xd8\n\0", 6) << TextEncoding::Utf16Le;
        QTest::newRow("an odd kept byte in gbk is a byte like any") << u"a" + Esc({0x81}) + u"b\r\n"
                                                                    << TextEncoding::Gbk
                                                                    << QByteArray("a\x81"
                                                                                  "b\r\n")
                                                                    << TextEncoding::Gbk;
    }

    // In UTF-16 a kept byte standing alone with text after it would put every later unit out
    // of step: refused, never written.
    void loneKeptByteInsideUtf16IsRefused_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("a character after it") << u"a" + Esc({0x78}) + u"b";
        QTest::newRow("two line breaks after it") << Esc({0x78}) + u"\r\n\r\n";
        QTest::newRow("a line after it") << Esc({0x78}) + u"\nx\n";
        QTest::newRow("two odd runs") << Esc({1}) + u"a" + Esc({2});
        QTest::newRow("three kept bytes, then text") << Esc({1, 2, 3}) + u"a";
    }
    void loneKeptByteInsideUtf16IsRefused() {
        QFETCH(QString, text);
        for (const TextEncoding e : {TextEncoding::Utf16Le, TextEncoding::Utf16Be,
                                     TextEncoding::Utf16LeBom, TextEncoding::Utf16BeBom}) {
            QVERIFY(!EncodeText(text, e));
            TextEncoder encoder(WithoutByteOrderMark(e));
            QByteArray out("kept");
            QVERIFY(!encoder.encode(text, out));
            QCOMPARE(out, QByteArray("kept"));
        }
        // Bytes are bytes in the other encodings.
        for (const TextEncoding e : {TextEncoding::Gbk, TextEncoding::Utf8})
            QVERIFY(EncodeText(text, e));
        // A piece may end in one: a line, with whatever comes after it decided by the caller.
        TextEncoder encoder(TextEncoding::Utf16Le);
        QByteArray out;
        QVERIFY(encoder.encode(u"a" + Esc({0x78}), out));
        QCOMPARE(out, QByteArray("a\0x", 3));
    }

    // A file imported, filtered (each kept line then ends in CR LF) and saved comes back with
    // exactly its bytes when it holds no repeat and ends as the window writes: in UTF-16 with an
    // odd last byte too, whose line is saved without a line break after it.
    void saveAfterImportKeepsBytes_data() {
        QTest::addColumn<QByteArray>("bytes");
        auto bytesOf = [](const QString& text, TextEncoding e) {
            return EncodeText(text, e)->bytes;
        };
        const QString lines = QStringLiteral("甲\n乙\nabc\n丙\n丁\ndef\n戊\n己\nghi\n");
        for (const TextEncoding e : {TextEncoding::Utf16Le, TextEncoding::Utf16Be,
                                     TextEncoding::Utf16LeBom, TextEncoding::Utf16BeBom}) {
            const QByteArray name = EncodingName(e).toUtf8();
            QTest::addRow("%s, odd", name.constData()) << bytesOf(lines, e) + "x";
            QTest::addRow("%s, odd, CR LF", name.constData())
                << bytesOf(QString(lines).replace(u"\n"_qs, u"\r\n"_qs), e) + "\n";
            QTest::addRow("%s, lone surrogate, odd", name.constData())
                << bytesOf(lines, e) + QByteArray("\x00\xdc\x41", 3);
            QTest::addRow("%s, even", name.constData()) << bytesOf(lines, e);
        }
        QTest::newRow("gbk, stray at the end") << Gbk(kProse) + "\xff\r\n";
        QTest::newRow("utf-8 bom, stray") << "\xef\xbb\xbf" + kProse.toUtf8() + "\xff\r\n";
    }
    void saveAfterImportKeepsBytes() {
        QFETCH(QByteArray, bytes);
        const DecodedText d = DecodeText(bytes);
        // As the window's filter gives it: every line break CR LF, one after every line.
        QString shown = d.text;
        shown.replace(u"\r\n"_qs, u"\n"_qs).replace(u"\n"_qs, u"\r\n"_qs);
        if (!shown.endsWith(u"\r\n"_qs))
            shown += u"\r\n"_qs;
        const QString file = path(QStringLiteral("saved.txt"));
        const SaveResult saved = SaveTextFile(file, shown, d.encoding, d.lineBreak);
        QVERIFY2(saved.outcome.ok(), qPrintable(saved.outcome.message()));
        QCOMPARE(ReadAll(file).toHex(' '), bytes.toHex(' '));
        QCOMPARE(DecodeText(ReadAll(file)).text, d.text);
    }
    void encode() {
        QFETCH(QString, text);
        QFETCH(TextEncoding, asked);
        QFETCH(QByteArray, bytes);
        QFETCH(TextEncoding, written);
        const std::optional<EncodedText> e = EncodeText(text, asked);
        QVERIFY(e);
        QCOMPARE(e->bytes.toHex(' '), bytes.toHex(' '));
        QCOMPARE(e->encoding, written);
    }

    void loneSurrogateIsRefusedNotReplaced_data() {
        QTest::addColumn<TextEncoding>("encoding");
        for (const TextEncoding e :
             {TextEncoding::Gbk, TextEncoding::Gb18030, TextEncoding::Utf8, TextEncoding::Utf8Bom,
              TextEncoding::Utf16Le, TextEncoding::Utf16BeBom})
            QTest::newRow(qPrintable(EncodingName(e))) << e;
    }
    void loneSurrogateIsRefusedNotReplaced() {
        QFETCH(TextEncoding, encoding);
        for (const QString& text : {QString(QChar(0xd800)), u"a" + QString(QChar(0xdbff)) + u"b",
                                    QString(QChar(0xdd00))}) {
            QVERIFY(!EncodeText(text, encoding));
            TextEncoder encoder(WithoutByteOrderMark(encoding));
            QByteArray out("kept");
            QVERIFY(!encoder.encode(text, out));
            QCOMPARE(out, QByteArray("kept"));
        }
    }

    void lineBreaks_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<LineBreak>("lineBreak");
        QTest::newRow("none") << u"a"_qs << LineBreak::CrLf;
        QTest::newRow("lf") << u"a\nb\n"_qs << LineBreak::Lf;
        QTest::newRow("cr") << u"a\rb\r"_qs << LineBreak::Cr;
        QTest::newRow("crlf") << u"a\r\nb\r\n"_qs << LineBreak::CrLf;
        QTest::newRow("tie of lf and crlf") << u"a\nb\r\n"_qs << LineBreak::CrLf;
        QTest::newRow("tie of cr and crlf") << u"a\rb\r\n"_qs << LineBreak::CrLf;
        QTest::newRow("more lf") << u"a\r\nb\nc\n"_qs << LineBreak::Lf;
        QTest::newRow("cr then lf is one crlf") << u"\r\n\r\n\n"_qs << LineBreak::CrLf;
        QTest::newRow("lf cr is two") << u"\n\r\n\r"_qs << LineBreak::CrLf;
        // Long texts are counted in two halves: one CR LF across the middle and one LF tie.
        for (const qsizetype size : {kTwoPieces / 2 - 1, kTwoPieces / 2, kTwoPieces / 2 + 1}) {
            QString text(size, u'x');
            text[0] = u'\n';
            text[size / 2 - 1] = u'\r';
            text[size / 2] = u'\n';
            QTest::addRow("%lld units, cr lf across the middle", qlonglong(size))
                << text << LineBreak::CrLf;
        }
    }
    void lineBreaks() {
        QFETCH(QString, text);
        QFETCH(LineBreak, lineBreak);
        QCOMPARE(MostCommonLineBreak(text), lineBreak);
        // What a file decodes to tells how it breaks its lines.
        const QString br = LineBreakText(lineBreak).toString();
        const QString joined = u"x" + br + u"y" + br;
        QCOMPARE(DecodeText(joined.toUtf8()).lineBreak, lineBreak);
    }

    // Names on a command line, the marks and code unit sizes of what the encodings write.
    void encodingProperties_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<int>("unitBytes");
        QTest::newRow("utf-8") << u"UTF-8"_qs << TextEncoding::Utf8 << 1;
        QTest::newRow("gbk") << u"gbk"_qs << TextEncoding::Gbk << 1;
        QTest::newRow("gb18030") << u"GB18030"_qs << TextEncoding::Gb18030 << 1;
        QTest::newRow("utf-16le") << u"utf-16LE"_qs << TextEncoding::Utf16Le << 2;
        QTest::newRow("utf-16be") << u"UTF-16be"_qs << TextEncoding::Utf16Be << 2;
        QTest::newRow("utf-8 bom") << QString() << TextEncoding::Utf8Bom << 1;
        QTest::newRow("utf-16le bom") << QString() << TextEncoding::Utf16LeBom << 2;
        QTest::newRow("utf-16be bom") << QString() << TextEncoding::Utf16BeBom << 2;
    }
    void encodingProperties() {
        QFETCH(QString, name);
        QFETCH(TextEncoding, encoding);
        QFETCH(int, unitBytes);
        if (!name.isEmpty())
            QCOMPARE(EncodingFromName(name), encoding);
        const QByteArray a = EncodeText(u"a"_qs, encoding)->bytes;
        QVERIFY(a.startsWith(ByteOrderMark(encoding)));
        QCOMPARE(a.size() - ByteOrderMark(encoding).size(), unitBytes);
        QCOMPARE(CodeUnitBytes(encoding), unitBytes);
        QCOMPARE(WithoutByteOrderMark(encoding) == encoding, ByteOrderMark(encoding).isEmpty());
        // A lone "a" is ASCII, which reads as GBK.
        const bool ascii = encoding == TextEncoding::Utf8 || encoding == TextEncoding::Gb18030;
        QCOMPARE(DecodeText(a).encoding, ascii ? TextEncoding::Gbk : encoding);
        QVERIFY(!EncodingName(encoding).isEmpty());
    }

    void unknownNames() {
        QVERIFY(!EncodingFromName(u"latin1"));
        QVERIFY(!EncodingFromName(u""));
        QVERIFY(!EncodingFromName(u"utf-16"));
    }

    // A piece converter counts places per piece, and starts afresh on every piece.
    void pieceConverters() {
        TextDecoder decoder(TextEncoding::Gb18030);
        QString out = u"x"_qs;
        // A sequence cut off at the end keeps its ASCII bytes as themselves (see
        // cutSequenceAtLineEnd).
        QCOMPARE(decoder.decode("\x81\x30\x81", out), 2);
        QCOMPARE(decoder.decode("\x30\xbc\xd7\x81\x30x\x81", out), 2);
        QCOMPARE(out, u"x" + Esc({0x81}) + u"0" + Esc({0x81}) + u"0甲" + Esc({0x81}) + u"0x" +
                          Esc({0x81}));
        // Four bytes that GB18030 leaves unassigned are one place.
        QString unassigned;
        QCOMPARE(decoder.decode("\x84\x31\xa5\x30", unassigned), 1);
        QCOMPARE(unassigned, Esc({0x84, 0x31, 0xa5, 0x30}));
        TextEncoder encoder(TextEncoding::Gbk);
        QByteArray bytes;
        QVERIFY(encoder.encode(out.sliced(1), bytes));
        QVERIFY(!encoder.encode(u"😀"_qs, bytes));
        QVERIFY(encoder.encode(u"乙"_qs, bytes));
        QCOMPARE(bytes, QByteArray("\x81\x30\x81\x30\xbc\xd7\x81\x30x\x81\xd2\xd2"));
    }

    void importFailures_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << "missing.txt"
                                 << "文件不存在";
        QTest::newRow("directory") << "sub"
                                   << "文件夹";
        QTest::newRow("too large") << "huge.txt"
                                   << "文件太大";
    }
    void importFailures() {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        QDir(dir.path()).mkdir(QStringLiteral("sub"));
        QFile huge(path(QStringLiteral("huge.txt")));
        QVERIFY(huge.open(QIODevice::WriteOnly));
        QVERIFY(huge.resize(kMaxImportBytes + 1)); // sparse: takes no disk space
        huge.close();
        const ImportResult r = ImportTextFile(path(name));
        QVERIFY(!r.outcome.ok());
        QVERIFY2(r.outcome.message().contains(reason), qPrintable(r.outcome.message()));
        QVERIFY(r.outcome.message().contains(name));
    }

    void saveFailuresKeepOldFile_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing folder") << "nowhere/out.txt"
                                        << "文件夹不存在";
        QTest::newRow("directory") << "sub"
                                   << "文件夹";
        QTest::newRow("read-only file") << "readonly.txt"
                                        << "只读";
    }
    void saveFailuresKeepOldFile() {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        QDir(dir.path()).mkdir(QStringLiteral("sub"));
        const QString ro = path(QStringLiteral("readonly.txt"));
        QFile::remove(ro);
        WriteAll(ro, "old");
        QFile::setPermissions(ro, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
        const SaveResult r = SaveTextFile(path(name), u"new", TextEncoding::Gbk);
        QVERIFY(!r.outcome.ok());
        QVERIFY2(r.outcome.message().contains(reason), qPrintable(r.outcome.message()));
        QCOMPARE(ReadAll(ro), QByteArray("old"));
        QVERIFY(!QFile::exists(path(QStringLiteral("nowhere"))));
    }

    // Needs a small file system of its own: a 64 KB tmpfs, where the machine allows mounting one.
    void saveOntoFullDiskKeepsOldFile() {
        const QString small = path(QStringLiteral("small"));
        QDir().mkpath(small);
        if (QProcess::execute(QStringLiteral("mount"),
                              {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                               QStringLiteral("size=64k"), QStringLiteral("tmpfs"), small}) != 0)
            QSKIP("cannot mount a small file system here");
        const QString out = small + QStringLiteral("/out.txt");
        WriteAll(out, "old");
        const SaveResult r = SaveTextFile(out, QString(200000, u'x'), TextEncoding::Gbk);
        const QByteArray after = ReadAll(out);
        QProcess::execute(QStringLiteral("umount"), {small});
        QVERIFY(!r.outcome.ok());
        QVERIFY2(r.outcome.message().contains(QStringLiteral("磁盘空间不足")),
                 qPrintable(r.outcome.message()));
        QCOMPARE(after, QByteArray("old"));
    }

    void saveReplacesWholeFile() {
        const QString out = path(QStringLiteral("twice.txt"));
        QVERIFY(SaveTextFile(out, u"first longer text\r\n", TextEncoding::Gbk).outcome.ok());
        const SaveResult r = SaveTextFile(out, u"二\r\n", TextEncoding::Gbk);
        QVERIFY(r.outcome.ok());
        QCOMPARE(ReadAll(out), QByteArray("\xb6\xfe\r\n"));
    }
};

QTEST_APPLESS_MAIN(FilesTest)
#include "tst_files.moc"
