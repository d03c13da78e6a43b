#include "cli/options.h"

#include "cli/helptext.h"
#include "core/comparisonoptions.h"

#include <QStringList>

const QString kUsage = QStringLiteral("用法：trennix-cli [选项] [输入文件...] [-o 输出文件]");

std::vector<QCommandLineOption> Options::ComparedOptions() {
    std::vector<QCommandLineOption> options;
    for (const ComparisonOption& c : ComparisonOptions()) {
        QCommandLineOption& option =
            options.emplace_back(QString::fromLatin1(c.name), QString::fromUtf16(c.help));
        if (!c.isFlag())
            option.setValueName(QString::fromUtf16(c.valueName));
        if (!c.isFlag() && !c.isNumber())
            option.setDefaultValue(OptionWord(c, DefaultOptionValue(c)));
    }
    return options;
}

QList<const QCommandLineOption*> Options::all() const {
    QList<const QCommandLineOption*> all{&output, &encoding, &outputEncoding, &crlf,
                                         &lf,     &stats,    &progress,       &noProgress};
    auto family = [&](OptionFamily wanted) {
        for (std::size_t i = 0; i < compared.size(); ++i) {
            if (ComparisonOptions()[i].member.family == wanted)
                all << &compared[i];
        }
    };
    family(OptionFamily::Menu);
    all << &exclude << &intersect << &field << &separator << &keyRegex;
    family(OptionFamily::Key);
    all << &counts << &removed << &memory << &help << &version;
    return all;
}

std::optional<QString> ReadComparisonOptions(const QCommandLineParser& parser, const Options& o,
                                             FilterOptions& options) {
    for (std::size_t i = 0; i < o.compared.size(); ++i) {
        const ComparisonOption& option = ComparisonOptions()[i];
        if (option.isFlag()) {
            SetOptionValue(option, options, parser.isSet(o.compared[i]) ? 1 : 0);
            continue;
        }
        if (option.isNumber() && !parser.isSet(o.compared[i])) {
            SetOptionValue(option, options, DefaultOptionValue(option));
            continue;
        }
        QString error;
        QString word = parser.value(o.compared[i]);
        if (option.member.family == OptionFamily::Key) // its rules follow a colon: --key phone:US
            word = word.section(u':', 0, 0);
        const std::optional<int> value = OptionValueOfWord(option, word, &error);
        if (!value)
            return error;
        SetOptionValue(option, options, *value);
    }
    return std::nullopt;
}

QString HelpText(const Options& options) {
    QList<HelpEntry> entries;
    for (const QCommandLineOption* option : options.all()) {
        QStringList names;
        for (const QString& name : option->names())
            names << (name.size() == 1 ? u'-' + name : QStringLiteral("--") + name);
        QString shown = names.join(QStringLiteral(", "));
        if (!option->valueName().isEmpty())
            shown += QStringLiteral(" <%1>").arg(option->valueName());
        entries.append(HelpEntry{shown, option->description()});
    }
    return kUsage + u'\n' +
           WrapText(
               QStringLiteral(
                   "删除文本中重复的行：每一行只保留第一次出现的那一行，其余的顺序不变。\n"
                   "没有输入文件或输入文件为 - 时读标准输入；多个输入文件按顺序连成一个文本。\n"
                   "输入的编码自动识别；结果保持输入的编码、BOM 和换行符。"),
               80) +
           QStringLiteral("\n\n选项：\n") + FormatHelpEntries(entries) +
           QStringLiteral("\n参数：\n") +
           FormatHelpEntries({HelpEntry{QStringLiteral("输入文件"),
                                        QStringLiteral("要过滤的文件；- 表示标准输入。")}}) +
           QStringLiteral("\n例子：\n") +
           FormatHelpEntries(
               {HelpEntry{QStringLiteral("trennix-cli 名单.txt --exclude 退订.txt -o 待发.txt"),
                          QStringLiteral("去掉名单中的重复行和退订清单里有的行。")},
                HelpEntry{QStringLiteral("trennix-cli a.txt --intersect b.txt"),
                          QStringLiteral("只列出 a.txt 中在 b.txt 里也有的行。")},
                HelpEntry{QStringLiteral("trennix-cli 客户.csv --separator csv --field 3 "
                                         "--digits-only"),
                          QStringLiteral("第 3 列的电话号码（不管空格、横线、括号）相同就算重复，"
                                         "保留整行。")},
                HelpEntry{QStringLiteral("trennix-cli 词典.txt --field 1"),
                          QStringLiteral("制表符前的词条相同就算重复。")},
                HelpEntry{QStringLiteral("trennix-cli 日志.txt --key-regex \"id=(\\d+)\""),
                          QStringLiteral("按 id= 后面的数字判断重复。")}}) +
           QStringLiteral("\n退出状态：0 成功；1 输入或输出失败；2 用法错误。\n");
}
