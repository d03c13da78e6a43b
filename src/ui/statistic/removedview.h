#pragma once

#include "ui/statistic/removedrows.h"

#include <QWidget>

#include <memory>

class QLabel;
class QTableView;
class RemovedModel;

// The page 已删除的行 of the statistic: how many lines went, and a table of them (where each was,
// the line it repeats, the line), sorted by either number at a click on its heading. The table is
// a view over the rows, so that a million of them open and scroll like ten.
class RemovedView : public QWidget {
    Q_OBJECT
public:
    explicit RemovedView(QWidget* parent = nullptr);

    // Shows the rows; null shows that they are not listed yet, with `pending` in their place.
    void setRows(std::shared_ptr<const RemovedRows> rows, const QString& pending = {});
    std::shared_ptr<const RemovedRows> rows() const { return rows_; }
    QTableView* table() const { return table_; }
    RemovedModel* model() const { return model_; }

private:
    std::shared_ptr<const RemovedRows> rows_;
    QLabel* totals_ = nullptr;
    QTableView* table_ = nullptr;
    RemovedModel* model_ = nullptr;
};

// What the page says above the table: how many lines went and, when the list does not hold them
// all, that it shows the first ones while copy and save take every one.
QString RemovedTotalsText(const RemovedRows& rows);
