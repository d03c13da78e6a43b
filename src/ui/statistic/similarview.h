#pragma once

#include "ui/statistic/similargroups.h"
#include "ui/statistic/similarmodel.h"

#include <QWidget>

#include <atomic>
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
//
// The search runs on a worker as the text is typed, from what the last one left where the new
// text holds the old; a key pressed meanwhile stops it, and only the last text's rows are shown.
class SimilarView : public QWidget {
    Q_OBJECT
public:
    explicit SimilarView(QWidget* parent = nullptr);
    ~SimilarView() override;

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

    // The text whose rows the list shows (empty: all of them).
    QString searched() const { return model_->searched(); }

signals:
    void keptByHandChanged(const std::vector<LinePlace>& lines);
    // The rows of the text searched for are shown.
    void searchShown();

private:
    void fill(std::vector<LinePlace> ticked);
    void updateTotals();
    void startSearch(const QString& text);
    void stopSearch();

    std::shared_ptr<const SimilarGroups> groups_;
    QLabel* totals_ = nullptr;
    QLineEdit* search_ = nullptr;
    QTreeView* tree_ = nullptr;
    SimilarModel* model_ = nullptr;
    // Set to stop the search at work; null when none is.
    std::shared_ptr<std::atomic<bool>> searching_;
};
