#pragma once

#include "core/filteroptions.h"
#include "core/listkind.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>

#include <optional>
#include <vector>

// The options of trennix-cli, each with its help, and the help they make.

extern const QString kUsage; // the usage line

// The options, each with its help.
struct Options {
    QCommandLineOption output{{QStringLiteral("o"), QStringLiteral("output")},
                              QStringLiteral("把结果写入文件 <输出文件>（可以是输入文件之一）；"
                                             "不给时写到标准输出。"),
                              QStringLiteral("输出文件")};
    QCommandLineOption encoding{
        QStringLiteral("encoding"),
        QStringLiteral("指定输入的编码：utf-8、gbk、gb18030、utf-16le、utf-16be。"),
        QStringLiteral("编码")};
    QCommandLineOption outputEncoding{QStringLiteral("output-encoding"),
                                      QStringLiteral("结果改用这种编码（名称同上）。"),
                                      QStringLiteral("编码")};
    QCommandLineOption crlf{QStringLiteral("crlf"), QStringLiteral("结果的每一行以 CR LF 结束。")};
    QCommandLineOption lf{QStringLiteral("lf"), QStringLiteral("结果的每一行以 LF 结束。")};
    QCommandLineOption stats{
        QStringLiteral("stats"),
        QStringLiteral("在标准错误上报告读入、保留、删除的行数和有重复的行数。")};
    QCommandLineOption progress{
        QStringLiteral("progress"),
        QStringLiteral("在标准错误上显示进度、速度和剩余时间。标准错误是终端、输入又超过 "
                       "8 MB 时默认显示。")};
    QCommandLineOption noProgress{QStringLiteral("no-progress"), QStringLiteral("不显示进度。")};
    QCommandLineOption exclude{
        ListKindName(ListKind::Exclude),
        QStringLiteral("删除输入中在 <清单> 里出现的行（按同样的比较规则）。可以给多次，"
                       "每个清单的编码各自识别。"),
        QStringLiteral("清单")};
    QCommandLineOption intersect{
        ListKindName(ListKind::Intersect),
        QStringLiteral("只保留输入中在 <清单> 里也出现的行；给多次时，要在每个清单里都出现。"),
        QStringLiteral("清单")};
    QCommandLineOption field{
        QStringLiteral("field"),
        QStringLiteral("按第几列判断重复（从 1 开始），例如 2 或 1,3；列由 --separator "
                       "分开。输出的仍是整行。"),
        QStringLiteral("列")};
    QCommandLineOption separator{
        QStringLiteral("separator"),
        QStringLiteral("列的分隔符：一个字符、tab（默认）、space（连续的空白）或 csv（带引号的 "
                       "CSV，引号不跨行）。"),
        QStringLiteral("分隔符")};
    QCommandLineOption keyRegex{
        QStringLiteral("key-regex"),
        QStringLiteral("按正则表达式的第一个捕获组判断重复（没有捕获组时按整个匹配）。"),
        QStringLiteral("正则")};
    QCommandLineOption counts{QStringLiteral("counts"),
                              QStringLiteral("每个保留的行前面写上它出现的次数和一个制表符。")};
    QCommandLineOption removed{
        QStringLiteral("removed"),
        QStringLiteral("把删除的每一行写入 <文件>：它的行号（几个输入时为“文件名:行号”）、"
                       "制表符、它重复的那一行（保留的那一行）的行号、制表符、原来的行。"
                       "被清单删除的行写清单名，空行写 blank，只保留重复的行时只出现一次的行"
                       "写 unique。编码和换行同结果。"),
        QStringLiteral("文件")};
    QCommandLineOption memory{
        QStringLiteral("memory"),
        QStringLiteral("内存预算，例如 512M 或 2G；超出时借助临时文件分批处理。默认为当前可用"
                       "内存的一半（至少 256M）。"),
        QStringLiteral("大小")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("显示本帮助并退出。")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               QStringLiteral("显示版本并退出。")};

    // The comparison options, one for each of the table of comparisonoptions.h, in its order.
    std::vector<QCommandLineOption> compared = ComparedOptions();

    // Every option, in the help's order: the comparison options of the menu's family after the
    // progress, those of the part compared after the pattern.
    QList<const QCommandLineOption*> all() const;

private:
    static std::vector<QCommandLineOption> ComparedOptions();
};

// The whole help: the usage, what the program does, each option, the exit statuses.
QString HelpText(const Options& options);

// Sets the comparison options as the command line gives them; nothing when all is right,
// otherwise what is wrong.
std::optional<QString> ReadComparisonOptions(const QCommandLineParser& parser, const Options& o,
                                             FilterOptions& options);
