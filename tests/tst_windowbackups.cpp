// What the window says before it writes where an unfinished save left copies of the old content,
// and how a save past the largest file the program may write ends.
#include "files/posixfile.h"
#include "windowdriver.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

namespace {
QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}
} // namespace

class WindowBackupsTest : public QObject, WindowDriver {
    Q_OBJECT

private slots:
    void init() { makeWindow(); }
    void cleanup() { dropWindow(); }

    // A save onto a file with a copy left beside it, or onto the copy itself, says so and goes on
    // only when asked to; the copy is never touched.
    void saveBesideALeftBackup_data() {
        QTest::addColumn<bool>("ontoTheCopy");
        QTest::addColumn<bool>("answer");
        QTest::newRow("the target, 取消") << false << false;
        QTest::newRow("the target, 确定") << false << true;
        QTest::newRow("the copy, 取消") << true << false;
        QTest::newRow("the copy, 确定") << true << true;
    }
    void saveBesideALeftBackup() {
        QFETCH(bool, ontoTheCopy);
        QFETCH(bool, answer);
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("t.txt"));
        const QString copy = dir.filePath(QStringLiteral("t.txt.backup-a1b2c3"));
        Write(target, "torn");
        Write(copy, "old whole");
        text1()->setText(QStringLiteral("new\r\nnew\r\n"));
        click("Command1");
        QVERIFY(waitIdle());
        services->askAnswers = {answer};
        const QString saved = ontoTheCopy ? copy : target;
        const QByteArray before = Contents(saved);
        saveAnswering(saved);
        QVERIFY(services->calls.contains(QStringLiteral("AskOkCancel")));
        QVERIFY2(services->messages[0].prompt.contains(QDir::toNativeSeparators(copy)),
                 qPrintable(services->messages[0].prompt));
        QCOMPARE(Contents(saved), answer ? QByteArray("new\r\n") : before);
        if (!ontoTheCopy)
            QCOMPARE(Contents(copy), QByteArray("old whole"));
    }

    // An import of such a file names the copies.
    void importBesideALeftBackup() {
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("t.txt"));
        Write(target, "a\r\n");
        Write(dir.filePath(QStringLiteral("t.txt.backup-zz9y8x")), "a\r\nb\r\n");
        importAnswering(target);
        QCOMPARE(text1()->text(), QStringLiteral("a\r\n"));
        QVERIFY(!services->messages.isEmpty());
        QVERIFY(services->messages[0].prompt.contains(QStringLiteral("t.txt.backup-zz9y8x")));
    }

    // Past the file-size limit a save fails with the reason a full disk gets, the window lives
    // on and the file keeps what it held.
    void saveBeyondTheFileSizeLimit() {
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("big.txt"));
        Write(target, "before");
        QString text;
        for (int i = 0; i < 20000; ++i)
            text += QStringLiteral("第%1行\r\n").arg(i);
        text1()->setText(text);
        QTRY_VERIFY_WITH_TIMEOUT(!text1()->isWorking(), 60000);
        click("Command1");
        QVERIFY(waitIdle());
        QTRY_VERIFY_WITH_TIMEOUT(!text2()->isWorking(), 60000);
        IgnoreFileSizeSignal();
        struct rlimit old {};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        struct rlimit small = old;
        small.rlim_cur = 4096;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        saveAnswering(target);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &old), 0);
        QCOMPARE(services->messages.size(), 1);
        QCOMPARE(services->messages[0].title, QStringLiteral("保存失败"));
        QVERIFY2(services->messages[0].prompt.contains(QStringLiteral("ulimit -f")),
                 qPrintable(services->messages[0].prompt));
        QCOMPARE(Contents(target), QByteArray("before"));
    }
};

QTEST_MAIN(WindowBackupsTest)
#include "tst_windowbackups.moc"
