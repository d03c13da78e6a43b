// What the window keeps for the user and where it shows things: a clear that Ctrl+Z undoes, the
// progress bar and the notices where they can be seen, its size and place between runs, its
// caption clear of the edge, and a word when the publisher's page cannot be opened.
#include "core/grouped.h"
#include "platform/desktopservices.h"
#include "testtext.h"
#include "ui/textbox/textbox.h"
#include "ui/window/fitlabel.h"
#include "ui/window/mainwindow.h"
#include "windowdriver.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QScrollBar>
#include <QStyleOptionGroupBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

namespace {
// `lines` lines long enough for a horizontal scroll bar.
QString WideLines(int lines) {
    QString text;
    for (int i = 0; i < lines; ++i)
        text += QStringLiteral("第%1行 ").arg(i) + QString(120, u'x') + QStringLiteral("\r\n");
    return text;
}

// Chooses the undo of a box's context menu, as a user does.
void UndoFromContextMenu(TextBox* box) {
    auto chosen = std::make_shared<bool>(false);
    QTimer::singleShot(0, [chosen] {
        QMenu* menu = nullptr;
        QTRY_VERIFY((menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())));
        QAction* undo = menu->findChild<QAction*>(QStringLiteral("edit-undo"));
        QVERIFY(undo);
        QVERIFY(undo->isEnabled());
        undo->trigger();
        menu->close();
        *chosen = true;
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                            box->viewport()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(box->viewport(), &event);
    QVERIFY(QTest::qWaitFor([chosen] { return *chosen; }, 60000));
}
} // namespace

class WindowKeepsTest : public QObject, WindowDriver {
    Q_OBJECT

private slots:
    void init() { QVERIFY(makeActiveWindow()); }
    void cleanup() { dropWindow(); }

