// The jobs of the large-file mode (filter, save, copy of a large result) and the count of the
// repeated lines for the statistic.
#include "ui/jobs/commands.h"

#include "core/grouped.h"
#include "files/textfile.h"
#include "platform/desktopservices.h"
#include "ui/jobs/commands_p.h"
#include "ui/textbox/textbox.h"
#include "ui/window/wording.h"

LargeFilterJob::LargeFilterJob(std::shared_ptr<const LargeFile> input, TextBox& output,
                               DesktopServices& services, EngineSettings settings, QObject* parent)
    : Job(&output, parent), input_(std::move(input)), output_(output), services_(services),
      settings_(std::move(settings)) {}

namespace {
struct LargeFiltered {
    std::shared_ptr<LargeResult> result;
    Outcome outcome;
};
} // namespace

void LargeFilterJob::run() {
    beginStep(QStringLiteral("正在过滤"), 0, 95);
    ExplainSlowPattern(*this, settings_);
    runWork<LargeFiltered>(
        true,
        [input = input_, settings = settings_](const WorkProgress& progress) {
            LargeFiltered out;
            LargeResult result;
            out.outcome = FilterLargeFile(*input, settings, progress, &result);
            if (out.outcome.ok())
                out.result = std::make_shared<LargeResult>(std::move(result));
            return out;
        },
        [this](const LargeFiltered& filtered) {
            if (!filtered.result) {
                complete();
                if (filtered.outcome.hasFailed())
                    services_.MsgBox(filtered.outcome.message(), DesktopServices::Critical,
                                     QStringLiteral("过滤失败"));
                return;
            }
            beginStep(QStringLiteral("正在读取输出框"), 95, 96);
            followBox(&output_);
            output_.withText(guarded([this, result = filtered.result](const QString&) {
                beginStep(QStringLiteral("正在填入输出框"), 96, 100);
                followBox(&output_);
                setFilling(output_);
                const TextSummary& summary = result->summary;
                output_.showPreview(summary.preview, LargeResultNotice(summary),
                                    summary.nonBlankLines, guarded([this, result] {
                                        result_ = result;
                                        complete();
                                    }));
            }));
        });
}

LargeSaveJob::LargeSaveJob(std::shared_ptr<LargeResult> result, TextBox* where, QString path,
                           SaveAs as, DesktopServices& services, QObject* parent)
    : Job(where, parent), result_(std::move(result)), path_(std::move(path)), as_(as),
      services_(services) {}

void LargeSaveJob::run() {
    beginStep(QStringLiteral("正在保存"), 0, 100);
    runWork<Outcome>(
        true,
        [result = result_, path = path_, as = as_](const WorkProgress& progress) {
            // A result of files that have changed since is never saved as theirs.
            if (QString changed = ChangedSince(result->inputPaths, result->inputOpened);
                !changed.isEmpty())
                return Outcome::failed(std::move(changed));
            // The result as it is, or converted a line at a time.
            if (as.format == FileFormat{result->encoding, result->result.lineBreak})
                return SaveLargeResult(*result->file, path, progress);
            return SaveLargeResultAs(*result->file, result->encoding, path, as.format.encoding,
                                     as.format.lineBreak, as.exact, progress);
        },
        [this](const Outcome& saved) {
            complete();
            if (saved.ok())
                ReportSaved(services_);
            else if (saved.hasFailed())
                services_.MsgBox(saved.message(), DesktopServices::Critical,
                                 QStringLiteral("保存失败"));
        });
}

LargeCopyJob::LargeCopyJob(std::shared_ptr<LargeResult> result, TextBox* where, qint64 maxBytes,
                           DesktopServices& services, QObject* parent)
    : Job(where, parent), result_(std::move(result)), maxBytes_(maxBytes), services_(services) {}

void LargeCopyJob::run() {
    beginStep(QStringLiteral("正在复制"), 0, 100, -1);
    auto refuse = [this] {
        const qint64 size = result_->file->size();
        complete();
        services_.MsgBox(QStringLiteral("过滤结果有 %1 MB，超过了复制的上限 %2 MB。\n"
                                        "请用“保存结果”把它保存到文件。")
                             .arg(Grouped((size + kMiB - 1) / kMiB), Grouped(maxBytes_ / kMiB)),
                         DesktopServices::Critical, QStringLiteral("复制失败"));
    };
    if (result_->file->size() > maxBytes_) {
        refuse();
        return;
    }
    runWork<std::optional<QString>>(
        true,
        [result = result_, maxBytes = maxBytes_](const WorkProgress&) {
            return ResultText(*result->file, result->encoding, maxBytes);
        },
        [this, refuse](const std::optional<QString>& text) {
            if (!text) {
                refuse();
                return;
            }
            complete();
            CopyResult(*text, services_);
        });
}

RepeatsJob::RepeatsJob(Source source, TextBox* where, DesktopServices& services,
                       EngineSettings settings, QObject* parent)
    : Job(where, parent), source_(std::move(source)), services_(services),
      settings_(std::move(settings)) {}

void RepeatsJob::run() {
    beginStep(QStringLiteral("正在统计重复"), 0, 100);
    runWork<std::shared_ptr<EngineResult>>(
        true,
        [source = source_, settings = settings_](const WorkProgress& progress) {
            return std::make_shared<EngineResult>(CountRepeats(source, settings, progress));
        },
        [this](const std::shared_ptr<EngineResult>& result) {
            if (!result->ok()) {
                complete();
                if (result->outcome.hasFailed())
                    services_.MsgBox(result->outcome.message(), DesktopServices::Critical,
                                     QStringLiteral("重复统计"));
                return;
            }
            auto statistic = std::make_shared<Statistic>();
            statistic->stats = result->stats;
            statistic->rows = std::move(result->repeats);
            statistic_ = std::move(statistic);
            complete();
        });
}
