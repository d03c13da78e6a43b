#pragma once

// The inside of SafeSaveFile, shared by its two files: safefile.cpp (open, the save by rename,
// cancel) and safefileinplace.cpp (the commit in place, with its backup).

#include "files/safefile.h"

#include <QFile>
#include <QString>

#include <optional>

// How many names are tried before a folder is taken to refuse new ones.
constexpr int kNameAttempts = 100;

// "Cannot save to <path>, because <reason>", as every failure of a save says it.
QString SaveFailure(const QString& path, const QString& reason);
// Why no file could be made beside the target. Where the folder forbids it, the reason it is
// needed is said too.
QString FolderRefuses(int errnum, const QString& folder);
// Creates a file beside `target` under a name no file has yet (see SiblingName). Returns the
// open handle, or -1 with *errnum set.
int CreateSibling(const QString& target, const QString& tag, bool hidden, bool ownerOnly,
                  QString* created, int* errnum);

struct SafeSaveFile::Impl {
    enum class Way { Closed, Replace, InPlace };

    QString path;   // as asked, for messages
    QString target; // the file written: links followed
    QString folder;
    Way way = Way::Closed;
    FileStatus old; // kind Missing when there is no old file
    int oldHandle = -1;
    // The new content, gathered beside the target until the commit. Replace: the file that takes
    // the target's name then (nameless until that moment where the system allows). InPlace: a
    // nameless file whose content is copied into the old file.
    QFile content;
    QString temporary; // the content file's name, once it has one
    QFile out;         // InPlace, during the commit: the old file itself
    QFile backup;      // InPlace, during the commit: the old content
    QString backupPath;
    bool touched = false; // InPlace: the old file's content has begun to change
    std::optional<GuardedWriter> writer;
    QByteArray buffer;
    QString error;
    // The first write that failed, told as soon as it is asked for: a full disk is described by
    // what is free at that moment (after a cancel, once the new content is gone).
    int writeErrno = 0;
    QString writeReason;

    bool fail(const QString& reason) {
        error = SaveFailure(path, reason);
        return false;
    }
    QString reasonFor(int errnum, const QString& reason) const {
        return errnum == ENOSPC ? NoSpaceReason(folder) : reason;
    }
    // `what` says which step failed, before the reason.
    bool failAndCancel(int errnum, const QString& reason, const QString& what = {});
    bool openOldFile();
    enum class Outcome { Started, KeepsNoIdentity, Failed };
    Outcome startReplace();
    bool startInPlace();
    bool nameContent(int* errnum);
    bool commitReplace();
    bool commitInPlace();
    void startWriting();
    void closeOld();
    void dropContent();
    bool restoreOldContent(QString* reason);
};
