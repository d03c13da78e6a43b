#include "files/textcodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <future>

namespace {

constexpr auto kStrict = QStringConverter::Flag::Stateless;
// With the mark already taken off, a second U+FEFF is text and must stay.
constexpr auto kStrictKeepMark =
    QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom;

bool IsAscii(QByteArrayView bytes) {
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

struct Attempt {
    QString text;
    bool clean = false;
};

// Decodes with one of the ICU-backed GB encodings. The decoder drops a truncated sequence at the
// very end without a trace, so a line feed is appended first: no GB sequence can take it as a
// trailing byte, so a cut-off sequence before it is reported and replaced like any other.
Attempt DecodeGb(const char* name, QByteArrayView bytes) {
    QByteArray withSentinel;
    withSentinel.reserve(bytes.size() + 1);
    withSentinel.append(bytes);
    withSentinel.append('\n');
    QStringDecoder decoder(name, kStrict);
    Attempt a;
    a.text = decoder.decode(withSentinel);
    a.clean = !decoder.hasError();
    a.text.chop(1);
    return a;
}

// UTF-16 code units that valid UTF-8 decodes to: one per byte that starts a character, and one
// more for each four-byte sequence (a surrogate pair).
qsizetype Utf16Length(QByteArrayView utf8) {
    qsizetype n = 0;
    for (const char ch : utf8) {
        const auto b = static_cast<unsigned char>(ch);
        n += qsizetype((b & 0xC0) != 0x80) + qsizetype(b >= 0xF0);
    }
    return n;
}

// Decodes large UTF-8 in two halves at once, each straight into its place in the result.
// Returns nothing when either half is not clean UTF-8, for the caller to decode it whole.
std::optional<QString> DecodeUtf8InHalves(QByteArrayView bytes) {
    qsizetype middle = bytes.size() / 2;
    while (middle < bytes.size() && (static_cast<unsigned char>(bytes[middle]) & 0xC0) == 0x80)
        ++middle;
    const QByteArrayView first = bytes.first(middle);
    const QByteArrayView second = bytes.sliced(middle);
    auto secondLength = std::async(std::launch::async, [&] { return Utf16Length(second); });
    const qsizetype firstLength = Utf16Length(first);
    QString text(firstLength + secondLength.get(), Qt::Uninitialized);

    auto decodeInto = [](QByteArrayView part, QChar* out, qsizetype expected) {
        QStringDecoder decoder(QStringConverter::Utf8, kStrictKeepMark);
        const QChar* end = decoder.appendToBuffer(out, part);
        return !decoder.hasError() && end - out == expected;
    };
    auto secondOk = std::async(std::launch::async, [&] {
        return decodeInto(second, text.data() + firstLength, text.size() - firstLength);
    });
    const bool firstOk = decodeInto(first, text.data(), firstLength);
    if (!secondOk.get() || !firstOk)
        return std::nullopt;
    return text;
}

constexpr qsizetype kDecodeInHalvesFrom = qsizetype(4) * 1024 * 1024;

Attempt DecodeWith(QStringConverter::Encoding encoding, QByteArrayView bytes) {
    if (encoding == QStringConverter::Utf8 && bytes.size() >= kDecodeInHalvesFrom) {
        if (std::optional<QString> text = DecodeUtf8InHalves(bytes))
            return Attempt{std::move(*text), true};
    }
    QStringDecoder decoder(encoding, kStrictKeepMark);
    Attempt a;
    a.text = decoder.decode(bytes);
    a.clean = !decoder.hasError();
    return a;
}

qsizetype CountReplacements(QStringView text) {
    return text.count(QChar(QChar::ReplacementCharacter));
}

DecodedText FromUnicodeAttempt(Attempt a, TextEncoding encoding, qsizetype unreadableExtra = 0) {
    DecodedText d;
    d.encoding = encoding;
    d.unreadable = a.clean ? unreadableExtra : CountReplacements(a.text) + unreadableExtra;
    d.text = std::move(a.text);
    return d;
}

} // namespace

DecodedText DecodeText(QByteArrayView bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return FromUnicodeAttempt(DecodeWith(QStringConverter::Utf8, bytes.sliced(3)),
                                  TextEncoding::Utf8Bom);
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        const bool le = bytes[0] == '\xFF';
        const TextEncoding encoding = le ? TextEncoding::Utf16LeBom : TextEncoding::Utf16BeBom;
        const QByteArrayView body = bytes.sliced(2);
        // The decoder would turn an odd last byte into U+FFFD without calling it an error.
        const qsizetype odd = body.size() % 2;
        DecodedText d = FromUnicodeAttempt(
            DecodeWith(le ? QStringConverter::Utf16LE : QStringConverter::Utf16BE,
                       body.first(body.size() - odd)),
            encoding, odd);
        if (odd)
            d.text.append(QChar(QChar::ReplacementCharacter));
        return d;
    }
    if (!IsAscii(bytes)) {
        Attempt utf8 = DecodeWith(QStringConverter::Utf8, bytes);
        if (utf8.clean)
            return FromUnicodeAttempt(std::move(utf8), TextEncoding::Utf8);
    }
    Attempt gbk = DecodeGb("GBK", bytes);
    if (!gbk.clean) {
        Attempt gb18030 = DecodeGb("GB18030", bytes);
        if (gb18030.clean)
            return FromUnicodeAttempt(std::move(gb18030), TextEncoding::Gb18030);
    }
    return FromUnicodeAttempt(std::move(gbk), TextEncoding::Gbk);
}

