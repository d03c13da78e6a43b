#include "engine/window/largefile.h"

#include "core/lines.h"
#include "engine/reading/batches.h"
#include "engine/reading/inputs.h"
#include "engine/reading/segment.h"
#include "engine/systemfiles.h"
#include "files/safefile.h"
#include "files/writewhole.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

namespace {

QString Failure(const QString& path, const QString& reason) {
    return QStringLiteral("无法导入文件：\n%1\n\n原因：%2")
        .arg(QDir::toNativeSeparators(path), reason);
}

bool OnlySpaces(const uchar* line, qint64 length, UnitFormat units) {
    if (units == UnitFormat::Bytes) {
        for (qint64 i = 0; i < length; ++i) {
            if (line[i] != ' ')
                return false;
        }
        return true;
    }
    const int low = units == UnitFormat::Utf16Le ? 0 : 1;
    for (qint64 i = 0; i + 1 < length; i += 2) {
        if (line[i + low] != ' ' || line[i + 1 - low] != 0)
            return false;
    }
    return length % 2 == 0;
}

// A sink that writes into a file.
class FileSink final : public OutputSink {
public:
    FileSink(QFile& file, QString dir)
        : file_(file), dir_(std::move(dir)), freeAtStart_(FreeSpace(TemporaryFolder(dir_))) {}
    bool write(const char* data, qint64 size) override {
        if (WriteWhole(file_, data, size))
            return true;
        error_ = TemporaryFolderFailure(dir_, TemporaryWriteFailure(file_, freeAtStart_));
        return false;
    }
    QString error() const override { return error_; }

private:
    QFile& file_;
    QString dir_;
    qint64 freeAtStart_;
    QString error_;
};

} // namespace

Outcome SummarizeFile(QFile& file, TextEncoding encoding, const EngineProgress& progress,
                      TextSummary* into) {
    TextSummary summary;
    const qint64 size = file.size();
    if (size == 0) {
        *into = summary;
        return Outcome::done();
    }
    GuardedMapping mapping;
    if (!mapping.map(file, size))
        return Outcome::failed(ReasonFor(file));
    const uchar* data = mapping.data();
    Segment s;
    s.data = data;
    s.size = size;
    s.body = ByteOrderMark(encoding).size();
    s.encoding = WithoutByteOrderMark(encoding);
    s.units = UnitFormatOf(encoding);
    s.mapped = true;
    s.file = &file; // read through a buffer; a very long line is looked at in place
    if (s.body > size ||
        QByteArrayView(reinterpret_cast<const char*>(data), s.body) != ByteOrderMark(encoding))
        s.body = 0;
    SegmentList inputs;
    inputs.segments.push_back(s);
    inputs.totalBytes = size;
    TextDecoder decoder(s.encoding);
    QString line;
    qint64 done = 0;
    const bool finished = ForEachBatch(inputs, [&](const Segment& seg, const uchar* from,
                                                   const uchar* to) {
        ForEachLineOf(seg, from, to, [&](const uchar* p, qint64 length) {
            ++summary.lines;
            if (!OnlySpaces(p, length, seg.units))
                ++summary.nonBlankLines;
            if (summary.lines > kPreviewLines) {
                summary.previewComplete = false;
                return;
            }
            line.resize(0);
            // Enough bytes for the characters shown, whatever the encoding.
            const qint64 shown = std::min<qint64>(length, kPreviewLineChars * 4);
            qint64 cut = shown;
            if (shown < length) // cut on a character boundary the simple way: by whole units
                cut = seg.units == UnitFormat::Bytes ? shown : shown & ~qint64(1);
            decoder.decode(QByteArrayView(reinterpret_cast<const char*>(p), qsizetype(cut)), line);
            if (line.size() > kPreviewLineChars || cut < length) {
                line.truncate(kPreviewLineChars);
                line += QStringLiteral("…");
                summary.previewComplete = false;
            }
            if (summary.lines > 1)
                summary.preview += QStringLiteral("\r\n");
            summary.preview += line;
        });
        done += to - from;
        return !progress || progress(done, size);
    });
    if (mapping.failed() || file.size() != size)
        return Outcome::failed(
            QStringLiteral("文件在读取的过程中被改动了（大小从 %1 字节变成了 %2 字节）。")
                .arg(QLocale::c().toString(size), QLocale::c().toString(file.size())));
    if (!finished)
        return Outcome::cancelled();
    *into = std::move(summary);
    return Outcome::done();
}

