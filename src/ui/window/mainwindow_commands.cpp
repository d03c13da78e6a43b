// The window's commands: what each button and menu item does, run as jobs (ui/commands.h) one at
// a time.
#include "ui/window/mainwindow.h"

#include "core/comparisonoptions.h"
#include "files/savenames.h"
#include "platform/desktopservices.h"
#include "platform/threads.h"
#include "ui/compare/comparesetup.h"
#include "ui/compare/filteroptionsmenu.h"
#include "ui/jobs/jobrunner.h"
#include "ui/statistic/repeatsdialog.h"
#include "ui/textbox/repeatmarks.h"
#include "ui/textbox/textbox.h"
#include "ui/window/splitbutton.h"
#include "ui/window/wording.h"

#include <QDir>
#include <QTimer>
#include <QtConcurrent>

namespace {
const QString kFileFilter = QStringLiteral("文档文件(*.txt)|*.txt|所有文件(*.*)|*.*");
} // namespace

// A clear can no longer be undone once a command has changed a box; a cancelled one changed
// nothing.
void MainWindow::startJob(Job* job, std::function<void(bool)> then) {
    boxChanged_ = false;
    jobs_->start(job, [this, then = std::move(then)](bool completed) {
        filtering_ = false;
        if (completed && boxChanged_)
            state_.forgetCleared();
        if (then)
            then(completed);
        updateOutputNote();
    });
}

void MainWindow::Command1_Click() {
    runFilter(false);
}

bool MainWindow::isLargeInput() const {
    return state_.largeInput() && Text1->isExternalPreview();
}

bool MainWindow::isLargeResult() const {
    return state_.largeResult() && Text2->isExternalPreview();
}

// The large result is let go on a worker thread: closing its temporary file frees its disk
// space, which can take the system a moment for a large one.
void MainWindow::setLargeResult(std::shared_ptr<LargeResult> result) {
    std::shared_ptr<LargeResult> old = state_.exchangeLargeResult(std::move(result));
    if (old && old.use_count() == 1)
        (void)QtConcurrent::run([old = std::move(old)]() mutable {
            LowerCurrentThreadPriority();
            old.reset();
        });
}

void MainWindow::runFilter(bool refuseEmpty) {
    const EngineSettings settings = state_.filterSettings();
    // Before the job starts: a small one completes within startJob.
    filtering_ = true;
    if (isLargeInput()) {
        const std::shared_ptr<const LargeFile>& input = state_.largeInput();
        auto* job = new LargeFilterJob(input, *Text2, services_, settings);
        startJob(job, [this, job, input, settings](bool completed) {
            if (!completed || !job->result())
                return;
            setLargeResult(job->result());
            const LargeResult& large = *state_.largeResult();
            state_.filtered(
                {input, settings.options, settings.lists,
                 input->pasted ? FileFormat{} : FileFormat{large.encoding, large.result.lineBreak},
                 RemovedNote(large.result.stats, settings.options, settings.lists), nullptr,
                 settings.keptByHand});
        });
    } else {
        auto* job = new FilterJob(*Text1, *Text2, services_, refuseEmpty, settings);
        startJob(job, [this, job, settings, format = state_.inputFormat()](bool completed) {
            if (!completed || !job->filtered())
                return;
            setLargeResult(nullptr);
            state_.filtered({job->input(), settings.options, settings.lists, format,
                             RemovedNote(job->stats(), settings.options, settings.lists), nullptr,
                             settings.keptByHand});
        });
    }
}

void MainWindow::setFilterOptions(const FilterOptions& options) {
    setFilterSetup(options, state_.lists());
}

// A change of the options or the lists says at once that the result is stale, and filters again
// as a preview where the boxes still hold the last filter's input and result; a filter at work is
// cancelled for it, another command finished first.
void MainWindow::setFilterSetup(FilterOptions options, std::vector<ComparedList> lists) {
    ResetRefusedOptions(options);
    optionsMenu_->setOptions(options);
    optionsMenu_->setListsInForce(!lists.empty());
    const std::optional<std::vector<WindowState::Setting>> changed =
        state_.setSetup(options, std::move(lists));
    if (!changed)
        return;
    // Marks made with other options, another key or other lists would say what another filter
    // removes.
    marker_->clear();
    for (const auto& [key, text] : *changed)
        services_.SaveSetting(key, text);
    updateFilterButton();
    updateOutputNote();
    if (!state_.askPreview())
        return;
    if (!busy())
        previewIfPending();
    else if (filtering_)
        cancelCommand();
}

