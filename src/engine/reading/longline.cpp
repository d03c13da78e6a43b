#include "engine/reading/batches.h"
#include "engine/reading/segment.h"
#include "engine/systemfiles.h"

#include <xxhash.h>

#include <algorithm>
#include <cstring>
#include <memory>

// Lines longer than memory should hold, gone through in steps (see kLongLineBytes).

namespace {

// Lets a step's pages go once it is done with, where the segment is a mapping.
void Done(const Segment& s, const uchar* from, qint64 size) {
    if (s.mapped)
        ReleaseMappedPages(from, size);
}

} // namespace

qint64 FindLongLineEnd(const Segment& s, qint64 offset, qint64* lineEnd) {
    const uchar* p = s.data + offset;
    while (p < s.end()) {
        qint64 step = std::min(kLongLineStep, qint64(s.end() - p));
        if (s.units != UnitFormat::Bytes)
            step &= ~qint64(1);
        if (step == 0) { // a stray last byte of a two-byte encoding: part of the line
            p = s.end();
            break;
        }
        const uchar* next = nullptr;
        const uchar* at = FindLineEnd(p, p + step, s.units, &next);
        if (at < p + step) {
            // The break may be a CR whose LF lies past the step: looked at against the whole.
            FindLineEnd(at, s.end(), s.units, &next);
            *lineEnd = at - s.data;
            Done(s, p, at - p);
            return next - s.data;
        }
        Done(s, p, step);
        p += step;
        if (s.stopped())
            break; // the work ends: where the line ends no longer matters
    }
    *lineEnd = p - s.data;
    return p - s.data;
}

qint64 LongLineLength(const Segment& s, const uchar* from, const uchar* to) {
    const int unit = UnitBytes(s.units);
    auto unitIs = [&](const uchar* at, char16_t c) {
        if (s.units == UnitFormat::Bytes)
            return *at == c;
        const char16_t u = s.units == UnitFormat::Utf16Le ? char16_t(at[0] | (at[1] << 8))
                                                          : char16_t((at[0] << 8) | at[1]);
        return u == c;
    };
    qint64 length = to - from;
    if (length >= unit && (length % unit) == 0) {
        if (unitIs(to - unit, u'\n')) {
            length -= unit;
            if (length >= unit && unitIs(from + length - unit, u'\r'))
                length -= unit;
        } else if (unitIs(to - unit, u'\r')) {
            length -= unit;
        }
    }
    return length;
}

quint64 HashInSteps(const Segment& s, const uchar* line, qint64 length) {
    if (length <= kLongLineStep)
        return XXH3_64bits(line, std::size_t(length));
    const std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> state(XXH3_createState(),
                                                                         &XXH3_freeState);
    XXH3_64bits_reset(state.get());
    for (qint64 at = 0; at < length; at += kLongLineStep) {
        const qint64 n = std::min(kLongLineStep, length - at);
        XXH3_64bits_update(state.get(), line + at, std::size_t(n));
        Done(s, line + at, n);
        if (s.stopped())
            break; // the work ends: the hash no longer matters
    }
    return XXH3_64bits_digest(state.get());
}

bool SameInSteps(const Segment& a, const uchar* x, const Segment& b, const uchar* y,
                 qint64 length) {
    for (qint64 at = 0; at < length; at += kLongLineStep) {
        const qint64 n = std::min(kLongLineStep, length - at);
        const bool same = std::memcmp(x + at, y + at, std::size_t(n)) == 0;
        Done(a, x + at, n);
        Done(b, y + at, n);
        if (!same || a.stopped())
            return false;
    }
    return true;
}

bool WriteInSteps(const Segment& s, const uchar* line, qint64 length,
                  const std::function<bool(const char*, qint64)>& write) {
    for (qint64 at = 0; at < length; at += kLongLineStep) {
        const qint64 n = std::min(kLongLineStep, length - at);
        const bool ok = write(reinterpret_cast<const char*>(line + at), n);
        Done(s, line + at, n);
        if (!ok || s.stopped())
            return false;
    }
    return true;
}
