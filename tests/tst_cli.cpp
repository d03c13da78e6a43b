#include "cli/cli.h"
#include "cli/helptext.h"
#include "cli/options.h"
#include "cli/progressmeter.h"
#include "core/comparisonoptions.h"
#include "filehelpers.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
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
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
