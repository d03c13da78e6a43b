#include "files/textcodec.h"

#include "files/codecicu.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <future>

using codec::IcuConverter;

namespace {

// Inputs from this many bytes on (texts from half as many UTF-16 units on) are decoded and
// encoded in two pieces on two threads.
constexpr qsizetype kTwoPiecesFrom = qsizetype(4) * 1024 * 1024;
// UTF-16 without a byte-order mark is recognised from this many first bytes.
constexpr qsizetype kUtf16SampleBytes = qsizetype(64) * 1024;
// Text that reads as UTF-8 but for some stray sequences is UTF-8 when it holds at least this many
// multi-byte characters per stray sequence. GBK Chinese holds about one in four by chance.
constexpr qsizetype kUtf8CharactersPerStray = 8;
// Whether GBK or GB18030 reads a file cleanly is found a piece of this size at a time.
constexpr qsizetype kCheckPieceBytes = qsizetype(1) << 20;

std::optional<TextEncoding> MarkedEncoding(QByteArrayView bytes) {
    for (const TextEncoding e :
         {TextEncoding::Utf8Bom, TextEncoding::Utf16LeBom, TextEncoding::Utf16BeBom}) {
        if (bytes.startsWith(ByteOrderMark(e)))
            return e;
    }
    return std::nullopt;
}

// UTF-16 without a mark shows in its first bytes, read in one byte order: surrogates only in
// pairs, and either mostly units below U+0100 (Latin text) with hardly any in the other order and
// no NUL, or line breaks (0D 00 0A 00) that the other order lacks, and no NUL. GBK and UTF-8 text
// has no zero bytes at all.
std::optional<TextEncoding> Utf16WithoutMark(QByteArrayView bytes) {
    const qsizetype units = std::min(bytes.size(), kUtf16SampleBytes) / 2;
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    // Order 0 reads little-endian, order 1 big-endian.
    auto unitAt = [b](int order, qsizetype u) {
        return char16_t(order == 0 ? b[2 * u] | b[2 * u + 1] << 8 : b[2 * u] << 8 | b[2 * u + 1]);
    };
    qsizetype nul = 0;
    qsizetype small[2] = {}; // units U+0001..U+00FF
    qsizetype breaks[2] = {};
    for (qsizetype u = 0; u < units; ++u) {
        for (int order = 0; order < 2; ++order) {
            const char16_t unit = unitAt(order, u);
            if (unit == 0) {
                nul += order;
            } else if (unit < 0x100) {
                ++small[order];
                breaks[order] += qsizetype(unit == u'\n' || unit == u'\r');
            }
        }
    }
    auto paired = [&](int order) {
        for (qsizetype u = 0; u < units; ++u) {
            const char16_t unit = unitAt(order, u);
            if (U16_IS_LEAD(unit) && u + 1 < units) {
                if (!U16_IS_TRAIL(unitAt(order, u + 1)))
                    return false;
                ++u;
            } else if (U16_IS_TRAIL(unit)) {
                return false;
            }
        }
        return true;
    };
    for (int order = 0; order < 2; ++order) {
        const qsizetype other = 1 - order;
        const bool latin = 2 * small[order] >= units && small[order] > 8 * (small[other] + nul);
        const bool lines = breaks[order] >= 2 && breaks[other] == 0 && nul == 0;
        if ((latin || lines) && paired(order))
            return order == 0 ? TextEncoding::Utf16Le : TextEncoding::Utf16Be;
    }
    return std::nullopt;
}

struct Utf8Counts {
    qsizetype multiByte = 0; // characters of two to four bytes
    qsizetype stray = 0;     // sequences that are no UTF-8 (overlong, surrogate, cut off...)
    qsizetype units = 0;     // UTF-16 units of the characters (all of the text when no stray)
};

Utf8Counts CountUtf8Piece(QByteArrayView bytes) {
    const auto* s = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const qsizetype n = bytes.size();
    Utf8Counts counts;
    qsizetype i = 0;
    while (i < n) {
        if (s[i] < 0x80) {
            // Runs of ASCII eight bytes at a time.
            const qsizetype from = i;
            for (std::uint64_t word = 0; i + 8 <= n; i += 8) {
                std::memcpy(&word, s + i, 8);
                if (word & 0x8080808080808080u)
                    break;
            }
            while (i < n && s[i] < 0x80)
                ++i;
            counts.units += i - from;
            continue;
        }
        UChar32 c = 0;
        U8_NEXT(s, i, n, c);
        if (c < 0) {
            ++counts.stray;
        } else {
            ++counts.multiByte;
            counts.units += U16_LENGTH(c);
        }
    }
    return counts;
}

// Large inputs are counted in two pieces at once, cut where a decoding may be cut.
struct Utf8Scan {
    Utf8Counts first;
    Utf8Counts second;
    qsizetype split = 0; // where the second piece starts (the size when there is one piece)

