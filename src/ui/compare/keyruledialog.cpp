#include "ui/compare/keyruledialog.h"

#include "core/order/sumcolumn.h"

#include "core/keys/contactkeys.h"
#include "ui/compare/comparesetup.h"
#include "ui/compare/filteroptionsmenu.h"
#include "ui/textbox/preparedtext.h"
#include "ui/window/appearance.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

// The separators the list offers, in its order; the last takes the character typed beside it.
struct SeparatorChoice {
    const char16_t* caption;
    Separator::Kind kind;
    const char16_t* character;
};
const SeparatorChoice kSeparators[] = {
    {u"制表符", Separator::Kind::Character, u"\t"},
    {u"逗号 ,", Separator::Kind::Character, u","},
    {u"分号 ;", Separator::Kind::Character, u";"},
    {u"竖线 |", Separator::Kind::Character, u"|"},
    {u"空白（连续的空白算一个）", Separator::Kind::Space, u""},
    {u"CSV（逗号分隔，可带引号）", Separator::Kind::Csv, u""},
    {u"其他字符：", Separator::Kind::Character, nullptr},
};
constexpr int kOtherCharacter = int(std::size(kSeparators)) - 1;

bool IsOneCharacter(QStringView text) {
    return (text.size() == 1 && !text[0].isSurrogate()) ||
           (text.size() == 2 && text[0].isHighSurrogate() && text[1].isLowSurrogate());
}

// The text with a place to wrap in every run of eight characters that word wrapping would keep
// whole (a pattern, say), so that it wraps rather than widening the dialog.
QString Breakable(const QString& text) {
    QString out;
    out.reserve(text.size() + text.size() / 8);
    int run = 0;
    for (const QChar c : text) {
        const bool whole = !c.isSpace() && c.unicode() < 0x2E80; // CJK wraps anywhere already
        run = whole ? run + 1 : 0;
        if (run > 8 && !c.isLowSurrogate()) {
            out += QChar(0x200B); // zero width space
            run = 1;
        }
        out += c;
    }
    return out;
}

// The text as it fits in two lines of the label: cut in its middle where it would take more (the
// label's tooltip holds it whole).
QString InTwoLines(const QString& text, const QLabel& label) {
    const int width = label.contentsRect().width();
    const QFontMetrics metrics(label.font());
    QString breakable = Breakable(text);
    if (!label.isVisible() || width <= 0 ||
        metrics.boundingRect(QRect(0, 0, width, 1 << 20), Qt::TextWordWrap, breakable).height() <=
            2 * metrics.lineSpacing())
        return breakable;
    return Breakable(
        metrics.elidedText(text, Qt::ElideMiddle, 2 * width - 4 * metrics.averageCharWidth()));
}

