#include "cli/cli.h"

#include "cli/options.h"
#include "cli/outputsinks.h"
#include "cli/progressmeter.h"
#include "core/grouped.h"
#include "core/linekey.h"
#include "core/listkind.h"
#include "core/programwords.h"
#include "engine/engine.h"
#include "engine/systemfiles.h"
#include "files/reasons.h"
#include "files/safefile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
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

// A message of the program, after its name, the way every message of it starts.
void Say(QIODevice& errors, const QString& message) {
    Print(errors, kProgram + QStringLiteral(": ") + message + u'\n');
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
    if (parser.isSet(o.separator) && !parser.isSet(o.field))
        return QStringLiteral("--separator 要和 --field 一起用，说明按哪一列比较。");
    if (parser.isSet(o.field)) {
        const std::optional<std::vector<int>> columns =
            ParseFieldList(parser.value(o.field), &error);
        if (!columns)
            return error;
        key.source = KeyRule::Source::Columns;
        key.columns = *columns;
        if (parser.isSet(o.separator)) {
            const std::optional<Separator> separator =
                ParseSeparator(parser.value(o.separator), &error);
            if (!separator)
                return error;
            key.separator = *separator;
        }
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

// What --stats prints: the lines read, kept and removed, the repeated ones, the lines without a key
// when part of a line is compared, and what each compared list removed.
QString StatsText(const EngineStats& s, const EngineSettings& settings) {
    QString text = QStringLiteral("读入行数：%1\n保留行数：%2\n删除行数：%3\n有重复的行：%4\n")
                       .arg(Grouped(s.linesRead), Grouped(s.linesKept), Grouped(s.linesRemoved),
                            Grouped(s.repeatedLines));
    if (!settings.options.key.isDefault())
        text += QStringLiteral("无键行：%1\n").arg(Grouped(s.keylessLines));
    for (std::size_t i = 0; i < settings.lists.size() && i < s.removedByList.size(); ++i) {
        const ComparedList& list = settings.lists[i];
        text += QStringLiteral("%1 %2 删除 %3 行\n")
                    .arg(ListKindLabel(list.kind), QDir::toNativeSeparators(list.name),
                         Grouped(s.removedByList[i]));
    }
    return text;
}

// True when two paths name one file: the same file where both are, or else the same path.
bool SamePlace(const QString& a, const QString& b) {
    int errnum = 0;
    const FileStatus first = StatusOfPath(a, true, &errnum);
    const FileStatus second = StatusOfPath(b, true, &errnum);
    if (first.kind != FileKind::Missing && second.kind != FileKind::Missing)
        return first.sameFile(second);
    return QFileInfo(a).absoluteFilePath() == QFileInfo(b).absoluteFilePath();
}

// True when standard output is the file at `path` itself.
bool IsSameFile(int handle, const QString& path) {
    int errnum = 0;
    const FileStatus out = StatusOfHandle(handle, &errnum);
    return out.kind == FileKind::Regular && out.sameFile(StatusOfPath(path, true, &errnum));
}

} // namespace

void InterruptCommandLine() {
    interrupted = true;
}

int RunCommandLine(const QStringList& arguments, QIODevice& output, QIODevice& errors,
                   const CommandLineEnvironment& environment) {
    interrupted = false;
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
    for (const auto* option : {&o.encoding, &o.outputEncoding}) {
        if (!parser.isSet(*option))
            continue;
        const std::optional<TextEncoding> encoding = EncodingFromName(parser.value(*option));
        if (!encoding)
            return UsageError(errors,
                              QStringLiteral("不认识的编码“%1”；可用的编码：utf-8、gbk、gb18030、"
                                             "utf-16le、utf-16be。")
                                  .arg(parser.value(*option)));
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
                                          .arg(parser.value(o.memory)));
    }
    if (const std::optional<QString> wrong = ReadKey(parser, o, settings.options.key))
        return UsageError(errors, *wrong);
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
    const bool toFile = parser.isSet(o.output);
    const QString outputPath = parser.value(o.output);
    if (toFile && outputPath.isEmpty())
        return UsageError(errors, QStringLiteral("-o 后面要有一个文件名。"));

    if (parser.values(o.removed).size() > 1)
        return UsageError(errors, QStringLiteral("只能有一个删除行文件，--removed 给了 %1 次。")
                                      .arg(parser.values(o.removed).size()));
    const QString removedPath = parser.value(o.removed);
    if (parser.isSet(o.removed) && removedPath.isEmpty())
        return UsageError(errors, QStringLiteral("--removed 后面要有一个文件名。"));
    if (!removedPath.isEmpty() && toFile && SamePlace(removedPath, outputPath))
        return UsageError(errors, QStringLiteral("--removed 和 -o 是同一个文件 %1：两者要分开写。")
                                      .arg(QDir::toNativeSeparators(outputPath)));

    QStringList inputs = parser.positionalArguments();
    if (inputs.isEmpty())
        inputs << QStringLiteral("-");
    if (environment.inputClosed && inputs.contains(QStringLiteral("-"))) {
        Say(errors, QStringLiteral("无法读取输入：标准输入\n原因：标准输入没有打开。"));
        return 1;
    }
    if (!toFile && environment.outputClosed) {
        Say(errors, QStringLiteral("无法写入标准输出：标准输出没有打开。请用 -o 指定输出文件。"));
        return 1;
    }
    // Writing into a file that is still to be read destroys it: refused before anything is read.
    if (!toFile && environment.outputHandle >= 0) {
        for (const QString& input : inputs) {
            if (input != u"-" && IsSameFile(environment.outputHandle, input)) {
                Say(errors, QStringLiteral("标准输出就是输入文件 %1：边读边写会毁掉它。"
                                           "要把结果写回这个文件，请用 -o %1。")
                                .arg(QDir::toNativeSeparators(input)));
                return 1;
            }
        }
    }
    QString warning;
    settings.tempDir = TemporaryFolder(QString(), &warning);
    if (!warning.isEmpty())
        Say(errors, warning);
    settings.wakeHandle = environment.wakeHandle;
    settings.stop = &interrupted;

    std::unique_ptr<SafeSaveFile> saveFile;
    std::unique_ptr<OutputSink> sink;
    DeviceSink* toOutput = nullptr;
    if (toFile) {
        saveFile = std::make_unique<SafeSaveFile>(outputPath);
        if (!saveFile->open()) {
            Say(errors, saveFile->error());
            return 1;
        }
        sink = std::make_unique<SaveSink>(*saveFile);
    } else {
        auto device = std::make_unique<DeviceSink>(output);
        toOutput = device.get();
        sink = std::move(device);
    }

    std::unique_ptr<SafeSaveFile> removedFile;
    std::unique_ptr<OutputSink> removedSink;
    if (!removedPath.isEmpty()) {
        removedFile = std::make_unique<SafeSaveFile>(removedPath);
        if (!removedFile->open()) {
            if (saveFile)
                saveFile->cancel();
            Say(errors, removedFile->error());
            return 1;
        }
        removedSink = std::make_unique<SaveSink>(*removedFile);
        settings.removedSink = removedSink.get();
    }

    const ProgressMeter::Mode mode = parser.isSet(o.progress)       ? ProgressMeter::Mode::Always
                                     : parser.isSet(o.noProgress)   ? ProgressMeter::Mode::Never
                                     : environment.errorsOnTerminal ? ProgressMeter::Mode::Large
                                                                    : ProgressMeter::Mode::Never;
    ProgressMeter meter(errors, mode);
    const EngineResult result =
        FilterFiles(inputs, *sink, settings, [&](qint64 done, qint64 total) {
            meter.show(done, total);
            return !interrupted.load();
        });
    meter.clear();
    if (!result.ok()) {
        QString message = result.outcome.message();
        // A write that failed is told once the new content is gone, so that a full disk shows
        // the room there is.
        for (SafeSaveFile* file : {saveFile.get(), removedFile.get()}) {
            if (!file)
                continue;
            file->cancel();
            if (result.outcome.hasFailed() && !file->error().isEmpty())
                message = file->error();
        }
        if (result.outcome.wasCancelled()) {
            if (saveFile)
                message = QStringLiteral("已中断，输出文件 %1 没有改动。")
                              .arg(QDir::toNativeSeparators(outputPath));
            else if (toOutput->written() > 0)
                message = QStringLiteral("已中断。已经写到标准输出的 %1 字节无法收回，"
                                         "那里的结果是不完整的。")
                              .arg(QLocale::c().toString(toOutput->written()));
            else
                message = QStringLiteral("已中断，没有写出任何结果。");
        } else if (toOutput && toOutput->written() > 0) {
            message +=
                QStringLiteral("\n已经写到标准输出的 %1 字节无法收回，那里的结果是不完整的。")
                    .arg(QLocale::c().toString(toOutput->written()));
        }
        Say(errors, message);
        return 1;
    }
    // The removed lines first: a file the result replaces (perhaps an input) is replaced only
    // once they are safe.
    if (removedFile && !removedFile->commit()) {
        if (saveFile)
            saveFile->cancel();
        Say(errors, removedFile->error());
        return 1;
    }
    if (saveFile && !saveFile->commit()) {
        QString message = saveFile->error();
        if (removedFile)
            message += QStringLiteral("\n删除的行已经写入 %1。")
                           .arg(QDir::toNativeSeparators(removedPath));
        Say(errors, message);
        return 1;
    }
    if (parser.isSet(o.stats))
        Print(errors, StatsText(result.stats, settings));
    return 0;
}
