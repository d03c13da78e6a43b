#include "core/lines.h"
#include "filehelpers.h"
#include "testtext.h"
#include "ui/jobs/commands.h"
#include "ui/textbox/textbox.h"
#include "ui/window/mainwindow.h"
#include "windowdriver.h"

#include <QLabel>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QThreadPool>

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>

namespace {
const QString kFilter = QStringLiteral("文档文件(*.txt)|*.txt|所有文件(*.*)|*.*");

// GBK bytes of the given number of lines, each line occurring twice, and their text.
QByteArray LargeGbkFile(int lines) {
    QByteArray bytes;
    for (int i = 0; i < lines; ++i)
        bytes += QByteArray::number(i % (lines / 2)) + " \xbc\xd7\r\n";
    return bytes;
}

// A text of the given number of lines, each line occurring twice.
QString LargeNumberedText(int lines) {
    QString text;
    for (int i = 0; i < lines; ++i)
        text += QString::number(i % (lines / 2)) + QStringLiteral(" 甲\r\n");
    return text;
}
} // namespace

class ImportSaveTest : public QObject, WindowDriver {
    Q_OBJECT
    QTemporaryDir dir;

    QString path(const QString& name) const { return dir.filePath(name); }

private slots:
    void init() {
        makeWindow();
        services->launches = 0; // the page the window opens at start
    }
    void cleanup() { dropWindow(); }

