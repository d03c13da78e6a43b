#include "cli/cli.h"

#include "engine/engine.h"
#include "files/safefile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QIODevice>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <atomic>

namespace {

std::atomic<bool> interrupted = false;

void Print(QIODevice& to, const QString& text) {
    to.write(text.toUtf8());
}

// Writes the result to a device (standard output), saying why when it cannot.
class DeviceSink final : public OutputSink {
public:
    DeviceSink(QIODevice& device, QString name) : device_(device), name_(std::move(name)) {}
    bool write(const char* data, qint64 size) override {
        while (size > 0) {
            const qint64 n = device_.write(data, size);
            if (n <= 0) {
                const auto* file = qobject_cast<const QFileDevice*>(&device_);
                error_ = QStringLiteral("无法写入%1：%2")
                             .arg(name_, file ? ReasonFor(*file) : QStringLiteral("写入失败。"));
                return false;
            }
            data += n;
            size -= n;
        }
        return true;
    }
    QString error() const override { return error_; }

private:
    QIODevice& device_;
    QString name_;
    QString error_;
};

QString UsageHint() {
    return QStringLiteral("用法：trennix-cli [选项] [输入文件...] [-o 输出文件]\n"
                          "用 trennix-cli --help 查看全部选项。\n");
}

int UsageError(QIODevice& errors, const QString& message) {
    Print(errors, QStringLiteral("trennix-cli：%1\n").arg(message) + UsageHint());
    return 2;
}

// Reads a size such as 512M, 2G or 1048576 (bytes).
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
    return ok && n > 0 ? n * factor : -1;
}

std::optional<KeepMode> ParseKeep(const QString& text) {
    if (text == u"first")
        return KeepMode::First;
    if (text == u"last")
        return KeepMode::Last;
    if (text == u"unique")
        return KeepMode::Unique;
    if (text == u"repeated")
        return KeepMode::Repeated;
    return std::nullopt;
}

void LoadQtTranslation() {
    static bool loaded = false;
    if (loaded || !QCoreApplication::instance())
        return;
    loaded = true;
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

} // namespace

void InterruptCommandLine() {
    interrupted = true;
}

