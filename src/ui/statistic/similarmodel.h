#pragma once

#include "ui/statistic/similargroups.h"

#include <QAbstractItemModel>

#include <atomic>
#include <memory>
#include <vector>

// What a search of the groups leaves (see SimilarModel): which groups, and of a group whose kept
// line does not hold the text, which of its lines do.
struct SimilarSearch {
    // A group as the search leaves it: which group, and the range of `members` naming the lines
    // shown; all its lines where `all`.
    struct Shown {
        quint32 group = 0;
        quint32 first = 0;
        quint32 count = 0;
        bool all = true;
        bool operator==(const Shown&) const = default;
    };
    QString text;
    std::vector<Shown> shown;
    std::vector<quint32> members;
    // True when it leaves the same rows as `other`.
    bool sameRows(const SimilarSearch& other) const {
        return shown == other.shown && members == other.members;
    }
};

// Searches the groups for `text` (not empty). Where `narrowed` is a search for a text that `text`
// holds, only what it left is looked through: nothing else can hold `text`. Safe on any thread
// while the groups stay; null when `stop` is set before it ends.
std::shared_ptr<const SimilarSearch> SearchSimilar(const SimilarGroups& groups, const QString& text,
                                                   const SimilarSearch* narrowed,
                                                   const std::atomic<bool>* stop = nullptr);

// The groups of near repeats as a tree read from the groups when a view asks: each group a row
// (its kept line, how many went for it), each line that went for it a row under it (where it was,
// how alike, a box 保留, the line). Nothing is made per row, so that hundreds of thousands of
// lines are listed at once.
//
// The search keeps a group whose kept line holds the text searched for, with all its lines, and
// of the other groups those lines that hold it, under their group (case-insensitive).
class SimilarModel final : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Column { Place, Similarity, Keep, Text, Columns };
    // On a line that went, in the column Text: the text of its kept line (none where that is not
    // known).
    static constexpr int KeptTextRole = Qt::UserRole + 1;

    explicit SimilarModel(QObject* parent = nullptr);

    // The groups shown (null: none), with the lines ticked 保留 (sorted).
    void setGroups(std::shared_ptr<const SimilarGroups> groups, std::vector<LinePlace> ticked);
    // Searches at once (an empty text ends the search). True when other rows are shown.
    bool setSearch(const QString& text);
    // Shows what a search of the groups shown found (null ends the search). True when other rows
    // are shown; where the rows stay the same, the view has nothing to lay out again.
    bool showSearch(std::shared_ptr<const SimilarSearch> found);
    // The search shown (null: none), to narrow the next one from.
    std::shared_ptr<const SimilarSearch> search() const { return search_; }
    QString searched() const { return search_ ? search_->text : QString(); }
    const std::vector<LinePlace>& ticked() const { return ticked_; }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    // A line was ticked or unticked by the user.
    void tickedChanged();

private:
    const SimilarGroup& groupAt(int row) const;
    const SimilarMember& memberAt(int groupRow, int row) const;
    // True when a search (null: none) leaves every group with all its lines.
    bool showsAll(const SimilarSearch* search) const;

    std::shared_ptr<const SimilarGroups> groups_;
    std::vector<LinePlace> ticked_;
    // Without a search every group with all its lines is shown.
    std::shared_ptr<const SimilarSearch> search_;
};
