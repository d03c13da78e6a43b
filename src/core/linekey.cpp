// The key rule itself: when two rules make the same keys, and the parsing of its parts as the user
// gives them (column numbers, separator, pattern). The extractor that cuts a line by the rule is
// in keyextractor.cpp.
#include "core/linekey.h"

#include "core/comparisonoptions.h"
#include "core/linekey_p.h"
#include "core/shown.h"

#include <climits>

namespace {

constexpr char16_t kComma = u',';

template <typename T> std::optional<T> Fail(QString* error, const QString& message) {
    if (error)
        *error = message;
    return std::nullopt;
}

bool AllAsciiDigits(QStringView text) {
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

} // namespace

KeyRule::Source EffectiveSource(const KeyRule& rule) {
    if (rule.source == KeyRule::Source::Columns && rule.columns.empty())
        return KeyRule::Source::WholeLine;
    if (rule.source == KeyRule::Source::Pattern && rule.pattern.isEmpty())
        return KeyRule::Source::WholeLine;
    return rule.source;
}

bool KeyRule::operator==(const KeyRule& other) const {
    const Source effective = EffectiveSource(*this);
    if (effective != EffectiveSource(other) || !SameKeyOptions(*this, other))
        return false;
    if (sumColumn != 0 && !(separator == other.separator))
        return false;
    if ((kind == Kind::Phone && region != other.region) || plus != other.plus ||
        gmail != other.gmail || www != other.www || slash != other.slash || scheme != other.scheme)
        return false;
    switch (effective) {
    case Source::WholeLine:
        return true;
    case Source::Columns:
        return separator == other.separator && columns == other.columns;
    case Source::Pattern:
        return pattern == other.pattern;
    }
    return true;
}

bool KeyRule::comparesWholeLine() const {
    return EffectiveSource(*this) == Source::WholeLine && sumColumn == 0;
}

bool KeyRule::keysAllButSum() const {
    return EffectiveSource(*this) == Source::WholeLine && sumColumn > 0;
}

std::optional<std::vector<int>> ParseFieldList(QStringView text, QString* error) {
    const QString example = QStringLiteral("列号从 1 起，几列以逗号分开，例如 2 或 1,3。");
    if (text.trimmed().isEmpty())
        return Fail<std::vector<int>>(error, QStringLiteral("没有给出列号；") + example);
    std::vector<int> columns;
    for (const QStringView item : text.split(QChar(kComma))) {
        const QStringView number = item.trimmed();
        if (number.isEmpty())
            return Fail<std::vector<int>>(
                error, QStringLiteral("列号“%1”中有空项；").arg(Shown(text)) + example);
        if (number.startsWith(u'-') && AllAsciiDigits(number.sliced(1)))
            return Fail<std::vector<int>>(
                error, QStringLiteral("列号“%1”是负数；").arg(Shown(number)) + example);
        bool ok = false;
        const qlonglong value = AllAsciiDigits(number) ? number.toLongLong(&ok) : 0;
        if (!ok && !AllAsciiDigits(number))
            return Fail<std::vector<int>>(
                error, QStringLiteral("“%1”不是列号；").arg(Shown(number)) + example);
        if (!ok || value > INT_MAX)
            return Fail<std::vector<int>>(
                error, QStringLiteral("列号“%1”太大，最大为 %2。").arg(Shown(number)).arg(INT_MAX));
        if (value == 0)
            return Fail<std::vector<int>>(error, QStringLiteral("列号不能是 0；") + example);
        columns.push_back(int(value));
    }
    return columns;
}

std::optional<Separator> ParseSeparator(QStringView text, QString* error) {
    Separator separator;
    if (text.compare(u"tab", Qt::CaseInsensitive) == 0 || text == u"\\t")
        return separator;
    if (text.compare(u"space", Qt::CaseInsensitive) == 0) {
        separator.kind = Separator::Kind::Space;
        return separator;
    }
    if (text.compare(u"csv", Qt::CaseInsensitive) == 0) {
        separator.kind = Separator::Kind::Csv;
        return separator;
    }
    const bool one = (text.size() == 1 && !text[0].isSurrogate()) ||
                     (text.size() == 2 && text[0].isHighSurrogate() && text[1].isLowSurrogate());
    if (!one) {
        const QString what = QStringLiteral("应为一个字符，或 tab（制表符）、space（连续的空白）、"
                                            "csv（逗号分隔，可带引号）之一。");
        return Fail<Separator>(
            error, text.isEmpty()
                       ? QStringLiteral("分隔符为空；") + what
                       : QStringLiteral("分隔符“%1”不是一个字符；").arg(Shown(text)) + what);
    }
    separator.character = text.toString();
    return separator;
}

QString PatternError(const QString& pattern) {
    if (pattern.isEmpty())
        return QStringLiteral("正则表达式为空；应给出键的样子，例如 ^(\\S+)。");
    const QRegularExpression re(pattern, kKeyPatternOptions);
    if (re.isValid())
        return {};
    return QStringLiteral("正则表达式“%1”有误：%2（位置 %3）。")
        .arg(Shown(pattern), re.errorString())
        .arg(re.patternErrorOffset());
}

std::vector<QString> KeyColumns(QStringView key, qsizetype count) {
    if (count <= 1)
        return {key.toString()};
    std::vector<QString> columns(1);
    for (qsizetype i = 0; i < key.size(); ++i) {
        const char16_t c = key[i].unicode();
        if (c == kColumnEscape && i + 1 < key.size())
            columns.back().append(key[++i]);
        else if (c == kColumnJoin)
            columns.emplace_back();
        else
            columns.back().append(key[i]);
    }
    return columns;
}
