#pragma once

#include "core/comparisonoptions.h"

#include <QMenu>

#include <vector>

class QAction;
class QActionGroup;
class QCheckBox;
class QSpinBox;

// The menu of the filter button's arrow: what counts as a repeat and which copy stays (the
// options of the menu's family in comparisonoptions.h: a flag as an item to check, a number as a
// box to check with its value beside it, a choice as a group of items set off by lines; those of a
// sub-menu, such as 排序, in it), the part of the lines compared and the lists compared with (each
// in a dialog), the statistic of the last filter, and a way back to the defaults. Choosing an
// option leaves the menu open, so that several can be set at once; a command (a dialog, the
// statistic, the defaults) closes it.
class FilterOptionsMenu : public QMenu {
    Q_OBJECT
public:
    explicit FilterOptionsMenu(QWidget* parent = nullptr);

    // The options as checked, with the key last set.
    FilterOptions options() const;
    // Shows the given options without announcing a change.
    void setOptions(const FilterOptions& options);
    // Shows whether lists are compared with (比较范围… follows the key of setOptions).
    void setListsInForce(bool inForce);

signals:
    void optionsChanged(const FilterOptions& options);
    void keyRequested();
    void listsRequested();
    void repeatsRequested();
    void defaultsRequested();
    void markRepeatsRequested();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Toggles an option under the pointer or the keyboard without closing; false for anything
    // else.
    bool toggleOption(QAction* action);
    // An option's item in `menu` (this one or a sub-menu).
    QAction* addOptionItem(QMenu* menu, const QString& name, const QString& text, int value);

    // The items of an option: one for a flag, one for each value of a choice (the value each
    // stands for in its data).
    struct OptionItems {
        const ComparisonOption* option;
        std::vector<QAction*> items;
    };
    std::vector<OptionItems> options_;
    // A number: a check box that turns it on, and its value.
    struct NumberItem {
        const ComparisonOption* option;
        QCheckBox* check;
        QSpinBox* value;
    };
    void addNumberItem(const ComparisonOption& option);
    // Greys what the other options rule out: an option the key's kind refuses (unchecked), and
    // the keep modes other than the first while near repeats count.
    void updateAllowed();
    std::vector<NumberItem> numbers_;
    QAction* key_ = nullptr;
    QAction* lists_ = nullptr;
    KeyRule keyRule_;
    bool updating_ = false;
};

// The options that differ from the default, in the menu's and the 比较范围 dialog's words,
// joined by "、"; empty for the default.
QString DescribeFilterOptions(const FilterOptions& options);
