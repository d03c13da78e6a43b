#include "core/keys/bytecolumns.h"

#include <algorithm>
#include <cstring>

namespace {
// Where `c` is in line[at, length), or length. Columns are mostly a few bytes: a short span is
// looked through here, a long one by memchr.
qint64 FindSeparator(const uchar* line, qint64 at, qint64 length, uchar c) {
    constexpr qint64 kShortSpan = 32;
    if (length - at > kShortSpan) {
        const void* found = std::memchr(line + at, c, std::size_t(length - at));
        return found ? static_cast<const uchar*>(found) - line : length;
    }
    while (at < length && line[at] != c)
        ++at;
    return at;
}
} // namespace

std::optional<char> ByteColumnKey::SeparatorOf(const FilterOptions& options) {
    const KeyRule& rule = options.key;
    if (options.changesText())
        return std::nullopt;
    const bool columns =
        (rule.source == KeyRule::Source::Columns && !rule.columns.empty()) || rule.keysAllButSum();
    if (!columns || rule.separator.kind != Separator::Kind::Character ||
        rule.separator.character.size() != 1)
        return std::nullopt;
    const char16_t c = rule.separator.character.front().unicode();
    if (c >= 0x80)
        return std::nullopt;
    return char(c);
}

ByteColumnKey::ByteColumnKey(const FilterOptions& options)
    : separator_(uchar(SeparatorOf(options).value_or('\t'))),
      allBut_(options.key.keysAllButSum() ? options.key.sumColumn : 0),
      sum_(options.key.sumColumn) {
    // Only the columns asked for are kept, whatever their numbers: a line's columns are walked,
    // never allocated.
    wanted_ = options.key.columns;
    std::sort(wanted_.begin(), wanted_.end());
    wanted_.erase(std::unique(wanted_.begin(), wanted_.end()), wanted_.end());
    for (const int column : options.key.columns)
        partOf_.push_back(std::size_t(std::lower_bound(wanted_.begin(), wanted_.end(), column) -
                                      wanted_.begin()));
    spans_.resize(wanted_.size());
    lastAsked_ = std::max(wanted_.empty() ? 0 : wanted_.back(), sum_);
}

QByteArrayView ByteColumnKey::summedOf(const uchar* line, qint64 length) const {
    qint64 at = 0;
    for (int column = 1; column < sum_; ++column) {
        const qint64 found = FindSeparator(line, at, length, separator_);
        if (found == length)
            return {};
        at = found + 1;
    }
    const qint64 end = FindSeparator(line, at, length, separator_);
    return {reinterpret_cast<const char*>(line + at), end - at};
}

QByteArrayView ByteColumnKey::keyOfAllBut(const uchar* line, qint64 length, bool* keyless) {
    auto bytes = [&](qint64 begin, qint64 end) {
        return QByteArrayView(reinterpret_cast<const char*>(line + begin), end - begin);
    };
    QByteArrayView only; // the key while it is one column
    std::size_t parts = 0;
    bool any = false;
    qint64 at = 0;
    for (int column = 1;; ++column) {
        const qint64 end = FindSeparator(line, at, length, separator_);
        const bool found = end < length;
        if (column == allBut_) {
            summed_ = bytes(at, end);
        } else {
            const QByteArrayView part = bytes(at, end);
            any = any || !part.isEmpty();
            if (parts == 1) {
                joined_.resize(0);
                AppendKeyColumnTo(joined_, only, true);
            }
            if (parts == 0)
                only = part;
            else
                AppendKeyColumnTo(joined_, part, false);
            ++parts;
        }
        if (!found)
            break;
        at = end + 1;
    }
    *keyless = !any;
    if (!any)
        return {};
    return parts == 1 ? only : QByteArrayView(joined_);
}

QByteArrayView ByteColumnKey::key(const uchar* line, qint64 length, bool* keyless) {
    *keyless = false;
    summed_ = {};
    if (length == 0)
        return {};
    if (allBut_ > 0)
        return keyOfAllBut(line, length, keyless);
    // The columns up to the last one asked for (or summed): every separator ends one.
    qint64 at = 0;
    std::size_t w = 0;
    for (int column = 1; column <= lastAsked_; ++column) {
        const qint64 end = FindSeparator(line, at, length, separator_);
        const bool found = end < length;
        if (w < wanted_.size() && column == wanted_[w])
            spans_[w++] = Span{at, end};
        if (column == sum_)
            summed_ = QByteArrayView(reinterpret_cast<const char*>(line + at), end - at);
        if (!found)
            break;
        at = end + 1;
    }
    if (w < wanted_.size()) {
        *keyless = true; // too few columns
        return {};
    }
    auto bytes = [&](const Span& s) {
        return QByteArrayView(reinterpret_cast<const char*>(line + s.begin), s.end - s.begin);
    };
    if (partOf_.size() == 1) {
        const QByteArrayView column = bytes(spans_[partOf_.front()]);
        *keyless = column.isEmpty();
        return column;
    }
    joined_.resize(0);
    bool any = false;
    for (std::size_t i = 0; i < partOf_.size(); ++i) {
        const QByteArrayView column = bytes(spans_[partOf_[i]]);
        any = any || !column.isEmpty();
        AppendKeyColumnTo(joined_, column, i == 0);
    }
    *keyless = !any;
    return any ? QByteArrayView(joined_) : QByteArrayView();
}
