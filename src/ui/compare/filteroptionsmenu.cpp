#include "ui/compare/filteroptionsmenu.h"

#include "core/order/sumcolumn.h"

#include "core/keeprules.h"
#include "ui/compare/comparesetup.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSpinBox>
#include <QWidgetAction>

FilterOptionsMenu::FilterOptionsMenu(QWidget* parent) : QMenu(parent) {
    setObjectName(QStringLiteral("FilterOptionsMenu"));
    bool afterChoice = false;
    for (const ComparisonOption& option : ComparisonOptions()) {
        if (option.member.family != OptionFamily::Menu)
            continue;
        if (option.isNumber()) {
            // Set off by lines, as a choice's group is.
            if (!actions().isEmpty())
                addSeparator();
            addNumberItem(option);
            afterChoice = true;
            continue;
        }
        OptionItems& entry = options_.emplace_back(OptionItems{&option, {}});
        // An option of a sub-menu goes there, made where its first option stands.
        QMenu* menu = this;
        if (option.subMenu) {
            const QString name = QString::fromLatin1(option.subMenuObjectName);
            menu = findChild<QMenu*>(name, Qt::FindDirectChildrenOnly);
            if (!menu) {
                if (afterChoice)
                    addSeparator();
                afterChoice = false;
                menu = addMenu(QString::fromUtf16(option.subMenu));
                menu->setObjectName(name);
            } else if (!option.isFlag() || !menu->actions().isEmpty()) {
                menu->addSeparator();
            }
        } else {
            // A choice's group is set off by lines from what stands around it.
            if (afterChoice || (!option.isFlag() && !actions().isEmpty()))
                addSeparator();
            afterChoice = !option.isFlag();
        }
        if (option.isFlag()) {
            entry.items.push_back(addOptionItem(menu, QString::fromLatin1(option.objectName),
                                                QString::fromUtf16(option.label), 1));
            continue;
        }
        auto* group = new QActionGroup(this);
        group->setExclusive(true);
        for (const OptionChoice& choice : option.choices) {
            QAction* item = addOptionItem(menu, QString::fromLatin1(choice.objectName),
                                          QString::fromUtf16(choice.label), choice.value);
            group->addAction(item);
            entry.items.push_back(item);
        }
    }
    addSeparator();
    key_ = addAction(QStringLiteral("比较范围…"));
    key_->setObjectName(QStringLiteral("CompareKey"));
    connect(key_, &QAction::triggered, this, &FilterOptionsMenu::keyRequested);
    lists_ = addAction(QStringLiteral("对照清单…"));
    lists_->setObjectName(QStringLiteral("CompareLists"));
    connect(lists_, &QAction::triggered, this, &FilterOptionsMenu::listsRequested);
    addSeparator();
    QAction* repeats = addAction(QStringLiteral("重复统计…"));
    repeats->setObjectName(QStringLiteral("ShowRepeats"));
    connect(repeats, &QAction::triggered, this, &FilterOptionsMenu::repeatsRequested);
    // F3 marks too, when nothing is marked, and goes to the next mark.
    QAction* mark = addAction(QStringLiteral("标出重复\tF3"));
    mark->setObjectName(QStringLiteral("MarkRepeats"));
    connect(mark, &QAction::triggered, this, &FilterOptionsMenu::markRepeatsRequested);
    QAction* defaults = addAction(QStringLiteral("恢复默认"));
    defaults->setObjectName(QStringLiteral("RestoreDefaults"));
    connect(defaults, &QAction::triggered, this, &FilterOptionsMenu::defaultsRequested);
    setOptions(FilterOptions{});
}

bool FilterOptionsMenu::toggleOption(QAction* action) {
    if (!action || !action->isCheckable() || !action->isEnabled())
        return false;
    // A keep mode already chosen stays chosen, as in an exclusive group.
    if (!(action->isChecked() && action->actionGroup()))
        action->trigger();
    return true;
}

void FilterOptionsMenu::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && toggleOption(actionAt(event->position().toPoint()))) {
        event->accept();
        return;
    }
    QMenu::mouseReleaseEvent(event);
}

void FilterOptionsMenu::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) &&
        toggleOption(activeAction())) {
        event->accept();
        return;
    }
    QMenu::keyPressEvent(event);
}

QAction* FilterOptionsMenu::addOptionItem(QMenu* menu, const QString& name, const QString& text,
                                          int value) {
    QAction* action = menu->addAction(text);
    action->setObjectName(name);
    action->setCheckable(true);
    action->setData(value);
    // A choice announces the value it turns to, not the one it leaves.
    connect(action, &QAction::toggled, this, [this, action](bool on) {
        if (!updating_ && (on || !action->actionGroup()))
            emit optionsChanged(options());
    });
    return action;
}