int RunCommandLine(const QStringList& arguments, QIODevice& output, QIODevice& errors) {
    LoadQtTranslation();
    interrupted = false;
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("删除文本中重复的行：每一行只保留第一次出现的那一行，其余的顺序不变。\n"
                       "没有输入文件或输入文件为 - 时读标准输入；多个输入文件按顺序连成一个文本。\n"
                       "输入的编码自动识别；结果保持输入的编码、BOM 和换行符。"));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption outputOption(
        {QStringLiteral("o"), QStringLiteral("output")},
        QStringLiteral("把结果写入文件 <输出文件>（可以是输入文件之一）；不给时写到标准输出。"),
        QStringLiteral("输出文件"));
    const QCommandLineOption encodingOption(
        QStringLiteral("encoding"),
        QStringLiteral("指定输入的编码：utf-8、gbk、gb18030、utf-16le、utf-16be。"),
        QStringLiteral("编码"));
    const QCommandLineOption outputEncodingOption(QStringLiteral("output-encoding"),
                                                  QStringLiteral("结果改用这种编码（名称同上）。"),
                                                  QStringLiteral("编码"));
    const QCommandLineOption crlfOption(QStringLiteral("crlf"),
                                        QStringLiteral("结果的每一行以 CR LF 结束。"));
    const QCommandLineOption lfOption(QStringLiteral("lf"),
                                      QStringLiteral("结果的每一行以 LF 结束。"));
    const QCommandLineOption statsOption(
        QStringLiteral("stats"),
        QStringLiteral("在标准错误上报告读入、保留、删除的行数和有重复的行数。"));
    const QCommandLineOption ignoreCaseOption(QStringLiteral("ignore-case"),
                                              QStringLiteral("忽略大小写。"));
    const QCommandLineOption trimOption(QStringLiteral("trim"),
                                        QStringLiteral("忽略每行首尾的空白。"));
    const QCommandLineOption widthOption(QStringLiteral("ignore-width"),
                                         QStringLiteral("忽略全角半角（按 NFKC 比较）。"));
    const QCommandLineOption keepBlankOption(QStringLiteral("keep-blank"),
                                             QStringLiteral("保留所有空行。"));
    const QCommandLineOption keepOption(
        QStringLiteral("keep"),
        QStringLiteral("保留哪一行：first（第一次出现的，默认）、last（最后一次出现的）、"
                       "unique（只保留没有重复的行）、repeated（只列出重复的行）。"),
        QStringLiteral("方式"), QStringLiteral("first"));
    const QCommandLineOption countsOption(
        QStringLiteral("counts"), QStringLiteral("每个保留的行前面写上它出现的次数和一个制表符。"));
    const QCommandLineOption memoryOption(
        QStringLiteral("memory"),
        QStringLiteral(
            "内存预算，例如 512M 或 2G；超出时借助临时文件分批处理。默认为物理内存的八分之一"
            "（256M 到 1536M 之间）。"),
        QStringLiteral("大小"));
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("显示本帮助并退出。"));
    const QCommandLineOption versionOption({QStringLiteral("v"), QStringLiteral("version")},
                                           QStringLiteral("显示版本并退出。"));
    parser.addOptions({outputOption, encodingOption, outputEncodingOption, crlfOption, lfOption,
                       statsOption, ignoreCaseOption, trimOption, widthOption, keepBlankOption,
                       keepOption, countsOption, memoryOption, helpOption, versionOption});
    parser.addPositionalArgument(QStringLiteral("输入文件"),
                                 QStringLiteral("要过滤的文件；- 表示标准输入。"),
                                 QStringLiteral("[输入文件...]"));

    if (!parser.parse(QStringList{QStringLiteral("trennix-cli")} + arguments))
        return UsageError(errors, parser.errorText());
    if (parser.isSet(helpOption)) {
        // Qt's usage line names the program by its path; ours by its name, with -o.
        QString help = parser.helpText();
        help.replace(0, help.indexOf(u'\n'),
                     QStringLiteral("用法：trennix-cli [选项] [输入文件...] [-o 输出文件]"));
        Print(output, help);
        Print(output, QStringLiteral("\n退出状态：0 成功；1 输入或输出失败；2 用法错误。\n"));
        return 0;
    }
    if (parser.isSet(versionOption)) {
        Print(output,
              QStringLiteral("trennix-cli %1\n").arg(QCoreApplication::applicationVersion()));
        return 0;
    }

    EngineSettings settings;
    settings.options.ignoreCase = parser.isSet(ignoreCaseOption);
    settings.options.trim = parser.isSet(trimOption);
    settings.options.ignoreWidth = parser.isSet(widthOption);
    settings.options.keepBlank = parser.isSet(keepBlankOption);
    const std::optional<KeepMode> keep = ParseKeep(parser.value(keepOption));
    if (!keep)
        return UsageError(errors, QStringLiteral("--keep 只能是 first、last、unique 或 repeated，"
                                                 "不能是“%1”。")
                                      .arg(parser.value(keepOption)));
    settings.options.keep = *keep;
    settings.writeCounts = parser.isSet(countsOption);
    for (const auto* option : {&encodingOption, &outputEncodingOption}) {
        if (!parser.isSet(*option))
            continue;
        const std::optional<TextEncoding> encoding = EncodingFromName(parser.value(*option));
        if (!encoding)
            return UsageError(errors,
                              QStringLiteral("不认识的编码“%1”；可用的编码：utf-8、gbk、gb18030、"
                                             "utf-16le、utf-16be。")
                                  .arg(parser.value(*option)));
        (option == &encodingOption ? settings.inputEncoding : settings.outputEncoding) = encoding;
    }
    if (parser.isSet(crlfOption) && parser.isSet(lfOption))
        return UsageError(errors, QStringLiteral("--crlf 和 --lf 只能选一个。"));
    if (parser.isSet(crlfOption))
        settings.lineBreak = LineBreak::CrLf;
    if (parser.isSet(lfOption))
        settings.lineBreak = LineBreak::Lf;
    if (parser.isSet(memoryOption)) {
        settings.memoryBudget = ParseSize(parser.value(memoryOption));
        if (settings.memoryBudget <= 0)
            return UsageError(errors, QStringLiteral("--memory 的值“%1”不是一个大小（例如 512M）。")
                                          .arg(parser.value(memoryOption)));
    }

    const QStringList inputs = parser.positionalArguments();
    const bool toFile = parser.isSet(outputOption);
    const QString outputPath = parser.value(outputOption);
    if (toFile && outputPath.isEmpty())
        return UsageError(errors, QStringLiteral("-o 需要一个文件名。"));

    std::unique_ptr<SafeSaveFile> saveFile;
    std::unique_ptr<DeviceSink> sink;
    if (toFile) {
        saveFile = std::make_unique<SafeSaveFile>(outputPath);
        if (!saveFile->open()) {
            Print(errors, QStringLiteral("trennix-cli：%1\n").arg(saveFile->error()));
            return 1;
        }
        sink = std::make_unique<DeviceSink>(
            *saveFile->device(),
            QStringLiteral("输出文件 %1").arg(QDir::toNativeSeparators(outputPath)));
    } else {
        sink = std::make_unique<DeviceSink>(output, QStringLiteral("标准输出"));
    }

    const EngineResult result =
        FilterFiles(inputs, *sink, settings, [](qint64, qint64) { return !interrupted.load(); });
    if (!result.ok()) {
        if (saveFile)
            saveFile->cancel();
        const QString message = result.status == EngineResult::Status::Cancelled
                                    ? QStringLiteral("已中断，没有写出任何结果。")
                                    : result.error;
        Print(errors, QStringLiteral("trennix-cli：%1\n").arg(message));
        return 1;
    }
    if (saveFile && !saveFile->commit()) {
        Print(errors, QStringLiteral("trennix-cli：%1\n").arg(saveFile->error()));
        return 1;
    }
    if (parser.isSet(statsOption)) {
        const EngineStats& s = result.stats;
        Print(errors, QStringLiteral("读入行数：%1\n保留行数：%2\n删除行数：%3\n有重复的行：%4\n")
                          .arg(s.linesRead)
                          .arg(s.linesKept)
                          .arg(s.linesRemoved)
                          .arg(s.repeatedLines));
    }
    return 0;
}
