#include "ui/compare/listsdialog.h"

#include "core/grouped.h"
#include "core/lines.h"
#include "platform/desktopservices.h"
#include "ui/compare/comparesetup.h"
#include "ui/textbox/preparedtext.h"

#include <QButtonGroup>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {

const QString kListFilter =
    QStringLiteral("清单文件(*.txt;*.csv;*.tsv)|*.txt;*.csv;*.tsv|所有文件(*.*)|*.*");

QString ItemText(const ComparedList& list) {
    return ListKindLabel(list.kind) + QStringLiteral("：") + list.name;
}

} // namespace

ComparedListsDialog::ComparedListsDialog(std::vector<ComparedList> lists, DesktopServices& services,
                                         QWidget* parent)
    : QDialog(parent), services_(services), lists_(std::move(lists)) {
    setObjectName(QStringLiteral("ComparedListsDialog"));
    setWindowTitle(QStringLiteral("对照清单"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(QStringLiteral("清单的每一行也按比较范围和比较选项取出要比较的部分，"
                                            "再与输入的行比较。清单可以是文件，也可以粘贴进来。"),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    entries_ = new QListWidget(this);
    entries_->setObjectName(QStringLiteral("ListEntries"));
    entries_->setAccessibleName(QStringLiteral("清单"));
    layout->addWidget(entries_, 1);
    auto* row = new QHBoxLayout;
    auto button = [&](const QString& name, const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        row->addWidget(b);
        return b;
    };
    addFiles_ = button(QStringLiteral("ListAddFiles"), QStringLiteral("添加文件…"));
    addPasted_ = button(QStringLiteral("ListAddPasted"), QStringLiteral("粘贴清单"));
    remove_ = button(QStringLiteral("ListRemove"), QStringLiteral("移除"));
    row->addStretch();
    layout->addLayout(row);

    auto* kinds = new QButtonGroup(this);
    exclude_ = new QRadioButton(QStringLiteral("删除清单中出现的行"), this);
    exclude_->setObjectName(QStringLiteral("ListExclude"));
    intersect_ = new QRadioButton(QStringLiteral("只保留清单中也有的行"), this);
    intersect_->setObjectName(QStringLiteral("ListIntersect"));
    kinds->addButton(exclude_);
    kinds->addButton(intersect_);
    auto* kindRow = new QHBoxLayout;
    kindRow->addWidget(exclude_);
    kindRow->addWidget(intersect_);
    kindRow->addStretch();
    layout->addLayout(kindRow);

    source_ = new QLabel(this);
    source_->setObjectName(QStringLiteral("ListSource"));
    source_->setTextFormat(Qt::PlainText);
    source_->setWordWrap(true);
    source_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(source_);
    text_ = new QPlainTextEdit(this);
    text_->setObjectName(QStringLiteral("ListText"));
    text_->setAccessibleName(QStringLiteral("粘贴的清单"));
    text_->setPlaceholderText(QStringLiteral("在这里粘贴清单，一行一项"));
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setTabChangesFocus(true);
    layout->addWidget(text_, 2);

    auto* remembered = new QLabel(QStringLiteral("清单会被记住；超过 %1 个字符的粘贴清单只用于"
                                                 "本次运行，下次启动时需要重新粘贴。")
                                      .arg(Grouped(kRememberedListChars)),
                                  this);
    remembered->setWordWrap(true);
    layout->addWidget(remembered);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("ListOk"));
    QPushButton* cancel = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("ListCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(addFiles_, &QPushButton::clicked, this, &ComparedListsDialog::addFiles);
    connect(addPasted_, &QPushButton::clicked, this, &ComparedListsDialog::addPasted);
    connect(remove_, &QPushButton::clicked, this, &ComparedListsDialog::removeCurrent);
    connect(exclude_, &QRadioButton::clicked, this,
            [this] { setKind(ComparedList::Kind::Exclude); });
    connect(intersect_, &QRadioButton::clicked, this,
            [this] { setKind(ComparedList::Kind::Intersect); });
    connect(entries_, &QListWidget::currentRowChanged, this, &ComparedListsDialog::showCurrent);

    refreshItems();
    entries_->setCurrentRow(lists_.empty() ? -1 : 0);
    showCurrent();
    resize(460, 480);
}

std::vector<ComparedList> ComparedListsDialog::lists() const {
    std::vector<ComparedList> lists = lists_;
    if (shown_ >= 0 && lists_[std::size_t(shown_)].path.isEmpty() &&
        text_->document()->isModified()) {
        QString text;
        AppendAsBoxText(text, text_->document()->toRawText());
        lists[std::size_t(shown_)].text = std::move(text);
    }
    std::erase_if(lists,
                  [](const ComparedList& l) { return l.path.isEmpty() && l.text.isEmpty(); });
    NumberPastedLists(lists);
    return lists;
}

void ComparedListsDialog::keepText() {
    if (shown_ < 0 || !lists_[std::size_t(shown_)].path.isEmpty() ||
        !text_->document()->isModified())
        return;
    QString text;
    AppendAsBoxText(text, text_->document()->toRawText());
    lists_[std::size_t(shown_)].text = std::move(text);
    text_->document()->setModified(false);
}

void ComparedListsDialog::append(ComparedList list) {
    keepText();
    lists_.push_back(std::move(list));
    refreshItems();
    entries_->setCurrentRow(int(lists_.size()) - 1);
}

void ComparedListsDialog::addFiles() {
    services_.setFilter(kListFilter);
    if (!services_.ShowOpen())
        return;
    const QStringList paths = services_.fileNames();
    const std::size_t room = std::size_t(kMostComparedLists) - lists_.size();
    for (qsizetype i = 0; i < paths.size() && std::size_t(i) < room; ++i) {
        const QString path = QDir::cleanPath(QFileInfo(paths[i]).absoluteFilePath());
        append(ComparedList{ComparedList::Kind::Exclude, path, {}, QFileInfo(path).fileName()});
    }
    if (std::size_t(paths.size()) > room)
        services_.MsgBox(QStringLiteral("最多可以对照 %1 个清单，后面的 %2 个文件没有添加。")
                             .arg(kMostComparedLists)
                             .arg(std::size_t(paths.size()) - room),
                         DesktopServices::Information, QStringLiteral("对照清单"));
}

// A new pasted list holds what the clipboard holds; with nothing on it, the list starts empty
// and the dialog says so.
void ComparedListsDialog::addPasted() {
    const QString clipboard = QGuiApplication::clipboard()->text();
    // As a box holds text: every line break CR LF.
    QString text = NormalizeLineBreaks(clipboard);
    const bool empty = text.isEmpty();
    append(ComparedList{ComparedList::Kind::Exclude, {}, std::move(text), {}});
    if (empty)
        source_->setText(lists_.back().name +
                         QStringLiteral("（剪贴板中没有文字，请在下面输入或粘贴，一行一项）："));
    text_->setFocus();
    text_->moveCursor(QTextCursor::End);
}

void ComparedListsDialog::removeCurrent() {
    const int row = entries_->currentRow();
    if (row < 0)
        return;
    shown_ = -1; // its text goes with it
    lists_.erase(lists_.begin() + row);
    refreshItems();
    entries_->setCurrentRow(std::min(row, int(lists_.size()) - 1));
    showCurrent();
}

void ComparedListsDialog::setKind(ComparedList::Kind kind) {
    const int row = entries_->currentRow();
    if (row < 0)
        return;
    lists_[std::size_t(row)].kind = kind;
    refreshItems();
}

void ComparedListsDialog::showCurrent() {
    keepText();
    const int row = entries_->currentRow();
    shown_ = row;
    const bool any = row >= 0;
    remove_->setEnabled(any);
    exclude_->setEnabled(any);
    intersect_->setEnabled(any);
    if (!any) {
        source_->setText(QStringLiteral("还没有清单。点击“添加文件…”选择清单文件，或点击"
                                        "“粘贴清单”把清单粘贴进来。"));
        text_->hide();
        return;
    }
    const ComparedList& list = lists_[std::size_t(row)];
    (list.kind == ComparedList::Kind::Exclude ? exclude_ : intersect_)->setChecked(true);
    if (list.path.isEmpty()) {
        source_->setText(list.name + QStringLiteral("（在下面粘贴或修改，一行一项）："));
        text_->setPlainText(list.text);
        text_->document()->setModified(false);
        text_->show();
    } else {
        source_->setText(QStringLiteral("文件：") + QDir::toNativeSeparators(list.path));
        text_->clear();
        text_->hide();
    }
}

// The items follow the entries; pasted entries are numbered again.
void ComparedListsDialog::refreshItems() {
    NumberPastedLists(lists_);
    const QSignalBlocker blocker(entries_);
    while (entries_->count() > int(lists_.size()))
        delete entries_->takeItem(entries_->count() - 1);
    for (std::size_t i = 0; i < lists_.size(); ++i) {
        if (int(i) >= entries_->count())
            entries_->addItem(QString());
        QListWidgetItem* item = entries_->item(int(i));
        item->setText(ItemText(lists_[i]));
        item->setToolTip(lists_[i].path.isEmpty() ? QString()
                                                  : QDir::toNativeSeparators(lists_[i].path));
    }
    const bool room = lists_.size() < std::size_t(kMostComparedLists);
    addFiles_->setEnabled(room);
    addPasted_->setEnabled(room);
    if (shown_ >= 0 && shown_ < int(lists_.size()) && lists_[std::size_t(shown_)].path.isEmpty())
        source_->setText(lists_[std::size_t(shown_)].name +
                         QStringLiteral("（在下面粘贴或修改，一行一项）："));
}
