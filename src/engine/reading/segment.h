#pragma once

// An input's bytes as the engine sees them: segments of memory (a mapped file, a text's own
// memory, a batch read through a buffer) placed one after the other, a position naming a byte of
// any of them.

#include "engine/engine.h"
#include "engine/reading/linescan.h"

#include <atomic>
#include <mutex>
#include <vector>

class QFile;

// The first line whose key a pattern could not decide (see KeyExtractor::undecided): the run
// stops and fails naming it. Set by any thread.
struct UndecidedLine {
    std::atomic<bool> found = false;
    std::mutex mutex;
    quint64 pos = 0; // where the line starts
    QString reason;
};

// One input as bytes in memory (a mapped file or a text's own memory).
struct Segment {
    const uchar* data = nullptr;
    qint64 size = 0;
    qint64 body = 0; // where the text starts, after a byte-order mark
    qint64 base = 0; // the position of data[0] among all inputs
    UnitFormat units = UnitFormat::Bytes;
    TextEncoding encoding = TextEncoding::Gbk; // without its byte-order mark
    bool native = false;                       // a QString's memory: lines are read as they are
    bool mapped = false;                       // a mapped file, whose pages are let go once read
    // A batch that is one line longer than kLongLineBytes, looked at in place in the mapping
    // (see StreamSegment): its bytes are gone through in steps, each step's pages let go after it.
    bool longLine = false;
    int list = -1; // the number of the compared list it belongs to; -1 for the inputs
    int input = 0; // the number of the input it belongs to
    const std::atomic<bool>* stop = nullptr;      // EngineSettings::stop
    UndecidedLine* undecided = nullptr;           // SegmentList::undecided
    const std::atomic<bool>* cancelled = nullptr; // SegmentList::cancelled
    bool stopped() const {
        return (stop && stop->load(std::memory_order_relaxed)) ||
               (undecided && undecided->found.load(std::memory_order_relaxed)) ||
               (cancelled && cancelled->load(std::memory_order_relaxed));
    }
    const QFile* file = nullptr; // the mapped file, to read a line again without mapping it
    const uchar* begin() const { return data + body; }
    const uchar* end() const { return data + size; }
};

// All inputs, one after the other. A position is data[0]'s base plus the offset in it.
struct SegmentList {
    std::vector<Segment> segments;
    qint64 totalBytes = 0;
    qint64 batchBytes = qint64(1) << 20; // how much is read at once
    // A file could not be read again (it shrank meanwhile); set by any thread.
    mutable std::atomic<bool> readFailed = false;
    // A line no key could be made of; every segment points here.
    mutable UndecidedLine undecided;
    // The progress callback said stop while a batch was under way (see EngineJob::during).
    mutable std::atomic<bool> cancelled = false;
    // By input: its first line was taken as its header (see TakeHeaders), so its first line
    // read is its line 2.
    std::vector<bool> headed;
    qint64 firstLineNumber(int input) const {
        return std::size_t(input) < headed.size() && headed[std::size_t(input)] ? 2 : 1;
    }
    const Segment& at(quint64 pos) const {
        return segments.size() == 1 ? segments.front() : find(pos);
    }
    // Asks for the bytes at `pos` to be brought near the processor.
    void prefetch(quint64 pos) const {
        const Segment& s = at(pos);
        __builtin_prefetch(s.data + (qint64(pos) - s.base));
    }

private:
    const Segment& find(quint64 pos) const;
};

// The encoding of an input whose bytes start at `data`: forced by the settings (a byte-order mark
// that agrees with it is still recognised), or detected from a sample.
TextEncoding InputEncoding(const EngineSettings& settings, const uchar* data, qint64 size,
                           bool mapped);

// The text of a line as shown in a statistic.
QString LineText(const Segment& s, const uchar* line, qint64 length);
// Where the line at `pos` ends.
qint64 LineLengthAt(const SegmentList& inputs, quint64 pos);
