// The window's form: its controls, where they stand at any size, their looks, and the keys that
// reach them. The commands are in mainwindow_commands.cpp; what the window keeps track of
// besides its controls in windowstate.h, and the window's side of it in mainwindow_state.cpp.
#include "ui/window/mainwindow.h"

#include "core/lines.h"
#include "platform/desktopservices.h"
#include "ui/compare/filteroptionsmenu.h"
#include "ui/jobs/jobrunner.h"
#include "ui/textbox/textbox.h"
#include "ui/window/appearance.h"
#include "ui/window/fitlabel.h"
#include "ui/window/splitbutton.h"

#include "ui/window/wording.h"
#include <algorithm>

#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QProxyStyle>
#include <QPushButton>
#include <QShortcut>
#include <QStyleOptionGroupBox>

namespace {

// Where each control stands at the initial size, in pixels relative to the frame. The link ends
// above the row of count labels, which spans the frame's width: each count label has room for
// twelve digits, and no label covers another.
constexpr QRect kFrame1{0, 0, 353, 329};
constexpr QRect kText1{8, 16, 225, 137};
constexpr QRect kText2{8, 160, 225, 137};
constexpr QRect kCommand1{240, 64, 105, 33};
constexpr QRect kCommand2{240, 24, 105, 33};
constexpr QRect kCommand3{240, 104, 105, 33};
constexpr QRect kCommand4{240, 144, 105, 33};
constexpr QRect kCommand5{240, 184, 105, 33};
constexpr QRect kLabel3{240, 224, 105, 74};
constexpr QRect kCountRow{16, 302, 329, 19}; // Label1, then Label2
constexpr int kCountGap = 8;

// The publisher's forum name followed by its address.
QString FrameCaption() {
    return QStringLiteral("Trennix 论坛 ") + PublisherPageCommand();
}

// The frame's caption starts where the boxes do, clear of the window's edge.
class CaptionIndentStyle final : public QProxyStyle {
public:
    static constexpr int kIndent = 8;
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                         const QWidget* widget) const override {
        QRect rect = QProxyStyle::subControlRect(control, option, sub, widget);
        if (control == CC_GroupBox && (sub == SC_GroupBoxLabel || sub == SC_GroupBoxCheckBox))
            rect.translate(kIndent, 0);
        return rect;
    }
};

// The bottom edge of the frame's caption, as the style draws it.
int CaptionBottom(const QGroupBox* frame) {
    QStyleOptionGroupBox option;
    option.initFrom(frame);
    option.text = frame->title();
    option.lineWidth = 1;
    option.midLineWidth = 0;
    option.textAlignment = Qt::AlignLeft;
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    option.rect = QRect(kFrame1.topLeft(), kFrame1.size());
    const QRect label = frame->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                       QStyle::SC_GroupBoxLabel, frame);
    return label.isValid() ? label.bottom() : 0;
}

// The window icon, drawn from the SVG at every size; the PNGs where Qt has no SVG icon engine.
QIcon WindowIcon() {
    QIcon icon(QStringLiteral(":/trennix/trennix.svg"));
    if (!icon.pixmap(QSize(32, 32)).isNull())
        return icon;
    QIcon fallback;
    for (const int size : {16, 32, 48})
        fallback.addFile(QStringLiteral(":/trennix/trennix-%1.png").arg(size), QSize(size, size));
    return fallback;
}

} // namespace

MainWindow::MainWindow(DesktopServices& services, QWidget* parent)
    : QWidget(parent), services_(services) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("TrennixV1.0"));
    setWindowIcon(WindowIcon());
    jobs_ = new JobRunner(*this, kProgressDelayMs);
    connect(jobs_, &JobRunner::idle, this, [this] {
        emit idle();
        previewIfPending();
    });
    createControls();
    jobs_->setButtons({Command1, Command2, Command3, Command4, Command5});
    createShortcuts();
    applyColors();
    setMinimumSize(kInitialSize);
    resize(kInitialSize);
    placeControls(kInitialSize);

    // Load: both boxes start empty, the options are those of the last run, then the publisher's
    // page opens.
    clearBoxes();
    Label1->setText(BeforeFilterCaption(Text1->nonBlankLineCount()));
    Label2->setText(AfterFilterCaption(Text2->nonBlankLineCount()));
    Text1->setAccessibleDescription(Label1->text());
    describeOutput();
    state_.loadSetup([this](const QString& key) { return services_.LoadSetting(key); });
    optionsMenu_->setOptions(state_.options());
    optionsMenu_->setListsInForce(!state_.lists().empty());
    updateFilterButton();
    restoreGeometryRemembered();
    openPublisherPage();
}

