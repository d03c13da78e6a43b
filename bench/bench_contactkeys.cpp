// Times the filter of a file of "name,phone", "name,e-mail" and "name,web address" lines with the
// part compared read as a phone number, an e-mail or a web address, against the plain filter of
// the same file (the whole line by its bytes), over 1,000,000 lines (or the count given):
//   build/bench/bench_contactkeys [lines]
// Each figure is the best of three runs; the ratio is the key's time over the plain one.
#include "engine/engine.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

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

double BestMs(const QString& path, const FilterOptions& options) {
    double best = 1e18;
    for (int run = 0; run < 3; ++run) {
        EngineSettings settings;
        settings.options = options;
        NullSink sink;
        QElapsedTimer timer;
        timer.start();
        const EngineResult result = FilterFiles({path}, sink, settings);
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        if (!result.ok()) {
            std::fprintf(stderr, "failed: %s\n", qPrintable(result.outcome.message()));
            return 0;
        }
        best = std::min(best, ms);
    }
    return best;
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
    std::printf("%lld lines of name,value; best of 3 runs\n", static_cast<long long>(count));
    std::printf("%-8s %12s %12s %8s %8s\n", "key", "plain ms", "key ms", "ratio", "target");
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
        const double plain = BestMs(path, {});
        const double key = BestMs(path, keyed);
        std::printf("%-8s %12.1f %12.1f %7.2fx %7.0fx\n", c.name, plain, key,
                    plain > 0 ? key / plain : 0.0, c.target);
    }
    return 0;
}
