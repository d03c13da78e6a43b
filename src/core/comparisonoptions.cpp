#include "core/comparisonoptions.h"

#include "core/order/sumcolumn.h"

#include "core/shown.h"

#include <algorithm>
#include <climits>
#include <iterator>
#include <type_traits>

namespace {

template <typename> struct MemberParts;
template <typename Owner, typename Value> struct MemberParts<Value Owner::*> {
    using OwnerType = Owner;
    using ValueType = Value;
};

// Reads and sets the member M (of FilterOptions or KeyRule, a bool or an enum) as a number; its
// class is its family.
template <auto M> constexpr OptionMember Member() {
    using Owner = typename MemberParts<decltype(M)>::OwnerType;
    using Value = typename MemberParts<decltype(M)>::ValueType;
    static_assert(std::is_same_v<Value, bool> || std::is_enum_v<Value> ||
                  std::is_same_v<Value, int>);
    static_assert(std::is_same_v<Owner, FilterOptions> || std::is_same_v<Owner, KeyRule>);
    OptionMember member;
    if constexpr (std::is_same_v<Owner, KeyRule>) {
        member.family = OptionFamily::Key;
        member.getInKey = [](const KeyRule& key) { return int(key.*M); };
        member.setInKey = [](KeyRule& key, int value) { key.*M = static_cast<Value>(value); };
    } else {
        member.family = OptionFamily::Menu;
        member.get = [](const FilterOptions& options) { return int(options.*M); };
        member.set = [](FilterOptions& options, int value) {
            options.*M = static_cast<Value>(value);
        };
    }
    return member;
}

const OptionChoice kKeepModes[] = {
    {int(KeepMode::First), "first", u"保留第一次出现的行", "KeepFirst"},
    {int(KeepMode::Last), "last", u"保留最后一次出现的行", "KeepLast"},
    {int(KeepMode::Unique), "unique", u"只保留没有重复的行", "KeepUnique"},
    {int(KeepMode::Repeated), "repeated", u"只列出重复的行", "KeepRepeated"},
    {int(KeepMode::Longest), "longest", u"保留最长的行", "KeepLongest"},
    {int(KeepMode::Shortest), "shortest", u"保留最短的行", "KeepShortest"},
};

const OptionChoice kSortOrders[] = {
    {int(SortOrder::None), "none", u"不排序", "SortNone"},
    {int(SortOrder::Text), "text", u"按文字", "SortText", u"按文字排序"},
    {int(SortOrder::Natural), "natural", u"按数字大小", "SortNatural", u"按数字大小排序"},
    {int(SortOrder::Pinyin), "pinyin", u"按拼音", "SortPinyin", u"按拼音排序"},
    {int(SortOrder::Length), "length", u"按长度", "SortLength", u"按长度排序"},
    {int(SortOrder::Count), "count", u"按出现次数", "SortCount", u"按出现次数排序"},
};

const OptionChoice kKeyKinds[] = {
    {int(KeyRule::Kind::Text), "text", u"按文字比较", "KeyText"},
    {int(KeyRule::Kind::Phone), "phone", u"按电话号码比较", "KeyPhone"},
    {int(KeyRule::Kind::Email), "email", u"按邮箱地址比较", "KeyEmail"},
    {int(KeyRule::Kind::Url), "url", u"按网址比较", "KeyUrl"},
};

// The table. Each row, in this order: the member; the command-line name and help; the word the
// settings remember; the label in the menu or dialog (and the words of the note, where they
// differ; the dialog's tooltip); the menu item's or check box's objectName; whether it changes
// the text compared; a choice's values, a number's range.
const ComparisonOption kOptions[] = {
    {.member = Member<&FilterOptions::ignoreCase>(),
     .name = "ignore-case",
     .help = u"忽略大小写。",
     .settingsWord = "ignore-case",
     .label = u"忽略大小写",
     .objectName = "OptionIgnoreCase",
     .transformsLines = true,
     .refusedByKinds = KindBit(KeyRule::Kind::Phone)},
    {.member = Member<&FilterOptions::trim>(),
     .name = "trim",
     .help = u"忽略每行首尾的空白。",
     .settingsWord = "trim",
     .label = u"忽略首尾空白",
     .objectName = "OptionTrim",
     .transformsLines = true},
    {.member = Member<&FilterOptions::ignoreWidth>(),
     .name = "ignore-width",
     .help = u"忽略全角半角（按 NFKC 比较）。",
     .settingsWord = "ignore-width",
     .label = u"忽略全角半角",
     .objectName = "OptionIgnoreWidth",
     .transformsLines = true},
    {.member = Member<&FilterOptions::keepBlank>(),
     .name = "keep-blank",
     .help = u"保留所有空行。",
     .settingsWord = "keep-blank",
     .label = u"保留空行",
     .objectName = "OptionKeepBlank"},
    {.member = Member<&FilterOptions::keep>(),
     .name = "keep",
     .help = u"保留哪一行：first（第一次出现的，默认）、last（最后一次出现的）、"
             u"unique（只保留没有重复的行）、repeated（只列出重复的行）、"
             u"longest（字数最多的，一样多时取第一个）、shortest（字数最少的，一样多时取第一个）。",
     .settingsWord = "keep",
     .valueName = u"方式",
     .choices = kKeepModes},
    {.member = Member<&FilterOptions::similar>(),
     .name = "similar",
     .help = u"相似的行也算重复：比较的部分相似度达到 P%（50 到 99，按编辑距离）的行，"
             u"算作前面第一个与它相似且保留下来的行的重复。只能与 --keep first 一起用。",
     .settingsWord = "similar",
     .label = u"相似的行也算重复",
     .described = u"相似度达到 %1% 的行也算重复",
     .objectName = "OptionSimilar",
     .valueName = u"P",
     .minimum = 50,
     .maximum = 99,
     .usual = 90},
    {.member = Member<&FilterOptions::sort>(),
     .name = "sort",
     .help =
         u"去掉重复后按比较的部分排序：text（按文字）、natural（数字按大小）、pinyin（按拼音）、"
         u"length（按长度，短的在前）、count（按出现次数，多的在前）；相同的保持原来的顺序。",
     .settingsWord = "sort",
     .valueName = u"顺序",
     .choices = kSortOrders,
     .subMenu = u"排序",
     .subMenuObjectName = "SortMenu"},
    {.member = Member<&FilterOptions::reverse>(),
     .name = "reverse",
     .help = u"倒序排列（相同的仍保持原来的顺序）。",
     .settingsWord = "reverse",
     .label = u"倒序",
     .described = u"倒序排列",
     .objectName = "SortReverse",
     .subMenu = u"排序",
     .subMenuObjectName = "SortMenu"},
    {.member = Member<&KeyRule::digitsOnly>(),
     .name = "digits-only",
     .help = u"比较时只看数字（开头的 + 保留），例如电话号码。",
     .settingsWord = "digitsOnly",
     .label = u"只比较数字（保留开头的 +）",
     .described = u"只比较数字",
     .tip = u"电话号码写法不一时：+1 (555) 123-4567 与 +1 555 1234567 相同",
     .objectName = "KeyDigitsOnly",
     .transformsLines = true,
     .refusedByKinds = kContactKinds},
    {.member = Member<&KeyRule::ignoreSpaces>(),
     .name = "ignore-spaces",
     .help = u"比较时忽略所有空白字符。",
     .settingsWord = "ignoreSpaces",
     .label = u"忽略所有空白",
     .objectName = "KeyIgnoreSpaces",
     .transformsLines = true,
     .refusedByKinds = kContactKinds},
    {.member = Member<&KeyRule::ignorePunct>(),
     .name = "ignore-punct",
     .help = u"比较时忽略标点符号。",
     .settingsWord = "ignorePunct",
     .label = u"忽略标点",
     .objectName = "KeyIgnorePunct",
     .transformsLines = true,
     .refusedByKinds = kContactKinds},
    {.member = Member<&KeyRule::ignoreInvisible>(),
     .name = "ignore-invisible",
     .help = u"比较时忽略看不见的格式字符（零宽空格、零宽连接符、方向标记等）。",
     .settingsWord = "ignoreInvisible",
     .label = u"忽略不可见字符",
     .tip = u"零宽空格、连接符、方向标记、文中的 BOM 等",
     .objectName = "KeyIgnoreInvisible",
     .transformsLines = true},
    {.member = Member<&KeyRule::header>(),
     .name = "header",
     .help = u"每个输入的第一行是表头：第一个输入的表头先写出，不参与比较；其他输入的表头与它相同时"
             u"去掉，不同时按普通的行处理（并在标准错误中说明）。比较清单的第一行也是表头。",
     .settingsWord = "header",
     .label = u"第一行是表头",
     .tip = u"第一行先写出，不参与比较；以后各个输入中相同的表头去掉",
     .objectName = "KeyHeader"},
    {.member = Member<&KeyRule::sumColumn>(),
     .name = "sum",
     .help = u"合并：比较的部分相同的行合成一行（--keep 选出的那一行），它的第 COL 列（列由 "
             u"--separator 分开）换成这些行这一列的数字之和（精确的十进制，小数位数取最多的）。"
             u"不给 --field 时，比较除第 COL 列以外的各列。这一列不是数字的行不合并，原样保留。",
     .settingsWord = "sum",
     .label = u"合并：把第 N 列的数字加起来",
     .described = u"把第 %1 列的数字加起来",
     .objectName = "KeySum",
     .valueName = u"COL",
     .minimum = 1,
     .maximum = INT_MAX,
     .usual = 2},
    {.member = Member<&KeyRule::kind>(),
     .name = "key",
     .help = u"按比较部分中的电话号码、邮箱地址或网址判断重复：phone[:地区]（E.164，地区默认 CN）、"
             u"email[:plus][,gmail]、url[:www][,slash][,scheme]；没有有效的键的行保留。",
     .settingsWord = "kind",
     .transformsLines = true,
     .valueName = u"键",
     .choices = kKeyKinds},
};

// The row of the member M: the one that reads it through the very getter Member<M> makes.
template <auto M> const ComparisonOption& OptionOf() {
    const OptionMember wanted = Member<M>();
    const auto found = std::find_if(std::begin(kOptions), std::end(kOptions), [&](const auto& row) {
        return row.member.get == wanted.get && row.member.getInKey == wanted.getInKey;
    });
    Q_ASSERT(found != std::end(kOptions));
    return *found;
}

QString Text(const char16_t* text) {
    return text ? QString::fromUtf16(text) : QString();
}

// What the note says of an option's value; empty at its default.
QString Describe(const ComparisonOption& option, int value) {
    if (value == DefaultOptionValue(option))
        return {};
    if (option.isFlag())
        return Text(option.described ? option.described : option.label);
    if (option.isNumber())
        return Text(option.described).arg(value);
    for (const OptionChoice& choice : option.choices) {
        if (choice.value == value)
            return Text(choice.described ? choice.described : choice.label);
    }
    return {};
}

template <typename Setup> QStringList DescribeFamily(const Setup& setup, OptionFamily family) {
    QStringList parts;
    for (const ComparisonOption& option : ComparisonOptions()) {
        if (option.member.family != family)
            continue;
        if (QString part = Describe(option, OptionValue(option, setup)); !part.isEmpty())
            parts << std::move(part);
    }
    return parts;
}

} // namespace

