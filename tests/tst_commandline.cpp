#include "app/commandline.h"
#include "eventturn.h"
#include "fakedesktopservices.h"
#include "filehelpers.h"
#include "files/textcodec.h"
#include "ui/textbox/textbox.h"
#include "ui/window/mainwindow.h"

#include <QDir>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using Action = WindowCommandLine::Action;
Q_DECLARE_METATYPE(WindowCommandLine::Action)

namespace {

// A window with its own fake desktop, as the program has at start.
struct Session {
    FakeDesktopServices services;
    MainWindow window{services};

    Session() { window.show(); }
    // Opens the files as the program does with those named on its command line, and waits for
    // their import.
    void open(const QStringList& files) {
        QSignalSpy idle(&window, &MainWindow::idle);
        OpenFiles(window, files);
        QVERIFY(idle.wait(10000));
    }

    TextBox* text1() { return window.findChild<TextBox*>(QStringLiteral("Text1")); }
    void click(const char* name) {
        window.findChild<QPushButton*>(QString::fromLatin1(name))->click();
    }
    void waitIdle() {
        if (window.busy())
            QVERIFY(QSignalSpy(&window, &MainWindow::idle).wait(10000));
        QVERIFY(!window.busy());
    }
    // Filters the input and saves the result through the save dialog.
    void filterAndSave(const QString& path) {
        click("Command1");
        waitIdle();
        services.dialogAnswers = {path};
        click("Command5");
        waitIdle();
    }
};

} // namespace

class CommandLineTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    QString path(const QString& name) const { return dir.filePath(name); }

