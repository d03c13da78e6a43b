#include "engine/reading/linescan.h"

#include <QSysInfo>

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr uchar CR = '\r';
constexpr uchar LF = '\n';

// The first CR or LF byte in [p, end), or end. Most lines are short: the first 64 bytes are
// looked at here; beyond them the C library's memchr, which uses the widest vector instructions
// the processor has, finds the LF, and then any CR before it.
const uchar* FindCrOrLf(const uchar* p, const uchar* end) {
    const uchar* const near = p + std::min<qint64>(end - p, 64);
#if defined(__SSE2__)
    const __m128i crs = _mm_set1_epi8(char(CR));
    const __m128i lfs = _mm_set1_epi8(char(LF));
    while (near - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const int mask =
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, crs), _mm_cmpeq_epi8(v, lfs)));
        if (mask != 0)
            return p + __builtin_ctz(unsigned(mask));
        p += 16;
    }
#endif
    while (p < near && *p != CR && *p != LF)
        ++p;
    if (p < near || p == end)
        return p;
    const auto* lf = static_cast<const uchar*>(std::memchr(p, LF, std::size_t(end - p)));
    const uchar* stop = lf ? lf : end;
    const auto* cr = static_cast<const uchar*>(std::memchr(p, CR, std::size_t(stop - p)));
    return cr ? cr : stop;
}

char16_t UnitAt(const uchar* p, UnitFormat format) {
    return format == UnitFormat::Utf16Le ? char16_t(p[0] | (p[1] << 8))
                                         : char16_t((p[0] << 8) | p[1]);
}

// The first CR or LF unit in [p, end), or end; a trailing odd byte is never a break.
const uchar* FindCrOrLfUnit(const uchar* p, const uchar* end, UnitFormat format) {
    while (end - p >= 2) {
        const char16_t u = UnitAt(p, format);
        if (u == u'\r' || u == u'\n')
            return p;
        p += 2;
    }
    return end;
}

} // namespace

UnitFormat UnitFormatOf(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf16Le:
    case TextEncoding::Utf16LeBom:
        return UnitFormat::Utf16Le;
    case TextEncoding::Utf16Be:
    case TextEncoding::Utf16BeBom:
        return UnitFormat::Utf16Be;
    default:
        return UnitFormat::Bytes;
    }
}

UnitFormat NativeUtf16() {
    return QSysInfo::ByteOrder == QSysInfo::LittleEndian ? UnitFormat::Utf16Le
                                                         : UnitFormat::Utf16Be;
}

const uchar* FindLineEnd(const uchar* p, const uchar* end, UnitFormat format, const uchar** next) {
    if (format == UnitFormat::Bytes) {
        const uchar* at = FindCrOrLf(p, end);
        if (at == end)
            *next = end;
        else if (*at == CR && at + 1 < end && at[1] == LF)
            *next = at + 2;
        else
            *next = at + 1;
        return at;
    }
    const uchar* at = FindCrOrLfUnit(p, end, format);
    if (at == end)
        *next = end;
    else if (UnitAt(at, format) == u'\r' && end - at >= 4 && UnitAt(at + 2, format) == u'\n')
        *next = at + 4;
    else
        *next = at + 2;
    return at;
}

const uchar* NextLineStart(const uchar* at, const uchar* end, UnitFormat format) {
    const uchar* next = nullptr;
    FindLineEnd(at, end, format, &next);
    return next;
}

const uchar* AfterLastBreak(const uchar* begin, const uchar* end, UnitFormat format) {
    const int unit = UnitBytes(format);
    const uchar* p = begin + ((end - begin) / unit) * unit; // whole units only
    while (p > begin) {
        p -= unit;
        if (!IsLineBreakAt(p, end, format))
            continue;
        const bool cr =
            format == UnitFormat::Bytes ? *p == '\r' : (p[0] | p[1]) == '\r' && (p[0] & p[1]) == 0;
        if (cr && p + unit == end)
            continue; // its LF may follow
        return p + unit;
    }
    return begin;
}

bool IsLineBreakAt(const uchar* p, const uchar* end, UnitFormat format) {
    if (format == UnitFormat::Bytes)
        return *p == CR || *p == LF;
    if (end - p < 2)
        return false;
    const char16_t u = UnitAt(p, format);
    return u == u'\r' || u == u'\n';
}

