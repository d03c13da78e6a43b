#include "files/reasons.h"

#include "core/grouped.h"
#include "files/posixfile.h"

#include <QHash>
#include <QStorageInfo>

#include <cerrno>

namespace {
constexpr qint64 kKiB = 1024;
// Enough for any error number a system defines.
constexpr int kLargestErrno = 200;
} // namespace

// The error number behind a Qt file's error: Qt describes a system error with the system's
// text for it, which leads back to the number.
int ErrnoFor(const QFileDevice& file) {
    static const QHash<QString, int> byText = [] {
        QHash<QString, int> map;
        for (int e = kLargestErrno; e >= 1; --e)
            map.insert(qt_error_string(e), e);
        return map;
    }();
    return byText.value(file.errorString(), 0);
}

// Why the disk is full, with what is left on it now.
QString NoSpaceReason(const QString& folder) {
    QStorageInfo storage(folder);
    storage.refresh();
    if (!storage.isValid())
        return ReasonForErrno(ENOSPC);
    return QStringLiteral("磁盘空间不足（现在只剩 %1 KB 可用）。")
        .arg(storage.bytesAvailable() / kKiB);
}

QString FileTooLargeReason() {
    const qint64 limit = FileSizeLimit();
    if (limit < 0)
        return QStringLiteral("文件超出了这个磁盘允许的最大大小。");
    return QStringLiteral("文件超出了允许本程序写的最大大小（%1 KB，由 ulimit -f 限定）。"
                          "请放宽这个限制，或把结果写到别处。")
        .arg(Grouped(limit / kKiB));
}

QString ReasonForErrno(int errnum) {
    switch (errnum) {
    case EACCES:
        return QStringLiteral("没有访问权限。");
    case EPERM:
        return QStringLiteral("系统不允许这样做（权限不足）。");
    case ENOENT:
        return QStringLiteral("文件不存在，或路径中的文件夹不存在。");
    case ENOTDIR:
        return QStringLiteral("路径中有一部分不是文件夹。");
    case EISDIR:
        return QStringLiteral("这是一个文件夹，不是文件。");
    case EROFS:
        return QStringLiteral("文件所在的磁盘是只读的，不能写入。");
    case ENOSPC:
        return QStringLiteral("磁盘空间不足。");
#ifdef EDQUOT
    case EDQUOT:
        return QStringLiteral("超出了磁盘配额：您在这个磁盘上可用的空间已经用完。");
#endif
    case EFBIG:
        return FileTooLargeReason();
    case EIO:
        return QStringLiteral("读写磁盘时出错，磁盘或它的连接可能有问题。");
    case ENAMETOOLONG:
        return QStringLiteral("文件名或路径太长。");
    case ELOOP:
        return QStringLiteral("符号链接太多，或者链接指向了自己。");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("同时打开的文件太多，请关闭一些程序后再试。");
    case ETXTBSY:
        return QStringLiteral("文件正在作为程序运行，不能写入。");
    case EBUSY:
        return QStringLiteral("文件或设备正被占用。");
    case EEXIST:
        return QStringLiteral("文件已经存在。");
    case ENOTEMPTY:
        return QStringLiteral("文件夹不是空的。");
    case EXDEV:
        return QStringLiteral("不能在不同的磁盘之间改名。");
    case ENXIO:
    case ENODEV:
        return QStringLiteral("设备不存在或没有连接。");
    case ENOMEM:
        return QStringLiteral("内存不足。");
    case EAGAIN:
        return QStringLiteral("文件暂时无法使用，请稍后再试。");
    case EINTR:
        return QStringLiteral("操作被中断。");
    case EINVAL:
        return QStringLiteral("系统不接受这个操作。");
    case EOPNOTSUPP:
        return QStringLiteral("文件所在的磁盘不支持这个操作。");
#ifdef ESTALE
    case ESTALE:
        return QStringLiteral("网络上的文件已经失效，可能已在另一台电脑上被删除。");
#endif
    case ETIMEDOUT:
    case ENOTCONN:
    case ECONNABORTED:
    case ECONNRESET:
    case ENETDOWN:
    case ENETUNREACH:
    case EHOSTUNREACH:
        return QStringLiteral("网络连接出了问题，无法访问文件。");
    default:
        return QStringLiteral("系统报告了错误（错误号 %1）。").arg(errnum);
    }
}

QString ReasonFor(const QFileDevice& file) {
    if (const int errnum = ErrnoFor(file))
        return ReasonForErrno(errnum);
    switch (file.error()) {
    case QFileDevice::NoError:
        return {};
    case QFileDevice::ReadError:
        return QStringLiteral("读取文件时出错。");
    case QFileDevice::WriteError:
        return QStringLiteral("写入文件时出错。");
    case QFileDevice::ResourceError:
        return QStringLiteral("磁盘空间或系统资源不足。");
    case QFileDevice::OpenError:
        return QStringLiteral("无法打开文件。");
    case QFileDevice::PermissionsError:
        return QStringLiteral("没有权限。");
    case QFileDevice::RemoveError:
        return QStringLiteral("无法删除文件。");
    case QFileDevice::RenameError:
        return QStringLiteral("无法给文件改名。");
    case QFileDevice::ResizeError:
        return QStringLiteral("无法改变文件的大小。");
    case QFileDevice::PositionError:
        return QStringLiteral("无法移到文件中的指定位置。");
    case QFileDevice::CopyError:
        return QStringLiteral("无法复制文件。");
    case QFileDevice::TimeOutError:
        return QStringLiteral("操作超时。");
    case QFileDevice::AbortError:
        return QStringLiteral("操作被中止。");
    default:
        return QStringLiteral("发生了未知的错误。");
    }
}