    // 清空所有 keeps its message box, and Ctrl+Z (wherever the focus is) or the context menu's
    // undo brings both boxes back, with their counts and the note of the last filter, while each
    // box held at most TextBox::kUndoChars characters. Any change after the clear ends it.
    void undoClear_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("undone");
        const QString small = T(QStringLiteral("a⏎b⏎a"));
        QTest::newRow("Ctrl+Z on the button") << small << "button" << true;
        QTest::newRow("Ctrl+Z in the input box") << small << "input" << true;
        QTest::newRow("Ctrl+Z in the output box") << small << "output" << true;
        QTest::newRow("context menu") << small << "menu" << true;
        QTest::newRow("the quiet clear") << small << "quiet" << true;
        QTest::newRow("typed after the clear") << small << "typed" << false;
        QTest::newRow("at the bound") << TextOfSize(TextBox::kUndoChars) << "button" << true;
        QTest::newRow("above the bound")
            << TextOfSize(TextBox::kUndoChars + 1) << "button" << false;
    }
    void undoClear() {
        QFETCH(QString, input);
        QFETCH(QString, how);
        QFETCH(bool, undone);
        text1()->setText(input);
        QTRY_VERIFY_WITH_TIMEOUT(!text1()->isWorking(), 60000);
        click("Command1");
        QVERIFY(waitIdle());
        QTRY_VERIFY_WITH_TIMEOUT(!text2()->isWorking(), 60000);
        const QString output = text2()->text();
        const QString label1 = label("Label1");
        const QString label2 = label("Label2");
        const QString note = text2()->note();
        QVERIFY(!note.isEmpty());

        auto* clear = find<QPushButton>("Command3");
        clear->setFocus();
        if (how == QStringLiteral("quiet"))
            window->RunCommand(2);
        else
            QTest::keyClick(clear, Qt::Key_Space);
        QCOMPARE(text1()->text(), QString());
        QCOMPARE(text2()->text(), QString());
        if (how != QStringLiteral("quiet")) {
            // Beyond the bound the clear asked first.
            QCOMPARE(services->messages.size(), input.size() > TextBox::kUndoChars ? 2 : 1);
            QCOMPARE(services->messages.last().prompt, QStringLiteral("ok"));
        }
        if (how == QStringLiteral("typed")) {
            text1()->setFocus();
            QTest::keyClicks(text1(), QStringLiteral("q"));
            QTest::keyClick(text1(), Qt::Key_Z, Qt::ControlModifier); // undoes the typing
            QCOMPARE(text1()->text(), QString());
        }
        if (how == QStringLiteral("menu")) {
            UndoFromContextMenu(text2());
        } else {
            QWidget* target = how == QStringLiteral("input")    ? text1()
                              : how == QStringLiteral("output") ? text2()
                                                                : focusWidgetOf(clear);
            target->setFocus();
            QTest::keyClick(target, Qt::Key_Z, Qt::ControlModifier);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!text1()->isWorking() && !text2()->isWorking(), 60000);
        if (!undone) {
            QCOMPARE(text1()->text(), QString());
            QCOMPARE(text2()->text(), QString());
            return;
        }
        QCOMPARE(text1()->text(), input);
        QCOMPARE(text2()->text(), output);
        QCOMPARE(label("Label1"), label1);
        QCOMPARE(label("Label2"), label2);
        QCOMPARE(text2()->note(), note);
        QVERIFY(!window->isResultStale());
        // Once only: a second Ctrl+Z has nothing of the clear left.
        text1()->setFocus();
        QTest::keyClick(text1(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(text2()->text(), output);
        // The statistic is the last filter's again.
        window->findChild<QAction*>(QStringLiteral("ShowRepeats"))->trigger();
        QVERIFY(waitIdle());
        QCOMPARE(services->messages.size(), how == QStringLiteral("quiet") ? 0 : 1);
    }

    // A clear in the large-file mode comes back with its mode.
    void undoClearOfALargeFile() {
        window->setLargeFileBounds({1000, 1000000});
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("large.txt"));
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(QByteArray("line\r\n").repeated(1000));
        out.close();
        services->dialogAnswers = {file};
        click("Command2");
        QVERIFY(waitIdle());
        click("Command1");
        QVERIFY(waitIdle());
        QVERIFY(window->isLargeInput() && window->isLargeResult());
        const QString notice = text1()->notice();
        click("Command3");
        QVERIFY(!window->isLargeInput());
        find<QPushButton>("Command3")->setFocus();
        QTest::keyClick(find<QPushButton>("Command3"), Qt::Key_Z, Qt::ControlModifier);
        QTRY_VERIFY(window->isLargeInput() && window->isLargeResult());
        QCOMPARE(text1()->notice(), notice);
        QCOMPARE(label("Label1"), QStringLiteral("过滤前共1000行"));
        QCOMPARE(label("Label2"), QStringLiteral("过滤后共1行"));
    }

    // An import over a large file's preview cannot be undone into that preview: Ctrl+Z would
    // give back its beginning as if it were the whole text, editable and without its notice.
    void undoNeverGivesBackAPreview_data() {
        QTest::addColumn<QByteArray>("second");
        QTest::newRow("an empty file") << QByteArray();
        QTest::newRow("a small file") << QByteArray("x\r\ny\r\n");
        QTest::newRow("another large file") << QByteArray("other\r\n").repeated(1500);
    }
    void undoNeverGivesBackAPreview() {
        QFETCH(QByteArray, second);
        window->setLargeFileBounds({1000, 1000000});
        QTemporaryDir dir;
        const QString large = dir.filePath(QStringLiteral("large.txt"));
        const QString next = dir.filePath(QStringLiteral("next.txt"));
        for (const auto& [path, bytes] :
             {std::pair{large, QByteArray("line\r\n").repeated(5000)}, std::pair{next, second}}) {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(bytes);
        }
        services->dialogAnswers = {large};
        click("Command2");
        QVERIFY(waitIdle());
        QVERIFY(window->isLargeInput());
        services->dialogAnswers = {next};
        click("Command2");
        QVERIFY(waitIdle());
        const QString text = text1()->text();
        const QString caption = label("Label1");
        const bool largeNow = window->isLargeInput();
        text1()->setFocus();
        QTest::keyClick(text1(), Qt::Key_Z, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(!text1()->isWorking(), 60000);
        QCOMPARE(text1()->text(), text);
        QCOMPARE(label("Label1"), caption);
        QCOMPARE(window->isLargeInput(), largeNow);
        QVERIFY(text1()->isReadOnly() || !text1()->isPreview());
    }

    // 清空所有 on a text beyond what Ctrl+Z keeps asks first, naming the lines that go; 取消
    // keeps everything.
    void clearAsksBeforeLosingText_data() {
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("answer");
        QTest::newRow("undoable: no question") << TextBox::kUndoChars << false << true;
        QTest::newRow("beyond undo, 取消") << TextBox::kUndoChars + 1 << true << false;
        QTest::newRow("beyond undo, 确定") << TextBox::kUndoChars + 1 << true << true;
    }
    void clearAsksBeforeLosingText() {
        QFETCH(qsizetype, size);
        QFETCH(bool, asked);
        QFETCH(bool, answer);
        const QString input = TextOfSize(size);
        text1()->setText(input);
        QTRY_VERIFY_WITH_TIMEOUT(!text1()->isWorking(), 60000);
        const qsizetype lines = text1()->nonBlankLineCount();
        services->askAnswers = {answer};
        click("Command3");
        QCOMPARE(services->calls.contains(QStringLiteral("AskOkCancel")), asked);
        if (asked) {
            QCOMPARE(services->messages[0].style, DesktopServices::Question);
            QVERIFY2(services->messages[0].prompt.contains(Grouped(lines) + QStringLiteral(" 行")),
                     qPrintable(services->messages[0].prompt));
        }
        QTRY_VERIFY_WITH_TIMEOUT(!text1()->isWorking(), 60000);
        QCOMPARE(text1()->text().size(), answer ? 0 : size);
    }

    // The progress bar and its 取消 stand above the horizontal scroll bar of a box that does not
    // wrap, and inside the box.
    void progressAboveTheScrollBar_data() {
        QTest::addColumn<int>("lines");
        QTest::newRow("wrapping box") << 100;
        QTest::newRow("100,000 lines") << 100000;
    }
    void progressAboveTheScrollBar() {
        QFETCH(int, lines);
        TextBox* box = text1();
        box->setText(WideLines(lines));
        QTRY_VERIFY_WITH_TIMEOUT(!box->isWorking(), 60000);
        box->showProgress(40, QStringLiteral("正在过滤"), true);
        QApplication::processEvents();
        auto* strip = box->findChild<QWidget*>(QStringLiteral("progress"));
        auto* cancel = box->findChild<QToolButton*>(QStringLiteral("cancel"));
        QScrollBar* bar = box->horizontalScrollBar();
        QCOMPARE(bar->isVisibleTo(box), lines > TextBox::kWrapLines);
        const QRect stripRect = strip->geometry();
        QVERIFY(box->rect().contains(stripRect));
        QVERIFY(stripRect.height() > 0);
        if (bar->isVisibleTo(box)) {
            const QRect barRect(bar->mapTo(box, QPoint(0, 0)), bar->size());
            QVERIFY2(!stripRect.intersects(barRect),
                     qPrintable(QStringLiteral("strip %1,%2 %3x%4, bar at y %5")
                                    .arg(stripRect.x())
                                    .arg(stripRect.y())
                                    .arg(stripRect.width())
                                    .arg(stripRect.height())
                                    .arg(barRect.y())));
        }
        const QRect cancelRect(cancel->mapTo(box, QPoint(0, 0)), cancel->size());
        QVERIFY(stripRect.contains(cancelRect));
        QVERIFY(cancel->isVisible());
        // The text above it is not covered either.
        QVERIFY(box->viewport()->geometry().bottom() < stripRect.top());
        box->hideProgress();
    }

    // The notice of a preview stands only over the text it belongs to: replaced by a text that
    // fills a slice at a time, it goes at once.
    void noticeGoesWithItsText() {
        TextBox* box = text2();
        box->showPreview(QStringLiteral("beginning"), QStringLiteral("大文件（只读）：……"), 1);
        QVERIFY(box->findChild<QLabel*>(QStringLiteral("notice"))->isVisible());
        box->setText(WideLines(40000));
        QVERIFY(box->isFilling());
        QVERIFY(!box->findChild<QLabel*>(QStringLiteral("notice"))->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!box->isWorking(), 60000);
        QVERIFY(!box->findChild<QLabel*>(QStringLiteral("notice"))->isVisible());
    }

    // The frame's caption starts clear of the window's edge, where the boxes start.
    void captionClearOfTheEdge() {
        auto* frame = find<QGroupBox>("Frame1");
        QCOMPARE(frame->x(), 0);
        QStyleOptionGroupBox option;
        option.initFrom(frame);
        option.text = frame->title();
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        const QRect label = frame->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                           QStyle::SC_GroupBoxLabel, frame);
        QVERIFY2(label.left() >= text1()->x(), qPrintable(QString::number(label.left())));
    }

    // With no browser to open the page, the link says so and shows the address to copy.
    void linkWithoutBrowser_data() {
        QTest::addColumn<bool>("browser");
        QTest::newRow("browser") << true;
        QTest::newRow("no browser") << false;
    }
    void linkWithoutBrowser() {
        QFETCH(bool, browser);
        services->browserWorks = browser;
        find<FitLabel>("Label3")->activate();
        QCOMPARE(services->calls.count(QStringLiteral("ShowPublisherPage")), 1);
        QCOMPARE(services->messages.size(), browser ? 0 : 1);
        if (!browser) {
            QCOMPARE(services->messages[0].style, DesktopServices::Critical);
            QVERIFY(services->messages[0].prompt.contains(PublisherPageCommand()));
        }
        // The page opened at start-up and after a save stays quiet.
        QCOMPARE(services->calls.count(QStringLiteral("OpenPublisherPage")), 1);
    }

    // The window opens at its first size the first time, and where it was closed afterwards;
    // never below its first size.
    void sizeAndPlaceRemembered() {
        QCOMPARE(window->size(), MainWindow::kInitialSize);
        QCOMPARE(window->minimumSize(), MainWindow::kInitialSize);
        window->setGeometry(120, 90, 500, 420);
        QTRY_COMPARE(window->size(), QSize(500, 420));
        const QRect placed = window->geometry();
        window->close();
        QVERIFY(!services->settings.value(MainWindow::kGeometryKey).isEmpty());
        window = std::make_unique<MainWindow>(*services);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(window->geometry(), placed);
        QCOMPARE(window->minimumSize(), MainWindow::kInitialSize);
        // Everything stands where that size puts it.
        QCOMPARE(find<QWidget>("Frame1")->geometry(), QRect(0, 0, 495, 417));
        window->resize(100, 100);
        QCOMPARE(window->size(), MainWindow::kInitialSize);
    }

private:
    static QWidget* focusWidgetOf(QWidget* fallback) {
        QWidget* focused = QApplication::focusWidget();
        return focused ? focused : fallback;
    }
};

QTEST_MAIN(WindowKeepsTest)
#include "tst_windowkeeps.moc"
