// Builds a small tree of files, hard and symbolic links (dangling ones and links to folders
// among them), runs the command line with inputs, lists, -o and --removed named among them, and
// checks what the names really did on the disk: on success, the result and the removed lines are
// each where they were asked to go, whole (had two outputs written one file, one of them would be
// missing); on failure, no file the run read has changed, and nothing but the removed lines'
// file may have; never is anything half-made left in the tree. A limit on the size of the files
// the program may write (ulimit -f) makes writes and commits fail at chosen moments.
//
// The input: one byte for which links the tree holds, one for how many inputs and lists and the
// keep mode, one for the size limit, one each for the names of the inputs, the lists, -o and
// --removed, then the two files' bytes.
#include "cli/cli.h"
#include "cli/stopsignals.h"
#include "files/posixfile.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <sys/resource.h>

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

// The names the arguments are taken from; which of them exist depends on the tree.
const char* const kNames[] = {
    "a.txt",      "b.txt",        "hard.txt",     "sym.txt",         "dang.txt",    "new.txt",
    "self/a.txt", "self/new.txt", "sub/../a.txt", "sub/up.txt",      "lb/../x.txt", "sub/x.txt",
    "loop.txt",   "dangdeep.txt", "sub/new2.txt", "missing/out.txt", "sub",         "./b.txt",
};
constexpr int kNameCount = int(sizeof(kNames) / sizeof(kNames[0]));

void Write(const QString& path, QByteArrayView bytes) {
    QFile f(path);
    Require(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    Require(f.write(bytes.data(), bytes.size()) == bytes.size());
}

QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

void MakeTree(const QString& root, std::uint8_t links, QByteArrayView a, QByteArrayView b) {
    Require(QDir().mkpath(root + QStringLiteral("/sub/deep")));
    Write(root + QStringLiteral("/a.txt"), a);
    Write(root + QStringLiteral("/b.txt"), b);
    auto link = [&](const char* target, const char* name) {
        Require(QFile::link(QString::fromLatin1(target), root + u'/' + QString::fromLatin1(name)));
    };
    if (links & 1)
        Require(::link(QFile::encodeName(root + QStringLiteral("/a.txt")).constData(),
                       QFile::encodeName(root + QStringLiteral("/hard.txt")).constData()) == 0);
    if (links & 2)
        link("a.txt", "sym.txt");
    if (links & 4)
        link("new.txt", "dang.txt");
    if (links & 8)
        link(".", "self");
    if (links & 16)
        link("../b.txt", "sub/up.txt");
    if (links & 32)
        link("sub/deep", "lb");
    if (links & 64)
        link("loop.txt", "loop.txt");
    if (links & 128)
        link("lb/../new2.txt", "dangdeep.txt");
}

// Every regular file in the tree by what it is (device and inode), with its bytes.
QHash<QString, QByteArray> Snapshot(const QString& root) {
    QHash<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        int errnum = 0;
        const FileStatus s = StatusOfPath(path, false, &errnum);
        files.insert(QStringLiteral("%1:%2").arg(s.device).arg(s.inode), Read(path));
    }
    return files;
}

// What a name leads to, as Snapshot keys it; empty when it leads to no regular file.
QString Identity(const QString& path) {
    int errnum = 0;
    const FileStatus s = StatusOfPath(path, true, &errnum);
    return s.kind == FileKind::Regular ? QStringLiteral("%1:%2").arg(s.device).arg(s.inode)
                                       : QString();
}

struct Run {
    int status = 0;
    QByteArray out;
    QString err;
};

Run RunCli(const QStringList& arguments) {
    QBuffer out, err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    CommandLineEnvironment environment;
    Run r;
    r.status = RunCommandLine(arguments, out, err, environment);
    r.out = out.data();
    r.err = QString::fromUtf8(err.data());
    return r;
}

// Lowers the size of the files this process may write, for one run; 0: no limit.
class SizeLimit {
public:
    explicit SizeLimit(qint64 bytes) {
        Require(::getrlimit(RLIMIT_FSIZE, &saved_) == 0);
        if (bytes > 0) {
            rlimit lowered = saved_;
            lowered.rlim_cur = rlim_t(bytes);
            Require(::setrlimit(RLIMIT_FSIZE, &lowered) == 0);
        }
    }
    ~SizeLimit() { ::setrlimit(RLIMIT_FSIZE, &saved_); }
    SizeLimit(const SizeLimit&) = delete;
    SizeLimit& operator=(const SizeLimit&) = delete;

private:
    rlimit saved_{};
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kHeader = 11;
    if (size < kHeader)
        return 0;
    static QTemporaryDir dir;
    Require(dir.isValid());
    IgnoreFileSizeSignal();

