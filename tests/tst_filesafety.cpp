// The built trennix-cli as a process, on files on disk: its output onto its own inputs, inputs
// that change while they are read, files whose size the system makes up, streams that wait,
// signals, full disks. Every row checks the exit status, the message, the target's bytes and
// that nothing is left beside the target or in the temporary folder.

#include "filehelpers.h"
#include "shards.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr qint64 kMiB = qint64(1) << 20;
// The size up to which an input is read whole rather than mapped.
constexpr qint64 kReadWhole = 16 * kMiB;

// A text of exactly `size` bytes of LF lines, about half of them repeats of earlier ones.
QByteArray MakeText(qint64 size, quint32 seed) {
    QRandomGenerator random(seed);
    QByteArray text;
    text.reserve(size + 64);
    while (text.size() < size) {
        const quint32 n = random.bounded(quint32(std::max<qint64>(size / 60, 16)));
        text += "line ";
        text += QByteArray::number(n);
        text += random.bounded(4) == 0 ? " Ab" : " ab";
        text += '\n';
    }
    text.truncate(size - 1);
    text += '\n';
    return text;
}

// The first copy of every line, in order (LF lines, none blank): what the default rules keep.
QByteArray FirstCopies(const QByteArray& text) {
    QSet<QByteArray> seen;
    QByteArray out;
    for (const QByteArray& line : text.split('\n')) {
        if (line.isEmpty() || seen.contains(line))
            continue;
        seen.insert(line);
        out += line + '\n';
    }
    return out;
}

struct Outcome {
    int status = -1;
    QByteArray out;
    QString err;
};

// True once the process has its handlers for SIGINT, SIGTERM and SIGHUP in place and sleeps in a
// wait for a stream (poll), as the system shows it.
bool WaitsWithHandlers(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    quint64 caught = 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:"))
            caught = line.mid(7).trimmed().toULongLong(nullptr, 16);
    }
    const quint64 wanted =
        (quint64(1) << (SIGINT - 1)) | (quint64(1) << (SIGTERM - 1)) | (quint64(1) << (SIGHUP - 1));
    if ((caught & wanted) != wanted)
        return false;
    QFile call(QStringLiteral("/proc/%1/syscall").arg(pid));
    if (!call.open(QIODevice::ReadOnly))
        return false;
    const long number = call.readAll().split(' ').value(0).toLong();
#if defined(SYS_poll)
    if (number == SYS_poll)
        return true;
#endif
    return number == SYS_ppoll;
}

// Waits until the process waits for its stream with its handlers in place (or has ended).
bool WaitUntilWaiting(QProcess& p) {
    QElapsedTimer clock;
    clock.start();
    while (p.state() == QProcess::Running && clock.elapsed() < 30000) {
        if (WaitsWithHandlers(p.processId()))
            return true;
        p.waitForFinished(5); // a pause that ends early should the process end
    }
    return false;
}

// Waits until the process has its handlers for SIGINT and SIGTERM in place and has spent a
// second of processor time (or has ended): then it is at work on its lines.
bool WaitUntilBusy(QProcess& p) {
    const long ticks = sysconf(_SC_CLK_TCK);
    QElapsedTimer clock;
    clock.start();
    while (p.state() == QProcess::Running && clock.elapsed() < 60000) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(p.processId()));
        if (stat.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> fields = stat.readAll().split(')').value(1).split(' ');
            // After the name: state is field 1, utime 12, stime 13.
            const long used = fields.value(12).toLong() + fields.value(13).toLong();
            if (used >= ticks)
                return true;
        }
        p.waitForFinished(20); // a pause that ends early should the process end
    }
    return false;
}

} // namespace

class FileSafetyTest : public QObject {
    Q_OBJECT
    QTemporaryDir root;
    int rowNumber = 0;
    QString folder;       // a fresh folder for each row: where the files are
    QString temp;         // and the temporary folder the program is given
    QByteArray largeText; // a text the program takes a while over, made when first needed

    const QByteArray& large() {
        if (largeText.isEmpty())
            largeText = MakeText(160 * kMiB, 7);
        return largeText;
    }

