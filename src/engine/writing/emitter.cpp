// Writes kept lines in the output's encoding, with its line break and optional counts.
#include "engine/writing/emitter.h"
#include "engine/inmemory/linebytes.h"
#include "engine/reading/batches.h"
#include "engine/reading/segment.h"
#include "engine/writing/sortstage.h"

#include "core/order/sortkeys.h"
#include "core/order/sumcolumn.h"

#include "files/textcodec.h"

#include <algorithm>

namespace {
// Lines up to this long are copied into the buffer straight.
constexpr qint64 kShortLineBytes = 4096;
} // namespace

Emitter::Emitter(OutputSink& sink, TextEncoding encoding, LineBreak lineBreak, bool counts,
                 bool exact)
    : sink_(sink), encoding_(encoding), units_(UnitFormatOf(encoding)), lineBreakKind_(lineBreak),
      lineBreak_(LineBreakBytes(lineBreak, UnitFormatOf(encoding))), counts_(counts),
      exact_(exact) {
    buffer_.reserve(kBufferBytes + kShortLineBytes + 8); // a short line and its break past it
}

Emitter::~Emitter() = default;

void Emitter::setLineBreak(LineBreak lineBreak) {
    lineBreakKind_ = lineBreak;
    lineBreak_ = LineBreakBytes(lineBreak, units_);
}

bool Emitter::start() {
    const QByteArrayView mark = ByteOrderMark(encoding_);
    buffer_.append(mark.data(), mark.size());
    return true;
}

bool Emitter::flush() {
    if (buffer_.isEmpty())
        return true;
    if (!sink_.write(buffer_.constData(), buffer_.size())) {
        error_ = sink_.error();
        return false;
    }
    buffer_.resize(0); // keeps its room
    return true;
}

void Emitter::appendUnits(QStringView text) {
    for (const QChar c : text) {
        const char low = char(c.unicode() & 0xFF);
        const char high = char(c.unicode() >> 8);
        if (units_ == UnitFormat::Bytes)
            buffer_.append(low);
        else if (units_ == UnitFormat::Utf16Le)
            buffer_.append(low).append(high);
        else
            buffer_.append(high).append(low);
    }
}

bool Emitter::appendText(QStringView text) {
    if (!encoder_)
        encoder_ = std::make_unique<TextEncoder>(WithoutByteOrderMark(encoding_));
    if (encoder_->encode(text, buffer_))
        return true;
    // A text GBK cannot hold is written as GB18030, which keeps GBK's bytes for everything GBK
    // has, unless GBK was chosen.
    if (WithoutByteOrderMark(encoding_) == TextEncoding::Gbk && exact_) {
        error_ = QStringLiteral("有一行含有 GBK 编码无法表示的字符，指定的 GBK 编码写不下它"
                                "（GB18030 或 UTF-8 可以写下所有字符）。");
        return false;
    }
    if (WithoutByteOrderMark(encoding_) == TextEncoding::Gbk) {
        if (!fallback_)
            fallback_ = std::make_unique<TextEncoder>(TextEncoding::Gb18030);
        if (fallback_->encode(text, buffer_)) {
            wroteGb18030_ = true;
            return true;
        }
    }
    error_ = QStringLiteral("有一行含有 %1 编码无法表示的字符。").arg(EncodingName(encoding_));
    return false;
}

// Writes a line of another encoding in the output's.
bool Emitter::convert(const Segment& s, const uchar* line, qint64 length) {
    text_.resize(0);
    if (s.native)
        text_ = QStringView(reinterpret_cast<const QChar*>(line), qsizetype(length / 2)).toString();
    else
        decoders_(s.encoding)
            .decode(QByteArrayView(reinterpret_cast<const char*>(line), qsizetype(length)), text_);
    return appendText(text_);
}

