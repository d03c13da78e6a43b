// Times the filter of a file with 1, 2, 3 and 4 workers, in memory and partitioned, and checks
// that every count gives the same bytes. Usage: bench_threads [FILE] (default: 3,000,000
// generated lines in a temporary file).
#include "engine/engine.h"
#include "textgen.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

class CountingSink final : public OutputSink {
public:
    bool write(const char* data, qint64 size) override {
        hash.addData(QByteArrayView(data, qsizetype(size)));
        return true;
    }
    QString error() const override { return {}; }
    QCryptographicHash hash{QCryptographicHash::Sha256};
};

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir;
    QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : dir.filePath(QStringLiteral("in"));
    if (argc <= 1) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(GenerateLines(3000000).toUtf8()) < 0)
            return 1;
    }
    std::printf("file: %s, %.1f MB\n", qPrintable(path), double(QFile(path).size()) / 1e6);
    for (const qint64 budget : {qint64(0), qint64(64) << 20}) {
        QByteArray first;
        for (const int threads : {1, 2, 3, 4}) {
            EngineSettings settings;
            settings.threads = threads;
            settings.memoryBudget = budget;
            settings.tempDir = dir.path();
            double best = 1e18;
            bool partitioned = false;
            QByteArray digest;
            for (int run = 0; run < 3; ++run) {
                CountingSink sink;
                EngineResult r;
                best = std::min(best, TimeMs([&] { r = FilterFiles({path}, sink, settings); }));
                if (!r.ok())
                    return 1;
                partitioned = r.partitioned;
                digest = sink.hash.result();
            }
            if (first.isEmpty())
                first = digest;
            std::printf("%s, %d thread%s: %.0f ms%s\n", partitioned ? "partitioned" : "in memory",
                        threads, threads == 1 ? "" : "s", best,
                        digest == first ? "" : " (DIFFERENT RESULT)");
        }
    }
    return 0;
}