    qsizetype multiByte() const { return first.multiByte + second.multiByte; }
    qsizetype stray() const { return first.stray + second.stray; }
};

Utf8Scan ScanUtf8(QByteArrayView bytes) {
    Utf8Scan scan;
    scan.split = bytes.size() >= kTwoPiecesFrom
                     ? codec::SplitPoint(TextEncoding::Utf8, bytes, bytes.size() / 2)
                     : bytes.size();
    if (scan.split >= bytes.size()) {
        scan.first = CountUtf8Piece(bytes);
        return scan;
    }
    auto second =
        std::async(std::launch::async, [&] { return CountUtf8Piece(bytes.sliced(scan.split)); });
    scan.first = CountUtf8Piece(bytes.first(scan.split));
    scan.second = second.get();
    return scan;
}

bool IsMostlyUtf8(const Utf8Scan& scan) {
    return scan.multiByte() > 0 && scan.multiByte() >= kUtf8CharactersPerStray * scan.stray();
}

QStringDecoder Utf8Decoder() {
    return QStringDecoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless |
                                                      QStringConverter::Flag::ConvertInitialBom);
}

// Valid UTF-8 goes through Qt's decoder, the fastest, each piece straight into its place.
// Nothing when Qt finds an error after all.
std::optional<QString> DecodeValidUtf8(QByteArrayView bytes, const Utf8Scan& scan) {
    const QByteArrayView first = bytes.first(scan.split);
    const QByteArrayView second = bytes.sliced(scan.split);
    // Room for all that Qt may write whatever the counts say: the second piece starts at the
    // first one's length in units, which is never more than its length in bytes.
    const qsizetype secondAt = std::min(scan.first.units, first.size());
    QString text(std::max(Utf8Decoder().requiredSpace(bytes.size()),
                          secondAt + Utf8Decoder().requiredSpace(second.size())),
                 Qt::Uninitialized);
    auto decodeInto = [&text](QByteArrayView part, qsizetype at) -> qsizetype {
        QStringDecoder decoder = Utf8Decoder();
        const QChar* end = decoder.appendToBuffer(text.data() + at, part);
        return decoder.hasError() ? -1 : end - (text.constData() + at);
    };
    std::future<qsizetype> secondUnits;
    if (!second.isEmpty())
        secondUnits = std::async(std::launch::async, [&] { return decodeInto(second, secondAt); });
    const qsizetype firstUnits = decodeInto(first, 0);
    const qsizetype restUnits = second.isEmpty() ? 0 : secondUnits.get();
    if (firstUnits < 0 || restUnits < 0 || (!second.isEmpty() && firstUnits != secondAt))
        return std::nullopt;
    text.resize(firstUnits + restUnits);
    return text;
}

struct Piece {
    QString text;
    qsizetype escaped = 0; // bytes
};

Piece DecodePiece(TextEncoding encoding, QByteArrayView bytes, qsizetype reserve) {
    Piece piece;
    piece.text.reserve(reserve);
    IcuConverter converter(encoding);
    piece.escaped = converter.decode(bytes, piece.text);
    return piece;
}

// Through ICU, large inputs in two pieces at once.
Piece Decode(TextEncoding encoding, QByteArrayView bytes) {
    const qsizetype split = bytes.size() >= kTwoPiecesFrom
                                ? codec::SplitPoint(encoding, bytes, bytes.size() / 2)
                                : bytes.size();
    if (split >= bytes.size())
        return DecodePiece(encoding, bytes, 0);
    auto second = std::async(std::launch::async, [&] {
        return DecodePiece(encoding, bytes.sliced(split), bytes.size() - split + 2);
    });
    // At most one unit per byte: room for both pieces, so that the second is only copied.
    Piece piece = DecodePiece(encoding, bytes.first(split), bytes.size() + 2);
    const Piece rest = second.get();
    piece.text.append(rest.text);
    piece.escaped += rest.escaped;
    return piece;
}

// Qt's decoder for valid UTF-8, ICU for the rest.
Piece DecodeUtf8(QByteArrayView bytes, const Utf8Scan& scan) {
    if (scan.stray() == 0) {
        if (std::optional<QString> text = DecodeValidUtf8(bytes, scan))
            return Piece{std::move(*text), 0};
    }
    return Decode(TextEncoding::Utf8, bytes);
}

bool ReadsPieceCleanly(TextEncoding encoding, QByteArrayView bytes) {
    IcuConverter converter(encoding);
    QString scratch;
    for (qsizetype at = 0; at < bytes.size();) {
        const qsizetype end =
            codec::SplitPoint(encoding, bytes, std::min(at + kCheckPieceBytes, bytes.size()));
        scratch.resize(0);
        if (converter.decode(bytes.sliced(at, end - at), scratch) > 0)
            return false;
        at = end;
    }
    return true;
}