// A number: a box to check, with its value beside it (the usual one until it is changed).
void FilterOptionsMenu::addNumberItem(const ComparisonOption& option) {
    auto* action = new QWidgetAction(this);
    action->setObjectName(QString::fromLatin1(option.objectName) + QStringLiteral("Item"));
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(6, 2, 6, 2);
    NumberItem item{&option, new QCheckBox(QString::fromUtf16(option.label), row),
                    new QSpinBox(row)};
    item.check->setObjectName(QString::fromLatin1(option.objectName));
    item.value->setObjectName(QString::fromLatin1(option.objectName) + QStringLiteral("Value"));
    item.value->setRange(option.minimum, option.maximum);
    item.value->setValue(option.usual);
    item.value->setSuffix(QStringLiteral("%"));
    item.value->setAccessibleName(QString::fromUtf16(option.label));
    layout->addWidget(item.check);
    layout->addWidget(item.value);
    layout->addStretch();
    action->setDefaultWidget(row);
    addAction(action);
    auto changed = [this] {
        updateAllowed();
        if (!updating_)
            emit optionsChanged(options());
    };
    connect(item.check, &QCheckBox::toggled, this, changed);
    connect(item.value, &QSpinBox::valueChanged, this, [changed, check = item.check] {
        if (check->isChecked())
            changed();
    });
    numbers_.push_back(item);
}

void FilterOptionsMenu::updateAllowed() {
    for (const OptionItems& entry : options_) {
        if (OptionGoesWithKind(*entry.option, keyRule_.kind))
            continue;
        for (QAction* item : entry.items) {
            item->setChecked(item->data().toInt() == DefaultOptionValue(*entry.option));
            item->setEnabled(false);
        }
    }
    // Near repeats go off while a line's copies are summed (SumRefusal).
    for (const NumberItem& number : numbers_) {
        FilterOptions with = options();
        SetOptionValue(*number.option, with, number.value->value());
        const bool allowed = SumRefusal(with).isEmpty();
        if (!allowed)
            number.check->setChecked(false);
        number.check->setEnabled(allowed);
        number.value->setEnabled(allowed);
    }
    const FilterOptions current = options();
    const bool onlyFirst = !KeepModeAllowed(current, KeepMode::Last);
    for (const OptionItems& entry : options_) {
        if (entry.option != &KeepModeOption())
            continue;
        for (QAction* item : entry.items) {
            const auto keep = KeepMode(item->data().toInt());
            item->setEnabled(KeepModeAllowed(current, keep));
            if (onlyFirst && keep == KeepMode::First && !item->isChecked())
                item->setChecked(true);
        }
    }
}

FilterOptions FilterOptionsMenu::options() const {
    FilterOptions o;
    for (const NumberItem& number : numbers_)
        SetOptionValue(*number.option, o,
                       number.check->isChecked() ? number.value->value()
                                                 : DefaultOptionValue(*number.option));
    for (const OptionItems& entry : options_) {
        const QAction* first = entry.items.front();
        int value = first->isChecked() ? 1 : 0;
        if (const QActionGroup* group = first->actionGroup()) {
            const QAction* chosen = group->checkedAction();
            value = chosen ? chosen->data().toInt() : DefaultOptionValue(*entry.option);
        }
        SetOptionValue(*entry.option, o, value);
    }
    o.key = keyRule_;
    return o;
}

// A dialog whose setting is in force is shown in bold.
void FilterOptionsMenu::setListsInForce(bool inForce) {
    QFont font = lists_->font();
    font.setBold(inForce);
    lists_->setFont(font);
}

void FilterOptionsMenu::setOptions(const FilterOptions& o) {
    updating_ = true;
    for (const OptionItems& entry : options_) {
        const int value = OptionValue(*entry.option, o);
        for (QAction* item : entry.items)
            item->setChecked(item->data().toInt() == value);
    }
    for (const NumberItem& number : numbers_) {
        const int value = OptionValue(*number.option, o);
        const bool on = value != DefaultOptionValue(*number.option);
        number.check->setChecked(on);
        if (on)
            number.value->setValue(value);
    }
    keyRule_ = o.key;
    for (const OptionItems& entry : options_)
        for (QAction* item : entry.items)
            item->setEnabled(true);
    updateAllowed();
    QFont font = key_->font();
    font.setBold(!o.key.isDefault());
    key_->setFont(font);
    updating_ = false;
}

QString DescribeFilterOptions(const FilterOptions& o) {
    return (DescribeOptions(o) + DescribeKeyRule(o.key)).join(QStringLiteral("、"));
}
