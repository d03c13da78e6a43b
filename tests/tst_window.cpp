#include "core/lines.h"
#include "eventturn.h"
#include "testtext.h"
#include "ui/textbox/textbox.h"
#include "ui/window/appearance.h"
#include "ui/window/fitlabel.h"
#include "ui/window/mainwindow.h"
#include "windowdriver.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QThread>
#include <QThreadPool>
#include <QToolButton>

#include <memory>

namespace {
// The widget with the keyboard focus, as a key press without a target reaches it.
QWidget* const kFocused = nullptr;

QRect InFrame(QWidget* w, const QRectF& r) {
    const QRect local = r.toAlignedRect();
    return QRect(w->mapTo(w->parentWidget(), local.topLeft()), local.size());
}
} // namespace

class WindowTest : public QObject, WindowDriver {
    Q_OBJECT

    QPushButton* button(const char* name) { return find<QPushButton>(name); }

private slots:
    void init() { QVERIFY(makeActiveWindow()); }
    void cleanup() { dropWindow(); }

    void startUp() {
        QCOMPARE(window->objectName(), QStringLiteral("Form1"));
        QCOMPARE(window->windowTitle(), QStringLiteral("TrennixV1.0"));
        QCOMPARE(text1()->text(), QString());
        QCOMPARE(text2()->text(), QString());
        QCOMPARE(label("Label1"), QStringLiteral("过滤前共0行"));
        QCOMPARE(label("Label2"), QStringLiteral("过滤后共0行"));
        QCOMPARE(services->launches, 1);
        QVERIFY(services->messages.isEmpty());
    }

    // The icon is drawn from the SVG: crisp at any size, not a small PNG scaled up.
    void windowIconIsScalable() {
        const QPixmap large = window->windowIcon().pixmap(QSize(256, 256));
        QCOMPARE(large.size(), QSize(256, 256));
    }

