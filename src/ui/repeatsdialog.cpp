#include "ui/repeatsdialog.h"

#include "files/textfile.h"
#include "platform/desktopservices.h"
#include "platform/threads.h"
#include "ui/textbox.h"

#include <QAbstractTableModel>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <QtConcurrent>

namespace {

class RepeatsModel final : public QAbstractTableModel {
public:
    explicit RepeatsModel(std::shared_ptr<const std::vector<RepeatedLine>> repeats, QObject* parent)
        : QAbstractTableModel(parent), repeats_(std::move(repeats)) {}

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : int(std::min<std::size_t>(repeats_->size(), INT_MAX));
    }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 2; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid())
            return {};
        const RepeatedLine& line = (*repeats_)[std::size_t(index.row())];
        if (role == Qt::DisplayRole)
            return index.column() == 0 ? QVariant(line.count) : QVariant(shown(line.text));
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
    std::shared_ptr<const std::vector<RepeatedLine>> repeats_;
};

} // namespace

RepeatsDialog::RepeatsDialog(const EngineStats& stats, std::vector<RepeatedLine> repeats,
                             DesktopServices& services, QWidget* parent)
    : QDialog(parent),
      repeats_(std::make_shared<const std::vector<RepeatedLine>>(std::move(repeats))),
      services_(services) {
    setObjectName(QStringLiteral("RepeatsDialog"));
    setWindowTitle(QStringLiteral("重复统计"));
    auto* layout = new QVBoxLayout(this);
    auto* totals = new QLabel(
        QStringLiteral("共 %1 行，其中不同的行 %2 行；删除了 %3 行。有重复的行 %4 行%5：")
            .arg(stats.linesRead)
            .arg(stats.distinctLines)
            .arg(stats.linesRemoved)
            .arg(stats.repeatedLines)
            .arg(qint64(repeats_->size()) < stats.repeatedLines
                     ? QStringLiteral("（只列出最多的 %1 行）").arg(repeats_->size())
                     : QString()),
        this);
    totals->setObjectName(QStringLiteral("RepeatsTotals"));
    totals->setWordWrap(true);
    layout->addWidget(totals);
    auto* view = new QTableView(this);
    view->setObjectName(QStringLiteral("RepeatsTable"));
    view->setModel(new RepeatsModel(repeats_, view));
    view->verticalHeader()->setVisible(false);
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 4);
    view->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    view->horizontalHeader()->setStretchLastSection(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setWordWrap(false);
    view->setAccessibleName(QStringLiteral("重复的行"));
    layout->addWidget(view);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* copy =
        buttons->addButton(QStringLiteral("复制列表"), QDialogButtonBox::ActionRole);
    copy->setObjectName(QStringLiteral("CopyRepeats"));
    QPushButton* save =
        buttons->addButton(QStringLiteral("保存列表…"), QDialogButtonBox::ActionRole);
    save->setObjectName(QStringLiteral("SaveRepeats"));
    QPushButton* close = buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("CloseRepeats"));
    copy->setEnabled(!repeats_->empty());
    save->setEnabled(!repeats_->empty());
    if (!repeats_->empty())
        actions_ = {copy, save};
    connect(copy, &QPushButton::clicked, this, &RepeatsDialog::copyList);
    connect(save, &QPushButton::clicked, this, &RepeatsDialog::saveList);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(520, 420);
}

QString RepeatsListText(const std::vector<RepeatedLine>& repeats) {
    qsizetype size = 0;
    for (const RepeatedLine& line : repeats)
        size += line.text.size() + 24;
    QString text;
    text.reserve(size);
    for (const RepeatedLine& line : repeats) {
        text += QString::number(line.count);
        text += u'\t';
        text += line.text;
        text += QStringLiteral("\r\n");
    }
    return text;
}

QString RepeatsDialog::listText() const {
    return RepeatsListText(*repeats_);
}

template <typename Work, typename Then> void RepeatsDialog::inBackground(Work work, Then then) {
    for (QWidget* w : actions_)
        w->setEnabled(false);
    setCursor(Qt::BusyCursor);
    using Result = decltype(work());
    auto* watcher = new QFutureWatcher<Result>(this);
    connect(watcher, &QFutureWatcher<Result>::finished, this,
            [this, watcher, then = std::move(then)] {
                watcher->deleteLater();
                for (QWidget* w : actions_)
                    w->setEnabled(true);
                unsetCursor();
                then(watcher->result());
            });
    watcher->setFuture(QtConcurrent::run([work = std::move(work)]() mutable {
        LowerCurrentThreadPriority();
        return work();
    }));
}

void RepeatsDialog::copyList() {
    inBackground(
        [repeats = repeats_] {
            // The clipboard cannot carry bytes that no encoding read: they become U+FFFD.
            return WithReplacementCharacters(RepeatsListText(*repeats));
        },
        [this](const QString& text) {
            services_.ClipboardClear();
            services_.ClipboardSetText(text);
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
    inBackground(
        [repeats = repeats_, path] {
            return SaveTextFile(path, RepeatsListText(*repeats), TextEncoding::Utf8Bom);
        },
        [this](const SaveResult& saved) {
            if (!saved.ok) {
                services_.MsgBox(saved.error, DesktopServices::Critical,
                                 QStringLiteral("保存失败"));
                return;
            }
            services_.MsgBox(QStringLiteral("统计已保存至指定路径！"), DesktopServices::Information,
                             QStringLiteral("提示"));
        });
}
