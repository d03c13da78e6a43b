#include "files/textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStorageInfo>

namespace {

QString ImportFailure(const QString& path, const QString& reason) {
    return QStringLiteral("无法导入文件：\n%1\n\n原因：%2")
        .arg(QDir::toNativeSeparators(path), reason);
}

QString SaveFailure(const QString& path, const QString& reason) {
    return QStringLiteral("无法保存到：\n%1\n\n原因：%2")
        .arg(QDir::toNativeSeparators(path), reason);
}

QString FileErrorReason(const QFileDevice& file) {
    switch (file.error()) {
    case QFileDevice::PermissionsError:
        return QStringLiteral("没有权限。");
    case QFileDevice::ResourceError:
        return QStringLiteral("磁盘空间不足或系统资源不足（%1）。").arg(file.errorString());
    default:
        return QStringLiteral("%1。").arg(file.errorString());
    }
}

// Why writing `needed` bytes next to `path` failed. A full disk often comes back from the system
// as no particular error, so the free space is looked at first.
QString WriteFailureReason(const QFileDevice& file, const QString& path, qint64 needed) {
    const QStorageInfo storage(QFileInfo(path).absolutePath());
    if (storage.isValid() && storage.bytesAvailable() < needed + kMiB / 16)
        return QStringLiteral("磁盘空间不足（需要 %1 KB，只剩 %2 KB）。")
            .arg((needed + 1023) / 1024)
            .arg(storage.bytesAvailable() / 1024);
    return FileErrorReason(file);
}

bool MarkedReadOnly(const QFileInfo& info) {
    const auto writeBits =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return !(info.permissions() & writeBits);
}

} // namespace

ImportResult ImportTextFile(const QString& path) {
    ImportResult result;
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists()) {
        result.error = ImportFailure(path, QStringLiteral("文件不存在。"));
        return result;
    }
    if (info.isDir()) {
        result.error = ImportFailure(path, QStringLiteral("这是一个文件夹，不是文件。"));
        return result;
    }
    if (info.size() > kMaxImportBytes) {
        result.error =
            ImportFailure(path, QStringLiteral("文件太大（%1 MB）。本程序最多导入 %2 MB 的文件。")
                                    .arg(info.size() / kMiB)
                                    .arg(kMaxImportBytes / kMiB));
        return result;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = ImportFailure(path, FileErrorReason(file));
        return result;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.error = ImportFailure(path, FileErrorReason(file));
        return result;
    }
    if (bytes.size() > kMaxImportBytes) { // a file that grew, or one that reports no size
        result.error = ImportFailure(
            path,
            QStringLiteral("文件太大。本程序最多导入 %1 MB 的文件。").arg(kMaxImportBytes / kMiB));
        return result;
    }
    result.decoded = DecodeText(bytes);
    result.ok = true;
    return result;
}

SaveResult SaveTextFile(const QString& path, QStringView text, TextEncoding encoding) {
    SaveResult result;
    const QFileInfo info(path);
    if (path.isEmpty()) {
        result.error = SaveFailure(path, QStringLiteral("没有指定文件名。"));
        return result;
    }
    if (info.isDir()) {
        result.error = SaveFailure(path, QStringLiteral("这是一个文件夹，不是文件。"));
        return result;
    }
    if (!info.dir().exists()) {
        result.error = SaveFailure(path, QStringLiteral("所在的文件夹不存在。"));
        return result;
    }
    if (info.exists() && MarkedReadOnly(info)) {
        result.error = SaveFailure(path, QStringLiteral("文件是只读的。"));
        return result;
    }
    const std::optional<EncodedText> encoded = EncodeText(text, encoding);
    if (!encoded) {
        result.error = SaveFailure(
            path, QStringLiteral("文本中含有 %1 编码无法表示的字符。").arg(EncodingName(encoding)));
        return result;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        result.error = SaveFailure(path, FileErrorReason(file));
        return result;
    }
    if (file.write(encoded->bytes) != encoded->bytes.size() || !file.commit()) {
        result.error = SaveFailure(path, WriteFailureReason(file, path, encoded->bytes.size()));
        file.cancelWriting();
        return result;
    }
    result.ok = true;
    result.written = encoded->encoding;
    return result;
}
