#pragma once

// The writer of the kept lines.

#include "engine/reading/linereader.h"
#include "engine/reading/segment.h"

#include <functional>
#include <memory>
#include <string>

class SortKeyMaker;
class SortStage;
class SumColumn;
class TextEncoder;

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
    // Puts the kept lines in the options' sort order (see SortStage) before they are written, at
    // finish(). `keepGoing` false cancels. False (error() says why) when the order cannot be had.
    // `threads` share the sorting of a large share.
    bool sortBy(const FilterOptions& options, qint64 budget, const QString& tempDir,
                std::function<bool()> keepGoing, int threads);
    // A line written before all others (and before the sorted lines), without a count and not
    // among written(): a header. Its bytes must stay until it is written, at the first line or
    // at finish(), when the line break is known.
    void setHeader(const Segment& s, const uchar* line, qint64 length);
    // A kept line, which occurs `count` times.
    bool line(const Segment& s, const uchar* line, qint64 length, quint64 count);
    // The same, with its summed column (see setSums) written as `sum` instead, unless `sum` is
    // null.
    bool line(const Segment& s, const uchar* line, qint64 length, quint64 count, QStringView sum);
    // Where the sums of KeyRule::sumColumn go in a line; with `bytes`, the columns of a line of
    // the output's encoding are cut from its bytes (see ByteColumnKey).
    void setSums(const FilterOptions& options, bool bytes);
    // A line after a text (such as "12<TAB>3<TAB>"), written in the output's encoding.
    bool line(QStringView before, const Segment& s, const uchar* line, qint64 length);
    bool finish();
    QString error() const { return error_; }
    // True when finish() stopped because the work was cancelled while sorting.
    bool cancelled() const { return cancelled_; }
    qint64 written() const { return lines_; }
    // How many sorted runs went through the temporary folder.
    int sortRuns() const;
    // True when some line could only be written as GB18030 (the output asked for GBK).
    bool wroteGb18030() const { return wroteGb18030_; }

private:
    bool writeHeader();
    bool flush();
    // Flushes a full buffer, except while a line is being made for the sort.
    bool flushWhenFull() { return sortedLine_ || buffer_.size() < kBufferBytes || flush(); }
    static constexpr qsizetype kBufferBytes = qsizetype(1) << 20;
    bool write(const Segment& s, const uchar* line, qint64 length, quint64 count);
    // Makes a kept line's record and hands it to the sort.
    bool sortLine(const Segment& s, const uchar* line, qint64 length, quint64 count);
    // True when a line of `s` is written as its bytes are.
    bool sameEncoding(const Segment& s) const {
        return s.native ? units_ == s.units
                        : WithoutByteOrderMark(s.encoding) == WithoutByteOrderMark(encoding_);
    }
    void appendUnits(QStringView text);
    // Appends a text in the output's encoding (as GB18030 where GBK lacks a character).
    bool appendText(QStringView text);
    bool convert(const Segment& s, const uchar* line, qint64 length);
    // Writes a kept line with sum_ in its summed column, through its text.
    bool writeSummed(const Segment& s, const uchar* line, qint64 length, quint64 count);

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
    // The sort, when asked for: the lines' keys, their sort bytes, and the stage that orders them.
    std::unique_ptr<SortStage> sort_;
    std::unique_ptr<SortKeyMaker> sortKeys_;
    std::unique_ptr<LineKeyMaker> keys_;
    bool sortByBytes_ = false; // a UTF-8 line's own bytes are its sort bytes
    bool sortedLine_ = false;  // a line's record is being made for the sort
    bool cancelled_ = false;
    bool headerDue_ = false;
    Segment headerSegment_;
    const uchar* header_ = nullptr;
    qint64 headerLength_ = 0;
    QString sortText_;
    std::string sortBytes_;
    std::unique_ptr<SumColumn> sums_;
    std::unique_ptr<ByteColumnKey> byteSums_;
    QStringView sum_; // of the line being written, or null
};
