#pragma once

// Lines as the comparison sees them: what each line is (keyed, blank, without a key), its key's
// hash and its key's bytes, read by one LineReader per thread; and a batch split into lines on
// every worker.

#include "core/keys/bytecolumns.h"
#include "core/order/sumcolumn.h"
#include "engine/reading/segment.h"

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class TextDecoder;
class Workers;

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
    // With sums, where a keyed line's columns are cut from its bytes: its summed column, as
    // bytes from the line's start (0 bytes where it is not known so).
    quint16 summedBytes = 0;
    quint32 summedFrom = 0;
};

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

    // The line's length in characters (code points) as its text reads.
    qint64 chars(const Segment& s, const uchar* line, qint64 length);

    // With KeyRule::sumColumn: the line's summed column as ASCII (valid until the next call); a
    // null view when it has none. A line of the input whose column is not a number has no key.
    QByteArrayView summed(const Segment& s, const uchar* line, qint64 length);
    // After hash() of a line: where its summed column is, where its columns are cut from its
    // bytes (see LineRef).
    void placeSummed(const uchar* line, LineRef& ref) const;
    bool sums() const { return summing_; }

private:
    QStringView decode(const Segment& s, const uchar* line, qint64 length, QString& into);
    // After a line longer than kLongLineBytes: lets go of the buffers it grew, which would
    // otherwise stay, each reader holding its own, until the next such line.
    void letGoAfter(qint64 length);

    KeyWay way_;
    LineKeyMaker keys_[2];
    ByteColumnKey columns_[2];
    QString decoded_[2];
    QString counted_; // a line decoded to count its characters
    // With sums: the summed column of the text of each buffer, a line decoded to find it, and
    // that column as ASCII.
    bool summing_ = false;
    std::optional<SumColumn> sums_[2];
    QString summedLine_;
    QByteArray summed_;
    DecoderCache decoders_;
    std::vector<uchar> again_; // a first copy read again from its file
};

// Told how many bytes of a batch have been split so far, while its lines are keyed.
using SplitTicker = std::function<void(qint64)>;

// Appends the lines of [from, to) of a segment, with their hashes, to `lines`; tells `tick` as it
// goes.
void SplitRange(const Segment& s, const uchar* from, const uchar* to, LineReader& reader,
                std::vector<LineRef>& lines, const SplitTicker& tick = {});

// Splits batches into lines with their hashes, on every worker when a batch is large, each worker
// with its own reader.
class BatchSplitter {
public:
    BatchSplitter(const FilterOptions& options, KeyWay way, Workers& workers);
    ~BatchSplitter();
    BatchSplitter(const BatchSplitter&) = delete;
    BatchSplitter& operator=(const BatchSplitter&) = delete;

    // Puts the lines of [from, to) of a segment into `lines`, in order.
    void split(const Segment& s, const uchar* from, const uchar* to, std::vector<LineRef>& lines);
    // The first worker's reader, for what is read on the calling thread.
    LineReader& reader() { return *readers_.front(); }
    // Told, on the calling thread, how far a batch's split has come (see EngineJob::during),
    // where keys may take long to make: with a key pattern.
    void setTicker(SplitTicker tick) {
        if (slowKeys_)
            tick_ = std::move(tick);
    }
    const SplitTicker& ticker() const { return tick_; }

private:
    Workers& workers_;
    std::vector<std::unique_ptr<LineReader>> readers_;
    std::vector<std::vector<LineRef>> pieces_; // the lines of each worker's piece but the first
    SplitTicker tick_;
    bool slowKeys_ = false;
};
