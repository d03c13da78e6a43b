#pragma once

#include "ui/statistic/removedrows.h"

#include <QAbstractTableModel>

#include <memory>
#include <vector>

// The removed lines as a table: where each line was, the line it repeats (or why else it went)
// and the line. Sorted by either number, through an order of row numbers made by a radix sort, so
// that a million rows sort in tens of milliseconds; in input order at first.
class RemovedModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Where, Reason, Text, Columns };

    explicit RemovedModel(std::shared_ptr<const RemovedRows> rows, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Sorts by the line's number or by the number of the line it repeats; the text column is not
    // sorted by.
    void sort(int column, Qt::SortOrder order) override;

    // The row of the list (in input order) shown in `row`.
    qsizetype listRow(int row) const;
    int sortColumn() const { return column_; }
    Qt::SortOrder sortOrder() const { return order_; }

private:
    std::shared_ptr<const RemovedRows> rows_;
    std::vector<quint32> shown_; // the list's rows in the order shown; empty: input order
    bool reversed_ = false;      // input order, backwards
    int column_ = Where;
    Qt::SortOrder order_ = Qt::AscendingOrder;
};
