#include "ui/mainwindow.h"

#include "core/linefilter.h"
#include "platform/desktopservices.h"
#include "platform/threads.h"
#include "ui/appearance.h"
#include "ui/commands.h"
#include "ui/filteroptionsmenu.h"
#include "ui/fitlabel.h"
#include "ui/repeatsdialog.h"
#include "ui/splitbutton.h"
#include "ui/textbox.h"
#include "ui/wording.h"

#include <QApplication>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QProxyStyle>
#include <QPushButton>
#include <QShortcut>
#include <QStyleOptionGroupBox>
#include <QtConcurrent>

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

const QString kFileFilter = QStringLiteral("文档文件(*.txt)|*.txt|所有文件(*.*)|*.*");

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
    createControls();
    createShortcuts();
    applyColors();
    setMinimumSize(kInitialSize);
    resize(kInitialSize);
    placeControls(kInitialSize);
    progressDelay_.setSingleShot(true);
    connect(&progressDelay_, &QTimer::timeout, this, &MainWindow::showProgress);

    // Load: both boxes start empty, the options are those of the last run, then the publisher's
    // page opens.
    clearBoxes();
    Label1->setText(BeforeFilterCaption(Text1->nonBlankLineCount()));
    Label2->setText(AfterFilterCaption(Text2->nonBlankLineCount()));
    Text1->setAccessibleDescription(Label1->text());
    describeOutput();
    options_ = FilterOptionsFromText(services_.LoadSetting(kOptionsKey));
    optionsMenu_->setOptions(options_);
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
        box->installEventFilter(this);
        box->viewport()->installEventFilter(this);
        connect(box, &TextBox::cancelRequested, this, &MainWindow::cancelCommand);
        box->setOuterUndo([this] { return cleared_.has_value() && !busy(); },
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
    setTabOrder(Text2, Command1);
    setTabOrder(Command1, Command2);
    setTabOrder(Command2, Command3);
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
    connect(optionsMenu_, &FilterOptionsMenu::repeatsRequested, this, &MainWindow::showRepeats);
    connect(Label3, &FitLabel::clicked, this, &MainWindow::showPublisherPage);
    connect(Command1, &QPushButton::clicked, this, &MainWindow::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &MainWindow::Command2_Click);
    connect(Command5, &QPushButton::clicked, this, &MainWindow::Command5_Click);
    Text1->setAcceptFileDrops(true);
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

QList<QPushButton*> MainWindow::buttons() const {
    return {Command1, Command2, Command3, Command4, Command5};
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

void MainWindow::startJob(Job* job, std::function<void(bool)> then) {
    job->setParent(this);
    job_ = job;
    boxChanged_ = false;
    // The window itself holds the keyboard while the command works: no keystroke reaches a box,
    // and the focus goes back where it was afterwards.
    focusBefore_ = QApplication::focusWidget();
    if (focusBefore_ && focusBefore_->window() != this)
        focusBefore_ = nullptr;
    setFocus(Qt::OtherFocusReason);
    for (QPushButton* button : buttons())
        button->setEnabled(false);
    setCursor(Qt::BusyCursor);
    connect(job, &Job::progressChanged, this, [this, job] {
        if (job_ == job && job->where() && job->where()->isProgressShown())
            showProgress();
    });
    connect(job, &Job::finished, this, [this, job, then = std::move(then)](bool completed) {
        if (job->where())
            job->where()->hideProgress();
        job->deleteLater();
        if (job_ != job)
            return;
        job_ = nullptr;
        filtering_ = false;
        // A clear can no longer be undone once a command has changed a box; a cancelled one
        // changed nothing.
        if (completed && boxChanged_)
            cleared_.reset();
        if (then)
            then(completed);
        updateOutputNote();
        progressDelay_.stop();
        for (QPushButton* button : buttons())
            button->setEnabled(true);
        unsetCursor();
        if (focusBefore_ && focusBefore_->isEnabled() && focusBefore_->isVisible())
            focusBefore_->setFocus(Qt::OtherFocusReason);
        focusBefore_ = nullptr;
        emit idle();
        previewIfPending();
    });
    progressDelay_.start(kProgressDelayMs);
    job->start();
}

void MainWindow::showProgress() {
    if (!job_ || !job_->where())
        return;
    job_->where()->showProgress(job_->percent(), job_->what(), job_->canCancel());
}

void MainWindow::cancelCommand() {
    if (job_)
        job_->cancel();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && busy()) {
        cancelCommand();
        event->accept();
        return;
    }
    // Ctrl+Z that no box took, such as on 清空所有 right after the click.
    if (event->matches(QKeySequence::Undo) && cleared_ && !busy()) {
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

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    // Enter and Return press a focused button, as Space does.
    if (type == QEvent::KeyPress) {
        if (auto* button = qobject_cast<QPushButton*>(watched)) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                !(key->modifiers() & ~Qt::KeypadModifier)) {
                button->click();
                return true;
            }
            return false;
        }
    }
    if (!busy() || qobject_cast<QPushButton*>(watched))
        return false;
    // While a command works the boxes take no keystroke, click or drop.
    switch (type) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
            cancelCommand();
        return true;
    case QEvent::FocusIn:
        QTimer::singleShot(0, this, [this] {
            if (busy())
                setFocus(Qt::OtherFocusReason);
        });
        return false;
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::InputMethod:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

void MainWindow::Command1_Click() {
    runFilter(false);
}

bool MainWindow::isLargeInput() const {
    return largeInput_ && Text1->isExternalPreview();
}

bool MainWindow::isLargeResult() const {
    return largeResult_ && Text2->isExternalPreview();
}

// The large result is let go on a worker thread: closing its temporary file frees its disk
// space, which can take the system a moment for a large one.
void MainWindow::setLargeResult(std::shared_ptr<LargeResult> result) {
    std::shared_ptr<LargeResult> old = std::exchange(largeResult_, std::move(result));
    if (old && old.use_count() == 1)
        (void)QtConcurrent::run([old = std::move(old)]() mutable {
            LowerCurrentThreadPriority();
            old.reset();
        });
}

void MainWindow::runFilter(bool refuseEmpty) {
    EngineSettings settings;
    settings.options = options_;
    // Before the job starts: a small one completes within startJob.
    filtering_ = true;
    if (isLargeInput()) {
        auto* job = new LargeFilterJob(largeInput_, *Text2, services_, settings);
        startJob(job, [this, job, input = largeInput_, options = options_](bool completed) {
            if (!completed || !job->result())
                return;
            setLargeResult(job->result());
            const EngineResult& result = largeResult_->result;
            lastFilter_ =
                LastFilter{input, options, FileFormat{largeResult_->encoding, result.lineBreak},
                           RemovedNote(result.stats, options), nullptr};
            inputChanged_ = outputChanged_ = false;
        });
    } else {
        auto* job = new FilterJob(*Text1, *Text2, services_, refuseEmpty, settings);
        startJob(job, [this, job, options = options_, format = inputFormat_](bool completed) {
            if (!completed || !job->filtered())
                return;
            setLargeResult(nullptr);
            lastFilter_ = LastFilter{job->input(), options, format,
                                     RemovedNote(job->stats(), options), nullptr};
            inputChanged_ = outputChanged_ = false;
        });
    }
}

// What a screen reader says of the output box besides its name: its count, and what the last
// filter removed while that is shown.
void MainWindow::describeOutput() {
    const QString note = Text2->note();
    Text2->setAccessibleDescription(note.isEmpty() ? Label2->text()
                                                   : Label2->text() + QStringLiteral("，") + note);
}

// A change of the options says at once that the result is stale, and filters again as a
// preview where the boxes still hold the last filter's input and result; a filter at work is
// cancelled for it, another command finished first.
void MainWindow::setFilterOptions(const FilterOptions& options) {
    if (options == options_)
        return;
    options_ = options;
    services_.SaveSetting(kOptionsKey, FilterOptionsToText(options));
    updateFilterButton();
    updateOutputNote();
    if (!canPreview())
        return;
    previewPending_ = true;
    if (!busy())
        previewIfPending();
    else if (filtering_)
        cancelCommand();
}

void MainWindow::previewIfPending() {
    if (!previewPending_ || busy())
        return;
    previewPending_ = false;
    // After the command's own wind-up, at the next turn of the event loop.
    QTimer::singleShot(0, this, [this] {
        if (!busy() && canPreview() && isResultStale())
            runFilter(false);
    });
}

// The button's arrow stands out while the options differ from the default, and its tooltip
// lists them.
void MainWindow::updateFilterButton() {
    Command1->setMarked(!options_.isDefault());
    const QString active = DescribeFilterOptions(options_);
    QString tip = QStringLiteral("开始过滤 (Ctrl+Enter)\n过滤选项：点击箭头 (Alt+↓)");
    if (!active.isEmpty())
        tip += QStringLiteral("\n当前选项：") + active;
    Command1->setToolTip(tip);
    Command1->setAccessibleDescription(active.isEmpty() ? QString()
                                                        : QStringLiteral("当前选项：") + active);
}

// The statistic is counted once for each filter, at its first showing.
void MainWindow::showRepeats() {
    if (busy())
        return;
    if (!lastFilter_) {
        services_.MsgBox(QStringLiteral("还没有过滤过。请先点击“开始过滤”，再查看重复统计。"),
                         DesktopServices::Information, QStringLiteral("重复统计"));
        return;
    }
    if (lastFilter_->statistic) {
        openStatistic(lastFilter_->statistic);
        return;
    }
    EngineSettings settings;
    settings.options = lastFilter_->options;
    settings.repeatsLimit = statisticRows_;
    auto* job = new RepeatsJob(lastFilter_->source, Text2, services_, settings);
    startJob(job, [this, job](bool completed) {
        if (!completed || !job->statistic() || !lastFilter_)
            return;
        lastFilter_->statistic = job->statistic();
        openStatistic(job->statistic());
    });
}

// The dialog is made at the next turn of the event loop: with a million lines, making it takes
// the window about as long as it may stand still.
void MainWindow::openStatistic(std::shared_ptr<const Statistic> statistic) {
    EngineSettings settings;
    settings.options = lastFilter_->options;
    QTimer::singleShot(0, this,
                       [this, statistic = std::move(statistic), source = lastFilter_->source,
                        settings, format = lastFilter_->format] {
                           auto* dialog = new RepeatsDialog(statistic, source, settings, format,
                                                            services_, this);
                           dialog->setAttribute(Qt::WA_DeleteOnClose);
                           dialog->open();
                       });
}

void MainWindow::Command2_Click() {
    services_.setFilter(kFileFilter);
    if (!services_.ShowOpen())
        return;
    importFiles(services_.fileNames());
}

void MainWindow::importChosenFiles(const QStringList& paths) {
    if (paths.isEmpty())
        return;
    services_.setFileName(paths.constFirst());
    importFiles(paths);
}

void MainWindow::importFiles(const QStringList& paths) {
    auto* job = new ImportJob(*Text1, paths, services_, largeBounds_);
    startJob(job, [this, job, paths](bool completed) {
        if (!completed)
            return;
        if (job->largeFile()) {
            largeInput_ = job->largeFile();
            inputFormat_ = FileFormat{largeInput_->encoding, LineBreak::CrLf};
        } else if (job->encoding()) {
            largeInput_.reset();
            inputFormat_ = FileFormat{*job->encoding(), job->lineBreak().value_or(LineBreak::CrLf)};
        } else {
            return; // nothing was imported
        }
        inputChanged_ = true;
        Text1->setNote(paths.size() > 1 ? ImportedFilesNote(paths) : QString());
    });
}

// The result is written in the format chosen in the dialog; 与原文件相同 is the format of the
// input it was filtered from (a large result's own).
void MainWindow::Command5_Click() {
    services_.setFilter(kFileFilter);
    if (!services_.ShowSave())
        return;
    if (isLargeResult()) {
        const FileFormat own{largeResult_->encoding, largeResult_->result.lineBreak};
        startJob(new LargeSaveJob(largeResult_, Text2, services_.fileName(),
                                  ResolveSaveFormat(services_.saveFormat(), own), services_));
        return;
    }
    const FileFormat same = lastFilter_ ? lastFilter_->format : inputFormat_;
    startJob(new SaveJob(*Text2, services_.fileName(),
                         ResolveSaveFormat(services_.saveFormat(), same), services_));
}

void MainWindow::Command3_Click() {
    clearBoxes();
    services_.MsgBox(QStringLiteral("ok"), DesktopServices::Plain, QStringLiteral("OK"));
}

void MainWindow::Command4_Click() {
    RunCommand(1);
}

void MainWindow::RunCommand(int index) {
    if (index == 2) {
        cancelCommand();
        clearBoxes();
        return;
    }
    if (index != 0 && index != 1) {
        services_.MsgBox(QStringLiteral("未知错误"), DesktopServices::Critical, QString());
        return;
    }
    cancelCommand();
    if (busy()) // still taking back its work, or writing a file
        return;
    if (index == 0)
        runFilter(true);
    else if (isLargeResult())
        startJob(new LargeCopyJob(largeResult_, Text2, copyBytes_, services_));
    else
        startJob(new CopyJob(*Text2, services_));
}
