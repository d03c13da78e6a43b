#include "core/order/sumcolumn.h"

#include <algorithm>

namespace {

KeyRule ColumnOnly(const KeyRule& rule) {
    KeyRule only;
    only.source = KeyRule::Source::Columns;
    only.separator = rule.separator;
    only.columns = {std::max(rule.sumColumn, 1)};
    return only;
}

} // namespace

SumColumn::SumColumn(const KeyRule& rule) : columns_(ColumnOnly(rule)) {}

QStringView SumColumn::find(QStringView line) {
    if (!columns_.find(line))
        return {};
    const QStringView column = columns_.part(0);
    return column.isNull() ? QStringView(u"") : column;
}

QString SumColumn::replaced(QStringView line, QStringView sum) {
    const QStringView column = find(line);
    // A column made of a quoted text lies in a buffer: it holds no number, and is never summed.
    const qsizetype begin = column.data() - line.data();
    if (column.isNull() || begin < 0 || begin + column.size() > line.size())
        return line.toString();
    QString out;
    out.reserve(line.size() - column.size() + sum.size());
    out.append(line.first(begin)).append(sum).append(line.sliced(begin + column.size()));
    return out;
}

QString SumRefusal(const FilterOptions& options, bool inWindow) {
    const KeyRule& key = options.key;
    if (key.sumColumn == 0)
        return {};
    if (options.similar != 0)
        return inWindow ? QStringLiteral("合并不能与“相似的行也算重复”一起用：相似的行不合并。"
                                         "请先在选项菜单中关掉它。")
                        : QStringLiteral("--sum 不能与 --similar 一起用：相似的行不合并。");
    if (key.source == KeyRule::Source::Columns &&
        std::find(key.columns.begin(), key.columns.end(), key.sumColumn) != key.columns.end())
        return (inWindow ? QStringLiteral("合并的第 %1 列不能同时是比较的列。")
                         : QStringLiteral("--sum 的第 %1 列不能同时是 --field 比较的列。"))
            .arg(key.sumColumn);
    return {};
}
