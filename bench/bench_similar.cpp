// Times near repeats at 90% on keyword-like lines: 3 to 25 characters, Chinese and Latin, about
// half of them near repeats (one or two characters added, dropped, replaced or swapped) of an
// earlier line. Prints the time, the memory and the edit distances computed per line.
// Usage: bench_similar [LINES...] (default 100000 and 1000000), each in its own run of the engine.
#include "engine/engine.h"
#include "textgen.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

namespace {

class NullSink final : public OutputSink {
public:
    bool write(const char*, qint64 size) override {
        bytes += size;
        return true;
    }
    QString error() const override { return {}; }
    qint64 bytes = 0;
};

// The lines, and (*near) how many were made as edits of an earlier one.
QString Keywords(qsizetype count, quint32 seed, qsizetype* near) {
    QRandomGenerator rng(seed);
    auto letter = [&](bool chinese) {
        return chinese ? QChar(char16_t(0x4E00 + rng.bounded(3000)))
                       : QChar(u'a' + rng.bounded(26));
    };
    QStringList made;
    QString text;
    for (qsizetype i = 0; i < count; ++i) {
        QString line;
        if (made.isEmpty() || rng.bounded(2) == 0) {
            const bool chinese = rng.bounded(2) == 0;
            const int length = 3 + rng.bounded(23);
            for (int c = 0; c < length; ++c)
                line += letter(chinese);
            made << line;
        } else {
            line = made[rng.bounded(int(made.size()))];
            ++*near;
            const bool chinese = line.front().unicode() >= 0x4E00;
            for (int e = 0, n = 1 + rng.bounded(2); e < n; ++e) {
                const int at = rng.bounded(int(line.size()));
                switch (rng.bounded(4)) {
                case 0:
                    line.insert(at, letter(chinese));
                    break;
                case 1:
                    if (line.size() > 3)
                        line.remove(at, 1);
                    break;
                case 2:
                    line[at] = letter(chinese);
                    break;
                default:
                    if (at + 1 < line.size())
                        std::swap(line[at], line[at + 1]);
                    break;
                }
            }
        }
        text += line + u'\n';
    }
    return text;
}

} // namespace

int main(int argc, char** argv) {
    QList<qsizetype> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QByteArray(argv[i]).toLongLong();
    if (sizes.isEmpty())
        sizes = {100000, 1000000};
    QTemporaryDir dir;
    for (const qsizetype lines : sizes) {
        const QString path = dir.filePath(QStringLiteral("keywords.txt"));
        QFile file(path);
        qsizetype near = 0;
        if (!file.open(QIODevice::WriteOnly) || file.write(Keywords(lines, 1, &near).toUtf8()) < 0)
            return 1;
        file.close();
        EngineSettings settings;
        settings.options.similar = 90;
        settings.inputEncoding = TextEncoding::Utf8;
        NullSink sink;
        EngineResult result;
        const double ms = TimeMs([&] { result = FilterFiles({path}, sink, settings); });
        if (!result.ok()) {
            std::printf("failed: %s\n", qPrintable(result.outcome.message()));
            return 1;
        }
        const EngineStats& s = result.stats;
        std::printf("%lld lines (%lld made as near repeats) at 90%%: %.2f s, %lld kept, %lld "
                    "removed (%lld near, not equal), "
                    "%.2f comparisons per line, peak memory %.0f MiB\n",
                    static_cast<long long>(s.linesRead), static_cast<long long>(near), ms / 1000,
                    static_cast<long long>(s.linesKept), static_cast<long long>(s.linesRemoved),
                    static_cast<long long>(s.similarLines),
                    double(s.comparisons) / double(std::max<qint64>(1, s.linesRead)),
                    PeakMemoryMiB());
    }
    return 0;
}
