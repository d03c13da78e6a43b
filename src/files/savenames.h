#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The names a save uses and finds: the file a path really writes, the names of the files it makes
// beside it, and the copies an in-place save that never finished left there.

// Where a save of a path writes.
struct SavePlace {
    // The file written: every symbolic link in the path's last place followed (a dangling one
    // too, to the file it would make), and the folder the system's own, with its links, "." and
    // ".." resolved. Two paths that write one file have the same place, or name the same file
    // where it exists (hard links).
    QString path;
    // Where the path leads through one of this program's open handles (/dev/stdout,
    // /proc/self/fd/1...): its number; otherwise -1.
    int handle = -1;
};
// Nothing when the links go round in a circle or are too many to follow.
std::optional<SavePlace> PlaceOfSave(const QString& path);

// True when saves of the two paths write one file.
bool SameSavePlace(const QString& a, const QString& b);

// The tag of the copy of the old content an in-place save makes beside its target.
inline const QString kBackupTag = QStringLiteral("backup");

// A name beside `target`: "<name>.<tag>-XXXXXX" with six random letters and digits, with a dot
// before it when hidden. A long name is cut to its first 200 bytes.
QString SiblingName(const QString& target, const QString& tag, bool hidden);

// The copies of the old content that in-place saves of the file at `path` (links followed) left
// beside it because they never finished: a kill or a power cut in their midst. Full paths, sorted.
QStringList LeftBackupsOf(const QString& path);
// When `path` is itself such a copy and the file it was made of is still beside it: that file.
std::optional<QString> BackedUpFile(const QString& path);
// What is said of the copies left beside a file: that a save of it never finished, that the file
// may hold only part of its new content, and that the copies are left for the user to look at.
QString LeftBackupsNotice(const QString& path, const QStringList& backups);