void MainWindow::createControls() {
    Frame1 = new QGroupBox(FrameCaption(), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    auto* captionStyle = new CaptionIndentStyle;
    captionStyle->setParent(Frame1);
    Frame1->setStyle(captionStyle);

    auto makeBox = [this](const QString& name, const QString& accessibleName) {
        auto* box = new TextBox(Frame1);
        box->setObjectName(name);
        box->setAccessibleName(accessibleName);
        jobs_->watch(box);
        connect(box, &TextBox::cancelRequested, this, &MainWindow::cancelCommand);
        box->setOuterUndo([this] { return state_.canUndoClear() && !busy(); },
                          [this] { undoClear(); });
        return box;
    };
    Text1 = makeBox(QStringLiteral("Text1"), QStringLiteral("输入框"));
    Text2 = makeBox(QStringLiteral("Text2"), QStringLiteral("输出框"));

    auto setUp = [this](QPushButton* button, const QString& name, const QString& keys) {
        button->setObjectName(name);
        button->setAccessibleName(button->text());
        if (!keys.isEmpty())
            button->setToolTip(QStringLiteral("%1 (%2)").arg(button->text(), keys));
        button->installEventFilter(this);
        return button;
    };
    auto makeButton = [this, setUp](const QString& name, const QString& caption,
                                    const QString& keys) {
        return setUp(new QPushButton(caption, Frame1), name, keys);
    };
    Command1 = new SplitButton(QStringLiteral("开始过滤"), Frame1);
    setUp(Command1, QStringLiteral("Command1"), QString());
    optionsMenu_ = new FilterOptionsMenu(this);
    Command1->setDropDownMenu(optionsMenu_);
    Command2 = makeButton(QStringLiteral("Command2"), QStringLiteral("导入数据"),
                          QStringLiteral("Ctrl+O"));
    Command3 = makeButton(QStringLiteral("Command3"), QStringLiteral("清空所有"), QString());
    Command4 = makeButton(QStringLiteral("Command4"), QStringLiteral("复制结果"), QString());
    Command5 = makeButton(QStringLiteral("Command5"), QStringLiteral("保存结果"),
                          QStringLiteral("Ctrl+S"));

    Label1 = new FitLabel(Frame1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(HeiFont(10.5));
    Label2 = new FitLabel(Frame1);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setFont(HeiFont(10.5));
    Label3 = new FitLabel(QStringLiteral("更多软件下载请点我"), Frame1);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setFont(HeiFont(21.75, true));
    Label3->setWordWrap(true);
    Label3->setLink(true);

    setTabOrder(Text1, Text2);
    setTabOrder(Text2, Command2);
    setTabOrder(Command2, Command1);
    setTabOrder(Command1, Command3);
    setTabOrder(Command3, Command4);
    setTabOrder(Command4, Command5);
    setTabOrder(Command5, Label3);

    connect(Text1, &TextBox::nonBlankLineCountChanged, this, [this](qsizetype n) {
        Label1->setText(BeforeFilterCaption(n));
        Text1->setAccessibleDescription(Label1->text());
    });
    connect(Text2, &TextBox::nonBlankLineCountChanged, this, [this](qsizetype n) {
        Label2->setText(AfterFilterCaption(n));
        describeOutput();
    });
    // A command at work changes the boxes only for good once it completes; it says then what
    // changed.
    connect(Text1, &QPlainTextEdit::textChanged, this, &MainWindow::inputChanged);
    connect(Text2, &QPlainTextEdit::textChanged, this, &MainWindow::outputChanged);
    connect(optionsMenu_, &FilterOptionsMenu::optionsChanged, this, &MainWindow::setFilterOptions);
    connect(optionsMenu_, &FilterOptionsMenu::repeatsRequested, this, [this] { showRepeats(); });
    connect(optionsMenu_, &FilterOptionsMenu::keyRequested, this, &MainWindow::showKeyDialog);
    connect(optionsMenu_, &FilterOptionsMenu::listsRequested, this, &MainWindow::showListsDialog);
    connect(optionsMenu_, &FilterOptionsMenu::defaultsRequested, this,
            [this] { setFilterSetup(FilterOptions{}, {}); });
    createMarks();
    connect(Label3, &FitLabel::clicked, this, &MainWindow::showPublisherPage);
    connect(Command1, &QPushButton::clicked, this, &MainWindow::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &MainWindow::Command2_Click);
    connect(Command5, &QPushButton::clicked, this, &MainWindow::Command5_Click);
    Text1->setAcceptFileDrops(true);
    Text1->setPasteTaker([this](const QString& text) { return takeLargePaste(text); });
    connect(Text1, &TextBox::filesDropped, this, [this](const QStringList& paths) {
        if (!busy())
            importChosenFiles(paths);
    });
    connect(Command3, &QPushButton::clicked, this, &MainWindow::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &MainWindow::Command4_Click);
}

void MainWindow::createShortcuts() {
    const std::pair<QKeySequence, QPushButton*> keys[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_O), Command2},
        {QKeySequence(Qt::CTRL | Qt::Key_S), Command5},
        {QKeySequence(Qt::CTRL | Qt::Key_Return), Command1},
        {QKeySequence(Qt::CTRL | Qt::Key_Enter), Command1},
    };
    for (const auto& [key, button] : keys) {
        auto* shortcut = new QShortcut(key, this);
        connect(shortcut, &QShortcut::activated, button, &QPushButton::click);
    }
}

