// A text held in memory taken into the large-file mode: measured without copying it, and written
// into a nameless temporary file that the mode then reads as it reads any file.
#include "engine/window/largefile.h"

#include "engine/systemfiles.h"
#include "files/posixfile.h"
#include "files/reasons.h"
#include "files/writewhole.h"

#include <algorithm>

namespace {

// Characters encoded at a time: small enough that the bytes of one piece are little beside the
// text, large enough that the writes are few.
constexpr qsizetype kPieceChars = qsizetype(1) << 20;

bool IsHighSurrogate(char16_t c) {
    return c >= 0xd800 && c < 0xdc00;
}

} // namespace

// Each character's UTF-8 length is summed without a branch, in blocks small enough for 16-bit
// sums, so that the compiler turns the loop into vector instructions. A surrogate counts two
// bytes: a pair makes the four of its character. A line break is an LF, or a CR not followed
// by an LF.
TextMeasure MeasureText(QStringView text) {
    const char16_t* p = text.utf16();
    const qsizetype n = text.size();
    constexpr qsizetype kBlock = qsizetype(1) << 13; // 8192 * 3 fits 16 bits
    TextMeasure m;
    for (qsizetype from = 0; from < n; from += kBlock) {
        const qsizetype to = std::min(n, from + kBlock);
        quint16 bytes = 0;
        quint16 breaks = 0;
        for (qsizetype i = from; i < to; ++i) {
            const quint16 c = p[i];
            bytes = quint16(bytes + 1 + (c >= 0x80) + (c >= 0x800) - ((c & 0xf800) == 0xd800));
            breaks = quint16(breaks + (c == u'\n'));
        }
        // The CRs not followed by an LF; the last one looks at the next block's first.
        const qsizetype last = std::min(to, n - 1);
        for (qsizetype i = from; i < last; ++i)
            breaks = quint16(breaks + ((p[i] == u'\r') & (p[i + 1] != u'\n')));
        if (to == n && p[n - 1] == u'\r')
            ++breaks;
        m.utf8Bytes += bytes;
        m.lineBreaks += breaks;
    }
    return m;
}

Outcome OpenLargeText(const std::vector<QStringView>& parts, const QString& tempDir,
                      const EngineProgress& progress, LargeFile* into) {
    const QString handles = OwnHandlesFolder();
    if (handles.isEmpty())
        return Outcome::failed(QStringLiteral("这个系统不支持把粘贴的文字放进临时文件。"));
    QString reason;
    auto file = std::shared_ptr<QFile>(CreateHiddenTempFile(tempDir, &reason));
    if (!file)
        return Outcome::failed(TemporaryFolderFailure(tempDir, reason));
    const QString folder = TemporaryFolder(tempDir);
    const qint64 freeAtStart = FreeSpace(folder);
    qint64 total = 0;
    for (const QStringView part : parts)
        total += part.size();
    // Writing is half the work; reading the file back the rest.
    TextEncoder encoder(TextEncoding::Utf8);
    QByteArray bytes;
    qint64 done = 0;
    for (const QStringView part : parts) {
        for (qsizetype from = 0; from < part.size();) {
            qsizetype to = std::min(part.size(), from + kPieceChars);
            if (to < part.size() && IsHighSurrogate(part[to - 1].unicode()))
                --to; // a pair stays in one piece
            const QStringView piece = part.sliced(from, to - from);
            bytes.resize(0);
            // Escaped bytes go back as themselves; a lone surrogate, which no clipboard gives,
            // as U+FFFD.
            if (!encoder.encode(piece, bytes))
                bytes = piece.toUtf8();
            if (!WriteWhole(*file, bytes.constData(), bytes.size()))
                return Outcome::failed(
                    TemporaryFolderFailure(tempDir, TemporaryWriteFailure(*file, freeAtStart)));
            done += to - from;
            from = to;
            if (progress && !progress(done, total * 2))
                return Outcome::cancelled();
        }
    }
    if (!file->flush())
        return Outcome::failed(TemporaryFolderFailure(tempDir, ReasonFor(*file)));
    LargeFile large;
    large.paths = QStringList{handles + u'/' + QString::number(file->handle())};
    large.encoding = TextEncoding::Utf8;
    int errnum = 0;
    large.opened.push_back(StatusOfHandle(file->handle(), &errnum));
    const EngineProgress reading = [&](qint64 read, qint64 size) {
        return !progress || progress(size + read, size * 2);
    };
    if (Outcome o = SummarizeFile(*file, large.encoding, reading, &large.summary); !o.ok())
        return o;
    large.pasted = std::move(file);
    *into = std::move(large);
    return Outcome::done();
}
