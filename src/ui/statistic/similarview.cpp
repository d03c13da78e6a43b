#include "ui/statistic/similarview.h"

#include "core/grouped.h"
#include "engine/writing/removedrow.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

// The roles of an item: the kept line's text (on a member's text), and where the line is.
constexpr int kKeptTextRole = Qt::UserRole + 1;
constexpr int kInputRole = Qt::UserRole + 2;
constexpr int kLineRole = Qt::UserRole + 3;

// Draws a line that went with the characters that differ from its kept line on a shade.
class DifferenceDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QVariant kept = index.data(kKeptTextRole);
        if (!kept.isValid()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem base = option;
        initStyleOption(&base, index);
        const QString text = base.text;
        base.text.clear();
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &base, painter, widget);
        const QByteArray differs = DifferingChars(kept.toString(), text);
        const QRect area =
            style->subElementRect(QStyle::SE_ItemViewItemText, &base, widget).adjusted(2, 0, -2, 0);
        const QFontMetrics metrics(base.font);
        painter->save();
        painter->setClipRect(area);
        painter->setFont(base.font);
        const bool selected = option.state & QStyle::State_Selected;
        painter->setPen(
            option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        int x = area.left();
        const int y = area.top() + (area.height() - metrics.height()) / 2;
        for (qsizetype i = 0; i < text.size() && x < area.right();) {
            qsizetype j = i;
            while (j < text.size() && differs[j] == differs[i])
                ++j;
            const QString run = text.sliced(i, j - i);
            const int width = metrics.horizontalAdvance(run);
            const QRect box(x, y, width, metrics.height());
            if (differs[i]) {
                painter->fillRect(box, QColor(255, 200, 120));
                painter->setPen(Qt::black);
            } else {
                painter->setPen(
                    option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
            }
            painter->drawText(box, Qt::AlignLeft | Qt::AlignVCenter, run);
            x += width;
            i = j;
        }
        painter->restore();
    }
};

QStandardItem* Item(const QString& text) {
    auto* item = new QStandardItem(text);
    item->setEditable(false);
    return item;
}

} // namespace

SimilarView::SimilarView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("SimilarView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    totals_ = new QLabel(this);
    totals_->setObjectName(QStringLiteral("SimilarTotals"));
    totals_->setWordWrap(true);
    layout->addWidget(totals_);
    search_ = new QLineEdit(this);
    search_->setObjectName(QStringLiteral("SimilarSearch"));
    search_->setPlaceholderText(QStringLiteral("搜索"));
    search_->setClearButtonEnabled(true);
    search_->setAccessibleName(QStringLiteral("搜索相似的行"));
    layout->addWidget(search_);
    model_ = new QStandardItemModel(0, Columns, this);
    model_->setHorizontalHeaderLabels({QStringLiteral("行号"), QStringLiteral("相似度"),
                                       QStringLiteral("保留"), QStringLiteral("行")});
    filter_ = new QSortFilterProxyModel(this);
    filter_->setSourceModel(model_);
    filter_->setFilterKeyColumn(Text);
    filter_->setFilterCaseSensitivity(Qt::CaseInsensitive);
    filter_->setRecursiveFilteringEnabled(true);
    filter_->setAutoAcceptChildRows(true);
    tree_ = new QTreeView(this);
    tree_->setObjectName(QStringLiteral("SimilarTree"));
    tree_->setModel(filter_);
    tree_->setItemDelegateForColumn(Text, new DifferenceDelegate(tree_));
    tree_->setUniformRowHeights(true);
    tree_->setAccessibleName(QStringLiteral("相似的行"));
    tree_->header()->setStretchLastSection(true);
    layout->addWidget(tree_);
    connect(search_, &QLineEdit::textChanged, this, [this](const QString& text) {
        filter_->setFilterFixedString(text);
        tree_->expandAll();
    });
    connect(model_, &QStandardItemModel::itemChanged, this, [this](QStandardItem* item) {
        if (filling_ || item->column() != Keep)
            return;
        const LinePlace place{item->data(kInputRole).toInt(), item->data(kLineRole).toLongLong()};
        const auto at = std::lower_bound(ticked_.begin(), ticked_.end(), place);
        const bool on = item->checkState() == Qt::Checked;
        if (on && (at == ticked_.end() || *at != place))
            ticked_.insert(at, place);
        else if (!on && at != ticked_.end() && *at == place)
            ticked_.erase(at);
        else
            return;
        updateTotals();
        emit keptByHandChanged(ticked_);
    });
    setGroups(nullptr);
}

void SimilarView::setGroups(std::shared_ptr<const SimilarGroups> groups, const QString& pending) {
    groups_ = std::move(groups);
    fill();
    if (!groups_)
        totals_->setText(pending);
}

void SimilarView::setKeptByHand(std::vector<LinePlace> lines) {
    std::sort(lines.begin(), lines.end());
    ticked_ = std::move(lines);
    fill();
}

void SimilarView::fill() {
    filling_ = true;
    model_->removeRows(0, model_->rowCount());
    if (groups_) {
        for (const SimilarGroup& group : groups_->groups) {
            QList<QStandardItem*> head{
                Item(RemovedRowPlace(group.kept.first, group.kept.second, {})),
                Item(QStringLiteral("%1 行").arg(group.members.size())), Item(QString()),
                Item(group.keptText.isEmpty()
                         ? QStringLiteral("（第 %1 行）").arg(group.kept.second)
                         : group.keptText)};
            QFont bold = head[Text]->font();
            bold.setBold(true);
            head[Text]->setFont(bold);
            for (const SimilarMember& member : group.members) {
                QList<QStandardItem*> row{
                    Item(RemovedRowPlace(member.place.first, member.place.second, {})),
                    Item(QStringLiteral("%1%").arg(member.similarity)),
                    Item(QStringLiteral("保留")), Item(member.text)};
                row[Similarity]->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                QStandardItem* keep = row[Keep];
                keep->setCheckable(true);
                keep->setData(member.place.first, kInputRole);
                keep->setData(member.place.second, kLineRole);
                keep->setCheckState(std::binary_search(ticked_.begin(), ticked_.end(), member.place)
                                        ? Qt::Checked
                                        : Qt::Unchecked);
                if (!group.keptText.isEmpty())
                    row[Text]->setData(group.keptText, kKeptTextRole);
                head.front()->appendRow(row);
            }
            model_->appendRow(head);
        }
    }
    filling_ = false;
    tree_->expandAll();
    for (int column = 0; column < Text; ++column)
        tree_->resizeColumnToContents(column);
    updateTotals();
}

void SimilarView::updateTotals() {
    if (!groups_)
        return;
    QString text = QStringLiteral("%1 组，因相似而删除 %2 行。勾选“保留”的行，下次过滤时保留。")
                       .arg(Grouped(qint64(groups_->groups.size())), Grouped(groups_->nearLines));
    if (!ticked_.empty())
        text += QStringLiteral("已勾选 %1 行。").arg(Grouped(qint64(ticked_.size())));
    if (!groups_->complete)
        text += QStringLiteral("\n（只列出最大的 %1 组。）")
                    .arg(Grouped(qint64(groups_->groups.size())));
    totals_->setText(text);
}
