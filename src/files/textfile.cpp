#include "files/textfile.h"

#include "files/safefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>

namespace {

constexpr qint64 kKiB = 1024;

QString ImportFailure(const QString& path, const QString& reason) {
    return QStringLiteral("无法导入文件：\n%1\n\n原因：%2")
        .arg(QDir::toNativeSeparators(path), reason);
}

QString SaveFailure(const QString& path, const QString& reason) {
    return QStringLiteral("无法保存到：\n%1\n\n原因：%2")
        .arg(QDir::toNativeSeparators(path), reason);
}

// A size for messages, rounded up to whole units, so that a file over a limit never reads as
// equal to it.
QString SizeText(qint64 bytes) {
    if (bytes >= kMiB)
        return QStringLiteral("%1 MB").arg((bytes + kMiB - 1) / kMiB);
    if (bytes >= kKiB)
        return QStringLiteral("%1 KB").arg((bytes + kKiB - 1) / kKiB);
    return QStringLiteral("%1 字节").arg(bytes);
}

QString TooLarge(const QString& path, qint64 size, qint64 maxBytes) {
    const QString limit = QStringLiteral("本程序最多导入 %1 的文件。").arg(SizeText(maxBytes));
    return ImportFailure(path, size > 0
                                   ? QStringLiteral("文件太大（%1）。").arg(SizeText(size)) + limit
                                   : QStringLiteral("文件太大。") + limit);
}

// The free space where `path` is saved, when the disk can be asked.
std::optional<qint64> FreeSpaceFor(const QString& path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    const QStorageInfo storage(canonical.isEmpty() ? info.absolutePath() : canonical);
    if (!storage.isValid() || !storage.isReady())
        return std::nullopt;
    return storage.bytesAvailable();
}

} // namespace

ImportResult ImportTextFile(const QString& path, qint64 maxBytes, const ReadProgress& progress) {
    ImportResult result;
    QFile file(path);
    QString reason;
    if (!OpenForReading(file, &reason)) {
        result.outcome = Outcome::failed(ImportFailure(path, reason));
        return result;
    }
    const qint64 reported = file.size();
    if (reported > maxBytes) {
        result.outcome = Outcome::failed(TooLarge(path, reported, maxBytes));
        return result;
    }
    // Never more than maxBytes + 1 bytes are held: one byte past the bound tells that the file
    // goes beyond it, whatever size it reported.
    QByteArray bytes;
    bytes.reserve(reported + 1);
    qint64 done = 0;
    auto cancelled = [&] {
        if (progress && !progress(done, reported))
            result.outcome = Outcome::cancelled();
        return result.outcome.wasCancelled();
    };
    if (cancelled())
        return result;
    for (;;) {
        const qint64 want = std::min(kImportChunkBytes, maxBytes + 1 - done);
        if (bytes.capacity() < done + want)
            bytes.reserve(std::min(std::max(2 * bytes.capacity(), done + want), maxBytes + 1));
        bytes.resize(done + want);
        const qint64 got = file.read(bytes.data() + done, want);
        if (got < 0) {
            result.outcome = Outcome::failed(ImportFailure(path, ReasonFor(file)));
            return result;
        }
        if (got == 0)
            break;
        done += got;
        if (done > maxBytes) {
            result.outcome = Outcome::failed(TooLarge(path, 0, maxBytes));
            return result;
        }
        if (cancelled())
            return result;
    }
    bytes.resize(done);
    result.decoded = DecodeText(bytes);
    return result;
}

SaveResult SaveTextFile(const QString& path, QStringView text, TextEncoding encoding,
                        LineBreak lineBreak, bool exact) {
    SaveResult result;
    const TextEncoding plain = WithoutByteOrderMark(encoding);
    if (exact && (plain == TextEncoding::Utf16Le || plain == TextEncoding::Utf16Be)) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (IsEscapedByte(text, i)) {
                result.outcome = Outcome::failed(
                    SaveFailure(path, QStringLiteral("文本中有无法识别为文字的字节，不能写成 %1。")
                                          .arg(EncodingName(encoding))));
                return result;
            }
        }
    }
    QString withBreaks;
    if (lineBreak != LineBreak::CrLf) {
        withBreaks = text.toString();
        withBreaks.replace(QStringLiteral("\r\n"), LineBreakText(lineBreak).toString());
        text = withBreaks;
    }
    std::optional<EncodedText> encoded = EncodeText(text, encoding);
    withBreaks = QString();
    if (!encoded || (exact && encoded->encoding != encoding)) {
        result.outcome = Outcome::failed(SaveFailure(
            path,
            QStringLiteral("文本中含有 %1 编码无法表示的字符。").arg(EncodingName(encoding))));
        return result;
    }
    const qint64 needed = encoded->bytes.size();
    if (const std::optional<qint64> free = FreeSpaceFor(path); free && *free < needed) {
        result.outcome = Outcome::failed(
            SaveFailure(path, QStringLiteral("磁盘空间不足（需要 %1 KB，只剩 %2 KB）。")
                                  .arg((needed + kKiB - 1) / kKiB)
                                  .arg(*free / kKiB)));
        return result;
    }
    SafeSaveFile file(path);
    if (!file.open()) {
        result.outcome = Outcome::failed(file.error());
        return result;
    }
    file.device()->write(encoded->bytes); // a failure is kept for commit() to report
    if (!file.commit()) {
        result.outcome = Outcome::failed(file.error());
        return result;
    }
    result.written = encoded->encoding;
    return result;
}
