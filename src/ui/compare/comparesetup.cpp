#include "ui/compare/comparesetup.h"

#include "core/comparisonoptions.h"
#include "core/keys/contactkeys.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString kSource = QStringLiteral("source");
const QString kSeparator = QStringLiteral("separator");
const QString kCharacter = QStringLiteral("character");
const QString kColumns = QStringLiteral("columns");
const QString kPattern = QStringLiteral("pattern");
const QString kKind = QStringLiteral("kind");
const QString kPath = QStringLiteral("path");
const QString kText = QStringLiteral("text");

} // namespace

QString PastedListName(int number) {
    return QStringLiteral("粘贴的清单 %1").arg(number);
}

void NumberPastedLists(std::vector<ComparedList>& lists) {
    int pasted = 0;
    for (ComparedList& list : lists) {
        if (list.path.isEmpty())
            list.name = PastedListName(++pasted);
    }
}

QString DescribeSeparator(const Separator& separator) {
    switch (separator.kind) {
    case Separator::Kind::Space:
        return QStringLiteral("空白");
    case Separator::Kind::Csv:
        return QStringLiteral("CSV");
    case Separator::Kind::Character:
        break;
    }
    if (separator.character == u"\t")
        return QStringLiteral("制表符");
    if (separator.character == u",")
        return QStringLiteral("逗号");
    return QStringLiteral("“%1”").arg(separator.character);
}

QStringList DescribeKeyRule(const KeyRule& rule) {
    QStringList parts;
    if (rule.source == KeyRule::Source::Columns && !rule.columns.empty()) {
        QStringList columns;
        for (const int column : rule.columns)
            columns << QString::number(column);
        const QString how = rule.separator.kind == Separator::Kind::Csv
                                ? QStringLiteral("CSV")
                                : DescribeSeparator(rule.separator) + QStringLiteral("分隔");
        parts << QStringLiteral("比较第 %1 列（%2）").arg(columns.join(QStringLiteral("、")), how);
    } else if (rule.source == KeyRule::Source::Pattern && !rule.pattern.isEmpty()) {
        parts << QStringLiteral("比较正则表达式 %1 找到的部分").arg(rule.pattern);
    }
    return parts + DescribeKeyOptions(rule);
}

QString DescribeComparedLists(const std::vector<ComparedList>& lists) {
    QStringList parts;
    for (const ComparedList& list : lists)
        parts << ListKindLabel(list.kind) + u' ' + list.name;
    return parts.join(QStringLiteral("、"));
}

