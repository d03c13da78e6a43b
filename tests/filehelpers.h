#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>

#include <unistd.h>

// Whole-file reads and writes for tests that check what lands on disk, and the few system calls
// the tests need to set files up.

inline QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

inline void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

inline bool HardLink(const QString& from, const QString& to) {
    return link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

inline bool IsRoot() {
    return geteuid() == 0;
}

// Every name in a folder, hidden ones included, sorted.
inline QStringList Entries(const QString& folder) {
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Mounts a small file system of its own at `folder`, where the machine allows it.
inline bool MountSmall(const QString& folder, const QString& options) {
    QDir().mkpath(folder);
    return QProcess::execute(QStringLiteral("mount"),
                             {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                              options, QStringLiteral("tmpfs"), folder}) == 0;
}

inline void Unmount(const QString& folder) {
    QProcess::execute(QStringLiteral("umount"), {folder});
}
