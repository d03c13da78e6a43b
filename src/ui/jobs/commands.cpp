// The jobs on the boxes' own texts: filter, import, save and copy. The jobs of the large-file mode
// and the statistic's count are in largecommands.cpp.
#include "ui/jobs/commands.h"

#include "core/forecast.h"
#include "files/textfile.h"
#include "platform/desktopservices.h"
#include "ui/jobs/commands_p.h"
#include "ui/textbox/textbox.h"
#include "ui/window/wording.h"

namespace {

// Texts above this size are filtered and saved away from the window's thread.
constexpr qsizetype kBackgroundChars = qsizetype(256) * 1024;

bool IsLarge(const QString& text) {
    return text.size() > kBackgroundChars;
}

// The text without the U+0020 spaces at its two ends (line breaks and tabs stay).
QStringView TrimSpaces(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == QChar(u' '))
        ++begin;
    while (end > begin && text[end - 1] == QChar(u' '))
        --end;
    return text.sliced(begin, end - begin);
}

const QString kEmptyResult = QStringLiteral("很抱歉,过滤后的数据为空,不给予操作...");

} // namespace

void ExplainSlowPattern(Job& job, const EngineSettings& settings) {
    if (settings.options.key.source == KeyRule::Source::Pattern)
        job.explainVeryLong(
            QStringLiteral("比较范围中的正则表达式在这些行上很费时：照现在的速度还要约 %1。") +
            SlowPatternText(QStringLiteral("可以随时取消")));
}

void CopyResult(const QString& text, DesktopServices& services) {
    const QStringView trimmed = TrimSpaces(text);
    if (trimmed.isEmpty()) {
        services.MsgBox(kEmptyResult, DesktopServices::Critical, QStringLiteral("复制失败"));
        return;
    }
    services.ClipboardClear();
    // The clipboard cannot carry an undecodable byte; it gets U+FFFD, as the box shows.
    services.ClipboardSetText(
        WithReplacementCharacters(trimmed.size() == text.size() ? text : trimmed.toString()));
    services.MsgBox(QStringLiteral("复制成功..."), DesktopServices::Information,
                    QStringLiteral("过滤后的数据..."));
}

void ReportSaved(DesktopServices& services) {
    services.MsgBox(QStringLiteral("结果已保存至指定路径！"), DesktopServices::Information,
                    QStringLiteral("提示"));
    services.OpenPublisherPage();
}

SaveAs ResolveSaveFormat(const SaveFormat& chosen, const FileFormat& same) {
    SaveAs as{same, chosen.encoding != SaveFormat::Encoding::Same};
    switch (chosen.encoding) {
    case SaveFormat::Encoding::Same:
        break;
    case SaveFormat::Encoding::Gbk:
        as.format.encoding = TextEncoding::Gbk;
        break;
    case SaveFormat::Encoding::Gb18030:
        as.format.encoding = TextEncoding::Gb18030;
        break;
    case SaveFormat::Encoding::Utf8:
        as.format.encoding = TextEncoding::Utf8;
        break;
    case SaveFormat::Encoding::Utf8Bom:
        as.format.encoding = TextEncoding::Utf8Bom;
        break;
    case SaveFormat::Encoding::Utf16Le:
        as.format.encoding = TextEncoding::Utf16LeBom;
        break;
    }
    if (chosen.lineBreak == SaveFormat::Break::CrLf)
        as.format.lineBreak = LineBreak::CrLf;
    else if (chosen.lineBreak == SaveFormat::Break::Lf)
        as.format.lineBreak = LineBreak::Lf;
    return as;
}

FilterJob::FilterJob(TextBox& input, TextBox& output, DesktopServices& services, bool refuseEmpty,
                     EngineSettings settings, QObject* parent)
    : Job(&output, parent), input_(input), output_(output), services_(services),
      refuseEmpty_(refuseEmpty), settings_(std::move(settings)) {}

namespace {
struct Filtered {
    PreparedText text;
    EngineResult result;
};
} // namespace

void FilterJob::run() {
    beginStep(QStringLiteral("正在读取输入框"), 0, 10);
    followBox(&input_);
    input_.withText(guarded([this](const QString& input) {
        if (refuseEmpty_ && TrimSpaces(input).isEmpty()) {
            complete();
            services_.MsgBox(QStringLiteral("很抱歉,过滤前的数据为空,不给予操作..."),
                             DesktopServices::Critical, QStringLiteral("过滤失败"));
            return;
        }
        beginStep(QStringLiteral("正在过滤"), 10, 25);
        ExplainSlowPattern(*this, settings_);
        // A key pattern's cost per line has no bound: never on the window's thread.
        runWork<Filtered>(
            IsLarge(input) || settings_.options.key.source == KeyRule::Source::Pattern,
            [input, settings = settings_](const WorkProgress& progress) {
                Filtered filtered;
                TextFilterResult result = FilterText(input, settings, progress);
                if (result.result.ok())
                    filtered.text = PrepareText(result.text);
                filtered.result = std::move(result.result);
                return filtered;
            },
            [this, input](const Filtered& filtered) {
                if (!filtered.result.ok()) {
                    complete();
                    if (filtered.result.outcome.hasFailed())
                        services_.MsgBox(filtered.result.outcome.message(),
                                         DesktopServices::Critical, QStringLiteral("过滤失败"));
                    return;
                }
                inputText_ = input;
                stats_ = filtered.result.stats;
                // The output box's text must be known before it is replaced, for a cancel to
                // put it back.
                beginStep(QStringLiteral("正在读取输出框"), 25, 30);
                followBox(&output_);
                output_.withText(guarded([this, output = filtered.text](const QString&) {
                    beginStep(QStringLiteral("正在填入输出框"), 30, 100);
                    followBox(&output_);
                    setFilling(output_);
                    output_.setText(output, guarded([this] {
                                        filtered_ = true;
                                        complete();
                                    }));
                }));
            });
    }));
}

