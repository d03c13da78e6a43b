// What the 比较范围 dialog's example says of a line: its key, column by column, or why it has
// none.
#include "ui/compare/keyruledialog.h"
#include "ui/textbox/preparedtext.h"

#include <algorithm>

namespace {

// Why a part read as a contact kind has no key.
QString NoContactKey(KeyRule::Kind kind) {
    switch (kind) {
    case KeyRule::Kind::Phone:
        return QStringLiteral("不是有效的电话号码");
    case KeyRule::Kind::Email:
        return QStringLiteral("找不到邮箱地址");
    case KeyRule::Kind::Url:
        return QStringLiteral("找不到网址（网址要以 http:// 之类的开头）");
    case KeyRule::Kind::Text:
        break;
    }
    return {};
}

// A key's column as the example shows it: a tab as an arrow, a byte no encoding reads as �, and
// a very long one cut.
QString Shown(const QString& column) {
    QString shown = WithReplacementCharacters(column);
    shown.replace(u'\t', u'⇥');
    return shown.size() > kShownKeyChars ? shown.left(kShownKeyChars) + QStringLiteral("…") : shown;
}

} // namespace

QString DescribeLineKey(const FilterOptions& options, const QString& line) {
    LineKeyMaker maker(options);
    bool keyless = false;
    const QStringView key = maker.key(line, &keyless);
    if (keyless) {
        const QString never = QStringLiteral("（无键的行不算重复）");
        KeyExtractor extractor(options.key);
        if (extractor.find(line))
            return options.key.kind == KeyRule::Kind::Text
                       ? QStringLiteral("无键：这一行的键为空") + never
                       : QStringLiteral("无键：") + NoContactKey(options.key.kind) + never;
        if (options.key.source == KeyRule::Source::Pattern)
            return QStringLiteral("无键：正则表达式在这一行中找不到键") + never;
        return QStringLiteral("无键：这一行的列数不够") + never;
    }
    if (key.isEmpty())
        return QStringLiteral("空行：不参与比较");
    const qsizetype count =
        options.key.source == KeyRule::Source::Columns ? qsizetype(options.key.columns.size()) : 1;
    QString shown = QStringLiteral("键：");
    for (const QString& column : KeyColumns(key, std::max<qsizetype>(count, 1)))
        shown += u'「' + Shown(column) + u'」';
    return shown;
}
