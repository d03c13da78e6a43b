#include "cli/cli.h"

#include "cli/options.h"
#include "cli/outputsinks.h"
#include "cli/progressmeter.h"
#include "cli/runfiles.h"
#include "core/comparisonoptions.h"
#include "core/forecast.h"
#include "core/grouped.h"
#include "core/keeprules.h"
#include "core/keys/contactkeys.h"
#include "core/linekey.h"
#include "core/listkind.h"
#include "core/order/sumcolumn.h"
#include "core/programwords.h"
#include "core/shown.h"
#include "engine/engine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QIODevice>
#include <QLocale>

#include <atomic>
#include <limits>

namespace {

std::atomic<bool> interrupted = false;

const QString kProgram = QStringLiteral("trennix-cli");

void Print(QIODevice& to, const QString& text) {
    to.write(text.toUtf8());
}

// A message of the program, after its name, the way every message of it starts. Each of its lines
// has its control characters shown as escapes, so that whatever a name or a value holds reaches
// the terminal as text; the values themselves are put in with Shown or ShownPath.
void Say(QIODevice& errors, const QString& message) {
    QStringList lines = message.split(u'\n');
    for (QString& line : lines)
        line = EscapeControls(line);
    Print(errors, kProgram + QStringLiteral(": ") + lines.join(u'\n') + u'\n');
}

int UsageError(QIODevice& errors, const QString& message) {
    Say(errors, message);
    Print(errors, kUsage + QStringLiteral("\n用 trennix-cli --help 查看全部选项。\n"));
    return 2;
}

// Reads a size such as 512M, 2G or 1048576 (bytes); -1 when it is none or too large to count.
qint64 ParseSize(const QString& text) {
    QString t = text.trimmed().toUpper();
    qint64 factor = 1;
    if (t.endsWith(u'K'))
        factor = qint64(1) << 10;
    else if (t.endsWith(u'M'))
        factor = qint64(1) << 20;
    else if (t.endsWith(u'G'))
        factor = qint64(1) << 30;
    if (factor > 1)
        t.chop(1);
    bool ok = false;
    const qint64 n = t.toLongLong(&ok);
    if (!ok || n <= 0 || n > std::numeric_limits<qint64>::max() / factor)
        return -1;
    return n * factor;
}

// Reads what part of a line is compared (--field, --separator, --key-regex); nothing when all is
// right, otherwise what is wrong.
std::optional<QString> ReadKey(const QCommandLineParser& parser, const Options& o, KeyRule& key) {
    QString error;
    if (parser.isSet(o.field) && parser.isSet(o.keyRegex))
        return QStringLiteral("--field 和 --key-regex 只能选一个。");
    if (parser.isSet(o.separator) && !parser.isSet(o.field) && key.sumColumn == 0)
        return QStringLiteral("--separator 要和 --field 或 --sum 一起用，说明按哪一列比较或相加。");
    if (parser.isSet(o.field)) {
        const std::optional<std::vector<int>> columns =
            ParseFieldList(parser.value(o.field), &error);
        if (!columns)
            return error;
        key.source = KeyRule::Source::Columns;
        key.columns = *columns;
    }
    if (parser.isSet(o.separator)) {
        const std::optional<Separator> separator =
            ParseSeparator(parser.value(o.separator), &error);
        if (!separator)
            return error;
        key.separator = *separator;
    }
    if (parser.isSet(o.keyRegex)) {
        key.source = KeyRule::Source::Pattern;
        key.pattern = parser.value(o.keyRegex);
        InstallQtTranslation(); // Qt's own description of a fault in the pattern, in Chinese
        if (QString wrong = PatternError(key.pattern); !wrong.isEmpty())
            return wrong;
    }
    return std::nullopt;
}

// Reads the rules after the colon of --key (the region, or the e-mail or web-address rules) and
// refuses the options that mean nothing with its kind.
std::optional<QString> ReadKeyRules(const QString& value, FilterOptions& options) {
    KeyRule& key = options.key;
    const qsizetype colon = value.indexOf(u':');
    const QString rules = colon < 0 ? QString() : value.sliced(colon + 1);
    const QString kind = value.left(colon < 0 ? value.size() : colon);
    if (key.kind == KeyRule::Kind::Text && colon >= 0)
        return QStringLiteral("--key text 后面不能有规则。");
    if (key.kind == KeyRule::Kind::Phone && colon >= 0) {
        key.region = rules.toUpper();
        if (!IsPhoneRegion(key.region))
            return QStringLiteral("--key phone 的地区“%1”不是电话号码库认识的地区代码"
                                  "（ISO 3166，例如 CN、US、DE）。")
                .arg(Shown(rules));
    }
    if (key.kind == KeyRule::Kind::Email || key.kind == KeyRule::Kind::Url) {
        const bool email = key.kind == KeyRule::Kind::Email;
        for (const QString& rule : rules.split(u',', Qt::SkipEmptyParts)) {
            bool* flag = email ? (rule == u"plus"    ? &key.plus
                                  : rule == u"gmail" ? &key.gmail
                                                     : nullptr)
                               : (rule == u"www"      ? &key.www
                                  : rule == u"slash"  ? &key.slash
                                  : rule == u"scheme" ? &key.scheme
                                                      : nullptr);
            if (!flag)
                return QStringLiteral("--key %1 的规则只能是 %2，不能是“%3”。")
                    .arg(kind,
                         email ? QStringLiteral("plus、gmail")
                               : QStringLiteral("www、slash、scheme"),
                         Shown(rule));
            *flag = true;
        }
    }
    if (key.kind == KeyRule::Kind::Text)
        return std::nullopt;
    QStringList wrong;
    for (const ComparisonOption* option : OptionsRefusedByKey(options))
        wrong << QStringLiteral("--") + QLatin1String(option->name);
    if (!wrong.isEmpty())
        return QStringLiteral("--key %1 不能和 %2 一起用：键由它自己的规则读出。")
            .arg(kind, wrong.join(QStringLiteral("、")));
    return std::nullopt;
}

// What --stats prints: the lines read, kept and removed, the repeated ones, the lines without a key
// when part of a line is compared, and what each compared list removed.
QString StatsText(const EngineStats& s, const EngineSettings& settings) {
    QString text = QStringLiteral("读入行数：%1\n保留行数：%2\n删除行数：%3\n有重复的行：%4\n")
                       .arg(Grouped(s.linesRead), Grouped(s.linesKept), Grouped(s.linesRemoved),
                            Grouped(s.repeatedLines));
    if (settings.options.similar != 0)
        text += QStringLiteral("相似（不完全相同）而删除的行：%1\n").arg(Grouped(s.similarLines));
    if (settings.options.key.sumColumn > 0)
        text += QStringLiteral("第 %1 列不是数字（或没有键）而没有合并的行：%2\n")
                    .arg(settings.options.key.sumColumn)
                    .arg(Grouped(s.keylessLines));
    else if (!settings.options.key.isDefault())
        text += (settings.options.key.kind == KeyRule::Kind::Phone
                     ? QStringLiteral("没有有效电话号码的行：%1\n")
                 : settings.options.key.kind == KeyRule::Kind::Email
                     ? QStringLiteral("没有有效邮箱地址的行：%1\n")
                 : settings.options.key.kind == KeyRule::Kind::Url
                     ? QStringLiteral("没有有效网址的行：%1\n")
                     : QStringLiteral("无键行：%1\n"))
                    .arg(Grouped(s.keylessLines));
    for (std::size_t i = 0; i < settings.lists.size() && i < s.removedByList.size(); ++i) {
        const ComparedList& list = settings.lists[i];
        text +=
            QStringLiteral("%1 %2 删除 %3 行\n")
                .arg(ListKindLabel(list.kind), ShownPath(list.name), Grouped(s.removedByList[i]));
    }
    return text;
}

} // namespace

