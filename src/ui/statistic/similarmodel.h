#pragma once

#include "ui/statistic/similargroups.h"

#include <QAbstractItemModel>

#include <memory>
#include <vector>

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
    void setSearch(const QString& text);
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
    // A group as the search leaves it: which group, and the range of shownMembers_ naming the
    // lines shown; all its lines where `all`.
    struct Shown {
        quint32 group = 0;
        quint32 first = 0;
        quint32 count = 0;
        bool all = true;
    };
    const SimilarGroup& groupAt(int row) const;
    const SimilarMember& memberAt(int groupRow, int row) const;
    // Lists the groups and lines the search leaves.
    void search();

    std::shared_ptr<const SimilarGroups> groups_;
    std::vector<LinePlace> ticked_;
    QString searched_;
    // Without a search every group with all its lines is shown, and these stay empty.
    std::vector<Shown> shown_;
    std::vector<quint32> shownMembers_;
};
