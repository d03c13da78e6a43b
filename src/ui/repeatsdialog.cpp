#include "ui/repeatsdialog.h"

#include "files/textfile.h"
#include "platform/desktopservices.h"
#include "platform/threads.h"
#include "ui/preparedtext.h"
#include "ui/wording.h"

#include <QAbstractTableModel>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <QtConcurrent>

namespace {

class RepeatsModel final : public QAbstractTableModel {
public:
    explicit RepeatsModel(std::shared_ptr<const Statistic> statistic, QObject* parent)
        : QAbstractTableModel(parent), statistic_(std::move(statistic)) {}

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : int(std::min<std::size_t>(statistic_->rows.size(), INT_MAX));
    }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 2; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid())
            return {};
        const RepeatedLine& line = statistic_->rows[std::size_t(index.row())];
        if (role == Qt::DisplayRole)
            return index.column() == 0 ? QVariant(Grouped(line.count)) : QVariant(shown(line.text));
        if (role == Qt::TextAlignmentRole && index.column() == 0)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        return section == 0 ? QStringLiteral("次数") : QStringLiteral("行");
    }

private:
    // A view of a line for a table cell: very long lines are cut.
    static QString shown(const QString& text) {
        constexpr qsizetype kShown = 500;
        return text.size() > kShown ? text.left(kShown) + QStringLiteral("…") : text;
    }
    std::shared_ptr<const Statistic> statistic_;
};

QString TotalsText(const Statistic& statistic) {
    const EngineStats& stats = statistic.stats;
    QString text = QStringLiteral("共 %1 行，其中不同的行 %2 行；删除了 %3 行。有重复的行 %4 行：")
                       .arg(Grouped(stats.linesRead), Grouped(stats.distinctLines),
                            Grouped(stats.linesRemoved), Grouped(stats.repeatedLines));
    if (!statistic.complete())
        text +=
            QStringLiteral("\n（列表只显示次数最多的 %1 行；复制列表和保存列表包含全部 %2 行。）")
                .arg(Grouped(qint64(statistic.rows.size())), Grouped(stats.repeatedLines));
    return text;
}

} // namespace

RepeatsDialog::RepeatsDialog(std::shared_ptr<const Statistic> statistic, FilterSource source,
                             EngineSettings settings, FileFormat same, DesktopServices& services,
                             QWidget* parent)
    : QDialog(parent), statistic_(std::move(statistic)), source_(std::move(source)),
      settings_(std::move(settings)), same_(same), services_(services) {
    setObjectName(QStringLiteral("RepeatsDialog"));
    setWindowTitle(QStringLiteral("重复统计"));
    auto* layout = new QVBoxLayout(this);
    auto* totals = new QLabel(TotalsText(*statistic_), this);
    totals->setObjectName(QStringLiteral("RepeatsTotals"));
    totals->setWordWrap(true);
    layout->addWidget(totals);
    auto* view = new QTableView(this);
    view->setObjectName(QStringLiteral("RepeatsTable"));
    view->setModel(new RepeatsModel(statistic_, view));
    view->verticalHeader()->setVisible(false);
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 4);
    view->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    view->horizontalHeader()->setStretchLastSection(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setWordWrap(false);
    view->setAccessibleName(QStringLiteral("重复的行"));
    layout->addWidget(view);
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("RepeatsProgress"));
    progress_->setAccessibleName(QStringLiteral("进度"));
    progress_->setFormat(QStringLiteral("正在导出 %p%"));
    progress_->hide();
    layout->addWidget(progress_);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* copy =
        buttons->addButton(QStringLiteral("复制列表"), QDialogButtonBox::ActionRole);
    copy->setObjectName(QStringLiteral("CopyRepeats"));
    QPushButton* save =
        buttons->addButton(QStringLiteral("保存列表…"), QDialogButtonBox::ActionRole);
    save->setObjectName(QStringLiteral("SaveRepeats"));
    QPushButton* close = buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("CloseRepeats"));
    const bool any = statistic_->stats.repeatedLines > 0;
    copy->setEnabled(any);
    save->setEnabled(any);
    if (any)
        actions_ = {copy, save};
    connect(copy, &QPushButton::clicked, this, &RepeatsDialog::copyList);
    connect(save, &QPushButton::clicked, this, &RepeatsDialog::saveList);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(520, 420);
}