void CountBreakAfter(const uchar* at, const uchar* end, UnitFormat format,
                     LineBreakCounts& counts) {
    if (at >= end || !IsLineBreakAt(at, end, format))
        return;
    const int unit = UnitBytes(format);
    const bool lf = format == UnitFormat::Bytes ? *at == LF : UnitAt(at, format) == u'\n';
    if (lf)
        ++counts.lf;
    else if (end - at >= 2 * qint64(unit) && IsLineBreakAt(at + unit, end, format) &&
             (format == UnitFormat::Bytes ? at[1] == LF : UnitAt(at + 2, format) == u'\n'))
        ++counts.crlf;
    else
        ++counts.cr;
}

LineBreakCounts CountLineBreaks(const uchar* begin, const uchar* end, UnitFormat format) {
    LineBreakCounts counts;
    if (format == UnitFormat::Bytes) {
        // Every LF is a break, every CR is one, and a CR right before a LF makes one with it.
        const qint64 n = end - begin;
        qint64 lfs = 0;
        qint64 crs = 0;
        qint64 pairs = 0;
        if (n > 0) {
            lfs = begin[0] == LF;
            crs = begin[0] == CR;
        }
        qint64 i = 1;
#if defined(__SSE2__)
        // Sixteen bytes at a time, each with the byte before it, counted in byte-wide lanes
        // that are summed before they can overflow.
        const __m128i lfBytes = _mm_set1_epi8(char(LF));
        const __m128i crBytes = _mm_set1_epi8(char(CR));
        const __m128i zero = _mm_setzero_si128();
        auto sum = [&](__m128i lanes) {
            const __m128i s = _mm_sad_epu8(lanes, zero);
            return qint64(_mm_cvtsi128_si32(s)) + qint64(_mm_cvtsi128_si32(_mm_srli_si128(s, 8)));
        };
        while (n - i >= 16) {
            __m128i lfLanes = zero;
            __m128i crLanes = zero;
            __m128i pairLanes = zero;
            for (qint64 left = std::min<qint64>((n - i) / 16, 255); left > 0; --left, i += 16) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(begin + i));
                const __m128i before =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(begin + i - 1));
                const __m128i isLf = _mm_cmpeq_epi8(v, lfBytes);
                lfLanes = _mm_sub_epi8(lfLanes, isLf);
                crLanes = _mm_sub_epi8(crLanes, _mm_cmpeq_epi8(v, crBytes));
                pairLanes =
                    _mm_sub_epi8(pairLanes, _mm_and_si128(isLf, _mm_cmpeq_epi8(before, crBytes)));
            }
            lfs += sum(lfLanes);
            crs += sum(crLanes);
            pairs += sum(pairLanes);
        }
#endif
        for (; i < n; ++i) {
            const bool lf = begin[i] == LF;
            lfs += lf;
            crs += begin[i] == CR;
            pairs += lf & (begin[i - 1] == CR);
        }
        counts.crlf = pairs;
        counts.lf = lfs - pairs;
        counts.cr = crs - pairs;
        return counts;
    }
    const uchar* p = begin;
    while (end - p >= 2) {
        const char16_t u = UnitAt(p, format);
        if (u == u'\r') {
            if (end - p >= 4 && UnitAt(p + 2, format) == u'\n') {
                ++counts.crlf;
                p += 4;
                continue;
            }
            ++counts.cr;
        } else if (u == u'\n') {
            ++counts.lf;
        }
        p += 2;
    }
    return counts;
}

QByteArray LineBreakBytes(LineBreak lineBreak, UnitFormat format) {
    const QStringView chars = LineBreakText(lineBreak);
    QByteArray bytes;
    for (const QChar c : chars) {
        const char low = char(c.unicode() & 0xFF);
        const char high = char(c.unicode() >> 8);
        if (format == UnitFormat::Bytes)
            bytes.append(low);
        else if (format == UnitFormat::Utf16Le)
            bytes.append(low).append(high);
        else
            bytes.append(high).append(low);
    }
    return bytes;
}
