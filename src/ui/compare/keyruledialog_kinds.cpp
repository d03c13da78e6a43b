// The groups of the 比较范围 dialog that say how the part compared is read: as what kind of key,
// with each kind's rules, and what is left out of it.
#include "ui/compare/keyruledialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

// The regions of phone numbers written without a country code that the list offers; one the
// settings hold that is not here is added by its code.
struct RegionChoice {
    const char16_t* name;
    const char* code;
};
const RegionChoice kRegions[] = {
    {u"中国", "CN"}, {u"中国香港", "HK"}, {u"中国澳门", "MO"}, {u"中国台湾", "TW"},
    {u"美国", "US"}, {u"加拿大", "CA"},   {u"英国", "GB"},     {u"日本", "JP"},
    {u"韩国", "KR"}, {u"新加坡", "SG"},   {u"马来西亚", "MY"}, {u"澳大利亚", "AU"},
    {u"德国", "DE"}, {u"法国", "FR"},     {u"俄罗斯", "RU"},   {u"印度", "IN"},
};

// The option that says what the part compared is read as (KeyRule::kind), from the table.
const ComparisonOption* KindOption() {
    for (const ComparisonOption& option : ComparisonOptions()) {
        if (option.member.family == OptionFamily::Key && !option.choices.empty())
            return &option;
    }
    return nullptr;
}

} // namespace

void KeyRuleDialog::createNormalizations(QVBoxLayout* layout) {
    auto* box = new QGroupBox(QStringLiteral("比较时再忽略"), this);
    auto* grid = new QGridLayout(box);
    // Two to a row, in the table's order.
    int shown = 0;
    for (const ComparisonOption& option : ComparisonOptions()) {
        if (option.member.family != OptionFamily::Key || !option.isFlag() ||
            !option.transformsLines)
            continue;
        auto* check = new QCheckBox(QString::fromUtf16(option.label), box);
        check->setObjectName(QString::fromLatin1(option.objectName));
        if (option.tip)
            check->setToolTip(QString::fromUtf16(option.tip));
        const int at = shown++;
        grid->addWidget(check, at / 2, at % 2);
        checks_.emplace_back(&option, check);
    }
    layout->addWidget(box);
}

void KeyRuleDialog::createKindGroup(QVBoxLayout* layout) {
    auto* box = new QGroupBox(QStringLiteral("按什么比较"), this);
    box->setObjectName(QStringLiteral("KeyKindGroup"));
    auto* grid = new QGridLayout(box);
    kind_ = new QButtonGroup(this);
    auto check = [&](const char* name, const QString& text) {
        auto* button = new QCheckBox(text, box);
        button->setObjectName(QString::fromLatin1(name));
        return button;
    };
    QWidget* rules[4] = {}; // beside each kind: its rules
    region_ = new QComboBox(box);
    region_->setObjectName(QStringLiteral("KeyRegion"));
    region_->setAccessibleName(QStringLiteral("没有国家代码的号码所属地区"));
    for (const RegionChoice& region : kRegions)
        region_->addItem(QString::fromUtf16(region.name) + u' ' + QLatin1String(region.code),
                         QString::fromLatin1(region.code));
    plus_ = check("KeyEmailPlus", QStringLiteral("忽略 + 后面的部分"));
    gmail_ = check("KeyEmailGmail", QStringLiteral("Gmail 规则"));
    gmail_->setToolTip(
        QStringLiteral("gmail.com 的地址忽略 @ 前的点，googlemail.com 算作 gmail.com"));
    www_ = check("KeyUrlWww", QStringLiteral("忽略开头的 www."));
    slash_ = check("KeyUrlSlash", QStringLiteral("忽略末尾的 /"));
    scheme_ = check("KeyUrlScheme", QStringLiteral("http 与 https 相同"));
    auto row = [&](std::initializer_list<QWidget*> widgets) {
        auto* holder = new QWidget(box);
        auto* line = new QHBoxLayout(holder);
        line->setContentsMargins(0, 0, 0, 0);
        for (QWidget* widget : widgets) {
            widget->setParent(holder);
            line->addWidget(widget);
        }
        line->addStretch();
        return holder;
    };
    auto* regionLabel = new QLabel(QStringLiteral("地区："), box);
    regionLabel->setBuddy(region_);
    rules[int(KeyRule::Kind::Phone)] = row({regionLabel, region_});
    rules[int(KeyRule::Kind::Email)] = row({plus_, gmail_});
    rules[int(KeyRule::Kind::Url)] = row({www_, slash_, scheme_});
    int at = 0;
    if (const ComparisonOption* kinds = KindOption()) {
        for (const OptionChoice& choice : kinds->choices) {
            auto* button = new QRadioButton(QString::fromUtf16(choice.label), box);
            button->setObjectName(QString::fromLatin1(choice.objectName));
            kind_->addButton(button, choice.value);
            grid->addWidget(button, at, 0);
            if (choice.value >= 0 && choice.value < int(std::size(rules)) && rules[choice.value])
                grid->addWidget(rules[choice.value], at, 1);
            ++at;
        }
    }
    // The flags of the part compared's family that say how the input is read, not what the key
    // leaves out: the header.
    for (const ComparisonOption& option : ComparisonOptions()) {
        if (option.member.family != OptionFamily::Key || !option.isFlag() || option.transformsLines)
            continue;
        auto* flag = new QCheckBox(QString::fromUtf16(option.label), box);
        flag->setObjectName(QString::fromLatin1(option.objectName));
        if (option.tip)
            flag->setToolTip(QString::fromUtf16(option.tip));
        grid->addWidget(flag, at++, 0, 1, 2);
        checks_.emplace_back(&option, flag);
    }
    grid->setColumnStretch(1, 1);
    layout->addWidget(box);
}

void KeyRuleDialog::createNumbers(QVBoxLayout* layout) {
    for (const ComparisonOption& option : ComparisonOptions()) {
        if (option.member.family != OptionFamily::Key || !option.isNumber())
            continue;
        // The label says where the value goes: "…第 N 列…".
        const QString label = QString::fromUtf16(option.label);
        const qsizetype at = label.indexOf(u'N');
        auto* row = new QHBoxLayout;
        NumberRow number{&option, new QCheckBox(label.left(at).trimmed(), this),
                         new QSpinBox(this)};
        number.check->setObjectName(QString::fromLatin1(option.objectName));
        number.value->setObjectName(QString::fromLatin1(option.objectName) +
                                    QStringLiteral("Value"));
        number.value->setRange(option.minimum, std::min(option.maximum, 9999));
        number.value->setValue(option.usual);
        number.value->setAccessibleName(label);
        row->addWidget(number.check);
        row->addWidget(number.value);
        row->addWidget(new QLabel(label.mid(at + 1).trimmed(), this));
        row->addStretch();
        layout->addLayout(row);
        connect(number.check, &QCheckBox::toggled, this, &KeyRuleDialog::refresh);
        connect(number.value, &QSpinBox::valueChanged, this, &KeyRuleDialog::refresh);
        numbers_.push_back(number);
    }
}

bool KeyRuleDialog::sums() const {
    return std::any_of(numbers_.begin(), numbers_.end(),
                       [](const NumberRow& row) { return row.check->isChecked(); });
}
