#include "ui/statistic/repeatsdialog.h"

#include "files/textfile.h"
#include "platform/desktopservices.h"
#include "platform/threads.h"
#include "ui/statistic/removedexport.h"
#include "ui/statistic/removedview.h"
#include "ui/statistic/similarview.h"
#include "ui/textbox/preparedtext.h"
#include "ui/window/wording.h"

#include <QAbstractTableModel>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
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

QString TotalsText(const Statistic& statistic, bool similar) {
    const EngineStats& stats = statistic.stats;
    QString text = QStringLiteral("共 %1 行，其中不同的行 %2 行；删除了 %3 行。有重复的行 %4 行：")
                       .arg(Grouped(stats.linesRead), Grouped(stats.distinctLines),
                            Grouped(stats.linesRemoved), Grouped(stats.repeatedLines));
    // Near repeats are counted by the line they went for, on the page 相似的行.
    if (similar)
        return text + QStringLiteral("\n（按相似度过滤时，每组重复见“相似的行”。）");
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
    auto* totals = new QLabel(TotalsText(*statistic_, settings_.options.similar != 0), this);
    totals->setObjectName(QStringLiteral("RepeatsTotals"));
    totals->setWordWrap(true);
    pages_ = new QTabWidget(this);
    pages_->setObjectName(QStringLiteral("RepeatsPages"));
    auto* repeatsPage = new QWidget(pages_);
    auto* repeatsLayout = new QVBoxLayout(repeatsPage);
    repeatsLayout->setContentsMargins(0, 0, 0, 0);
    repeatsLayout->addWidget(totals);
    auto* view = new QTableView(repeatsPage);
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
    repeatsLayout->addWidget(view);
    pages_->addTab(repeatsPage, QStringLiteral("重复的行"));
    removed_ = new RemovedView(pages_);
    pages_->addTab(removed_, QStringLiteral("已删除的行"));
    if (settings_.options.similar != 0) {
        similar_ = new SimilarView(pages_);
        pages_->addTab(similar_, QStringLiteral("相似的行"));
        connect(similar_, &SimilarView::keptByHandChanged, this, &RepeatsDialog::keptByHandChanged);
    }
    layout->addWidget(pages_);
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("RepeatsProgress"));
    progress_->setAccessibleName(QStringLiteral("进度"));
    progress_->hide();
    layout->addWidget(progress_);
    auto* buttons = new QDialogButtonBox(this);
    copy_ = buttons->addButton(QStringLiteral("复制列表"), QDialogButtonBox::ActionRole);
    copy_->setObjectName(QStringLiteral("CopyRepeats"));
    save_ = buttons->addButton(QStringLiteral("保存列表…"), QDialogButtonBox::ActionRole);
    save_->setObjectName(QStringLiteral("SaveRepeats"));
    QPushButton* close = buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("CloseRepeats"));
    connect(copy_, &QPushButton::clicked, this, &RepeatsDialog::copyList);
    connect(save_, &QPushButton::clicked, this, &RepeatsDialog::saveList);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    connect(pages_, &QTabWidget::currentChanged, this, [this] {
        if (page() == Page::Removed && !removed_->rows())
            listRemoved();
        if (page() == Page::Similar && !similar_->groups())
            listSimilar();
        updateButtons();
    });
    updateButtons();
    resize(560, 440);
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

void RepeatsDialog::showPage(Page page) {
    QWidget* shown = pages_->widget(0);
    if (page == Page::Removed)
        shown = removed_;
    else if (page == Page::Similar && similar_)
        shown = similar_;
    pages_->setCurrentWidget(shown);
}

RepeatsDialog::Page RepeatsDialog::page() const {
    if (pages_->currentWidget() == removed_)
        return Page::Removed;
    if (similar_ && pages_->currentWidget() == similar_)
        return Page::Similar;
    return Page::Repeats;
}

void RepeatsDialog::setKeptByHand(std::vector<LinePlace> lines) {
    if (similar_)
        similar_->setKeptByHand(std::move(lines));
}