void MainWindow::previewIfPending() {
    if (busy() || !state_.takePreview())
        return;
    // After the command's own wind-up, at the next turn of the event loop.
    QTimer::singleShot(0, this, [this] {
        if (!busy() && state_.previewStillWanted())
            runFilter(false);
    });
}

// The button's arrow stands out while the options differ from the default, and its tooltip
// lists them.
void MainWindow::updateFilterButton() {
    const FilterOptions& inForce = state_.options();
    const std::vector<ComparedList>& lists = state_.lists();
    Command1->setMarked(!inForce.isDefault() || !lists.empty());
    QStringList active;
    if (const QString options = DescribeFilterOptions(inForce); !options.isEmpty())
        active << QStringLiteral("当前选项：") + options;
    if (!lists.empty())
        active << QStringLiteral("对照清单：") + DescribeComparedLists(lists);
    Command1->setToolTip(QStringLiteral("开始过滤 (Ctrl+Enter)\n过滤选项：点击箭头 (Alt+↓)") +
                         (active.isEmpty() ? QString() : u'\n' + active.join(u'\n')));
    Command1->setAccessibleDescription(active.join(QStringLiteral("；")));
}

// The statistic is counted once for each filter, at its first showing.
void MainWindow::showRepeats(bool removedLines) {
    if (busy())
        return;
    const std::optional<WindowState::LastFilter>& last = state_.lastFilter();
    if (!last) {
        services_.MsgBox(QStringLiteral("还没有过滤过。请先点击“开始过滤”，再查看重复统计。"),
                         DesktopServices::Information, QStringLiteral("重复统计"));
        return;
    }
    if (last->statistic) {
        openStatistic(last->statistic, removedLines);
        return;
    }
    EngineSettings settings;
    settings.options = last->options;
    settings.lists = last->lists;
    settings.repeatsLimit = statisticRows_;
    auto* job = new RepeatsJob(last->source, Text2, services_, settings);
    startJob(job, [this, job, removedLines](bool completed) {
        if (!completed || !job->statistic() || !state_.lastFilter())
            return;
        state_.setStatistic(job->statistic());
        openStatistic(job->statistic(), removedLines);
    });
}

// The dialog is made at the next turn of the event loop: with a million lines, making it takes
// the window about as long as it may stand still.
void MainWindow::openStatistic(std::shared_ptr<const Statistic> statistic, bool removedLines) {
    const WindowState::LastFilter& last = *state_.lastFilter();
    EngineSettings settings;
    settings.options = last.options;
    settings.lists = last.lists;
    QTimer::singleShot(0, this,
                       [this, statistic = std::move(statistic), source = last.source, settings,
                        format = last.format, removedLines] {
                           auto* dialog = new RepeatsDialog(statistic, source, settings, format,
                                                            services_, this);
                           dialog->setAttribute(Qt::WA_DeleteOnClose);
                           dialog->setRemovedLimits({statisticRows_, RemovedRows::Limits{}.chars});
                           if (removedLines)
                               dialog->showPage(RepeatsDialog::Page::Removed);
                           // Ticks belong to the filter the statistic is of.
                           dialog->setKeptByHand(state_.keptByHand());
                           connect(dialog, &RepeatsDialog::keptByHandChanged, this,
                                   [this](const std::vector<std::pair<int, qint64>>& lines) {
                                       if (state_.setKeptByHand(lines))
                                           updateOutputNote();
                                   });
                           dialog->open();
                       });
}

void MainWindow::Command2_Click() {
    services_.setFilter(kFileFilter);
    if (!services_.ShowOpen())
        return;
    importFiles(services_.fileNames());
}

