#include "filehelpers.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <sys/wait.h>

#include <vector>

// The memory budget kept: the built trennix-cli as a process on a file of distinct lines (where a
// partition's lines cost the most besides their bytes), its peak resident size read from the
// system. The peak counts the program's own start (about 10 MiB) and the pages of the mapped
// input that are being read; the rest must stay within the budget.

namespace {

// Runs the program with `arguments`; returns its exit status and sets *peakKiB to its peak
// resident size.
int RunMeasured(const QStringList& arguments, long* peakKiB) {
    std::vector<QByteArray> args{QByteArray(TRENNIX_CLI)};
    for (const QString& a : arguments)
        args.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid)
        return -1;
    *peakKiB = usage.ru_maxrss;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

class BudgetTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

private slots:
    void initTestCase() {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the sanitizers' own memory would be counted");
#endif
        // 2.5M distinct lines of 26 bytes (65 MB), and a list of every other one with as many
        // that are not in the input.
        QByteArray input, list;
        input.reserve(66 << 20);
        list.reserve(66 << 20);
        for (int i = 0; i < 2500000; ++i) {
            const int n = int((qint64(i) * 7919) % 2500009);
            input += QByteArray::number(n).rightJustified(10, '0') + "\tline-abcdefghij\n";
            list += (i % 2 ? QByteArray::number(n).rightJustified(10, '0')
                           : QByteArray::number(n).rightJustified(10, '0') + "x") +
                    "\tline-abcdefghij\n";
        }
        WriteAll(path(QStringLiteral("in.txt")), input);
        WriteAll(path(QStringLiteral("list.txt")), list);
    }

    void budgetKept_data() {
        QTest::addColumn<int>("budgetMiB");
        QTest::addColumn<QStringList>("options");
        const QStringList list{QStringLiteral("--exclude"), path(QStringLiteral("list.txt"))};
        const QStringList key{QStringLiteral("--separator"), QStringLiteral("tab"),
                              QStringLiteral("--field"), QStringLiteral("1")};
        for (const int budget : {16, 48, 128}) {
            QTest::addRow("%d MiB", budget) << budget << QStringList();
            QTest::addRow("%d MiB, a list as large", budget) << budget << list;
            QTest::addRow("%d MiB, a key and a list", budget) << budget << key + list;
        }
    }
    void budgetKept() {
        QFETCH(int, budgetMiB);
        QFETCH(QStringList, options);
        long peakKiB = 0;
        const int status = RunMeasured(
            QStringList{QStringLiteral("--memory"), QStringLiteral("%1M").arg(budgetMiB),
                        path(QStringLiteral("in.txt")), QStringLiteral("-o"),
                        path(QStringLiteral("out.txt"))} +
                options,
            &peakKiB);
        QCOMPARE(status, 0);
        const long allowedKiB = (budgetMiB + 24) * 1024L;
        QVERIFY2(
            peakKiB <= allowedKiB,
            qPrintable(
                QStringLiteral("peak %1 MiB, budget %2 MiB").arg(peakKiB / 1024).arg(budgetMiB)));
        // Every line of the input is distinct; the list holds half of them.
        const QByteArray out = ReadAll(path(QStringLiteral("out.txt")));
        QCOMPARE(out.count('\n'), options.isEmpty() ? 2500000 : 1250000);
    }
};

QTEST_GUILESS_MAIN(BudgetTest)
#include "tst_budget.moc"
