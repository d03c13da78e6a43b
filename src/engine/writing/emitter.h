#pragma once

// The writer of the kept lines.

#include "engine/reading/linereader.h"
#include "engine/reading/segment.h"

#include <memory>

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
