#include "ui/statistic/similarmodel.h"

#include "engine/writing/removedrow.h"

#include <QFont>
#include <QStringMatcher>

#include <algorithm>

// An index's internal id: 0 for a group's row, else one more than the row of its group.

namespace {

// A group's row names its kept line; by its number where its text is not known.
QString HeadText(const SimilarGroup& group) {
    return group.keptText.isEmpty() ? QStringLiteral("（第 %1 行）").arg(group.kept.second)
                                    : group.keptText;
}

} // namespace

std::shared_ptr<const SimilarSearch> SearchSimilar(const SimilarGroups& groups, const QString& text,
                                                   const SimilarSearch* narrowed,
                                                   const std::atomic<bool>* stop) {
    auto found = std::make_shared<SimilarSearch>();
    found->text = text;
    if (narrowed &&
        (narrowed->text.isEmpty() || !text.contains(narrowed->text, Qt::CaseInsensitive)))
        narrowed = nullptr;
    const QStringMatcher matcher(text, Qt::CaseInsensitive);
    auto holds = [&matcher](const QString& line) { return matcher.indexIn(line) >= 0; };
    const std::size_t looked = narrowed ? narrowed->shown.size() : groups.groups.size();
    for (std::size_t i = 0; i < looked; ++i) {
        // Now and then, so that a search no longer wanted ends soon.
        if (i % 1024 == 0 && stop && stop->load(std::memory_order_relaxed))
            return nullptr;
        const SimilarSearch::Shown* before = narrowed ? &narrowed->shown[i] : nullptr;
        const quint32 g = before ? before->group : quint32(i);
        const SimilarGroup& group = groups.groups[g];
        if (holds(HeadText(group))) {
            found->shown.push_back({g, 0, quint32(group.members.size()), true});
            continue;
        }
        const auto first = quint32(found->members.size());
        if (before && !before->all) {
            for (quint32 k = 0; k < before->count; ++k) {
                const quint32 m = narrowed->members[before->first + k];
                if (holds(group.members[m].text))
                    found->members.push_back(m);
            }
        } else {
            for (std::size_t m = 0; m < group.members.size(); ++m) {
                if (holds(group.members[m].text))
                    found->members.push_back(quint32(m));
            }
        }
        if (found->members.size() > first)
            found->shown.push_back({g, first, quint32(found->members.size() - first), false});
    }
    return found;
}

SimilarModel::SimilarModel(QObject* parent) : QAbstractItemModel(parent) {}

void SimilarModel::setGroups(std::shared_ptr<const SimilarGroups> groups,
                             std::vector<LinePlace> ticked) {
    beginResetModel();
    // The same groups again (with other ticks) keep their search.
    if (search_ && groups != groups_)
        search_ = groups ? SearchSimilar(*groups, search_->text, nullptr)
                         : std::make_shared<SimilarSearch>(SimilarSearch{search_->text, {}, {}});
    groups_ = std::move(groups);
    std::sort(ticked.begin(), ticked.end());
    ticked_ = std::move(ticked);
    endResetModel();
}

bool SimilarModel::setSearch(const QString& text) {
    if (text == searched())
        return false;
    if (text.isEmpty() || !groups_)
        return showSearch(text.isEmpty()
                              ? nullptr
                              : std::make_shared<SimilarSearch>(SimilarSearch{text, {}, {}}));
    return showSearch(SearchSimilar(*groups_, text, search_.get()));
}

bool SimilarModel::showsAll(const SimilarSearch* search) const {
    return !search ||
           (groups_ && search->members.empty() && search->shown.size() == groups_->groups.size());
}

bool SimilarModel::showSearch(std::shared_ptr<const SimilarSearch> found) {
    if (found && found->text.isEmpty())
        found = nullptr;
    // Rows that stay as they are need no new layout of the view: as a text is typed, its first
    // keys often leave what was shown.
    const bool same = (showsAll(found.get()) && showsAll(search_.get())) ||
                      (found && search_ && found->sameRows(*search_));
    if (same) {
        search_ = std::move(found);
        return false;
    }
    beginResetModel();
    search_ = std::move(found);
    endResetModel();
    return true;
}

const SimilarGroup& SimilarModel::groupAt(int row) const {
    return groups_->groups[search_ ? search_->shown[std::size_t(row)].group : std::size_t(row)];
}

const SimilarMember& SimilarModel::memberAt(int groupRow, int row) const {
    const SimilarGroup& group = groupAt(groupRow);
    if (!search_ || search_->shown[std::size_t(groupRow)].all)
        return group.members[std::size_t(row)];
    return group
        .members[search_->members[search_->shown[std::size_t(groupRow)].first + quint32(row)]];
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
        return int(search_ ? search_->shown.size() : groups_->groups.size());
    if (parent.internalId() != 0 || parent.column() != 0)
        return 0;
    if (!search_)
        return int(groups_->groups[std::size_t(parent.row())].members.size());
    return int(search_->shown[std::size_t(parent.row())].count);
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