void RepeatsDialog::updateButtons() {
    bool any = false;
    if (page() == Page::Repeats)
        any = statistic_->stats.repeatedLines > 0 && settings_.options.similar == 0;
    else if (page() == Page::Removed)
        any = removed_->rows() && removed_->rows()->total() > 0;
    copy_->setEnabled(any && !exporting_);
    save_->setEnabled(any && !exporting_);
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

template <typename Work, typename Then>
void RepeatsDialog::inBackground(const QString& what, Work work, Then then) {
    setCursor(Qt::BusyCursor);
    auto state = std::make_shared<Export>();
    exporting_ = state;
    updateButtons();
    progress_->setFormat(what + QStringLiteral(" %p%"));
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
                unsetCursor();
                then(watcher->result());
                updateButtons();
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
struct Listed {
    Outcome outcome;
    std::shared_ptr<const RemovedRows> rows;
};
} // namespace

// The removed lines are listed once for each filter: they are kept with its statistic.
void RepeatsDialog::listRemoved() {
    if (statistic_->removed) {
        removed_->setRows(statistic_->removed);
        return;
    }
    if (exporting_)
        return;
    removed_->setRows(nullptr, QStringLiteral("正在列出已删除的行…"));
    inBackground(
        QStringLiteral("正在列出"),
        [source = source_, settings = settings_,
         limits = removedLimits_](const EngineProgress& progress) {
            Listed listed;
            listed.outcome = ListRemoved(source, settings, limits, progress, &listed.rows);
            return listed;
        },
        [this](const Listed& listed) {
            if (!listed.outcome.ok()) {
                removed_->setRows(nullptr, QStringLiteral("未能列出已删除的行。"));
                if (listed.outcome.hasFailed())
                    services_.MsgBox(listed.outcome.message(), DesktopServices::Critical,
                                     QStringLiteral("重复统计"));
                return;
            }
            statistic_->removed = listed.rows;
            removed_->setRows(listed.rows);
        });
}

// The near repeats are grouped once for each showing of the statistic.
void RepeatsDialog::listSimilar() {
    if (exporting_)
        return;
    similar_->setGroups(nullptr, QStringLiteral("正在列出相似的行…"));
    struct SimilarListed {
        Outcome outcome;
        std::shared_ptr<const SimilarGroups> groups;
    };
    inBackground(
        QStringLiteral("正在列出"),
        [source = source_, settings = settings_](const EngineProgress& progress) {
            SimilarListed grouped;
            auto groups = std::make_shared<SimilarGroups>();
            grouped.outcome = ListSimilar(source, settings, progress, groups.get());
            grouped.groups = std::move(groups);
            return grouped;
        },
        [this](const SimilarListed& grouped) {
            if (!grouped.outcome.ok()) {
                similar_->setGroups(nullptr, QStringLiteral("未能列出相似的行。"));
                if (grouped.outcome.hasFailed())
                    services_.MsgBox(grouped.outcome.message(), DesktopServices::Critical,
                                     QStringLiteral("重复统计"));
                return;
            }
            similar_->setGroups(grouped.groups);
        });
}

void RepeatsDialog::copyList() {
    const bool removed = page() == Page::Removed;
    inBackground(
        QStringLiteral("正在导出"),
        [statistic = statistic_, rows = removed_->rows(), removed, source = source_,
         settings = settings_](const EngineProgress& progress) {
            Exported out;
            QString text;
            out.outcome = removed ? AllRemovedText(*rows, source, settings, progress, &text)
                                  : AllRepeatsText(*statistic, source, settings, progress, &text);
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
    const bool removed = page() == Page::Removed;
    const QString remembered = services_.fileName();
    services_.setFilter(QStringLiteral("文档文件(*.txt)|*.txt|所有文件(*.*)|*.*"));
    if (!services_.ShowSave())
        return;
    const QString path = services_.fileName();
    services_.setFileName(remembered); // the statistic's file is no result to come back to
    const SaveAs as = ResolveSaveFormat(services_.saveFormat(), same_);
    inBackground(
        QStringLiteral("正在导出"),
        [statistic = statistic_, rows = removed_->rows(), removed, source = source_,
         settings = settings_, path, as](const EngineProgress& progress) {
            Exported out;
            const FileFormat& f = as.format;
            out.outcome = removed ? SaveAllRemoved(*rows, source, settings, path, f.encoding,
                                                   f.lineBreak, as.exact, progress)
                                  : SaveAllRepeats(*statistic, source, settings, path, f.encoding,
                                                   f.lineBreak, as.exact, progress);
            return out;
        },
        [this, removed](const Exported& out) {
            if (!out.outcome.ok()) {
                if (out.outcome.hasFailed())
                    services_.MsgBox(out.outcome.message(), DesktopServices::Critical,
                                     QStringLiteral("保存失败"));
                return;
            }
            services_.MsgBox(removed ? QStringLiteral("已删除的行已保存至指定路径！")
                                     : QStringLiteral("统计已保存至指定路径！"),
                             DesktopServices::Information, QStringLiteral("提示"));
        });
}