namespace {

std::optional<QByteArray> Encode(const char* name, QStringView text, QByteArrayView mark = {}) {
    QStringEncoder encoder(name, kStrictKeepMark);
    QByteArray bytes(mark.data(), mark.size());
    bytes.append(encoder.encode(text));
    if (encoder.hasError())
        return std::nullopt;
    return bytes;
}

} // namespace

std::optional<EncodedText> EncodeText(QStringView text, TextEncoding encoding) {
    auto as = [](std::optional<QByteArray> bytes, TextEncoding e) -> std::optional<EncodedText> {
        if (!bytes)
            return std::nullopt;
        return EncodedText{std::move(*bytes), e};
    };
    switch (encoding) {
    case TextEncoding::Gbk:
        if (auto gbk = Encode("GBK", text))
            return EncodedText{std::move(*gbk), TextEncoding::Gbk};
        return as(Encode("GB18030", text), TextEncoding::Gb18030);
    case TextEncoding::Gb18030:
        return as(Encode("GB18030", text), encoding);
    case TextEncoding::Utf8:
        return as(Encode("UTF-8", text), encoding);
    case TextEncoding::Utf8Bom:
        return as(Encode("UTF-8", text, "\xEF\xBB\xBF"), encoding);
    case TextEncoding::Utf16LeBom:
        return as(Encode("UTF-16LE", text, "\xFF\xFE"), encoding);
    case TextEncoding::Utf16BeBom:
        return as(Encode("UTF-16BE", text, "\xFE\xFF"), encoding);
    case TextEncoding::Utf16Le:
        return as(Encode("UTF-16LE", text), encoding);
    case TextEncoding::Utf16Be:
        return as(Encode("UTF-16BE", text), encoding);
    }
    return std::nullopt;
}

QString EncodingName(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Gbk:
        return QStringLiteral("GBK");
    case TextEncoding::Gb18030:
        return QStringLiteral("GB18030");
    case TextEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case TextEncoding::Utf8Bom:
        return QStringLiteral("UTF-8（带 BOM）");
    case TextEncoding::Utf16LeBom:
        return QStringLiteral("UTF-16LE");
    case TextEncoding::Utf16BeBom:
        return QStringLiteral("UTF-16BE（带 BOM）");
    case TextEncoding::Utf16Le:
        return QStringLiteral("UTF-16LE");
    case TextEncoding::Utf16Be:
        return QStringLiteral("UTF-16BE");
    }
    return {};
}

