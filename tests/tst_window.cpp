#include "core/linefilter.h"
#include "fakedesktopservices.h"
#include "ui/fitlabel.h"
#include "ui/mainwindow.h"
#include "ui/textbox.h"

#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>

#include <memory>

namespace {
QString T(QString s) {
    return s.replace(QStringLiteral("⏎"), QStringLiteral("\r\n"));
}

// A text of the given number of lines, each line occurring three times.
QString LargeText(int lines) {
    QString text;
    for (int i = 0; i < lines; ++i)
        text += QStringLiteral("第%1行 line\r\n").arg(i % (lines / 3));
    return text;
}
} // namespace

class WindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeDesktopServices> services;
    std::unique_ptr<MainWindow> window;

    template <typename W> W* find(const char* name) {
        auto* w = window->findChild<W*>(QString::fromLatin1(name));
        if (!w)
            qFatal("no widget %s", name);
        return w;
    }
    TextBox* text1() { return find<TextBox>("Text1"); }
    TextBox* text2() { return find<TextBox>("Text2"); }
    QString label(const char* name) { return find<QLabel>(name)->text(); }
    void click(const char* name) { find<QPushButton>(name)->click(); }

private slots:
    void init() {
        services = std::make_unique<FakeDesktopServices>();
        window = std::make_unique<MainWindow>(*services);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void cleanup() {
        window.reset();
        services.reset();
    }

    void startUp() {
        QCOMPARE(window->objectName(), QStringLiteral("Form1"));
        QCOMPARE(window->windowTitle(), QStringLiteral("TrennixV1.0"));
        QCOMPARE(text1()->text(), QString());
        QCOMPARE(text2()->text(), QString());
        QCOMPARE(label("Label1"), QStringLiteral("过滤前共0行"));
        QCOMPARE(label("Label2"), QStringLiteral("过滤后共0行"));
        QCOMPARE(services->launches, 1);
        QVERIFY(services->messages.isEmpty());
        QVERIFY(!window->windowIcon().isNull());
    }

    void linkLabelLaunches() {
        QTest::mouseClick(find<QLabel>("Label3"), Qt::LeftButton);
        QCOMPARE(services->launches, 2);
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
        QTest::addColumn<QRect>("text1");
        QTest::addColumn<QRect>("text2");
        QTest::addColumn<QRect>("command1");
        QTest::addColumn<QRect>("label1");
        QTest::addColumn<QRect>("label3");
        QTest::newRow("initial size")
            << QSize(358, 332) << QRect(8, 16, 225, 137) << QRect(8, 160, 225, 137)
            << QRect(240, 64, 105, 33) << QRect(16, 304, 129, 17) << QRect(240, 232, 105, 89);
        QTest::newRow("grown") << QSize(458, 533) << QRect(8, 16, 325, 237)
                               << QRect(8, 260, 325, 238) << QRect(340, 64, 105, 33)
                               << QRect(16, 505, 129, 17) << QRect(340, 232, 105, 89);
    }
    void geometry() {
        QFETCH(QSize, client);
        QFETCH(QRect, text1);
        QFETCH(QRect, text2);
        QFETCH(QRect, command1);
        QFETCH(QRect, label1);
        QFETCH(QRect, label3);
        window->resize(client);
        QCOMPARE(window->size(), client);
        QCOMPARE(this->text1()->geometry(), text1);
        QCOMPARE(this->text2()->geometry(), text2);
        QCOMPARE(find<QPushButton>("Command1")->geometry(), command1);
        QCOMPARE(find<QLabel>("Label1")->geometry(), label1);
        QCOMPARE(find<QLabel>("Label3")->geometry(), label3);
        QCOMPARE(find<QWidget>("Frame1")->geometry(),
                 QRect(0, 0, 353 + client.width() - 358, 329 + client.height() - 332));
        QCOMPARE(window->minimumSize(), QSize(358, 332));
    }

    // Every label shows all of its text, in a smaller size only where its own would not fit.
    void labelsShowAllTheirText() {
        auto* label1 = find<FitLabel>("Label1");
        QCOMPARE(label1->fittedPointSize(), 10.5);
        label1->setText(BeforeFilterCaption(1000000000));
        QVERIFY(label1->fittedPointSize() < 10.5);
        QVERIFY(label1->fittedPointSize() > 6);
        auto* label3 = find<FitLabel>("Label3");
        QVERIFY(label3->wordWrap());
        QVERIFY(label3->fittedPointSize() <= 21.75);
        QVERIFY(label3->fittedPointSize() > 12);
        QVERIFY(label3->font().underline());
    }

    void tabOrder() {
        QStringList order;
        QWidget* w = text1();
        for (int i = 0; i < 7; ++i) {
            order << w->objectName();
            w = w->nextInFocusChain();
            while (w->focusPolicy() == Qt::NoFocus || w->objectName().isEmpty())
                w = w->nextInFocusChain();
        }
        QCOMPARE(order.join(u','),
                 QStringLiteral("Text1,Text2,Command1,Command2,Command3,Command4,Command5"));
    }

    // A text put into a box reads back as it was: no space substitution, CR LF kept.
    void boxRoundTrip_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("nbsp") << QStringLiteral("a\u00a0b⏎\u00a0");
        QTest::newRow("breaks and blanks") << QStringLiteral("⏎ ⏎\t⏎⏎");
        QTest::newRow("ideographic") << QStringLiteral("甲\u3000乙⏎😀");
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

    // Large texts: put in and read back a slice at a time, with the buttons off meanwhile.
    void largeFilterRunsInTheBackground() {
        const QString input = LargeText(30000);
        text1()->setText(input);
        QVERIFY(text1()->isWorking());
        QVERIFY(text1()->isReadOnly());
        click("Command1"); // waits for the input to be shown in full, then filters
        QVERIFY(window->busy());
        QVERIFY(!find<QPushButton>("Command3")->isEnabled());
        QSignalSpy idle(window.get(), &MainWindow::idle);
        QVERIFY(idle.wait(20000));
        QVERIFY(find<QPushButton>("Command3")->isEnabled());
        QVERIFY(!text1()->isReadOnly());
        QCOMPARE(text2()->text(), FilterDuplicateLines(input));
        QCOMPARE(text2()->documentText(), text2()->text());
        QCOMPARE(label("Label1"), QStringLiteral("过滤前共30000行"));
        QCOMPARE(label("Label2"), QStringLiteral("过滤后共10000行"));
    }

    void largeCopyAfterTypingReadsTheBox() {
        text2()->setText(LargeText(20000));
        QTRY_VERIFY_WITH_TIMEOUT(!text2()->isWorking(), 20000);
        QTextCursor cursor(text2()->document());
        cursor.insertText(QStringLiteral("  typed\n"));
        QSignalSpy idle(window.get(), &MainWindow::idle);
        click("Command4");
        QVERIFY(idle.wait(20000));
        QCOMPARE(services->clipboard, text2()->documentText().mid(2));
        QCOMPARE(services->messages.last().prompt, QStringLiteral("复制成功..."));
    }

    void veryLongLines() {
        const QString a(150000, u'a');
        const QString b = QString(120000, u'b') + QStringLiteral("甲");
        text1()->setText(a + T(QStringLiteral("⏎")) + b + T(QStringLiteral("⏎")) + a);
        QCOMPARE(label("Label1"), QStringLiteral("过滤前共3行"));
        click("Command1");
        QTRY_VERIFY_WITH_TIMEOUT(!window->busy(), 20000);
        QCOMPARE(text2()->text(), a + T(QStringLiteral("⏎")) + b + T(QStringLiteral("⏎")));
        QCOMPARE(text2()->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        QCOMPARE(text2()->wordWrapMode(), QTextOption::WrapAnywhere);
    }

    void clearDuringLargeFill() {
        text1()->setText(LargeText(40000));
        click("Command1");
        QVERIFY(window->busy());
        window->RunCommand(2);
        QTRY_VERIFY_WITH_TIMEOUT(!window->busy(), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!text1()->isWorking() && !text2()->isWorking(), 20000);
        // Whatever the abandoned filter produced may land afterwards; the counts stay true.
        QCOMPARE(text1()->text(), QString());
        QCOMPARE(text2()->nonBlankLineCount(), text2()->recountNonBlankLines());
    }

    void closeDuringLargeOperation() {
        text1()->setText(LargeText(40000));
        click("Command1");
        QVERIFY(window->busy());
        window.reset();
        QTest::qWait(50);
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
