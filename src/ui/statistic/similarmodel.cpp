#include "ui/statistic/similarmodel.h"

#include "engine/writing/removedrow.h"

#include <QFont>

#include <algorithm>

// An index's internal id: 0 for a group's row, else one more than the row of its group.

namespace {

// A group's row names its kept line; by its number where its text is not known.
QString HeadText(const SimilarGroup& group) {
    return group.keptText.isEmpty() ? QStringLiteral("（第 %1 行）").arg(group.kept.second)
                                    : group.keptText;
}

} // namespace

SimilarModel::SimilarModel(QObject* parent) : QAbstractItemModel(parent) {}

void SimilarModel::setGroups(std::shared_ptr<const SimilarGroups> groups,
                             std::vector<LinePlace> ticked) {
    beginResetModel();
    groups_ = std::move(groups);
    std::sort(ticked.begin(), ticked.end());
    ticked_ = std::move(ticked);
    search();
    endResetModel();
}

void SimilarModel::setSearch(const QString& text) {
    if (text == searched_)
        return;
    beginResetModel();
    searched_ = text;
    search();
    endResetModel();
}

void SimilarModel::search() {
    shown_.clear();
    shownMembers_.clear();
    if (!groups_ || searched_.isEmpty())
        return;
    const std::vector<SimilarGroup>& groups = groups_->groups;
    auto holds = [this](const QString& text) {
        return text.contains(searched_, Qt::CaseInsensitive);
    };
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const SimilarGroup& group = groups[g];
        if (holds(HeadText(group))) {
            shown_.push_back(Shown{quint32(g), 0, quint32(group.members.size()), true});
            continue;
        }
        const auto first = quint32(shownMembers_.size());
        for (std::size_t m = 0; m < group.members.size(); ++m) {
            if (holds(group.members[m].text))
                shownMembers_.push_back(quint32(m));
        }
        if (shownMembers_.size() > first)
            shown_.push_back(
                Shown{quint32(g), first, quint32(shownMembers_.size() - first), false});
    }
}

const SimilarGroup& SimilarModel::groupAt(int row) const {
    return groups_->groups[searched_.isEmpty() ? std::size_t(row) : shown_[std::size_t(row)].group];
}

const SimilarMember& SimilarModel::memberAt(int groupRow, int row) const {
    const SimilarGroup& group = groupAt(groupRow);
    if (searched_.isEmpty() || shown_[std::size_t(groupRow)].all)
        return group.members[std::size_t(row)];
    return group.members[shownMembers_[shown_[std::size_t(groupRow)].first + quint32(row)]];
}

QModelIndex SimilarModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column < 0 || column >= Columns || row >= rowCount(parent))
        return {};
    if (!parent.isValid())
        return createIndex(row, column, quintptr(0));
    return createIndex(row, column, quintptr(parent.row()) + 1);
}

QModelIndex SimilarModel::parent(const QModelIndex& index) const {
    if (!index.isValid() || index.internalId() == 0)
        return {};
    return createIndex(int(index.internalId() - 1), 0, quintptr(0));
}

int SimilarModel::rowCount(const QModelIndex& parent) const {
    if (!groups_)
        return 0;
    if (!parent.isValid())
        return int(searched_.isEmpty() ? groups_->groups.size() : shown_.size());
    if (parent.internalId() != 0 || parent.column() != 0)
        return 0;
    if (searched_.isEmpty())
        return int(groups_->groups[std::size_t(parent.row())].members.size());
    return int(shown_[std::size_t(parent.row())].count);
}

int SimilarModel::columnCount(const QModelIndex& parent) const {
    Q_UNUSED(parent);
    return Columns;
}

bool SimilarModel::hasChildren(const QModelIndex& parent) const {
    return rowCount(parent) > 0;
}

QVariant SimilarModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !groups_)
        return {};
    const int column = index.column();
    if (index.internalId() == 0) {
        const SimilarGroup& group = groupAt(index.row());
        if (role == Qt::DisplayRole) {
            switch (column) {
            case Place:
                return RemovedRowPlace(group.kept.first, group.kept.second, {});
            case Similarity:
                return QStringLiteral("%1 行").arg(group.members.size());
            case Text:
                return HeadText(group);
            default:
                return QString();
            }
        }
        if (role == Qt::FontRole && column == Text) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    }
    const int groupRow = int(index.internalId() - 1);
    const SimilarMember& member = memberAt(groupRow, index.row());
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case Place:
            return RemovedRowPlace(member.place.first, member.place.second, {});
        case Similarity:
            return QStringLiteral("%1%").arg(member.similarity);
        case Keep:
            return QStringLiteral("保留");
        case Text:
            return member.text;
        default:
            return {};
        }
    case Qt::CheckStateRole:
        if (column != Keep)
            return {};
        return int(std::binary_search(ticked_.begin(), ticked_.end(), member.place)
                       ? Qt::Checked
                       : Qt::Unchecked);
    case Qt::TextAlignmentRole:
        if (column == Similarity)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    case KeptTextRole:
        if (column == Text && !groupAt(groupRow).keptText.isEmpty())
            return groupAt(groupRow).keptText;
        return {};
    default:
        return {};
    }
}

bool SimilarModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !index.isValid() || index.internalId() == 0 ||
        index.column() != Keep)
        return false;
    const LinePlace place = memberAt(int(index.internalId() - 1), index.row()).place;
    const bool on = value.toInt() == int(Qt::Checked);
    const auto at = std::lower_bound(ticked_.begin(), ticked_.end(), place);
    const bool was = at != ticked_.end() && *at == place;
    if (on == was)
        return true;
    if (on)
        ticked_.insert(at, place);
    else
        ticked_.erase(at);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    emit tickedChanged();
    return true;
}

Qt::ItemFlags SimilarModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.internalId() != 0) {
        // Spares the view a look-up of each line in the model's persistent indexes.
        flags |= Qt::ItemNeverHasChildren;
        if (index.column() == Keep)
            flags |= Qt::ItemIsUserCheckable;
    }
    return flags;
}

QVariant SimilarModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case Place:
        return QStringLiteral("行号");
    case Similarity:
        return QStringLiteral("相似度");
    case Keep:
        return QStringLiteral("保留");
    case Text:
        return QStringLiteral("行");
    default:
        return {};
    }
}
