// Lines as the comparison rules see them: where a position is among the inputs, a line's key and
// hash, whether two lines are the same, and the splitting of a batch into lines.
#include "engine/reading/linereader.h"
#include "engine/inmemory/linebytes.h"
#include "engine/reading/batches.h"
#include "engine/workers.h"

#include "files/textcodec.h"

#include <xxhash.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>

TextDecoder& DecoderCache::operator()(TextEncoding encoding) {
    for (auto& [e, decoder] : decoders_) {
        if (e == encoding)
            return *decoder;
    }
    decoders_.emplace_back(encoding, std::make_unique<TextDecoder>(encoding));
    return *decoders_.back().second;
}

const Segment& SegmentList::find(quint64 pos) const {
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

LineReader::LineReader(const FilterOptions& options, KeyWay way)
    : way_(way), keys_{LineKeyMaker(options), LineKeyMaker(options)},
      columns_{ByteColumnKey(options), ByteColumnKey(options)},
      summing_(options.key.sumColumn > 0) {
    if (summing_) {
        sums_[0].emplace(options.key);
        sums_[1].emplace(options.key);
    }
}

LineReader::~LineReader() = default;

QStringView LineReader::decode(const Segment& s, const uchar* line, qint64 length, QString& into) {
    if (s.native)
        return {reinterpret_cast<const QChar*>(line), qsizetype(length / 2)};
    into.resize(0); // keeps the buffer
    decoders_(s.encoding)
        .decode(QByteArrayView(reinterpret_cast<const char*>(line), qsizetype(length)), into);
    return into;
}

qint64 LineReader::chars(const Segment& s, const uchar* line, qint64 length) {
    const QStringView text = decode(s, line, length, counted_);
    // A pair of surrogates is one character.
    qint64 n = text.size();
    for (qsizetype i = 1; i < text.size(); ++i) {
        if (text[i].isLowSurrogate() && text[i - 1].isHighSurrogate())
            --n;
    }
    return n;
}

QByteArrayView LineReader::summed(const Segment& s, const uchar* line, qint64 length) {
    if (!summing_)
        return {};
    if (way_ == KeyWay::ByteColumns)
        return columns_[0].summedOf(line, length);
    const QStringView column = sums_[0]->find(decode(s, line, length, summedLine_));
    if (column.isNull())
        return {};
    summed_ = column.toLatin1();
    return summed_;
}

void LineReader::placeSummed(const uchar* line, LineRef& ref) const {
    if (way_ != KeyWay::ByteColumns || ref.kind != LineKind::Keyed)
        return;
    const QByteArrayView column = columns_[0].summed();
    const qint64 from = reinterpret_cast<const uchar*>(column.data()) - line;
    if (column.isEmpty() || column.size() > 0xFFFF || from < 0 ||
        from > qint64(std::numeric_limits<quint32>::max()))
        return;
    ref.summedBytes = quint16(column.size());
    ref.summedFrom = quint32(from);
}

QByteArrayView LineReader::key(const Segment& s, const uchar* line, qint64 length, int buffer,
                               bool* keyless) {
    bool none = false;
    QByteArrayView k;
    // An input's line whose summed column is no number has no key; a list's needs none.
    const bool checkSum = summing_ && s.list < 0;
    switch (way_) {
    case KeyWay::Bytes:
        k = QByteArrayView(reinterpret_cast<const char*>(line), qsizetype(length));
        break;
    case KeyWay::ByteColumns:
        k = columns_[buffer].key(line, length, &none);
        if (checkSum && !k.isEmpty() && !DecimalSum::IsNumber(columns_[buffer].summed())) {
            k = {};
            none = true;
        }
        break;
    case KeyWay::Text: {
        const QStringView decoded = decode(s, line, length, decoded_[buffer]);
        QStringView text = keys_[buffer].key(decoded, &none);
        if (checkSum && !text.isEmpty() && !sums_[buffer]->holdsNumber(decoded)) {
            text = {};
            none = true;
        }
        k = QByteArrayView(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        // A long line's text is not held once its key is made apart from it.
        if (length > kLongLineBytes && !decoded_[buffer].isEmpty()) {
            const void* key = text.utf16();
            const void* from = decoded_[buffer].utf16();
            const void* to = decoded_[buffer].utf16() + decoded_[buffer].size();
            const std::less<> before;
            if (before(key, from) || !before(key, to))
                LetGoIfLarger(decoded_[buffer], qsizetype(kLongLineBytes / 2));
        }
        if (none && s.undecided) {
            if (const QString why = keys_[buffer].undecided(); !why.isEmpty()) {
                const std::lock_guard lock(s.undecided->mutex);
                if (!s.undecided->found) {
                    s.undecided->pos = quint64(s.base + (line - s.data));
                    s.undecided->reason = why;
                    s.undecided->found = true;
                }
            }
        }
        break;
    }
    }
    if (keyless)
        *keyless = none;
    return k;
}

quint64 LineReader::hash(const Segment& s, const uchar* line, qint64 length, LineKind* kind,
                         qint64* keyBytes) {
    if (way_ == KeyWay::Bytes) {
        *kind = length == 0 ? LineKind::Blank : LineKind::Keyed;
        *keyBytes = length;
        return HashLineBytes(s, line, length);
    }
    bool keyless = false;
    const QByteArrayView k = key(s, line, length, 0, &keyless);
    *kind = keyless ? LineKind::Keyless : k.isEmpty() ? LineKind::Blank : LineKind::Keyed;
    *keyBytes = k.size();
    const quint64 hash = XXH3_64bits(k.data(), std::size_t(k.size()));
    letGoAfter(length);
    return hash;
}

LineKind LineReader::kindOf(const Segment& s, const uchar* line, qint64 length) {
    if (way_ == KeyWay::Bytes)
        return length == 0 ? LineKind::Blank : LineKind::Keyed;
    bool keyless = false;
    const QByteArrayView k = key(s, line, length, 0, &keyless);
    const LineKind kind = keyless       ? LineKind::Keyless
                          : k.isEmpty() ? LineKind::Blank
                                        : LineKind::Keyed;
    letGoAfter(length);
    return kind;
}

void LineReader::letGoAfter(qint64 length) {
    if (length <= kLongLineBytes)
        return;
    constexpr auto kUnits = qsizetype(kLongLineBytes / 2);
    for (int i = 0; i < 2; ++i) {
        LetGoIfLarger(decoded_[i], kUnits);
        keys_[i].letGoOfBuffers(kUnits);
    }
    LetGoIfLarger(counted_, kUnits);
    LetGoIfLarger(summedLine_, kUnits);
}

bool LineReader::sameAs(const SegmentList& inputs, quint64 pos, const Segment& s, const uchar* line,
                        qint64 length) {
    if (way_ == KeyWay::Bytes)
        return SameLineFound(inputs, pos, s, line, length);
    const Segment* found = &inputs.at(pos);
    const uchar* old = found->data + (qint64(pos) - found->base);
    Segment copy;
    if (ReadsAgain(*found, length)) {
        // As for a line's own bytes, a long first copy is read again rather than looked at in
        // the mapping; most are the same bytes, so its own length is asked for first.
        switch (ReadLineAgain(inputs, *found, old - found->data, length, again_, &copy)) {
        case ReadAgain::Read:
            found = &copy;
            old = copy.data;
            break;
        case ReadAgain::TooLong:
            break;
        case ReadAgain::Failed:
            return false;
        }
    }
    const Segment& other = *found;
    const uchar* next = nullptr;
    const qint64 oldLength = FindLineEnd(old, other.end(), other.units, &next) - old;
    // The same bytes in the same encoding make the same key: most repeats are found so, without
    // making either key.
    if (oldLength == length && other.encoding == s.encoding && other.native == s.native &&
        (length > kLongLineStep ? SameInSteps(other, old, s, line, length)
                                : SameBytes(old, line, length)))
        return true;
    const bool same = key(s, line, length, 0) == key(other, old, oldLength, 1);
    letGoAfter(std::max(length, oldLength));
    return same;
}

QString LineText(const Segment& s, const uchar* line, qint64 length) {
    if (s.native)
        return QString(reinterpret_cast<const QChar*>(line), qsizetype(length / 2));
    QString text;
    TextDecoder(s.encoding)
        .decode(QByteArrayView(reinterpret_cast<const char*>(line), qsizetype(length)), text);
    return text;
}

namespace {
constexpr qint64 kParallelSplitBytes = qint64(64) * 1024;
} // namespace

void SplitRange(const Segment& s, const uchar* from, const uchar* to, LineReader& reader,
                std::vector<LineRef>& lines, const SplitTicker& tick) {
    // How often the progress is told: a look at the clock every few lines costs little next to
    // matching a pattern on them, and a pattern may take long on each.
    constexpr int kTickLines = 4;
    int untold = 0;
    ForEachLineOf(s, from, to, [&](const uchar* line, qint64 length) {
        // A key pattern may take long on each line: a stop is looked at before every one. The
        // lines of a stopped batch are not all keyed, and whoever reads them stops too.
        if (s.stopped())
            return;
        if (tick && ++untold == kTickLines) {
            untold = 0;
            tick(line - from);
        }
        LineKind kind = LineKind::Keyed;
        qint64 keyBytes = 0;
        const quint64 hash = reader.hash(s, line, length, &kind, &keyBytes);
        LineRef& ref = lines.emplace_back(
            LineRef{quint64(s.base + (line - s.data)), length, hash, keyBytes, kind});
        if (reader.sums())
            reader.placeSummed(line, ref);
    });
}

BatchSplitter::BatchSplitter(const FilterOptions& options, KeyWay way, Workers& workers)
    : workers_(workers), pieces_(std::size_t(workers.size() - 1)),
      slowKeys_(options.key.source == KeyRule::Source::Pattern) {
    for (int i = 0; i < workers.size(); ++i)
        readers_.push_back(std::make_unique<LineReader>(options, way));
}

BatchSplitter::~BatchSplitter() = default;

void BatchSplitter::split(const Segment& s, const uchar* from, const uchar* to,
                          std::vector<LineRef>& lines) {
    lines.clear();
    const qint64 size = to - from;
    // Pieces of at least half kParallelSplitBytes each.
    const int count =
        s.longLine ? 1 : int(std::min<qint64>(workers_.size(), 2 * size / kParallelSplitBytes));
    if (count <= 1) {
        SplitRange(s, from, to, reader(), lines, tick_);
        return;
    }
    // Cut on line starts, near equal shares.
    std::vector<const uchar*> cuts{from};
    for (int i = 1; i < count; ++i) {
        qint64 at = size * i / count;
        if (s.units != UnitFormat::Bytes)
            at &= ~qint64(1);
        cuts.push_back(std::max(cuts.back(), NextLineStart(from + at, to, s.units)));
    }
    cuts.push_back(to);
    // The calling thread's piece, a near equal share, tells how far the whole batch has come.
    SplitTicker whole;
    if (tick_)
        whole = [&](qint64 bytes) { tick_(bytes * count); };
    const SplitTicker none;
    workers_.each(count, [&](int me) {
        std::vector<LineRef>& into = me == 0 ? lines : pieces_[std::size_t(me - 1)];
        into.clear();
        SplitRange(s, cuts[std::size_t(me)], cuts[std::size_t(me) + 1], *readers_[std::size_t(me)],
                   into, me == 0 ? whole : none);
    });
    for (int i = 1; i < count; ++i)
        lines.insert(lines.end(), pieces_[std::size_t(i - 1)].begin(),
                     pieces_[std::size_t(i - 1)].end());
}