// The count labels' own orange and blue on a light background; on a dark one, lighter
// shades of them that stay readable.
void MainWindow::applyColors() {
    const QColor background = palette().color(QPalette::Window);
    SetCaptionColor(Label1, CaptionColor::Orange, background);
    SetCaptionColor(Label2, CaptionColor::Blue, background);
    SetCaptionColor(Label3, CaptionColor::Blue, background);
}

void MainWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && Label3)
        applyColors();
    // A larger caption font pushes the input box down.
    if (event->type() == QEvent::FontChange && Frame1)
        placeControls(size());
}

// At the initial size every control stands at its home place. Extra width goes to the boxes and
// the count labels, with the button column and the link keeping to the right edge; extra height
// is shared by the two boxes, with the count labels keeping to the bottom. The input box starts
// below the frame's caption.
void MainWindow::placeControls(QSize client) {
    const int dw = std::max(0, client.width() - kInitialSize.width());
    const int dh = std::max(0, client.height() - kInitialSize.height());
    const int upper = dh / 2;
    const int lower = dh - upper;
    Frame1->setGeometry(kFrame1.adjusted(0, 0, dw, dh));
    const int top = std::max(kText1.top(), CaptionBottom(Frame1) + 2);
    Text1->setGeometry(kText1.adjusted(0, top - kText1.top(), dw, upper));
    Text2->setGeometry(kText2.adjusted(0, upper, dw, upper + lower));
    for (auto [button, rect] : {std::pair<QPushButton*, QRect>{Command1, kCommand1},
                                std::pair{Command2, kCommand2}, std::pair{Command3, kCommand3},
                                std::pair{Command4, kCommand4}, std::pair{Command5, kCommand5}})
        button->setGeometry(rect.translated(dw, 0));
    Label3->setGeometry(kLabel3.translated(dw, 0));
    const QRect row = kCountRow.adjusted(0, dh, dw, dh);
    const int first = (row.width() - kCountGap) / 2;
    Label1->setGeometry(row.left(), row.top(), first, row.height());
    Label2->setGeometry(row.left() + first + kCountGap, row.top(), row.width() - first - kCountGap,
                        row.height());
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeControls(size());
}

void MainWindow::openPublisherPage() {
    services_.OpenPublisherPage();
}

// The link asked for the page: a page that cannot be opened is said so, with its address to copy.
void MainWindow::showPublisherPage() {
    if (services_.ShowPublisherPage())
        return;
    services_.MsgBox(
        QStringLiteral("无法启动浏览器打开网页。请把下面的地址复制到浏览器中打开：\n\n") +
            PublisherPageCommand(),
        DesktopServices::Critical, QStringLiteral("无法打开网页"));
}

bool MainWindow::busy() const {
    return jobs_->busy();
}

void MainWindow::cancelCommand() {
    jobs_->cancel();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && busy()) {
        cancelCommand();
        event->accept();
        return;
    }
    // Ctrl+Z that no box took, such as on 清空所有 right after the click.
    if (event->matches(QKeySequence::Undo) && state_.canUndoClear() && !busy()) {
        undoClear();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

// Tab moves nothing while a command works: the focus waits on the window.
bool MainWindow::focusNextPrevChild(bool next) {
    if (busy())
        return true;
    return QWidget::focusNextPrevChild(next);
}

// Enter and Return press a focused button, as Space does.
bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    auto* button = qobject_cast<QPushButton*>(watched);
    if (!button || event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
        !(key->modifiers() & ~Qt::KeypadModifier)) {
        button->click();
        return true;
    }
    // The arrow keys move along the buttons, top to bottom as they stand, and never out of them
    // (into the output box, where the next key would change the result).
    const int step = key->key() == Qt::Key_Up || key->key() == Qt::Key_Left      ? -1
                     : key->key() == Qt::Key_Down || key->key() == Qt::Key_Right ? 1
                                                                                 : 0;
    if (step == 0 || (key->modifiers() & ~Qt::KeypadModifier))
        return false;
    const QList<QPushButton*> row{Command2, Command1, Command3, Command4, Command5};
    const qsizetype at = row.indexOf(button);
    if (at >= 0) {
        const qsizetype next = std::clamp<qsizetype>(at + step, 0, row.size() - 1);
        row[next]->setFocus(Qt::TabFocusReason);
    }
    return true;
}

// What a screen reader says of the output box besides its name: its count, and what the last
// filter removed while that is shown.
void MainWindow::describeOutput() {
    const QString note = Text2->note();
    Text2->setAccessibleDescription(note.isEmpty() ? Label2->text()
                                                   : Label2->text() + QStringLiteral("，") + note);
}
