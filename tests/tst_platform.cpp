#include "fakedesktopservices.h"
#include "platform/qtdesktopservices.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

class PlatformTest : public QObject {
    Q_OBJECT
private slots:
    // Settings go to the test's own folders.
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanupTestCase() {
        QFile::remove(QSettings(QStringLiteral("Trennix"), QStringLiteral("trennix")).fileName());
    }

    void nameFilters() {
        QCOMPARE(ToQtNameFilters(QStringLiteral("文档文件(*.txt)|*.txt|所有文件(*.*)|*.*")),
                 QStringList({QStringLiteral("文档文件(*.txt) (*.txt)"),
                              QStringLiteral("所有文件(*.*) (*)")}));
        QCOMPARE(ToQtNameFilters(QStringLiteral("文本|*.txt;*.log")),
                 QStringList({QStringLiteral("文本 (*.txt *.log)")}));
        QVERIFY(ToQtNameFilters(QString()).isEmpty());
    }

    // The chosen path persists across both dialogs, starts the next one, and survives a cancel.
    void fileNamePersists() {
        FakeDesktopServices services;
        services.setFilter(QStringLiteral("a|*.a"));
        services.dialogAnswers = {QStringLiteral("/tmp/one.txt"), QString(),
                                  QStringLiteral("/tmp/two.txt")};
        QVERIFY(services.ShowOpen());
        QCOMPARE(services.fileName(), QStringLiteral("/tmp/one.txt"));
        QVERIFY(!services.ShowSave());
        QCOMPARE(services.fileName(), QStringLiteral("/tmp/one.txt"));
        QVERIFY(services.ShowSave());
        QCOMPARE(services.fileName(), QStringLiteral("/tmp/two.txt"));
        QCOMPARE(services.dialogsShown,
                 QStringList({QStringLiteral("open|a|*.a|") + DefaultDialogFolder(),
                              QStringLiteral("save|a|*.a|/tmp/one.txt"),
                              QStringLiteral("save|a|*.a|/tmp/one.txt")}));
    }

    // The first dialog starts in Documents, or home where there is none.
    void firstDialogFolder() {
        const QString documents =
            QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        const QString expected = QFileInfo(documents).isDir() ? documents : QDir::homePath();
        QCOMPARE(DefaultDialogFolder(), expected);
        QVERIFY(QFileInfo(DefaultDialogFolder()).isDir());
    }

    // A name to save under gets the chosen type's extension when it has none.
    void saveSuffix_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("filterIndex");
        QTest::addColumn<QString>("saved");
        QTest::newRow("txt type, bare name") << "/d/结果" << 0 << "/d/结果.txt";
        QTest::newRow("txt type, own extension") << "/d/结果.log" << 0 << "/d/结果.log";
        QTest::newRow("txt type, already .txt") << "/d/结果.txt" << 0 << "/d/结果.txt";
        QTest::newRow("dot in the folder only") << "/d.x/结果" << 0 << "/d.x/结果.txt";
        QTest::newRow("all files type") << "/d/结果" << 1 << "/d/结果";
        QTest::newRow("no such type") << "/d/结果" << 7 << "/d/结果";
    }
    void saveSuffix() {
        QFETCH(QString, answer);
        QFETCH(int, filterIndex);
        QFETCH(QString, saved);
        FakeDesktopServices services;
        services.setFilter(QStringLiteral("文档文件(*.txt)|*.txt|所有文件(*.*)|*.*"));
        services.dialogAnswers = {answer};
        services.dialogFilterChoices = {filterIndex};
        QVERIFY(services.ShowSave());
        QCOMPARE(services.fileName(), saved);
        // Opening never changes the chosen name.
        services.dialogAnswers = {answer};
        services.dialogFilterChoices = {filterIndex};
        QVERIFY(services.ShowOpen());
        QCOMPARE(services.fileName(), answer);
    }

    void defaultSuffix_data() {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("txt") << "文档文件(*.txt)|*.txt|所有文件(*.*)|*.*" << 0 << "txt";
        QTest::newRow("all") << "文档文件(*.txt)|*.txt|所有文件(*.*)|*.*" << 1 << "";
        QTest::newRow("several") << "文本|*.txt;*.log" << 0 << "";
        QTest::newRow("wildcard") << "文本|*.t?t" << 0 << "";
        QTest::newRow("negative") << "文本|*.txt" << -1 << "";
        QTest::newRow("empty filter") << "" << 0 << "";
    }
    void defaultSuffix() {
        QFETCH(QString, filter);
        QFETCH(int, index);
        QFETCH(QString, suffix);
        QCOMPARE(DefaultSuffix(filter, index), suffix);
    }

    // What the Qt services remember is there for the next run (a new object), under its key;
    // in a file of the test's own, never the user's.
    void settingsOutliveTheServices_data() {
        QTest::addColumn<QString>("value");
        QTest::newRow("words") << "ignore-case keep=last";
        QTest::newRow("empty") << "";
        QTest::newRow("chinese") << "甲 乙";
    }
    void settingsOutliveTheServices() {
        QFETCH(QString, value);
        QVERIFY(QStandardPaths::isTestModeEnabled());
        {
            QtDesktopServices services;
            services.SaveSetting(QStringLiteral("Key"), value);
            services.SaveSetting(QStringLiteral("Other"), QStringLiteral("other"));
        }
        QtDesktopServices next;
        QCOMPARE(next.LoadSetting(QStringLiteral("Key")), value);
        QCOMPARE(next.LoadSetting(QStringLiteral("Never")), QString());
    }

    void chineseStandardButtons() {
        InstallQtTranslation();
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "OK"), QStringLiteral("确定"));
    }
};

QTEST_MAIN(PlatformTest)
#include "tst_platform.moc"