QString ChangedSince(const QStringList& paths, const std::vector<FileStatus>& opened) {
    for (qsizetype i = 0; i < paths.size() && std::size_t(i) < opened.size(); ++i) {
        if (QString changed = ChangedSince(paths[i], opened[std::size_t(i)]); !changed.isEmpty())
            return changed;
    }
    return {};
}

QString ChangedSince(const QString& path, const FileStatus& opened) {
    int errnum = 0;
    const FileStatus now = StatusOfPath(path, true, &errnum);
    if (now.unchangedSince(opened))
        return {};
    return QStringLiteral("文件在导入以后被改动过：\n%1\n\n%2请重新导入它。")
        .arg(QDir::toNativeSeparators(path),
             now.kind == FileKind::Missing ? QStringLiteral("它已被删除或改名。")
             : !now.sameFile(opened) ? QStringLiteral("这个文件名现在指向另一个文件。")
             : now.size != opened.size
                 ? QStringLiteral("它的大小从 %1 字节变成了 %2 字节。")
                       .arg(QLocale::c().toString(opened.size), QLocale::c().toString(now.size))
                 : QStringLiteral("它的修改时间变了。"));
}

Outcome OpenLargeFile(const QString& path, const EngineProgress& progress, LargeFile* into) {
    QFile file(path);
    QString reason;
    LargeFile large;
    large.opened.resize(1);
    if (!OpenForReading(file, &reason, &large.opened[0]))
        return Outcome::failed(Failure(path, reason));
    large.paths = QStringList{path};
    const qint64 size = file.size();
    if (size > 0) {
        const qint64 sample = std::min<qint64>(size, qint64(16) << 20);
        QByteArray start(qsizetype(sample), Qt::Uninitialized);
        int errnum = 0;
        const qint64 got = ReadUpTo(file, 0, start.data(), sample, &errnum);
        if (got < 0)
            return Outcome::failed(Failure(path, ReasonForErrno(errnum)));
        large.encoding = DetectEncoding(QByteArrayView(start).first(qsizetype(got)));
    }
    const Outcome summarized = SummarizeFile(file, large.encoding, progress, &large.summary);
    if (!summarized.ok())
        return summarized.hasFailed() ? Outcome::failed(Failure(path, summarized.message()))
                                      : summarized;
    *into = std::move(large);
    return Outcome::done();
}

Outcome OpenLargeFiles(const QStringList& paths, const EngineProgress& progress, LargeFile* into) {
    qint64 total = 0;
    for (const QString& path : paths)
        total += QFileInfo(path).size();
    LargeFile all;
    all.paths = paths;
    qint64 before = 0;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const QString& path = paths[i];
        const EngineProgress part = [&](qint64 done, qint64 /*size*/) {
            return !progress || progress(before + done, total);
        };
        LargeFile opened;
        if (Outcome o = OpenLargeFile(path, part, &opened); !o.ok())
            return o;
        const LargeFile* one = &opened;
        if (i == 0)
            all.encoding = one->encoding;
        all.opened.push_back(one->opened.front());
        TextSummary& sum = all.summary;
        const TextSummary& add = one->summary;
        // The beginning shown goes on into the next file while it has room.
        const qint64 room = kPreviewLines - sum.lines;
        if (room > 0 && add.lines > 0) {
            qsizetype cut = add.preview.size();
            qint64 breaks = 0;
            for (qsizetype at = add.preview.indexOf(u"\r\n"); at >= 0 && cut == add.preview.size();
                 at = add.preview.indexOf(u"\r\n", at + 2))
                if (++breaks == room)
                    cut = at;
            if (sum.lines > 0)
                sum.preview += QStringLiteral("\r\n");
            sum.preview += QStringView(add.preview).left(cut);
        }
        sum.previewComplete = sum.previewComplete && add.previewComplete;
        sum.lines += add.lines;
        sum.nonBlankLines += add.nonBlankLines;
        if (sum.lines > kPreviewLines)
            sum.previewComplete = false;
        before += QFileInfo(path).size();
    }
    *into = std::move(all);
    return Outcome::done();
}

