// Interim implementation: replaced by the identity-keeping one.
#include "files/safefile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

QString ReasonForErrno(int errnum) {
    return QStringLiteral("系统错误 %1。").arg(errnum);
}

QString ReasonFor(const QFileDevice& file) {
    return QStringLiteral("%1。").arg(file.errorString());
}

bool OpenForReading(QFile& file, QString* reason) {
    const QFileInfo info(file.fileName());
    if (!info.exists()) {
        *reason = QStringLiteral("文件不存在。");
        return false;
    }
    if (!info.isFile()) {
        *reason = QStringLiteral("这不是普通文件。");
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *reason = ReasonFor(file);
        return false;
    }
    return true;
}

SafeSaveFile::SafeSaveFile(const QString& path) : path_(path) {}
SafeSaveFile::~SafeSaveFile() = default;

bool SafeSaveFile::open() {
    file_ = std::make_unique<QSaveFile>(path_);
    if (!file_->open(QIODevice::WriteOnly)) {
        error_ = QStringLiteral("无法保存到：\n%1\n\n原因：%2")
                     .arg(QDir::toNativeSeparators(path_), ReasonFor(*file_));
        return false;
    }
    return true;
}

QIODevice* SafeSaveFile::device() {
    return file_.get();
}

bool SafeSaveFile::commit() {
    if (!file_->commit()) {
        error_ = QStringLiteral("无法保存到：\n%1\n\n原因：%2")
                     .arg(QDir::toNativeSeparators(path_), ReasonFor(*file_));
        return false;
    }
    return true;
}

void SafeSaveFile::cancel() {
    if (file_)
        file_->cancelWriting();
    file_.reset();
}

QString SafeSaveFile::error() const {
    return error_;
}