std::span<const ComparisonOption> ComparisonOptions() {
    return kOptions;
}

const ComparisonOption& KeepModeOption() {
    return OptionOf<&FilterOptions::keep>();
}

const ComparisonOption& KeyKindOption() {
    return OptionOf<&KeyRule::kind>();
}

int OptionValue(const ComparisonOption& option, const FilterOptions& options) {
    return option.member.family == OptionFamily::Key ? option.member.getInKey(options.key)
                                                     : option.member.get(options);
}

int OptionValue(const ComparisonOption& option, const KeyRule& key) {
    return option.member.getInKey ? option.member.getInKey(key) : 0;
}

int DefaultOptionValue(const ComparisonOption& option) {
    return OptionValue(option, FilterOptions{});
}

void SetOptionValue(const ComparisonOption& option, FilterOptions& options, int value) {
    if (option.member.family == OptionFamily::Key)
        option.member.setInKey(options.key, value);
    else
        option.member.set(options, value);
}

void SetOptionValue(const ComparisonOption& option, KeyRule& key, int value) {
    if (option.member.setInKey)
        option.member.setInKey(key, value);
}

QString OptionWord(const ComparisonOption& option, int value) {
    if (option.isNumber())
        return value == DefaultOptionValue(option) ? QString() : QString::number(value);
    for (const OptionChoice& choice : option.choices) {
        if (choice.value == value)
            return QString::fromLatin1(choice.word);
    }
    return {};
}

