#include "engine/engine_p.h"
#include "engine/inputs.h"

#include "files/textcodec.h"

#include <QFile>

#include <xxhash.h>

#include <algorithm>
#include <atomic>
#include <cstring>

// ---- Inputs ------------------------------------------------------------------------------------

void SegmentList::prefetch(quint64 pos) const {
    const Segment& s = segments.size() == 1 ? segments.front() : at(pos);
    __builtin_prefetch(s.data + (qint64(pos) - s.base));
}

const Segment& SegmentList::at(quint64 pos) const {
    auto it = std::upper_bound(segments.begin(), segments.end(), pos,
                               [](quint64 p, const Segment& s) { return p < quint64(s.base); });
    return *(it - 1);
}

qint64 LineLengthAt(const SegmentList& inputs, quint64 pos) {
    const Segment& s = inputs.at(pos);
    const uchar* line = s.data + (qint64(pos) - s.base);
    const uchar* next = nullptr;
    return FindLineEnd(line, s.end(), s.units, &next) - line;
}

// ---- Reading lines -----------------------------------------------------------------------------

namespace {
// Short lines are common (words, codes, numbers): compared here without a call.
inline bool SameBytes(const uchar* a, const uchar* b, qint64 length) {
    if (length > 64)
        return std::memcmp(a, b, std::size_t(length)) == 0;
    qint64 i = 0;
    for (; i + 8 <= length; i += 8) {
        quint64 x = 0;
        quint64 y = 0;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x != y)
            return false;
    }
    for (; i < length; ++i) {
        if (a[i] != b[i])
            return false;
    }
    return true;
}
} // namespace

LineReader::LineReader(const FilterOptions& options, bool byText)
    : byText_(byText), keys_{LineKeyMaker(options), LineKeyMaker(options)} {}

LineReader::~LineReader() = default;

QStringView LineReader::decode(const Segment& s, const uchar* line, qint64 length, QString& into) {
    if (s.native)
        return {reinterpret_cast<const QChar*>(line), qsizetype(length / 2)};
    TextDecoder* decoder = nullptr;
    for (auto& [encoding, d] : decoders_) {
        if (encoding == s.encoding)
            decoder = d.get();
    }
    if (!decoder) {
        decoders_.emplace_back(s.encoding, std::make_unique<TextDecoder>(s.encoding));
        decoder = decoders_.back().second.get();
    }
    into.resize(0); // keeps the buffer
    decoder->decode(QByteArrayView(reinterpret_cast<const char*>(line), qsizetype(length)), into);
    return into;
}

QStringView LineReader::key(const Segment& s, const uchar* line, qint64 length, int buffer) {
    return keys_[buffer].key(decode(s, line, length, decoded_[buffer]));
}

quint64 LineReader::hash(const Segment& s, const uchar* line, qint64 length, bool* blank,
                         qint64* keyBytes) {
    if (!byText_) {
        *blank = length == 0;
        *keyBytes = length;
        return length <= kLongLineStep ? XXH3_64bits(line, std::size_t(length))
                                       : HashInSteps(s, line, length);
    }
    const QStringView k = key(s, line, length, 0);
    *blank = k.isEmpty();
    *keyBytes = k.size() * 2;
    return XXH3_64bits(k.utf16(), std::size_t(k.size()) * 2);
}

bool LineReader::sameAs(const SegmentList& inputs, quint64 pos, const Segment& s, const uchar* line,
                        qint64 length) {
    const Segment& other = inputs.at(pos);
    const uchar* old = other.data + (qint64(pos) - other.base);
    if (!byText_) {
        // Equal bytes, and the old line ends right there.
        if (other.end() - old < length)
            return false;
        if (length > kLongLineStep ? !SameInSteps(other, old, s, line, length)
                                   : !SameBytes(old, line, length))
            return false;
        return old + length == other.end() || IsLineBreakAt(old + length, other.end(), other.units);
    }
    const QStringView a = key(s, line, length, 0);
    const uchar* next = nullptr;
    const qint64 oldLength = FindLineEnd(old, other.end(), other.units, &next) - old;
    const QStringView b = key(other, old, oldLength, 1);
    return a == b;
}

