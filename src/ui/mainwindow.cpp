#include "ui/mainwindow.h"

#include "core/linefilter.h"
#include "files/textfile.h"
#include "platform/desktopservices.h"
#include "ui/fitlabel.h"
#include "ui/textbox.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QGroupBox>
#include <QIcon>
#include <QPushButton>
#include <QtConcurrent>

namespace {

// The CJK sans fonts asked for, in order: the Windows font first, then what Linux desktops have.
const QStringList kHeiFamilies = {QStringLiteral("黑体"), QStringLiteral("SimHei"),
                                  QStringLiteral("Noto Sans CJK SC"),
                                  QStringLiteral("WenQuanYi Zen Hei")};

QFont HeiFont(qreal pointSize, bool underline = false) {
    QFont font;
    font.setFamilies(kHeiFamilies);
    font.setPointSizeF(pointSize);
    font.setBold(true);
    font.setUnderline(underline);
    return font;
}

void SetTextColor(QWidget* w, QColor color) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, color);
    w->setPalette(p);
}

// Where each control stands at the initial size, in pixels relative to the frame.
constexpr QRect kFrame1{0, 0, 353, 329};
constexpr QRect kText1{8, 16, 225, 137};
constexpr QRect kText2{8, 160, 225, 137};
constexpr QRect kCommand1{240, 64, 105, 33};
constexpr QRect kCommand2{240, 24, 105, 33};
constexpr QRect kCommand3{240, 104, 105, 33};
constexpr QRect kCommand4{240, 144, 105, 33};
constexpr QRect kCommand5{240, 184, 105, 33};
constexpr QRect kLabel1{16, 304, 129, 17};
constexpr QRect kLabel2{152, 304, 121, 17};
constexpr QRect kLabel3{240, 232, 105, 89};

const QString kFileFilter = QStringLiteral("文档文件(*.txt)|*.txt|所有文件(*.*)|*.*");

// The publisher's forum name followed by its address.
QString FrameCaption() {
    return QStringLiteral("Trennix 论坛 ") + PublisherPageCommand();
}

} // namespace

MainWindow::MainWindow(DesktopServices& services, QWidget* parent)
    : QWidget(parent), services_(services) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("TrennixV1.0"));
    QIcon icon;
    for (const int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/trennix/trennix-%1.png").arg(size), QSize(size, size));
    setWindowIcon(icon);
    createControls();
    setMinimumSize(kInitialSize);
    resize(kInitialSize);
    placeControls(kInitialSize);

    // Load: both boxes start empty, then the publisher's page opens.
    clearBoxes();
    Label1->setText(BeforeFilterCaption(Text1->nonBlankLineCount()));
    Label2->setText(AfterFilterCaption(Text2->nonBlankLineCount()));
    openPublisherPage();
}

