#pragma once

// The engine's working parts, shared by the in-memory and the partitioned way of working.

#include "core/bytecolumns.h"
#include "engine/engine.h"
#include "engine/inmemory/linetable.h"
#include "engine/reading/linescan.h"
#include "engine/systemfiles.h"

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

class QFile;
class TextDecoder;
class TextEncoder;

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
    const std::atomic<bool>* stop = nullptr; // EngineSettings::stop
    UndecidedLine* undecided = nullptr;      // SegmentList::undecided
    bool stopped() const {
        return (stop && stop->load(std::memory_order_relaxed)) ||
               (undecided && undecided->found.load(std::memory_order_relaxed));
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

// What a line is to the comparison: a key that is compared, a blank line (an empty key, which
// never takes part), or a line without a key (too few columns, no match), which never either.
enum class LineKind : quint8 { Keyed, Blank, Keyless };

// How a line's key is made: the line's bytes themselves, columns cut from its bytes (see
// ByteColumnKey), or the key of its text (see LineKeyMaker).
enum class KeyWay : quint8 { Bytes, ByteColumns, Text };

// One line of a batch: where it starts (a position), its length in bytes, its key's hash and
// the size of its key in bytes (its length, or that of its text's key as UTF-16).
struct LineRef {
    quint64 pos;
    qint64 length;
    quint64 hash;
    qint64 keyBytes;
    LineKind kind;
};

// The encoding of an input whose bytes start at `data`: forced by the settings (a byte-order mark
// that agrees with it is still recognised), or detected from a sample.
TextEncoding InputEncoding(const EngineSettings& settings, const uchar* data, qint64 size,
                           bool mapped);

// One decoder for each encoding it is asked for, made when first needed. One per thread.
class DecoderCache {
public:
    TextDecoder& operator()(TextEncoding encoding);

private:
    std::vector<std::pair<TextEncoding, std::unique_ptr<TextDecoder>>> decoders_;
};

// Reads lines as the comparison rules see them: their bytes, or their keys when the rules look
// at the text. One per thread.
class LineReader {
public:
    LineReader(const FilterOptions& options, KeyWay way);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // The hash of a line's key, what the line is to the comparison, and its key's size.
    quint64 hash(const Segment& s, const uchar* line, qint64 length, LineKind* kind,
                 qint64* keyBytes);
    // What a line is to the comparison.
    LineKind kindOf(const Segment& s, const uchar* line, qint64 length);
    // True when the line at `pos` has the same key as (s, line, length), whose hash it shares.
    bool sameAs(const SegmentList& inputs, quint64 pos, const Segment& s, const uchar* line,
                qint64 length);
    // The bytes of a line's key (into one of two buffers, 0 or 1): the line itself, its columns,
    // or its text's key as UTF-16. *keyless tells a line without one.
    QByteArrayView key(const Segment& s, const uchar* line, qint64 length, int buffer,
                       bool* keyless = nullptr);

private:
    QStringView decode(const Segment& s, const uchar* line, qint64 length, QString& into);

    KeyWay way_;
    LineKeyMaker keys_[2];
    ByteColumnKey columns_[2];
    QString decoded_[2];
    DecoderCache decoders_;
    std::vector<uchar> again_; // a first copy read again from its file
};

// The text of a line as shown in a statistic.
QString LineText(const Segment& s, const uchar* line, qint64 length);
// Where the line at `pos` ends.
qint64 LineLengthAt(const SegmentList& inputs, quint64 pos);

// One more thread that runs one task at a time beside the caller.
class Helper {
public:
    Helper();
    ~Helper();
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;
    // Runs `first` here and `second` on the helper thread, and returns when both are done.
    void both(const std::function<void()>& first, const std::function<void()>& second);

private:
    void loop();
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::function<void()> task_;
    bool busy_ = false;
    bool stop_ = false;
    std::thread thread_;
};

// Appends the lines of [from, to) of a segment, with their hashes, to `lines`.
void SplitRange(const Segment& s, const uchar* from, const uchar* to, LineReader& reader,
                std::vector<LineRef>& lines);
// Splits [from, to) of a segment into lines with their hashes, on two threads when large.
// `scratch` holds the second half's lines meanwhile.
void SplitBatch(const Segment& s, const uchar* from, const uchar* to, LineReader& reader0,
                LineReader& reader1, Helper& helper, std::vector<LineRef>& lines,
                std::vector<LineRef>& scratch);

// Writes kept lines in the output's encoding, with its line break and optional counts. In
// UTF-16 a line that ends in a byte standing alone (the odd last byte of a UTF-16 file) is
// written without a line break and must be the last.
class Emitter {
public:
    // With `exact`, a text GBK cannot hold is an error rather than written as GB18030.
    Emitter(OutputSink& sink, TextEncoding encoding, LineBreak lineBreak, bool counts,
            bool exact = false);
    ~Emitter();
    Emitter(const Emitter&) = delete;
    Emitter& operator=(const Emitter&) = delete;

    // The line break written after each line; it may change until the first line is written.
    void setLineBreak(LineBreak lineBreak);
    LineBreak lineBreak() const { return lineBreakKind_; }
    TextEncoding encoding() const { return encoding_; }
    bool start(); // the byte-order mark
    bool line(const Segment& s, const uchar* line, qint64 length, quint64 count);
    // A line after a text (such as "12<TAB>3<TAB>"), written in the output's encoding.
    bool line(QStringView before, const Segment& s, const uchar* line, qint64 length);
    bool finish();
    QString error() const { return error_; }
    qint64 written() const { return lines_; }
    // True when some line could only be written as GB18030 (the output asked for GBK).
    bool wroteGb18030() const { return wroteGb18030_; }

private:
    bool flush();
    // True when a line of `s` is written as its bytes are.
    bool sameEncoding(const Segment& s) const {
        return s.native ? units_ == s.units
                        : WithoutByteOrderMark(s.encoding) == WithoutByteOrderMark(encoding_);
    }
    void appendUnits(QStringView text);
    // Appends a text in the output's encoding (as GB18030 where GBK lacks a character).
    bool appendText(QStringView text);
    bool convert(const Segment& s, const uchar* line, qint64 length);

    OutputSink& sink_;
    TextEncoding encoding_;
    UnitFormat units_;
    LineBreak lineBreakKind_;
    QByteArray lineBreak_;
    bool counts_;
    QByteArray buffer_;
    qint64 lines_ = 0;
    QString error_;
    bool wroteGb18030_ = false;
    bool exact_ = false;
    bool loneByte_ = false; // a UTF-16 output ended in a byte standing alone
    QString text_;
    DecoderCache decoders_;
    std::unique_ptr<TextEncoder> encoder_;
    std::unique_ptr<TextEncoder> fallback_;
};

// The part of the work shared by both ways: inputs, rules, progress and cancel.
struct EngineJob {
    const SegmentList& inputs;
    const EngineSettings& settings;
    const EngineProgress& progress;
    KeyWay keyWay = KeyWay::Bytes;
    // Whether a line is its own key, so that partitions need not carry both.
    bool keyIsLine() const { return keyWay == KeyWay::Bytes; }
    // The compared lists, as bits by their numbers: those that remove the lines they hold, and
    // those that every kept line must be in.
    quint64 excluding = 0;
    quint64 intersecting = 0;
    // Where removed lines go, when they are wanted (see RemovedWriter).
    class RemovedWriter* removed = nullptr;
    QStringList inputNames{}; // how removed lines name the inputs
    qint64 budget = 0;
    qint64 passes = 1; // how many times the input is read, for progress
    // How many lines the inputs and the compared lists have at most (known before the work
    // starts in memory).
    qint64 lines = 0;
    qint64 listLines = 0;
    qint64 done = 0;

    // Reports `bytes` more done; false when cancelled.
    bool advance(qint64 bytes);
    // True once the caller asked the work to stop (see EngineSettings::stop).
    bool stopped() const {
        return (settings.stop && settings.stop->load()) || inputs.undecided.found.load();
    }
};

// Which segments a pass reads: the inputs, the compared lists, or both.
enum class Reading { Inputs, Lists, All };

// Calls visit(segment, from, to) for consecutive batches of whole lines of every input (or list),
// and lets their pages go afterwards. Stops when visit returns false.
template <typename Visit>
bool ForEachBatch(const SegmentList& inputs, Visit&& visit, Reading reading = Reading::Inputs);

// The in-memory way: every line is decided while the input and the table fit in the budget.
EngineResult RunInMemory(EngineJob& job, Emitter& out);

// The partitioned way: every line's key goes to one of several temporary files by its hash;
// each is finished on its own, and the kept lines are then written in input order.
EngineResult RunPartitioned(EngineJob& job, Emitter& out);

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
