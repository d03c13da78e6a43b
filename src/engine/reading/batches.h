#pragma once

// Reading the inputs in batches of whole lines: through a buffer for a file, in place for a text,
// and a line longer than memory should hold looked at in steps where it is.

#include "engine/reading/linescan.h"
#include "engine/reading/segment.h"
#include "engine/systemfiles.h"

#include <atomic>
#include <cstring>
#include <functional>
#include <vector>

// Which segments a pass reads: the inputs, the compared lists, or both.
enum class Reading { Inputs, Lists, All };

// Calls visit(segment, from, to) for consecutive batches of whole lines of every input (or list),
// and lets their pages go afterwards. Stops when visit returns false.
template <typename Visit>
bool ForEachBatch(const SegmentList& inputs, Visit&& visit, Reading reading = Reading::Inputs);

// ---- Lines longer than memory should hold ----
//
// A line longer than this is not read into memory: it is looked at in place in its file's
// mapping, in steps, and each step's pages are let go after it, so that the memory it takes stays
// that of a step whatever its length. (With comparison options a line's key is made from the whole
// line; that needs memory for the line.)
constexpr qint64 kLongLineBytes = qint64(4) << 20;
constexpr qint64 kLongLineStep = qint64(4) << 20;

// Where the line that starts at `offset` of a mapped segment ends (*lineEnd, the start of its
// break) and where the next one starts (returned), found in steps.
qint64 FindLongLineEnd(const Segment& s, qint64 offset, qint64* lineEnd);
// The length of the one line of a long-line batch [from, to), without its break.
qint64 LongLineLength(const Segment& s, const uchar* from, const uchar* to);
// The hash of a line's bytes, as XXH3 gives it for the whole, made in steps.
quint64 HashInSteps(const Segment& s, const uchar* line, qint64 length);
// True when two lines of the same length hold the same bytes, compared in steps.
bool SameInSteps(const Segment& a, const uchar* x, const Segment& b, const uchar* y, qint64 length);
// Calls write(piece, size) for the bytes of a line in steps; false as soon as it does.
bool WriteInSteps(const Segment& s, const uchar* line, qint64 length,
                  const std::function<bool(const char*, qint64)>& write);

// Calls visit(line, length) for every line of a batch, a long line's included.
template <typename Visit>
void ForEachLineOf(const Segment& s, const uchar* from, const uchar* to, Visit&& visit) {
    if (s.longLine)
        visit(from, LongLineLength(s, from, to));
    else
        ForEachLine(from, to, s.units, visit);
}

// Counts the line breaks of a batch, and its lines.
inline LineBreakCounts CountBatchBreaks(const Segment& s, const uchar* from, const uchar* to) {
    if (!s.longLine)
        return CountLineBreaks(from, to, s.units);
    LineBreakCounts counts;
    CountBreakAfter(from + LongLineLength(s, from, to), to, s.units, counts);
    return counts;
}

// Reads a file's segment through a buffer, a batch of whole lines at a time. Each batch is shown
// to `visit` as a segment of its own that holds the batch's bytes at the batch's positions. A line
// longer than kLongLineBytes in a mapped file is shown alone, in place in the mapping.
template <typename Visit>
bool StreamSegment(const Segment& s, qint64 batchBytes, std::atomic<bool>* failed, Visit& visit) {
    std::vector<uchar> buffer;
    qint64 want = batchBytes;
    qint64 have = 0;          // bytes in the buffer
    qint64 bufferAt = s.body; // the file offset of buffer[0]
    qint64 readAt = s.body;   // the next offset to read
    while (bufferAt < s.size) {
        if (qint64(buffer.size()) < want)
            buffer.resize(std::size_t(want));
        const qint64 n = std::min(want - have, s.size - readAt);
        if (n > 0 && !ReadAt(*s.file, readAt, reinterpret_cast<char*>(buffer.data() + have), n)) {
            *failed = true;
            return false;
        }
        have += n;
        readAt += n;
        const uchar* begin = buffer.data();
        const uchar* end = begin + have;
        const uchar* to = readAt == s.size ? end : AfterLastBreak(begin, end, s.units);
        if (to == begin && want >= kLongLineBytes && s.data) {
            // One line too long to be read into memory: looked at where it is.
            qint64 lineEnd = 0;
            const qint64 next = FindLongLineEnd(s, bufferAt, &lineEnd);
            Segment line = s;
            line.longLine = true;
            if (!visit(line, s.data + bufferAt, s.data + next))
                return false;
            ReleaseMappedPages(s.data + bufferAt, next - bufferAt);
            have = 0;
            bufferAt = readAt = next;
            want = batchBytes;
            continue;
        }
        if (to == begin) { // one line longer than the buffer: make room for more of it
            want *= 2;
            continue;
        }
        Segment batch = s;
        batch.data = begin;
        batch.size = to - begin;
        batch.body = 0;
        batch.base = s.base + bufferAt;
        batch.mapped = false;
        if (!visit(batch, begin, to))
            return false;
        std::memmove(buffer.data(), to, std::size_t(end - to));
        have = end - to;
        bufferAt += to - begin;
        want = batchBytes;
    }
    return true;
}

template <typename Visit>
bool ForEachBatch(const SegmentList& inputs, Visit&& visit, Reading reading) {
    for (const Segment& s : inputs.segments) {
        if ((reading == Reading::Inputs && s.list >= 0) ||
            (reading == Reading::Lists && s.list < 0))
            continue;
        // A file is read through a buffer: quicker than its mapped pages, and nothing of it stays
        // in memory but what is looked at again.
        if (s.file) {
            if (!StreamSegment(s, inputs.batchBytes, &inputs.readFailed, visit))
                return false;
            continue;
        }
        const uchar* p = s.begin();
        while (p < s.end()) {
            const uchar* to = s.end();
            if (s.end() - p > inputs.batchBytes) {
                qint64 step = inputs.batchBytes;
                if (s.units != UnitFormat::Bytes)
                    step &= ~qint64(1);
                to = NextLineStart(p + step, s.end(), s.units);
            }
            if (s.mapped)
                PrefaultMappedPages(p, to - p);
            if (!visit(s, p, to))
                return false;
            if (s.mapped)
                ReleaseMappedPages(p, to - p);
            p = to;
        }
    }
    return true;
}