QString KeyRuleToText(const KeyRule& rule) {
    QJsonObject o;
    switch (rule.source) {
    case KeyRule::Source::WholeLine:
        o[kSource] = QStringLiteral("line");
        break;
    case KeyRule::Source::Columns: {
        o[kSource] = QStringLiteral("columns");
        QJsonArray columns;
        for (const int column : rule.columns)
            columns.append(column);
        o[kColumns] = columns;
        break;
    }
    case KeyRule::Source::Pattern:
        o[kSource] = QStringLiteral("pattern");
        o[kPattern] = rule.pattern;
        break;
    }
    // The separator cuts the columns compared, and the one summed.
    if (rule.source == KeyRule::Source::Columns || rule.sumColumn != 0) {
        switch (rule.separator.kind) {
        case Separator::Kind::Character:
            o[kSeparator] = QStringLiteral("character");
            o[kCharacter] = rule.separator.character;
            break;
        case Separator::Kind::Space:
            o[kSeparator] = QStringLiteral("space");
            break;
        case Separator::Kind::Csv:
            o[kSeparator] = QStringLiteral("csv");
            break;
        }
    }
    for (const ComparisonOption& option : ComparisonOptions()) {
        const int value = OptionValue(option, rule);
        if (option.member.family != OptionFamily::Key || value == DefaultOptionValue(option))
            continue;
        const QString word = QString::fromLatin1(option.settingsWord);
        if (option.isFlag())
            o[word] = true;
        else
            o[word] = OptionWord(option, value);
    }
    // The rules of the kind of key, under the words the command line gives them.
    if (rule.kind == KeyRule::Kind::Phone)
        o[QStringLiteral("region")] = rule.region;
    const std::pair<const char*, bool> rules[] = {{"plus", rule.plus},
                                                  {"gmail", rule.gmail},
                                                  {"www", rule.www},
                                                  {"slash", rule.slash},
                                                  {"scheme", rule.scheme}};
    for (const auto& [word, on] : rules) {
        if (on)
            o[QString::fromLatin1(word)] = true;
    }
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

namespace {

bool ReadSeparator(const QJsonObject& o, Separator* into) {
    const QString separator = o.value(kSeparator).toString();
    if (separator == u"space") {
        into->kind = Separator::Kind::Space;
    } else if (separator == u"csv") {
        into->kind = Separator::Kind::Csv;
    } else {
        QString error;
        const std::optional<Separator> read =
            ParseSeparator(o.value(kCharacter).toString(), &error);
        if (!read || read->kind != Separator::Kind::Character)
            return false;
        *into = *read;
    }
    return true;
}

} // namespace

KeyRule KeyRuleFromText(const QString& text) {
    KeyRule rule;
    const QJsonObject o = QJsonDocument::fromJson(text.toUtf8()).object();
    const QString source = o.value(kSource).toString();
    if (source == u"columns") {
        std::vector<int> columns;
        for (const QJsonValue column : o.value(kColumns).toArray()) {
            const int n = column.toInt(0);
            if (n <= 0)
                return {};
            columns.push_back(n);
        }
        if (columns.empty())
            return {};
        rule.source = KeyRule::Source::Columns;
        rule.columns = std::move(columns);
        if (!ReadSeparator(o, &rule.separator))
            return {};
    } else if (source == u"pattern") {
        const QString pattern = o.value(kPattern).toString();
        if (!PatternError(pattern).isEmpty())
            return {};
        rule.source = KeyRule::Source::Pattern;
        rule.pattern = pattern;
    }
    for (const ComparisonOption& option : ComparisonOptions()) {
        if (option.member.family != OptionFamily::Key)
            continue;
        const QJsonValue value = o.value(QString::fromLatin1(option.settingsWord));
        if (option.isFlag())
            SetOptionValue(option, rule, value.toBool(false) ? 1 : 0);
        else if (const std::optional<int> chosen = OptionValueOfWord(option, value.toString()))
            SetOptionValue(option, rule, *chosen);
    }
    if (const QString region = o.value(QStringLiteral("region")).toString();
        rule.kind == KeyRule::Kind::Phone && IsPhoneRegion(region))
        rule.region = region;
    const bool email = rule.kind == KeyRule::Kind::Email, url = rule.kind == KeyRule::Kind::Url;
    rule.plus = email && o.value(QStringLiteral("plus")).toBool(false);
    rule.gmail = email && o.value(QStringLiteral("gmail")).toBool(false);
    rule.www = url && o.value(QStringLiteral("www")).toBool(false);
    rule.slash = url && o.value(QStringLiteral("slash")).toBool(false);
    rule.scheme = url && o.value(QStringLiteral("scheme")).toBool(false);
    // A sum over the whole line cuts its columns by the separator remembered with it.
    if (rule.source != KeyRule::Source::Columns && rule.sumColumn != 0 && o.contains(kSeparator) &&
        !ReadSeparator(o, &rule.separator))
        return {};
    return rule;
}

QString ComparedListsToText(const std::vector<ComparedList>& lists) {
    QJsonArray array;
    for (const ComparedList& list : lists) {
        if (list.path.isEmpty() && list.text.size() > kRememberedListChars)
            continue;
        QJsonObject o;
        o[kKind] = ListKindName(list.kind);
        if (list.path.isEmpty())
            o[kText] = list.text;
        else
            o[kPath] = list.path;
        array.append(o);
    }
    if (array.isEmpty())
        return {};
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

std::vector<ComparedList> ComparedListsFromText(const QString& text) {
    std::vector<ComparedList> lists;
    for (const QJsonValue value : QJsonDocument::fromJson(text.toUtf8()).array()) {
        const QJsonObject o = value.toObject();
        ComparedList list;
        const std::optional<ListKind> kind = ListKindOfName(o.value(kKind).toString());
        if (!kind)
            continue;
        list.kind = *kind;
        list.path = o.value(kPath).toString();
        list.text = o.value(kText).toString();
        if (!list.path.isEmpty())
            list.name = QFileInfo(list.path).fileName();
        else if (list.text.isEmpty())
            continue;
        if (lists.size() == std::size_t(kMostComparedLists))
            break;
        lists.push_back(std::move(list));
    }
    NumberPastedLists(lists);
    return lists;
}
