#include "files/posixfile.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

FileKind KindOf(mode_t mode) {
    if (S_ISREG(mode))
        return FileKind::Regular;
    if (S_ISDIR(mode))
        return FileKind::Directory;
    if (S_ISFIFO(mode))
        return FileKind::Fifo;
    if (S_ISCHR(mode))
        return FileKind::CharDevice;
    if (S_ISBLK(mode))
        return FileKind::BlockDevice;
    if (S_ISSOCK(mode))
        return FileKind::Socket;
    return FileKind::Other;
}

FileStatus FromStat(const struct stat& st) {
    FileStatus s;
    s.kind = KindOf(st.st_mode);
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = st.st_size;
    s.links = st.st_nlink;
    s.owner = st.st_uid;
    s.group = st.st_gid;
    s.mode = st.st_mode & 07777;
    return s;
}

// Reads a list or a value of extended attributes; the size is asked first, and again when the
// attribute changed in between.
template <typename Call> bool ReadAttributeBytes(QByteArray& out, Call call) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        const ssize_t size = call(nullptr, 0);
        if (size < 0)
            return false;
        out.resize(size);
        const ssize_t got = call(out.data(), size_t(out.size()));
        if (got >= 0) {
            out.resize(got);
            return true;
        }
        if (errno != ERANGE)
            return false;
    }
    return false;
}

// The names of a file's extended attributes, each ended by a zero byte; empty where the file
// system holds none.
bool AttributeNames(int handle, QByteArray& names, int* errnum) {
    if (ReadAttributeBytes(names,
                           [handle](char* buf, size_t n) { return flistxattr(handle, buf, n); }))
        return true;
    names.clear();
    if (errno == ENOTSUP || errno == ENOSYS)
        return true;
    *errnum = errno;
    return false;
}

bool HasName(const QByteArray& names, const char* name) {
    for (qsizetype at = 0; at < names.size();
         at += qsizetype(qstrlen(names.constData() + at)) + 1) {
        if (qstrcmp(names.constData() + at, name) == 0)
            return true;
    }
    return false;
}

// Makes the extended attributes (access lists included) of `to` those of `from`.
bool CopyExtendedAttributes(int from, int to, int* errnum) {
    QByteArray names;
    QByteArray existing;
    if (!AttributeNames(from, names, errnum) || !AttributeNames(to, existing, errnum))
        return false;
    for (qsizetype at = 0; at < existing.size();) {
        const char* name = existing.constData() + at;
        at += qsizetype(qstrlen(name)) + 1;
        if (!HasName(names, name) && fremovexattr(to, name) != 0) {
            *errnum = errno;
            return false;
        }
    }
    for (qsizetype at = 0; at < names.size();) {
        const char* name = names.constData() + at;
        at += qsizetype(qstrlen(name)) + 1;
        QByteArray value;
        QByteArray present;
        if (!ReadAttributeBytes(value, [from, name](char* buf, size_t n) {
                return fgetxattr(from, name, buf, n);
            })) {
            *errnum = errno;
            return false;
        }
        if (ReadAttributeBytes(
                present, [to, name](char* buf, size_t n) { return fgetxattr(to, name, buf, n); }) &&
            present == value)
            continue;
        if (fsetxattr(to, name, value.constData(), size_t(value.size()), 0) != 0) {
            *errnum = errno;
            return false;
        }
    }
    return true;
}

} // namespace

FileStatus StatusOfPath(const QString& path, bool followLinks, int* errnum) {
    struct stat st {};
    const QByteArray name = QFile::encodeName(path);
    if ((followLinks ? stat(name.constData(), &st) : lstat(name.constData(), &st)) != 0) {
        *errnum = errno;
        return {};
    }
    return FromStat(st);
}

FileStatus StatusOfHandle(int handle, int* errnum) {
    struct stat st {};
    if (fstat(handle, &st) != 0) {
        *errnum = errno;
        return {};
    }
    return FromStat(st);
}

int OpenExisting(const QString& path, bool forWriting, int* errnum) {
    const int flags =
        O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (forWriting ? O_RDWR | O_NOFOLLOW : O_RDONLY);
    const int fd = open(QFile::encodeName(path).constData(), flags);
    if (fd < 0)
        *errnum = errno;
    return fd;
}

int CreateNewFile(const QString& path, bool ownerOnly, int* errnum) {
    const int fd =
        open(QFile::encodeName(path).constData(),
             O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, ownerOnly ? 0600 : 0666);
    if (fd < 0)
        *errnum = errno;
    return fd;
}

void CloseHandle(int handle) {
    close(handle);
}

bool CopyIdentity(int from, const FileStatus& status, int to, int* errnum) {
    FileStatus now = StatusOfHandle(to, errnum);
    if (now.kind == FileKind::Missing)
        return false;
    // The owner first: changing it may clear setuid and setgid, which the mode then sets again.
    if ((now.owner != status.owner || now.group != status.group) &&
        fchown(to, status.owner, status.group) != 0) {
        *errnum = errno;
        return false;
    }
    if (!CopyExtendedAttributes(from, to, errnum))
        return false;
    // Only a mode that differs is set: some file systems refuse any change of it.
    now = StatusOfHandle(to, errnum);
    if (now.mode != status.mode && !SetMode(to, status.mode, errnum))
        return false;
    now = StatusOfHandle(to, errnum);
    if (now.owner != status.owner || now.group != status.group || now.mode != status.mode) {
        *errnum = EPERM; // the system quietly dropped a bit, as it does with setgid
        return false;
    }
    return true;
}

bool SetMode(int handle, uint mode, int* errnum) {
    if (fchmod(handle, mode_t(mode)) != 0) {
        *errnum = errno;
        return false;
    }
    return true;
}

bool SyncHandle(int handle, int* errnum) {
    if (fsync(handle) != 0) {
        *errnum = errno;
        return false;
    }
    return true;
}

void SyncFolder(const QString& folder) {
    const int fd = open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    fsync(fd);
    close(fd);
}

bool ReplaceName(const QString& from, const QString& to, int* errnum) {
    if (rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0) {
        *errnum = errno;
        return false;
    }
    return true;
}