std::optional<int> OptionValueOfWord(const ComparisonOption& option, QStringView word,
                                     QString* error) {
    if (option.isNumber()) {
        bool ok = false;
        const int value = word.toInt(&ok);
        if (ok && value >= option.minimum && value <= option.maximum)
            return value;
        if (error)
            *error = QStringLiteral("--%1 只能是 %2 到 %3 之间的整数，不能是“%4”。")
                         .arg(QString::fromLatin1(option.name))
                         .arg(option.minimum)
                         .arg(option.maximum)
                         .arg(Shown(word.toString()));
        return std::nullopt;
    }
    QStringList words;
    for (const OptionChoice& choice : option.choices) {
        if (word == QLatin1String(choice.word))
            return choice.value;
        words << QString::fromLatin1(choice.word);
    }
    if (error) {
        const QString last = words.isEmpty() ? QString() : words.takeLast();
        const QString all = words.isEmpty()
                                ? last
                                : words.join(QStringLiteral("、")) + QStringLiteral(" 或 ") + last;
        *error = QStringLiteral("--%1 只能是 %2，不能是“%3”。")
                     .arg(QString::fromLatin1(option.name), all, Shown(word.toString()));
    }
    return std::nullopt;
}

QStringList DescribeOptions(const FilterOptions& options) {
    return DescribeFamily(options, OptionFamily::Menu);
}

