#include "engine/systemfiles.h"

#include <QDir>
#include <QMutex>
#include <QTemporaryFile>

#if defined(Q_OS_UNIX)
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

std::unique_ptr<QFile> CreateHiddenTempFile(const QString& dir, QString* reason) {
    const QString folder = dir.isEmpty() ? QDir::tempPath() : dir;
    auto file = std::make_unique<QTemporaryFile>(folder + QStringLiteral("/trennix-XXXXXX.tmp"));
    if (!file->open()) {
        *reason = QStringLiteral("无法在临时文件夹 %1 中建立临时文件。")
                      .arg(QDir::toNativeSeparators(folder));
        return nullptr;
    }
#if defined(Q_OS_UNIX)
    // The open handle keeps the content; the name goes at once.
    ::unlink(QFile::encodeName(file->fileName()).constData());
#endif
    return file;
}

void ReleaseMappedPages(const uchar* data, qint64 size) {
#if defined(Q_OS_UNIX)
    // Whole pages inside the range only: a page it shares with its neighbours stays.
    const auto page = quintptr(sysconf(_SC_PAGESIZE));
    auto* start = const_cast<uchar*>(data);
    uchar* from = start + ((page - (quintptr(start) & (page - 1))) & (page - 1));
    uchar* to = start + size - (quintptr(start + size) & (page - 1));
    if (to > from)
        ::madvise(from, std::size_t(to - from), MADV_DONTNEED);
#else
    Q_UNUSED(data);
    Q_UNUSED(size);
#endif
}

bool ReadAt(const QFile& file, qint64 offset, char* into, qint64 size) {
#if defined(Q_OS_UNIX)
    const int fd = file.handle();
    while (size > 0) {
        const ssize_t got = ::pread(fd, into, std::size_t(size), off_t(offset));
        if (got <= 0)
            return false;
        into += got;
        offset += got;
        size -= got;
    }
    return true;
#else
    // Elsewhere through a second handle of the same file, read by one thread at a time.
    static QMutex mutex;
    QMutexLocker lock(&mutex);
    QFile again(file.fileName());
    return again.open(QIODevice::ReadOnly) && again.seek(offset) && again.read(into, size) == size;
#endif
}

void PrefaultMappedPages(const uchar* data, qint64 size) {
#if defined(Q_OS_LINUX) && defined(MADV_POPULATE_READ)
    const auto page = quintptr(sysconf(_SC_PAGESIZE));
    auto* start = const_cast<uchar*>(data);
    uchar* from = start - (quintptr(start) & (page - 1));
    // Older systems refuse the advice; the pages then come one by one as before.
    ::madvise(from, std::size_t(start + size - from), MADV_POPULATE_READ);
#else
    Q_UNUSED(data);
    Q_UNUSED(size);
#endif
}

bool IsPipe(const QString& path) {
#if defined(Q_OS_UNIX)
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    return S_ISFIFO(st.st_mode);
#else
    Q_UNUSED(path);
    return false;
#endif
}

qint64 PhysicalMemoryBytes() {
#if defined(Q_OS_UNIX)
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0)
        return qint64(pages) * pageSize;
#endif
    return 0;
}
