#include "files/codecs/codecicu.h"

#include <QList>

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ucnv_err.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace codec {
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

char16_t Escape(char byte) {
    return char16_t(kEscapedByteBase + static_cast<unsigned char>(byte));
}

// Called by ICU for every sequence it cannot read (illegal, irregular, unassigned, or cut off at
// the end): each of its bytes becomes an escaped byte (see UnreadableCounts for the ASCII bytes
// of a sequence cut off).
void EscapeUnreadable(const void* context, UConverterToUnicodeArgs* args, const char* codeUnits,
                      int32_t length, UConverterCallbackReason reason, UErrorCode* error) {
    if (reason > UCNV_IRREGULAR)
        return; // reset, close, clone
    auto* counts = static_cast<UnreadableCounts*>(const_cast<void*>(context));
    const bool asciiStays = counts->asciiInCutSequence && *error == U_TRUNCATED_CHAR_FOUND;
    ++counts->sequences;
    *error = U_ZERO_ERROR;
    constexpr int32_t kBatch = 32;
    UChar units[kBatch];
    for (int32_t done = 0; done < length && U_SUCCESS(*error);) {
        const int32_t n = std::min(length - done, kBatch);
        for (int32_t i = 0; i < n; ++i) {
            const auto byte = static_cast<unsigned char>(codeUnits[done + i]);
            const bool stays = asciiStays && byte < 0x80;
            units[i] = stays ? UChar(byte) : Escape(codeUnits[done + i]);
            counts->bytes += !stays;
        }
        ucnv_cbToUWriteUChars(args, units, n, 0, error);
        done += n;
    }
}

// Called by ICU for every character it cannot write: an escaped byte is written as its byte;
// anything else stops the conversion with the error ICU reported.
void WriteEscapedByte(const void*, UConverterFromUnicodeArgs* args, const UChar*, int32_t length,
                      UChar32 codePoint, UConverterCallbackReason reason, UErrorCode* error) {
    if (reason > UCNV_IRREGULAR || length != 1 || codePoint < kEscapedByteBase ||
        codePoint > kEscapedByteBase + 0xFF)
        return;
    const char byte = char(codePoint - kEscapedByteBase);
    *error = U_ZERO_ERROR;
    ucnv_cbFromUWriteBytes(args, &byte, 1, 0, error);
}

// Every code of the encoding that the one-way search looks at, each followed by a line feed,
// which no code can take as a trailing byte.
QByteArray CodesToCheck(TextEncoding encoding) {
    QByteArray codes;
    for (int b = 0; b < 0x100; ++b) {
        if (b != '\n')
            codes.append(char(b)).append('\n');
    }
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x30; trail <= 0xFF; ++trail)
            codes.append(char(lead)).append(char(trail)).append('\n');
    }
    if (encoding == TextEncoding::Gb18030) {
        for (int b1 = 0x81; b1 <= 0x84; ++b1) {
            for (int b2 = 0x30; b2 <= 0x39; ++b2) {
                for (int b3 = 0x81; b3 <= 0xFE; ++b3) {
                    for (int b4 = 0x30; b4 <= 0x39; ++b4) {
                        codes.append(char(b1)).append(char(b2)).append(char(b3)).append(char(b4));
                        codes.append('\n');
                    }
                }
            }
        }
    }
    return codes;
}

OneWayCodes FindOneWayCodes(TextEncoding encoding) {
    static const OneWayCodes none;
    IcuConverter converter(encoding, &none);
    const QByteArray all = CodesToCheck(encoding);
    QString text;
    QByteArray back;
    converter.decode(all, text);
    // The line feeds keep each code's bytes in place, so equal bytes mean every code came back.
    if (converter.encode(text, back) && back == all)
        return {};
    std::vector<QByteArray> codes;
    std::vector<QString> characters;
    for (const QByteArray& code : all.split('\n')) {
        QString character;
        QByteArray bytes;
        if (!code.isEmpty() && converter.decode(code, character) == 0 &&
            (!converter.encode(character, bytes) || bytes != code)) {
            codes.push_back(code);
            characters.push_back(character);
        }
    }
    return {std::move(codes), characters};
}

} // namespace

OneWayCodes::OneWayCodes(std::vector<QByteArray> codes, const std::vector<QString>& characters)
    : codes_(std::move(codes)) {
    std::sort(codes_.begin(), codes_.end());
    for (const QString& character : characters) {
        for (const QChar unit : character)
            suspects_.set(unit.unicode());
    }
}

