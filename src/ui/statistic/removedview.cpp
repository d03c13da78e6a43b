#include "ui/statistic/removedview.h"

#include "core/grouped.h"
#include "ui/statistic/removedmodel.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

QString RemovedTotalsText(const RemovedRows& rows) {
    QString text = QStringLiteral("删除了 %1 行：").arg(Grouped(rows.total()));
    if (rows.size() < rows.total())
        text += QStringLiteral("\n（列表只显示前 %1 行；复制列表和保存列表包含全部 %2 行。）")
                    .arg(Grouped(rows.size()), Grouped(rows.total()));
    else if (!rows.complete())
        text += QStringLiteral("\n（列表中很长的行只显示开头；复制列表和保存列表包含整行。）");
    return text;
}

RemovedView::RemovedView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("RemovedView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    totals_ = new QLabel(this);
    totals_->setObjectName(QStringLiteral("RemovedTotals"));
    totals_->setWordWrap(true);
    layout->addWidget(totals_);
    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("RemovedTable"));
    table_->verticalHeader()->setVisible(false);
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setWordWrap(false);
    table_->setAccessibleName(QStringLiteral("已删除的行"));
    table_->setToolTip(QStringLiteral("点击“行号”或“所重复的行”排序"));
    layout->addWidget(table_);
    setRows(nullptr);
}

void RemovedView::setRows(std::shared_ptr<const RemovedRows> rows, const QString& pending) {
    rows_ = std::move(rows);
    RemovedModel* old = model_;
    model_ = new RemovedModel(rows_ ? rows_ : std::make_shared<const RemovedRows>(), table_);
    table_->setModel(model_);
    delete old;
    totals_->setText(rows_ ? RemovedTotalsText(*rows_) : pending);
    QHeaderView* header = table_->horizontalHeader();
    // The numbers' columns as wide as their widest number may be, measured once rather than row
    // by row: a million rows would take the window seconds.
    // A sample of the first rows gives room for the names of several inputs and of lists.
    const QFontMetrics metrics = table_->fontMetrics();
    const int digits = metrics.horizontalAdvance(QStringLiteral("0000000000"));
    const qsizetype sample = rows_ ? std::min<qsizetype>(rows_->size(), 1000) : 0;
    for (int column : {int(RemovedModel::Where), int(RemovedModel::Reason)}) {
        // The heading with room for the sort indicator.
        const QString heading =
            model_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        int width = std::max(digits, header->fontMetrics().horizontalAdvance(heading) + 24);
        for (qsizetype i = 0; i < sample; ++i)
            width = std::max(width, metrics.horizontalAdvance(column == RemovedModel::Where
                                                                  ? rows_->where(i)
                                                                  : rows_->reason(i)));
        header->setSectionResizeMode(column, QHeaderView::Interactive);
        header->resizeSection(column, std::min(width + 12, 240));
    }
    header->setSortIndicatorShown(true);
    header->setSectionsClickable(true);
    header->setSortIndicator(RemovedModel::Where, Qt::AscendingOrder);
    // The text is not sorted by: a click on its heading leaves the order as it was.
    disconnect(header, &QHeaderView::sortIndicatorChanged, this, nullptr);
    connect(header, &QHeaderView::sortIndicatorChanged, this,
            [this, header](int column, Qt::SortOrder order) {
                if (column == RemovedModel::Text) {
                    const QSignalBlocker block(header);
                    header->setSortIndicator(model_->sortColumn(), model_->sortOrder());
                    return;
                }
                model_->sort(column, order);
            });
}