private slots:
    void parse_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<Action>("action");
        QTest::addColumn<QStringList>("files");
        const QStringList none;
        QTest::newRow("nothing") << QStringList{} << Action::OpenWindow << none;
        QTest::newRow("one file") << QStringList{"a.txt"} << Action::OpenWindow
                                  << QStringList{"a.txt"};
        QTest::newRow("files in order")
            << QStringList{"b.txt", "/tmp/a.txt", "甲.txt"} << Action::OpenWindow
            << QStringList{"b.txt", "/tmp/a.txt", "甲.txt"};
        QTest::newRow("-h") << QStringList{"-h"} << Action::ShowHelp << none;
        QTest::newRow("--help") << QStringList{"--help"} << Action::ShowHelp << none;
        QTest::newRow("help among files")
            << QStringList{"a.txt", "--help", "b.txt"} << Action::ShowHelp << none;
        QTest::newRow("-v") << QStringList{"-v"} << Action::ShowVersion << none;
        QTest::newRow("--version") << QStringList{"--version"} << Action::ShowVersion << none;
        QTest::newRow("help before version")
            << QStringList{"--version", "-h"} << Action::ShowHelp << none;
        QTest::newRow("unknown long option")
            << QStringList{"--bogus", "a.txt"} << Action::UsageError << none;
        QTest::newRow("unknown short option") << QStringList{"-x"} << Action::UsageError << none;
        QTest::newRow("value for a flag")
            << QStringList{"--version=2"} << Action::UsageError << none;
        QTest::newRow("an option of the command-line program")
            << QStringList{"--stats", "a.txt"} << Action::UsageError << none;
        QTest::newRow("Qt's options left to Qt")
            << QStringList{"-platform", "offscreen", "a.txt",    "-style=Fusion",
                           "-reverse",  "--session", "10abc_20", "-qwindowtitle",
                           "x",         "b.txt"}
            << Action::OpenWindow << QStringList{"a.txt", "b.txt"};
        QTest::newRow("Qt's option without its value")
            << QStringList{"a.txt", "-platform"} << Action::UsageError << none;
        QTest::newRow("names after -- are files")
            << QStringList{"--", "-h", "--bogus"} << Action::OpenWindow
            << QStringList{"-h", "--bogus"};
    }
    void parse() {
        QFETCH(QStringList, arguments);
        QFETCH(Action, action);
        QFETCH(QStringList, files);
        arguments.prepend(QStringLiteral("trennix"));
        const WindowCommandLine line = ParseWindowCommandLine(arguments);
        QCOMPARE(line.action, action);
        QCOMPARE(line.files, files);
        QCOMPARE(line.error.isEmpty(), action != Action::UsageError);
    }

    // A file named on the command line lands in Text1 exactly as through the import dialog: the
    // same text and messages, the dialog starting at that file next, and a save keeping its
    // encoding.
    void sameAsImportDialog_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("gbk") << "gbk.txt" << QByteArray("\xbc\xd7\r\n\xd2\xd2\r\n\xbc\xd7\r\n");
        QTest::newRow("utf-16le with mark")
            << "utf16.txt" << QByteArray("\xff\xfe\x32\x75\r\0\n\0a\0\r\0\n\0\x32\x75", 16);
        QTest::newRow("utf-8 without mark, lone LF")
            << "utf8.txt" << QStringLiteral("甲\n乙\n甲\n").toUtf8();
        QTest::newRow("undecodable bytes") << "bad.txt" << QByteArray("a\r\n\xff\xff\r\na\r\n");
        QTest::newRow("read in the background")
            << "large.txt" << QByteArray("line\r\n").repeated(256 * 1024 / 6 + 1);
        QTest::newRow("missing file") << "missing.txt" << QByteArray();
        QTest::newRow("a directory") << "folder" << QByteArray();
    }
    void sameAsImportDialog() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        const QString file = path(name);
        if (name == QLatin1String("folder"))
            QVERIFY(QDir(dir.path()).mkpath(name));
        else if (!bytes.isEmpty())
            WriteAll(file, bytes);

        Session dialog;
        dialog.services.dialogAnswers = {file};
        dialog.click("Command2");
        dialog.waitIdle();
        Session named;
        named.open({file});

        QCOMPARE(named.text1()->text(), dialog.text1()->text());
        QCOMPARE(named.services.messages.size(), dialog.services.messages.size());
        for (qsizetype i = 0; i < named.services.messages.size(); ++i) {
            QCOMPARE(named.services.messages[i].prompt, dialog.services.messages[i].prompt);
            QCOMPARE(named.services.messages[i].style, dialog.services.messages[i].style);
            QCOMPARE(named.services.messages[i].title, dialog.services.messages[i].title);
        }
        QCOMPARE(named.services.fileName(), file);
        if (bytes.isEmpty())
            return;
        QVERIFY(!named.text1()->text().isEmpty());

        named.filterAndSave(path(QStringLiteral("named-out")));
        dialog.filterAndSave(path(QStringLiteral("dialog-out")));
        QCOMPARE(ReadAll(path(QStringLiteral("named-out"))),
                 ReadAll(path(QStringLiteral("dialog-out"))));
        // The save dialog started at the imported file.
        QVERIFY(named.services.dialogsShown.last().endsWith(u'|' + file));
    }

    void relativeNameMadeFull() {
        WriteAll(path(QStringLiteral("rel.txt")), "a\r\nb\r\n");
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        Session named;
        named.open({QStringLiteral("rel.txt")});
        QVERIFY(QDir::setCurrent(before));
        QCOMPARE(named.text1()->text(), QStringLiteral("a\r\nb\r\n"));
        QCOMPARE(named.services.fileName(), path(QStringLiteral("rel.txt")));
    }

    // Several files are one text, in their order, with a line break put where a file has none
    // at its end; the first file's encoding is the text's. A file that cannot be read imports
    // none of them.
    void severalFiles_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("text");
        QTest::newRow("two") << QStringList{"first.txt", "second.txt"} << "one\r\ntwo\r\n";
        QTest::newRow("reversed") << QStringList{"second.txt", "first.txt"} << "two\r\none\r\n";
        QTest::newRow("no line break at the end of the first")
            << QStringList{"open.txt", "first.txt"} << "甲\r\none\r\n";
        QTest::newRow("a missing one") << QStringList{"first.txt", "third.txt"} << "";
    }
    void severalFiles() {
        QFETCH(QStringList, names);
        QFETCH(QString, text);
        WriteAll(path(QStringLiteral("first.txt")), "one\r\n");
        WriteAll(path(QStringLiteral("second.txt")), "two\r\n");
        WriteAll(path(QStringLiteral("open.txt")), "\xbc\xd7"); // GBK, no line break
        QStringList files;
        for (const QString& name : names)
            files.append(path(name));
        Session named;
        named.open(files);
        QCOMPARE(named.text1()->text(), text);
        QCOMPARE(named.services.fileName(), files.first());
        if (text.isEmpty()) {
            QCOMPARE(named.services.messages.size(), 1);
            QVERIFY(named.services.messages[0].prompt.contains(QStringLiteral("third.txt")));
            return;
        }
        QVERIFY(named.services.messages.isEmpty());
        // The note over the input box names the files.
        for (const QString& name : names)
            QVERIFY2(named.text1()->note().contains(name), qPrintable(named.text1()->note()));
        named.filterAndSave(path(QStringLiteral("out.txt")));
        QCOMPARE(ReadAll(path(QStringLiteral("out.txt"))),
                 EncodeText(text, TextEncoding::Gbk)->bytes);
    }

    void noFiles() {
        Session named;
        OpenFiles(named.window, {});
        QVERIFY(QueuedWorkRan());
        QCOMPARE(named.text1()->text(), QString());
        QCOMPARE(named.services.fileName(), QString());
        QVERIFY(named.services.messages.isEmpty());
        QVERIFY(!named.services.calls.contains(QStringLiteral("Dialog")));
    }

    // The real program, with no display at all: what it prints and its exit status.
    void withoutDisplay_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QStringList>("errContains");
        const QString version = QStringLiteral("trennix " TRENNIX_PROJECT_VERSION "\n");
        const QString help = QStringLiteral("(help)");
        QTest::newRow("--version") << QStringList{"--version"} << 0 << version << QStringList{};
        QTest::newRow("-v with a file")
            << QStringList{"-v", "a.txt"} << 0 << version << QStringList{};
        QTest::newRow("--help") << QStringList{"--help"} << 0 << help << QStringList{};
        QTest::newRow("-h") << QStringList{"-h"} << 0 << help << QStringList{};
        QTest::newRow("unknown option")
            << QStringList{"--bogus", "a.txt"} << 2 << QString()
            << QStringList{"trennix: 未知选项“--bogus”", "用法：trennix ", "--help"};
        QTest::newRow("unknown short option, with a value")
            << QStringList{"-x=1"} << 2 << QString() << QStringList{"trennix: 未知选项“-x”"};
        QTest::newRow("Qt's option without its value")
            << QStringList{"-platform"} << 2 << QString() << QStringList{"platform", "用法："};
    }
    void withoutDisplay() {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QStringList, errContains);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(TRENNIX_PROGRAM), arguments);
        QVERIFY(program.waitForFinished(30000));
        const QString stdOut = QString::fromUtf8(program.readAllStandardOutput());
        const QString stdErr = QString::fromUtf8(program.readAllStandardError());
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), status);
        if (out == QLatin1String("(help)")) {
            for (const char* word : {"用法：", "选项：", "参数：", "-h, --help", "-v, --version",
                                     "显示版本号", "[文件...]"})
                QVERIFY2(stdOut.contains(QString::fromUtf8(word)), qPrintable(stdOut));
            // The program by its name, not the path it was started with.
            QVERIFY2(stdOut.startsWith(QStringLiteral("用法：trennix [选项] [文件...]\n")),
                     qPrintable(stdOut));
            // Qt's own options stay out of the help.
            QVERIFY2(!stdOut.contains(QStringLiteral("platform")), qPrintable(stdOut));
            QVERIFY2(stdErr.isEmpty(), qPrintable(stdErr));
        } else {
            QCOMPARE(stdOut, out);
        }
        for (const QString& part : errContains)
            QVERIFY2(stdErr.contains(part), qPrintable(stdErr));
        if (errContains.isEmpty())
            QVERIFY2(stdErr.isEmpty(), qPrintable(stdErr));
    }
};

QTEST_MAIN(CommandLineTest)
#include "tst_commandline.moc"
