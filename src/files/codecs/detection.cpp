#include "files/codecs/detection.h"

#include "files/codecs/codecicu.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <future>

namespace detect {
namespace {

// Multi-byte characters that UTF-8 needs for each invalid sequence beyond those of GB18030.
constexpr qsizetype kUtf8CharactersPerStray = 8;
// Whether an encoding reads a file cleanly is found a piece of this size at a time.
constexpr qsizetype kCheckPieceBytes = qsizetype(1) << 20;

// What one byte order makes of a UTF-16 sample.
struct Utf16Reading {
    qsizetype units = 0;
    qsizetype latin = 0;       // U+0001..U+00FF
    qsizetype breaks = 0;      // CR and LF units
    qsizetype strays = 0;      // CR and LF bytes that are no line break
    qsizetype controls = 0;    // other control-valued low bytes of units above U+00FF
    qsizetype implausible = 0; // units that hardly ever occur in text
};

// Low bytes 0x01..0x1F but tab, LF, VT, FF, CR and ESC, which texts of bytes may hold.
constexpr bool IsRareControlByte(unsigned byte) {
    return byte >= 0x01 && byte <= 0x1F && byte != 0x09 && byte != 0x0A && byte != 0x0B &&
           byte != 0x0C && byte != 0x0D && byte != 0x1B;
}

bool IsPlausibleCharacter(UChar32 c) {
    switch (u_charType(c)) {
    case U_UNASSIGNED: // noncharacters among them
    case U_PRIVATE_USE_CHAR:
    case U_SURROGATE:
        return false;
    case U_CONTROL_CHAR:
        return c >= 0x09 && c <= 0x0D;
    default:
        return true;
    }
}

Utf16Reading ReadUtf16(QByteArrayView bytes, bool littleEndian) {
    const bool whole = bytes.size() <= kUtf16SampleBytes;
    const qsizetype units = std::min(bytes.size(), kUtf16SampleBytes) / 2;
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    auto unitAt = [b, littleEndian](qsizetype u) {
        return char16_t(littleEndian ? b[2 * u] | b[2 * u + 1] << 8 : b[2 * u] << 8 | b[2 * u + 1]);
    };
    Utf16Reading r;
    r.units = units;
    for (qsizetype u = 0; u < units; ++u) {
        const char16_t unit = unitAt(u);
        if (unit == u'\n' || unit == u'\r') {
            ++r.breaks;
            ++r.latin;
            continue;
        }
        if (unit > 0 && unit < 0x100) {
            ++r.latin;
        } else if (unit >= 0x100) {
            const unsigned low = unit & 0xFF;
            const unsigned high = unit >> 8;
            r.strays += qsizetype(low == 0x0A || low == 0x0D);
            r.controls += qsizetype(IsRareControlByte(low));
            // U+0A00..U+0AFF and U+0D00..U+0DFF are letters of scripts whose words have
            // several; one of them alone holds a line break out of step.
            if (high == 0x0A || high == 0x0D) {
                const bool neighbour = (u > 0 && unitAt(u - 1) >> 8 == high) ||
                                       (u + 1 < units && unitAt(u + 1) >> 8 == high);
                r.strays += qsizetype(!neighbour);
            }
        }
        UChar32 c = unit;
        if (U16_IS_LEAD(unit) && u + 1 < units && U16_IS_TRAIL(unitAt(u + 1))) {
            c = U16_GET_SUPPLEMENTARY(unit, unitAt(u + 1));
            ++u;
        } else if (U16_IS_LEAD(unit) && u + 1 == units && !whole) {
            continue; // its other half lies past the sample
        }
        r.implausible += qsizetype(!IsPlausibleCharacter(c));
    }
    // The odd last byte of a whole input: a CR or LF there is a line break out of step.
    if (whole && bytes.size() % 2 != 0 &&
        (b[bytes.size() - 1] == '\n' || b[bytes.size() - 1] == '\r'))
        ++r.strays;
    return r;
}

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
            ++counts.strays;
        } else {
            ++counts.multiByte;
            counts.units += U16_LENGTH(c);
        }
    }
    return counts;
}

// Invalid sequences, a piece at a time; 1 at the first one when that is all that is asked.
qsizetype StraysInPieces(TextEncoding encoding, QByteArrayView bytes, bool stopAtFirst) {
    codec::IcuConverter converter(encoding);
    QString scratch;
    qsizetype strays = 0;
    for (qsizetype at = 0; at < bytes.size();) {
        const qsizetype end =
            codec::SplitPoint(encoding, bytes, std::min(at + kCheckPieceBytes, bytes.size()));
        scratch.resize(0);
        if (converter.decode(bytes.sliced(at, end - at), scratch) > 0) {
            if (stopAtFirst)
                return 1;
            strays += converter.strays();
        }
        at = end;
    }
    return strays;
}

// Large inputs in two pieces at once.
qsizetype StraysOf(TextEncoding encoding, QByteArrayView bytes, bool stopAtFirst) {
    const qsizetype split = bytes.size() >= kTwoPiecesFrom
                                ? codec::SplitPoint(encoding, bytes, bytes.size() / 2)
                                : bytes.size();
    if (split >= bytes.size())
        return StraysInPieces(encoding, bytes, stopAtFirst);
    auto second = std::async(std::launch::async, [&] {
        return StraysInPieces(encoding, bytes.sliced(split), stopAtFirst);
    });
    const qsizetype first = StraysInPieces(encoding, bytes.first(split), stopAtFirst);
    return first + second.get();
}

} // namespace

std::optional<TextEncoding> MarkedEncoding(QByteArrayView bytes) {
    for (const TextEncoding e :
         {TextEncoding::Utf8Bom, TextEncoding::Utf16LeBom, TextEncoding::Utf16BeBom}) {
        if (bytes.startsWith(ByteOrderMark(e)))
            return e;
    }
    return std::nullopt;
}

std::optional<TextEncoding> Utf16WithoutMark(QByteArrayView bytes) {
    const std::array<Utf16Reading, 2> readings = {ReadUtf16(bytes, true), ReadUtf16(bytes, false)};
    for (int order = 0; order < 2; ++order) {
        const Utf16Reading& r = readings[std::size_t(order)];
        const Utf16Reading& other = readings[std::size_t(1 - order)];
        const bool rightParity = 16 * other.breaks <= r.breaks;
        const bool plausible = 16 * r.implausible <= r.units;
        const bool latin = r.units > 0 && 2 * r.latin >= r.units && r.latin > 8 * other.latin;
        const bool lines = r.breaks > 0 && 2 * r.strays <= r.breaks + r.controls;
        if (rightParity && plausible && (latin || lines))
            return order == 0 ? TextEncoding::Utf16Le : TextEncoding::Utf16Be;
    }
    return std::nullopt;
}

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

bool Utf8WinsOutright(const Utf8Scan& scan) {
    return Utf8Wins(scan, 0);
}

bool Utf8Wins(const Utf8Scan& scan, qsizetype gb18030Strays) {
    const qsizetype onlyUtf8 = std::max<qsizetype>(0, scan.strays() - gb18030Strays);
    return scan.multiByte() > 0 && scan.multiByte() >= kUtf8CharactersPerStray * onlyUtf8;
}

qsizetype StraySequences(TextEncoding encoding, QByteArrayView bytes) {
    return StraysOf(encoding, bytes, false);
}

bool ReadsCleanly(TextEncoding encoding, QByteArrayView bytes) {
    return StraysOf(encoding, bytes, true) == 0;
}

} // namespace detect
