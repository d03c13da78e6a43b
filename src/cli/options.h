#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>

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
    QCommandLineOption ignoreCase{QStringLiteral("ignore-case"), QStringLiteral("忽略大小写。")};
    QCommandLineOption trim{QStringLiteral("trim"), QStringLiteral("忽略每行首尾的空白。")};
    QCommandLineOption width{QStringLiteral("ignore-width"),
                             QStringLiteral("忽略全角半角（按 NFKC 比较）。")};
    QCommandLineOption keepBlank{QStringLiteral("keep-blank"), QStringLiteral("保留所有空行。")};
    QCommandLineOption keep{QStringLiteral("keep"),
                            QStringLiteral("保留哪一行：first（第一次出现的，默认）、"
                                           "last（最后一次出现的）、unique（只保留没有重复的行）、"
                                           "repeated（只列出重复的行）。"),
                            QStringLiteral("方式"), QStringLiteral("first")};
    QCommandLineOption exclude{
        QStringLiteral("exclude"),
        QStringLiteral("删除输入中在 <清单> 里出现的行（按同样的比较规则）。可以给多次，"
                       "每个清单的编码各自识别。"),
        QStringLiteral("清单")};
    QCommandLineOption intersect{
        QStringLiteral("intersect"),
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
    QCommandLineOption digitsOnly{
        QStringLiteral("digits-only"),
        QStringLiteral("比较时只看数字（开头的 + 保留），例如电话号码。")};
    QCommandLineOption ignoreSpaces{QStringLiteral("ignore-spaces"),
                                    QStringLiteral("比较时忽略所有空白字符。")};
    QCommandLineOption ignorePunct{QStringLiteral("ignore-punct"),
                                   QStringLiteral("比较时忽略标点符号。")};
    QCommandLineOption ignoreInvisible{
        QStringLiteral("ignore-invisible"),
        QStringLiteral("比较时忽略看不见的格式字符（零宽空格、零宽连接符、方向标记等）。")};
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

    QList<const QCommandLineOption*> all() const {
        return {&output,      &encoding,        &outputEncoding, &crlf,       &lf,
                &stats,       &progress,        &noProgress,     &ignoreCase, &trim,
                &width,       &keepBlank,       &keep,           &exclude,    &intersect,
                &field,       &separator,       &keyRegex,       &digitsOnly, &ignoreSpaces,
                &ignorePunct, &ignoreInvisible, &counts,         &removed,    &memory,
                &help,        &version};
    }
};

// The whole help: the usage, what the program does, each option, the exit statuses.
QString HelpText(const Options& options);