bool Emitter::sortBy(const FilterOptions& options, qint64 budget, const QString& tempDir,
                     std::function<bool()> keepGoing, int threads) {
    sortKeys_ = std::make_unique<SortKeyMaker>(options.sort);
    if (!sortKeys_->ready()) {
        error_ = sortKeys_->error();
        return false;
    }
    keys_ = std::make_unique<LineKeyMaker>(options);
    // In code point order, a UTF-8 line compared whole is its own sort bytes.
    sortByBytes_ = options.sort == SortOrder::Text && !options.transformsLines() && !counts_ &&
                   WithoutByteOrderMark(encoding_) == TextEncoding::Utf8;
    sort_ = std::make_unique<SortStage>(options.reverse, budget, tempDir, std::move(keepGoing),
                                        threads);
    return true;
}

bool Emitter::sortLine(const Segment& s, const uchar* line, qint64 length, quint64 count) {
    const qsizetype start = buffer_.size();
    sortedLine_ = true;
    const bool made = write(s, line, length, count);
    sortedLine_ = false;
    if (!made)
        return false;
    const QByteArrayView record(buffer_.constData() + start, buffer_.size() - start);
    bool added = false;
    if (sortByBytes_ && !s.native && WithoutByteOrderMark(s.encoding) == TextEncoding::Utf8) {
        added = sort_->addKeyedByRecord(length, record);
    } else {
        if (s.native)
            sortText_ =
                QStringView(reinterpret_cast<const QChar*>(line), qsizetype(length / 2)).toString();
        else {
            sortText_.resize(0);
            decoders_(s.encoding)
                .decode(QByteArrayView(reinterpret_cast<const char*>(line), qsizetype(length)),
                        sortText_);
        }
        sortKeys_->make(keys_->key(sortText_), count, sortBytes_);
        added = sort_->add(QByteArrayView(sortBytes_.data(), qsizetype(sortBytes_.size())), record);
    }
    buffer_.resize(start);
    if (!added)
        error_ = sort_->error();
    return added;
}

int Emitter::sortRuns() const {
    return sort_ ? sort_->runs() : 0;
}

void Emitter::setHeader(const Segment& s, const uchar* line, qint64 length) {
    headerDue_ = true;
    headerSegment_ = s;
    header_ = line;
    headerLength_ = length;
}

bool Emitter::writeHeader() {
    headerDue_ = false;
    if (!line(QStringView(), headerSegment_, header_, headerLength_))
        return false;
    --lines_;
    return true;
}

bool Emitter::line(const Segment& s, const uchar* line, qint64 length, quint64 count) {
    if (headerDue_ && !writeHeader())
        return false;
    return sort_ ? sortLine(s, line, length, count) : write(s, line, length, count);
}

bool Emitter::line(const Segment& s, const uchar* line, qint64 length, quint64 count,
                   QStringView sum) {
    sum_ = sum;
    const bool written = this->line(s, line, length, count);
    sum_ = {};
    return written;
}

void Emitter::setSums(const FilterOptions& options, bool bytes) {
    sums_ = std::make_unique<SumColumn>(options.key);
    if (bytes)
        byteSums_ = std::make_unique<ByteColumnKey>(options);
}

bool Emitter::writeSummed(const Segment& s, const uchar* line, qint64 length, quint64 count) {
    // A short line of the output's own bytes: the sum (ASCII) put in place of its column.
    if (byteSums_ && !s.native && units_ == UnitFormat::Bytes && sameEncoding(s) && !loneByte_ &&
        length <= kShortLineBytes) {
        const QByteArrayView column = byteSums_->summedOf(line, length);
        if (!column.isNull()) {
            if (counts_)
                appendUnits(QString::number(count) + u'\t');
            const char* bytes = reinterpret_cast<const char*>(line);
            const qsizetype before = column.data() - bytes;
            buffer_.append(bytes, before);
            const qsizetype at = buffer_.size();
            buffer_.resize(at + sum_.size());
            for (qsizetype i = 0; i < sum_.size(); ++i)
                buffer_[at + i] = char(sum_[i].unicode()); // the sum's text is ASCII
            buffer_.append(column.data() + column.size(),
                           qsizetype(length) - before - column.size());
            buffer_.append(lineBreak_);
            ++lines_;
            return flushWhenFull();
        }
    }
    text_.resize(0);
    if (s.native)
        text_ = QStringView(reinterpret_cast<const QChar*>(line), qsizetype(length / 2)).toString();
    else
        decoders_(s.encoding)
            .decode(QByteArrayView(reinterpret_cast<const char*>(line), qsizetype(length)), text_);
    QString summed = sums_->replaced(text_, sum_);
    if (counts_)
        summed.prepend(QString::number(count) + u'\t');
    if (!appendText(summed))
        return false;
    buffer_.append(lineBreak_);
    ++lines_;
    return flushWhenFull();
}

