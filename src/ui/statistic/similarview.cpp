#include "ui/statistic/similarview.h"

#include "core/grouped.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QVBoxLayout>
#include <QtConcurrent>

namespace {

// Draws a line that went with the characters that differ from its kept line on a shade.
class DifferenceDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QVariant kept = index.data(SimilarModel::KeptTextRole);
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
    model_ = new SimilarModel(this);
    tree_ = new QTreeView(this);
    tree_->setObjectName(QStringLiteral("SimilarTree"));
    tree_->setModel(model_);
    tree_->setItemDelegateForColumn(Text, new DifferenceDelegate(tree_));
    tree_->setUniformRowHeights(true);
    tree_->setAccessibleName(QStringLiteral("相似的行"));
    tree_->header()->setStretchLastSection(true);
    layout->addWidget(tree_);
    connect(search_, &QLineEdit::textChanged, this, &SimilarView::startSearch);
    connect(model_, &SimilarModel::tickedChanged, this, [this] {
        updateTotals();
        emit keptByHandChanged(model_->ticked());
    });
    setGroups(nullptr);
}

SimilarView::~SimilarView() {
    stopSearch();
}

void SimilarView::setGroups(std::shared_ptr<const SimilarGroups> groups, const QString& pending) {
    groups_ = std::move(groups);
    fill(model_->ticked());
    if (!groups_)
        totals_->setText(pending);
}

void SimilarView::setKeptByHand(std::vector<LinePlace> lines) {
    fill(std::move(lines));
}

void SimilarView::stopSearch() {
    if (searching_)
        *searching_ = true;
    searching_.reset();
}

void SimilarView::startSearch(const QString& text) {
    stopSearch();
    if (text.isEmpty() || !groups_) {
        if (model_->setSearch(text))
            tree_->expandAll();
        emit searchShown();
        return;
    }
    auto stop = std::make_shared<std::atomic<bool>>(false);
    searching_ = stop;
    using Found = std::shared_ptr<const SimilarSearch>;
    auto* watcher = new QFutureWatcher<Found>(this);
    connect(watcher, &QFutureWatcher<Found>::finished, this, [this, watcher, stop] {
        watcher->deleteLater();
        // A later key, or other groups, made it no longer wanted.
        if (stop != searching_)
            return;
        searching_.reset();
        if (model_->showSearch(watcher->result()))
            tree_->expandAll();
        emit searchShown();
    });
    watcher->setFuture(
        QtConcurrent::run([groups = groups_, text, narrowed = model_->search(), stop]() -> Found {
            return SearchSimilar(*groups, text, narrowed.get(), stop.get());
        }));
}

void SimilarView::fill(std::vector<LinePlace> ticked) {
    // A search at work over other groups is of no use; the model searches the new ones itself.
    stopSearch();
    model_->setGroups(groups_, std::move(ticked));
    model_->setSearch(search_->text());
    tree_->expandAll();
    for (int column = 0; column < Text; ++column)
        tree_->resizeColumnToContents(column);
    updateTotals();
    emit searchShown();
}

void SimilarView::updateTotals() {
    if (!groups_)
        return;
    QString text = QStringLiteral("%1 组，因相似而删除 %2 行。勾选“保留”的行，下次过滤时保留。")
                       .arg(Grouped(qint64(groups_->groups.size())), Grouped(groups_->nearLines));
    if (const std::vector<LinePlace>& ticked = model_->ticked(); !ticked.empty())
        text += QStringLiteral("已勾选 %1 行。").arg(Grouped(qint64(ticked.size())));
    if (!groups_->complete)
        text += QStringLiteral("\n（只列出最大的 %1 组。）")
                    .arg(Grouped(qint64(groups_->groups.size())));
    totals_->setText(text);
}