QString LineText(const Segment& s, const uchar* line, qint64 length) {
    if (s.native)
        return QString(reinterpret_cast<const QChar*>(line), qsizetype(length / 2));
    QString text;
    TextDecoder(s.encoding)
        .decode(QByteArrayView(reinterpret_cast<const char*>(line), qsizetype(length)), text);
    return text;
}

// ---- Two threads -------------------------------------------------------------------------------

Helper::Helper() : thread_([this] { loop(); }) {}

Helper::~Helper() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void Helper::loop() {
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return stop_ || busy_; });
        if (stop_)
            return;
        lock.unlock();
        task_();
        lock.lock();
        busy_ = false;
        done_.notify_one();
    }
}

void Helper::both(const std::function<void()>& first, const std::function<void()>& second) {
    {
        std::lock_guard lock(mutex_);
        task_ = second;
        busy_ = true;
    }
    wake_.notify_one();
    first();
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return !busy_; });
}

namespace {

constexpr qint64 kParallelSplitBytes = qint64(64) * 1024;

void SplitRange(const Segment& s, const uchar* from, const uchar* to, LineReader& reader,
                std::vector<LineRef>& lines) {
    ForEachLineOf(s, from, to, [&](const uchar* line, qint64 length) {
        bool blank = false;
        qint64 keyBytes = 0;
        const quint64 hash = reader.hash(s, line, length, &blank, &keyBytes);
        lines.push_back(LineRef{quint64(s.base + (line - s.data)), length, hash, keyBytes, blank});
    });
}

} // namespace

void SplitBatch(const Segment& s, const uchar* from, const uchar* to, LineReader& reader0,
                LineReader& reader1, Helper& helper, std::vector<LineRef>& lines,
                std::vector<LineRef>& scratch) {
    lines.clear();
    if (to - from < kParallelSplitBytes || s.longLine) {
        SplitRange(s, from, to, reader0, lines);
        return;
    }
    qint64 half = (to - from) / 2;
    if (s.units != UnitFormat::Bytes)
        half &= ~qint64(1);
    const uchar* middle = NextLineStart(from + half, to, s.units);
    scratch.clear();
    helper.both([&] { SplitRange(s, from, middle, reader0, lines); },
                [&] { SplitRange(s, middle, to, reader1, scratch); });
    lines.insert(lines.end(), scratch.begin(), scratch.end());
}

// ---- Writing -----------------------------------------------------------------------------------

namespace {
constexpr qint64 kOutputBuffer = qint64(1) << 20;

TextEncoding WithByteOrderMark(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8:
        return TextEncoding::Utf8Bom;
    case TextEncoding::Utf16Le:
        return TextEncoding::Utf16LeBom;
    case TextEncoding::Utf16Be:
        return TextEncoding::Utf16BeBom;
    default:
        return encoding;
    }
}
} // namespace

