// The window under the keyboard: the arrow keys keep to the buttons, Tab follows the screen, and
// a result changed by hand says so until the next filter.
#include "ui/window/wording.h"
#include "windowdriver.h"

#include <QApplication>
#include <QTest>

class WindowKeysTest : public QObject, WindowDriver {
    Q_OBJECT

private slots:
    void init() { QVERIFY(makeActiveWindow()); }
    void cleanup() { dropWindow(); }

    // From each button each arrow key lands on a button: the one above or below on the screen,
    // or itself at either end. The result is never reached.
    void arrowsKeepToTheButtons_data() {
        QTest::addColumn<QString>("from");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("to");
        const char* row[] = {"Command2", "Command1", "Command3", "Command4", "Command5"};
        for (int i = 0; i < 5; ++i) {
            const QString up = QString::fromLatin1(row[i > 0 ? i - 1 : 0]);
            const QString down = QString::fromLatin1(row[i < 4 ? i + 1 : 4]);
            for (const auto& [key, name, to] :
                 {std::tuple{int(Qt::Key_Up), "Up", up}, std::tuple{int(Qt::Key_Left), "Left", up},
                  std::tuple{int(Qt::Key_Down), "Down", down},
                  std::tuple{int(Qt::Key_Right), "Right", down}})
                QTest::addRow("%s %s", row[i], name) << QString::fromLatin1(row[i]) << key << to;
        }
    }
    void arrowsKeepToTheButtons() {
        QFETCH(QString, from);
        QFETCH(int, key);
        QFETCH(QString, to);
        auto* button = find<QPushButton>(qPrintable(from));
        button->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), button);
        QTest::keyClick(button, Qt::Key(key));
        QCOMPARE(QApplication::focusWidget()->objectName(), to);
        // Space then presses a button, never types into a box.
        QCOMPARE(text2()->text(), QString());
    }

    // Tab goes as the screen reads: the input, the output, the buttons top to bottom, the link.
    void tabFollowsTheScreen() {
        const QStringList order{QStringLiteral("Text1"),    QStringLiteral("Text2"),
                                QStringLiteral("Command2"), QStringLiteral("Command1"),
                                QStringLiteral("Command3"), QStringLiteral("Command4"),
                                QStringLiteral("Command5"), QStringLiteral("Label3")};
        text1()->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), text1());
        for (qsizetype i = 1; i < order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), order[i]);
        }
    }

    // A result changed by hand is marked so until the next filter gives its own note back.
    void handEditedResultIsMarked_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("typed") << "typed";
        QTest::newRow("deleted") << "deleted";
    }
    void handEditedResultIsMarked() {
        QFETCH(QString, how);
        text1()->setText(QStringLiteral("a\r\nb\r\na\r\n"));
        click("Command1");
        QVERIFY(waitIdle());
        const QString note = text2()->note();
        QVERIFY(!note.isEmpty());
        text2()->setFocus();
        if (how == QStringLiteral("typed"))
            QTest::keyClicks(text2(), QStringLiteral("x"));
        else
            QTest::keyClick(text2(), Qt::Key_Delete);
        QCOMPARE(text2()->note(), HandEditedResultNote());
        click("Command1");
        QVERIFY(waitIdle());
        QCOMPARE(text2()->note(), note);
    }
};

QTEST_MAIN(WindowKeysTest)
#include "tst_windowkeys.moc"
