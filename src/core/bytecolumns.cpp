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
    for (const int column : options.key.columns) {
        columns_.push_back(column - 1);
        needed_ = std::max(needed_, column);
    }
    spans_.resize(std::size_t(needed_));
}

QByteArrayView ByteColumnKey::key(const uchar* line, qint64 length, bool* keyless) {
    *keyless = false;
    if (length == 0)
        return {};
    // The first needed_ columns: every separator ends one.
    qint64 at = 0;
    for (int i = 0; i < needed_; ++i) {
        const void* found = std::memchr(line + at, separator_, std::size_t(length - at));
        const qint64 end = found ? static_cast<const uchar*>(found) - line : length;
        spans_[std::size_t(i)] = Span{at, end};
        if (!found && i + 1 < needed_) {
            *keyless = true; // too few columns
            return {};
        }
        at = end + 1;
    }
    auto bytes = [&](const Span& s) {
        return QByteArrayView(reinterpret_cast<const char*>(line + s.begin), s.end - s.begin);
    };
    if (columns_.size() == 1) {
        const QByteArrayView column = bytes(spans_[std::size_t(columns_.front())]);
        *keyless = column.isEmpty();
        return column;
    }
    joined_.resize(0);
    bool any = false;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const QByteArrayView column = bytes(spans_[std::size_t(columns_[i])]);
        any = any || !column.isEmpty();
        AppendKeyColumnTo(joined_, column, i == 0);
    }
    *keyless = !any;
    return any ? QByteArrayView(joined_) : QByteArrayView();
}
