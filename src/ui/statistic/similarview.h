#pragma once

#include "ui/statistic/similargroups.h"
#include "ui/statistic/similarmodel.h"

#include <QWidget>

#include <memory>
#include <vector>

class QLabel;
class QLineEdit;
class QTreeView;

// The page 相似的行 of the statistic: the groups of near repeats, the largest first, each its kept
// line and then the lines that went for it (where each was, how alike it is, the characters that
// differ from the kept line highlighted), with a search over their text. A line that went can be
// ticked 保留: the next filter keeps it (see EngineSettings::keptByHand). The list reads the groups
// as it shows them (SimilarModel).
class SimilarView : public QWidget {
    Q_OBJECT
public:
    explicit SimilarView(QWidget* parent = nullptr);

    // Shows the groups, with the lines ticked; null shows that they are not listed yet, with
    // `pending` in their place.
    void setGroups(std::shared_ptr<const SimilarGroups> groups, const QString& pending = {});
    std::shared_ptr<const SimilarGroups> groups() const { return groups_; }
    // The lines ticked 保留, sorted.
    std::vector<LinePlace> keptByHand() const { return model_->ticked(); }
    void setKeptByHand(std::vector<LinePlace> lines);
    QTreeView* tree() const { return tree_; }
    QLineEdit* search() const { return search_; }

    // The columns.
    using Column = SimilarModel::Column;
    using enum SimilarModel::Column;

signals:
    void keptByHandChanged(const std::vector<LinePlace>& lines);

private:
    void fill(std::vector<LinePlace> ticked);
    void updateTotals();

    std::shared_ptr<const SimilarGroups> groups_;
    QLabel* totals_ = nullptr;
    QLineEdit* search_ = nullptr;
    QTreeView* tree_ = nullptr;
    SimilarModel* model_ = nullptr;
};
