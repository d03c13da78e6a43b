#include "cli/cli.h"
#include "cli/helptext.h"
#include "cli/options.h"
#include "cli/progressmeter.h"
#include "core/comparisonoptions.h"
#include "core/shown.h"
#include "filehelpers.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class CliTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

    struct Run {
        int status;
        QByteArray out;
        QString err;
    };
    // The built program as a process in `folder`, or bash running `shell` there with $C the
    // program.
    Run runProgram(const QString& folder, const QStringList& arguments, const QString& shell = {}) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("C"), QStringLiteral(TRENNIX_CLI));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(folder);
        if (shell.isEmpty())
            p.start(QStringLiteral(TRENNIX_CLI), arguments);
        else
            p.start(QStringLiteral("bash"),
                    {QStringLiteral("-c"), QStringLiteral("set -o pipefail; ") + shell});
        if (!p.waitForStarted())
            return Run{-1, {}, QStringLiteral("did not start")};
        p.closeWriteChannel();
        p.waitForFinished(60000);
        return Run{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                   p.readAllStandardOutput(), QString::fromUtf8(p.readAllStandardError())};
    }
    // A fresh folder for a row.
    QString rowFolder() {
        const QString folder = dir.filePath(QStringLiteral("row%1").arg(++rows));
        QDir().mkpath(folder);
        return folder;
    }
    int rows = 0;

    Run run(QStringList arguments) {
        for (QString& a : arguments)
            a.replace(QStringLiteral("@"), dir.path() + u'/');
        QBuffer out, err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        const int status = RunCommandLine(arguments, out, err);
        return Run{status, out.data(), QString::fromUtf8(err.data())};
    }