Emitter::Emitter(OutputSink& sink, TextEncoding encoding, LineBreak lineBreak, bool counts)
    : sink_(sink), encoding_(encoding), units_(UnitFormatOf(encoding)), lineBreakKind_(lineBreak),
      lineBreak_(LineBreakBytes(lineBreak, UnitFormatOf(encoding))), counts_(counts) {
    buffer_.reserve(kOutputBuffer + 4096);
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

// Writes a line of another encoding in the output's; a line GBK cannot hold is written as
// GB18030, which keeps GBK's bytes for everything GBK has.
bool Emitter::convert(const Segment& s, const uchar* line, qint64 length) {
    TextDecoder* decoder = nullptr;
    for (auto& [encoding, d] : decoders_) {
        if (encoding == s.encoding)
            decoder = d.get();
    }
    if (!decoder) {
        decoders_.emplace_back(s.encoding, std::make_unique<TextDecoder>(s.encoding));
        decoder = decoders_.back().second.get();
    }
    text_.resize(0);
    if (s.native)
        text_ = QStringView(reinterpret_cast<const QChar*>(line), qsizetype(length / 2)).toString();
    else
        decoder->decode(QByteArrayView(reinterpret_cast<const char*>(line), qsizetype(length)),
                        text_);
    if (!encoder_)
        encoder_ = std::make_unique<TextEncoder>(WithoutByteOrderMark(encoding_));
    if (encoder_->encode(text_, buffer_))
        return true;
    if (WithoutByteOrderMark(encoding_) == TextEncoding::Gbk) {
        if (!fallback_)
            fallback_ = std::make_unique<TextEncoder>(TextEncoding::Gb18030);
        if (fallback_->encode(text_, buffer_)) {
            wroteGb18030_ = true;
            return true;
        }
    }
    error_ = QStringLiteral("有一行含有 %1 编码无法表示的字符。").arg(EncodingName(encoding_));
    return false;
}

bool Emitter::line(const Segment& s, const uchar* line, qint64 length, quint64 count) {
    if (loneByte_) {
        error_ = QStringLiteral("无法以 %1 写出结果：结果的第 %2 行以单个无法识别的字节结束，"
                                "其后还有别的行；UTF-16 每两个字节为一个单位，"
                                "这个字节之后的字符会全部错位。")
                     .arg(EncodingName(encoding_))
                     .arg(lines_);
        return false;
    }
    const qsizetype start = buffer_.size();
    if (counts_) {
        appendUnits(QString::number(count));
        appendUnits(u"\t");
    }
    const bool same = s.native
                          ? units_ == s.units
                          : WithoutByteOrderMark(s.encoding) == WithoutByteOrderMark(encoding_);
    if (same && length > kLongLineStep) {
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
    return buffer_.size() < kOutputBuffer || flush();
}

bool Emitter::finish() {
    return flush();
}

// ---- Progress ----------------------------------------------------------------------------------

bool EngineJob::advance(qint64 bytes) {
    const qint64 total = inputs.totalBytes * passes;
    done = std::min(done + bytes, total);
    return !stopped() && (!progress || progress(done, total));
}

// ---- The in-memory way -------------------------------------------------------------------------

namespace {

// Decides every line while the input and the table fit in the budget: one pass for the default
// rule, two when the decision for a line depends on lines after it (or on counts).
// Lines shorter than this on average are decided on one thread.
constexpr qint64 kTwoThreadsFromLineBytes = 16;

class InMemory {
public:
    InMemory(EngineJob& job, Emitter& out)
        : job_(job), out_(out), options_(job.settings.options),
          counting_(job.settings.writeCounts || job.settings.collectRepeats),
          tables_{LineTable(counting_), LineTable(counting_)},
          readers_{std::make_unique<LineReader>(options_, job.byText),
                   std::make_unique<LineReader>(options_, job.byText)},
          checkers_{std::make_unique<LineReader>(options_, job.byText),
                    std::make_unique<LineReader>(options_, job.byText)} {}

    EngineResult run();

private:
    bool secondPassNeeded() const {
        return options_.keep != KeepMode::First || job_.settings.writeCounts;
    }
    // Decides the batch's lines whose hash falls in one half of the hash space (0 or 1), or all
    // of them (kBothShares).
    void decide(const Segment& s, unsigned share);
    static constexpr unsigned kBothShares = 2;
    bool emitKept(const Segment& s);
    bool emitSecondPass(const Segment& s);
    bool collectRepeats(EngineResult& result);

    EngineJob& job_;
    Emitter& out_;
    const FilterOptions options_;
    const bool counting_;
    LineTable tables_[2];
    std::unique_ptr<LineReader> readers_[2];  // for splitting
    std::unique_ptr<LineReader> checkers_[2]; // for deciding, one per share of the hash space
    Helper helper_;
    std::vector<LineRef> lines_;
    std::vector<LineRef> scratch_;
    std::vector<quint8> keep_;
    qint64 lineIndex_ = 0; // of the batch's first line
    qint64 blanks_ = 0;
};

// Decides the lines of the batch whose hash falls in this half of the hash space.
void InMemory::decide(const Segment& s, unsigned share) {
    const bool both = share == kBothShares;
    LineReader& checker = *checkers_[both ? 0 : share];
    const bool first = options_.keep == KeepMode::First;
    const bool last = options_.keep == KeepMode::Last;
    const std::size_t n = lines_.size();
    auto mine = [&](const LineRef& line) { return both || (line.hash >> 63) == share; };
    // Two steps ahead: the slot a line will look at, then the bytes of the line found there,
    // so that neither waits for memory when its turn comes.
    constexpr std::size_t kSlotAhead = 16;
    constexpr std::size_t kLineAhead = 8;
    for (std::size_t i = 0; i < n; ++i) {
        if (i + kSlotAhead < n && mine(lines_[i + kSlotAhead]))
            tables_[lines_[i + kSlotAhead].hash >> 63].prefetch(lines_[i + kSlotAhead].hash);
        if (i + kLineAhead < n && mine(lines_[i + kLineAhead]) && s.size > 0) {
            const LineRef& ahead = lines_[i + kLineAhead];
            const quint64 pos = tables_[ahead.hash >> 63].homePosition(ahead.hash);
            if (pos != LineTable::kFree)
                job_.inputs.prefetch(pos & LineTable::kPosMask);
        }
        const LineRef& line = lines_[i];
        if (line.blank) {
            if (share == 0 || both) {
                keep_[i] = options_.keepBlank || lineIndex_ + qint64(i) == 0;
                ++blanks_;
            }
            continue;
        }
        if (!mine(line))
            continue;
        LineTable& table = tables_[line.hash >> 63];
        table.reserveOne(std::numeric_limits<qint64>::max());
        const uchar* bytes = s.data + (qint64(line.pos) - s.base);
        bool inserted = false;
        LineTable::Slot& slot = table.findOrInsert(
            line.hash, line.pos,
            [&](quint64 pos) { return checker.sameAs(job_.inputs, pos, s, bytes, line.length); },
            &inserted);
        keep_[i] = inserted && first;
        if (inserted)
            continue;
        slot.pos = (last ? line.pos : slot.pos) | LineTable::kSeenAgain;
        if (counting_)
            ++table.countOf(slot);
    }
}

bool InMemory::emitKept(const Segment& s) {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (!keep_[i])
            continue;
        const LineRef& line = lines_[i];
        if (!out_.line(s, s.data + (qint64(line.pos) - s.base), line.length, 0))
            return false;
    }
    return true;
}

bool InMemory::emitSecondPass(const Segment& s) {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const LineRef& line = lines_[i];
        quint64 count = 1;
        bool kept = false;
        if (line.blank) {
            kept = options_.keepBlank || lineIndex_ + qint64(i) == 0;
            count = options_.keepBlank ? 1 : quint64(blanks_);
        } else {
            const LineTable& table = tables_[line.hash >> 63];
            const LineTable::Slot* slot = table.findAt(line.hash, line.pos);
            if (slot) {
                const bool repeated = (slot->pos & LineTable::kSeenAgain) != 0;
                kept = options_.keep == KeepMode::Unique     ? !repeated
                       : options_.keep == KeepMode::Repeated ? repeated
                                                             : true;
                if (counting_)
                    count = table.countOf(*slot);
            }
        }
        if (kept && !out_.line(s, s.data + (qint64(line.pos) - s.base), line.length, count))
            return false;
    }
    return true;
}

// False when the receiver of streamed lines stopped the work.
bool InMemory::collectRepeats(EngineResult& result) {
    struct Entry {
        quint64 count;
        quint64 pos;
    };
    std::vector<Entry> entries;
    for (const LineTable& table : tables_) {
        table.forEach([&](const LineTable::Slot& slot) {
            if (slot.pos & LineTable::kSeenAgain)
                entries.push_back(Entry{table.countOf(slot), slot.pos & LineTable::kPosMask});
        });
    }
    const auto& stream = job_.settings.repeatsOut;
    const auto limit =
        stream ? entries.size() : std::min(entries.size(), std::size_t(job_.settings.repeatsLimit));
    std::partial_sort(entries.begin(), entries.begin() + qsizetype(limit), entries.end(),
                      [](const Entry& a, const Entry& b) {
                          return a.count != b.count ? a.count > b.count : a.pos < b.pos;
                      });
    entries.resize(limit);
    if (!stream)
        result.repeats.reserve(limit);
    for (const Entry& e : entries) {
        const Segment& s = job_.inputs.at(e.pos);
        const uchar* line = s.data + (qint64(e.pos) - s.base);
        RepeatedLine repeated{LineText(s, line, LineLengthAt(job_.inputs, e.pos)), qint64(e.count)};
        if (!stream)
            result.repeats.push_back(std::move(repeated));
        else if (!stream(repeated))
            return false;
    }
    return true;
}

EngineResult InMemory::run() {
    EngineResult result;
    const bool twoPasses = secondPassNeeded();
    job_.passes = twoPasses ? 2 : 1;
    std::atomic<bool> cancelled = false;

    // Short lines cost more to hand between two threads than to decide on one: one pass does
    // everything, line by line, when the default rule needs nothing after it.
    const bool oneThread = !twoPasses && !counting_ && job_.lines > 0 &&
                           job_.inputs.totalBytes < job_.lines * kTwoThreadsFromLineBytes;
    auto firstPass = [&](const Segment& s, const uchar* from, const uchar* to) {
        if (oneThread) {
            lines_.clear();
            SplitRange(s, from, to, *readers_[0], lines_);
            keep_.assign(lines_.size(), 0);
            decide(s, kBothShares);
        } else {
            SplitBatch(s, from, to, *readers_[0], *readers_[1], helper_, lines_, scratch_);
            keep_.assign(lines_.size(), 0);
            helper_.both([&] { decide(s, 0); }, [&] { decide(s, 1); });
        }
        if (!twoPasses && !emitKept(s))
            return false;
        lineIndex_ += qint64(lines_.size());
        if (!job_.advance(to - from)) {
            cancelled = true;
            return false;
        }
        return true;
    };
    if (!ForEachBatch(job_.inputs, firstPass)) {
        result.status =
            cancelled ? EngineResult::Status::Cancelled : EngineResult::Status::OutputFailed;
        result.error = out_.error();
        return result;
    }
    const qint64 linesRead = lineIndex_;
    if (twoPasses) {
        lineIndex_ = 0;
        auto secondPass = [&](const Segment& s, const uchar* from, const uchar* to) {
            SplitBatch(s, from, to, *readers_[0], *readers_[1], helper_, lines_, scratch_);
            if (!emitSecondPass(s))
                return false;
            lineIndex_ += qint64(lines_.size());
            if (!job_.advance(to - from)) {
                cancelled = true;
                return false;
            }
            return true;
        };
        if (!ForEachBatch(job_.inputs, secondPass)) {
            result.status =
                cancelled ? EngineResult::Status::Cancelled : EngineResult::Status::OutputFailed;
            result.error = out_.error();
            return result;
        }
    }
    result.stats.linesRead = linesRead;
    for (const LineTable& table : tables_) {
        result.stats.distinctLines += table.size();
        table.forEach([&](const LineTable::Slot& slot) {
            if (slot.pos & LineTable::kSeenAgain)
                ++result.stats.repeatedLines;
        });
    }
    result.stats.blankLines = blanks_;
    if (job_.settings.collectRepeats && !collectRepeats(result))
        result.status = EngineResult::Status::Cancelled;
    return result;
}

} // namespace