const OneWayCodes& OneWayCodes::For(TextEncoding encoding) {
    switch (WithoutByteOrderMark(encoding)) {
    case TextEncoding::Gbk: {
        static const OneWayCodes gbk = FindOneWayCodes(TextEncoding::Gbk);
        return gbk;
    }
    case TextEncoding::Gb18030: {
        static const OneWayCodes gb18030 = FindOneWayCodes(TextEncoding::Gb18030);
        return gb18030;
    }
    default: {
        // UTF-8 and UTF-16 are mapped by arithmetic, both ways alike.
        static const OneWayCodes none;
        return none;
    }
    }
}

bool OneWayCodes::isOneWay(QByteArrayView code) const {
    return std::binary_search(codes_.begin(), codes_.end(), code,
                              [](QByteArrayView a, QByteArrayView b) { return a < b; });
}

IcuConverter::IcuConverter(TextEncoding encoding, const OneWayCodes* oneWay)
    : encoding_(WithoutByteOrderMark(encoding)),
      oneWay_(oneWay ? oneWay : &OneWayCodes::For(encoding)) {
    UErrorCode error = U_ZERO_ERROR;
    unreadable_.asciiInCutSequence =
        encoding_ != TextEncoding::Utf16Le && encoding_ != TextEncoding::Utf16Be;
    converter_ = ucnv_open(IcuName(encoding_), &error);
    ucnv_setToUCallBack(converter_, EscapeUnreadable, &unreadable_, nullptr, nullptr, &error);
    ucnv_setFromUCallBack(converter_, WriteEscapedByte, nullptr, nullptr, nullptr, &error);
    if (U_FAILURE(error)) {
        // ICU ships these converters in its data; without them the installation is broken.
        std::fprintf(stderr, "ICU cannot open %s: %s\n", IcuName(encoding_), u_errorName(error));
        std::abort();
    }
}

IcuConverter::~IcuConverter() {
    ucnv_close(converter_);
}

qsizetype IcuConverter::convert(QByteArrayView bytes, QString& out,
                                std::vector<std::int32_t>* offsets) {
    unreadable_.bytes = 0;
    unreadable_.sequences = 0;
    const qsizetype start = out.size();
    // Every encoding here gives at most one UTF-16 unit per byte, escaped bytes included; more
    // room is made should ICU ever ask for it.
    out.resize(start + bytes.size() + 2);
    if (offsets)
        offsets->resize(std::size_t(bytes.size() + 2));
    const char* source = bytes.data();
    const char* const sourceEnd = source + bytes.size();
    qsizetype written = start;
    for (;;) {
        auto* base = reinterpret_cast<UChar*>(out.data());
        UChar* target = base + written;
        const char* const sourceStart = source;
        std::int32_t* offsetStart = offsets ? offsets->data() + (written - start) : nullptr;
        UErrorCode error = U_ZERO_ERROR;
        ucnv_toUnicode(converter_, &target, base + out.size(), &source, sourceEnd, offsetStart,
                       true, &error);
        const qsizetype before = written;
        written = target - base;
        if (offsets && sourceStart != bytes.data()) {
            // ICU counts offsets from the start of each call.
            for (qsizetype i = before - start; i < written - start; ++i) {
                if ((*offsets)[std::size_t(i)] >= 0)
                    (*offsets)[std::size_t(i)] += std::int32_t(sourceStart - bytes.data());
            }
        }
        if (error == U_BUFFER_OVERFLOW_ERROR) {
            out.resize(out.size() + out.size() / 2 + 16);
            if (offsets)
                offsets->resize(std::size_t(out.size() - start));
            continue;
        }
        if (U_FAILURE(error)) {
            // The callback reads everything; should ICU stop anyway, keep the rest as bytes.
            ucnv_resetToUnicode(converter_);
            out.resize(written);
            unreadable_.sequences += qsizetype(source != sourceEnd);
            for (; source != sourceEnd; ++source, ++unreadable_.bytes)
                out.append(QChar(Escape(*source)));
            return unreadable_.bytes;
        }
        break;
    }
    out.resize(written);
    return unreadable_.bytes;
}

qsizetype IcuConverter::decode(QByteArrayView bytes, QString& out) {
    const qsizetype start = out.size();
    const qsizetype escaped = convert(bytes, out, nullptr);
    strays_ = unreadable_.sequences;
    if (oneWay_->empty())
        return escaped;
    const QStringView added = QStringView(out).sliced(start);
    if (std::none_of(added.begin(), added.end(),
                     [this](QChar c) { return oneWay_->suspect(c.unicode()); }))
        return escaped;
    out.resize(start);
    return decodeChecked(bytes, out);
}