QStringList DescribeKeyOptions(const KeyRule& key) {
    return DescribeFamily(key, OptionFamily::Key);
}

std::vector<const ComparisonOption*> OptionsRefusedByKey(const FilterOptions& options) {
    std::vector<const ComparisonOption*> refused;
    for (const ComparisonOption& option : kOptions) {
        const int value = option.member.family == OptionFamily::Key
                              ? OptionValue(option, options.key)
                              : OptionValue(option, options);
        if (value != DefaultOptionValue(option) && !OptionGoesWithKind(option, options.key.kind))
            refused.push_back(&option);
    }
    return refused;
}

void ResetRefusedOptions(FilterOptions& options) {
    for (const ComparisonOption* option : OptionsRefusedByKey(options)) {
        if (option->member.family == OptionFamily::Key)
            SetOptionValue(*option, options.key, DefaultOptionValue(*option));
        else
            SetOptionValue(*option, options, DefaultOptionValue(*option));
    }
    // A sum goes before near repeats, which merge nothing; a sum of a compared column goes.
    if (!SumRefusal(options).isEmpty())
        options.similar = 0;
    if (!SumRefusal(options).isEmpty())
        options.key.sumColumn = 0;
}

bool SameKeyOptions(const KeyRule& a, const KeyRule& b) {
    for (const ComparisonOption& option : ComparisonOptions()) {
        if (option.member.family == OptionFamily::Key &&
            OptionValue(option, a) != OptionValue(option, b))
            return false;
    }
    return true;
}

QString FilterOptionsToText(const FilterOptions& options) {
    QStringList words;
    for (const ComparisonOption& option : ComparisonOptions()) {
        const int value = OptionValue(option, options);
        if (option.member.family != OptionFamily::Menu || value == DefaultOptionValue(option))
            continue;
        const QString word = QString::fromLatin1(option.settingsWord);
        words << (option.isFlag() ? word : word + u'=' + OptionWord(option, value));
    }
    return words.join(u' ');
}

FilterOptions FilterOptionsFromText(const QString& text) {
    FilterOptions options;
    for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
        const qsizetype equals = word.indexOf(u'=');
        const QStringView name = QStringView(word).left(equals);
        for (const ComparisonOption& option : ComparisonOptions()) {
            if (option.member.family != OptionFamily::Menu ||
                name != QLatin1String(option.settingsWord) || option.isFlag() != (equals < 0))
                continue;
            if (option.isFlag())
                SetOptionValue(option, options, 1);
            else if (const std::optional<int> value =
                         OptionValueOfWord(option, QStringView(word).sliced(equals + 1)))
                SetOptionValue(option, options, *value);
        }
    }
    return options;
}
