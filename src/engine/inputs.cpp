#include "engine/inputs.h"

#include "files/reasons.h"
#include "files/safefile.h"
#include "files/writewhole.h"

#include <QDir>
#include <QLocale>

#include <algorithm>

namespace {

constexpr qint64 kSpoolChunk = qint64(1) << 20;
// How often, in bytes copied, the room left on the temporary folder's disk is looked at: at most
// this seldom, and often enough that the margin is seen before the disk is full.
constexpr qint64 kSpoolCheckEvery = qint64(16) << 20;

QString MiB(qint64 bytes) {
    return QLocale::c().toString((bytes + (qint64(1) << 20) - 1) >> 20) + QStringLiteral(" MB");
}

// Copies a stream into a temporary file that can then be read like any file. Waits for the
// stream as long as it takes, unless settings.wakeHandle wakes it.
OpenOutcome Spool(int handle, const EngineSettings& settings, std::unique_ptr<QFile>* into,
                  QString* reason) {
    const QString folder = TemporaryFolder(settings.tempDir);
    std::unique_ptr<QFile> temp = CreateHiddenTempFile(folder, reason);
    if (!temp) {
        *reason = TemporaryFolderFailure(folder, *reason);
        return OpenOutcome::Failed;
    }
    const qint64 freeAtStart = FreeSpace(folder);
    const qint64 margin = freeAtStart < 0 ? 0 : std::min(kSpoolMargin, freeAtStart / 2);
    QByteArray chunk(qsizetype(kSpoolChunk), Qt::Uninitialized);
    qint64 copied = 0;
    const qint64 checkEvery = std::clamp(margin / 4, kSpoolChunk, kSpoolCheckEvery);
    qint64 nextCheck = checkEvery;
    while (true) {
        int errnum = 0;
        const qint64 got =
            ReadStream(handle, chunk.data(), chunk.size(), settings.wakeHandle, &errnum);
        if (got == kWoken)
            return OpenOutcome::Cancelled;
        if (got < 0) {
            *reason = ReasonForErrno(errnum);
            return OpenOutcome::Failed;
        }
        if (got == 0)
            break;
        if (!WriteWhole(*temp, chunk.constData(), got)) {
            *reason = QStringLiteral("临时文件夹 %1 写不下输入的内容：%2")
                          .arg(QDir::toNativeSeparators(folder),
                               TemporaryWriteFailure(*temp, freeAtStart));
            return OpenOutcome::Failed;
        }
        copied += got;
        if (copied >= nextCheck) {
            nextCheck += checkEvery;
            const qint64 free = FreeSpace(folder);
            if (free >= 0 && free < margin) {
                *reason =
                    QStringLiteral("输入没有尽头，或比临时文件夹 %1 所在磁盘的空间还大："
                                   "已读入 %2，磁盘只剩 %3。为了给其他程序留出空间"
                                   "（至少 %4），读入在此停止。")
                        .arg(QDir::toNativeSeparators(folder), MiB(copied), MiB(free), MiB(margin));
                return OpenOutcome::Failed;
            }
        }
    }
    *into = std::move(temp);
    return OpenOutcome::Opened;
}

QString ChangeOf(const OpenInputs::File& input) {
    if (input.mapping && input.mapping->failed())
        return QStringLiteral("文件变短了，读到的一部分内容已经不在文件里");
    int errnum = 0;
    const QFile& watched = input.source ? *input.source : *input.file;
    const FileStatus now = StatusOfHandle(watched.handle(), &errnum);
    if (now.size != input.opened.size)
        return QStringLiteral("文件的大小从 %1 字节变成了 %2 字节")
            .arg(QLocale::c().toString(input.opened.size), QLocale::c().toString(now.size));
    if (now.modified != input.opened.modified)
        return QStringLiteral("文件的修改时间变了");
    const FileStatus named = StatusOfPath(input.path, true, &errnum);
    if (named.kind == FileKind::Missing)
        return QStringLiteral("文件被删除或改名了");
    if (!named.sameFile(input.opened))
        return QStringLiteral("这个文件名现在指向另一个文件");
    return {};
}

} // namespace

QString InputFailure(const QString& path, const QString& reason) {
    const QString name = path == u"-" ? QStringLiteral("标准输入") : QDir::toNativeSeparators(path);
    return QStringLiteral("无法读取输入：%1\n原因：%2").arg(name, reason);
}