    QString path(const QString& name) const { return folder + u'/' + name; }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), temp);
        return env;
    }

    Outcome run(const QStringList& arguments, const QByteArray& input = {},
                const QProcessEnvironment& env = {}) {
        QProcess p;
        p.setProcessEnvironment(env.isEmpty() ? environment() : env);
        p.setWorkingDirectory(folder);
        p.start(QStringLiteral(TRENNIX_CLI), arguments);
        if (!p.waitForStarted())
            return {};
        p.write(input);
        p.closeWriteChannel();
        p.waitForFinished(120000);
        return Outcome{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                       p.readAllStandardOutput(), QString::fromUtf8(p.readAllStandardError())};
    }

    // Starts the program with its progress drawn, and returns once it has read a part of its
    // input (or ended).
    void startAndWaitForProgress(QProcess& p, const QStringList& arguments, QByteArray* err) {
        p.setProcessEnvironment(environment());
        p.setWorkingDirectory(folder);
        p.start(QStringLiteral(TRENNIX_CLI), QStringList{QStringLiteral("--progress")} + arguments);
        QVERIFY(p.waitForStarted());
        QElapsedTimer clock;
        clock.start();
        while (p.state() == QProcess::Running && clock.elapsed() < 60000) {
            p.waitForReadyRead(50);
            *err += p.readAllStandardError();
            if (err->contains('%'))
                return;
        }
    }

    // Nothing left in the temporary folder, and nothing in the target's folder but `names`.
    void nothingLeft(const QStringList& names) {
        QCOMPARE(Entries(temp), QStringList());
        QStringList expected = names;
        expected.sort();
        QCOMPARE(Entries(folder), expected);
    }

