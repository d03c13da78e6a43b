#include "ui/jobs/pastejob.h"

#include "ui/window/wording.h"

PasteJob::PasteJob(TextBox& input, QString pasted, TextBox::PastePlace place, QString tempDir,
                   DesktopServices& services, Into into, QObject* parent)
    : Job(&input, parent), input_(input), pasted_(std::move(pasted)), place_(place),
      tempDir_(std::move(tempDir)), services_(services), into_(into) {}

namespace {
struct Opened {
    Outcome outcome;
    std::shared_ptr<const LargeFile> large;
};
} // namespace

// The box's own text is needed only where the paste keeps some of it; the box shows the earlier
// text until the preview replaces it.
void PasteJob::run() {
    const auto next = [this](const QString& box) {
        if (into_ == Into::Box)
            fill(box);
        else
            write(box);
    };
    if (place_.keptChars == 0) {
        place_.from = place_.to = 0;
        next(QString());
        return;
    }
    beginStep(QStringLiteral("正在读取输入框"), 0, 5);
    followBox(&input_);
    input_.withText(guarded(next));
}

void PasteJob::fill(const QString& box) {
    beginStep(QStringLiteral("正在处理粘贴的文字"), 5, 30);
    runWork<PreparedText>(
        true,
        [box, pasted = std::exchange(pasted_, QString()), place = place_](const WorkProgress&) {
            const QStringView all(box);
            QString text;
            text.reserve(place.from + pasted.size() + (all.size() - place.to));
            text.append(all.first(place.from)).append(pasted).append(all.sliced(place.to));
            return PrepareText(text);
        },
        [this](const PreparedText& text) {
            beginStep(QStringLiteral("正在填入输入框"), 30, 100);
            followBox(&input_);
            setFilling(input_);
            input_.setText(text, guarded([this] { complete(); }), TextBox::Undo::Keep);
        });
}

void PasteJob::write(const QString& box) {
    beginStep(QStringLiteral("正在处理粘贴的文字"), 5, 95);
    // The job keeps no hold of the pasted text: it goes with the work.
    runWork<Opened>(
        true,
        [box, pasted = std::exchange(pasted_, QString()), place = place_,
         tempDir = tempDir_](const WorkProgress& progress) {
            const QStringView all(box);
            const std::vector<QStringView> parts{all.first(place.from), pasted,
                                                 all.sliced(place.to)};
            LargeFile large;
            Opened opened;
            opened.outcome = OpenLargeText(parts, tempDir, progress, &large);
            if (opened.outcome.ok())
                opened.large = std::make_shared<const LargeFile>(std::move(large));
            return opened;
        },
        [this](const Opened& opened) {
            if (!opened.large) {
                complete();
                if (opened.outcome.hasFailed())
                    services_.MsgBox(
                        QStringLiteral("粘贴的文字太大，输入框放不下，而把它放进临时文件也"
                                       "没有成功：\n%1\n\n输入框没有改变。")
                            .arg(opened.outcome.message()),
                        DesktopServices::Critical, QStringLiteral("粘贴失败"));
                return;
            }
            beginStep(QStringLiteral("正在填入输入框"), 95, 100);
            followBox(&input_);
            setFilling(input_);
            const TextSummary& summary = opened.large->summary;
            input_.showPreview(summary.preview, LargeInputNotice(*opened.large),
                               summary.nonBlankLines, guarded([this, large = opened.large] {
                                   large_ = large;
                                   complete();
                               }),
                               TextBox::Undo::Keep);
        });
}