// Whether the encoding reads all of `bytes` without escaping any, without keeping the text;
// large inputs in two pieces at once.
bool ReadsCleanly(TextEncoding encoding, QByteArrayView bytes) {
    const qsizetype split = bytes.size() >= kTwoPiecesFrom
                                ? codec::SplitPoint(encoding, bytes, bytes.size() / 2)
                                : bytes.size();
    if (split >= bytes.size())
        return ReadsPieceCleanly(encoding, bytes);
    auto second = std::async(std::launch::async,
                             [&] { return ReadsPieceCleanly(encoding, bytes.sliced(split)); });
    const bool first = ReadsPieceCleanly(encoding, bytes.first(split));
    return second.get() && first;
}

bool EncodePiece(TextEncoding encoding, QStringView text, QByteArray& out) {
    IcuConverter converter(encoding);
    return converter.encode(text, out);
}

bool Encode(TextEncoding encoding, QStringView text, QByteArray& out) {
    if (encoding == TextEncoding::Utf8) {
        // Qt's encoder is the fastest; it flags lone surrogates, escaped bytes among them.
        QStringEncoder encoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        const qsizetype start = out.size();
        out.resize(start + encoder.requiredSpace(text.size()));
        const char* end = encoder.appendToBuffer(out.data() + start, text);
        if (!encoder.hasError()) {
            out.resize(end - out.constData());
            return true;
        }
        out.resize(start);
    }
    // Through ICU, large texts in two pieces at once.
    qsizetype split = text.size();
    if (text.size() * 2 >= kTwoPiecesFrom) {
        split = text.size() / 2;
        while (split < text.size() && text[split - 1].isHighSurrogate())
            ++split;
    }
    if (split >= text.size())
        return EncodePiece(encoding, text, out);
    QByteArray rest;
    auto second = std::async(std::launch::async,
                             [&] { return EncodePiece(encoding, text.sliced(split), rest); });
    const bool ok = EncodePiece(encoding, text.first(split), out);
    if (!second.get() || !ok)
        return false;
    out.append(rest);
    return true;
}

} // namespace

bool IsEscapedByte(QStringView text, qsizetype i) {
    const char16_t c = text[i].unicode();
    return c >= kEscapedByteBase && c <= kEscapedByteBase + 0xFF &&
           (i == 0 || !text[i - 1].isHighSurrogate());
}