QLabel* PlainLabel(const QString& name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

KeyRuleDialog::KeyRuleDialog(const FilterOptions& options, const QString& example, QWidget* parent)
    : QDialog(parent), options_(options) {
    setObjectName(QStringLiteral("KeyRuleDialog"));
    setWindowTitle(QStringLiteral("比较范围"));
    auto* layout = new QVBoxLayout(this);
    createSourceGroup(layout);
    createNumbers(layout);
    createKindGroup(layout);
    createNormalizations(layout);

    auto* exampleBox = new QGroupBox(QStringLiteral("示例"), this);
    auto* form = new QFormLayout(exampleBox);
    example_ = new QLineEdit(example.left(kExampleChars), exampleBox);
    example_->setObjectName(QStringLiteral("KeyExample"));
    example_->setPlaceholderText(QStringLiteral("输入一行，看它按什么比较"));
    example_->setAccessibleName(QStringLiteral("示例行"));
    form->addRow(QStringLiteral("行："), example_);
    exampleKey_ = PlainLabel(QStringLiteral("KeyExampleResult"), exampleBox);
    exampleKey_->setAccessibleName(QStringLiteral("示例的键"));
    form->addRow(exampleKey_);
    // What is wrong with the setup, where the key would be.
    fault_ = PlainLabel(QStringLiteral("KeyError"), exampleBox);
    fault_->setAccessibleName(QStringLiteral("设置有误"));
    QPalette palette = fault_->palette();
    palette.setColor(QPalette::WindowText,
                     ReadableOn(QColor(0xC0, 0x00, 0x00), palette.color(QPalette::Window)));
    fault_->setPalette(palette);
    // Two lines are kept for it, with or without a fault, so that nothing moves as one comes
    // and goes.
    fault_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    fault_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    fault_->setText(QStringLiteral("\n"));
    fault_->setFixedHeight(fault_->sizeHint().height());
    form->addRow(fault_);
    FilterOptions others = options;
    others.key = {};
    if (const QString also = DescribeFilterOptions(others); !also.isEmpty()) {
        QLabel* hint = PlainLabel(QStringLiteral("KeyExampleOptions"), exampleBox);
        hint->setText(QStringLiteral("示例也按菜单中的选项：") + also);
        form->addRow(hint);
    }
    layout->addWidget(exampleBox);

    auto* buttons = new QDialogButtonBox(this);
    ok_ = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    ok_->setObjectName(QStringLiteral("KeyOk"));
    QPushButton* cancel = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("KeyCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    showRule(options.key);
    for (QLineEdit* edit : {character_, fields_, regex_, example_})
        connect(edit, &QLineEdit::textChanged, this, &KeyRuleDialog::refresh);
    for (const auto& [option, box] : checks_)
        connect(box, &QCheckBox::toggled, this, &KeyRuleDialog::refresh);
    connect(source_, &QButtonGroup::idToggled, this, &KeyRuleDialog::refresh);
    connect(separator_, &QComboBox::currentIndexChanged, this, &KeyRuleDialog::refresh);
    connect(kind_, &QButtonGroup::idToggled, this, &KeyRuleDialog::refresh);
    connect(region_, &QComboBox::currentIndexChanged, this, &KeyRuleDialog::refresh);
    for (QCheckBox* box : {plus_, gmail_, www_, slash_, scheme_})
        connect(box, &QCheckBox::toggled, this, &KeyRuleDialog::refresh);
    refresh();
}

void KeyRuleDialog::createSourceGroup(QVBoxLayout* layout) {
    auto* box = new QGroupBox(QStringLiteral("比较每一行的"), this);
    auto* grid = new QGridLayout(box);
    source_ = new QButtonGroup(this);
    auto radio = [&](const QString& name, const QString& text, KeyRule::Source source) {
        auto* button = new QRadioButton(text, box);
        button->setObjectName(name);
        source_->addButton(button, int(source));
        return button;
    };
    wholeLine_ =
        radio(QStringLiteral("KeyWholeLine"), QStringLiteral("整行"), KeyRule::Source::WholeLine);
    columns_ =
        radio(QStringLiteral("KeyColumns"), QStringLiteral("某几列"), KeyRule::Source::Columns);
    pattern_ = radio(QStringLiteral("KeyPattern"), QStringLiteral("正则表达式找到的部分"),
                     KeyRule::Source::Pattern);
    grid->addWidget(wholeLine_, 0, 0, 1, 3);
    grid->addWidget(columns_, 1, 0, 1, 3);

    auto* indent = new QWidget(box);
    indent->setFixedWidth(fontMetrics().horizontalAdvance(u'　') * 2);
    grid->addWidget(indent, 2, 0);
    grid->addWidget(new QLabel(QStringLiteral("分隔符："), box), 2, 1);
    auto* separatorRow = new QHBoxLayout;
    separator_ = new QComboBox(box);
    separator_->setObjectName(QStringLiteral("KeySeparator"));
    separator_->setAccessibleName(QStringLiteral("分隔符"));
    for (const SeparatorChoice& choice : kSeparators)
        separator_->addItem(QString::fromUtf16(choice.caption));
    separatorRow->addWidget(separator_);
    character_ = new QLineEdit(box);
    character_->setObjectName(QStringLiteral("KeySeparatorChar"));
    character_->setAccessibleName(QStringLiteral("分隔字符"));
    character_->setMaxLength(8);
    character_->setFixedWidth(fontMetrics().horizontalAdvance(u'　') * 3);
    separatorRow->addWidget(character_);
    separatorRow->addStretch();
    grid->addLayout(separatorRow, 2, 2);
    grid->addWidget(new QLabel(QStringLiteral("列号："), box), 3, 1);
    fields_ = new QLineEdit(box);
    fields_->setObjectName(QStringLiteral("KeyFields"));
    fields_->setAccessibleName(QStringLiteral("列号"));
    fields_->setPlaceholderText(QStringLiteral("从 1 起，如 2 或 1,3"));
    grid->addWidget(fields_, 3, 2);

    grid->addWidget(pattern_, 4, 0, 1, 3);
    regex_ = new QLineEdit(box);
    regex_->setObjectName(QStringLiteral("KeyRegex"));
    regex_->setAccessibleName(QStringLiteral("正则表达式"));
    regex_->setPlaceholderText(QStringLiteral("有括号时取第一组，如 ^(\\S+)"));
    grid->addWidget(regex_, 5, 1, 1, 2);
    grid->setColumnStretch(2, 1);
    layout->addWidget(box);
}

void KeyRuleDialog::showRule(const KeyRule& rule) {
    if (QAbstractButton* kind = kind_->button(int(rule.kind)))
        kind->setChecked(true);
    int region = region_->findData(rule.region);
    if (region < 0 && IsPhoneRegion(rule.region)) {
        region_->addItem(rule.region, rule.region);
        region = region_->count() - 1;
    }
    region_->setCurrentIndex(std::max(region, 0));
    plus_->setChecked(rule.plus);
    gmail_->setChecked(rule.gmail);
    www_->setChecked(rule.www);
    slash_->setChecked(rule.slash);
    scheme_->setChecked(rule.scheme);
    source_->button(int(rule.source))->setChecked(true);
    QStringList columns;
    for (const int column : rule.columns)
        columns << QString::number(column);
    fields_->setText(columns.join(u','));
    regex_->setText(rule.pattern);
    int choice = kOtherCharacter;
    for (int i = 0; i < kOtherCharacter; ++i) {
        const SeparatorChoice& c = kSeparators[i];
        if (c.kind == rule.separator.kind &&
            (c.kind != Separator::Kind::Character || rule.separator.character == c.character))
            choice = i;
    }
    separator_->setCurrentIndex(choice);
    character_->setText(choice == kOtherCharacter ? rule.separator.character : QString());
    for (const auto& [option, check] : checks_)
        check->setChecked(OptionValue(*option, rule) != 0);
    for (const NumberRow& number : numbers_) {
        const int value = OptionValue(*number.option, rule);
        number.check->setChecked(value != DefaultOptionValue(*number.option));
        if (number.check->isChecked())
            number.value->setValue(value);
    }
}

std::optional<KeyRule> KeyRuleDialog::read(QString* fault) const {
    KeyRule rule;
    rule.source = KeyRule::Source(source_->checkedId());
    rule.kind = KeyRule::Kind(std::max(kind_->checkedId(), 0));
    for (const auto& [option, check] : checks_)
        SetOptionValue(*option, rule,
                       check->isChecked() && OptionGoesWithKind(*option, rule.kind) ? 1 : 0);
    if (rule.kind == KeyRule::Kind::Phone)
        rule.region = region_->currentData().toString();
    rule.plus = rule.kind == KeyRule::Kind::Email && plus_->isChecked();
    rule.gmail = rule.kind == KeyRule::Kind::Email && gmail_->isChecked();
    rule.www = rule.kind == KeyRule::Kind::Url && www_->isChecked();
    rule.slash = rule.kind == KeyRule::Kind::Url && slash_->isChecked();
    rule.scheme = rule.kind == KeyRule::Kind::Url && scheme_->isChecked();
    for (const NumberRow& number : numbers_)
        SetOptionValue(*number.option, rule,
                       number.check->isChecked() ? number.value->value()
                                                 : DefaultOptionValue(*number.option));
    // The columns compared, and the one summed, are cut by the separator.
    if (rule.source == KeyRule::Source::Columns || sums()) {
        const SeparatorChoice& choice = kSeparators[separator_->currentIndex()];
        rule.separator.kind = choice.kind;
        if (choice.character) {
            rule.separator.character = QString::fromUtf16(choice.character);
        } else {
            const QString typed = character_->text();
            if (!IsOneCharacter(typed)) {
                *fault =
                    typed.isEmpty()
                        ? QStringLiteral("请在“其他字符”后填写分隔列的那个字符。")
                        : QStringLiteral("分隔符“%1”不是一个字符；请只填一个字符。").arg(typed);
                return std::nullopt;
            }
            rule.separator.character = typed;
        }
    }
    if (rule.source == KeyRule::Source::Columns) {
        std::optional<std::vector<int>> columns = ParseFieldList(fields_->text(), fault);
        if (!columns)
            return std::nullopt;
        rule.columns = std::move(*columns);
    } else if (rule.source == KeyRule::Source::Pattern) {
        if (QString wrong = PatternError(regex_->text()); !wrong.isEmpty()) {
            *fault = std::move(wrong);
            return std::nullopt;
        }
        rule.pattern = regex_->text();
    }
    FilterOptions options = options_;
    options.key = rule;
    if (QString wrong = SumRefusal(options, true); !wrong.isEmpty()) {
        *fault = std::move(wrong);
        return std::nullopt;
    }
    return rule;
}

KeyRule KeyRuleDialog::keyRule() const {
    QString fault;
    return read(&fault).value_or(KeyRule{});
}

QString KeyRuleDialog::fault() const {
    QString fault;
    (void)read(&fault);
    return fault;
}

QString KeyRuleDialog::exampleKey() const {
    return exampleKey_->text();
}

void KeyRuleDialog::refresh() {
    const auto source = KeyRule::Source(source_->checkedId());
    const bool columns = source == KeyRule::Source::Columns;
    separator_->setEnabled(columns || sums());
    fields_->setEnabled(columns);
    character_->setVisible(separator_->currentIndex() == kOtherCharacter);
    character_->setEnabled(columns || sums());
    for (const NumberRow& number : numbers_)
        number.value->setEnabled(number.check->isChecked());
    regex_->setEnabled(source == KeyRule::Source::Pattern);
    const auto kind = KeyRule::Kind(std::max(kind_->checkedId(), 0));
    region_->setEnabled(kind == KeyRule::Kind::Phone);
    for (QCheckBox* box : {plus_, gmail_})
        box->setEnabled(kind == KeyRule::Kind::Email);
    for (QCheckBox* box : {www_, slash_, scheme_})
        box->setEnabled(kind == KeyRule::Kind::Url);
    // A phone number, an e-mail address or a web address is read by its own rules.
    for (const auto& [option, check] : checks_)
        check->setEnabled(OptionGoesWithKind(*option, kind));

    QString fault;
    const std::optional<KeyRule> rule = read(&fault);
    fault_->setText(InTwoLines(fault, *fault_));
    fault_->setToolTip(fault);
    ok_->setEnabled(rule.has_value());
    if (!rule) {
        exampleKey_->setText(QStringLiteral("键：—（设置有误）"));
        return;
    }
    FilterOptions options = options_;
    options.key = *rule;
    exampleKey_->setText(example_->text().isEmpty() ? QStringLiteral("键：—（在上面输入一行）")
                                                    : DescribeLineKey(options, example_->text()));
}