void MainWindow::createControls() {
    Frame1 = new QGroupBox(FrameCaption(), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));

    auto makeBox = [this](const QString& name) {
        auto* box = new TextBox(Frame1);
        box->setObjectName(name);
        return box;
    };
    Text1 = makeBox(QStringLiteral("Text1"));
    Text2 = makeBox(QStringLiteral("Text2"));

    auto makeButton = [this](const QString& name, const QString& caption) {
        auto* button = new QPushButton(caption, Frame1);
        button->setObjectName(name);
        return button;
    };
    Command1 = makeButton(QStringLiteral("Command1"), QStringLiteral("开始过滤"));
    Command2 = makeButton(QStringLiteral("Command2"), QStringLiteral("导入数据"));
    Command3 = makeButton(QStringLiteral("Command3"), QStringLiteral("清空所有"));
    Command4 = makeButton(QStringLiteral("Command4"), QStringLiteral("复制结果"));
    Command5 = makeButton(QStringLiteral("Command5"), QStringLiteral("保存结果"));

    Label1 = new FitLabel(Frame1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(HeiFont(10.5));
    SetTextColor(Label1, QColor(255, 128, 0));
    Label2 = new FitLabel(Frame1);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setFont(HeiFont(10.5));
    SetTextColor(Label2, QColor(0, 0, 255));
    Label3 = new FitLabel(QStringLiteral("更多软件下载请点我"), Frame1);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setFont(HeiFont(21.75, true));
    Label3->setWordWrap(true);
    Label3->setCursor(Qt::PointingHandCursor);
    SetTextColor(Label3, QColor(0, 0, 255));

    setTabOrder(Text1, Text2);
    setTabOrder(Text2, Command1);
    setTabOrder(Command1, Command2);
    setTabOrder(Command2, Command3);
    setTabOrder(Command3, Command4);
    setTabOrder(Command4, Command5);

    connect(Text1, &TextBox::nonBlankLineCountChanged, this,
            [this](qsizetype n) { Label1->setText(BeforeFilterCaption(n)); });
    connect(Text2, &TextBox::nonBlankLineCountChanged, this,
            [this](qsizetype n) { Label2->setText(AfterFilterCaption(n)); });
    connect(Label3, &FitLabel::clicked, this, &MainWindow::openPublisherPage);
    connect(Command1, &QPushButton::clicked, this, &MainWindow::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &MainWindow::Command2_Click);
    connect(Command5, &QPushButton::clicked, this, &MainWindow::Command5_Click);
    Text1->setAcceptFileDrops(true);
    connect(Text1, &TextBox::fileDropped, this, [this](const QString& path) {
        if (busy())
            return;
        services_.setFileName(path);
        importFile(path);
    });
    connect(Command3, &QPushButton::clicked, this, &MainWindow::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &MainWindow::Command4_Click);
}

// At the initial size every control stands at its home place. Extra width goes to the boxes,
// with the button column and the link keeping to the right edge; extra height is shared by the
// two boxes, with the count labels keeping to the bottom.
void MainWindow::placeControls(QSize client) {
    const int dw = std::max(0, client.width() - kInitialSize.width());
    const int dh = std::max(0, client.height() - kInitialSize.height());
    const int upper = dh / 2;
    const int lower = dh - upper;
    Frame1->setGeometry(kFrame1.adjusted(0, 0, dw, dh));
    Text1->setGeometry(kText1.adjusted(0, 0, dw, upper));
    Text2->setGeometry(kText2.adjusted(0, upper, dw, upper + lower));
    for (auto [button, rect] : {std::pair{Command1, kCommand1}, std::pair{Command2, kCommand2},
                                std::pair{Command3, kCommand3}, std::pair{Command4, kCommand4},
                                std::pair{Command5, kCommand5}})
        button->setGeometry(rect.translated(dw, 0));
    Label3->setGeometry(kLabel3.translated(dw, 0));
    Label1->setGeometry(kLabel1.translated(0, dh));
    Label2->setGeometry(kLabel2.translated(0, dh));
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeControls(size());
}

void MainWindow::openPublisherPage() {
    services_.OpenPublisherPage();
}

namespace {

// Texts and files above these sizes are worked on away from the window's thread.
constexpr qsizetype kBackgroundChars = qsizetype(256) * 1024;
constexpr qint64 kBackgroundBytes = qint64(256) * 1024;

bool IsLarge(const QString& text) {
    return text.size() > kBackgroundChars;
}

// The text without the U+0020 spaces at its two ends (line breaks and tabs stay).
QStringView TrimSpaces(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == QChar(u' '))
        ++begin;
    while (end > begin && text[end - 1] == QChar(u' '))
        --end;
    return text.sliced(begin, end - begin);
}

} // namespace

template <typename Result, typename Work, typename Then>
void MainWindow::run(bool inBackground, Work work, Then then) {
    if (!inBackground) {
        then(work());
        return;
    }
    auto* watcher = new QFutureWatcher<Result>(this);
    connect(watcher, &QFutureWatcher<Result>::finished, this,
            [watcher, then = std::move(then)]() mutable {
                watcher->deleteLater();
                then(watcher->result());
            });
    watcher->setFuture(QtConcurrent::run(std::move(work)));
}

void MainWindow::beginOperation() {
    if (operations_++ > 0)
        return;
    for (QPushButton* button : {Command1, Command2, Command3, Command4, Command5})
        button->setEnabled(false);
    setCursor(Qt::BusyCursor);
}

