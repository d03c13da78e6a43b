#include "core/bytecolumns.h"

#include <algorithm>
#include <cstring>

std::optional<char> ByteColumnKey::SeparatorOf(const FilterOptions& options) {
    const KeyRule& rule = options.key;
    if (options.changesText())
        return std::nullopt;
    if (rule.source != KeyRule::Source::Columns || rule.columns.empty() ||
        rule.separator.kind != Separator::Kind::Character || rule.separator.character.size() != 1)
        return std::nullopt;
    const char16_t c = rule.separator.character.front().unicode();
    if (c >= 0x80)
        return std::nullopt;
    return char(c);
}

ByteColumnKey::ByteColumnKey(const FilterOptions& options)
    : separator_(uchar(SeparatorOf(options).value_or('\t'))) {
    // Only the columns asked for are kept, whatever their numbers: a line's columns are walked,
    // never allocated.
    wanted_ = options.key.columns;
    std::sort(wanted_.begin(), wanted_.end());
    wanted_.erase(std::unique(wanted_.begin(), wanted_.end()), wanted_.end());
    for (const int column : options.key.columns)
        partOf_.push_back(std::size_t(std::lower_bound(wanted_.begin(), wanted_.end(), column) -
                                      wanted_.begin()));
    spans_.resize(wanted_.size());
}

QByteArrayView ByteColumnKey::key(const uchar* line, qint64 length, bool* keyless) {
    *keyless = false;
    if (length == 0)
        return {};
    // The columns up to the last one asked for: every separator ends one.
    qint64 at = 0;
    std::size_t w = 0;
    for (qint64 column = 1; w < wanted_.size(); ++column) {
        const void* found = std::memchr(line + at, separator_, std::size_t(length - at));
        const qint64 end = found ? static_cast<const uchar*>(found) - line : length;
        if (column == wanted_[w])
            spans_[w++] = Span{at, end};
        if (!found && w < wanted_.size()) {
            *keyless = true; // too few columns
            return {};
        }
        at = end + 1;
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