void InterruptCommandLine() {
    interrupted = true;
}

int RunCommandLine(const QStringList& arguments, QIODevice& output, QIODevice& errors,
                   const CommandLineEnvironment& environment) {
    // A stop asked for before the work begins (a signal while the program starts) stops it; once
    // the run is over, the next one starts afresh.
    struct StopUsedUp {
        ~StopUsedUp() { interrupted = false; }
    } usedUp;
    const Options o;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const QCommandLineOption* option : o.all())
        parser.addOption(*option);
    if (!parser.parse(QStringList{kProgram} + arguments)) {
        if (!parser.unknownOptionNames().isEmpty())
            return UsageError(errors,
                              UnknownOptionMessage(arguments, parser.unknownOptionNames().first()));
        // Qt's own words for the fault, in Chinese: its translation is loaded only for them.
        InstallQtTranslation();
        parser.parse(QStringList{kProgram} + arguments);
        return UsageError(errors, parser.errorText());
    }
    if (parser.isSet(o.help)) {
        Print(output, HelpText(o));
        return 0;
    }
    if (parser.isSet(o.version)) {
        Print(output,
              QStringLiteral("trennix-cli %1\n").arg(QCoreApplication::applicationVersion()));
        return 0;
    }

    EngineSettings settings;
    if (const std::optional<QString> wrong = ReadComparisonOptions(parser, o, settings.options))
        return UsageError(errors, *wrong);
    settings.writeCounts = parser.isSet(o.counts);
    if (!KeepModeAllowed(settings.options, settings.options.keep))
        return UsageError(errors,
                          QStringLiteral("--similar 只能与 --keep first 一起用，"
                                         "不能与 --keep %1 一起用。")
                              .arg(OptionWord(KeepModeOption(),
                                              OptionValue(KeepModeOption(), settings.options))));
    if (settings.options.similar != 0 && settings.writeCounts)
        return UsageError(errors, QStringLiteral("--similar 不能与 --counts 一起用。"));
    for (const auto* option : {&o.encoding, &o.outputEncoding}) {
        if (!parser.isSet(*option))
            continue;
        const std::optional<TextEncoding> encoding = EncodingFromName(parser.value(*option));
        if (!encoding)
            return UsageError(errors,
                              QStringLiteral("不认识的编码“%1”；可用的编码：utf-8、gbk、gb18030、"
                                             "utf-16le、utf-16be。")
                                  .arg(Shown(parser.value(*option))));
        (option == &o.encoding ? settings.inputEncoding : settings.outputEncoding) = encoding;
    }
    if (parser.isSet(o.crlf) && parser.isSet(o.lf))
        return UsageError(errors, QStringLiteral("--crlf 和 --lf 只能选一个。"));
    if (parser.isSet(o.crlf))
        settings.lineBreak = LineBreak::CrLf;
    if (parser.isSet(o.lf))
        settings.lineBreak = LineBreak::Lf;
    if (parser.isSet(o.progress) && parser.isSet(o.noProgress))
        return UsageError(errors, QStringLiteral("--progress 和 --no-progress 只能选一个。"));
    if (parser.isSet(o.memory)) {
        settings.memoryBudget = ParseSize(parser.value(o.memory));
        if (settings.memoryBudget <= 0)
            return UsageError(errors, QStringLiteral("--memory 的值“%1”不是一个可用的大小"
                                                     "（例如 512M 或 2G）。")
                                          .arg(Shown(parser.value(o.memory))));
    }
    if (const std::optional<QString> wrong = ReadKey(parser, o, settings.options.key))
        return UsageError(errors, *wrong);
    if (const QString wrong = SumRefusal(settings.options); !wrong.isEmpty())
        return UsageError(errors, wrong);
    for (std::size_t i = 0; i < o.compared.size(); ++i) {
        if (&ComparisonOptions()[i] == &KeyKindOption() && parser.isSet(o.compared[i]))
            if (const std::optional<QString> wrong =
                    ReadKeyRules(parser.value(o.compared[i]), settings.options))
                return UsageError(errors, *wrong);
    }
    for (const auto* option : {&o.exclude, &o.intersect}) {
        for (const QString& list : parser.values(*option)) {
            const ListKind kind = option == &o.exclude ? ListKind::Exclude : ListKind::Intersect;
            settings.lists.push_back(ComparedList{kind, list, {}, list});
        }
    }
    if (settings.lists.size() > std::size_t(kMostComparedLists))
        return UsageError(errors,
                          QStringLiteral("清单最多 %1 个（--exclude 和 --intersect 一共）。")
                              .arg(kMostComparedLists));
    if (parser.values(o.output).size() > 1)
        return UsageError(errors, QStringLiteral("只能有一个输出文件，-o 给了 %1 次。")
                                      .arg(parser.values(o.output).size()));
    if (parser.isSet(o.output) && parser.value(o.output).isEmpty())
        return UsageError(errors, QStringLiteral("-o 后面要有一个文件名。"));

    if (parser.values(o.removed).size() > 1)
        return UsageError(errors, QStringLiteral("只能有一个删除行文件，--removed 给了 %1 次。")
                                      .arg(parser.values(o.removed).size()));
    if (parser.isSet(o.removed) && parser.value(o.removed).isEmpty())
        return UsageError(errors, QStringLiteral("--removed 后面要有一个文件名。"));

    RunFiles files;
    files.inputs = parser.positionalArguments();
    if (files.inputs.isEmpty())
        files.inputs << QStringLiteral("-");
    for (const ComparedList& list : settings.lists)
        files.lists << list.path;
    if (parser.isSet(o.output))
        files.output = parser.value(o.output);
    if (parser.isSet(o.removed))
        files.removed = parser.value(o.removed);
    const FilesPlan plan = PlanFiles(files, environment);
    if (plan.status == 2)
        return UsageError(errors, plan.message);
    if (plan.status != 0) {
        Say(errors, plan.message);
        return plan.status;
    }
    for (const QString& note : plan.notes)
        Say(errors, note);
    QString warning;
    settings.tempDir = TemporaryFolder(QString(), &warning);
    if (!warning.isEmpty())
        Say(errors, warning);
    settings.wakeHandle = environment.wakeHandle;
    settings.stop = &interrupted;

    Outputs outputs;
    if (!outputs.open(plan, output)) {
        Say(errors, outputs.error());
        return 1;
    }
    settings.removedSink = outputs.removed();

    const ProgressMeter::Mode mode = parser.isSet(o.progress)       ? ProgressMeter::Mode::Always
                                     : parser.isSet(o.noProgress)   ? ProgressMeter::Mode::Never
                                     : environment.errorsOnTerminal ? ProgressMeter::Mode::Large
                                                                    : ProgressMeter::Mode::Never;
    ProgressMeter meter(errors, mode);
    // A key pattern can take a very long time on each line; the user is told why, once.
    bool toldSlow = settings.options.key.source != KeyRule::Source::Pattern;
    const EngineResult result =
        FilterFiles(files.inputs, outputs.result(), settings, [&](qint64 done, qint64 total) {
            if (!toldSlow) {
                if (const qint64 left = VeryLongLeft(done, total, meter.elapsed())) {
                    toldSlow = true;
                    meter.clear();
                    Say(errors, QStringLiteral("--key-regex 的表达式在这些行上很费时：照现在的速度"
                                               "还要约 %1。")
                                        .arg(DurationText(left)) +
                                    SlowPatternText(QStringLiteral("按 Ctrl+C 可随时停止")));
                }
            }
            meter.show(done, total);
            return !interrupted.load();
        });
    meter.clear();
    if (!result.ok()) {
        Say(errors, outputs.failure(result.outcome));
        return 1;
    }
    if (!outputs.commit()) {
        Say(errors, outputs.error());
        return 1;
    }
    for (const int input : result.differentHeaders) {
        const QString& name = files.inputs[input];
        Say(errors, QStringLiteral("%1 的第一行与第一个输入的表头不同，已作为普通的行比较。")
                        .arg(name == u"-" ? QStringLiteral("标准输入") : ShownPath(name)));
    }
    if (parser.isSet(o.stats))
        Print(errors, StatsText(result.stats, settings));
    return 0;
}