QString ChangedInput(const OpenInputs& inputs) {
    for (const OpenInputs::File& input : inputs.files) {
        if (input.opened.kind == FileKind::Missing)
            continue;
        const QString change = ChangeOf(input);
        if (!change.isEmpty())
            return InputFailure(input.path,
                                QStringLiteral("文件在读取的过程中被改动了（%1）。结果没有写出；"
                                               "请等文件不再变动后再试。")
                                    .arg(change));
    }
    return {};
}

OpenOutcome OpenInput(const QString& path, const EngineSettings& settings, OpenInputs& inputs,
                      QString* error) {
    OpenInputs::File input;
    input.path = path;
    QString reason;
    auto failed = [&](const QString& why) {
        *error = InputFailure(path, why);
        return OpenOutcome::Failed;
    };
    auto spool = [&](int handle) {
        const OpenOutcome outcome = Spool(handle, settings, &input.file, &reason);
        if (outcome == OpenOutcome::Failed)
            *error = InputFailure(path, reason);
        return outcome;
    };
    if (path == u"-") {
        int errnum = 0;
        if (StatusOfHandle(0, &errnum).kind == FileKind::Missing)
            return failed(QStringLiteral("标准输入没有打开。"));
        if (const OpenOutcome o = spool(0); o != OpenOutcome::Opened)
            return o;
    } else if (IsPipe(path)) {
        int errnum = 0;
        const int fd = OpenFifo(path, &errnum);
        if (fd < 0)
            return failed(ReasonForErrno(errnum));
        const OpenOutcome outcome = spool(fd);
        CloseHandle(fd);
        if (outcome != OpenOutcome::Opened)
            return outcome;
    } else {
        input.file = std::make_unique<QFile>(path);
        if (!OpenForReading(*input.file, &reason, &input.opened))
            return failed(reason);
        // The system makes up the content of some files as they are read, and says nothing true
        // of their size: they are read to their end like a stream.
        if (input.opened.madeUp || input.opened.size == 0) {
            input.source = std::move(input.file);
            if (const OpenOutcome o = spool(input.source->handle()); o != OpenOutcome::Opened)
                return o;
            // What the system makes up changes as it likes; an empty file is still watched.
            if (input.opened.madeUp) {
                input.opened = FileStatus();
                input.source.reset();
            }
        }
    }

    QFile& file = *input.file;
    Segment s;
    s.stop = settings.stop;
    s.size =
        input.source || input.opened.kind == FileKind::Missing ? file.size() : input.opened.size;
    s.base = inputs.list.totalBytes;
    if (s.size > 0 && s.size <= settings.readWholeBytes) {
        // A small file is read: memory of the program's own is quicker to look back into than
        // the pages of a mapped file.
        inputs.buffers.emplace_back(qsizetype(s.size), Qt::Uninitialized);
        QByteArray& buffer = inputs.buffers.back();
        int errnum = 0;
        const qint64 got = ReadUpTo(file, 0, buffer.data(), s.size, &errnum);
        if (got < 0)
            return failed(ReasonForErrno(errnum));
        if (got < s.size)
            return failed(QStringLiteral("文件在读取的过程中变短了（从 %1 字节变成了 %2 字节）。")
                              .arg(QLocale::c().toString(s.size), QLocale::c().toString(got)));
        s.data = reinterpret_cast<const uchar*>(buffer.constData());
    } else if (s.size > 0) {
        input.mapping = std::make_unique<GuardedMapping>();
        if (!input.mapping->map(file, s.size))
            return failed(ReasonFor(file));
        s.data = input.mapping->data();
        s.mapped = true;
        s.file = &file;
    }
    const TextEncoding encoding = InputEncoding(settings, s.data, s.size, s.mapped);
    if (s.mapped)
        ReleaseMappedPages(s.data, std::min<qint64>(s.size, qint64(2) << 20));
    s.body = ByteOrderMark(encoding).size();
    s.encoding = WithoutByteOrderMark(encoding);
    s.units = UnitFormatOf(encoding);
    // The first input's encoding, mark included, is what the result is written in.
    if (inputs.list.segments.empty())
        inputs.firstHadMark = s.body > 0;
    inputs.list.totalBytes += s.size;
    inputs.list.segments.push_back(s);
    inputs.files.push_back(std::move(input));
    return OpenOutcome::Opened;
}