private slots:
    void initTestCase() { QCoreApplication::setApplicationVersion(QStringLiteral("1.0.0")); }

    void usageErrors_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("says");
        QTest::newRow("unknown option") << QStringList{"--bogus"} << "bogus";
        QTest::newRow("keep what") << QStringList{"--keep=sometimes"} << "sometimes";
        QTest::newRow("sort what") << QStringList{"--sort=alphabet"} << "alphabet";
        QTest::newRow("encoding") << QStringList{"--encoding", "latin1"} << "latin1";
        QTest::newRow("output encoding") << QStringList{"--output-encoding=big5"} << "big5";
        QTest::newRow("both line breaks") << QStringList{"--crlf", "--lf"} << "--lf";
        QTest::newRow("memory") << QStringList{"--memory", "lots"} << "lots";
        QTest::newRow("-o without a name") << QStringList{"-o"} << "“-o”";
        QTest::newRow("unknown option as typed") << QStringList{"-frobnicate"} << "“-frobnicate”";
        QTest::newRow("two outputs") << QStringList{"a", "-o", "x", "--output=y"} << "-o 给了 2 次";
        QTest::newRow("memory past counting")
            << QStringList{"--memory", "17179869185G"} << "17179869185G";
        QTest::newRow("both progress options")
            << QStringList{"--progress", "--no-progress"} << "--no-progress";
        QTest::newRow("bad pattern") << QStringList{"--key-regex", "a(b"} << "a(b";
        QTest::newRow("column zero") << QStringList{"--field", "0"} << "0";
        QTest::newRow("column list") << QStringList{"--field", "1,,3"} << "1,,3";
        QTest::newRow("separator of two")
            << QStringList{"--field", "1", "--separator", "ab"} << "ab";
        QTest::newRow("separator without a column")
            << QStringList{"--separator", "csv"} << "--field";
        QTest::newRow("column and pattern")
            << QStringList{"--field", "2", "--key-regex", "x"} << "--key-regex";
        QTest::newRow("standard input twice")
            << QStringList{"-", "--exclude", "-"} << "标准输入只能读一次";
        QTest::newRow("similar below its range") << QStringList{"--similar", "49"} << "“49”";
        QTest::newRow("similar above its range") << QStringList{"--similar=100"} << "50 到 99";
        QTest::newRow("similar not a number") << QStringList{"--similar", "九十"} << "九十";
        QTest::newRow("similar without its value") << QStringList{"a", "--similar"} << "similar";
        QTest::newRow("similar keeping the last")
            << QStringList{"--similar", "90", "--keep", "last"} << "--keep last";
        QTest::newRow("similar keeping the unique")
            << QStringList{"--keep=unique", "--similar=80"} << "--keep unique";
        QTest::newRow("similar with counts")
            << QStringList{"--similar", "90", "--counts"} << "--counts";
        QTest::newRow("both on standard output")
            << QStringList{"a", "-o", "-", "--removed", "-"} << "都写到标准输出";
    }
    void usageErrors() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, says);
        const Run r = run(arguments);
        QCOMPARE(r.status, 2);
        QVERIFY(r.out.isEmpty());
        QVERIFY2(r.err.startsWith(QStringLiteral("trennix-cli: ")) && r.err.contains(says) &&
                     r.err.contains(QStringLiteral("用法")),
                 qPrintable(r.err));
    }

    void failures_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("names");
        QTest::newRow("missing input") << QStringList{"@missing.txt"} << "missing.txt";
        QTest::newRow("second input missing") << QStringList{"@in.txt", "@gone.txt"} << "gone.txt";
        QTest::newRow("input is a folder") << QStringList{"@sub"} << "sub";
        QTest::newRow("output folder missing")
            << QStringList{"@in.txt", "-o", "@nowhere/out.txt"} << "out.txt";
        QTest::newRow("output is a folder") << QStringList{"@in.txt", "-o", "@sub"} << "sub";
        QTest::newRow("output through a missing folder and back")
            << QStringList{"@in.txt", "-o", "@nowhere/../made.txt"} << "made.txt";
        QTest::newRow("output named as a folder that is not there")
            << QStringList{"@in.txt", "-o", "@made.txt/"} << "made.txt";
        QTest::newRow("output read-only") << QStringList{"@in.txt", "-o", "@ro.txt"} << "ro.txt";
        QTest::newRow("output kept when input fails")
            << QStringList{"@missing.txt", "-o", "@old.txt"} << "missing.txt";
        QTest::newRow("list missing")
            << QStringList{"@in.txt", "--exclude", "@gone-list.txt", "-o", "@old.txt"}
            << "gone-list.txt";
        QTest::newRow("intersecting list is a folder")
            << QStringList{"@in.txt", "--intersect", "@sub"} << "sub";
    }
    void failures() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, names);
        WriteAll(path(QStringLiteral("in.txt")), "a\nb\na\n");
        WriteAll(path(QStringLiteral("old.txt")), "old");
        QDir(dir.path()).mkpath(QStringLiteral("sub"));
        if (!QFile::exists(path(QStringLiteral("ro.txt")))) {
            WriteAll(path(QStringLiteral("ro.txt")), "read-only");
            QFile::setPermissions(path(QStringLiteral("ro.txt")), QFileDevice::ReadOwner);
        }
        const Run r = run(arguments);
        QCOMPARE(r.status, 1);
        QVERIFY(r.out.isEmpty());
        QVERIFY2(r.err.contains(names) && !r.err.contains(QStringLiteral("No such")) &&
                     !r.err.contains(QStringLiteral("ermission")),
                 qPrintable(r.err));
        QCOMPARE(ReadAll(path(QStringLiteral("old.txt"))), QByteArray("old"));
        QCOMPARE(ReadAll(path(QStringLiteral("ro.txt"))), QByteArray("read-only"));
        QVERIFY(!QFile::exists(path(QStringLiteral("nowhere"))));
        QVERIFY(!QFile::exists(path(QStringLiteral("made.txt"))));
    }

    // What is written for each kind of input and option, byte for byte.
    void results_data() {
        QTest::addColumn<QList<QByteArray>>("inputs");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("expected");
        using L = QList<QByteArray>;
        QTest::newRow("LF stays LF")
            << L{"b\na\nb\n\na\nc"} << QStringList() << QByteArray("b\na\nc\n");
        QTest::newRow("CR LF stays")
            << L{"x\r\ny\r\nx\r\n"} << QStringList() << QByteArray("x\r\ny\r\n");
        QTest::newRow("lone CR") << L{"x\ry\rx\r"} << QStringList() << QByteArray("x\ry\r");
        QTest::newRow("mixed: most common")
            << L{"a\r\nb\nc\nb\n"} << QStringList() << QByteArray("a\nb\nc\n");
        QTest::newRow("forced CR LF")
            << L{"a\nb\n"} << QStringList{"--crlf"} << QByteArray("a\r\nb\r\n");
        QTest::newRow("forced LF")
            << L{"a\r\nb\r\n"} << QStringList{"--lf"} << QByteArray("a\nb\n");
        QTest::newRow("several inputs, break added")
            << L{"a\nb", "b\nc\n", "a"} << QStringList() << QByteArray("a\nb\nc\n");
        QTest::newRow("empty") << L{""} << QStringList() << QByteArray();
        QTest::newRow("first line empty stays")
            << L{"\n\na\n\n"} << QStringList() << QByteArray("\na\n");
        QTest::newRow("counts") << L{"b\na\nb\nb\n"} << QStringList{"--counts"}
                                << QByteArray("3\tb\n1\ta\n");
        QTest::newRow("last") << L{"b\na\nb\n"} << QStringList{"--keep=last"}
                              << QByteArray("a\nb\n");
        QTest::newRow("unique") << L{"b\na\nb\n"} << QStringList{"--keep", "unique"}
                                << QByteArray("a\n");
        QTest::newRow("repeated, counts")
            << L{"b\na\nB\n"} << QStringList{"--keep=repeated", "--ignore-case", "--counts"}
            << QByteArray("2\tb\n");
        QTest::newRow("trim keeps the kept copy's spaces")
            << L{" a\na \n"} << QStringList{"--trim"} << QByteArray(" a\n");
        QTest::newRow("gbk stays gbk") << L{"\xbc\xd7\r\n\xd2\xd2\r\n\xbc\xd7\r\n"} << QStringList()
                                       << QByteArray("\xbc\xd7\r\n\xd2\xd2\r\n");
        QTest::newRow("gbk to utf-8")
            << L{"\xbc\xd7\r\n\xd2\xd2\r\n\xbc\xd7\r\n"}
            << QStringList{"--output-encoding", "utf-8"} << QStringLiteral("甲\r\n乙\r\n").toUtf8();
        QTest::newRow("utf-8 and gbk inputs are one text")
            << L{QStringLiteral("甲\n").toUtf8(), "\xbc\xd7\n\xd2\xd2\n"} << QStringList()
            << QStringLiteral("甲\n乙\n").toUtf8();
        QTest::newRow("utf-16le mark kept") << L{QByteArray("\xff\xfe"
                                                            "a\0\n\0a\0\n\0",
                                                            10)}
                                            << QStringList()
                                            << QByteArray("\xff\xfe"
                                                          "a\0\n\0",
                                                          6);
        QTest::newRow("forced utf-16be")
            << L{QByteArray("\0a\0\n\0a\0\n", 8)} << QStringList{"--encoding=utf-16be"}
            << QByteArray("\0a\0\n", 4);
        QTest::newRow("sort text")
            << L{"b\na\nb\nC\n"} << QStringList{"--sort", "text"} << QByteArray("C\na\nb\n");
        QTest::newRow("sort natural, reversed, counts")
            << L{"x10\nx9\nx10\nx09\n"} << QStringList{"--sort=natural", "--reverse", "--counts"}
            << QByteArray("2\tx10\n1\tx09\n1\tx9\n");
        QTest::newRow("sort count, keep last")
            << L{"a1\nb\nA2\nb\nB\n"} << QStringList{"--sort=count", "--ignore-case", "--keep=last"}
            << QByteArray("B\na1\nA2\n");
        QTest::newRow("sort pinyin of gbk")
            << L{"\xd5\xc5\n\xc0\xee\n\xb0\xb2\n"} << QStringList{"--sort=pinyin"}
            << QByteArray("\xb0\xb2\n\xc0\xee\n\xd5\xc5\n");
        QTest::newRow("sort length of a column")
            << L{"x,ccc\ny,a\nz,bb\n"} << QStringList{"--sort=length", "--field=2", "--separator=,"}
            << QByteArray("y,a\nz,bb\nx,ccc\n");
    }
    void results() {
        QFETCH(QList<QByteArray>, inputs);
        QFETCH(QStringList, options);
        QFETCH(QByteArray, expected);
        QStringList arguments = options;
        for (int i = 0; i < inputs.size(); ++i) {
            WriteAll(path(QStringLiteral("in%1.txt").arg(i)), inputs[i]);
            arguments << QStringLiteral("@in%1.txt").arg(i);
        }
        Run r = run(arguments);
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out.toHex(' '), expected.toHex(' '));
        QVERIFY(r.err.isEmpty());
        // The same into a file, which may be the input itself.
        r = run(arguments + QStringList{QStringLiteral("-o"), QStringLiteral("@in0.txt")});
        QCOMPARE(r.status, 0);
        QCOMPARE(ReadAll(path(QStringLiteral("in0.txt"))).toHex(' '), expected.toHex(' '));
    }

    // The program itself, twice: a file that went through once comes back unchanged, and the
    // odd last byte of UTF-16 stays last without a line break after it.
    void secondRunOfTheProgramChangesNothing_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("once");
        const QByteArray le("a\0\n\0b\0\n\0a\0\n\0\x2d\x4e\n\0", 16);
        QByteArray be = le;
        for (qsizetype i = 0; i < be.size(); i += 2)
            std::swap(be[i], be[i + 1]);
        QTest::newRow("utf-16le, odd") << le + "x" << le.first(8) + le.sliced(12) + "x";
        QTest::newRow("utf-16be, odd") << be + "x" << be.first(8) + be.sliced(12) + "x";
        QTest::newRow("utf-16le with mark, odd, CR last")
            << "\xff\xfe" + le + "\r"
            << "\xff\xfe" + le.first(8) + le.sliced(12) + "\r";
        QTest::newRow("utf-16be with mark, odd")
            << "\xfe\xff" + be + "\x81"
            << "\xfe\xff" + be.first(8) + be.sliced(12) + "\x81";
        QTest::newRow("utf-8, one stray byte")
            << QByteArray("ok\nbad \xff\nok\n\xe4\xb8\xad\xe6\x96\x87\n\xe4\xb8\xad\xe6\x96\x87\n")
            << QByteArray("ok\nbad \xff\n\xe4\xb8\xad\xe6\x96\x87\n");
        QTest::newRow("ascii, a NUL")
            << QByteArray("hello\nhello\0\nhello\n", 19) << QByteArray("hello\nhello\0\n", 13);
    }
    void secondRunOfTheProgramChangesNothing() {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, once);
        const QStringList files = {path(QStringLiteral("run0.txt")),
                                   path(QStringLiteral("run1.txt")),
                                   path(QStringLiteral("run2.txt"))};
        WriteAll(files[0], bytes);
        for (int run = 1; run <= 2; ++run) {
            QProcess p;
            p.start(QStringLiteral(TRENNIX_CLI),
                    {files[run - 1], QStringLiteral("-o"), files[run]});
            QVERIFY(p.waitForFinished());
            QCOMPARE(p.exitCode(), 0);
            QVERIFY(p.readAllStandardError().isEmpty());
            QCOMPARE(ReadAll(files[run]).toHex(' '), once.toHex(' '));
        }
    }

    // A compared list and a key, with what --stats says of them. A list's lines are keyed as the
    // input's are: with a column, a line of the list without that column holds no key.
    void listsAndKeys_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<QString>("stats");
        QTest::newRow("excluded, by column")
            << QByteArray("a\t1\nb\t2\nc\t3\nd\n") << QByteArray("x\t2\n2\n")
            << QStringList{"--field", "2", "--exclude=@list.txt"} << QByteArray("a\t1\nc\t3\nd\n")
            << "无键行：1\n排除清单 @list.txt 删除 1 行";
        QTest::newRow("intersected, phone numbers")
            << QByteArray("ann,+1 555-0100\nbob,555 0199\n\"c, d\",(555) 0100\n")
            << QByteArray("z,+15550100\n+15550199\n")
            << QStringList{"--separator", "csv",           "--field",
                           "2",           "--digits-only", "--intersect=@list.txt"}
            << QByteArray("ann,+1 555-0100\n") << "交集清单 @list.txt 删除 2 行";
        QTest::newRow("pattern, invisible characters")
            << QStringLiteral("id=7 a\nid=\u200b7 b\nid=8\n").toUtf8() << QByteArray("id=8\n")
            << QStringList{"--key-regex", "id=(\\S+)", "--ignore-invisible", "--exclude",
                           "@list.txt"}
            << QByteArray("id=7 a\n") << "排除清单 @list.txt 删除 1 行";
        QTest::newRow("near repeats by column, a list exact")
            << QStringLiteral("机器学习教程\t1\n机器学习教材\t2\ncolour chart\t3\ncolor chart\t4\n"
                              "spam\t5\nspan\t6\n")
                   .toUtf8()
            << QByteArray("spam\n")
            << QStringList{"--field", "1", "--similar", "80", "--exclude", "@list.txt"}
            << QStringLiteral("机器学习教程\t1\ncolour chart\t3\nspan\t6\n").toUtf8()
            << "有重复的行：2\n相似（不完全相同）而删除的行：2\n无键行：0\n"
               "排除清单 @list.txt 删除 1 行";
    }

    // Near repeats as the files on disk show them: each removed line names the first kept line
    // it is similar to, never a line that went itself.
    void similarRemovedRows() {
        const QString folder = rowFolder();
        WriteAll(folder + QStringLiteral("/in.txt"),
                 QStringLiteral("abcdefghij\nabcdefghiX\nabcdefghXX\n\nABCDEFGHIJ\nabcdefghij\n")
                     .toUtf8());
        const Run r = runProgram(folder, {QStringLiteral("--similar"), QStringLiteral("90"),
                                          QStringLiteral("--removed"), QStringLiteral("gone.txt"),
                                          QStringLiteral("in.txt"), QStringLiteral("--stats")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QByteArray("abcdefghij\nabcdefghXX\nABCDEFGHIJ\n"));
        QCOMPARE(ReadAll(folder + QStringLiteral("/gone.txt")),
                 QByteArray("2\t1\tabcdefghiX\n4\tblank\t\n6\t1\tabcdefghij\n"));
        QVERIFY2(r.err.contains(QStringLiteral("相似（不完全相同）而删除的行：1\n")),
                 qPrintable(r.err));
    }
    void listsAndKeys() {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, list);
        QFETCH(QStringList, options);
        QFETCH(QByteArray, expected);
        QFETCH(QString, stats);
        WriteAll(path(QStringLiteral("in.txt")), input);
        WriteAll(path(QStringLiteral("list.txt")), list);
        const Run r =
            run(options + QStringList{QStringLiteral("--stats"), QStringLiteral("@in.txt")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, expected);
        QVERIFY2(r.err.contains(stats.replace(QStringLiteral("@"), dir.path() + u'/')),
                 qPrintable(r.err));
    }

    // A line on which the pattern's engine reaches a limit is never taken as keyless: it is
    // decided with a larger stack, or the run fails naming the input, the line and why.
    void patternLimits_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("expected"); // standard output, when it succeeds
        QTest::addColumn<QString>("says");        // on standard error
        const QByteArray as = QByteArray(100000, 'a');
        QTest::newRow("deep alternation, decided") << "^(a|aa)+$" << as + "\n" + as + "\nb\n"
                                                   << 0 << as + "\nb\n"
                                                   << QString();
        const QByteArray abs = QByteArray("ab").repeated(25000) + 'c';
        QTest::newRow("deep repetition, decided") << "((?:a|b)*)c" << abs + "\n" + abs + "\n"
                                                  << 0 << abs + "\n"
                                                  << QString();
        const QByteArray nested = QByteArray(40, 'a') + "b\n";
        QTest::newRow("nested repetition, undecided")
            << "(a+)+$"
            << "x\n" + nested << 1 << QByteArray() << "in.txt 第 2 行";
        QTest::newRow("nested repetition, third line")
            << "(a+)+$"
            << "aab\naab\n" + nested << 1 << QByteArray() << "第 3 行";
    }
    void patternLimits() {
        QFETCH(QString, pattern);
        QFETCH(QByteArray, input);
        QFETCH(int, status);
        QFETCH(QByteArray, expected);
        QFETCH(QString, says);
        const QString folder = rowFolder();
        WriteAll(folder + QStringLiteral("/in.txt"), input);
        const Run r = runProgram(folder, {QStringLiteral("in.txt"), QStringLiteral("--key-regex"),
                                          pattern, QStringLiteral("--ignore-case"),
                                          QStringLiteral("-o"), QStringLiteral("out.txt")});
        QVERIFY2(r.status == status, qPrintable(r.err));
        if (status == 0) {
            QCOMPARE(ReadAll(folder + QStringLiteral("/out.txt")), expected);
            return;
        }
        QVERIFY2(r.err.contains(says) && r.err.contains(QStringLiteral("回溯")), qPrintable(r.err));
        QVERIFY(!QFile::exists(folder + QStringLiteral("/out.txt")));
    }

    // A column number is a number the user types: the memory a run takes never follows it. Under
    // a limit of 3 GB of address space, columns far past any line are looked for, found missing,
    // and the lines kept as keyless; the byte keys and the text keys alike.
    void columnNumbersTakeNoMemory_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("largest column")
            << QStringList{"--field", "2147483647"} << QByteArray("a\t1\na\t1\nb\n");
        QTest::newRow("large column")
            << QStringList{"--field", "300000000"} << QByteArray("a\t1\na\t1\nb\n");
        QTest::newRow("a present column, then a large one")
            << QStringList{"--field", "1,300000000"} << QByteArray("a\t1\na\t1\nb\n");
        QTest::newRow("text keys, largest column")
            << QStringList{"--field", "2147483647", "--ignore-case"}
            << QByteArray("a\t1\na\t1\nb\n");
        QTest::newRow("a present column, the large one repeated")
            << QStringList{"--field", "2,2147483647,2"} << QByteArray("a\t1\na\t1\nb\n");
        QTest::newRow("present column") << QStringList{"--field", "2"} << QByteArray("a\t1\nb\n");
    }
    void columnNumbersTakeNoMemory() {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, expected);
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("AddressSanitizer reserves more address space than the limit this test sets");
#endif
        const QString folder = rowFolder();
        WriteAll(folder + QStringLiteral("/in.txt"), "a\t1\na\t1\nb\n");
        const Run r = runProgram(
            folder, {}, QStringLiteral("ulimit -v 3000000; $C in.txt ") + options.join(u' '));
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QCOMPARE(r.out, expected);
    }

    // A stop asked for before the run begins (a signal while the program starts) stops it; the
    // next run starts afresh.
    void stopBeforeTheRun() {
        WriteAll(path(QStringLiteral("stop.txt")), "b\na\nb\n");
        InterruptCommandLine();
        Run r = run({QStringLiteral("@stop.txt")});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(QStringLiteral("已中断")), qPrintable(r.err));
        QVERIFY(r.out.isEmpty());
        r = run({QStringLiteral("@stop.txt")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QByteArray("b\na\n"));
    }

    void stats() {
        WriteAll(path(QStringLiteral("s.txt")), "b\na\nb\n\na\nc\n");
        const Run r = run({QStringLiteral("--stats"), QStringLiteral("@s.txt")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.err, QStringLiteral("读入行数：6\n保留行数：3\n删除行数：3\n有重复的行：2\n"));
    }

    void helpAndVersion() {
        Run r = run({QStringLiteral("--help")});
        QCOMPARE(r.status, 0);
        // Each option as a whole name in the names' column, so that "--keep" is not found inside
        // "--keep-blank".
        const QString help = QString::fromUtf8(r.out);
        QStringList options{
            "-o",          "--output", "--encoding",  "--output-encoding", "--crlf",
            "--lf",        "--stats",  "--progress",  "--no-progress",     "--exclude",
            "--intersect", "--field",  "--separator", "--key-regex",       "--counts",
            "--removed",   "--memory", "--help",      "--version"};
        for (const ComparisonOption& option : ComparisonOptions()) {
            options << QStringLiteral("--") + QLatin1String(option.name);
            // Its help beside it (its first words: the rest may be wrapped).
            QVERIFY2(help.contains(QString::fromUtf16(option.help).left(8)), option.name);
        }
        for (const QString& option : options) {
            const QRegularExpression name(
                QStringLiteral("\\n  (-\\w, )?%1[ ,\\n]").arg(QRegularExpression::escape(option)));
            QVERIFY2(help.contains(name), qPrintable(option));
        }
        r = run({QStringLiteral("--version")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QByteArray("trennix-cli 1.0.0\n"));
    }

    // Each comparison option on the command line sets its member and no other: by its name
    // alone, or with each of its values (the last one given counts).
    void readsEveryComparisonOption_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("value");
        const auto table = ComparisonOptions();
        for (std::size_t i = 0; i < table.size(); ++i) {
            const ComparisonOption& option = table[i];
            const QString name = QStringLiteral("--") + QLatin1String(option.name);
            if (option.isFlag()) {
                QTest::newRow(option.name) << QStringList{name} << int(i) << 1;
                continue;
            }
            if (option.isNumber()) {
                const QString least = QString::number(option.minimum);
                const QString most = QString::number(option.maximum);
                QTest::addRow("%s=%d", option.name, option.minimum)
                    << QStringList{name + u'=' + least} << int(i) << option.minimum;
                QTest::addRow("%s %d after %d", option.name, option.maximum, option.minimum)
                    << QStringList{name, least, name, most} << int(i) << option.maximum;
                continue;
            }
            for (const OptionChoice& choice : option.choices) {
                const QString word = QString::fromLatin1(choice.word);
                const QString other =
                    QString::fromLatin1(option.choices[&choice == &option.choices[0] ? 1 : 0].word);
                QTest::addRow("%s=%s", option.name, choice.word)
                    << QStringList{name + u'=' + word} << int(i) << choice.value;
                QTest::addRow("%s %s after %s", option.name, choice.word, qPrintable(other))
                    << QStringList{name, other, name, word} << int(i) << choice.value;
            }
        }
    }
    void readsEveryComparisonOption() {
        QFETCH(QStringList, arguments);
        QFETCH(int, index);
        QFETCH(int, value);
        const Options o;
        QCommandLineParser parser;
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        for (const QCommandLineOption* option : o.all())
            parser.addOption(*option);
        QVERIFY(parser.parse(QStringList{QStringLiteral("trennix-cli")} + arguments));
        FilterOptions read;
        QVERIFY(!ReadComparisonOptions(parser, o, read));
        FilterOptions expected;
        SetOptionValue(ComparisonOptions()[std::size_t(index)], expected, value);
        QCOMPARE(read, expected);
    }

    // Help laid out for a terminal: no line wider than its columns (a Chinese character takes
    // two), none that starts with a sign that may not start a line, and nothing lost.
    void wrapping_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::newRow("chinese with brackets")
            << QStringLiteral("保留哪一行：first（第一次出现的，默认）、last（最后一次出现的）、"
                              "unique（只保留没有重复的行）、repeated（只列出重复的行）。")
            << 54;
        QTest::newRow("narrow") << QStringLiteral("内存预算，例如 512M 或 2G；超出时借助临时文件。")
                                << 12;
        QTest::newRow("latin words") << QStringLiteral("one two three four five six seven") << 10;
        QTest::newRow("two paragraphs")
            << QStringLiteral("第一段文字。\n第二段，较长的文字。") << 10;
    }
    void wrapping() {
        QFETCH(QString, text);
        QFETCH(int, width);
        const QString wrapped = WrapText(text, width, 0);
        const QStringList lines = wrapped.split(u'\n');
        for (const QString& line : lines) {
            QVERIFY2(DisplayWidth(line) <= width, qPrintable(line));
            QVERIFY2(line.isEmpty() || !QStringLiteral("）)，。、；：”").contains(line[0]),
                     qPrintable(line));
        }
        QString joined = wrapped;
        joined.remove(u'\n');
        QString original = text;
        original.remove(u'\n');
        joined.remove(u' ');
        original.remove(u' ');
        QCOMPARE(joined, original);
        QVERIFY(lines.size() > text.count(u'\n') + 1);
    }
    void helpFitsTheTerminal() {
        const QString help = QString::fromUtf8(run({QStringLiteral("--help")}).out);
        QVERIFY(help.startsWith(QStringLiteral("用法：trennix-cli ")));
        for (const QString& line : help.split(u'\n')) {
            QVERIFY2(DisplayWidth(line) <= 80, qPrintable(line));
            const QString body = line.trimmed();
            QVERIFY2(body.isEmpty() || !QStringLiteral("）)，。、；：”").contains(body[0]),
                     qPrintable(line));
        }
    }

    // The progress line: the share done, then, once there is a speed to go by, the speed and the
    // time left.
    void progressLine_data() {
        QTest::addColumn<qint64>("done");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<qint64>("elapsedMs");
        QTest::addColumn<QString>("expected");
        const qint64 mb = qint64(1) << 20;
        QTest::newRow("start") << qint64(0) << 100 * mb << qint64(0) << QStringLiteral("  0%");
        QTest::newRow("too early for a speed")
            << 10 * mb << 100 * mb << qint64(499) << QStringLiteral(" 10%");
        QTest::newRow("half") << 50 * mb << 100 * mb << qint64(1000)
                              << QStringLiteral(" 50%  50.0 MB/s  剩余 0:01");
        QTest::newRow("long") << 1 * mb << 5000 * mb << qint64(1000)
                              << QStringLiteral("  0%  1.0 MB/s  剩余 1:23:19");
        QTest::newRow("done") << 100 * mb << 100 * mb << qint64(2000)
                              << QStringLiteral("100%  50.0 MB/s  剩余 0:00");
    }
    void progressLine() {
        QFETCH(qint64, done);
        QFETCH(qint64, total);
        QFETCH(qint64, elapsedMs);
        QFETCH(QString, expected);
        QCOMPARE(ProgressMeter::line(done, total, elapsedMs), expected);
    }

    // The program itself: standard input to standard output, and its exit status.
    void theProgram() {
        QProcess p;
        p.start(QStringLiteral(TRENNIX_CLI), {QStringLiteral("--stats")});
        QVERIFY(p.waitForStarted());
        p.write("z\r\ny\r\nz\r\n");
        p.closeWriteChannel();
        QVERIFY(p.waitForFinished());
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(p.readAllStandardOutput(), QByteArray("z\r\ny\r\n"));
        QVERIFY(
            QString::fromUtf8(p.readAllStandardError()).contains(QStringLiteral("删除行数：1")));

        p.start(QStringLiteral(TRENNIX_CLI), {path(QStringLiteral("absent.txt"))});
        QVERIFY(p.waitForFinished());
        QCOMPARE(p.exitCode(), 1);
        QVERIFY(QString::fromUtf8(p.readAllStandardError()).contains(QStringLiteral("absent.txt")));
    }

    // Names of the same file, of standard output and of standard input: what each run writes
    // where, refuses or says. In a fresh folder holding in.txt ("b a b"); `files` lists what the
    // folder holds afterwards ("name=content"; "!name": no such file).
    void namesOfOneFile_data() {
        QTest::addColumn<QString>("shell");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says"); // empty: nothing
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QStringList>("files");
        using L = QStringList;
        const QByteArray none;
        // Two outputs that are one file by another name.
        QTest::newRow("dangling link to the output")
            << "ln -s new.txt dang.txt; $C in.txt --removed dang.txt -o new.txt" << 2
            << "--removed dang.txt 和 -o new.txt 是同一个文件" << none << L{"!new.txt"};
        QTest::newRow("folder link to its own folder")
            << "ln -s . self; $C in.txt --removed self/x.txt -o x.txt" << 2 << "同一个文件" << none
            << L{"!x.txt"};
        QTest::newRow("into a folder and back")
            << "mkdir sub; $C in.txt --removed sub/../x.txt -o x.txt" << 2 << "同一个文件" << none
            << L{"!x.txt"};
        QTest::newRow(".. after a folder link leads to the link's target's parent")
            << "mkdir -p a/b; ln -s a/b lb; $C in.txt --removed lb/../x.txt -o a/x.txt" << 2
            << "同一个文件" << none << L{"!a/x.txt", "!x.txt"};
        QTest::newRow("dangling link through a folder link")
            << "mkdir sub; ln -s sub ls; ln -s ../ls/new.txt sub/d.txt; "
               "$C in.txt --removed sub/d.txt -o sub/new.txt"
            << 2 << "同一个文件" << none << L{"!sub/new.txt"};
        QTest::newRow("hard links")
            << "echo x > x.txt; ln x.txt h.txt; $C in.txt --removed h.txt -o x.txt" << 2
            << "同一个文件" << none << L{"x.txt=x\n"};
        QTest::newRow("two files") << "$C in.txt --removed r.txt -o x.txt" << 0 << "" << none
                                   << L{"x.txt=b\na\n", "r.txt=3\t1\tb\n"};
        QTest::newRow("a link that loops") << "ln -s loop.txt loop.txt; $C in.txt -o loop.txt" << 1
                                           << "符号链接太多" << none << L{};
        // Standard output by its names.
        QTest::newRow("-o - is standard output")
            << "$C in.txt -o -" << 0 << "" << QByteArray("b\na\n") << L{"!-"};
        QTest::newRow("--removed - is standard output")
            << "$C in.txt --removed - -o x.txt" << 0 << "" << QByteArray("3\t1\tb\n")
            << L{"!-", "x.txt=b\na\n"};
        QTest::newRow("-o /dev/stdout on a pipe")
            << "$C in.txt -o /dev/stdout | cat" << 0 << "" << QByteArray("b\na\n") << L{};
        QTest::newRow("--removed /dev/stdout on a pipe")
            << "$C in.txt --removed /dev/stdout -o x.txt | cat" << 0 << ""
            << QByteArray("3\t1\tb\n") << L{"x.txt=b\na\n"};
        QTest::newRow("-o /dev/stdout appends where the shell appends")
            << "echo old > log.txt; $C in.txt -o /dev/stdout >> log.txt" << 0 << "" << none
            << L{"log.txt=old\nb\na\n"};
        QTest::newRow("both on standard output")
            << "$C in.txt -o - --removed /dev/stdout | cat" << 2 << "都写到标准输出" << none << L{};
        QTest::newRow("standard output is the removed lines' file")
            << "$C in.txt --removed r.txt > r.txt" << 2 << "标准输出和 --removed r.txt" << none
            << L{"r.txt="};
        QTest::newRow("standard output is the output file")
            << "$C in.txt --removed - -o x.txt >> x.txt" << 2 << "标准输出和 -o x.txt" << none
            << L{"x.txt="};
        QTest::newRow("standard output appends to a list")
            << "printf 'z\\n' > l.txt; $C in.txt --exclude l.txt >> l.txt" << 1
            << "标准输出就是清单 l.txt" << none << L{"l.txt=z\n"};
        QTest::newRow("-o names a pipe by a name of the system's")
            << "echo x | $C in.txt -o /dev/stdin" << 1 << "命名管道" << none << L{};
        // Standard input, and streams, read once.
        QTest::newRow("standard input as an input and a list")
            << "printf 'a\\n' | $C - --exclude -" << 2 << "标准输入只能读一次" << none << L{};
        QTest::newRow("standard input by two names")
            << "printf 'a\\n' | $C - /dev/stdin" << 2 << "同一个管道" << none << L{};
        QTest::newRow("a FIFO twice, refused before it is waited for")
            << "mkfifo f; $C f --exclude f -o x.txt" << 2 << "f 和 f 是同一个管道" << none
            << L{"!x.txt"};
        QTest::newRow("a file twice, its removed lines told apart")
            << "$C in.txt in.txt --removed - -o x.txt" << 0 << ""
            << QByteArray("in.txt#1:3\tin.txt#1:1\tb\nin.txt#2:1\tin.txt#1:1\tb\n"
                          "in.txt#2:2\tin.txt#1:2\ta\nin.txt#2:3\tin.txt#1:1\tb\n")
            << L{"x.txt=b\na\n"};
        // What the outputs may replace.
        QTest::newRow("--removed names the input by a link")
            << "ln -s in.txt s.txt; $C in.txt --removed s.txt -o x.txt" << 2
            << "--removed s.txt 就是输入文件 in.txt" << none << L{"!x.txt", "in.txt=b\na\nb\n"};
        QTest::newRow("--removed names a list")
            << "echo q > l.txt; $C in.txt --exclude l.txt --removed l.txt" << 2 << "就是清单 l.txt"
            << none << L{"l.txt=q\n"};
        QTest::newRow("-o names a list: told")
            << "printf 'q\\n' > l.txt; $C in.txt --exclude l.txt -o l.txt" << 0 << "也是清单 l.txt"
            << none << L{"l.txt=b\na\n"};
        QTest::newRow("-o names the input: nothing said")
            << "$C in.txt -o in.txt" << 0 << "" << none << L{"in.txt=b\na\n"};
    }
    void namesOfOneFile() {
        QFETCH(QString, shell);
        QFETCH(int, status);
        QFETCH(QString, says);
        QFETCH(QByteArray, out);
        QFETCH(QStringList, files);
        const QString folder = rowFolder();
        WriteAll(folder + QStringLiteral("/in.txt"), "b\na\nb\n");
        const Run r = runProgram(folder, {}, shell);
        QCOMPARE(r.status, status);
        if (says.isEmpty())
            QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
        else
            QVERIFY2(r.err.contains(says), qPrintable(r.err));
        if (!out.isNull())
            QCOMPARE(r.out, out);
        for (const QString& file : files) {
            if (file.startsWith(u'!')) {
                QVERIFY2(!QFileInfo::exists(folder + u'/' + file.mid(1)), qPrintable(file));
                continue;
            }
            const QString name = file.section(u'=', 0, 0);
            QCOMPARE(ReadAll(folder + u'/' + name), file.section(u'=', 1).toUtf8());
        }
        // Nothing half-made is left.
        for (const QString& name : QDir(folder).entryList(QDir::AllEntries | QDir::Hidden))
            QVERIFY2(!name.contains(QStringLiteral(".saving-")) &&
                         !name.contains(QStringLiteral(".backup-")),
                     qPrintable(name));
    }

    // Control characters in names and values reach standard error as escapes, whichever message
    // they are in.
    void messagesShowControlsEscaped_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("shown");
        QTest::newRow("a missing input")
            << QStringList{"missing\x1b[2J.txt"} << 1 << "missing\\x1b[2J.txt";
        QTest::newRow("a C1 control")
            << QStringList{QString::fromUtf16(u"in\u009b2J.txt")} << 1 << "in\\x9b2J.txt";
        QTest::newRow("a right-to-left override")
            << QStringList{QString::fromUtf16(u"in\u202etxt.exe")} << 1 << "in\\u202etxt.exe";
        QTest::newRow("an unknown option")
            << QStringList{"--bo\x1b]0;x\x07gus"} << 2 << "--bo\\x1b]0;x\\x07gus";
        QTest::newRow("a keep mode") << QStringList{"--keep=fi\nrst"} << 2 << "fi\\nrst";
        QTest::newRow("an encoding") << QStringList{"--encoding=u\rtf"} << 2 << "u\\rtf";
        QTest::newRow("a pattern") << QStringList{"--key-regex", "(\x1b[1m"} << 2 << "(\\x1b[1m";
        QTest::newRow("a column list") << QStringList{"--field", "1,\x1b,"} << 2 << "“\\x1b”";
        QTest::newRow("an output's folder")
            << QStringList{"in.txt", "-o", "nowhere/o\x1but.txt"} << 1 << "o\\x1but.txt";
        QTest::newRow("a list in the counts")
            << QStringList{"in.txt", "--exclude", "l\x1bst.txt", "--stats"} << 0 << "l\\x1bst.txt";
        QTest::newRow("a line break in an output's name")
            << QStringList{"in.txt", "-o", "nowhere/a\nb.txt"} << 1 << "nowhere/a\\nb.txt";
    }
    void messagesShowControlsEscaped() {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, shown);
        const QString folder = rowFolder();
        WriteAll(folder + QStringLiteral("/in.txt"), "b\na\nb\n");
        WriteAll(folder + QStringLiteral("/l\x1bst.txt"), "a\n");
        const Run r = runProgram(folder, arguments);
        QCOMPARE(r.status, status);
        QVERIFY2(r.err.contains(shown), qPrintable(r.err));
        const QByteArray raw = r.err.toUtf8();
        for (qsizetype i = 0; i < raw.size(); ++i) {
            const uchar c = uchar(raw[i]);
            QVERIFY2((c >= 0x20 && c != 0x7f) || c == '\n', qPrintable(r.err));
            // C1 controls and the direction marks, as UTF-8.
            QVERIFY(!(c == 0xc2 && i + 1 < raw.size() && uchar(raw[i + 1]) < 0xa0));
            QVERIFY(!raw.sliced(i).startsWith("\xe2\x80\xae"));
        }
    }

    // A value too long to read in a message is shown by its beginning, its end and its length.
    void longValuesShortened_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("length");
        QTest::newRow("a 117 KB pattern")
            << QStringList{"--key-regex", u'(' + QString(117000, u'a')} << 2 << "共 117,001 个字符";
        QTest::newRow("an unknown option")
            << QStringList{"--" + QString(100000, u'x')} << 2 << "共 100,002 个字符";
        QTest::newRow("a column list")
            << QStringList{"--field", QString("1,").repeated(50000)} << 2 << "共 100,000 个字符";
        QTest::newRow("a missing input's path")
            << QStringList{QStringLiteral("a/").repeated(1500) + "x.txt"} << 1 << "共 3,005 个字符";
        QTest::newRow("the longest shown whole")
            << QStringList{"--keep", QString(kMostShownChars, u'k')} << 2
            << QString(kMostShownChars, u'k');
    }
    void longValuesShortened() {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, length);
        const Run r = runProgram(rowFolder(), arguments);
        QCOMPARE(r.status, status);
        QVERIFY2(r.err.contains(length), qPrintable(r.err.left(3000)));
        QVERIFY2(r.err.size() < 1500, qPrintable(QString::number(r.err.size())));
    }

    // A chosen encoding is written as it is or not at all: GBK chosen does not become GB18030
    // for a character it lacks, for the result nor for the removed lines (the window's saves
    // follow the same rule). Not chosen, the result keeps the input's encoding, GBK widened.
    void chosenEncodingIsExact_data() {
        QTest::addColumn<QString>("shell");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        QTest::addColumn<QByteArray>("out"); // standard output, or x.txt when it is not "old"
        QTest::newRow("GBK chosen, a character it lacks")
            << "$C e.txt --output-encoding gbk -o x.txt" << 1 << "GBK 编码写不下它"
            << QByteArray("old");
        QTest::newRow("GBK chosen, to standard output")
            << "$C e.txt --output-encoding gbk" << 1 << "GBK 编码写不下它" << QByteArray();
        QTest::newRow("GB18030 chosen") << "$C e.txt --output-encoding gb18030 -o x.txt" << 0 << ""
                                        << QByteArray("\xd6\xd0\x94\x39\xfc\x36\n");
        QTest::newRow("GBK chosen, a removed line's input name")
            << "cp g.txt $'\\xf0\\x9f\\x98\\x80.txt'; "
               "$C $'\\xf0\\x9f\\x98\\x80.txt' g.txt --output-encoding gbk --removed r.txt -o x.txt"
            << 1 << "GBK 编码写不下它" << QByteArray("old");
        QTest::newRow("not chosen: GBK, widened where it lacks a character")
            << "$C g.txt e.txt" << 0 << "" << QByteArray("\xd6\xd0\n\xd6\xd0\x94\x39\xfc\x36\n");
    }
    void chosenEncodingIsExact() {
        QFETCH(QString, shell);
        QFETCH(int, status);
        QFETCH(QString, says);
        QFETCH(QByteArray, out);
        const QString folder = rowFolder();
        WriteAll(folder + QStringLiteral("/e.txt"), QStringLiteral("中😀\n").toUtf8());
        WriteAll(folder + QStringLiteral("/g.txt"), "\xd6\xd0\n");
        WriteAll(folder + QStringLiteral("/x.txt"), "old");
        const Run r = runProgram(folder, {}, shell);
        QCOMPARE(r.status, status);
        QVERIFY2(says.isEmpty() ? r.err.isEmpty() : r.err.contains(says), qPrintable(r.err));
        if (shell.contains(QStringLiteral("-o x.txt")))
            QCOMPARE(ReadAll(folder + QStringLiteral("/x.txt")).toHex(' '), out.toHex(' '));
        else
            QCOMPARE(r.out.toHex(' '), out.toHex(' '));
        QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/r.txt")));
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