// Interim implementations of the newer interface, on Qt's converters.
bool IsEscapedByte(QStringView text, qsizetype i) {
    const char16_t c = text[i].unicode();
    return c >= 0xDC00 && c <= 0xDCFF && (i == 0 || !text[i - 1].isHighSurrogate());
}

int CodeUnitBytes(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf16Le:
    case TextEncoding::Utf16Be:
    case TextEncoding::Utf16LeBom:
    case TextEncoding::Utf16BeBom:
        return 2;
    default:
        return 1;
    }
}

QByteArrayView ByteOrderMark(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8Bom:
        return "\xEF\xBB\xBF";
    case TextEncoding::Utf16LeBom:
        return "\xFF\xFE";
    case TextEncoding::Utf16BeBom:
        return "\xFE\xFF";
    default:
        return {};
    }
}

TextEncoding WithoutByteOrderMark(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8Bom:
        return TextEncoding::Utf8;
    case TextEncoding::Utf16LeBom:
        return TextEncoding::Utf16Le;
    case TextEncoding::Utf16BeBom:
        return TextEncoding::Utf16Be;
    default:
        return encoding;
    }
}

TextEncoding DetectEncoding(QByteArrayView bytes) {
    return DecodeText(bytes).encoding;
}

namespace {
const char* IcuName(TextEncoding encoding) {
    switch (WithoutByteOrderMark(encoding)) {
    case TextEncoding::Gb18030:
        return "GB18030";
    case TextEncoding::Utf8:
        return "UTF-8";
    case TextEncoding::Utf16Le:
        return "UTF-16LE";
    case TextEncoding::Utf16Be:
        return "UTF-16BE";
    default:
        return "GBK";
    }
}
} // namespace

struct TextDecoder::Impl {
    TextEncoding encoding;
};
TextDecoder::TextDecoder(TextEncoding encoding) : d(new Impl{encoding}) {}
TextDecoder::~TextDecoder() = default;
qsizetype TextDecoder::decode(QByteArrayView bytes, QString& out) {
    QStringDecoder decoder(IcuName(d->encoding), kStrictKeepMark);
    out.append(decoder.decode(bytes));
    return decoder.hasError() ? 1 : 0;
}

struct TextEncoder::Impl {
    TextEncoding encoding;
};
TextEncoder::TextEncoder(TextEncoding encoding) : d(new Impl{encoding}) {}
TextEncoder::~TextEncoder() = default;
bool TextEncoder::encode(QStringView text, QByteArray& out) {
    QStringEncoder encoder(IcuName(d->encoding), kStrictKeepMark);
    const QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return false;
    out.append(bytes);
    return true;
}

LineBreak MostCommonLineBreak(QStringView text) {
    qsizetype crlf = 0, lf = 0, cr = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r') {
            if (i + 1 < text.size() && text[i + 1] == u'\n') {
                ++crlf;
                ++i;
            } else {
                ++cr;
            }
        } else if (text[i] == u'\n') {
            ++lf;
        }
    }
    if (lf > crlf && lf >= cr)
        return LineBreak::Lf;
    if (cr > crlf && cr > lf)
        return LineBreak::Cr;
    return LineBreak::CrLf;
}

QStringView LineBreakText(LineBreak lineBreak) {
    switch (lineBreak) {
    case LineBreak::Lf:
        return u"\n";
    case LineBreak::Cr:
        return u"\r";
    case LineBreak::CrLf:
        break;
    }
    return u"\r\n";
}

std::optional<TextEncoding> EncodingFromName(QStringView name) {
    const QString n = name.toString().toLower();
    if (n == u"utf-8" || n == u"utf8")
        return TextEncoding::Utf8;
    if (n == u"gbk" || n == u"cp936")
        return TextEncoding::Gbk;
    if (n == u"gb18030")
        return TextEncoding::Gb18030;
    if (n == u"utf-16le")
        return TextEncoding::Utf16Le;
    if (n == u"utf-16be")
        return TextEncoding::Utf16Be;
    return std::nullopt;
}