private slots:
    void initTestCase() { QVERIFY(root.isValid()); }

    void init() {
        folder = root.filePath(QStringLiteral("row%1").arg(++rowNumber));
        temp = root.filePath(QStringLiteral("temp%1").arg(rowNumber));
        QVERIFY(QDir().mkpath(folder) && QDir().mkpath(temp));
    }
    void cleanup() {
        QDir(folder).removeRecursively();
        QDir(temp).removeRecursively();
    }

    // The result written onto one of the inputs equals the result written elsewhere, whatever
    // names the input (the same path, a second hard link, a symbolic link), at sizes on both
    // sides of the bound up to which an input is read whole and of the memory budget, saved by
    // rename or in place (a second hard link forces that), with and without options.
    void outputOntoInput_data() {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("memory");
        QTest::addColumn<QString>("target"); // how the output names the input
        QTest::addColumn<bool>("inPlace");
        QTest::addColumn<QStringList>("options");
        const QList<QPair<qint64, QString>> sizes = {{kReadWhole - 100, QString()},
                                                     {kReadWhole + 100, QString()},
                                                     {24 * kMiB - 1024, QStringLiteral("24M")},
                                                     {24 * kMiB + 1024, QStringLiteral("24M")}};
        const QList<QPair<QString, bool>> targets = {{QStringLiteral("same path"), false},
                                                     {QStringLiteral("same path"), true},
                                                     {QStringLiteral("second hard link"), true},
                                                     {QStringLiteral("symbolic link"), false}};
        const QList<QStringList> options = {
            {},
            {QStringLiteral("--ignore-case"), QStringLiteral("--output-encoding=utf-16le")},
            {QStringLiteral("--crlf"), QStringLiteral("--keep=last")}};
        for (const auto& [size, memory] : sizes) {
            for (const auto& [target, inPlace] : targets) {
                for (const QStringList& o : options) {
                    const QString name =
                        QStringLiteral("%1 bytes%2, %3%4%5")
                            .arg(size)
                            .arg(memory.isEmpty() ? QString()
                                                  : QStringLiteral(" --memory ") + memory)
                            .arg(target, inPlace ? QStringLiteral(", in place") : QString(),
                                 o.isEmpty() ? QString() : QStringLiteral(", ") + o.join(u' '));
                    QTest::newRow(qPrintable(name)) << size << memory << target << inPlace << o;
                }
            }
        }
    }
    void outputOntoInput() {
        QFETCH(qint64, size);
        QFETCH(QString, memory);
        QFETCH(QString, target);
        QFETCH(bool, inPlace);
        QFETCH(QStringList, options);
        const QByteArray text = MakeText(size, quint32(size));
        WriteAll(path(QStringLiteral("in.txt")), text);
        WriteAll(path(QStringLiteral("copy.txt")), text);
        QStringList common = options;
        if (!memory.isEmpty())
            common << QStringLiteral("--memory") << memory;

        // What the same input gives written elsewhere.
        Outcome r = run(common + QStringList{QStringLiteral("copy.txt"), QStringLiteral("-o"),
                                             QStringLiteral("expected.txt")});
        QCOMPARE(r.status, 0);
        const QByteArray expected = ReadAll(path(QStringLiteral("expected.txt")));
        if (options.isEmpty())
            QVERIFY(expected == FirstCopies(text));
        QFile::remove(path(QStringLiteral("copy.txt")));
        QFile::remove(path(QStringLiteral("expected.txt")));

        QStringList names = {QStringLiteral("in.txt")};
        QString output = QStringLiteral("in.txt");
        if (target == u"second hard link" || inPlace) {
            QVERIFY(HardLink(path(QStringLiteral("in.txt")), path(QStringLiteral("link.txt"))));
            names << QStringLiteral("link.txt");
            if (target == u"second hard link")
                output = QStringLiteral("link.txt");
        }
        if (target == u"symbolic link") {
            QVERIFY(QFile::link(QStringLiteral("in.txt"), path(QStringLiteral("sym.txt"))));
            names << QStringLiteral("sym.txt");
            output = QStringLiteral("sym.txt");
        }
        r = run(common + QStringList{QStringLiteral("in.txt"), QStringLiteral("-o"), output});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
        QVERIFY(ReadAll(path(QStringLiteral("in.txt"))) == expected);
        for (const QString& name : names)
            QVERIFY(ReadAll(path(name)) == expected); // every name sees the one file
        if (target == u"symbolic link")
            QVERIFY(QFileInfo(path(QStringLiteral("sym.txt"))).isSymLink());
        nothingLeft(names);

        // A second run changes nothing.
        r = run(common + QStringList{QStringLiteral("in.txt"), QStringLiteral("-o"), output});
        QCOMPARE(r.status, 0);
        QVERIFY(ReadAll(path(QStringLiteral("in.txt"))) == expected);
        nothingLeft(names);
    }

    // An input that shrinks, grows, is rewritten or replaced while it is read ends the run with a
    // message that says so; the target stays as it was and nothing is left anywhere.
    void inputChangesDuringRun_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("memory");
        QTest::addColumn<QString>("output"); // "file", "input" (the input itself), "stdout"
        for (const QString& change :
             {QStringLiteral("truncated"), QStringLiteral("emptied"), QStringLiteral("grown"),
              QStringLiteral("rewritten"), QStringLiteral("replaced")}) {
            for (const QString& memory : {QString(), QStringLiteral("16M")}) {
                for (const QString& output :
                     {QStringLiteral("file"), QStringLiteral("input"), QStringLiteral("stdout")})
                    QTest::addRow("%s, %s, into %s", qPrintable(change),
                                  memory.isEmpty() ? "default memory" : "partitioned",
                                  qPrintable(output))
                        << change << memory << output;
            }
        }
    }
    void inputChangesDuringRun() {
        QFETCH(QString, change);
        QFETCH(QString, memory);
        QFETCH(QString, output);
        const QString input = path(QStringLiteral("in.txt"));
        WriteAll(input, large());
        WriteAll(path(QStringLiteral("out.txt")), "old");
        QStringList arguments = {QStringLiteral("in.txt")};
        if (!memory.isEmpty())
            arguments << QStringLiteral("--memory") << memory;
        if (output == u"file")
            arguments << QStringLiteral("-o") << QStringLiteral("out.txt");
        if (output == u"input")
            arguments << QStringLiteral("-o") << QStringLiteral("in.txt");

        QProcess p;
        QByteArray err;
        startAndWaitForProgress(p, arguments, &err);
        QVERIFY2(p.state() == QProcess::Running, "the run ended before its input could change");
        QByteArray changed; // what the input holds afterwards
        if (change == u"truncated" || change == u"emptied") {
            changed = large().first(change == u"truncated" ? 1000 : 0);
            QVERIFY(QFile::resize(input, changed.size()));
        } else if (change == u"grown") {
            QFile f(input);
            QVERIFY(f.open(QIODevice::Append));
            f.write("one more line\n");
            changed = large() + "one more line\n";
        } else if (change == u"rewritten") {
            QFile f(input);
            QVERIFY(f.open(QIODevice::ReadWrite));
            f.seek(large().size() / 2);
            f.write("X");
            changed = large();
            changed[large().size() / 2] = 'X';
        } else {
            WriteAll(path(QStringLiteral("new.txt")), "new\n");
            QVERIFY(std::rename(qPrintable(path(QStringLiteral("new.txt"))), qPrintable(input)) ==
                    0);
            changed = "new\n";
        }
        QVERIFY(p.waitForFinished(120000));
        err += p.readAllStandardError();
        const QString message = QString::fromUtf8(err);
        QCOMPARE(p.exitCode(), 1);
        QVERIFY2(message.contains(QStringLiteral("in.txt")) &&
                     message.contains(QStringLiteral("被改动")),
                 qPrintable(message));
        QCOMPARE(ReadAll(path(QStringLiteral("out.txt"))), QByteArray("old"));
        QVERIFY(ReadAll(input) == changed);
        if (output == u"stdout" && !p.readAllStandardOutput().isEmpty())
            QVERIFY2(message.contains(QStringLiteral("无法收回")), qPrintable(message));
        nothingLeft({QStringLiteral("in.txt"), QStringLiteral("out.txt")});
    }

    // Files whose size the system makes up are read to their end, and a target gets what they
    // held.
    void madeUpFiles_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("holds");
        QTest::newRow("/proc, size 0") << "/proc/self/status"
                                       << "Name:";
        QTest::newRow("/proc, changing") << "/proc/meminfo"
                                         << "MemTotal:";
        QTest::newRow("/sys, a page") << "/sys/devices/system/cpu/online"
                                      << "0";
        QTest::newRow("/sys, a page (2)") << "/sys/kernel/mm/transparent_hugepage/enabled"
                                          << "never";
    }
    void madeUpFiles() {
        QFETCH(QString, file);
        QFETCH(QString, holds);
        if (!QFile::exists(file))
            QSKIP("not on this machine");
        WriteAll(path(QStringLiteral("out.txt")), "old");
        const Outcome r =
            run({file, QStringLiteral("-o"), QStringLiteral("out.txt"), QStringLiteral("--stats")});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        const QByteArray out = ReadAll(path(QStringLiteral("out.txt")));
        QVERIFY2(out.contains(holds.toUtf8()), out.constData());
        QVERIFY(out.endsWith('\n'));
        nothingLeft({QStringLiteral("out.txt")});
    }

    // A FIFO with a writer and a pipe stay good inputs; one that waits for a writer, or for
    // input, ends at once on SIGINT or SIGTERM, writing nothing.
    void streamsAndSignals_data() {
        QTest::addColumn<QString>("source"); // "fifo" or "stdin"
        QTest::addColumn<int>("signal");     // 0: the writer writes
        QTest::newRow("fifo with a writer") << "fifo" << 0;
        QTest::newRow("fifo without a writer, SIGINT") << "fifo" << int(SIGINT);
        QTest::newRow("fifo without a writer, SIGTERM") << "fifo" << int(SIGTERM);
        QTest::newRow("stdin that waits, SIGINT") << "stdin" << int(SIGINT);
        QTest::newRow("stdin that waits, SIGTERM") << "stdin" << int(SIGTERM);
        QTest::newRow("stdin that waits, SIGHUP") << "stdin" << int(SIGHUP);
    }
    void streamsAndSignals() {
        QFETCH(QString, source);
        QFETCH(int, signal);
        const QString fifo = path(QStringLiteral("fifo"));
        if (source == u"fifo")
            QVERIFY(mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        WriteAll(path(QStringLiteral("out.txt")), "old");
        QProcess p;
        p.setProcessEnvironment(environment());
        p.setWorkingDirectory(folder);
        p.start(QStringLiteral(TRENNIX_CLI), {source == u"fifo" ? fifo : QStringLiteral("-"),
                                              QStringLiteral("-o"), QStringLiteral("out.txt")});
        QVERIFY(p.waitForStarted());
        if (signal == 0) {
            QFile writer(fifo);
            QVERIFY(writer.open(QIODevice::WriteOnly));
            writer.write("b\na\nb\n");
            writer.close();
            QVERIFY(p.waitForFinished(10000));
            QCOMPARE(p.exitCode(), 0);
            QCOMPARE(ReadAll(path(QStringLiteral("out.txt"))), QByteArray("b\na\n"));
        } else {
            QVERIFY2(WaitUntilWaiting(p), "the program never waited for its stream");
            QElapsedTimer clock;
            clock.start();
            ::kill(pid_t(p.processId()), signal);
            QVERIFY(p.waitForFinished(2000));
            QVERIFY(clock.elapsed() < 2000);
            QCOMPARE(p.exitStatus(), QProcess::NormalExit);
            QCOMPARE(p.exitCode(), 1);
            const QString err = QString::fromUtf8(p.readAllStandardError());
            QVERIFY2(err.contains(QStringLiteral("已中断")) &&
                         err.contains(QStringLiteral("没有改动")),
                     qPrintable(err));
            QCOMPARE(ReadAll(path(QStringLiteral("out.txt"))), QByteArray("old"));
        }
        QStringList names = {QStringLiteral("out.txt")};
        if (source == u"fifo")
            names << QStringLiteral("fifo");
        nothingLeft(names);
    }

    // A shell's process substitution is a pipe with a writer.
    void processSubstitution() {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(QStringLiteral("bash"),
                {QStringLiteral("-c"),
                 QStringLiteral("'%1' <(printf 'b\\na\\nb\\n')").arg(QStringLiteral(TRENNIX_CLI))});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(p.readAllStandardOutput(), QByteArray("b\na\n"));
    }

    // What the program refuses before it reads anything, and what it says.
    void refusals_data() {
        QTest::addColumn<QString>("shell"); // run by bash in the row's folder; $C is the program
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        QTest::newRow("standard output appends to the input")
            << "$C in.txt >> in.txt" << 1 << "标准输出就是输入文件 in.txt";
        QTest::newRow("standard output is the input by another name")
            << "ln in.txt other.txt; $C other.txt >> in.txt; s=$?; rm other.txt; exit $s" << 1
            << "标准输出就是输入文件 other.txt";
        QTest::newRow("standard input closed") << "$C <&-" << 1 << "标准输入没有打开";
        QTest::newRow("standard input closed, named")
            << "$C - in.txt <&-" << 1 << "标准输入没有打开";
        QTest::newRow("standard output closed") << "$C in.txt >&-" << 1 << "标准输出没有打开";
        QTest::newRow("two outputs") << "$C in.txt -o a.txt -o b.txt" << 2 << "-o 给了 2 次";
        QTest::newRow("a budget past counting")
            << "$C in.txt --memory 17179869185G" << 2 << "17179869185G";
        QTest::newRow("temporary folder missing")
            << "TMPDIR=/nonexistent/x $C in.txt > /dev/null" << 0 << "/nonexistent/x 不存在";
    }
    void refusals() {
        QFETCH(QString, shell);
        QFETCH(int, status);
        QFETCH(QString, says);
        WriteAll(path(QStringLiteral("in.txt")), "b\na\nb\n");
        QProcess p;
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("C"), QStringLiteral(TRENNIX_CLI));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(folder);
        p.start(QStringLiteral("bash"), {QStringLiteral("-c"), shell});
        QVERIFY(p.waitForFinished(10000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QCOMPARE(p.exitCode(), status);
        QVERIFY2(err.contains(says), qPrintable(err));
        QCOMPARE(ReadAll(path(QStringLiteral("in.txt"))), QByteArray("b\na\nb\n"));
        nothingLeft({QStringLiteral("in.txt")});
    }

    // A pattern that backtracks a long while on every line, yet within its limit: a signal still
    // ends the run at once, in the midst of a batch of lines, leaving the target as it was.
    void interruptedWhilePatternsMatch_data() {
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("memory");
        QTest::newRow("SIGINT, in memory") << int(SIGINT) << "1G";
        QTest::newRow("SIGTERM, in memory") << int(SIGTERM) << "1G";
        QTest::newRow("SIGINT, partitioned") << int(SIGINT) << "2M";
    }
    void interruptedWhilePatternsMatch() {
        QFETCH(int, signal);
        QFETCH(QString, memory);
        WriteAll(path(QStringLiteral("in.txt")),
                 QByteArray(20, 'a').append("b\n").repeated(200000));
        WriteAll(path(QStringLiteral("out.txt")), "old");
        QProcess p;
        p.setProcessEnvironment(environment());
        p.setWorkingDirectory(folder);
        p.start(QStringLiteral(TRENNIX_CLI),
                {QStringLiteral("in.txt"), QStringLiteral("--key-regex"), QStringLiteral("(a+)+$"),
                 QStringLiteral("--memory"), memory, QStringLiteral("-o"),
                 QStringLiteral("out.txt")});
        QVERIFY(p.waitForStarted());
        QVERIFY2(WaitUntilBusy(p), "the program ended before it was busy");
        ::kill(pid_t(p.processId()), signal);
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 1);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(err.contains(QStringLiteral("已中断")), qPrintable(err));
        QCOMPARE(ReadAll(path(QStringLiteral("out.txt"))), QByteArray("old"));
        nothingLeft({QStringLiteral("in.txt"), QStringLiteral("out.txt")});
    }

    // A pattern that will clearly take very long: the progress moves within the first batch of
    // lines, and the user is told once why it is slow and how to stop it.
    void slowPatternIsExplained_data() {
        QTest::addColumn<QString>("memory");
        QTest::newRow("in memory") << "1G";
        QTest::newRow("partitioned") << "2M";
    }
    void slowPatternIsExplained() {
        QFETCH(QString, memory);
        WriteAll(path(QStringLiteral("in.txt")),
                 QByteArray(20, 'a').append("b\n").repeated(200000));
        QProcess p;
        p.setProcessEnvironment(environment());
        p.setWorkingDirectory(folder);
        p.start(QStringLiteral(TRENNIX_CLI),
                {QStringLiteral("in.txt"), QStringLiteral("--key-regex"), QStringLiteral("(a+)+$"),
                 QStringLiteral("--memory"), memory, QStringLiteral("--progress"),
                 QStringLiteral("-o"), QStringLiteral("out.txt")});
        QVERIFY(p.waitForStarted());
        QString err;
        while (!err.contains(QStringLiteral("很费时")) && p.state() == QProcess::Running) {
            p.waitForReadyRead(1000);
            err += QString::fromUtf8(p.readAllStandardError());
        }
        QVERIFY2(err.contains(QStringLiteral("--key-regex 的表达式在这些行上很费时")),
                 qPrintable(err));
        QVERIFY2(err.contains(QStringLiteral("Ctrl+C")), qPrintable(err));
        // Progress was drawn before the first megabyte's lines were all keyed.
        QVERIFY2(err.left(err.indexOf(QStringLiteral("很费时"))).contains(u'%'), qPrintable(err));
        ::kill(pid_t(p.processId()), SIGINT);
        QVERIFY(p.waitForFinished(10000));
        err += QString::fromUtf8(p.readAllStandardError());
        QCOMPARE(p.exitCode(), 1);
        QCOMPARE(err.count(QStringLiteral("很费时")), 1);
        QVERIFY(!QFile::exists(path(QStringLiteral("out.txt"))));
    }

    // Interrupted while it writes: a file target is left as it was; what went to standard output
    // cannot be taken back, and the message says so.
    void interruptedWhileWriting_data() {
        QTest::addColumn<bool>("toFile");
        QTest::newRow("into a file") << true;
        QTest::newRow("to standard output") << false;
    }
    void interruptedWhileWriting() {
        QFETCH(bool, toFile);
        WriteAll(path(QStringLiteral("in.txt")), large());
        WriteAll(path(QStringLiteral("out.txt")), "old");
        QStringList arguments = {QStringLiteral("in.txt"), QStringLiteral("--memory"),
                                 QStringLiteral("16M")};
        if (toFile)
            arguments << QStringLiteral("-o") << QStringLiteral("out.txt");
        QProcess p;
        QByteArray err;
        startAndWaitForProgress(p, arguments, &err);
        QVERIFY(p.state() == QProcess::Running);
        // Late enough that output has begun where it goes straight out.
        QByteArray out;
        QElapsedTimer clock;
        clock.start();
        while (!toFile && out.isEmpty() && p.state() == QProcess::Running &&
               clock.elapsed() < 60000) {
            p.waitForReadyRead(20);
            out += p.readAllStandardOutput();
        }
        ::kill(pid_t(p.processId()), SIGINT);
        QVERIFY(p.waitForFinished(5000));
        err += p.readAllStandardError();
        out += p.readAllStandardOutput();
        const QString message = QString::fromUtf8(err);
        QCOMPARE(p.exitCode(), 1);
        QCOMPARE(ReadAll(path(QStringLiteral("out.txt"))), QByteArray("old"));
        if (toFile)
            QVERIFY2(message.contains(QStringLiteral("没有改动")), qPrintable(message));
        else
            QVERIFY2(message.contains(QStringLiteral("无法收回")) &&
                         message.contains(QLocale::c().toString(out.size())),
                     qPrintable(message));
        nothingLeft({QStringLiteral("in.txt"), QStringLiteral("out.txt")});
    }

    // Disks that fill up: the output's, the temporary folder's, and one that a stream without
    // end would fill.
    void fullDisks_data() {
        QTest::addColumn<QString>("full"); // "output", "temporary", "endless"
        QTest::addColumn<QString>("says");
        QTest::newRow("output") << "output"
                                << "磁盘空间不足";
        QTest::newRow("output, in place") << "output in place"
                                          << "磁盘空间不足";
        QTest::newRow("temporary folder") << "temporary"
                                          << "临时文件把磁盘的空间用完了";
        QTest::newRow("endless standard input") << "endless"
                                                << "读入在此停止";
    }
    void fullDisks() {
        QFETCH(QString, full);
        QFETCH(QString, says);
        const QString small = path(QStringLiteral("small"));
        if (!IsRoot() || !MountSmall(small, QStringLiteral("size=8m")))
            QSKIP("cannot mount a small file system here");
        const QByteArray text = MakeText(24 * kMiB, 3);
        WriteAll(path(QStringLiteral("in.txt")), text);
        const QString target = small + QStringLiteral("/out.txt");
        WriteAll(target, "old");
        QStringList smallNames = {QStringLiteral("out.txt")};
        if (full == u"output in place") {
            QVERIFY(HardLink(target, small + QStringLiteral("/link.txt")));
            smallNames << QStringLiteral("link.txt");
        }
        QProcessEnvironment env = environment();
        QStringList arguments = {QStringLiteral("in.txt")};
        QString shell;
        if (full.startsWith(QStringLiteral("output")))
            arguments << QStringLiteral("-o") << target;
        if (full == u"temporary") {
            env.insert(QStringLiteral("TMPDIR"), small);
            arguments << QStringLiteral("--memory") << QStringLiteral("16M") << QStringLiteral("-o")
                      << QStringLiteral("out.txt");
        }
        Outcome r;
        if (full == u"endless") {
            QProcess p;
            env.insert(QStringLiteral("TMPDIR"), small);
            env.insert(QStringLiteral("C"), QStringLiteral(TRENNIX_CLI));
            p.setProcessEnvironment(env);
            p.setWorkingDirectory(folder);
            p.start(QStringLiteral("bash"),
                    {QStringLiteral("-c"), QStringLiteral("$C < /dev/zero > /dev/null")});
            QVERIFY(p.waitForFinished(60000));
            r = Outcome{p.exitCode(), {}, QString::fromUtf8(p.readAllStandardError())};
        } else {
            r = run(arguments, {}, env);
        }
        const QStringList left = Entries(small);
        const QByteArray kept = ReadAll(target);
        Unmount(small);
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(says), qPrintable(r.err));
        QCOMPARE(kept, QByteArray("old"));
        QVERIFY(full != u"temporary" || !QFile::exists(path(QStringLiteral("out.txt"))));
        smallNames.sort();
        QCOMPARE(left, smallNames);
        QCOMPARE(Entries(temp), QStringList());
    }

    // The removed lines and the result, when one of them cannot be written: --removed naming a
    // file the run reads is refused before anything is read (the removed lines would replace it
    // and a failing result would then leave neither), and a result that fails at its commit,
    // after the removed lines went in place, leaves every file it read as it was.
    void removedAndResultOnAFullDisk_data() {
        QTest::addColumn<QString>("removed"); // "input", "list" or "elsewhere"
        QTest::newRow("--removed names the input") << "input";
        QTest::newRow("--removed names a list") << "list";
        QTest::newRow("the result fails in place after the removed lines") << "elsewhere";
    }
    void removedAndResultOnAFullDisk() {
        QFETCH(QString, removed);
        const QString small = path(QStringLiteral("small"));
        if (!IsRoot() || !MountSmall(small, QStringLiteral("size=8m")))
            QSKIP("cannot mount a small file system here");
        // The target takes 4.5 MB and a second link, so that it is saved in place: the new
        // content fits beside it, its old content's copy then does not.
        const QString target = small + QStringLiteral("/out.txt");
        const QByteArray old = MakeText(4 * kMiB + kMiB / 2, 11);
        WriteAll(target, old);
        QVERIFY(HardLink(target, small + QStringLiteral("/link.txt")));
        const QByteArray input = MakeText(3 * kMiB, 12);
        WriteAll(path(QStringLiteral("in.txt")), input);
        WriteAll(path(QStringLiteral("list.txt")), "line 1 ab\n");
        QStringList arguments = {QStringLiteral("in.txt"),
                                 QStringLiteral("--exclude"),
                                 QStringLiteral("list.txt"),
                                 QStringLiteral("-o"),
                                 target,
                                 QStringLiteral("--removed")};
        arguments << (removed == u"input"  ? QStringLiteral("in.txt")
                      : removed == u"list" ? QStringLiteral("list.txt")
                                           : QStringLiteral("gone.txt"));
        const Outcome r = run(arguments);
        const QByteArray kept = ReadAll(target);
        const QStringList left = Entries(small);
        Unmount(small);
        QVERIFY(ReadAll(path(QStringLiteral("in.txt"))) == input);
        QCOMPARE(ReadAll(path(QStringLiteral("list.txt"))), QByteArray("line 1 ab\n"));
        QVERIFY(kept == old);
        QCOMPARE(left, (QStringList{QStringLiteral("link.txt"), QStringLiteral("out.txt")}));
        if (removed == u"elsewhere") {
            QCOMPARE(r.status, 1);
            QVERIFY2(r.err.contains(QStringLiteral("磁盘空间不足")) &&
                         r.err.contains(QStringLiteral("删除的行已经写入 gone.txt")),
                     qPrintable(r.err));
            QVERIFY(ReadAll(path(QStringLiteral("gone.txt"))).contains("\tlist.txt\tline 1 ab\n"));
            nothingLeft({QStringLiteral("in.txt"), QStringLiteral("list.txt"),
                         QStringLiteral("gone.txt"), QStringLiteral("small")});
        } else {
            QCOMPARE(r.status, 2);
            QVERIFY2(r.err.contains(QStringLiteral("--removed")) &&
                         r.err.contains(removed == u"input" ? QStringLiteral("就是输入文件 in.txt")
                                                            : QStringLiteral("就是清单 list.txt")),
                     qPrintable(r.err));
            nothingLeft(
                {QStringLiteral("in.txt"), QStringLiteral("list.txt"), QStringLiteral("small")});
        }
    }

    // A file larger than the program may write (ulimit -f) fails as a full disk does: a message
    // that says why, exit status 1, the target as it was; never the end of the program by
    // SIGXFSZ without a word.
    void fileSizeLimit_data() {
        QTest::addColumn<QString>("shell"); // after the limit is set; $C is the program
        QTest::addColumn<QString>("says");
        QTest::newRow("the result into a file") << "$C big.txt -o out.txt"
                                                << "无法保存到";
        QTest::newRow("the result into a file in place")
            << "ln out.txt link.txt; $C big.txt -o out.txt; s=$?; rm link.txt; exit $s"
            << "无法保存到";
        QTest::newRow("standard output into a file") << "$C big.txt > stdout.txt"
                                                     << "无法写入标准输出";
        QTest::newRow("the removed lines") << "$C big.txt -o out.txt --removed gone.txt"
                                           << "无法保存到";
        QTest::newRow("standard input held in the temporary folder") << "$C -o out.txt < big.txt"
                                                                     << "临时文件夹";
    }
    void fileSizeLimit() {
        QFETCH(QString, shell);
        QFETCH(QString, says);
        WriteAll(path(QStringLiteral("big.txt")), MakeText(4 * kMiB, 5));
        WriteAll(path(QStringLiteral("out.txt")), "old");
        QProcess p;
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("C"), QStringLiteral(TRENNIX_CLI));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(folder);
        p.start(QStringLiteral("bash"),
                {QStringLiteral("-c"), QStringLiteral("ulimit -f 1024; ") + shell});
        QVERIFY(p.waitForFinished(60000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QCOMPARE(p.exitCode(), 1); // not 128 + SIGXFSZ
        QVERIFY2(err.contains(says) && err.contains(QStringLiteral("ulimit -f")) &&
                     err.contains(QStringLiteral("1,024 KB")),
                 qPrintable(err));
        QCOMPARE(ReadAll(path(QStringLiteral("out.txt"))), QByteArray("old"));
        QStringList names = {QStringLiteral("big.txt"), QStringLiteral("out.txt")};
        if (shell.contains(QStringLiteral("stdout.txt")))
            names << QStringLiteral("stdout.txt");
        nothingLeft(names);
    }

    // A save in place killed in its midst leaves the copy of the old content beside the target.
    // Every later run that reads or writes the target, by any name, says so and leaves the copy
    // as it is; an output that is itself such a copy is told of too.
    void killedInPlaceSaveIsTold() {
        const QString target = path(QStringLiteral("target.txt"));
        const QByteArray old = MakeText(48 * kMiB, 21);
        WriteAll(target, old);
        QVERIFY(HardLink(target, path(QStringLiteral("link.txt"))));
        QVERIFY(QFile::link(QStringLiteral("target.txt"), path(QStringLiteral("sym.txt"))));
        WriteAll(path(QStringLiteral("in.txt")), MakeText(8 * kMiB, 22));
        QProcess p;
        p.setProcessEnvironment(environment());
        p.setWorkingDirectory(folder);
        p.start(QStringLiteral(TRENNIX_CLI),
                {QStringLiteral("in.txt"), QStringLiteral("-o"), QStringLiteral("target.txt")});
        QVERIFY(p.waitForStarted());
        // The backup appears at the commit: the program is stopped at once, then killed.
        QString backup;
        QElapsedTimer clock;
        clock.start();
        while (backup.isEmpty() && p.state() == QProcess::Running && clock.elapsed() < 600000) {
            for (const QString& name : Entries(folder)) {
                if (name.startsWith(QStringLiteral("target.txt.backup-")))
                    backup = name;
            }
        }
        const bool running = p.state() == QProcess::Running;
        ::kill(pid_t(p.processId()), SIGSTOP);
        ::kill(pid_t(p.processId()), SIGKILL);
        QVERIFY2(running, "the save ended before its backup was seen");
        QVERIFY2(!backup.isEmpty(), "no backup in ten minutes");
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::CrashExit);
        const QByteArray copy = ReadAll(path(backup));

        const QList<QStringList> runs = {
            {QStringLiteral("target.txt"), QStringLiteral("-o"), QStringLiteral("out.txt")},
            {QStringLiteral("in.txt"), QStringLiteral("--exclude"), QStringLiteral("sym.txt"),
             QStringLiteral("-o"), QStringLiteral("out.txt")},
            {QStringLiteral("in.txt"), QStringLiteral("-o"), QStringLiteral("link.txt")}};
        for (const QStringList& arguments : runs) {
            const Outcome r = run(arguments);
            QVERIFY2(r.status == 0, qPrintable(r.err));
            QVERIFY2(r.err.contains(QStringLiteral("旁边有一份备份")) && r.err.contains(backup) &&
                         r.err.contains(QStringLiteral("不会删除或改写")),
                     qPrintable(arguments.join(u' ') + u'\n' + r.err));
            QVERIFY(ReadAll(path(backup)) == copy);
        }
        const Outcome r = run({QStringLiteral("in.txt"), QStringLiteral("-o"), backup});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.err.contains(QStringLiteral("target.txt 在原处保存时留下的备份")),
                 qPrintable(r.err));
    }
};

TRENNIX_SHARDED_GUILESS_MAIN(FileSafetyTest)
#include "tst_filesafety.moc"