bool Emitter::write(const Segment& s, const uchar* line, qint64 length, quint64 count) {
    if (!sum_.isNull() && sums_)
        return writeSummed(s, line, length, count);
    // Most lines: no count before them, the same encoding, whole units.
    if (!counts_ && !loneByte_ && length <= kShortLineBytes &&
        (units_ == UnitFormat::Bytes || length % 2 == 0) && sameEncoding(s)) {
        const qsizetype at = buffer_.size();
        buffer_.resize(at + qsizetype(length) + lineBreak_.size());
        auto* to = reinterpret_cast<uchar*>(buffer_.data() + at);
        CopyLineBytes(to, line, length);
        CopyLineBytes(to + length, reinterpret_cast<const uchar*>(lineBreak_.constData()),
                      lineBreak_.size());
        ++lines_;
        return flushWhenFull();
    }
    return this->line(counts_ ? QString::number(count) + u'\t' : QString(), s, line, length);
}

bool Emitter::line(QStringView before, const Segment& s, const uchar* line, qint64 length) {
    if (loneByte_) {
        error_ = QStringLiteral("无法以 %1 写出结果：结果的第 %2 行以单个无法识别的字节结束，"
                                "其后还有别的行；UTF-16 每两个字节为一个单位，"
                                "这个字节之后的字符会全部错位。")
                     .arg(EncodingName(encoding_))
                     .arg(lines_);
        return false;
    }
    const qsizetype start = buffer_.size();
    // Counts and line numbers are plain ASCII, written straight as units.
    if (std::all_of(before.begin(), before.end(), [](QChar c) { return c.unicode() < 0x80; }))
        appendUnits(before);
    else if (!appendText(before))
        return false;
    const bool same = sameEncoding(s);
    if (same && length > kLongLineStep && !sortedLine_) {
        // Straight from where the line is, in steps, rather than through the buffer.
        if (!flush() || !WriteInSteps(s, line, length, [this](const char* piece, qint64 size) {
                if (sink_.write(piece, size))
                    return true;
                error_ = sink_.error();
                return false;
            }))
            return false;
    } else if (same) {
        buffer_.append(reinterpret_cast<const char*>(line), qsizetype(length));
    } else if (!convert(s, line, length)) {
        return false;
    }
    // A UTF-16 line that ends in a byte standing alone (the odd last byte of its file) ends the
    // result: a line break after it would be out of step, as would anything else.
    if (units_ != UnitFormat::Bytes && (buffer_.size() - start) % 2 != 0)
        loneByte_ = true;
    else
        buffer_.append(lineBreak_);
    ++lines_;
    return flushWhenFull();
}

bool Emitter::finish() {
    if (headerDue_ && !writeHeader())
        return false;
    bool written = true;
    if (sort_ && !sort_->finish([this, &written](QByteArrayView record) {
            buffer_.append(record);
            written = buffer_.size() < kBufferBytes || flush();
            return written;
        })) {
        if (written)
            error_ = sort_->error();
        cancelled_ = written && error_.isEmpty();
        return false;
    }
    return flush();
}