// A copy or save still at work is told to stop; a save stopped before its end writes nothing.
RepeatsDialog::~RepeatsDialog() {
    if (exporting_)
        exporting_->stop = true;
}

void RepeatsDialog::reject() {
    if (exporting_)
        exporting_->stop = true;
    QDialog::reject();
}

QString RepeatsDialog::listText() const {
    return RepeatsListText(statistic_->rows);
}

EngineProgress RepeatsDialog::progressOf(const std::shared_ptr<Export>& state) const {
    return [state](qint64 done, qint64 total) {
        if (total > 0)
            state->permille = int(std::min<qint64>(1000, done * 1000 / total));
        return !state->stop;
    };
}

template <typename Work, typename Then> void RepeatsDialog::inBackground(Work work, Then then) {
    for (QWidget* w : actions_)
        w->setEnabled(false);
    setCursor(Qt::BusyCursor);
    auto state = std::make_shared<Export>();
    exporting_ = state;
    auto* poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, [this, state] {
        const int permille = state->permille;
        progress_->setRange(0, permille < 0 ? 0 : 1000);
        progress_->setValue(std::max(0, permille));
        progress_->show();
    });
    poll->start(100);
    using Result = decltype(work(progressOf(state)));
    auto* watcher = new QFutureWatcher<Result>(this);
    connect(watcher, &QFutureWatcher<Result>::finished, this,
            [this, watcher, poll, then = std::move(then)] {
                watcher->deleteLater();
                poll->deleteLater();
                exporting_.reset();
                progress_->hide();
                for (QWidget* w : actions_)
                    w->setEnabled(true);
                unsetCursor();
                then(watcher->result());
                emit exportFinished();
            });
    watcher->setFuture(
        QtConcurrent::run([work = std::move(work), progress = progressOf(state)]() mutable {
            LowerCurrentThreadPriority();
            return work(progress);
        }));
}

namespace {
struct Exported {
    Outcome outcome;
    QString text;
};
} // namespace

void RepeatsDialog::copyList() {
    inBackground(
        [statistic = statistic_, source = source_,
         settings = settings_](const EngineProgress& progress) {
            Exported out;
            QString text;
            out.outcome = AllRepeatsText(*statistic, source, settings, progress, &text);
            // The clipboard cannot carry bytes that no encoding read: they become U+FFFD.
            if (out.outcome.ok())
                out.text = WithReplacementCharacters(text);
            return out;
        },
        [this](const Exported& out) {
            if (!out.outcome.ok()) {
                if (out.outcome.hasFailed())
                    services_.MsgBox(out.outcome.message(), DesktopServices::Critical,
                                     QStringLiteral("重复统计"));
                return;
            }
            services_.ClipboardClear();
            services_.ClipboardSetText(out.text);
            services_.MsgBox(QStringLiteral("复制成功..."), DesktopServices::Information,
                             QStringLiteral("重复统计"));
        });
}

void RepeatsDialog::saveList() {
    const QString remembered = services_.fileName();
    services_.setFilter(QStringLiteral("文档文件(*.txt)|*.txt|所有文件(*.*)|*.*"));
    if (!services_.ShowSave())
        return;
    const QString path = services_.fileName();
    services_.setFileName(remembered); // the statistic's file is no result to come back to
    const SaveAs as = ResolveSaveFormat(services_.saveFormat(), same_);
    inBackground(
        [statistic = statistic_, source = source_, settings = settings_, path,
         as](const EngineProgress& progress) {
            Exported out;
            out.outcome = SaveAllRepeats(*statistic, source, settings, path, as.format.encoding,
                                         as.format.lineBreak, as.exact, progress);
            return out;
        },
        [this](const Exported& out) {
            if (!out.outcome.ok()) {
                if (out.outcome.hasFailed())
                    services_.MsgBox(out.outcome.message(), DesktopServices::Critical,
                                     QStringLiteral("保存失败"));
                return;
            }
            services_.MsgBox(QStringLiteral("统计已保存至指定路径！"), DesktopServices::Information,
                             QStringLiteral("提示"));
        });
}