    const std::uint8_t links = data[0];
    const int inputCount = 1 + data[1] % 3;
    const int listCount = (data[1] >> 2) % 3;
    const char* const keeps[] = {"first", "last", "unique", "repeated"};
    const char* keep = keeps[(data[1] >> 4) % 4];
    const qint64 limit = data[2] == 0 ? 0 : qint64(data[2]) * 16;
    const std::uint8_t* picks = data + 3;
    const QByteArrayView rest(reinterpret_cast<const char*>(data + kHeader),
                              qsizetype(std::min<std::size_t>(size - kHeader, 8192)));
    const QByteArrayView a = rest.first(rest.size() / 2);
    const QByteArrayView b = rest.sliced(rest.size() / 2);

    const QString root = dir.filePath(QStringLiteral("tree"));
    QDir(root).removeRecursively();
    MakeTree(root, links, a, b);
    const QString before = QDir::currentPath();
    Require(QDir::setCurrent(root));

    QStringList inputs;
    for (int i = 0; i < inputCount; ++i)
        inputs << QString::fromLatin1(kNames[picks[i] % kNameCount]);
    QStringList arguments = inputs;
    QStringList lists;
    for (int i = 0; i < listCount; ++i) {
        lists << QString::fromLatin1(kNames[picks[3 + i] % kNameCount]);
        arguments << (i % 2 ? QStringLiteral("--intersect") : QStringLiteral("--exclude"))
                  << lists.back();
    }
    arguments << QStringLiteral("--keep") << QString::fromLatin1(keep);
    // The output: a name, or standard output; the removed lines: none, standard output or a name.
    const int outputPick = picks[5] % (kNameCount + 1);
    const int removedPick = picks[6] % (kNameCount + 2);
    const QString output =
        outputPick < kNameCount ? QString::fromLatin1(kNames[outputPick]) : QStringLiteral("-");
    const QString removed = removedPick < kNameCount    ? QString::fromLatin1(kNames[removedPick])
                            : removedPick == kNameCount ? QStringLiteral("-")
                                                        : QString();

    // What the run gives when its outputs go nowhere near the tree.
    const QString elsewhere = dir.filePath(QStringLiteral("removed-elsewhere.txt"));
    QFile::remove(elsewhere);
    QStringList reference = arguments;
    if (!removed.isEmpty())
        reference << QStringLiteral("--removed") << elsewhere;
    const Run expected = RunCli(reference);
    const QByteArray expectedRemoved = Read(elsewhere);
    QFile::remove(elsewhere);

    const QHash<QString, QByteArray> tree = Snapshot(root);
    QStringList read; // the files the run reads, as Snapshot keys them
    for (const QString& name : inputs + lists)
        read << Identity(name);
    if (output != u"-")
        arguments << QStringLiteral("-o") << output;
    if (!removed.isEmpty())
        arguments << QStringLiteral("--removed") << removed;
    const QString outputIdentity = output == u"-" ? QString() : Identity(output);
    const QString removedIdentity =
        removed.isEmpty() || removed == u"-" ? QString() : Identity(removed);
    Run got;
    {
        const SizeLimit lowered(limit);
        got = RunCli(arguments);
    }

    const QHash<QString, QByteArray> now = Snapshot(root);
    if (got.status == 0) {
        // Whatever went to standard output is the result or the removed lines; each named file
        // holds exactly what it was asked to; every other file is as it was.
        Require(expected.status == 0);
        Require((output == u"-" ? got.out : Read(output)) == expected.out);
        if (!removed.isEmpty())
            Require((removed == u"-" ? got.out : Read(removed)) == expectedRemoved);
        for (auto it = tree.begin(); it != tree.end(); ++it) {
            if (it.key() != outputIdentity && it.key() != removedIdentity)
                Require(now.value(it.key()) == it.value());
        }
    } else {
        // Nothing the run read has changed, and nothing else but the removed lines' file, which
        // is put in place before the result.
        for (auto it = tree.begin(); it != tree.end(); ++it) {
            if (it.key() == removedIdentity && !read.contains(it.key()))
                continue;
            Require(now.value(it.key()) == it.value());
        }
    }
    // Nothing half-made is left beside any file.
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString entry = it.next();
        Require(!entry.contains(QStringLiteral(".saving-")) &&
                !entry.contains(QStringLiteral(".backup-")));
    }
    Require(QDir::setCurrent(before));
    return 0;
}
