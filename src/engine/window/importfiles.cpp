#include "engine/window/importfiles.h"

#include "core/lines.h"
#include "files/safefile.h"
#include "files/textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

QString ImportFailure(const QString& path, const QString& reason) {
    return QStringLiteral("无法导入文件：\n%1\n\n原因：%2")
        .arg(QDir::toNativeSeparators(path), reason);
}

// Lines as a user counts them in a text whose line breaks are all CR LF: a line break at the very
// end starts no line. Counted in blocks small enough for a 16-bit count, which the compiler turns
// into vector instructions: several times faster than QStringView::count.
qsizetype CountLines(const QString& text) {
    const auto* p = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype n = text.size();
    constexpr qsizetype kBlock = qsizetype(1) << 15;
    qsizetype breaks = 0;
    for (qsizetype from = 0; from < n; from += kBlock) {
        const qsizetype to = std::min(n, from + kBlock);
        quint16 inBlock = 0;
        for (qsizetype i = from; i < to; ++i)
            inBlock = quint16(inBlock + (p[i] == u'\n' ? 1 : 0));
        breaks += inBlock;
    }
    return breaks + 1 - (text.endsWith(u"\r\n") ? 1 : 0);
}

} // namespace

ImportedFiles ReadFiles(const QStringList& paths, const LargeFileBounds& bounds,
                        const EngineProgress& progress) {
    ImportedFiles out;
    qint64 total = 0;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        total += info.isFile() ? info.size() : 0;
    }
    auto openLarge = [&](const EngineProgress& reporting) {
        LargeFile large;
        out.outcome = OpenLargeFiles(paths, reporting, &large);
        if (out.outcome.ok())
            out.large = std::make_shared<const LargeFile>(std::move(large));
        return out;
    };
    if (total > bounds.bytes)
        return openLarge(progress);
    // Reading is two thirds of the work; counting the lines of files that turn out large the
    // rest.
    QString text;
    qint64 before = 0;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        ImportResult read =
            ImportTextFile(paths[i], kMaxImportBytes, [&](qint64 done, qint64 size) {
                return paths.size() == 1
                           ? progress(done * 2, size * 3)
                           : progress((before + done) * 2, std::max(total, qint64(1)) * 3);
            });
        if (!read.outcome.ok()) {
            out.outcome = read.outcome;
            return out;
        }
        before += QFileInfo(paths[i]).size();
        if (i == 0) {
            out.encoding = read.decoded.encoding;
            out.lineBreak = read.decoded.lineBreak;
        }
        out.unreadable += read.decoded.unreadable;
        if (read.decoded.unreadable > 0 && out.unreadableIn.isEmpty())
            out.unreadableIn = paths[i];
        // A file that does not end in a line break still ends its last line.
        if (!text.isEmpty() && !text.endsWith(u'\n') && !text.endsWith(u'\r'))
            text += QStringLiteral("\r\n");
        text += read.decoded.text;
        read.decoded.text = QString();
    }
    if (!progress(2, 3)) { // read: two thirds of the work
        out.outcome = Outcome::cancelled();
        return out;
    }
    text = NormalizeLineBreaks(std::exchange(text, {}));
    if (CountLines(text) <= bounds.lines) {
        out.text = std::move(text);
        return out;
    }
    text = QString();
    const EngineProgress counting = [&](qint64 done, qint64 size) {
        return progress(size * 2 + done, size * 3);
    };
    if (paths.size() > 1)
        return openLarge(counting);
    const QString& path = paths.constFirst();
    QFile file(path);
    QString reason;
    FileStatus opened;
    if (!OpenForReading(file, &reason, &opened)) {
        out.outcome = Outcome::failed(ImportFailure(path, reason));
        return out;
    }
    TextSummary summary;
    const Outcome summarized = SummarizeFile(file, out.encoding, counting, &summary);
    if (!summarized.ok()) {
        out.outcome = summarized.hasFailed()
                          ? Outcome::failed(ImportFailure(path, summarized.message()))
                          : summarized;
        return out;
    }
    out.large = std::make_shared<const LargeFile>(
        LargeFile{paths, out.encoding, summary, {opened}, nullptr});
    return out;
}
