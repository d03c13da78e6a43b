// Whole texts and streams decoded and encoded, and the detection of a file's encoding. What each
// encoding is (its byte-order mark, its unit, its name) is in encodings.cpp.
#include "files/textcodec.h"

#include "files/codecs/codecicu.h"
#include "files/codecs/detection.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <future>

using codec::IcuConverter;

namespace {

using detect::kTwoPiecesFrom;
using detect::Utf8Scan;

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
    qsizetype strays = 0;  // the sequences they came in
};

Piece DecodePiece(TextEncoding encoding, QByteArrayView bytes, qsizetype reserve) {
    Piece piece;
    piece.text.reserve(reserve);
    IcuConverter converter(encoding);
    piece.escaped = converter.decode(bytes, piece.text);
    piece.strays = converter.strays();
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
    piece.strays += rest.strays;
    return piece;
}

// Qt's decoder for valid UTF-8, ICU for the rest.
Piece DecodeUtf8(QByteArrayView bytes, const Utf8Scan& scan) {
    if (scan.strays() == 0) {
        if (std::optional<QString> text = DecodeValidUtf8(bytes, scan))
            return Piece{std::move(*text), 0};
    }
    return Decode(TextEncoding::Utf8, bytes);
}

// UTF-16 is read two bytes at a time from the start of the file: a kept byte that stands alone
// (an odd run of escaped bytes, such as the odd last byte of a UTF-16 file) puts every unit after
// it out of step. Such a run can only end a text. True when one has something after it.
bool LoneByteInside(TextEncoding encoding, QStringView text) {
    if (CodeUnitBytes(encoding) != 2)
        return false;
    qsizetype run = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (IsEscapedByte(text, i))
            ++run;
        else if (run % 2 != 0)
            return true;
        else
            run = 0;
    }
    return false;
}

// A UTF-16 text that ends in a kept byte standing alone ends there, even when a line break
// follows it (one was written after every line): that break is left out, for it would be out
// of step. The text comes back from its file as it went, without the break.
QStringView WithoutBreakAfterLoneByte(QStringView text) {
    qsizetype end = text.size();
    if (text.endsWith(u"\r\n"))
        end -= 2;
    else if (text.endsWith(u'\n') || text.endsWith(u'\r'))
        end -= 1;
    qsizetype run = 0;
    while (run < end && IsEscapedByte(text, end - 1 - run))
        ++run;
    return run % 2 != 0 ? text.first(end) : text;
}

bool EncodePiece(TextEncoding encoding, QStringView text, QByteArray& out) {
    IcuConverter converter(encoding);
    return converter.encode(text, out);
}

bool Encode(TextEncoding encoding, QStringView text, QByteArray& out) {
    if (LoneByteInside(encoding, text))
        return false;
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

TextEncoding DetectEncoding(QByteArrayView bytes) {
    if (const std::optional<TextEncoding> marked = detect::MarkedEncoding(bytes))
        return *marked;
    if (const std::optional<TextEncoding> utf16 = detect::Utf16WithoutMark(bytes))
        return *utf16;
    const Utf8Scan scan = detect::ScanUtf8(bytes);
    if (detect::Utf8WinsOutright(scan))
        return TextEncoding::Utf8;
    if (scan.multiByte() == 0 && scan.strays() == 0)
        return TextEncoding::Gbk; // plain ASCII, which GBK reads as it is
    if (scan.multiByte() == 0) {
        const bool gb18030Only = !detect::ReadsCleanly(TextEncoding::Gbk, bytes) &&
                                 detect::ReadsCleanly(TextEncoding::Gb18030, bytes);
        return gb18030Only ? TextEncoding::Gb18030 : TextEncoding::Gbk;
    }
    const qsizetype gb18030Strays = detect::StraySequences(TextEncoding::Gb18030, bytes);
    if (detect::Utf8Wins(scan, gb18030Strays))
        return TextEncoding::Utf8;
    if (gb18030Strays > 0 || detect::ReadsCleanly(TextEncoding::Gbk, bytes))
        return TextEncoding::Gbk;
    return TextEncoding::Gb18030;
}

DecodedText DecodeText(QByteArrayView bytes) {
    DecodedText d;
    Piece piece;
    std::optional<TextEncoding> encoding = detect::MarkedEncoding(bytes);
    if (encoding) {
        const QByteArrayView body = bytes.sliced(ByteOrderMark(*encoding).size());
        piece = *encoding == TextEncoding::Utf8Bom ? DecodeUtf8(body, detect::ScanUtf8(body))
                                                   : Decode(WithoutByteOrderMark(*encoding), body);
    } else if ((encoding = detect::Utf16WithoutMark(bytes))) {
        piece = Decode(*encoding, bytes);
    } else {
        // The same choice as DetectEncoding, each decoding made once and kept when it is the
        // answer.
        const Utf8Scan scan = detect::ScanUtf8(bytes);
        std::optional<Piece> gb18030;
        bool utf8 = detect::Utf8WinsOutright(scan);
        if (!utf8 && scan.multiByte() > 0) {
            gb18030 = Decode(TextEncoding::Gb18030, bytes);
            utf8 = detect::Utf8Wins(scan, gb18030->strays);
        }
        if (utf8) {
            encoding = TextEncoding::Utf8;
            piece = DecodeUtf8(bytes, scan);
        } else {
            // GBK, or GB18030 where only that reads the bytes cleanly.
            encoding = TextEncoding::Gbk;
            piece = Decode(*encoding, bytes);
            if (piece.escaped > 0 &&
                (gb18030 ? gb18030->escaped == 0
                         : detect::ReadsCleanly(TextEncoding::Gb18030, bytes))) {
                encoding = TextEncoding::Gb18030;
                piece = gb18030 ? std::move(*gb18030) : Decode(*encoding, bytes);
            }
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
    if (CodeUnitBytes(encoding) == 2)
        text = WithoutBreakAfterLoneByte(text);
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
    explicit Impl(TextEncoding encoding)
        : converter(encoding), utf8(WithoutByteOrderMark(encoding) == TextEncoding::Utf8) {}
    IcuConverter converter;
    bool utf8;
    QStringDecoder qtUtf8 = Utf8Decoder();
};

TextDecoder::TextDecoder(TextEncoding encoding) : d(std::make_unique<Impl>(encoding)) {}
TextDecoder::~TextDecoder() = default;

qsizetype TextDecoder::decode(QByteArrayView bytes, QString& out) {
    const qsizetype start = out.size();
    if (d->utf8) {
        // Valid UTF-8, most pieces, through Qt's decoder, many times quicker on short pieces;
        // anything it finds wrong goes to ICU, which keeps the bytes it cannot read.
        d->qtUtf8.resetState();
        out.resize(start + d->qtUtf8.requiredSpace(bytes.size()));
        const QChar* end = d->qtUtf8.appendToBuffer(out.data() + start, bytes);
        if (!d->qtUtf8.hasError()) {
            out.resize(end - out.constData());
            return 0;
        }
        out.resize(start);
    }
    if (d->converter.decode(bytes, out) == 0)
        return 0;
    return codec::CountEscapedRuns(QStringView(out).sliced(start));
}

struct TextEncoder::Impl {
    explicit Impl(TextEncoding e) : encoding(e), converter(e) {}
    TextEncoding encoding;
    IcuConverter converter;
};

TextEncoder::TextEncoder(TextEncoding encoding) : d(std::make_unique<Impl>(encoding)) {}
TextEncoder::~TextEncoder() = default;

bool TextEncoder::encode(QStringView text, QByteArray& out) {
    return !LoneByteInside(d->encoding, text) && d->converter.encode(text, out);
}
