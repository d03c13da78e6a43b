// Times the filter of a file of "name,phone", "name,e-mail" and "name,web address" lines with the
// part compared read as a phone number, an e-mail or a web address, against the plain filter of
// the same file (the whole line by its bytes), over 1,000,000 lines (or the count given):
//   build/bench/bench_contactkeys [lines]
// Each figure is the best of three runs, the ratio the key's time over the plain one. Keys read
// once are kept for later runs in the same process (a window filters again), so the first run of
// each key, which reads every text anew as a command does, is given too: the "cold" figures; the
// last ratio is of processor time (all threads), which other programs on the machine sway less.
#include "engine/engine.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

class NullSink final : public OutputSink {
public:
    bool write(const char*, qint64) override { return true; }
    QString error() const override { return {}; }
};

// One record in three repeats an earlier one, written another way.
QByteArray MakeFile(qsizetype count, KeyRule::Kind kind) {
    static const char* names[] = {"张三", "李四", "王五", "Smith", "Müller", "赵六"};
    QRandomGenerator rng(7);
    QByteArray text;
    for (qsizetype i = 0; i < count; ++i) {
        const quint32 n = rng.bounded(quint32(count * 2 / 3 + 1));
        const int way = int(rng.bounded(3));
        QByteArray value;
        if (kind == KeyRule::Kind::Phone) {
            const QByteArray digits = QByteArray::number(13000000000LL + n);
            value = way == 0 ? digits
                    : way == 1
                        ? "+86 " + digits.left(3) + '-' + digits.mid(3, 4) + '-' + digits.mid(7)
                        : "0086" + digits;
        } else if (kind == KeyRule::Kind::Email) {
            const QByteArray user = "user." + QByteArray::number(n);
            value = way == 0   ? user + "@example.com"
                    : way == 1 ? user + "+tag@Example.COM"
                               : '<' + user + "@例子.中国>";
        } else {
            const QByteArray path = "/p/" + QByteArray::number(n);
            value = way == 0   ? "https://www.example.com" + path
                    : way == 1 ? "https://Example.com:443" + path + "#top"
                               : "http://example.com" + path + "/";
        }
        text += names[rng.bounded(6)];
        text += ',' + value + '\n';
    }
    return text;
}

struct Times {
    double first = 0;
    double best = 1e18;
    double firstCpu = 0; // processor time of all threads, less swayed by other programs
    double bestCpu = 1e18;
};

double CpuMs() {
    return double(std::clock()) * 1000.0 / CLOCKS_PER_SEC;
}

Times BestMs(const QString& path, const FilterOptions& options) {
    Times times;
    for (int run = 0; run < 3; ++run) {
        EngineSettings settings;
        settings.options = options;
        NullSink sink;
        QElapsedTimer timer;
        timer.start();
        const double cpuStart = CpuMs();
        const EngineResult result = FilterFiles({path}, sink, settings);
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        const double cpu = CpuMs() - cpuStart;
        if (!result.ok()) {
            std::fprintf(stderr, "failed: %s\n", qPrintable(result.outcome.message()));
            return {};
        }
        if (run == 0) {
            times.first = ms;
            times.firstCpu = cpu;
        }
        times.best = std::min(times.best, ms);
        times.bestCpu = std::min(times.bestCpu, cpu);
    }
    return times;
}

} // namespace

int main(int argc, char** argv) {
    const qsizetype count = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
    QTemporaryDir dir;
    struct Case {
        const char* name;
        KeyRule::Kind kind;
        double target;
    };
    const Case cases[] = {{"phone", KeyRule::Kind::Phone, 4},
                          {"email", KeyRule::Kind::Email, 2},
                          {"url", KeyRule::Kind::Url, 2}};
    std::printf("%lld lines of name,value; best of 3 runs, and the first (cold)\n",
                static_cast<long long>(count));
    std::printf("%-8s %10s %10s %8s %10s %8s %9s %8s\n", "key", "plain ms", "key ms", "ratio",
                "cold ms", "cold", "cold cpu", "target");
    for (const Case& c : cases) {
        const QString path = dir.filePath(QString::fromLatin1(c.name));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(MakeFile(count, c.kind)) < 0)
            return 1;
        file.close();
        FilterOptions keyed;
        keyed.key.source = KeyRule::Source::Columns;
        keyed.key.separator.kind = Separator::Kind::Character;
        keyed.key.separator.character = QStringLiteral(",");
        keyed.key.columns = {2};
        keyed.key.kind = c.kind;
        const Times plain = BestMs(path, {});
        const Times key = BestMs(path, keyed);
        const auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
        std::printf("%-8s %10.1f %10.1f %7.2fx %10.1f %7.2fx %8.2fx %7.0fx\n", c.name, plain.best,
                    key.best, ratio(key.best, plain.best), key.first, ratio(key.first, plain.best),
                    ratio(key.firstCpu, plain.bestCpu), c.target);
    }
    return 0;
}
