#include "ui/statistic/repeatsexport.h"

#include "files/safefile.h"

#include <QDir>

namespace {

// A sink that keeps nothing, for counting alone.
class DiscardSink final : public OutputSink {
public:
    bool write(const char* /*data*/, qint64 /*size*/) override { return true; }
    QString error() const override { return {}; }
};

void AppendRow(QString& text, const RepeatedLine& row, QStringView lineBreak) {
    text += QString::number(row.count);
    text += u'\t';
    text += row.text;
    text += lineBreak;
}

} // namespace

EngineSettings ReadingLargeFile(const LargeFile& file, EngineSettings settings) {
    if (file.paths.size() == 1)
        settings.inputEncoding = WithoutByteOrderMark(file.encoding);
    return settings;
}

EngineResult RunOverSource(const FilterSource& source, EngineSettings settings,
                           const EngineProgress& progress) {
    if (const auto* text = std::get_if<QString>(&source))
        return FilterText(*text, settings, progress).result;
    const auto& file = std::get<std::shared_ptr<const LargeFile>>(source);
    DiscardSink sink;
    EngineResult result =
        FilterFiles(file->paths, sink, ReadingLargeFile(*file, std::move(settings)), progress);
    // Counts of files that changed since they were opened are not theirs.
    if (result.ok()) {
        if (QString changed = ChangedSince(file->paths, file->opened); !changed.isEmpty())
            result.outcome = Outcome::failed(std::move(changed));
    }
    return result;
}

EngineResult CountRepeats(const FilterSource& source, EngineSettings settings,
                          const EngineProgress& progress) {
    settings.collectRepeats = true;
    settings.repeatsOut = nullptr;
    return RunOverSource(source, std::move(settings), progress);
}

Outcome ForEachRepeat(const Statistic& statistic, const FilterSource& source,
                      const EngineSettings& settings, const EngineProgress& progress,
                      const std::function<bool(const RepeatedLine&)>& out) {
    if (statistic.complete()) {
        qint64 done = 0;
        for (const RepeatedLine& row : statistic.rows) {
            if (!out(row))
                return Outcome::cancelled();
            // Now and then, so that a cancel is heard.
            if (++done % 4096 == 0 && progress && !progress(done, qint64(statistic.rows.size())))
                return Outcome::cancelled();
        }
        return Outcome::done();
    }
    EngineSettings s = settings;
    s.collectRepeats = true;
    bool stopped = false;
    s.repeatsOut = [&](const RepeatedLine& row) {
        stopped = !out(row);
        return !stopped;
    };
    const EngineResult result = RunOverSource(source, std::move(s), progress);
    return stopped ? Outcome::cancelled() : result.outcome;
}

QString RepeatsListText(const std::vector<RepeatedLine>& rows) {
    qsizetype size = 0;
    for (const RepeatedLine& row : rows)
        size += row.text.size() + 24;
    QString text;
    text.reserve(size);
    for (const RepeatedLine& row : rows)
        AppendRow(text, row, u"\r\n");
    return text;
}

Outcome AllRepeatsText(const Statistic& statistic, const FilterSource& source,
                       const EngineSettings& settings, const EngineProgress& progress,
                       QString* into) {
    if (statistic.complete()) {
        *into = RepeatsListText(statistic.rows);
        return Outcome::done();
    }
    QString text;
    Outcome outcome =
        ForEachRepeat(statistic, source, settings, progress, [&](const RepeatedLine& row) {
            AppendRow(text, row, u"\r\n");
            return true;
        });
    if (outcome.ok())
        *into = std::move(text);
    return outcome;
}

Outcome SaveRows(const QString& path, TextEncoding encoding, LineBreak lineBreak, bool exact,
                 const RowSource& rows) {
    const TextEncoding plain = WithoutByteOrderMark(encoding);
    TextEncoder encoder(plain);
    std::unique_ptr<TextEncoder> wider;
    QByteArray bytes = ByteOrderMark(encoding).toByteArray();
    SafeSaveFile file(path);
    if (!file.open())
        return Outcome::failed(file.error());
    QString reason;
    QString line;
    const QStringView ending = LineBreakText(lineBreak);
    auto write = [&](QStringView row) {
        line.resize(0);
        line += row;
        line += ending;
        // A row GBK lacks a character of is written as GB18030, which keeps GBK's bytes for
        // everything GBK has.
        const bool widen = !exact && plain == TextEncoding::Gbk;
        if (!encoder.encode(line, bytes)) {
            if (widen && !wider)
                wider = std::make_unique<TextEncoder>(TextEncoding::Gb18030);
            if (!widen || !wider->encode(line, bytes))
                reason = QStringLiteral("有一行含有 %1 编码无法表示的字符。")
                             .arg(EncodingName(widen ? TextEncoding::Gb18030 : encoding));
        }
        if (bytes.size() >= kCopyChunkBytes) {
            file.device()->write(bytes); // a failure is kept for commit() to report
            bytes.resize(0);
        }
        return reason.isEmpty();
    };
    if (Outcome outcome = rows(write); !outcome.ok()) {
        file.cancel();
        if (!reason.isEmpty())
            return Outcome::failed(QStringLiteral("无法保存到：\n%1\n\n原因：%2")
                                       .arg(QDir::toNativeSeparators(path), reason));
        return outcome;
    }
    file.device()->write(bytes);
    if (!file.commit())
        return Outcome::failed(file.error());
    return Outcome::done();
}

Outcome SaveAllRepeats(const Statistic& statistic, const FilterSource& source,
                       const EngineSettings& settings, const QString& path, TextEncoding encoding,
                       LineBreak lineBreak, bool exact, const EngineProgress& progress) {
    return SaveRows(path, encoding, lineBreak, exact, [&](const RowSink& write) {
        QString row;
        return ForEachRepeat(statistic, source, settings, progress,
                             [&](const RepeatedLine& repeated) {
                                 row.resize(0);
                                 AppendRow(row, repeated, {});
                                 return write(row);
                             });
    });
}
