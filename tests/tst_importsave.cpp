#include "fakedesktopservices.h"
#include "filehelpers.h"
#include "ui/mainwindow.h"
#include "ui/textbox.h"

#include <QFile>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>

namespace {
const QString kFilter = QStringLiteral("文档文件(*.txt)|*.txt|所有文件(*.*)|*.*");
} // namespace

class ImportSaveTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    std::unique_ptr<FakeDesktopServices> services;
    std::unique_ptr<MainWindow> window;

    QString path(const QString& name) const { return dir.filePath(name); }
    TextBox* box(const char* name) {
        return window->findChild<TextBox*>(QString::fromLatin1(name));
    }
    void click(const char* name) {
        window->findChild<QPushButton*>(QString::fromLatin1(name))->click();
    }
    // Runs a command whose dialog answers with the given path (empty: cancel).
    void importAnswering(const QString& answer) {
        services->dialogAnswers = {answer};
        click("Command2");
    }
    void saveAnswering(const QString& answer) {
        services->dialogAnswers = {answer};
        click("Command5");
    }

private slots:
    void init() {
        services = std::make_unique<FakeDesktopServices>();
        window = std::make_unique<MainWindow>(*services);
        services->launches = 0;
    }
    void cleanup() {
        window.reset();
        services.reset();
    }

    void gbkFileFilteredAndSaved() {
        WriteAll(path(QStringLiteral("in.txt")), "\xbc\xd7\r\n\xd2\xd2\r\n\xbc\xd7");
        importAnswering(path(QStringLiteral("in.txt")));
        QCOMPARE(box("Text1")->text(), QStringLiteral("甲\r\n乙\r\n甲"));
        QCOMPARE(box("Text1")->nonBlankLineCount(), qsizetype(3));
        QCOMPARE(box("Text2")->text(), QString());
        click("Command1");
        saveAnswering(path(QStringLiteral("out.txt")));
        QCOMPARE(ReadAll(path(QStringLiteral("out.txt"))), QByteArray("\xbc\xd7\r\n\xd2\xd2\r\n"));
        QCOMPARE(services->messages.size(), 1);
        QCOMPARE(services->messages[0].prompt, QStringLiteral("结果已保存至指定路径！"));
        QCOMPARE(services->messages[0].style, 64);
        QCOMPARE(services->messages[0].title, QStringLiteral("提示"));
        QCOMPARE(services->launches, 1);
        QVERIFY(services->dialogsShown[0].startsWith(QStringLiteral("open|") + kFilter + u'|'));
        QCOMPARE(services->dialogsShown[1],
                 QStringLiteral("save|") + kFilter + u'|' + path(QStringLiteral("in.txt")));
    }

    // A file without repeats that ends in CR LF comes back byte for byte, in its own encoding.
    void roundTrip_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QString text = QStringLiteral("甲 a\r\n乙\t€\r\n\U00020000\r\n");
        QTest::newRow("gbk") << QByteArray("\xbc\xd7 a\r\n\x80\r\n");
        QTest::newRow("gb18030") << QByteArray("\x95\x32\x82\x36\r\n\xbc\xd7\r\n");
        QTest::newRow("utf-8") << text.toUtf8();
        QTest::newRow("utf-8 bom") << QByteArray("\xef\xbb\xbf") + text.toUtf8();
        QByteArray le("\xff\xfe"), be("\xfe\xff");
        for (const QChar c : text) {
            le.append(char(c.unicode() & 0xff)).append(char(c.unicode() >> 8));
            be.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xff));
        }
        QTest::newRow("utf-16le") << le;
        QTest::newRow("utf-16be") << be;
    }
    void roundTrip() {
        QFETCH(QByteArray, bytes);
        WriteAll(path(QStringLiteral("rt.txt")), bytes);
        importAnswering(path(QStringLiteral("rt.txt")));
        click("Command1");
        saveAnswering(path(QStringLiteral("rt-out.txt")));
        QCOMPARE(ReadAll(path(QStringLiteral("rt-out.txt"))).toHex(), bytes.toHex());
        QCOMPARE(services->messages.size(), 1);
    }

    void emojiAfterGbkImportSavesAsGb18030() {
        WriteAll(path(QStringLiteral("g.txt")), "\xbc\xd7\r\n");
        importAnswering(path(QStringLiteral("g.txt")));
        box("Text2")->setText(QStringLiteral("甲😀\r\n"));
        saveAnswering(path(QStringLiteral("g-out.txt")));
        const QByteArray out = ReadAll(path(QStringLiteral("g-out.txt")));
        QCOMPARE(out.toHex(), QByteArray("\xbc\xd7\x94\x39\xfc\x36\r\n").toHex());
        QVERIFY(!out.contains('?'));
        QCOMPARE(services->messages.last().prompt, QStringLiteral("结果已保存至指定路径！"));
    }

    void invalidBytesAreCountedAndShown() {
        WriteAll(path(QStringLiteral("bad.txt")), "a\x81\x30\r\nb\xbc");
        importAnswering(path(QStringLiteral("bad.txt")));
        QCOMPARE(box("Text1")->text(), QStringLiteral("a\ufffd0\r\nb\ufffd"));
        QCOMPARE(services->messages.size(), 1);
        QCOMPARE(services->messages[0].style, 64);
        QVERIFY(services->messages[0].prompt.contains(QStringLiteral(" 2 ")));
    }

    // A large file is read, shown and saved away from the window's thread; the outcome is the same.
    void largeFileInTheBackground() {
        QByteArray bytes;
        for (int i = 0; i < 40000; ++i)
            bytes += QByteArray::number(i % 20000) + " \xbc\xd7\r\n";
        bytes += "\x81\x30\r\n";
        WriteAll(path(QStringLiteral("large.txt")), bytes);
        importAnswering(path(QStringLiteral("large.txt")));
        QVERIFY(window->busy());
        QVERIFY(services->messages.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(!window->busy(), 20000);
        QCOMPARE(box("Text1")->nonBlankLineCount(), qsizetype(40001));
        QCOMPARE(services->messages.size(), 1);
        QVERIFY(services->messages[0].prompt.contains(QStringLiteral(" 1 ")));
        click("Command1");
        QTRY_VERIFY_WITH_TIMEOUT(!window->busy(), 20000);
        saveAnswering(path(QStringLiteral("large-out.txt")));
        QTRY_VERIFY_WITH_TIMEOUT(!window->busy(), 20000);
        const QByteArray out = ReadAll(path(QStringLiteral("large-out.txt")));
        QCOMPARE(out.count('\n'), 20001);
        QVERIFY(out.startsWith("0 \xbc\xd7\r\n1 \xbc\xd7\r\n"));
        // The unreadable place is kept as U+FFFD, which GBK cannot hold: written as GB18030.
        QVERIFY(out.endsWith("19999 \xbc\xd7\r\n\x84\x31\xa4\x37\x30\r\n"));
        QCOMPARE(services->messages.last().prompt, QStringLiteral("结果已保存至指定路径！"));
    }

    void emptyFileEmptiesInput() {
        box("Text1")->setText(QStringLiteral("typed"));
        WriteAll(path(QStringLiteral("empty.txt")), "");
        importAnswering(path(QStringLiteral("empty.txt")));
        QCOMPARE(box("Text1")->text(), QString());
        QVERIFY(services->messages.isEmpty());
    }

    // After an earlier choice, a cancelled dialog changes no box, writes no file, says nothing.
    void cancelAfterEarlierChoice() {
        const QString in = path(QStringLiteral("chosen.txt"));
        WriteAll(in, "x\r\nx\r\n");
        importAnswering(in);
        click("Command1");
        box("Text1")->setText(QStringLiteral("typed since"));
        importAnswering(QString());
        QCOMPARE(box("Text1")->text(), QStringLiteral("typed since"));
        saveAnswering(QString());
        QCOMPARE(ReadAll(in), QByteArray("x\r\nx\r\n"));
        QVERIFY(services->messages.isEmpty());
        QCOMPARE(services->launches, 0);
        QCOMPARE(services->fileName(), in);
    }

    void failuresLeaveEverything_data() {
        QTest::addColumn<bool>("import");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("title");
        QTest::newRow("import missing") << true << "missing.txt"
                                        << "导入失败";
        QTest::newRow("import directory") << true << "."
                                          << "导入失败";
        QTest::newRow("save into missing folder") << false << "no/dir/out.txt"
                                                  << "保存失败";
        QTest::newRow("save onto read-only file") << false << "ro.txt"
                                                  << "保存失败";
    }
    void failuresLeaveEverything() {
        QFETCH(bool, import);
        QFETCH(QString, name);
        QFETCH(QString, title);
        const QString ro = path(QStringLiteral("ro.txt"));
        if (!QFile::exists(ro)) {
            WriteAll(ro, "old content");
            QFile::setPermissions(ro, QFileDevice::ReadOwner);
        }
        box("Text1")->setText(QStringLiteral("in"));
        box("Text2")->setText(QStringLiteral("out"));
        if (import)
            importAnswering(path(name));
        else
            saveAnswering(path(name));
        QCOMPARE(box("Text1")->text(), QStringLiteral("in"));
        QCOMPARE(box("Text2")->text(), QStringLiteral("out"));
        QCOMPARE(services->messages.size(), 1);
        QCOMPARE(services->messages[0].style, 16);
        QCOMPARE(services->messages[0].title, title);
        QVERIFY(services->messages[0].prompt.contains(QFileInfo(path(name)).fileName()));
        QCOMPARE(services->launches, 0);
        QCOMPARE(ReadAll(ro), QByteArray("old content"));
    }

    void droppedFileImports() {
        WriteAll(path(QStringLiteral("drop.txt")), "d\r\nd");
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(path(QStringLiteral("drop.txt")))});
        QMimeData textMime;
        textMime.setText(QStringLiteral("plain"));
        dropOn(box("Text1"), &mime);
        QCOMPARE(box("Text1")->text(), QStringLiteral("d\r\nd"));
        QCOMPARE(services->fileName(), path(QStringLiteral("drop.txt")));
        dropOn(box("Text1"), &textMime);
        QVERIFY(box("Text1")->text().contains(QStringLiteral("plain")));
    }

private:
    static void dropOn(QWidget* target, QMimeData* mime) {
        QWidget* viewport = static_cast<QPlainTextEdit*>(target)->viewport();
        const QPoint at = viewport->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &enter);
        QDropEvent drop(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &drop);
    }
};

QTEST_MAIN(ImportSaveTest)
#include "tst_importsave.moc"