Outcome ReadLinesAgain(const QStringList& paths, const EngineSettings& settings,
                       const std::vector<std::pair<int, qint64>>& places,
                       const EngineProgress& progress, std::vector<QString>* into) {
    EngineSettings reading = settings;
    reading.readWholeBytes = 0; // mapped and read through a buffer, never held whole
    OpenInputs inputs;
    for (const QString& path : paths) {
        if (Outcome o = OpenInput(path, reading, inputs); !o.ok())
            return o;
    }
    std::vector<QString> texts(places.size());
    std::size_t next = 0;
    std::pair<int, qint64> here{-1, 0};
    qint64 done = 0;
    bool stopped = false;
    ForEachBatch(inputs.list, [&](const Segment& s, const uchar* from, const uchar* to) {
        if (s.input != here.first) {
            here = {s.input, 0};
            // Lines asked for past the end of an earlier input stay empty.
            while (next < places.size() && places[next].first < s.input)
                ++next;
        }
        ForEachLineOf(s, from, to, [&](const uchar* line, qint64 length) {
            ++here.second;
            if (next == places.size() || places[next] != here)
                return;
            texts[next] = LineText(s, line, length);
            for (++next; next < places.size() && places[next] == here; ++next)
                texts[next] = texts[next - 1];
        });
        done += to - from;
        stopped = (progress && !progress(done, inputs.list.totalBytes)) || s.stopped();
        return !stopped && next < places.size();
    });
    if (QString changed = ChangedInput(inputs); !changed.isEmpty() || inputs.list.readFailed)
        return Outcome::failed(
            changed.isEmpty()
                ? QStringLiteral("无法读取输入：文件在处理的过程中被改动，或无法再读。")
                : changed);
    if (stopped)
        return Outcome::cancelled();
    *into = std::move(texts);
    return Outcome::done();
}

Outcome FilterLargeFile(const LargeFile& input, const EngineSettings& settings,
                        const EngineProgress& progress, LargeResult* into) {
    LargeResult out;
    QString reason;
    out.file = CreateHiddenTempFile(settings.tempDir, &reason);
    if (!out.file)
        return Outcome::failed(TemporaryFolderFailure(settings.tempDir, reason));
    if (QString changed = ChangedSince(input.paths, input.opened); !changed.isEmpty())
        return Outcome::failed(std::move(changed));
    out.inputPaths = input.paths;
    out.inputOpened = input.opened;
    out.pastedInput = input.pasted;
    EngineSettings s = settings;
    // Several files are each read in their own encoding.
    if (input.paths.size() == 1)
        s.inputEncoding = WithoutByteOrderMark(input.encoding);
    // Filtering is nine tenths of the work; counting the result the rest.
    const EngineProgress filtering = [&](qint64 done, qint64 total) {
        return !progress || progress(done * 9 / 10, total);
    };
    FileSink sink(*out.file, settings.tempDir);
    out.result = FilterFiles(input.paths, sink, s, filtering);
    if (!out.result.ok())
        return out.result.outcome;
    // The engine tells a change while it read; this tells one since the file was opened.
    if (QString changed = ChangedSince(input.paths, input.opened); !changed.isEmpty())
        return Outcome::failed(std::move(changed));
    if (!out.file->flush())
        return Outcome::failed(ReasonFor(*out.file));
    out.encoding = out.result.outputEncoding;
    const EngineProgress counting = [&](qint64 done, qint64 total) {
        return !progress || progress(total * 9 / 10 + done / 10, total);
    };
    if (Outcome o = SummarizeFile(*out.file, out.encoding, counting, &out.summary); !o.ok())
        return o;
    *into = std::move(out);
    return Outcome::done();
}