// ---- Choosing the way --------------------------------------------------------------------------

qint64 DefaultMemoryBudget() {
    constexpr qint64 kMiB = qint64(1) << 20;
    const qint64 physical = PhysicalMemoryBytes();
    const qint64 share = physical > 0 ? physical / 8 : 1024 * kMiB;
    return std::clamp(share, 256 * kMiB, 1536 * kMiB);
}

namespace {

// The memory the in-memory way may come to need: the input, which may all become resident, and
// the tables if every line were different (a quarter free, and the old slots during growth).
qint64 InMemoryNeed(qint64 inputBytes, qint64 lines, bool counting) {
    qint64 slotCount = 2048;
    while (slotCount * 3 < lines * 4)
        slotCount *= 2;
    const qint64 slotBytes = counting ? 24 : 16;
    return inputBytes + slotCount * slotBytes * 3 / 2;
}

enum class Way { InMemory, Either, Partitioned };

EngineResult Run(EngineJob& job, Emitter& out, Way way, qint64 lines) {
    const bool counting = job.settings.writeCounts || job.settings.collectRepeats;
    EngineResult result;
    if (!out.start()) {
        result.status = EngineResult::Status::OutputFailed;
        result.error = out.error();
        return result;
    }
    if (way == Way::Partitioned ||
        (way == Way::Either && InMemoryNeed(job.inputs.totalBytes, lines, counting) > job.budget))
        result = RunPartitioned(job, out);
    else
        result = InMemory(job, out).run();
    if (!result.ok() && job.stopped()) {
        result.status = EngineResult::Status::Cancelled;
        result.error.clear();
    }
    if (job.inputs.readFailed) {
        result.status = EngineResult::Status::InputFailed;
        result.error = QStringLiteral("无法读取输入：文件在处理的过程中被改动，或无法再读。");
    }
    if (result.ok() && !out.finish()) {
        result.status = EngineResult::Status::OutputFailed;
        result.error = out.error();
    }
    result.stats.linesKept = out.written();
    result.stats.linesRemoved = result.stats.linesRead - result.stats.linesKept;
    return result;
}

class StringSink final : public OutputSink {
public:
    explicit StringSink(QString& text) : text_(text) {}
    bool write(const char* data, qint64 size) override {
        text_.append(QStringView(reinterpret_cast<const QChar*>(data), qsizetype(size / 2)));
        return true;
    }
    QString error() const override { return {}; }

private:
    QString& text_;
};

// Decides the encoding of an input from a sample, so that a huge file is never read whole for
// it: its first MiB, or, when that is plain ASCII, the first MiB from its first other byte on
// (which is where the question is decided). Samples end at a line break.
TextEncoding DetectFromStart(const uchar* data, qint64 size, bool mapped) {
    constexpr qint64 kSample = qint64(1) << 20;
    auto sample = [&](qint64 from) {
        qint64 n = std::min(size - from, kSample);
        if (from + n < size) {
            const auto* lf = static_cast<const uchar*>(std::memchr(
                data + from + n, '\n', std::size_t(std::min(size - from - n, kSample))));
            n = lf ? (lf - data) + 1 - from : n;
        }
        return QByteArrayView(reinterpret_cast<const char*>(data + from), qsizetype(n));
    };
    const QByteArrayView first = sample(0);
    auto plain = [](QByteArrayView bytes) {
        return std::all_of(bytes.begin(), bytes.end(),
                           [](char c) { return uchar(c) - 1u < 0x7Fu; });
    };
    if (qint64(first.size()) == size || !plain(first))
        return DetectEncoding(first);
    // Look for the first byte that is not plain ASCII, letting the pages go as it goes.
    constexpr qint64 kStep = qint64(4) << 20;
    for (qint64 at = first.size(); at < size; at += kStep) {
        const qint64 n = std::min(kStep, size - at);
        const QByteArrayView piece(reinterpret_cast<const char*>(data + at), qsizetype(n));
        const auto other =
            std::find_if(piece.begin(), piece.end(), [](char c) { return uchar(c) - 1u >= 0x7Fu; });
        if (mapped)
            ReleaseMappedPages(data + at, n);
        if (other != piece.end()) {
            // From the start of its line, within reason.
            qint64 from = at + (other - piece.begin());
            for (qint64 back = 0; back < 4096 && from > 0 && data[from - 1] != '\n'; ++back)
                --from;
            return DetectEncoding(sample(from));
        }
    }
    return DetectEncoding(first);
}

TextEncoding ForcedEncoding(TextEncoding forced, const uchar* data, qint64 size) {
    const TextEncoding marked = WithByteOrderMark(forced);
    const QByteArrayView mark = ByteOrderMark(marked);
    if (!mark.isEmpty() && size >= mark.size() &&
        std::memcmp(data, mark.data(), std::size_t(mark.size())) == 0)
        return marked;
    return forced;
}

bool IsUnicode(TextEncoding encoding) {
    const TextEncoding e = WithoutByteOrderMark(encoding);
    return e == TextEncoding::Utf8 || e == TextEncoding::Utf16Le || e == TextEncoding::Utf16Be;
}

} // namespace

