// The result of the large-file mode, held in a temporary file: saved as it is or converted, and
// taken as text for the clipboard.
#include "core/lines.h"
#include "engine/reading/batches.h"
#include "engine/reading/segment.h"
#include "engine/window/largefile.h"
#include "files/safefile.h"
#include "files/writewhole.h"

#include <QDir>

Outcome SaveLargeResult(QFile& result, const QString& path, const EngineProgress& progress) {
    SafeSaveFile save(path);
    if (!save.open())
        return Outcome::failed(save.error());
    const qint64 size = result.size();
    if (!result.seek(0))
        return Outcome::failed(ReasonFor(result));
    QByteArray chunk(qsizetype(1) << 20, Qt::Uninitialized);
    qint64 done = 0;
    while (done < size) {
        const qint64 got = result.read(chunk.data(), chunk.size());
        if (got <= 0)
            return Outcome::failed(ReasonFor(result));
        if (save.device()->write(chunk.constData(), got) != got)
            break; // the commit reports why
        done += got;
        if (progress && !progress(done, size)) {
            save.cancel();
            return Outcome::cancelled();
        }
    }
    if (!save.commit())
        return Outcome::failed(save.error());
    return Outcome::done();
}

Outcome SaveLargeResultAs(QFile& result, TextEncoding from, const QString& path, TextEncoding to,
                          LineBreak lineBreak, bool exact, const EngineProgress& progress) {
    const qint64 size = result.size();
    const uchar* data = size > 0 ? result.map(0, size) : nullptr;
    if (size > 0 && !data)
        return Outcome::failed(ReasonFor(result));
    Segment s;
    s.data = data;
    s.size = size;
    s.body = std::min<qint64>(ByteOrderMark(from).size(), size);
    s.encoding = WithoutByteOrderMark(from);
    s.units = UnitFormatOf(from);
    s.mapped = true;
    SegmentList inputs;
    if (size > 0)
        inputs.segments.push_back(s);
    inputs.totalBytes = size;

    const TextEncoding plain = WithoutByteOrderMark(to);
    const bool utf16 = plain == TextEncoding::Utf16Le || plain == TextEncoding::Utf16Be;
    TextDecoder decoder(s.encoding);
    TextEncoder encoder(plain);
    std::unique_ptr<TextEncoder> wider;
    QByteArray out(ByteOrderMark(to).data(), ByteOrderMark(to).size());
    QByteArray breakBytes;
    encoder.encode(LineBreakText(lineBreak), breakBytes);
    SafeSaveFile save(path);
    if (!save.open()) {
        if (data)
            result.unmap(const_cast<uchar*>(data));
        return Outcome::failed(save.error());
    }
    QString line;
    QString reason;
    qint64 done = 0;
    const bool finished = ForEachBatch(inputs, [&](const Segment& seg, const uchar* begin,
                                                   const uchar* end) {
        ForEachLine(begin, end, seg.units, [&](const uchar* p, qint64 length) {
            if (!reason.isEmpty())
                return;
            line.resize(0);
            const qsizetype escaped = decoder.decode(
                QByteArrayView(reinterpret_cast<const char*>(p), qsizetype(length)), line);
            if (escaped > 0 && utf16) {
                reason = QStringLiteral("结果中有无法识别为文字的字节，不能写成 %1。")
                             .arg(EncodingName(to));
                return;
            }
            if (!encoder.encode(line, out)) {
                if (exact || plain != TextEncoding::Gbk) {
                    reason =
                        QStringLiteral("结果中含有 %1 编码无法表示的字符。").arg(EncodingName(to));
                    return;
                }
                if (!wider)
                    wider = std::make_unique<TextEncoder>(TextEncoding::Gb18030);
                wider->encode(line, out);
            }
            out += breakBytes;
        });
        if (!reason.isEmpty())
            return false;
        if (out.size() >= kCopyChunkBytes) {
            save.device()->write(out); // a failure is kept for commit() to report
            out.resize(0);
        }
        done += end - begin;
        return !progress || progress(done, size);
    });
    if (data)
        result.unmap(const_cast<uchar*>(data));
    if (!reason.isEmpty())
        return Outcome::failed(QStringLiteral("无法保存到：\n%1\n\n原因：%2")
                                   .arg(QDir::toNativeSeparators(path), reason));
    if (!finished) {
        save.cancel();
        return Outcome::cancelled();
    }
    save.device()->write(out);
    if (!save.commit())
        return Outcome::failed(save.error());
    return Outcome::done();
}

std::optional<QString> ResultText(QFile& result, TextEncoding encoding, qint64 maxBytes) {
    if (result.size() > maxBytes || !result.seek(0))
        return std::nullopt;
    const QByteArray bytes = result.readAll();
    const qsizetype mark = ByteOrderMark(encoding).size();
    QString text;
    TextDecoder(WithoutByteOrderMark(encoding))
        .decode(QByteArrayView(bytes).sliced(std::min(mark, bytes.size())), text);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isLowSurrogate() && (i == 0 || !text[i - 1].isHighSurrogate()))
            text[i] = QChar::ReplacementCharacter;
    }
    return NormalizeLineBreaks(text);
}
