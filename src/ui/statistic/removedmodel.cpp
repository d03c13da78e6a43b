#include "ui/statistic/removedmodel.h"

RemovedModel::RemovedModel(std::shared_ptr<const RemovedRows> rows, QObject* parent)
    : QAbstractTableModel(parent), rows_(std::move(rows)) {}

int RemovedModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(std::min<qsizetype>(rows_->size(), INT_MAX));
}

int RemovedModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Columns;
}

qsizetype RemovedModel::listRow(int row) const {
    if (!shown_.empty())
        return shown_[std::size_t(row)];
    return reversed_ ? rows_->size() - 1 - row : row;
}

QVariant RemovedModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    const qsizetype row = listRow(index.row());
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case Where:
            return rows_->where(row);
        case Reason:
            return rows_->reason(row);
        case Text:
            return rows_->isCut(row) ? rows_->text(row).toString() + QStringLiteral("…")
                                     : rows_->text(row).toString();
        default:
            return {};
        }
    }
    if (role == Qt::TextAlignmentRole && index.column() != Text)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant RemovedModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::InitialSortOrderRole)
        return int(Qt::AscendingOrder);
    if (role != Qt::DisplayRole)
        return {};
    switch (section) {
    case Where:
        return QStringLiteral("行号");
    case Reason:
        return QStringLiteral("所重复的行");
    case Text:
        return QStringLiteral("行");
    default:
        return {};
    }
}

void RemovedModel::sort(int column, Qt::SortOrder order) {
    if (column == Text || (column == column_ && order == order_))
        return;
    beginResetModel();
    column_ = column;
    order_ = order;
    if (column == Where) {
        shown_.clear();
        shown_.shrink_to_fit();
        reversed_ = order == Qt::DescendingOrder;
    } else {
        shown_ = rows_->orderByReason(order == Qt::DescendingOrder);
        reversed_ = false;
    }
    endResetModel();
}