TextEncoding InputEncoding(const EngineSettings& settings, const uchar* data, qint64 size,
                           bool mapped) {
    if (size > 0)
        return settings.inputEncoding ? ForcedEncoding(*settings.inputEncoding, data, size)
                                      : DetectFromStart(data, size, mapped);
    return settings.inputEncoding ? *settings.inputEncoding : TextEncoding::Gbk;
}

namespace {

// Filters inputs that are open and in memory.
EngineResult RunInputs(OpenInputs& inputs, OutputSink& out, const EngineSettings& settings,
                       const EngineProgress& progress) {
    const std::vector<Segment>& segments = inputs.list.segments;

    // The first input decides the result's encoding; inputs of another encoding are converted.
    TextEncoding firstEncoding = TextEncoding::Gbk;
    bool sameEncodings = true;
    for (const Segment& s : segments) {
        if (&s == &segments.front())
            firstEncoding = inputs.firstHadMark ? WithByteOrderMark(s.encoding) : s.encoding;
        else if (s.encoding != segments.front().encoding)
            sameEncodings = false;
    }
    TextEncoding outputEncoding = firstEncoding;
    if (settings.outputEncoding)
        outputEncoding = inputs.firstHadMark && IsUnicode(*settings.outputEncoding)
                             ? WithByteOrderMark(*settings.outputEncoding)
                             : WithoutByteOrderMark(*settings.outputEncoding);

    EngineJob job{inputs.list, settings, progress};
    job.byText = settings.options.transformsLines() || !sameEncodings;
    job.budget = settings.memoryBudget > 0 ? settings.memoryBudget : DefaultMemoryBudget();

    // Input beyond the budget is partitioned whatever its lines, and counts its line breaks on
    // the way: a large file is then read twice, not three times.
    const bool partitioned = inputs.list.totalBytes > job.budget;
    // Otherwise one quick look at every line break: the most common one, and how many lines
    // there are.
    LineBreakCounts breaks;
    qint64 lines = 0;
    if (!partitioned) {
        ForEachBatch(inputs.list, [&](const Segment& s, const uchar* from, const uchar* to) {
            const LineBreakCounts c = CountBatchBreaks(s, from, to);
            breaks += c;
            lines += c.crlf + c.lf + c.cr + 1;
            return true;
        });
        // Batches of about 64K lines: short lines make smaller batches, whose lists stay small.
        if (lines > 0)
            inputs.list.batchBytes = std::clamp(inputs.list.totalBytes / lines * 65536,
                                                qint64(64) << 10, qint64(1) << 20);
    }
    const LineBreak lineBreak = settings.lineBreak ? *settings.lineBreak : breaks.mostCommon();
    job.lines = lines;
    Emitter emitter(out, outputEncoding, lineBreak, settings.writeCounts);
    EngineResult result = Run(job, emitter, partitioned ? Way::Partitioned : Way::Either, lines);
    result.outputEncoding = emitter.wroteGb18030() ? TextEncoding::Gb18030 : outputEncoding;
    result.lineBreak = emitter.lineBreak();
    return result;
}

} // namespace

