#include "ui/statistic/removedrows.h"

#include "engine/writing/removedrow.h"

#include <algorithm>

namespace {

// Where a row's text starts is kept in 32 bits.
constexpr qsizetype kMostChars = qsizetype(1) << 31;

// The groups of why a line went, in the order the list sorts them.
int Group(RemovedLine::Why why) {
    switch (why) {
    case RemovedLine::Why::Repeat:
        return 0;
    case RemovedLine::Why::List:
        return 1;
    case RemovedLine::Why::Blank:
        return 2;
    case RemovedLine::Why::Once:
        return 3;
    }
    return 3;
}

} // namespace

RemovedRows::RemovedRows(Limits limits, QStringList inputNames, QStringList listNames)
    : limits_(limits), inputNames_(std::move(inputNames)), listNames_(std::move(listNames)) {
    limits_.chars = std::clamp<qsizetype>(limits_.chars, 0, kMostChars);
    limits_.rows = std::max<qsizetype>(limits_.rows, 0);
}

void RemovedRows::add(const RemovedLine& line) {
    ++total_;
    if (full_)
        return;
    qsizetype length = std::min(line.text.size(), kShownChars);
    // Never half a surrogate pair.
    if (length < line.text.size() && length > 0 && line.text[length - 1].isHighSurrogate())
        --length;
    if (qsizetype(rows_.size()) >= limits_.rows || chars_.size() + length > limits_.chars) {
        full_ = true;
        return;
    }
    Row row{};
    row.line = line.line;
    row.input = line.input;
    row.why = quint8(line.why);
    if (line.why == RemovedLine::Why::Repeat) {
        row.ref = line.keptLine;
        row.keptInput = line.keptInput;
    } else if (line.why == RemovedLine::Why::List) {
        row.ref = line.list;
    }
    row.textStart = quint32(chars_.size());
    row.textLength = quint16(length);
    row.cut = length < line.text.size() ? 1 : 0;
    anyCut_ = anyCut_ || row.cut;
    chars_.append(QStringView(line.text).first(length));
    rows_.push_back(row);
}

QStringView RemovedRows::text(qsizetype i) const {
    const Row& row = rows_[std::size_t(i)];
    return QStringView(chars_).sliced(row.textStart, row.textLength);
}

RemovedLine RemovedRows::removedLine(qsizetype i) const {
    const Row& row = rows_[std::size_t(i)];
    RemovedLine line;
    line.input = row.input;
    line.line = row.line;
    line.why = RemovedLine::Why(row.why);
    if (line.why == RemovedLine::Why::Repeat) {
        line.keptInput = row.keptInput;
        line.keptLine = row.ref;
    } else if (line.why == RemovedLine::Why::List) {
        line.list = int(row.ref);
    }
    line.text = text(i).toString();
    return line;
}

QString RemovedRows::where(qsizetype i) const {
    const Row& row = rows_[std::size_t(i)];
    return RemovedRowPlace(row.input, row.line, inputNames_);
}

QString RemovedRows::reason(qsizetype i) const {
    const Row& row = rows_[std::size_t(i)];
    switch (RemovedLine::Why(row.why)) {
    case RemovedLine::Why::Repeat:
        return RemovedRowPlace(row.keptInput, row.ref, inputNames_);
    case RemovedLine::Why::List:
        return listNames_.value(int(row.ref));
    case RemovedLine::Why::Blank:
        return QStringLiteral("空行");
    case RemovedLine::Why::Once:
        return QStringLiteral("只出现一次");
    }
    return {};
}

std::vector<quint32> RemovedRows::orderByReason(bool descending) const {
    std::vector<quint64> keys(rows_.size());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const Row& row = rows_[i];
        const auto why = RemovedLine::Why(row.why);
        // The group in the top two bits; a repeat's input in the next 22, its line in the low 40
        // (a trillion lines).
        quint64 key = quint64(Group(why)) << 62;
        if (why == RemovedLine::Why::Repeat)
            key |= (quint64(std::min(row.keptInput, (1 << 22) - 1)) << 40) |
                   std::min<quint64>(quint64(row.ref), (quint64(1) << 40) - 1);
        else if (why == RemovedLine::Why::List)
            key |= quint64(row.ref);
        keys[i] = descending ? ~key : key;
    }
    return StableOrder(keys);
}

// Least significant digit first, 16 bits at a time, each pass stable; digits that are the same in
// every key are passed over, so that small numbers take one or two passes.
std::vector<quint32> StableOrder(const std::vector<quint64>& keys) {
    struct Item {
        quint64 key;
        quint32 index;
    };
    std::vector<Item> items(keys.size());
    quint64 differ = 0;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        items[i] = {keys[i], quint32(i)};
        differ |= keys[i] ^ keys[0];
    }
    std::vector<Item> next(items.size());
    std::vector<std::size_t> start(std::size_t(1) << 16);
    for (int shift = 0; shift < 64; shift += 16) {
        if (((differ >> shift) & 0xffff) == 0)
            continue;
        std::fill(start.begin(), start.end(), 0);
        for (const Item& item : items)
            ++start[(item.key >> shift) & 0xffff];
        std::size_t sum = 0;
        for (std::size_t& s : start)
            sum += std::exchange(s, sum);
        for (const Item& item : items)
            next[start[(item.key >> shift) & 0xffff]++] = item;
        items.swap(next);
    }
    std::vector<quint32> order(items.size());
    for (std::size_t i = 0; i < items.size(); ++i)
        order[i] = items[i].index;
    return order;
}