void MainWindow::endOperation() {
    if (--operations_ > 0)
        return;
    for (QPushButton* button : {Command1, Command2, Command3, Command4, Command5})
        button->setEnabled(true);
    unsetCursor();
    emit idle();
}

void MainWindow::filterInput(bool refuseEmpty) {
    beginOperation();
    Text1->withText([this, refuseEmpty](const QString& input) {
        if (refuseEmpty && TrimSpaces(input).isEmpty()) {
            endOperation();
            services_.MsgBox(QStringLiteral("很抱歉,过滤前的数据为空,不给予操作..."),
                             DesktopServices::Critical, QStringLiteral("过滤失败"));
            return;
        }
        run<QString>(
            IsLarge(input), [input] { return FilterDuplicateLines(input); },
            [this](const QString& output) { Text2->setText(output, [this] { endOperation(); }); });
    });
}

void MainWindow::Command1_Click() {
    filterInput(false);
}

void MainWindow::Command2_Click() {
    services_.setFilter(kFileFilter);
    if (!services_.ShowOpen())
        return;
    importFile(services_.fileName());
}

void MainWindow::importChosenFile(const QString& path) {
    services_.setFileName(path);
    importFile(path);
}

void MainWindow::importFile(const QString& path) {
    beginOperation();
    run<ImportResult>(
        QFileInfo(path).size() > kBackgroundBytes, [path] { return ImportTextFile(path); },
        [this](const ImportResult& result) {
            if (!result.ok) {
                endOperation();
                services_.MsgBox(result.error, DesktopServices::Critical,
                                 QStringLiteral("导入失败"));
                return;
            }
            encoding_ = result.decoded.encoding;
            const qsizetype unreadable = result.decoded.unreadable;
            Text1->setText(result.decoded.text, [this, unreadable] {
                endOperation();
                if (unreadable > 0)
                    services_.MsgBox(
                        QStringLiteral("文件中有 %1 处字节无法识别为文字，已用 \uFFFD 代替。")
                            .arg(unreadable),
                        DesktopServices::Information, QStringLiteral("提示"));
            });
        });
}

void MainWindow::Command5_Click() {
    services_.setFilter(kFileFilter);
    if (!services_.ShowSave())
        return;
    beginOperation();
    Text2->withText(
        [this, path = services_.fileName(), encoding = encoding_](const QString& output) {
            run<SaveResult>(
                IsLarge(output),
                [path, output, encoding] { return SaveTextFile(path, output, encoding); },
                [this](const SaveResult& result) {
                    endOperation();
                    if (!result.ok) {
                        services_.MsgBox(result.error, DesktopServices::Critical,
                                         QStringLiteral("保存失败"));
                        return;
                    }
                    services_.MsgBox(QStringLiteral("结果已保存至指定路径！"),
                                     DesktopServices::Information, QStringLiteral("提示"));
                    openPublisherPage();
                });
        });
}

void MainWindow::clearBoxes() {
    Text1->setText(QString());
    Text2->setText(QString());
}

void MainWindow::Command3_Click() {
    clearBoxes();
    services_.MsgBox(QStringLiteral("ok"), DesktopServices::Plain, QStringLiteral("OK"));
}

void MainWindow::Command4_Click() {
    RunCommand(1);
}

void MainWindow::copyOutput() {
    beginOperation();
    Text2->withText([this](const QString& output) {
        endOperation();
        const QStringView trimmed = TrimSpaces(output);
        if (trimmed.isEmpty()) {
            services_.MsgBox(QStringLiteral("很抱歉,过滤后的数据为空,不给予操作..."),
                             DesktopServices::Critical, QStringLiteral("复制失败"));
            return;
        }
        services_.ClipboardClear();
        services_.ClipboardSetText(trimmed.size() == output.size() ? output : trimmed.toString());
        services_.MsgBox(QStringLiteral("复制成功..."), DesktopServices::Information,
                         QStringLiteral("过滤后的数据..."));
    });
}

void MainWindow::RunCommand(int index) {
    switch (index) {
    case 0:
        filterInput(true);
        break;
    case 1:
        copyOutput();
        break;
    case 2:
        clearBoxes();
        break;
    default:
        services_.MsgBox(QStringLiteral("未知错误"), DesktopServices::Critical, QString());
        break;
    }
}
