#pragma once

#include <QString>
#include <QtGlobal>

// The few file calls that differ between systems, each behind one small function: what kind of
// file a path names, opening without waiting for a writer, ownership and extended attributes,
// syncing to disk and replacing a name. Handles are file descriptors; a failure leaves the
// system's error number in *errnum.

enum class FileKind { Missing, Regular, Directory, Fifo, CharDevice, BlockDevice, Socket, Other };

// What identifies a file and what a save must keep of it.
struct FileStatus {
    FileKind kind = FileKind::Missing;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    quint64 links = 0;
    uint owner = 0;
    uint group = 0;
    uint mode = 0;       // permission bits with setuid, setgid and sticky
    qint64 modified = 0; // the last change of the content, in nanoseconds since 1970
    bool madeUp = false; // its content is made up by the system when read (/proc, /sys...)

    // The same file, whatever the path that names it.
    bool sameFile(const FileStatus& other) const {
        return kind != FileKind::Missing && device == other.device && inode == other.inode;
    }
    // The same file with the same content as far as the system tells: size and time of change.
    bool unchangedSince(const FileStatus& before) const {
        return sameFile(before) && size == before.size && modified == before.modified;
    }
};

// The file a path names (the link itself when !followLinks). Kind Missing when it cannot be
// looked at; *errnum says why.
FileStatus StatusOfPath(const QString& path, bool followLinks, int* errnum);
FileStatus StatusOfHandle(int handle, int* errnum);

// Opens an existing file without waiting for a writer (a FIFO) and without taking it as the
// controlling terminal. For writing, a symbolic link in the last place is refused. -1 on failure.
int OpenExisting(const QString& path, bool forWriting, int* errnum);
// Creates a file that must not exist yet, for reading and writing: with the mode a new file gets
// (the process's umask applied), or readable by its owner only. -1 on failure.
int CreateNewFile(const QString& path, bool ownerOnly, int* errnum);
void CloseHandle(int handle);

// Creates a file in `folder` that has no name: it vanishes when its handle is closed, whatever
// happens to the program, unless NameFile gives it one. Its mode is that of a new file (the
// umask applied), or readable by its owner only. Where the system cannot make such a file, it is
// made with a name and the name taken away at once, and *nameable is false. -1 on failure.
int CreateNamelessFile(const QString& folder, bool ownerOnly, bool* nameable, int* errnum);
// Gives a file made by CreateNamelessFile (with *nameable true) the name `path`, which must not
// exist yet.
bool NameFile(int handle, const QString& path, int* errnum);

// Gives the file of `to` the owner, group, extended attributes and mode of `from` (whose status
// is `status`). False when the system does not let this process set one of them exactly.
bool CopyIdentity(int from, const FileStatus& status, int to, int* errnum);
bool SetMode(int handle, uint mode, int* errnum);

// Waits until the file's content is on the disk.
bool SyncHandle(int handle, int* errnum);
// Asks the system to start writing what has been written to the file onto the disk, without
// waiting for it, so that a later SyncHandle has less to wait for. Where the system cannot be
// asked, does nothing.
void StartWriteback(int handle);
// Waits until the names in a folder are on the disk; where the system cannot, does nothing.
void SyncFolder(const QString& folder);

// Gives `from` the name `to` in one step, replacing the file that had that name.
bool ReplaceName(const QString& from, const QString& to, int* errnum);

// What a symbolic link holds, as it was written (a relative target is relative to the link's
// folder). False when the path is no link (EINVAL) or cannot be looked at.
bool ReadLink(const QString& path, QString* target, int* errnum);
// The path of an existing file or folder with every symbolic link, "." and ".." in it resolved as
// the system resolves them (a ".." after a link to a folder leads to that folder's parent). Empty
// when it does not exist.
QString ResolvedPath(const QString& path);
// The folder in which the system shows this program's open handles as links, one named by each
// handle's number (/proc/<id>/fd on Linux, which /dev/stdout and /dev/fd lead to). Empty where
// there is none.
QString OwnHandlesFolder();
// The largest file this program may write, in bytes (ulimit -f); -1 when it has no such limit.
qint64 FileSizeLimit();
// Makes a write past that limit fail with EFBIG, whose reason is told as a full disk's is,
// instead of ending the program without a word (SIGXFSZ). For the whole process.
void IgnoreFileSizeSignal();
