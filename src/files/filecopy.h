#pragma once

#include <QByteArray>
#include <QFile>
#include <QIODevice>
#include <QString>

#include "files/posixfile.h"
#include "files/reasons.h"
#include "files/writewhole.h"

#include <functional>

// Copying a file's whole content, and writing through a device that keeps the first failure.

// The piece in which content is gathered before it is written, and in which a file's content is
// copied.
constexpr qint64 kCopyChunkBytes = qint64(1024) * 1024;

// Copies the whole content of `from` over `to`, which ends up exactly as long. The buffer is
// reused across calls. Returns 0, or the error number of the failing side (-1 when unknown).
int CopyContent(QFile& from, QFile& to, QByteArray& buffer, QString* reason);

// How much is written between two requests that the system start putting it on the disk.
constexpr qint64 kWritebackEveryBytes = qint64(8) << 20;

// Hands writes on to a file in pieces of kCopyChunkBytes and keeps the first failure, so that a
// later write can neither hide it nor follow it. For a file that will be synced (`writeback`),
// every kWritebackEveryBytes the system is asked to start writing it onto the disk: a large
// result is then mostly there by the time it is synced, rather than all of it waited for at the
// end.
class GuardedWriter final : public QIODevice {
public:
    using Failed = std::function<void(int errnum, const QString& reason)>;
    GuardedWriter(QFile& file, Failed failed, bool writeback = false)
        : file_(file), onFailure_(std::move(failed)), writeback_(writeback) {}
    bool isSequential() const override { return true; }

    // Writes what is gathered; false once anything has failed.
    bool finish() { return flushPiece(); }
    bool failed() const { return failed_; }
    int errnum() const { return errnum_; }
    QString reason() const { return reason_; }

protected:
    qint64 readData(char* /*data*/, qint64 /*maxlen*/) override { return -1; }
    qint64 writeData(const char* data, qint64 len) override {
        if (failed())
            return -1;
        if (piece_.size() + len > kCopyChunkBytes && !flushPiece())
            return -1;
        if (len >= kCopyChunkBytes) {
            if (!writeOut(data, len))
                return -1;
        } else {
            piece_.append(data, len);
        }
        return len;
    }

private:
    bool flushPiece() {
        if (failed())
            return false;
        const bool ok = piece_.isEmpty() || writeOut(piece_.constData(), piece_.size());
        piece_.clear();
        return ok;
    }
    bool writeOut(const char* data, qint64 len) {
        if (WriteWhole(file_, data, len)) {
            sinceWriteback_ += len;
            if (writeback_ && sinceWriteback_ >= kWritebackEveryBytes) {
                StartWriteback(file_.handle());
                sinceWriteback_ = 0;
            }
            return true;
        }
        failed_ = true;
        errnum_ = ErrnoFor(file_);
        reason_ = ReasonFor(file_);
        if (reason_.isEmpty())
            reason_ = QStringLiteral("写入文件时出错。");
        onFailure_(errnum_, reason_);
        return false;
    }

    QFile& file_;
    Failed onFailure_;
    QByteArray piece_;
    bool writeback_;
    qint64 sinceWriteback_ = 0;
    bool failed_ = false;
    int errnum_ = 0;
    QString reason_;
};