// Decodes with the source offset of every unit, and escapes the bytes of each one-way code.
qsizetype IcuConverter::decodeChecked(QByteArrayView bytes, QString& out) {
    constexpr qsizetype kPiece = qsizetype(1) << 20; // offsets are 32-bit
    qsizetype escaped = 0;
    qsizetype sequences = 0;
    QString piece;
    std::vector<std::int32_t> offsets;
    for (qsizetype at = 0; at < bytes.size();) {
        const qsizetype end = SplitPoint(encoding_, bytes, std::min(at + kPiece, bytes.size()));
        const QByteArrayView part = bytes.sliced(at, end - at);
        piece.resize(0);
        escaped += convert(part, piece, &offsets);
        sequences += unreadable_.sequences;
        for (qsizetype i = 0; i < piece.size();) {
            qsizetype units = 1;
            if (piece[i].isHighSurrogate() && i + 1 < piece.size() && piece[i + 1].isLowSurrogate())
                units = 2;
            bool oneWay = false;
            if (oneWay_->suspect(piece[i].unicode())) {
                const qsizetype from = offsets[std::size_t(i)];
                const qsizetype to =
                    i + units < piece.size() ? offsets[std::size_t(i + units)] : part.size();
                const QByteArrayView code = part.sliced(from, to - from);
                if (oneWay_->isOneWay(code)) {
                    oneWay = true;
                    escaped += code.size();
                    ++sequences;
                    for (const char byte : code)
                        out.append(QChar(Escape(byte)));
                }
            }
            if (!oneWay)
                out.append(QStringView(piece).sliced(i, units));
            i += units;
        }
        at = end;
    }
    strays_ = sequences;
    return escaped;
}

bool IcuConverter::encode(QStringView text, QByteArray& out) {
    const qsizetype start = out.size();
    // Short pieces get room for the longest form at once; long texts start from two bytes a unit.
    const qsizetype perUnit = text.size() < (1 << 16) ? ucnv_getMaxCharSize(converter_) : 2;
    out.resize(start + text.size() * perUnit + 16);
    const UChar* source = text.utf16();
    const UChar* const sourceEnd = source + text.size();
    qsizetype written = start;
    for (;;) {
        char* target = out.data() + written;
        UErrorCode error = U_ZERO_ERROR;
        ucnv_fromUnicode(converter_, &target, out.data() + out.size(), &source, sourceEnd, nullptr,
                         true, &error);
        written = target - out.data();
        if (error == U_BUFFER_OVERFLOW_ERROR) {
            out.resize(out.size() + out.size() / 2 + 16);
            continue;
        }
        if (U_FAILURE(error)) {
            ucnv_resetFromUnicode(converter_);
            out.resize(start);
            return false;
        }
        break;
    }
    out.resize(written);
    return true;
}

qsizetype SplitPoint(TextEncoding encoding, QByteArrayView bytes, qsizetype from) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    switch (WithoutByteOrderMark(encoding)) {
    case TextEncoding::Utf8:
        // Before any byte that is not a continuation byte: a sequence never goes past it.
        for (qsizetype i = std::max<qsizetype>(from, 1); i < n; ++i) {
            if ((b[i] & 0xC0) != 0x80)
                return i;
        }
        return n;
    case TextEncoding::Utf16Le:
    case TextEncoding::Utf16Be: {
        // Between two code units, where the first is no high surrogate.
        const bool le = WithoutByteOrderMark(encoding) == TextEncoding::Utf16Le;
        for (qsizetype i = std::max<qsizetype>(from + (from & 1), 2); i < n; i += 2) {
            const auto unit = char16_t(le ? b[i - 2] | b[i - 1] << 8 : b[i - 2] << 8 | b[i - 1]);
            if (!U16_IS_LEAD(unit))
                return i;
        }
        return n;
    }
    default:
        // Before a byte below 0x30, which no GBK or GB18030 code has after its first byte.
        for (qsizetype i = std::max<qsizetype>(from, 1); i < n; ++i) {
            if (b[i] < 0x30)
                return i;
        }
        return n;
    }
}

qsizetype CountEscapedRuns(QStringView text) {
    qsizetype runs = 0;
    bool previous = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool escaped = IsEscapedByte(text, i);
        runs += qsizetype(escaped && !previous);
        previous = escaped;
    }
    return runs;
}

} // namespace codec