    // Only a click on the link's text opens the page.
    void linkLabelLaunches() {
        auto* link = find<FitLabel>("Label3");
        const QRectF text = link->drawnTextRect();
        QTest::mouseClick(link, Qt::LeftButton, {}, text.center().toPoint());
        QCOMPARE(services->launches, 2);
        if (text.bottom() + 2 < link->height()) {
            QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(1, link->height() - 1));
            QCOMPARE(services->launches, 2);
        }
    }

    void typingUpdatesOnlyItsLabel() {
        text1()->setFocus();
        QTest::keyClicks(text1(), QStringLiteral("a"));
        QTest::keyClick(text1(), Qt::Key_Return);
        QTest::keyClicks(text1(), QStringLiteral("b"));
        QCOMPARE(text1()->text(), T(QStringLiteral("a⏎b")));
        QCOMPARE(label("Label1"), QStringLiteral("过滤前共2行"));
        QCOMPARE(label("Label2"), QStringLiteral("过滤后共0行"));
    }

    void filterButton() {
        text1()->setText(T(QStringLiteral("b⏎a⏎b⏎⏎a⏎c")));
        QCOMPARE(label("Label1"), QStringLiteral("过滤前共5行"));
        click("Command1");
        QCOMPARE(text2()->text(), T(QStringLiteral("b⏎a⏎c⏎")));
        QCOMPARE(label("Label2"), QStringLiteral("过滤后共3行"));
        click("Command1");
        QCOMPARE(text2()->text(), T(QStringLiteral("b⏎a⏎c⏎")));
        QCOMPARE(text1()->text(), T(QStringLiteral("b⏎a⏎b⏎⏎a⏎c")));
        text1()->setText(QString());
        click("Command1");
        QCOMPARE(text2()->text(), QString());
        QVERIFY(services->messages.isEmpty());
    }

    void clearButton() {
        text1()->setText(QStringLiteral("x"));
        text2()->setText(QStringLiteral("y"));
        for (int i = 0; i < 2; ++i) {
            click("Command3");
            QCOMPARE(text1()->text(), QString());
            QCOMPARE(text2()->text(), QString());
            QCOMPARE(label("Label1"), QStringLiteral("过滤前共0行"));
            QCOMPARE(label("Label2"), QStringLiteral("过滤后共0行"));
            QCOMPARE(services->messages.size(), i + 1);
            QCOMPARE(services->messages.last().prompt, QStringLiteral("ok"));
            QCOMPARE(services->messages.last().style, 0);
            QCOMPARE(services->messages.last().title, QStringLiteral("OK"));
        }
    }

    void copyButton_data() {
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<int>("style");
        QTest::addColumn<QString>("title");
        QTest::newRow("result") << "a⏎"
                                << "a⏎"
                                << "复制成功..." << 64 << "过滤后的数据...";
        QTest::newRow("spaces at the ends") << "  a ⏎ b  "
                                            << "a ⏎ b"
                                            << "复制成功..." << 64 << "过滤后的数据...";
        QTest::newRow("only a break") << "⏎"
                                      << "⏎"
                                      << "复制成功..." << 64 << "过滤后的数据...";
        // An undecodable byte travels as a lone low surrogate; the clipboard gets U+FFFD.
        QTest::newRow("escaped bytes")
            << u'a' + Byte(0x80) + QStringLiteral("⏎") + Byte(0xff) + QStringLiteral("😀⏎")
            << QStringLiteral("a\ufffd⏎\ufffd😀⏎") << "复制成功..." << 64 << "过滤后的数据...";
        QTest::newRow("spaces") << "   "
                                << "(untouched)"
                                << "很抱歉,过滤后的数据为空,不给予操作..." << 16 << "复制失败";
        QTest::newRow("empty") << ""
                               << "(untouched)"
                               << "很抱歉,过滤后的数据为空,不给予操作..." << 16 << "复制失败";
    }
    void copyButton() {
        QFETCH(QString, output);
        QFETCH(QString, clipboard);
        QFETCH(QString, prompt);
        QFETCH(int, style);
        QFETCH(QString, title);
        text2()->setText(T(output));
        click("Command4");
        QCOMPARE(services->clipboard, T(clipboard));
        QCOMPARE(services->messages.size(), 1);
        QCOMPARE(services->messages[0].prompt, prompt);
        QCOMPARE(services->messages[0].style, style);
        QCOMPARE(services->messages[0].title, title);
    }

    // Copying from the box itself (Ctrl+C) gives U+FFFD for an escaped byte too; the box keeps it.
    void boxCopyReplacesEscapedBytes() {
        const QString text = u'a' + Byte(0x80) + u'b';
        text2()->setText(text);
        text2()->selectAll();
        text2()->copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("a\ufffdb"));
        QCOMPARE(text2()->text(), text);
    }

    void runCommand() {
        text1()->setText(QStringLiteral("  "));
        text2()->setText(QStringLiteral("keep"));
        window->RunCommand(0);
        QCOMPARE(text2()->text(), QStringLiteral("keep"));
        QCOMPARE(services->messages.last().prompt,
                 QStringLiteral("很抱歉,过滤前的数据为空,不给予操作..."));
        QCOMPARE(services->messages.last().style, 16);
        QCOMPARE(services->messages.last().title, QStringLiteral("过滤失败"));

        text1()->setText(T(QStringLiteral(" x ⏎ x ⏎y")));
        window->RunCommand(0);
        QCOMPARE(text2()->text(), T(QStringLiteral(" x ⏎y⏎")));
        QCOMPARE(services->messages.size(), 1);

        window->RunCommand(2);
        QCOMPARE(text1()->text(), QString());
        QCOMPARE(text2()->text(), QString());
        QCOMPARE(label("Label2"), QStringLiteral("过滤后共0行"));
        QCOMPARE(services->messages.size(), 1);

        for (int index : {3, -1}) {
            window->RunCommand(index);
            QCOMPARE(services->messages.last().prompt, QStringLiteral("未知错误"));
            QCOMPARE(services->messages.last().style, 16);
            QCOMPARE(services->messages.last().title, QString());
        }
    }

    void geometry_data() {
        QTest::addColumn<QSize>("client");
        QTest::addColumn<QRect>("text2");
        QTest::addColumn<QRect>("command1");
        QTest::addColumn<QRect>("label1");
        QTest::addColumn<QRect>("label2");
        QTest::addColumn<QRect>("label3");
        QTest::newRow("initial size")
            << QSize(358, 332) << QRect(8, 160, 225, 137) << QRect(240, 64, 105, 33)
            << QRect(16, 302, 160, 19) << QRect(184, 302, 161, 19) << QRect(240, 224, 105, 74);
        QTest::newRow("grown") << QSize(458, 533) << QRect(8, 260, 325, 238)
                               << QRect(340, 64, 105, 33) << QRect(16, 503, 210, 19)
                               << QRect(234, 503, 211, 19) << QRect(340, 224, 105, 74);
    }
    void geometry() {
        QFETCH(QSize, client);
        QFETCH(QRect, text2);
        QFETCH(QRect, command1);
        QFETCH(QRect, label1);
        QFETCH(QRect, label2);
        QFETCH(QRect, label3);
        window->resize(client);
        QCOMPARE(window->size(), client);
        // The input box keeps its bottom edge and starts at its home place or below the caption.
        const QRect text1 = this->text1()->geometry();
        QCOMPARE(text1.left(), 8);
        QCOMPARE(text1.width(), text2.width());
        QCOMPARE(text1.bottom(), text2.top() - 8);
        QVERIFY(text1.top() >= 16);
        QCOMPARE(this->text2()->geometry(), text2);
        QCOMPARE(button("Command1")->geometry(), command1);
        QCOMPARE(find<QLabel>("Label1")->geometry(), label1);
        QCOMPARE(find<QLabel>("Label2")->geometry(), label2);
        QCOMPARE(find<QLabel>("Label3")->geometry(), label3);
        QCOMPARE(find<QWidget>("Frame1")->geometry(),
                 QRect(0, 0, 353 + client.width() - 358, 329 + client.height() - 332));
        QCOMPARE(window->minimumSize(), QSize(358, 332));
    }

    // The frame's caption is drawn above the input box, not across its top edge: drawn with its
    // caption and with a blank one of the same height, the frame differs nowhere under the box.
    // The desktop's font may be larger than the window's own.
    void captionClearsTheInputBox_data() {
        QTest::addColumn<qreal>("points");
        QTest::newRow("desktop font") << 0.0;
        QTest::newRow("12 pt") << 12.0;
        QTest::newRow("16 pt") << 16.0;
    }
    void captionClearsTheInputBox() {
        QFETCH(qreal, points);
        if (points > 0) {
            QFont font = window->font();
            font.setPointSizeF(points);
            window->setFont(font);
        }
        auto* frame = find<QGroupBox>("Frame1");
        auto draw = [frame] {
            QImage shot(frame->size(), QImage::Format_ARGB32);
            shot.fill(Qt::transparent);
            frame->render(&shot, {}, {}, QWidget::DrawWindowBackground);
            return shot;
        };
        const QImage with = draw();
        const QString caption = frame->title();
        frame->setTitle(QStringLiteral(" "));
        const QImage without = draw();
        frame->setTitle(caption);
        const QRect box = text1()->geometry();
        int differing = 0;
        int differingAbove = 0;
        for (int y = 0; y <= box.bottom(); ++y) {
            for (int x = box.left(); x <= box.right(); ++x) {
                if (with.pixel(x, y) != without.pixel(x, y))
                    ++(y < box.top() ? differingAbove : differing);
            }
        }
        QVERIFY(differingAbove > 0); // the caption is drawn, above the box
        QCOMPARE(differing, 0);
    }

    // The scale factor these rows run at is the one the test was started with.
    void scaleFactorAsConfigured() {
        const QByteArray factor = qgetenv("QT_SCALE_FACTOR");
        const double expected = factor.isEmpty() ? 1.0 : factor.toDouble();
        QCOMPARE(window->devicePixelRatio(), expected);
    }

    // At every count up to twelve digits, each label's text is drawn whole inside its own label,
    // no two texts or labels overlap, nor does a label cover another control, and the counts
    // stay at a readable size. (Run again by ctest at scale factors 1.5 and 2.)
    void labelsNeverOverlap_data() {
        QTest::addColumn<qsizetype>("count");
        qsizetype count = 0;
        for (int digits = 1; digits <= 12; ++digits) {
            count = count * 10 + 8;
            QTest::addRow("%d digits", digits) << count;
        }
    }
    void labelsNeverOverlap() {
        QFETCH(qsizetype, count);
        auto* label1 = find<FitLabel>("Label1");
        auto* label2 = find<FitLabel>("Label2");
        auto* label3 = find<FitLabel>("Label3");
        label1->setText(BeforeFilterCaption(count));
        label2->setText(AfterFilterCaption(count));
        const QList<FitLabel*> labels = {label1, label2, label3};
        for (FitLabel* l : labels) {
            const QRect drawn = InFrame(l, l->drawnTextRect());
            QVERIFY2(l->geometry().contains(drawn), qPrintable(l->objectName()));
            for (FitLabel* other : labels) {
                if (other == l)
                    continue;
                QVERIFY(!l->geometry().intersects(other->geometry()));
                QVERIFY(!drawn.intersects(InFrame(other, other->drawnTextRect())));
            }
            for (QWidget* control :
                 QList<QWidget*>{text1(), text2(), button("Command1"), button("Command2"),
                                 button("Command3"), button("Command4"), button("Command5")})
                QVERIFY2(!l->geometry().intersects(control->geometry()),
                         qPrintable(l->objectName() + u' ' + control->objectName()));
        }
        QVERIFY(label1->fittedPointSize() >= 9);
        QVERIFY(label2->fittedPointSize() >= 9);
        QVERIFY(label3->fittedPointSize() >= 12);
        QVERIFY(label3->font().underline());
    }

    void tabOrder() {
        QStringList order;
        QWidget* w = text1();
        for (int i = 0; i < 8; ++i) {
            order << w->objectName();
            w = w->nextInFocusChain();
            while (w->focusPolicy() == Qt::NoFocus || w->objectName().isEmpty())
                w = w->nextInFocusChain();
        }
        QCOMPARE(order.join(u','),
                 QStringLiteral("Text1,Text2,Command2,Command1,Command3,Command4,Command5,Label3"));
    }

    // What a screen reader announces.
    void accessibleNames() {
        text1()->setText(T(QStringLiteral("a⏎b")));
        const struct {
            QWidget* widget;
            QAccessible::Role role;
            QString name;
            QString description;
        } expected[] = {
            {text1(), QAccessible::EditableText, QStringLiteral("输入框"),
             QStringLiteral("过滤前共2行")},
            {text2(), QAccessible::EditableText, QStringLiteral("输出框"),
             QStringLiteral("过滤后共0行")},
            {find<QWidget>("Label3"), QAccessible::Link, QStringLiteral("更多软件下载请点我"), {}},
            {button("Command1"), QAccessible::Button, QStringLiteral("开始过滤"), {}},
            {button("Command2"), QAccessible::Button, QStringLiteral("导入数据"), {}},
            {button("Command3"), QAccessible::Button, QStringLiteral("清空所有"), {}},
            {button("Command4"), QAccessible::Button, QStringLiteral("复制结果"), {}},
            {button("Command5"), QAccessible::Button, QStringLiteral("保存结果"), {}},
        };
        for (const auto& e : expected) {
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(e.widget);
            QVERIFY(a);
            QCOMPARE(a->role(), e.role);
            QCOMPARE(a->text(QAccessible::Name), e.name);
            if (!e.description.isEmpty())
                QCOMPARE(a->text(QAccessible::Description), e.description);
        }
        auto* link = QAccessible::queryAccessibleInterface(find<QWidget>("Label3"));
        QVERIFY(link->state().focusable);
        link->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(services->launches, 2);
    }

    void shortcutsInTooltips() {
        QVERIFY(button("Command1")->toolTip().contains(QStringLiteral("Ctrl+Enter")));
        QVERIFY(button("Command2")->toolTip().contains(QStringLiteral("Ctrl+O")));
        QVERIFY(button("Command5")->toolTip().contains(QStringLiteral("Ctrl+S")));
    }

    // Ctrl+O imports, Ctrl+S saves and Ctrl+Enter filters, wherever the focus is in the window.
    void shortcuts_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<QString>("output");
        QTest::newRow("Ctrl+O") << int(Qt::Key_O) << "open"
                                << "";
        QTest::newRow("Ctrl+S") << int(Qt::Key_S) << "save"
                                << "";
        QTest::newRow("Ctrl+Return") << int(Qt::Key_Return) << ""
                                     << "a⏎";
        QTest::newRow("Ctrl+Enter") << int(Qt::Key_Enter) << ""
                                    << "a⏎";
    }
    void shortcuts() {
        QFETCH(int, key);
        QFETCH(QString, dialog);
        QFETCH(QString, output);
        text1()->setText(T(QStringLiteral("a⏎a")));
        text1()->setFocus();
        QTest::keyClick(text1(), Qt::Key(key), Qt::ControlModifier);
        QVERIFY(waitIdle());
        QCOMPARE(services->dialogsShown.size(), dialog.isEmpty() ? 0 : 1);
        if (!dialog.isEmpty())
            QVERIFY(services->dialogsShown[0].startsWith(dialog));
        QCOMPARE(text2()->text(), T(output));
        QCOMPARE(text1()->text(), T(QStringLiteral("a⏎a"))); // no line break typed
    }

    // Enter and Return press the focused button (Space still does); Enter or Space opens the
    // focused link.
    void enterPressesFocusedControl_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("effect");
        const std::pair<const char*, const char*> controls[] = {
            {"Command1", "a⏎|"},     {"Command2", "|Dialog"}, {"Command3", "|MsgBox"},
            {"Command4", "|MsgBox"}, {"Command5", "|Dialog"}, {"Label3", "|ShowPublisherPage"}};
        for (const auto& [name, effect] : controls) {
            for (int key : {int(Qt::Key_Return), int(Qt::Key_Enter), int(Qt::Key_Space)})
                QTest::addRow("%s %s", name, qPrintable(QKeySequence(key).toString()))
                    << QString::fromLatin1(name) << key << QString::fromUtf8(effect);
        }
    }
    void enterPressesFocusedControl() {
        QFETCH(QString, control);
        QFETCH(int, key);
        QFETCH(QString, effect);
        text1()->setText(T(QStringLiteral("a⏎a")));
        services->calls.clear();
        QWidget* w = find<QWidget>(control.toLatin1().constData());
        w->setFocus();
        QVERIFY(w->hasFocus());
        QTest::keyClick(w, Qt::Key(key));
        QVERIFY(waitIdle());
        QCOMPARE(T(text2()->text().isEmpty() ? QString() : text2()->text()) + u'|' +
                     services->calls.join(u','),
                 T(effect));
    }

    // A command started from the keyboard keeps the focus where it was; while it works, no
    // keystroke reaches a box and Tab moves nothing.
    void focusStaysDuringACommand_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Space on 开始过滤") << "Command1" << int(Qt::Key_Space) << 0;
        QTest::newRow("Return on 开始过滤") << "Command1" << int(Qt::Key_Return) << 0;
        QTest::newRow("Ctrl+Enter in the input")
            << "Text1" << int(Qt::Key_Return) << int(Qt::ControlModifier);
        QTest::newRow("Ctrl+Enter in the output")
            << "Text2" << int(Qt::Key_Return) << int(Qt::ControlModifier);
    }
    void focusStaysDuringACommand() {
        QFETCH(QString, start);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        const QString input = LargeText(60000);
        text1()->setText(input);
        QTRY_VERIFY_WITH_TIMEOUT(!text1()->isWorking(), 60000);
        QWidget* from = find<QWidget>(start.toLatin1().constData());
        from->setFocus();
        // While the output box fills (the command surely at work), type and press Tab.
        QStringList seen;
        connect(text2(), &TextBox::workProgress, window.get(), [&] {
            if (!seen.isEmpty() || !text2()->isFilling())
                return;
            seen << (window->busy() ? "busy" : "idle");
            seen << (text1()->hasFocus() || text2()->hasFocus() ? "box" : "no box");
            QTest::keyClicks(kFocused, QStringLiteral("Z"));
            QTest::keyClick(kFocused, Qt::Key_Tab);
            QTest::keyClick(kFocused, Qt::Key_Z);
            // Keys sent to the boxes themselves, as after a click into one.
            QTest::keyClicks(text1(), QStringLiteral("Y"));
            QTest::keyClicks(text2(), QStringLiteral("Y"));
            seen << (text1()->hasFocus() || text2()->hasFocus() ? "box" : "no box");
        });
        QTest::keyClick(from, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QVERIFY(window->busy());
        QVERIFY(waitIdle());
        QCOMPARE(seen, QStringList({"busy", "no box", "no box"}));
        QCOMPARE(QApplication::focusWidget(), from);
        QCOMPARE(text1()->text(), input);
        QCOMPARE(text2()->text(), FilterDuplicateLines(input));
    }

    // A paste inserts text at the cursor; for a copied file, its path. Only a drop imports.
    void pasteInsertsText_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("inserted");
        QTest::newRow("one file") << QStringList{QStringLiteral("/tmp/甲 乙.txt")} << QString()
                                  << QStringLiteral("/tmp/甲 乙.txt");
        QTest::newRow("two files")
            << QStringList{QStringLiteral("/a/one.txt"), QStringLiteral("/b/two.txt")} << QString()
            << QStringLiteral("/a/one.txt⏎/b/two.txt");
        QTest::newRow("file and text")
            << QStringList{QStringLiteral("/a/one.txt")} << QStringLiteral("file:///a/one.txt")
            << QStringLiteral("/a/one.txt");
        QTest::newRow("text") << QStringList() << QStringLiteral("x⏎y") << QStringLiteral("x⏎y");
    }
    void pasteInsertsText() {
        QFETCH(QStringList, files);
        QFETCH(QString, text);
        QFETCH(QString, inserted);
        for (TextBox* box : {text1(), text2()}) {
            box->setText(QStringLiteral("ab"));
            auto* mime = new QMimeData;
            QList<QUrl> urls;
            for (const QString& file : files)
                urls.append(QUrl::fromLocalFile(file));
            if (!urls.isEmpty())
                mime->setUrls(urls);
            if (!text.isEmpty())
                mime->setText(T(text));
            QGuiApplication::clipboard()->setMimeData(mime);
            box->setFocus();
            QTextCursor cursor(box->document());
            cursor.setPosition(1);
            box->setTextCursor(cursor);
            QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(box->text(), u'a' + T(inserted) + u'b');
            QVERIFY(!window->busy());
            QVERIFY(services->dialogsShown.isEmpty());
        }
    }

    // Large texts: put in and read back a slice at a time, with the buttons off meanwhile.
    void largeFilterRunsInTheBackground() {
        const QString input = LargeText(30000);
        text1()->setText(input);
        QVERIFY(text1()->isWorking());
        QVERIFY(text1()->isReadOnly());
        click("Command1"); // waits for the input to be shown in full, then filters
        QVERIFY(window->busy());
        QVERIFY(!button("Command3")->isEnabled());
        QSignalSpy idle(window.get(), &MainWindow::idle);
        QVERIFY(idle.wait(60000));
        QVERIFY(button("Command3")->isEnabled());
        QVERIFY(!text1()->isReadOnly());
        QCOMPARE(text2()->text(), FilterDuplicateLines(input));
        QCOMPARE(text2()->documentText(), text2()->text());
        QCOMPARE(label("Label1"), QStringLiteral("过滤前共30000行"));
        QCOMPARE(label("Label2"), QStringLiteral("过滤后共10000行"));
    }

    void largeCopyAfterTypingReadsTheBox() {
        text2()->setText(LargeText(20000));
        QTRY_VERIFY_WITH_TIMEOUT(!text2()->isWorking(), 60000);
        QTextCursor cursor(text2()->document());
        cursor.insertText(QStringLiteral("  typed\n"));
        QSignalSpy idle(window.get(), &MainWindow::idle);
        click("Command4");
        QVERIFY(idle.wait(60000));
        QCOMPARE(services->clipboard, text2()->documentText().mid(2));
        QCOMPARE(services->messages.last().prompt, QStringLiteral("复制成功..."));
    }

    // A cancelled filter leaves both boxes as they were: the output box gets back its earlier
    // text, small or large, whether the cancel comes by Esc or by the cancel button.
    void cancelFilter_data() {
        QTest::addColumn<int>("earlierLines");
        QTest::addColumn<bool>("typedIntoOutput");
        QTest::addColumn<bool>("byButton");
        QTest::newRow("empty output, Esc") << 0 << false << false;
        QTest::newRow("small output, button") << 3 << false << true;
        QTest::newRow("large output, Esc") << 15000 << false << false;
        QTest::newRow("large output typed into, Esc") << 15000 << true << false;
    }
    void cancelFilter() {
        QFETCH(int, earlierLines);
        QFETCH(bool, typedIntoOutput);
        QFETCH(bool, byButton);
        const QString input = LargeText(150000);
        text1()->setText(input);
        text2()->setText(earlierLines ? LargeText(earlierLines) : QString());
        QVERIFY(waitIdle());
        QTRY_VERIFY_WITH_TIMEOUT(!text1()->isWorking() && !text2()->isWorking(), 60000);
        if (typedIntoOutput) {
            text2()->setFocus();
            QTest::keyClicks(text2(), QStringLiteral("typed"));
        }
        const QString before = text2()->documentText();
        const QString countBefore = label("Label2");
        // At the first slice of the fill: Esc; or a wait past the delay and, at the next slice,
        // a click on the cancel button that the progress shows.
        auto slices = std::make_shared<int>(0);
        auto fired = std::make_shared<bool>(false);
        connect(text2(), &TextBox::workProgress, window.get(), [this, slices, fired, byButton] {
            if (*fired || !text2()->isFilling())
                return;
            if (!byButton) {
                *fired = true;
                QTest::keyClick(window.get(), Qt::Key_Escape);
            } else if (++*slices == 1) {
                QThread::msleep(MainWindow::kProgressDelayMs + 100);
            } else if (text2()->isProgressShown()) {
                *fired = true;
                auto* cancel = text2()->findChild<QToolButton*>(QStringLiteral("cancel"));
                QVERIFY(cancel->isVisible());
                QTest::mouseClick(cancel, Qt::LeftButton);
            }
        });
        click("Command1");
        QVERIFY(waitIdle());
        QVERIFY(*fired);
        QTRY_VERIFY_WITH_TIMEOUT(!text2()->isWorking(), 60000);
        QCOMPARE(text2()->text(), before);
        QCOMPARE(text2()->documentText(), before);
        QCOMPARE(label("Label2"), countBefore);
        QCOMPARE(text1()->text(), input);
        QVERIFY(!text2()->isProgressShown());
        QVERIFY(services->messages.isEmpty());
    }

    // A command that works long enough shows its percentage at the box being filled.
    void progressShownAtTheBox() {
        text1()->setText(LargeText(150000));
        QVERIFY(waitIdle());
        QTRY_VERIFY_WITH_TIMEOUT(!text1()->isWorking(), 60000);
        QStringList seen;
        auto* bar = text2()->findChild<QProgressBar*>();
        connect(text2(), &TextBox::workProgress, window.get(), [&] {
            if (seen.isEmpty())
                QThread::msleep(MainWindow::kProgressDelayMs + 100);
            if (text2()->isProgressShown())
                seen.append(bar->format());
            else
                seen.append(QString());
        });
        click("Command1");
        QVERIFY(waitIdle());
        QVERIFY(!text2()->isProgressShown());
        QVERIFY(!text1()->isProgressShown());
        seen.removeAll(QString());
        QVERIFY(!seen.isEmpty());
        QVERIFY2(seen.last().startsWith(QStringLiteral("正在填入输出框")), qPrintable(seen.last()));
        QVERIFY(seen.last().endsWith(u'%'));
    }

    void clearDuringLargeFill() {
        text1()->setText(LargeText(40000));
        click("Command1");
        QVERIFY(window->busy());
        window->RunCommand(2);
        QVERIFY(waitIdle());
        QTRY_VERIFY_WITH_TIMEOUT(!text1()->isWorking() && !text2()->isWorking(), 60000);
        QCOMPARE(text1()->text(), QString());
        QCOMPARE(text2()->text(), QString());
        QCOMPARE(text2()->nonBlankLineCount(), text2()->recountNonBlankLines());
        QCOMPARE(label("Label1"), QStringLiteral("过滤前共0行"));
    }

    void closeDuringLargeOperation() {
        text1()->setText(LargeText(40000));
        click("Command1");
        QVERIFY(window->busy());
        window.reset();
        // The workers it started finish on their own; what they hand back finds no window.
        QTRY_COMPARE_WITH_TIMEOUT(QThreadPool::globalInstance()->activeThreadCount(), 0, 60000);
        QVERIFY(QueuedWorkRan());
    }

    // A line longer than the bound makes the box a read-only preview with a notice; the box,
    // the filter and the copy still hold the whole text. At the bound, the box stays ordinary.
    void longLinePreview_data() {
        QTest::addColumn<qsizetype>("length");
        QTest::addColumn<bool>("preview");
        QTest::newRow("at the bound") << TextBox::kLongLine << false;
        QTest::newRow("just above") << TextBox::kLongLine + 1 << true;
        QTest::newRow("one million") << qsizetype(1000000) << true;
    }
    void longLinePreview() {
        QFETCH(qsizetype, length);
        QFETCH(bool, preview);
        const QString longLine = QString(length - 1, u'a') + u'z';
        const QString input =
            T(QStringLiteral("x⏎")) + longLine + T(QStringLiteral("⏎x⏎")) + QString(length, u' ');
        text1()->setText(input);
        QCOMPARE(text1()->isPreview(), preview);
        QCOMPARE(text1()->isReadOnly(), preview);
        QCOMPARE(text1()->notice().isEmpty(), !preview);
        QCOMPARE(text1()->text(), input);
        QCOMPARE(label("Label1"), QStringLiteral("过滤前共3行"));
        QCOMPARE(text1()->recountNonBlankLines(), qsizetype(3));
        if (preview) {
            QVERIFY(text1()->notice().contains(QStringLiteral("只读")));
            QVERIFY(text1()->findChild<QLabel*>(QStringLiteral("notice"))->isVisible());
            const QTextBlock shown = text1()->document()->findBlockByNumber(1);
            QVERIFY(shown.text().startsWith(longLine.left(TextBox::kShownLineChars)));
            QVERIFY(shown.text().contains(QString::number(length)));
            QVERIFY(shown.length() < TextBox::kShownLineChars + 100);
            // Typing changes nothing.
            text1()->setFocus();
            QTest::keyClicks(text1(), QStringLiteral("q"));
            QCOMPARE(text1()->text(), input);
        } else {
            QCOMPARE(text1()->documentText(), input);
        }
        click("Command1");
        QVERIFY(waitIdle());
        const QString output = T(QStringLiteral("x⏎")) + longLine + T(QStringLiteral("⏎")) +
                               QString(length, u' ') + T(QStringLiteral("⏎"));
        QCOMPARE(text2()->text(), output);
        QCOMPARE(text2()->isPreview(), preview);
        QCOMPARE(label("Label2"), QStringLiteral("过滤后共2行"));
        click("Command4");
        QVERIFY(waitIdle());
        QCOMPARE(services->clipboard, output);
        // Clearing ends the preview.
        window->RunCommand(2);
        QVERIFY(!text1()->isPreview() && !text1()->isReadOnly());
    }

    // A preview can be shown for a content held elsewhere.
    void previewForOtherContent() {
        text1()->showPreview(T(QStringLiteral("first⏎lines")), QStringLiteral("只显示开头"), 1234);
        QVERIFY(text1()->isPreview());
        QVERIFY(text1()->isReadOnly());
        QCOMPARE(text1()->notice(), QStringLiteral("只显示开头"));
        QCOMPARE(label("Label1"), QStringLiteral("过滤前共1234行"));
        QCOMPARE(text1()->documentText(), T(QStringLiteral("first⏎lines")));
        text1()->setText(QStringLiteral("own"));
        QVERIFY(!text1()->isPreview());
        QCOMPARE(label("Label1"), QStringLiteral("过滤前共1行"));
    }

    // A paste or an edit that would make a line too long turns the box into a preview; Ctrl+Z
    // brings back the text before the paste.
    void pasteOfALongLine() {
        text1()->setText(QStringLiteral("ab"));
        QGuiApplication::clipboard()->setText(QString(TextBox::kLongLine, u'x'));
        text1()->setFocus();
        text1()->moveCursor(QTextCursor::End);
        QTest::keyClick(text1(), Qt::Key_V, Qt::ControlModifier);
        QVERIFY(waitIdle());
        QVERIFY(text1()->isPreview());
        QCOMPARE(text1()->text(), QStringLiteral("ab") + QString(TextBox::kLongLine, u'x'));
        QTest::keyClick(text1(), Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(!text1()->isPreview());
        QCOMPARE(text1()->text(), QStringLiteral("ab"));

        // Joining two lines that are each short enough.
        const QString half(TextBox::kLongLine / 2 + 1, u'y');
        text1()->setText(half + T(QStringLiteral("⏎")) + half);
        QTextCursor cursor(text1()->document());
        cursor.setPosition(int(half.size()));
        text1()->setTextCursor(cursor);
        QTest::keyClick(text1(), Qt::Key_Delete);
        QTRY_VERIFY(text1()->isPreview());
        QCOMPARE(text1()->text(), half + half);

        // Typing on while the preview is made: the preview shows the text as last typed.
        text1()->setText(half + T(QStringLiteral("⏎")) + half);
        QTextCursor again(text1()->document());
        again.setPosition(int(half.size()));
        text1()->setTextCursor(again);
        QTest::keyClick(text1(), Qt::Key_Delete);
        QTest::keyClick(text1(), Qt::Key_Q);
        QTRY_VERIFY(text1()->isPreview());
        QCOMPARE(text1()->text(), half + u'q' + half);
    }

    // On a dark colour scheme the count and link colours are lightened until they read well;
    // on a light one they are the window's own orange and blue.
    void colorsOnLightAndDark_data() {
        QTest::addColumn<QColor>("background");
        QTest::addColumn<bool>("ownColors");
        QTest::newRow("light grey") << QColor(0xef, 0xef, 0xef) << true;
        QTest::newRow("white") << QColor(Qt::white) << true;
        QTest::newRow("dark grey") << QColor(0x35, 0x35, 0x35) << false;
        QTest::newRow("black") << QColor(Qt::black) << false;
    }
    void colorsOnLightAndDark() {
        QFETCH(QColor, background);
        QFETCH(bool, ownColors);
        QPalette palette = window->palette();
        palette.setColor(QPalette::Window, background);
        palette.setColor(QPalette::WindowText, ownColors ? QColor(Qt::black) : QColor(Qt::white));
        window->setPalette(palette);
        const std::pair<const char*, QColor> labels[] = {{"Label1", QColor(255, 128, 0)},
                                                         {"Label2", QColor(0, 0, 255)},
                                                         {"Label3", QColor(0, 0, 255)}};
        for (const auto& [name, own] : labels) {
            const QColor shown = find<QLabel>(name)->palette().color(QPalette::WindowText);
            if (ownColors)
                QCOMPARE(shown, own);
            else
                QVERIFY2(ContrastRatio(shown, background) >= 4.5, name);
        }
    }

    // A text put into a box reads back as it was: no space substitution, CR LF kept.
    void boxRoundTrip_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("nbsp") << QStringLiteral("a\u00a0b⏎\u00a0");
        QTest::newRow("breaks and blanks") << QStringLiteral("⏎ ⏎\t⏎⏎");
        QTest::newRow("ideographic") << QStringLiteral("甲\u3000乙⏎😀");
        QTest::newRow("escaped bytes") << u'a' + Byte(0x80) + QStringLiteral("⏎") + Byte(0xff);
    }
    void boxRoundTrip() {
        QFETCH(QString, text);
        text1()->setText(T(text));
        QCOMPARE(text1()->text(), T(text));
        QCOMPARE(text1()->documentText(), T(text));
    }

    // Any text reads back as the box shows it, and the running count matches a full recount.
    void boxMatchesNormalizedText() {
        const QChar alphabet[] = {u'a',          u' ',          u'\r',        u'\n',
                                  QChar(0x2029), QChar(0x00a0), QChar(0x7532)};
        QRandomGenerator rng(7);
        for (int round = 0; round < 500; ++round) {
            QString text;
            for (int i = rng.bounded(0, 16); i > 0; --i)
                text += alphabet[rng.bounded(int(std::size(alphabet)))];
            text1()->setText(text);
            QCOMPARE(text1()->text(), text1()->documentText());
            QCOMPARE(text1()->nonBlankLineCount(), text1()->recountNonBlankLines());
        }
    }

    // Random edits through the document, checked against a full recount after each.
    void runningCountFollowsEdits() {
        TextBox* box = text1();
        box->setText(T(QStringLiteral("a⏎ ⏎b⏎⏎c")));
        QRandomGenerator rng(11);
        const QString pieces[] = {QStringLiteral("x"), QStringLiteral(" "), QStringLiteral("\n"),
                                  QStringLiteral("y\n \nz"), QStringLiteral("")};
        for (int round = 0; round < 2000; ++round) {
            QTextCursor cursor(box->document());
            const int length = box->document()->characterCount() - 1;
            const int a = rng.bounded(length + 1);
            const int b = qMin(length, a + rng.bounded(4));
            cursor.setPosition(a);
            cursor.setPosition(b, QTextCursor::KeepAnchor);
            cursor.insertText(pieces[rng.bounded(int(std::size(pieces)))]);
            if (rng.bounded(10) == 0)
                box->undo();
            QCOMPARE(box->nonBlankLineCount(), box->recountNonBlankLines());
            QCOMPARE(label("Label1"), QStringLiteral("过滤前共%1行").arg(box->nonBlankLineCount()));
            QCOMPARE(box->text(), box->documentText());
        }
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
