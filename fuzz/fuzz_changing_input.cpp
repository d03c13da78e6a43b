// Changes the input file while the engine reads it, at a moment the fuzzer chooses (after one of
// the engine's reports of progress), and checks that the engine never takes it for the file it
// was: the run fails with a message, or, where the change left the file as it was, gives the
// result of the file as it was. It must never crash (a mapped file that shrinks), nor leave a
// temporary file behind.
//
// The input: one byte for the kind of change and where it cuts, one for the moment, one for the
// way of working (mapped or read whole, in memory or partitioned, tiled past a batch or past the
// size whose first look is cut in two), then the file's bytes.
#include "engine/engine.h"
#include "engine/reading/firstlook.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <utime.h>

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

enum class Change { Truncate, Append, Overwrite, Replace };

void Write(const QString& path, QByteArrayView bytes) {
    QFile f(path);
    Require(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    Require(f.write(bytes.data(), bytes.size()) == bytes.size());
}

// Changes the file as told; false when the change leaves it as it was.
bool ChangeFile(const QString& path, Change change, std::uint8_t where, QByteArrayView content) {
    const qint64 size = content.size();
    switch (change) {
    case Change::Truncate: {
        const qint64 to = size * where / 256;
        if (to == size)
            return false;
        Require(QFile::resize(path, to));
        return true;
    }
    case Change::Append: {
        QFile f(path);
        Require(f.open(QIODevice::Append));
        Require(f.write("appended\n") == 9);
        return true;
    }
    case Change::Overwrite: {
        if (size == 0)
            return false;
        QFile f(path);
        Require(f.open(QIODevice::ReadWrite));
        Require(f.seek(size * where / 256));
        Require(f.write("\n", 1) == 1);
        f.close();
        // A write lands on a later tick of the clock than the opening read: set it so, rather
        // than depend on how fine the file system's clock is.
        struct stat st {};
        Require(::stat(QFile::encodeName(path).constData(), &st) == 0);
        utimbuf times{st.st_atime, st.st_mtime + 2};
        Require(::utime(QFile::encodeName(path).constData(), &times) == 0);
        return true;
    }
    case Change::Replace: {
        const QString other = path + QStringLiteral(".new");
        Write(other, "replaced\n");
        Require(std::rename(QFile::encodeName(other).constData(),
                            QFile::encodeName(path).constData()) == 0);
        return true;
    }
    }
    return false;
}

QByteArray Tiled(QByteArrayView bytes, qsizetype size) {
    QByteArray tiled;
    tiled.reserve(size);
    while (!bytes.isEmpty() && tiled.size() < size)
        tiled.append(bytes.first(std::min(bytes.size(), size - tiled.size())));
    return tiled;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3)
        return 0;
    static QTemporaryDir dir;
    Require(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("input.txt"));
    const QString temp = dir.filePath(QStringLiteral("temp"));
    QDir().mkpath(temp);

    const auto change = Change(data[0] & 3);
    const std::uint8_t where = data[0];
    const int moment = data[1] % 8;
    const std::uint8_t way = data[2];
    QByteArray content(reinterpret_cast<const char*>(data + 3), qsizetype(size - 3));
    if (way & 4) // past the engine's batch, so that a file is read in several
        content = Tiled(content, qsizetype(1) << 20 | way);
    if (way & 64) // past the size from which a file's first look is cut in two halves
        content = Tiled(content, qsizetype(kLookInPiecesFrom) | way);
    Write(file, content);

    EngineSettings settings;
    settings.tempDir = temp;
    settings.readWholeBytes = (way & 1) ? 0 : settings.readWholeBytes;
    settings.memoryBudget = (way & 2) ? 1 : 0;
    settings.options.ignoreCase = way & 8;
    settings.options.keep = KeepMode((way >> 4) & 3);

    BytesSink expected;
    const EngineResult before = FilterBytes(content, expected, settings);
    Require(before.ok());

    int calls = 0;
    bool changed = false;
    BytesSink out;
    const EngineResult result = FilterFiles({file}, out, settings, [&](qint64, qint64) {
        if (calls++ == moment)
            changed = ChangeFile(file, change, where, content);
        return true;
    });
    if (changed)
        Require(result.outcome.hasFailed() && !result.outcome.message().isEmpty());
    else
        Require(result.ok() && out.bytes == expected.bytes);
    Require(
        QDir(temp).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
    QFile::remove(file);
    return 0;
}