EngineResult FilterFiles(const QStringList& paths, OutputSink& out, const EngineSettings& settings,
                         const EngineProgress& progress) {
    OpenInputs inputs;
    EngineResult stopped;
    for (const QString& path : paths.isEmpty() ? QStringList{QStringLiteral("-")} : paths) {
        switch (OpenInput(path, settings, inputs, &stopped.error)) {
        case OpenOutcome::Opened:
            continue;
        case OpenOutcome::Cancelled:
            stopped.status = EngineResult::Status::Cancelled;
            return stopped;
        case OpenOutcome::Failed:
            stopped.status = EngineResult::Status::InputFailed;
            return stopped;
        }
    }
    EngineResult result = RunInputs(inputs, out, settings, progress);
    // What was read must be the files as they are: a file that changed meanwhile gave lines
    // that are neither its old nor its new content.
    if (result.status != EngineResult::Status::Cancelled) {
        if (const QString changed = ChangedInput(inputs); !changed.isEmpty()) {
            result.status = EngineResult::Status::InputFailed;
            result.error = changed;
        }
    }
    return result;
}

EngineResult FilterBytes(QByteArrayView bytes, OutputSink& out, const EngineSettings& settings,
                         const EngineProgress& progress) {
    OpenInputs inputs;
    Segment s;
    s.data = reinterpret_cast<const uchar*>(bytes.data());
    s.size = bytes.size();
    s.stop = settings.stop;
    const TextEncoding encoding = InputEncoding(settings, s.data, s.size, false);
    s.body = ByteOrderMark(encoding).size();
    s.encoding = WithoutByteOrderMark(encoding);
    s.units = UnitFormatOf(encoding);
    inputs.firstHadMark = s.body > 0;
    inputs.list.totalBytes = s.size;
    inputs.list.segments.push_back(s);
    return RunInputs(inputs, out, settings, progress);
}

TextFilterResult FilterText(QStringView text, const EngineSettings& settings,
                            const EngineProgress& progress) {
    TextFilterResult filtered;
    Segment s;
    s.data = reinterpret_cast<const uchar*>(text.utf16());
    s.size = text.size() * 2;
    s.units = NativeUtf16();
    s.encoding = s.units == UnitFormat::Utf16Le ? TextEncoding::Utf16Le : TextEncoding::Utf16Be;
    s.native = true;
    s.stop = settings.stop;
    SegmentList inputs;
    if (!text.isEmpty())
        inputs.segments.push_back(s);
    inputs.totalBytes = s.size;

    EngineJob job{inputs, settings, progress};
    job.byText = settings.options.transformsLines();
    filtered.text.reserve(text.size() + text.size() / 8);
    StringSink sink(filtered.text);
    Emitter emitter(sink, s.encoding, LineBreak::CrLf, settings.writeCounts);
    filtered.result = Run(job, emitter, Way::InMemory, 0);
    filtered.result.outputEncoding = s.encoding;
    if (!filtered.result.ok())
        filtered.text.clear();
    return filtered;
}

QString FilterDuplicateLines(QStringView text, const EngineSettings& settings) {
    return FilterText(text, settings).text;
}
