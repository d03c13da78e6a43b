#pragma once

#include "ui/statistic/similargroups.h"

#include <QWidget>

#include <memory>
#include <vector>

class QLabel;
class QLineEdit;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTreeView;

// The page 相似的行 of the statistic: the groups of near repeats, the largest first, each its kept
// line and then the lines that went for it (where each was, how alike it is, the characters that
// differ from the kept line highlighted), with a search over their text. A line that went can be
// ticked 保留: the next filter keeps it (see EngineSettings::keptByHand).
class SimilarView : public QWidget {
    Q_OBJECT
public:
    explicit SimilarView(QWidget* parent = nullptr);

    // Shows the groups, with the lines ticked; null shows that they are not listed yet, with
    // `pending` in their place.
    void setGroups(std::shared_ptr<const SimilarGroups> groups, const QString& pending = {});
    std::shared_ptr<const SimilarGroups> groups() const { return groups_; }
    // The lines ticked 保留, sorted.
    std::vector<LinePlace> keptByHand() const { return ticked_; }
    void setKeptByHand(std::vector<LinePlace> lines);
    QTreeView* tree() const { return tree_; }
    QLineEdit* search() const { return search_; }

    // The columns.
    enum Column { Place, Similarity, Keep, Text, Columns };

signals:
    void keptByHandChanged(const std::vector<LinePlace>& lines);

private:
    void fill();
    void updateTotals();

    std::shared_ptr<const SimilarGroups> groups_;
    std::vector<LinePlace> ticked_;
    QLabel* totals_ = nullptr;
    QLineEdit* search_ = nullptr;
    QTreeView* tree_ = nullptr;
    QStandardItemModel* model_ = nullptr;
    QSortFilterProxyModel* filter_ = nullptr;
    bool filling_ = false;
};
