// Writes a generated text file (UTF-8, CR LF line ends) for the benchmarks.
// Usage: gen_text OUT [LINES] [SEED]
#include "textgen.h"

#include <QFile>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT [LINES] [SEED]\n", argv[0]);
        return 2;
    }
    const qsizetype lines = argc > 2 ? QByteArray(argv[2]).toLongLong() : 1000000;
    const quint32 seed = argc > 3 ? QByteArray(argv[3]).toUInt() : 1;
    QFile out(QString::fromLocal8Bit(argv[1]));
    if (!out.open(QIODevice::WriteOnly) || out.write(GenerateLines(lines, seed).toUtf8()) < 0) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
