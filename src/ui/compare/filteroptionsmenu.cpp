#include "ui/compare/filteroptionsmenu.h"

#include "ui/compare/comparesetup.h"

#include <QActionGroup>
#include <QKeyEvent>
#include <QMouseEvent>

namespace {

const char* const kKeepNames[] = {"KeepFirst", "KeepLast", "KeepUnique", "KeepRepeated"};

QString KeepText(KeepMode mode) {
    switch (mode) {
    case KeepMode::First:
        return QStringLiteral("保留第一次出现的行");
    case KeepMode::Last:
        return QStringLiteral("保留最后一次出现的行");
    case KeepMode::Unique:
        return QStringLiteral("只保留没有重复的行");
    case KeepMode::Repeated:
        return QStringLiteral("只列出重复的行");
    }
    return {};
}

} // namespace

FilterOptionsMenu::FilterOptionsMenu(QWidget* parent) : QMenu(parent) {
    setObjectName(QStringLiteral("FilterOptionsMenu"));
    ignoreCase_ = addCheck(QStringLiteral("OptionIgnoreCase"), QStringLiteral("忽略大小写"));
    trim_ = addCheck(QStringLiteral("OptionTrim"), QStringLiteral("忽略首尾空白"));
    ignoreWidth_ = addCheck(QStringLiteral("OptionIgnoreWidth"), QStringLiteral("忽略全角半角"));
    keepBlank_ = addCheck(QStringLiteral("OptionKeepBlank"), QStringLiteral("保留空行"));
    addSeparator();
    keep_ = new QActionGroup(this);
    keep_->setExclusive(true);
    for (const KeepMode mode :
         {KeepMode::First, KeepMode::Last, KeepMode::Unique, KeepMode::Repeated})
        addKeep(QString::fromLatin1(kKeepNames[int(mode)]), KeepText(mode), mode);
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

QAction* FilterOptionsMenu::addCheck(const QString& name, const QString& text) {
    QAction* action = addAction(text);
    action->setObjectName(name);
    action->setCheckable(true);
    connect(action, &QAction::toggled, this, [this] {
        if (!updating_)
            emit optionsChanged(options());
    });
    return action;
}

QAction* FilterOptionsMenu::addKeep(const QString& name, const QString& text, KeepMode mode) {
    QAction* action = addAction(text);
    action->setObjectName(name);
    action->setCheckable(true);
    action->setData(int(mode));
    keep_->addAction(action);
    connect(action, &QAction::toggled, this, [this](bool on) {
        if (on && !updating_)
            emit optionsChanged(options());
    });
    return action;
}

FilterOptions FilterOptionsMenu::options() const {
    FilterOptions o;
    o.ignoreCase = ignoreCase_->isChecked();
    o.trim = trim_->isChecked();
    o.ignoreWidth = ignoreWidth_->isChecked();
    o.keepBlank = keepBlank_->isChecked();
    if (const QAction* checked = keep_->checkedAction())
        o.keep = KeepMode(checked->data().toInt());
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
    ignoreCase_->setChecked(o.ignoreCase);
    trim_->setChecked(o.trim);
    ignoreWidth_->setChecked(o.ignoreWidth);
    keepBlank_->setChecked(o.keepBlank);
    for (QAction* action : keep_->actions())
        action->setChecked(KeepMode(action->data().toInt()) == o.keep);
    keyRule_ = o.key;
    QFont font = key_->font();
    font.setBold(!o.key.isDefault());
    key_->setFont(font);
    updating_ = false;
}

QString DescribeFilterOptions(const FilterOptions& o) {
    QStringList parts;
    if (o.ignoreCase)
        parts << QStringLiteral("忽略大小写");
    if (o.trim)
        parts << QStringLiteral("忽略首尾空白");
    if (o.ignoreWidth)
        parts << QStringLiteral("忽略全角半角");
    if (o.keepBlank)
        parts << QStringLiteral("保留空行");
    if (o.keep != KeepMode::First)
        parts << KeepText(o.keep);
    parts << DescribeKeyRule(o.key);
    return parts.join(QStringLiteral("、"));
}

namespace {
const std::pair<KeepMode, const char*> kKeepWords[] = {{KeepMode::Last, "keep=last"},
                                                       {KeepMode::Unique, "keep=unique"},
                                                       {KeepMode::Repeated, "keep=repeated"}};
} // namespace

QString FilterOptionsToText(const FilterOptions& o) {
    QStringList words;
    if (o.ignoreCase)
        words << QStringLiteral("ignore-case");
    if (o.trim)
        words << QStringLiteral("trim");
    if (o.ignoreWidth)
        words << QStringLiteral("ignore-width");
    if (o.keepBlank)
        words << QStringLiteral("keep-blank");
    for (const auto& [mode, word] : kKeepWords) {
        if (o.keep == mode)
            words << QString::fromLatin1(word);
    }
    return words.join(u' ');
}

FilterOptions FilterOptionsFromText(const QString& text) {
    FilterOptions o;
    for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
        if (word == QStringLiteral("ignore-case"))
            o.ignoreCase = true;
        else if (word == QStringLiteral("trim"))
            o.trim = true;
        else if (word == QStringLiteral("ignore-width"))
            o.ignoreWidth = true;
        else if (word == QStringLiteral("keep-blank"))
            o.keepBlank = true;
        for (const auto& [mode, name] : kKeepWords) {
            if (word == QLatin1String(name))
                o.keep = mode;
        }
    }
    return o;
}
