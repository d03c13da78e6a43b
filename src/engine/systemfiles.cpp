#include "engine/systemfiles.h"

#include "files/posixfile.h"
#include "files/reasons.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QStorageInfo>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>

#if defined(Q_OS_UNIX)
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

QString TemporaryFolder(const QString& asked, QString* warning) {
    QString folder = asked;
    // The system's folder comes back empty when $TMPDIR names nothing.
    if (folder.isEmpty())
        folder = QDir::tempPath();
    if (folder.isEmpty())
        folder = qEnvironmentVariable("TMPDIR");
    if (QFileInfo(folder).isDir())
        return folder;
#if defined(Q_OS_UNIX)
    QString standard = QStringLiteral("/tmp");
#else
    QString standard = QDir::rootPath();
#endif
    if (warning)
        *warning = QStringLiteral("临时文件夹 %1 不存在或不是文件夹，改用 %2。")
                       .arg(QDir::toNativeSeparators(folder), QDir::toNativeSeparators(standard));
    return standard;
}

std::unique_ptr<QFile> CreateHiddenTempFile(const QString& dir, QString* reason) {
    const QString folder = TemporaryFolder(dir);
    int errnum = 0;
    bool nameable = false;
    const int fd = CreateNamelessFile(folder, true, &nameable, &errnum);
    auto file = std::make_unique<QFile>();
    if (fd < 0 || !file->open(fd, QIODevice::ReadWrite | QIODevice::Unbuffered,
                              QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            CloseHandle(fd);
        *reason =
            QStringLiteral("无法建立临时文件：%1")
                .arg(fd < 0 ? (errnum == ENOSPC ? NoSpaceReason(folder) : ReasonForErrno(errnum))
                            : ReasonFor(*file));
        return nullptr;
    }
    return file;
}

QString TemporaryFolderFailure(const QString& dir, const QString& reason) {
    return QStringLiteral("无法使用临时文件夹 %1：%2")
        .arg(QDir::toNativeSeparators(TemporaryFolder(dir)), reason);
}

QString TemporaryWriteFailure(const QFileDevice& file, qint64 freeAtStart) {
    if (ErrnoFor(file) != ENOSPC)
        return ReasonFor(file);
    const QString start =
        freeAtStart >= 0
            ? QStringLiteral("（开始时有 %1 MB 可用）").arg((freeAtStart + (1 << 20) - 1) >> 20)
            : QString();
    return QStringLiteral("临时文件把磁盘的空间用完了%1。请释放一些空间，或用环境变量 TMPDIR "
                          "指定一个空间更大的临时文件夹。")
        .arg(start);
}

qint64 FreeSpace(const QString& folder) {
    QStorageInfo storage(folder);
    if (!storage.isValid() || !storage.isReady())
        return -1;
    return storage.bytesAvailable();
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

qint64 ReadUpTo(const QFile& file, qint64 offset, char* into, qint64 size, int* errnum) {
#if defined(Q_OS_UNIX)
    const int fd = file.handle();
    qint64 done = 0;
    while (done < size) {
        const ssize_t got =
            ::pread(fd, into + done, std::size_t(size - done), off_t(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            *errnum = errno;
            return -1;
        }
        if (got == 0)
            break;
        done += got;
    }
    return done;
#else
    // Elsewhere through a second handle of the same file, read by one thread at a time.
    static QMutex mutex;
    QMutexLocker lock(&mutex);
    QFile again(file.fileName());
    if (!again.open(QIODevice::ReadOnly) || !again.seek(offset)) {
        *errnum = ErrnoFor(again);
        return -1;
    }
    const qint64 got = again.read(into, size);
    if (got < 0)
        *errnum = ErrnoFor(again);
    return got;
#endif
}

bool ReadAt(const QFile& file, qint64 offset, char* into, qint64 size) {
    int errnum = 0;
    return ReadUpTo(file, offset, into, size, &errnum) == size;
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

// ---- Mappings that survive a file that shrinks
// ---------------------------------------------------
//
// Reading a mapped page that lies past the file's end raises SIGBUS, which would end the program.
// The mapped ranges are listed where the signal's handler can read them without a lock; a fault
// inside one of them puts a page of zeros in place of the missing one, marks the range, and the
// read goes on. A fault anywhere else is handed back to the handler that was there before.

namespace {

constexpr int kGuardSlots = 256;
std::atomic<std::uintptr_t> guardBegin[kGuardSlots];
std::atomic<std::uintptr_t> guardEnd[kGuardSlots];
std::atomic<bool> guardFault[kGuardSlots];

#if defined(Q_OS_UNIX)
struct sigaction previousBusHandler;
std::uintptr_t pageSize = 4096;

extern "C" void OnBusError(int signal, siginfo_t* info, void* context) {
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (int i = 0; i < kGuardSlots; ++i) {
        const std::uintptr_t begin = guardBegin[i].load(std::memory_order_acquire);
        if (begin == 0 || address < begin || address >= guardEnd[i].load())
            continue;
        // The page the fault is in, as an offset from the address the kernel gave.
        void* page = static_cast<char*>(info->si_addr) - (address & (pageSize - 1));
        if (::mmap(page, pageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) ==
            MAP_FAILED)
            break;
        guardFault[i].store(true);
        return;
    }
    // Not ours: the handler from before takes it (by default the program ends).
    if (previousBusHandler.sa_flags & SA_SIGINFO) {
        if (previousBusHandler.sa_sigaction) {
            previousBusHandler.sa_sigaction(signal, info, context);
            return;
        }
    } else if (previousBusHandler.sa_handler != SIG_DFL &&
               previousBusHandler.sa_handler != SIG_IGN) {
        previousBusHandler.sa_handler(signal);
        return;
    }
    ::signal(SIGBUS, SIG_DFL);
    // A fault happens again as the instruction is retried; a signal sent by another process is
    // sent once more.
    if (info->si_code <= 0)
        ::raise(SIGBUS);
}

void InstallBusHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        pageSize = std::uintptr_t(sysconf(_SC_PAGESIZE));
        struct sigaction action {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &previousBusHandler);
    });
}
#endif

std::mutex guardSlotsMutex;

int TakeGuardSlot(const uchar* data, qint64 size) {
    std::lock_guard lock(guardSlotsMutex);
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    for (int i = 0; i < kGuardSlots; ++i) {
        if (guardBegin[i].load() != 0)
            continue;
        // The end first, so that the handler never sees a range without its end.
        guardFault[i].store(false);
        guardEnd[i].store(begin + std::uintptr_t(size));
        guardBegin[i].store(begin, std::memory_order_release);
        return i;
    }
    return -1;
}

} // namespace

GuardedMapping::~GuardedMapping() {
    unmap();
}

bool GuardedMapping::map(QFile& file, qint64 size) {
    unmap();
#if defined(Q_OS_UNIX)
    InstallBusHandler();
#endif
    data_ = file.map(0, size);
    if (!data_)
        return false;
    file_ = &file;
    slot_ = TakeGuardSlot(data_, size);
    return true;
}

void GuardedMapping::unmap() {
    if (slot_ >= 0)
        guardBegin[slot_].store(0, std::memory_order_release);
    if (data_ && file_)
        file_->unmap(data_);
    data_ = nullptr;
    file_ = nullptr;
    slot_ = -1;
}

bool GuardedMapping::failed() const {
    return slot_ >= 0 && guardFault[slot_].load();
}

// ---- Streams
// -------------------------------------------------------------------------------------

qint64 ReadStream(int handle, char* into, qint64 size, int wake, int* errnum) {
#if defined(Q_OS_UNIX)
    for (;;) {
        pollfd waits[2] = {{handle, POLLIN, 0}, {wake, POLLIN, 0}};
        const int ready = ::poll(waits, wake >= 0 ? 2 : 1, -1);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            *errnum = errno;
            return -1;
        }
        if (wake >= 0 && (waits[1].revents & POLLIN))
            return kWoken;
        if (waits[0].revents & POLLNVAL) {
            *errnum = EBADF;
            return -1;
        }
        if (waits[0].revents == 0)
            continue;
        const ssize_t got = ::read(handle, into, std::size_t(size));
        if (got >= 0)
            return got;
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
            continue;
        *errnum = errno;
        return -1;
    }
#else
    Q_UNUSED(wake);
    QFile file;
    if (!file.open(handle, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
        *errnum = ErrnoFor(file);
        return -1;
    }
    const qint64 got = file.read(into, size);
    if (got < 0)
        *errnum = ErrnoFor(file);
    return got;
#endif
}

int OpenFifo(const QString& path, int* errnum) {
#if defined(Q_OS_UNIX)
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        *errnum = errno;
    return fd;
#else
    Q_UNUSED(path);
    *errnum = ENOENT;
    return -1;
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
    const long bytesPerPage = sysconf(_SC_PAGESIZE);
    if (pages > 0 && bytesPerPage > 0)
        return qint64(pages) * bytesPerPage;
#endif
    return 0;
}

qint64 AvailableMemoryBytes() {
#if defined(Q_OS_LINUX)
    QFile info(QStringLiteral("/proc/meminfo"));
    if (!info.open(QIODevice::ReadOnly))
        return 0;
    // "MemAvailable:   23528104 kB"
    for (QByteArray line = info.readLine(); !line.isEmpty(); line = info.readLine()) {
        if (!line.startsWith("MemAvailable:"))
            continue;
        const QList<QByteArray> parts = line.simplified().split(' ');
        bool ok = false;
        const qint64 kib = parts.size() >= 2 ? parts[1].toLongLong(&ok) : 0;
        return ok && kib > 0 ? kib * 1024 : 0;
    }
#endif
    return 0;
}

qint64 OpenFileLimit() {
#if defined(Q_OS_UNIX)
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        return qint64(limit.rlim_cur);
#endif
    return 0;
}
