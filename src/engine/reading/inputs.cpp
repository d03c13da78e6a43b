#include "engine/reading/inputs.h"

#include "core/shown.h"
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
// A failure's message is the reason alone; the caller names the input.
Outcome Spool(int handle, const EngineSettings& settings, std::unique_ptr<QFile>* into) {
    QString reasonText;
    QString* reason = &reasonText;
    const QString folder = TemporaryFolder(settings.tempDir);
    std::unique_ptr<QFile> temp = CreateHiddenTempFile(folder, reason);
    if (!temp) {
        return Outcome::failed(TemporaryFolderFailure(folder, *reason));
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
            return Outcome::cancelled();
        if (got < 0) {
            return Outcome::failed(ReasonForErrno(errnum));
        }
        if (got == 0)
            break;
        if (!WriteWhole(*temp, chunk.constData(), got)) {
            *reason = QStringLiteral("临时文件夹 %1 写不下输入的内容：%2")
                          .arg(QDir::toNativeSeparators(folder),
                               TemporaryWriteFailure(*temp, freeAtStart));
            return Outcome::failed(*reason);
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
                return Outcome::failed(*reason);
            }
        }
    }
    *into = std::move(temp);
    return Outcome::done();
}

// What is said of an input that changed while it was read: `change` says how.
QString ChangedWhileRead(const QString& change) {
    return QStringLiteral(
               "文件在读取的过程中被改动了（%1）。结果没有写出；请等文件不再变动后再试。")
        .arg(change);
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

// ---- Which encoding an input is in ----

// Where the first byte that is not plain ASCII (a NUL, or one with its high bit set) is in
// `data`, or `size` when there is none. Blocks of 64 bytes are looked at a word at a time: a byte
// of 0x80 or more shows in its word's high bits, and so does a zero byte once one is taken from
// each byte; only the block with such a byte is looked at byte by byte.
qint64 FirstNotPlain(const uchar* data, qint64 size) {
    constexpr quint64 kOnes = 0x0101010101010101u;
    constexpr quint64 kHighs = 0x8080808080808080u;
    constexpr qint64 kBlock = 64;
    qint64 at = 0;
    for (; at + kBlock <= size; at += kBlock) {
        quint64 any = 0;
        for (qint64 i = 0; i < kBlock; i += 8) {
            quint64 w;
            std::memcpy(&w, data + at + i, sizeof w);
            any |= w | (w - kOnes);
        }
        if (any & kHighs)
            break;
    }
    for (; at < size; ++at) {
        if (data[at] - 1u >= 0x7Fu)
            return at;
    }
    return size;
}

// Decides the encoding of an input from a sample, so that a huge file is never read whole for
// it: its first MiB, or, when that is plain ASCII, the first MiB from its first other byte on
// (which is where the question is decided). Samples end at a line break.
TextEncoding DetectFromStart(const uchar* data, qint64 size, bool mapped) {
    constexpr qint64 kSample = qint64(1) << 20;
    auto sample = [&](qint64 from) {
        qint64 n = std::min(size - from, kSample);
        if (from + n < size) {
            const auto* lf = static_cast<const uchar*>(std::memchr(
                data + from + n, '\n', std::size_t(std::min(size - from - n, kSample))));
            n = lf ? (lf - data) + 1 - from : n;
        }
        return QByteArrayView(reinterpret_cast<const char*>(data + from), qsizetype(n));
    };
    const QByteArrayView first = sample(0);
    if (qint64(first.size()) == size || FirstNotPlain(data, first.size()) < first.size())
        return DetectEncoding(first);
    // Look for the first byte that is not plain ASCII, letting the pages go as it goes.
    constexpr qint64 kStep = qint64(4) << 20;
    for (qint64 at = first.size(); at < size; at += kStep) {
        const qint64 n = std::min(kStep, size - at);
        const qint64 other = FirstNotPlain(data + at, n);
        if (mapped)
            ReleaseMappedPages(data + at, n);
        if (other < n) {
            // From the start of its line, within reason.
            qint64 from = at + other;
            for (qint64 back = 0; back < 4096 && from > 0 && data[from - 1] != '\n'; ++back)
                --from;
            return DetectEncoding(sample(from));
        }
    }
    return DetectEncoding(first);
}

TextEncoding ForcedEncoding(TextEncoding forced, const uchar* data, qint64 size) {
    const TextEncoding marked = WithByteOrderMark(forced);
    const QByteArrayView mark = ByteOrderMark(marked);
    if (!mark.isEmpty() && size >= mark.size() &&
        std::memcmp(data, mark.data(), std::size_t(mark.size())) == 0)
        return marked;
    return forced;
}

} // namespace