int CodeUnitBytes(TextEncoding encoding) {
    switch (WithoutByteOrderMark(encoding)) {
    case TextEncoding::Utf16Le:
    case TextEncoding::Utf16Be:
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
    if (const std::optional<TextEncoding> marked = MarkedEncoding(bytes))
        return *marked;
    if (const std::optional<TextEncoding> utf16 = Utf16WithoutMark(bytes))
        return *utf16;
    const Utf8Scan scan = ScanUtf8(bytes);
    if (IsMostlyUtf8(scan))
        return TextEncoding::Utf8;
    if (scan.multiByte() == 0 && scan.stray() == 0)
        return TextEncoding::Gbk; // plain ASCII, which GBK reads as it is
    if (ReadsCleanly(TextEncoding::Gbk, bytes) || !ReadsCleanly(TextEncoding::Gb18030, bytes))
        return TextEncoding::Gbk;
    return TextEncoding::Gb18030;
}

DecodedText DecodeText(QByteArrayView bytes) {
    DecodedText d;
    Piece piece;
    std::optional<TextEncoding> encoding = MarkedEncoding(bytes);
    if (encoding) {
        const QByteArrayView body = bytes.sliced(ByteOrderMark(*encoding).size());
        piece = *encoding == TextEncoding::Utf8Bom ? DecodeUtf8(body, ScanUtf8(body))
                                                   : Decode(WithoutByteOrderMark(*encoding), body);
    } else if ((encoding = Utf16WithoutMark(bytes))) {
        piece = Decode(*encoding, bytes);
    } else if (const Utf8Scan scan = ScanUtf8(bytes); IsMostlyUtf8(scan)) {
        encoding = TextEncoding::Utf8;
        piece = DecodeUtf8(bytes, scan);
    } else {
        // The same choice as DetectEncoding, with GBK's text kept when it is the answer.
        encoding = TextEncoding::Gbk;
        piece = Decode(*encoding, bytes);
        if (piece.escaped > 0 && ReadsCleanly(TextEncoding::Gb18030, bytes)) {
            encoding = TextEncoding::Gb18030;
            piece = Decode(*encoding, bytes);
        }
    }
    d.encoding = *encoding;
    d.unreadable = piece.escaped > 0 ? codec::CountEscapedRuns(piece.text) : 0;
    d.lineBreak = MostCommonLineBreak(piece.text);
    // The text was given room for one unit per byte; most files need less.
    if (piece.text.capacity() - piece.text.size() > piece.text.size() / 8 + 1024)
        piece.text.squeeze();
    d.text = std::move(piece.text);
    return d;
}

std::optional<EncodedText> EncodeText(QStringView text, TextEncoding encoding) {
    QByteArray bytes = ByteOrderMark(encoding).toByteArray();
    if (Encode(WithoutByteOrderMark(encoding), text, bytes))
        return EncodedText{std::move(bytes), encoding};
    if (encoding == TextEncoding::Gbk) {
        bytes.clear();
        if (Encode(TextEncoding::Gb18030, text, bytes))
            return EncodedText{std::move(bytes), TextEncoding::Gb18030};
    }
    return std::nullopt;
}

struct TextDecoder::Impl {
    explicit Impl(TextEncoding encoding) : converter(encoding) {}
    IcuConverter converter;
};

TextDecoder::TextDecoder(TextEncoding encoding) : d(std::make_unique<Impl>(encoding)) {}
TextDecoder::~TextDecoder() = default;

qsizetype TextDecoder::decode(QByteArrayView bytes, QString& out) {
    const qsizetype start = out.size();
    if (d->converter.decode(bytes, out) == 0)
        return 0;
    return codec::CountEscapedRuns(QStringView(out).sliced(start));
}

struct TextEncoder::Impl {
    explicit Impl(TextEncoding encoding) : converter(encoding) {}
    IcuConverter converter;
};

TextEncoder::TextEncoder(TextEncoding encoding) : d(std::make_unique<Impl>(encoding)) {}
TextEncoder::~TextEncoder() = default;

bool TextEncoder::encode(QStringView text, QByteArray& out) {
    return d->converter.encode(text, out);
}

namespace {

struct LineBreakCounts {
    qsizetype crlf = 0;
    qsizetype lf = 0;
    qsizetype cr = 0;
};

LineBreakCounts CountLineBreaks(QStringView text) {
    LineBreakCounts n;
    for (qsizetype i = text.indexOf(u'\r'); i >= 0; i = text.indexOf(u'\r', i + 1)) {
        if (i + 1 < text.size() && text[i + 1] == u'\n')
            ++n.crlf;
        else
            ++n.cr;
    }
    n.lf = text.count(u'\n') - n.crlf;
    return n;
}

} // namespace

LineBreak MostCommonLineBreak(QStringView text) {
    LineBreakCounts n;
    if (text.size() * 2 < kTwoPiecesFrom) {
        n = CountLineBreaks(text);
    } else {
        // Two halves at once; a CR LF across the middle counts as one.
        const qsizetype middle = text.size() / 2;
        auto second =
            std::async(std::launch::async, [&] { return CountLineBreaks(text.sliced(middle)); });
        n = CountLineBreaks(text.first(middle));
        const LineBreakCounts rest = second.get();
        const bool across = text[middle - 1] == u'\r' && text[middle] == u'\n';
        n.crlf += rest.crlf + qsizetype(across);
        n.cr += rest.cr - qsizetype(across);
        n.lf += rest.lf - qsizetype(across);
    }
    if (n.lf > n.crlf && n.lf >= n.cr)
        return LineBreak::Lf;
    if (n.cr > n.crlf && n.cr > n.lf)
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
    case TextEncoding::Utf16Le:
        return QStringLiteral("UTF-16LE");
    case TextEncoding::Utf16Be:
        return QStringLiteral("UTF-16BE");
    case TextEncoding::Utf16LeBom:
        return QStringLiteral("UTF-16LE（带 BOM）");
    case TextEncoding::Utf16BeBom:
        return QStringLiteral("UTF-16BE（带 BOM）");
    }
    return {};
}

std::optional<TextEncoding> EncodingFromName(QStringView name) {
    static const struct {
        QStringView name;
        TextEncoding encoding;
    } kNames[] = {
        {u"utf-8", TextEncoding::Utf8},       {u"utf8", TextEncoding::Utf8},
        {u"gbk", TextEncoding::Gbk},          {u"cp936", TextEncoding::Gbk},
        {u"gb18030", TextEncoding::Gb18030},  {u"utf-16le", TextEncoding::Utf16Le},
        {u"utf-16be", TextEncoding::Utf16Be},
    };
    for (const auto& entry : kNames) {
        if (name.compare(entry.name, Qt::CaseInsensitive) == 0)
            return entry.encoding;
    }
    return std::nullopt;
}
