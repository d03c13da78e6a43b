#pragma once

#include "core/comparisonoptions.h"

#include <QDialog>

#include <optional>
#include <utility>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QVBoxLayout;

// 比较范围: which part of each line two lines are compared by (the whole line, columns cut by a
// separator, or what a regular expression finds), what is left out of it (the flags of the part
// compared's family in comparisonoptions.h, each a check box), and which column's numbers the
// copies of a line add up (合并). As the user sets it
// up, an example line (the current line of the input box, or one typed in) shows its key, or
// that it has none. A setup that cannot be used (no column number, a bad pattern) is told in the
// dialog, and OK stays off until it is mended.
class KeyRuleDialog : public QDialog {
    Q_OBJECT
public:
    // `options`: the comparison options in force; the dialog starts with their key, and the
    // example applies the others (trimming, width, case) as the filter does. `example`: the line
    // the example starts with.
    KeyRuleDialog(const FilterOptions& options, const QString& example, QWidget* parent = nullptr);

    // The key as set up (the whole line while the setup has a fault).
    KeyRule keyRule() const;
    // What is wrong with the setup, in Chinese; empty when it can be used.
    QString fault() const;
    // What the example shows: the key of the example line, or why it has none.
    QString exampleKey() const;

    // The most characters of a line the example starts with.
    static constexpr qsizetype kExampleChars = 2000;

private:
    void createSourceGroup(QVBoxLayout* layout);
    void createNormalizations(QVBoxLayout* layout);
    // The numbers of the part compared's family (the column summed), each a box to check with
    // its value inside its label.
    void createNumbers(QVBoxLayout* layout);
    bool sums() const;
    // What the part compared is read as (its text, a phone number, an e-mail or web address) with
    // each kind's rules, and the flags that are about the input rather than the key (the header).
    void createKindGroup(QVBoxLayout* layout);
    void showRule(const KeyRule& rule);
    // The setup as it stands, or nothing with *fault set.
    std::optional<KeyRule> read(QString* fault) const;
    void refresh();

    FilterOptions options_;
    QButtonGroup* source_ = nullptr;
    QRadioButton* wholeLine_ = nullptr;
    QRadioButton* columns_ = nullptr;
    QRadioButton* pattern_ = nullptr;
    QComboBox* separator_ = nullptr;
    QLineEdit* character_ = nullptr;
    QLineEdit* fields_ = nullptr;
    QLineEdit* regex_ = nullptr;
    QLabel* fault_ = nullptr;
    std::vector<std::pair<const ComparisonOption*, QCheckBox*>> checks_;
    struct NumberRow {
        const ComparisonOption* option;
        QCheckBox* check;
        QSpinBox* value;
    };
    std::vector<NumberRow> numbers_;
    QLineEdit* example_ = nullptr;
    QLabel* exampleKey_ = nullptr;
    QPushButton* ok_ = nullptr;
    QButtonGroup* kind_ = nullptr;
    QComboBox* region_ = nullptr;
    QCheckBox* plus_ = nullptr;
    QCheckBox* gmail_ = nullptr;
    QCheckBox* www_ = nullptr;
    QCheckBox* slash_ = nullptr;
    QCheckBox* scheme_ = nullptr;
};

// How far down the input box the example looks for a line that is not blank.
constexpr int kExampleSearchLines = 1000;
// The most characters of a column the example shows; a longer one is cut, with "…".
constexpr qsizetype kShownKeyChars = 300;

// What the example says of `line` with `options`: "键：「…」" (each column in its own corner
// brackets), "空行：…" for a blank line, or "无键：…" with the reason for a line without a key.
// (Whether a line without a key stays depends on the keep mode and the lists; it is never a
// repeat.)
QString DescribeLineKey(const FilterOptions& options, const QString& line);
