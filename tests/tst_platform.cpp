#include "fakedesktopservices.h"
#include "platform/qtdesktopservices.h"

#include <QApplication>
#include <QTest>

class PlatformTest : public QObject {
    Q_OBJECT
private slots:
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
        QCOMPARE(services.dialogsShown, QStringList({QStringLiteral("open|a|*.a|"),
                                                     QStringLiteral("save|a|*.a|/tmp/one.txt"),
                                                     QStringLiteral("save|a|*.a|/tmp/one.txt")}));
    }

    void chineseStandardButtons() {
        InstallQtTranslation();
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "OK"), QStringLiteral("确定"));
    }
};

QTEST_MAIN(PlatformTest)
#include "tst_platform.moc"
