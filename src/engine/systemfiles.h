#pragma once

#include <QFile>
#include <QString>

#include <memory>

// The few calls the engine needs from the operating system, each behind one small function.

// A read-write temporary file in `dir` that has no name any more: the system removes it when it
// is closed, whether the program ends normally, fails or is killed.
std::unique_ptr<QFile> CreateHiddenTempFile(const QString& dir, QString* reason);

// Tells the system that the mapped pages of [data, data + size) will not be needed soon, so that
// they stop counting towards the program's memory (they stay in the file cache).
void ReleaseMappedPages(const uchar* data, qint64 size);

// Reads `size` bytes at `offset` of an open file without moving its position, so that several
// threads may read one file at once. False when fewer bytes could be read.
bool ReadAt(const QFile& file, qint64 offset, char* into, qint64 size);

// Asks the system to map [data, data + size) of a mapped file at once, rather than page by page
// as it is first read.
void PrefaultMappedPages(const uchar* data, qint64 size);

// True when the path names a pipe (FIFO).
bool IsPipe(const QString& path);

// The machine's physical memory in bytes, or 0 when unknown.
qint64 PhysicalMemoryBytes();