    void gbkFileFilteredAndSaved() {
        WriteAll(path(QStringLiteral("in.txt")), "\xbc\xd7\r\n\xd2\xd2\r\n\xbc\xd7");
        importAnswering(path(QStringLiteral("in.txt")));
        QCOMPARE(box("Text1")->text(), QStringLiteral("甲\r\n乙\r\n甲"));
        QCOMPARE(box("Text1")->nonBlankLineCount(), qsizetype(3));
        QCOMPARE(box("Text2")->text(), QString());
        click("Command1");
        QVERIFY(waitIdle());
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
        QVERIFY(waitIdle());
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

    // Bytes that the file's encoding cannot read are counted once, shown as U+FFFD, and written
    // back as they were. The import asks first, naming the file.
    void invalidBytesAreCountedAndShown() {
        WriteAll(path(QStringLiteral("bad.txt")), "a\x81\x30\r\nb\xbc");
        importAnswering(path(QStringLiteral("bad.txt")));
        QCOMPARE(box("Text1")->text(), u'a' + Byte(0x81) + QStringLiteral("0\r\nb") + Byte(0xbc));
        QCOMPARE(services->messages.size(), 1);
        QCOMPARE(services->messages[0].style, int(DesktopServices::Question));
        QCOMPARE(services->messages[0].title, QStringLiteral("导入"));
        const QString prompt = services->messages[0].prompt;
        QVERIFY2(prompt.contains(QStringLiteral(" 2 ")) && prompt.contains(u'\uFFFD') &&
                     prompt.contains(QStringLiteral("原样写回")) &&
                     prompt.contains(QStringLiteral("bad.txt")),
                 qPrintable(prompt));
        // Drawn as U+FFFD is drawn.
        TextBox shown;
        TextBox replaced;
        for (TextBox* b : {&shown, &replaced})
            b->resize(200, 60);
        shown.setText(u'a' + Byte(0x81) + u'b');
        replaced.setText(QStringLiteral("a\uFFFDb"));
        QCOMPARE(shown.grab().toImage(), replaced.grab().toImage());
        click("Command1");
        QVERIFY(waitIdle());
        saveAnswering(path(QStringLiteral("bad-out.txt")));
        QCOMPARE(ReadAll(path(QStringLiteral("bad-out.txt"))).toHex(),
                 QByteArray("a\x81\x30\r\nb\xbc\r\n").toHex());
        QCOMPARE(services->messages.size(), 2);
    }

    // A large file is read, shown and saved away from the window's thread; the outcome is the same.
    void largeFileInTheBackground() {
        QByteArray bytes;
        for (int i = 0; i < 40000; ++i)
            bytes += QByteArray::number(i % 20000) + " \xbc\xd7\r\n";
        bytes += "\x81\x30\r\n";
        WriteAll(path(QStringLiteral("large.txt")), bytes);
        importAnswering(path(QStringLiteral("large.txt")));
        QCOMPARE(box("Text1")->nonBlankLineCount(), qsizetype(40001));
        QCOMPARE(services->messages.size(), 1);
        QVERIFY(services->messages[0].prompt.contains(QStringLiteral(" 1 ")));
        click("Command1");
        QVERIFY(waitIdle());
        saveAnswering(path(QStringLiteral("large-out.txt")));
        const QByteArray out = ReadAll(path(QStringLiteral("large-out.txt")));
        QCOMPARE(out.count('\n'), 20001);
        QVERIFY(out.startsWith("0 \xbc\xd7\r\n1 \xbc\xd7\r\n"));
        // The unreadable bytes are written back as they were.
        QVERIFY(out.endsWith("19999 \xbc\xd7\r\n\x81\x30\r\n"));
        QCOMPARE(services->messages.last().prompt, QStringLiteral("结果已保存至指定路径！"));
    }

    // The save writes the line break of the last imported file (its most common one); a text
    // that never came from a file is written with CR LF. The boxes hold CR LF throughout.
    void lineBreakKept_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("CR LF") << QByteArray("a\r\nb\r\na\r\n") << QByteArray("a\r\nb\r\n");
        QTest::newRow("LF") << QByteArray("a\nb\na\n") << QByteArray("a\nb\n");
        QTest::newRow("CR") << QByteArray("a\rb\ra\r") << QByteArray("a\rb\r");
        QTest::newRow("mostly LF") << QByteArray("a\nb\r\nc\na\n") << QByteArray("a\nb\nc\n");
        QTest::newRow("no break at all") << QByteArray("a") << QByteArray("a\r\n");
        QTest::newRow("never imported") << QByteArray() << QByteArray("a\r\nb\r\n");
    }
    void lineBreakKept() {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, saved);
        if (file.isEmpty()) {
            box("Text1")->setText(QStringLiteral("a\nb\ra"));
        } else {
            WriteAll(path(QStringLiteral("breaks.txt")), file);
            importAnswering(path(QStringLiteral("breaks.txt")));
        }
        QVERIFY(!box("Text1")->text().contains(
            QRegularExpression(QStringLiteral("\r(?!\n)|(?<!\r)\n"))));
        click("Command1");
        QVERIFY(waitIdle());
        QVERIFY(box("Text2")->text().endsWith(QStringLiteral("\r\n")));
        saveAnswering(path(QStringLiteral("breaks-out.txt")));
        QCOMPARE(ReadAll(path(QStringLiteral("breaks-out.txt"))), saved);
        // Still so after clearing and typing.
        click("Command3");
        box("Text2")->setText(QStringLiteral("x\r\ny\r\n"));
        saveAnswering(path(QStringLiteral("breaks-typed.txt")));
        QByteArray typed("x\r\ny\r\n");
        if (saved.count('\n') == 0)
            typed.replace("\r\n", "\r");
        else if (saved.count('\r') == 0)
            typed.replace("\r\n", "\n");
        QCOMPARE(ReadAll(path(QStringLiteral("breaks-typed.txt"))), typed);
    }

    // What is not a regular file is refused at once with a message; the boxes stay as they were.
    void specialFilesRefused_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("/dev/zero") << "/dev/zero";
        QTest::newRow("/dev/urandom") << "/dev/urandom";
        QTest::newRow("/dev/null") << "/dev/null";
    }
    void specialFilesRefused() {
        QFETCH(QString, file);
        if (file == QStringLiteral("fifo")) {
            file = path(QStringLiteral("fifo"));
            QFile::remove(file);
            QVERIFY(::mkfifo(QFile::encodeName(file).constData(), 0600) == 0);
        }
        if (!QFileInfo::exists(file))
            QSKIP("no such file here");
        box("Text1")->setText(QStringLiteral("in"));
        box("Text2")->setText(QStringLiteral("out"));
        importAnswering(file);
        QCOMPARE(box("Text1")->text(), QStringLiteral("in"));
        QCOMPARE(box("Text2")->text(), QStringLiteral("out"));
        QCOMPARE(services->messages.size(), 1);
        QCOMPARE(services->messages[0].style, 16);
        QCOMPARE(services->messages[0].title, QStringLiteral("导入失败"));
        QVERIFY(services->messages[0].prompt.contains(QFileInfo(file).fileName()));
    }

    // A file that is no text: the question names it, and 取消 leaves the box as it was (the
    // first of several files that holds such bytes is named).
    void unreadableFileAsked_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QString>("named");
        QTest::addColumn<QString>("count");
        QTest::newRow("binary, 取消") << QStringList{"bin.dat"} << false << "bin.dat"
                                      << "1,000";
        QTest::newRow("binary, 确定") << QStringList{"bin.dat"} << true << "bin.dat"
                                      << "1,000";
        QTest::newRow("second of two, 取消")
            << QStringList{"ok.txt", "bin.dat"} << false << "bin.dat"
            << "1,000";
    }
    void unreadableFileAsked() {
        QFETCH(QStringList, files);
        QFETCH(bool, answer);
        QFETCH(QString, named);
        QFETCH(QString, count);
        // Bytes as a compiled program holds them: lone lead bytes of GBK after a NUL.
        WriteAll(path(QStringLiteral("bin.dat")), QByteArray("\x7f"
                                                             "ELF\0\x81",
                                                             6)
                                                      .repeated(1000));
        WriteAll(path(QStringLiteral("ok.txt")), "a\r\n");
        box("Text1")->setText(QStringLiteral("typed"));
        services->askAnswers = {answer};
        QStringList paths;
        for (const QString& file : files)
            paths << path(file);
        importAnswering(paths.join(u'\n'));
        QCOMPARE(services->messages.size(), 1);
        QCOMPARE(services->calls.filter(QStringLiteral("AskOkCancel")).size(), 1);
        const QString prompt = services->messages[0].prompt;
        QVERIFY2(prompt.contains(QStringLiteral("“%1”").arg(named)) &&
                     prompt.contains(QStringLiteral(" %1 处").arg(count)),
                 qPrintable(prompt));
        if (answer) {
            QVERIFY(box("Text1")->text().contains(Byte(0x81)));
        } else {
            QCOMPARE(box("Text1")->text(), QStringLiteral("typed"));
            QCOMPARE(box("Text1")->note(), QString());
        }
    }

    // An empty file empties the input box, says so over it, and Ctrl+Z brings the text back.
    void emptyFileEmptiesInput_data() {
        QTest::addColumn<QStringList>("files");
        QTest::newRow("one") << QStringList{"empty.txt"};
        QTest::newRow("two") << QStringList{"empty.txt", "empty2.txt"};
    }
    void emptyFileEmptiesInput() {
        QFETCH(QStringList, files);
        TextBox* input = box("Text1");
        input->setText(QStringLiteral("typed"));
        QStringList paths;
        for (const QString& file : files) {
            paths << path(file);
            WriteAll(paths.last(), "");
        }
        importAnswering(paths.join(u'\n'));
        QCOMPARE(input->text(), QString());
        QVERIFY(services->messages.isEmpty());
        QCOMPARE(input->note(), QStringLiteral("导入的是空文件；Ctrl+Z 可恢复原文"));
        input->setFocus();
        QTest::keyClick(input, Qt::Key_Z, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(!input->isWorking(), 60000);
        QCOMPARE(input->text(), QStringLiteral("typed"));
        QCOMPARE(input->note(), QString());
    }

    // After an earlier choice, a cancelled dialog changes no box, writes no file, says nothing.
    void cancelAfterEarlierChoice() {
        const QString in = path(QStringLiteral("chosen.txt"));
        WriteAll(in, "x\r\nx\r\n");
        importAnswering(in);
        click("Command1");
        QVERIFY(waitIdle());
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
            saveAnswering(path(name), 1);
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
        QVERIFY(waitIdle());
        QCOMPARE(box("Text1")->text(), QStringLiteral("d\r\nd"));
        QCOMPARE(services->fileName(), path(QStringLiteral("drop.txt")));
        dropOn(box("Text1"), &textMime);
        QVERIFY(box("Text1")->text().contains(QStringLiteral("plain")));
    }

    // A name without extension gets ".txt" when the 文档文件 type is chosen, and only then.
    void saveAddsTxt_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("filterIndex");
        QTest::addColumn<QString>("written");
        QTest::newRow("txt type, bare name") << "结果" << 0 << "结果.txt";
        QTest::newRow("txt type, other extension") << "结果.log" << 0 << "结果.log";
        QTest::newRow("all files type") << "结果" << 1 << "结果";
    }
    void saveAddsTxt() {
        QFETCH(QString, answer);
        QFETCH(int, filterIndex);
        QFETCH(QString, written);
        QTemporaryDir own;
        box("Text2")->setText(QStringLiteral("甲\r\n"));
        saveAnswering(own.filePath(answer), filterIndex);
        QCOMPARE(ReadAll(own.filePath(written)), QByteArray("\xbc\xd7\r\n"));
        QCOMPARE(QDir(own.path()).entryList(QDir::Files), QStringList{written});
        QCOMPARE(services->fileName(), own.filePath(written));
        QCOMPARE(services->messages.last().prompt, QStringLiteral("结果已保存至指定路径！"));
    }

    // Ctrl+Z after an import brings back the text it replaced, while that text is small enough
    // to keep; the box's own edits since the import are undone first.
    void undoAfterImport_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<bool>("typedAfter");
        QTest::addColumn<bool>("kept");
        QTest::newRow("typed text") << QStringLiteral("typed\r\ntext") << false << true;
        QTest::newRow("edited after the import") << QStringLiteral("typed") << true << true;
        QTest::newRow("empty box") << QString() << false << true;
        QTest::newRow("at the bound") << TextOfSize(TextBox::kUndoChars) << false << true;
        QTest::newRow("above the bound") << TextOfSize(TextBox::kUndoChars + 1) << false << false;
    }
    void undoAfterImport() {
        QFETCH(QString, before);
        QFETCH(bool, typedAfter);
        QFETCH(bool, kept);
        TextBox* input = box("Text1");
        input->setText(before);
        QTRY_VERIFY_WITH_TIMEOUT(!input->isWorking(), 60000);
        WriteAll(path(QStringLiteral("u.txt")), "\xbc\xd7\r\n\xd2\xd2");
        importAnswering(path(QStringLiteral("u.txt")));
        QCOMPARE(input->text(), QStringLiteral("甲\r\n乙"));
        QCOMPARE(input->canUndoReplace(), kept);
        input->setFocus();
        input->moveCursor(QTextCursor::End);
        if (typedAfter) {
            QTest::keyClicks(input, QStringLiteral("x"));
            QTest::keyClick(input, Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(input->text(), QStringLiteral("甲\r\n乙"));
        }
        QTest::keyClick(input, Qt::Key_Z, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(!input->isWorking(), 60000);
        QCOMPARE(input->text(), kept ? before : QStringLiteral("甲\r\n乙"));
        QCOMPARE(input->nonBlankLineCount(), CountNonBlankLines(input->text()));
        QVERIFY(!input->canUndoReplace());
    }

    // A cancelled import leaves both boxes, their counts and the save's encoding as they were,
    // whether it is cancelled while the file is read or while the box fills.
    void cancelImport_data() {
        QTest::addColumn<bool>("whileFilling");
        QTest::addColumn<int>("earlierLines");
        QTest::newRow("while reading") << false << 2;
        QTest::newRow("while filling, small text before") << true << 2;
        QTest::newRow("while filling, large text before") << true << 12000;
    }
    void cancelImport() {
        QFETCH(bool, whileFilling);
        QFETCH(int, earlierLines);
        WriteAll(path(QStringLiteral("big.txt")), LargeGbkFile(80000));
        QString earlier;
        for (int i = 0; i < earlierLines; ++i)
            earlier += QStringLiteral("😀 %1\r\n").arg(i);
        box("Text1")->setText(earlier);
        box("Text2")->setText(QStringLiteral("out"));
        QTRY_VERIFY_WITH_TIMEOUT(!box("Text1")->isWorking(), 60000);
        const QString label1 = window->findChild<QLabel*>(QStringLiteral("Label1"))->text();
        bool fired = false;
        connect(box("Text1"), &TextBox::workProgress, window.get(), [&] {
            if (!fired && box("Text1")->isFilling()) {
                fired = true;
                QTest::keyClick(window.get(), Qt::Key_Escape);
            }
        });
        services->dialogAnswers = {path(QStringLiteral("big.txt"))};
        click("Command2");
        QVERIFY(window->busy());
        if (!whileFilling)
            QTest::keyClick(window.get(), Qt::Key_Escape);
        QVERIFY(waitIdle());
        // The read has stopped, not gone on in the background.
        QTRY_COMPARE(QThreadPool::globalInstance()->activeThreadCount(), 0);
        QCOMPARE(fired, whileFilling);
        QTRY_VERIFY_WITH_TIMEOUT(!box("Text1")->isWorking(), 60000);
        QCOMPARE(box("Text1")->text(), earlier);
        QCOMPARE(box("Text1")->documentText(), earlier);
        QCOMPARE(window->findChild<QLabel*>(QStringLiteral("Label1"))->text(), label1);
        QCOMPARE(box("Text2")->text(), QStringLiteral("out"));
        QVERIFY(services->messages.isEmpty());
        // The result is still saved as before any import: GBK, here GB18030 for the emoji.
        box("Text2")->setText(QStringLiteral("\u7532"));
        saveAnswering(path(QStringLiteral("after.txt")));
        QCOMPARE(ReadAll(path(QStringLiteral("after.txt"))), QByteArray("\xbc\xd7"));
    }

    // A save cancelled before it writes leaves the file as it was, or absent.
    void cancelSave_data() {
        QTest::addColumn<bool>("fileExists");
        QTest::newRow("over an existing file") << true;
        QTest::newRow("new file") << false;
    }
    void cancelSave() {
        QFETCH(bool, fileExists);
        QTemporaryDir own;
        const QString target = own.filePath(QStringLiteral("target.txt"));
        if (fileExists)
            WriteAll(target, "old content");
        TextBox* output = box("Text2");
        output->setText(LargeNumberedText(60000));
        QTRY_VERIFY_WITH_TIMEOUT(!output->isWorking(), 60000);
        // An edit makes the box read its text back before saving: a slice at a time.
        QTextCursor(output->document()).insertText(QStringLiteral("edited "));
        const QString before = output->documentText();
        bool fired = false;
        connect(output, &TextBox::workProgress, window.get(), [&] {
            if (!fired) {
                fired = true;
                QTest::keyClick(window.get(), Qt::Key_Escape);
            }
        });
        services->dialogAnswers = {target};
        click("Command5");
        QVERIFY(waitIdle());
        QVERIFY(fired);
        QCOMPARE(QFile::exists(target), fileExists);
        if (fileExists)
            QCOMPARE(ReadAll(target), QByteArray("old content"));
        QCOMPARE(QDir(own.path()).entryList(QDir::Files).size(), fileExists ? 1 : 0);
        QCOMPARE(output->documentText(), before);
        QVERIFY(services->messages.isEmpty());
        QCOMPARE(services->launches, 0);
    }

    // Once a save writes, a cancel is refused and the save goes through.
    void saveWritingCannotBeCancelled() {
        TextBox output;
        output.setText(LargeNumberedText(60000));
        QTRY_VERIFY_WITH_TIMEOUT(!output.isWorking(), 60000);
        const QString target = path(QStringLiteral("written.txt"));
        SaveJob job(output, target, SaveAs{{TextEncoding::Gbk, LineBreak::CrLf}, false}, *services);
        QSignalSpy finished(&job, &Job::finished);
        job.start();
        QVERIFY(!job.canCancel());
        job.cancel();
        QVERIFY(finished.wait(60000));
        QCOMPARE(finished.first().first().toBool(), true);
        QCOMPARE(ReadAll(target), LargeGbkFile(60000));
    }

    // A line too long to show is saved whole.
    void longLineSavedWhole() {
        const QString line = QString(TextBox::kLongLine + 1, u'a') + QStringLiteral("甲");
        box("Text1")->setText(line);
        QVERIFY(box("Text1")->isPreview());
        click("Command1");
        QVERIFY(waitIdle());
        QVERIFY(box("Text2")->isPreview());
        saveAnswering(path(QStringLiteral("long.txt")));
        QCOMPARE(ReadAll(path(QStringLiteral("long.txt"))),
                 QByteArray(TextBox::kLongLine + 1, 'a') + "\xbc\xd7\r\n");
    }

    // While a command works, a dropped file is not imported.
    void dropWhileBusyIgnored() {
        WriteAll(path(QStringLiteral("drop.txt")), "d");
        box("Text1")->setText(LargeNumberedText(60000));
        click("Command1");
        QVERIFY(window->busy());
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(path(QStringLiteral("drop.txt")))});
        dropOn(box("Text1"), &mime);
        QVERIFY(waitIdle());
        QVERIFY(box("Text1")->text().startsWith(QStringLiteral("0 ")));
        QVERIFY(services->fileName().isEmpty());
    }

    // Several files, chosen together in the dialog or dropped together, are one text in their
    // order: the first one's encoding and line break are the text's (each file is read in its
    // own), a line break is put where a file has none at its end, unreadable bytes are counted
    // over all, and a note over the input box names the files. Ctrl+Z brings back the text they
    // replaced.
    void severalFiles_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("dialog") << "dialog";
        QTest::newRow("drop") << "drop";
    }
    void severalFiles() {
        QFETCH(QString, how);
        WriteAll(path(QStringLiteral("1.txt")), QStringLiteral("甲\n乙").toUtf8());
        WriteAll(path(QStringLiteral("2.txt")), "\xbc\xd7\r\n\x81\x30\r\n");
        WriteAll(path(QStringLiteral("3.txt")), QByteArray("\xff\xfe\x19\x4e\n\0", 6));
        const QStringList files{path(QStringLiteral("1.txt")), path(QStringLiteral("2.txt")),
                                path(QStringLiteral("3.txt"))};
        box("Text1")->setText(QStringLiteral("typed"));
        if (how == QStringLiteral("dialog")) {
            importAnswering(files.join(u'\n'));
        } else {
            QMimeData mime;
            QList<QUrl> urls;
            for (const QString& file : files)
                urls.append(QUrl::fromLocalFile(file));
            mime.setUrls(urls);
            dropOn(box("Text1"), &mime);
            QVERIFY(waitIdle());
        }
        QCOMPARE(box("Text1")->text(),
                 QStringLiteral("甲\r\n乙\r\n甲\r\n") + Byte(0x81) + QStringLiteral("0\r\n丙\r\n"));
        QCOMPARE(services->fileName(), files.first());
        QCOMPARE(services->messages.size(), 1); // the unreadable bytes, once for all
        QVERIFY(services->messages[0].prompt.contains(QStringLiteral(" 1 处")));
        QCOMPARE(box("Text1")->note(), QStringLiteral("已导入 3 个文件：1.txt、2.txt、3.txt"));
        // Saved as the first file: UTF-8 with LF; the other files' characters carried over.
        click("Command1");
        QVERIFY(waitIdle());
        saveAnswering(path(QStringLiteral("joined.txt")));
        QCOMPARE(ReadAll(path(QStringLiteral("joined.txt"))),
                 QByteArray("\xe7\x94\xb2\n\xe4\xb9\x99\n\x81\x30\n\xe4\xb8\x99\n"));
        // The note goes with the next edit; the files' text goes with Ctrl+Z.
        box("Text1")->setFocus();
        QTest::keyClick(box("Text1"), Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(box("Text1"), QStringLiteral("x"));
        QCOMPARE(box("Text1")->note(), QString());
        QTest::keyClick(box("Text1"), Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(box("Text1"), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(box("Text1")->text(), QStringLiteral("typed"));
    }

    // One of several files cannot be read: none is imported, the message names it.
    void severalFilesOneMissing() {
        WriteAll(path(QStringLiteral("here.txt")), "a\r\n");
        box("Text1")->setText(QStringLiteral("typed"));
        importAnswering(path(QStringLiteral("here.txt")) + u'\n' +
                        path(QStringLiteral("gone.txt")));
        QCOMPARE(box("Text1")->text(), QStringLiteral("typed"));
        QCOMPARE(services->messages.size(), 1);
        QCOMPARE(services->messages[0].style, 16);
        QVERIFY(services->messages[0].prompt.contains(QStringLiteral("gone.txt")));
    }

    // The save dialog's choice of encoding and line break: 与原文件相同 keeps the rules of the
    // input (GBK widened to GB18030 where needed); a chosen encoding is written exactly, or
    // refused with nothing written when it cannot hold the text.
    void saveFormat_data() {
        QTest::addColumn<QByteArray>("file"); // imported first; empty: typed text
        QTest::addColumn<QString>("result");
        QTest::addColumn<SaveFormat>("format");
        QTest::addColumn<QByteArray>("saved"); // empty: refused
        using E = SaveFormat::Encoding;
        using B = SaveFormat::Break;
        const QString text = QStringLiteral("甲\r\nb\r\n");
        QTest::newRow("same, typed")
            << QByteArray() << text << SaveFormat{} << QByteArray("\xbc\xd7\r\nb\r\n");
        QTest::newRow("same, utf-8 file with LF")
            << QByteArray("x\n\xe7\x94\xb2\n") << text << SaveFormat{}
            << QByteArray("\xe7\x94\xb2\nb\n");
        QTest::newRow("GBK") << QByteArray("x\n\xe7\x94\xb2\n") << text
                             << SaveFormat{E::Gbk, B::Same} << QByteArray("\xbc\xd7\nb\n");
        QTest::newRow("GB18030, CR LF")
            << QByteArray("x\n") << QStringLiteral("😀\r\n") << SaveFormat{E::Gb18030, B::CrLf}
            << QByteArray("\x94\x39\xfc\x36\r\n");
        QTest::newRow("UTF-8, LF") << QByteArray() << text << SaveFormat{E::Utf8, B::Lf}
                                   << QByteArray("\xe7\x94\xb2\nb\n");
        QTest::newRow("UTF-8 (BOM)") << QByteArray() << text << SaveFormat{E::Utf8Bom, B::Same}
                                     << QByteArray("\xef\xbb\xbf\xe7\x94\xb2\r\nb\r\n");
        QTest::newRow("UTF-16LE, LF") << QByteArray() << text << SaveFormat{E::Utf16Le, B::Lf}
                                      << QByteArray("\xff\xfe\x32\x75\n\0b\0\n\0", 10);
        QTest::newRow("same with an emoji: GB18030")
            << QByteArray() << QStringLiteral("😀\r\n") << SaveFormat{}
            << QByteArray("\x94\x39\xfc\x36\r\n");
        QTest::newRow("GBK with an emoji: refused") << QByteArray() << QStringLiteral("😀\r\n")
                                                    << SaveFormat{E::Gbk, B::Same} << QByteArray();
        QTest::newRow("UTF-16LE with undecodable bytes: refused")
            << QByteArray("a\r\n\x81\x30\r\n") << QString() << SaveFormat{E::Utf16Le, B::Same}
            << QByteArray();
    }
    void saveFormat() {
        QFETCH(QByteArray, file);
        QFETCH(QString, result);
        QFETCH(SaveFormat, format);
        QFETCH(QByteArray, saved);
        if (!file.isEmpty()) {
            WriteAll(path(QStringLiteral("in.txt")), file);
            importAnswering(path(QStringLiteral("in.txt")));
            click("Command1");
            QVERIFY(waitIdle());
        }
        if (!result.isEmpty())
            box("Text2")->setText(result);
        services->messages.clear();
        const QString target = path(QStringLiteral("formatted.txt"));
        QFile::remove(target);
        services->dialogFormatChoices = {format};
        saveAnswering(target);
        // The dialog's first choice is named for an imported file's format, or for the default.
        QCOMPARE(services->saveHasOriginal(), !file.isEmpty());
        QCOMPARE(services->messages.size(), 1);
        if (saved.isEmpty()) {
            QCOMPARE(services->messages[0].style, 16);
            QVERIFY(services->messages[0].prompt.contains(target));
            QVERIFY(!QFile::exists(target));
            return;
        }
        QCOMPARE(services->messages[0].prompt, QStringLiteral("结果已保存至指定路径！"));
        QCOMPARE(ReadAll(target).toHex(), saved.toHex());
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