void MainWindow::importChosenFiles(const QStringList& paths) {
    if (paths.isEmpty())
        return;
    services_.setFileName(paths.constFirst());
    importFiles(paths);
}

void MainWindow::importFiles(const QStringList& paths) {
    for (const QString& path : paths)
        if (const QStringList backups = LeftBackupsOf(path); !backups.isEmpty())
            services_.MsgBox(LeftBackupsNotice(path, backups), DesktopServices::Information,
                             QStringLiteral("导入"));
    auto* job = new ImportJob(*Text1, paths, services_, largeBounds_);
    startJob(job, [this, job, paths](bool completed) {
        if (!completed)
            return;
        if (job->largeFile())
            state_.inputOpened(job->largeFile(), {job->largeFile()->encoding, LineBreak::CrLf},
                               true);
        else if (job->encoding())
            state_.inputOpened(
                nullptr, {*job->encoding(), job->lineBreak().value_or(LineBreak::CrLf)}, true);
        else
            return; // nothing was imported
        Text1->setNote(job->emptied()     ? EmptyImportNote()
                       : paths.size() > 1 ? ImportedFilesNote(paths)
                                          : QString());
    });
}

// A save onto a file that an unfinished save left copies of, or onto such a copy, goes on only
// when the user says so: the copies themselves are never deleted or written over.
bool MainWindow::mayOverwrite(const QString& path) {
    QString said;
    if (const QStringList backups = LeftBackupsOf(path); !backups.isEmpty())
        said = LeftBackupsNotice(path, backups);
    else if (const std::optional<QString> original = BackedUpFile(path))
        said = QStringLiteral(
                   "注意：%1 是 %2 在原处保存时留下的备份；保存后，备份原来的内容就没有了。")
                   .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(*original));
    if (said.isEmpty())
        return true;
    return services_.AskOkCancel(said + QStringLiteral("\n\n仍要保存吗？"), QStringLiteral("保存"));
}

// The result is written in the format chosen in the dialog; 与原文件相同 is the format of the
// input it was filtered from (a large result's own).
void MainWindow::Command5_Click() {
    services_.setFilter(kFileFilter);
    // A pasted text has no original file: its result is saved by default as a typed one is.
    const std::shared_ptr<LargeResult>& large = state_.largeResult();
    const bool pastedResult = isLargeResult() && large->pastedInput;
    services_.setSaveHasOriginal((isLargeResult() && !pastedResult) || state_.inputFromFile());
    if (!services_.ShowSave())
        return;
    if (!mayOverwrite(services_.fileName()))
        return;
    if (isLargeResult()) {
        const FileFormat own =
            pastedResult ? FileFormat{} : FileFormat{large->encoding, large->result.lineBreak};
        startJob(new LargeSaveJob(large, Text2, services_.fileName(),
                                  ResolveSaveFormat(services_.saveFormat(), own), services_));
        return;
    }
    const FileFormat same =
        state_.lastFilter() ? state_.lastFilter()->format : state_.inputFormat();
    startJob(new SaveJob(*Text2, services_.fileName(),
                         ResolveSaveFormat(services_.saveFormat(), same), services_));
}

void MainWindow::Command3_Click() {
    if (const qsizetype lost = linesAClearLoses();
        lost > 0 && !services_.AskOkCancel(ClearLosesQuestion(lost), QStringLiteral("清空所有")))
        return;
    clearBoxes();
    services_.MsgBox(QStringLiteral("ok"), DesktopServices::Plain, QStringLiteral("OK"));
}

void MainWindow::Command4_Click() {
    RunCommand(1);
}

void MainWindow::RunCommand(int index) {
    if (index == 2) {
        cancelCommand();
        clearBoxes();
        return;
    }
    if (index != 0 && index != 1) {
        services_.MsgBox(QStringLiteral("未知错误"), DesktopServices::Critical, QString());
        return;
    }
    cancelCommand();
    if (busy()) // still taking back its work, or writing a file
        return;
    if (index == 0)
        runFilter(true);
    else if (isLargeResult())
        startJob(new LargeCopyJob(state_.largeResult(), Text2, copyBytes_, services_));
    else
        startJob(new CopyJob(*Text2, services_));
}