TextEncoding InputEncoding(const EngineSettings& settings, const uchar* data, qint64 size,
                           bool mapped) {
    if (size > 0)
        return settings.inputEncoding ? ForcedEncoding(*settings.inputEncoding, data, size)
                                      : DetectFromStart(data, size, mapped);
    return settings.inputEncoding ? *settings.inputEncoding : TextEncoding::Gbk;
}

QString InputFailure(const QString& path, const QString& reason) {
    const QString name = path == u"-" ? QStringLiteral("标准输入") : ShownPath(path);
    return QStringLiteral("无法读取输入：%1\n原因：%2").arg(name, reason);
}

QString ChangedInput(const OpenInputs& inputs) {
    for (const OpenInputs::File& input : inputs.files) {
        if (input.opened.kind == FileKind::Missing)
            continue;
        const QString change = ChangeOf(input);
        if (!change.isEmpty())
            return InputFailure(input.path, ChangedWhileRead(change));
    }
    return {};
}

Outcome OpenInput(const QString& path, const EngineSettings& settings, OpenInputs& inputs) {
    OpenInputs::File input;
    input.path = path;
    QString reason;
    auto failed = [&](const QString& why) { return Outcome::failed(InputFailure(path, why)); };
    auto spool = [&](int handle) {
        Outcome outcome = Spool(handle, settings, &input.file);
        return outcome.hasFailed() ? failed(outcome.message()) : outcome;
    };
    if (path == u"-") {
        int errnum = 0;
        if (StatusOfHandle(0, &errnum).kind == FileKind::Missing)
            return failed(QStringLiteral("标准输入没有打开。"));
        if (Outcome o = spool(0); !o.ok())
            return o;
    } else if (IsPipe(path)) {
        int errnum = 0;
        const int fd = OpenFifo(path, &errnum);
        if (fd < 0)
            return failed(ReasonForErrno(errnum));
        Outcome outcome = spool(fd);
        CloseHandle(fd);
        if (!outcome.ok())
            return outcome;
    } else {
        input.file = std::make_unique<QFile>(path);
        if (!OpenForReading(*input.file, &reason, &input.opened))
            return failed(reason);
        // The system makes up the content of some files as they are read, and says nothing true
        // of their size: they are read to their end like a stream.
        if (input.opened.madeUp || input.opened.size == 0) {
            input.source = std::move(input.file);
            if (Outcome o = spool(input.source->handle()); !o.ok())
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
            return failed(ChangedWhileRead(
                QStringLiteral("文件变短了，从 %1 字节变成了 %2 字节")
                    .arg(QLocale::c().toString(s.size), QLocale::c().toString(got))));
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
    s.input = int(inputs.names.size());
    inputs.list.totalBytes += s.size;
    inputs.list.segments.push_back(s);
    inputs.files.push_back(std::move(input));
    inputs.names.push_back(path);
    return Outcome::done();
}

Segment TextSegment(QStringView text, const EngineSettings& settings, qint64 base) {
    Segment s;
    s.data = reinterpret_cast<const uchar*>(text.utf16());
    s.size = text.size() * 2;
    s.base = base;
    s.units = NativeUtf16();
    s.encoding = s.units == UnitFormat::Utf16Le ? TextEncoding::Utf16Le : TextEncoding::Utf16Be;
    s.native = true;
    s.stop = settings.stop;
    return s;
}

Outcome OpenLists(const EngineSettings& settings, OpenInputs& inputs) {
    for (std::size_t i = 0; i < settings.lists.size(); ++i) {
        const ComparedList& list = settings.lists[i];
        if (list.path.isEmpty()) {
            Segment s = TextSegment(list.text, settings, inputs.list.totalBytes);
            s.list = int(i);
            inputs.list.totalBytes += s.size;
            inputs.list.segments.push_back(s);
            continue;
        }
        // A list is read in its own encoding, whatever the input's is said to be.
        EngineSettings own = settings;
        own.inputEncoding.reset();
        if (Outcome o = OpenInput(list.path, own, inputs); !o.ok())
            return o;
        inputs.list.segments.back().list = int(i);
        inputs.names.removeLast(); // a list is no input
    }
    return Outcome::done();
}