ImportJob::ImportJob(TextBox& input, QStringList paths, DesktopServices& services,
                     LargeFileBounds bounds, QObject* parent)
    : Job(&input, parent), input_(input), paths_(std::move(paths)), services_(services),
      bounds_(bounds) {}

namespace {
struct Imported {
    ImportedFiles files;
    PreparedText text; // the files' text made ready for the box
};
} // namespace

// The file is always read on a worker thread: whatever it turns out to be, the window goes on.
void ImportJob::run() {
    beginStep(QStringLiteral("正在读取文件"), 0, 30);
    runWork<Imported>(
        true,
        [paths = paths_, bounds = bounds_](const WorkProgress& progress) {
            Imported imported{ReadFiles(paths, bounds, progress), {}};
            if (imported.files.text)
                imported.text = PrepareText(*std::exchange(imported.files.text, std::nullopt));
            return imported;
        },
        [this](const Imported& imported) {
            const Outcome& outcome = imported.files.outcome;
            if (!outcome.ok() || (!imported.files.large && imported.text.lines == 0)) {
                complete();
                if (outcome.hasFailed())
                    services_.MsgBox(outcome.message(), DesktopServices::Critical,
                                     QStringLiteral("导入失败"));
                return;
            }
            // Bytes the encoding cannot read are most often a file that is no text at all: the
            // box changes only when the user wants it anyway.
            if (!imported.files.large && imported.files.unreadable > 0 &&
                !services_.AskOkCancel(UnreadableImportQuestion(imported.files.unreadableIn,
                                                                imported.files.unreadable),
                                       QStringLiteral("导入"))) {
                complete();
                return;
            }
            beginStep(QStringLiteral("正在读取输入框"), 30, 35);
            followBox(&input_);
            input_.withText(guarded([this, imported](const QString&) {
                beginStep(QStringLiteral("正在填入输入框"), 35, 100);
                followBox(&input_);
                setFilling(input_);
                const ImportedFiles& files = imported.files;
                if (files.large) {
                    const TextSummary& summary = files.large->summary;
                    input_.showPreview(summary.preview, LargeInputNotice(*files.large),
                                       summary.nonBlankLines, guarded([this, large = files.large] {
                                           large_ = large;
                                           encoding_ = large->encoding;
                                           complete();
                                       }),
                                       TextBox::Undo::Keep);
                    return;
                }
                input_.setText(imported.text,
                               guarded([this, files, empty = imported.text.text.isEmpty()] {
                                   encoding_ = files.encoding;
                                   lineBreak_ = files.lineBreak;
                                   empty_ = empty;
                                   complete();
                               }),
                               TextBox::Undo::Keep);
            }));
        });
}

SaveJob::SaveJob(TextBox& output, QString path, SaveAs as, DesktopServices& services,
                 QObject* parent)
    : Job(&output, parent), output_(output), path_(std::move(path)), as_(as), services_(services) {}

void SaveJob::run() {
    beginStep(QStringLiteral("正在读取输出框"), 0, 20);
    followBox(&output_);
    output_.withText(guarded([this](const QString& output) {
        // From here the file may change: the save goes through to its end.
        beginStep(QStringLiteral("正在保存"), 20, 100, -1);
        setCanCancel(false);
        runWork<SaveResult>(
            IsLarge(output),
            [path = path_, output, as = as_](const WorkProgress&) {
                return SaveTextFile(path, output, as.format.encoding, as.format.lineBreak,
                                    as.exact);
            },
            [this](const SaveResult& result) {
                complete();
                if (!result.outcome.ok()) {
                    services_.MsgBox(result.outcome.message(), DesktopServices::Critical,
                                     QStringLiteral("保存失败"));
                    return;
                }
                ReportSaved(services_);
            });
    }));
}

CopyJob::CopyJob(TextBox& output, DesktopServices& services, QObject* parent)
    : Job(&output, parent), output_(output), services_(services) {}

void CopyJob::run() {
    beginStep(QStringLiteral("正在读取输出框"), 0, 100);
    followBox(&output_);
    output_.withText(guarded([this](const QString& output) {
        complete();
        CopyResult(output, services_);
    }));
}
