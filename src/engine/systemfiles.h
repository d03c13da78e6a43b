#pragma once

#include "engine/engine.h"

#include <QFile>
#include <QString>

#include <memory>

// The few calls the engine needs from the operating system, each behind one small function.

// TemporaryFolder is declared in engine.h, for the programs.

// A read-write temporary file in `dir` (see TemporaryFolder) that has no name any more: the system
// removes it when it is closed, whether the program ends normally, fails or is killed. On failure
// *reason says why (without naming the folder: see TemporaryFolderFailure).
std::unique_ptr<QFile> CreateHiddenTempFile(const QString& dir, QString* reason);
// The message for work with temporary files in `dir` that failed for `reason`.
QString TemporaryFolderFailure(const QString& dir, const QString& reason);
// The reason a write into a temporary file failed; a full disk says how much room there was when
// the work began (`freeAtStart`, see FreeSpace), as the files that took it are gone afterwards.
QString TemporaryWriteFailure(const QFileDevice& file, qint64 freeAtStart);

// How much room is left for the program on the disk that holds `folder`; -1 when unknown.
qint64 FreeSpace(const QString& folder);

// Tells the system that the mapped pages of [data, data + size) will not be needed soon, so that
// they stop counting towards the program's memory (they stay in the file cache).
void ReleaseMappedPages(const uchar* data, qint64 size);

// Reads `size` bytes at `offset` of an open file without moving its position, so that several
// threads may read one file at once. False when fewer bytes could be read.
bool ReadAt(const QFile& file, qint64 offset, char* into, qint64 size);
// The same, and tells how many bytes were read (fewer at the file's end), or -1 on a failure
// with *errnum set.
qint64 ReadUpTo(const QFile& file, qint64 offset, char* into, qint64 size, int* errnum);

// Asks the system to map [data, data + size) of a mapped file at once, rather than page by page
// as it is first read.
void PrefaultMappedPages(const uchar* data, qint64 size);

// A file mapped into memory that stays safe to read when the file shrinks meanwhile: a page past
// the file's new end reads as zeros instead of ending the program, and failed() tells that it
// happened. The work then knows that what it read is not the file.
class GuardedMapping {
public:
    GuardedMapping() = default;
    ~GuardedMapping();
    GuardedMapping(const GuardedMapping&) = delete;
    GuardedMapping& operator=(const GuardedMapping&) = delete;

    // Maps [0, size) of an open file. False when the system refuses.
    bool map(QFile& file, qint64 size);
    void unmap();
    const uchar* data() const { return data_; }
    // True when a page could not be read from the file (it shrank, or the disk failed).
    bool failed() const;

private:
    QFile* file_ = nullptr;
    uchar* data_ = nullptr;
    int slot_ = -1;
};

// Reads up to `size` bytes from a stream (a pipe, a terminal, a FIFO, any file) into `into`,
// waiting for them as long as needed, unless `wake` (a handle, or -1) becomes readable first.
// Returns the count read, 0 at the end, -1 on a failure (*errnum set), -2 when woken.
constexpr qint64 kWoken = -2;
qint64 ReadStream(int handle, char* into, qint64 size, int wake, int* errnum);

// Opens a FIFO for reading without waiting for its writer: the waiting happens in ReadStream,
// where it can be woken. -1 on failure (*errnum set).
int OpenFifo(const QString& path, int* errnum);

// True when the path names a pipe (FIFO).
bool IsPipe(const QString& path);

// The machine's physical memory in bytes, or 0 when unknown.
qint64 PhysicalMemoryBytes();
// The memory that programs may still take without the system swapping or reclaiming what others
// use (what it calls available), in bytes; 0 when unknown.
qint64 AvailableMemoryBytes();

// How many files the program may have open at once, or 0 when unknown (or unlimited).
qint64 OpenFileLimit();
