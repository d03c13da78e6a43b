#include "ui/repeatsexport.h"

#include "files/safefile.h"

#include <QDir>

namespace {

// A sink that keeps nothing, for counting alone.
class DiscardSink final : public OutputSink {
public:
    bool write(const char* /*data*/, qint64 /*size*/) override { return true; }
    QString error() const override { return {}; }
};

EngineResult Run(const FilterSource& source, EngineSettings settings,
                 const EngineProgress& progress) {
    settings.collectRepeats = true;
    if (const auto* text = std::get_if<QString>(&source))
        return FilterText(*text, settings, progress).result;
    const auto& file = std::get<std::shared_ptr<const LargeFile>>(source);
    if (file->paths.size() == 1)
        settings.inputEncoding = WithoutByteOrderMark(file->encoding);
    DiscardSink sink;
    EngineResult result = FilterFiles(file->paths, sink, settings, progress);
    // Counts of files that changed since they were opened are not theirs.
    if (result.ok()) {
        if (QString changed = ChangedSince(file->paths, file->opened); !changed.isEmpty()) {
            result.status = EngineResult::Status::InputFailed;
            result.error = std::move(changed);
        }
    }
    return result;
}

void AppendRow(QString& text, const RepeatedLine& row, QStringView lineBreak) {
    text += QString::number(row.count);
    text += u'\t';
    text += row.text;
    text += lineBreak;
}

} // namespace

EngineResult CountRepeats(const FilterSource& source, EngineSettings settings,
                          const EngineProgress& progress) {
    settings.repeatsOut = nullptr;
    return Run(source, std::move(settings), progress);
}

bool ForEachRepeat(const Statistic& statistic, const FilterSource& source,
                   const EngineSettings& settings, const EngineProgress& progress,
                   const std::function<bool(const RepeatedLine&)>& out, QString* error) {
    if (statistic.complete()) {
        qint64 done = 0;
        for (const RepeatedLine& row : statistic.rows) {
            if (!out(row))
                return false;
            // Now and then, so that a cancel is heard.
            if (++done % 4096 == 0 && progress && !progress(done, qint64(statistic.rows.size())))
                return false;
        }
        return true;
    }
    EngineSettings s = settings;
    bool stopped = false;
    s.repeatsOut = [&](const RepeatedLine& row) {
        stopped = !out(row);
        return !stopped;
    };
    const EngineResult result = Run(source, std::move(s), progress);
    if (!result.ok() && !stopped && result.status != EngineResult::Status::Cancelled)
        *error = result.error;
    return result.ok();
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

std::optional<QString> AllRepeatsText(const Statistic& statistic, const FilterSource& source,
                                      const EngineSettings& settings,
                                      const EngineProgress& progress, QString* error) {
    if (statistic.complete())
        return RepeatsListText(statistic.rows);
    QString text;
    const bool ok = ForEachRepeat(
        statistic, source, settings, progress,
        [&](const RepeatedLine& row) {
            AppendRow(text, row, u"\r\n");
            return true;
        },
        error);
    if (!ok)
        return std::nullopt;
    return text;
}

bool SaveAllRepeats(const Statistic& statistic, const FilterSource& source,
                    const EngineSettings& settings, const QString& path, TextEncoding encoding,
                    LineBreak lineBreak, bool exact, const EngineProgress& progress,
                    QString* error) {
    const TextEncoding plain = WithoutByteOrderMark(encoding);
    TextEncoder encoder(plain);
    std::unique_ptr<TextEncoder> wider;
    QByteArray bytes = ByteOrderMark(encoding).toByteArray();
    SafeSaveFile file(path);
    if (!file.open()) {
        *error = file.error();
        return false;
    }
    QString reason;
    QString row;
    auto write = [&](const RepeatedLine& repeated) {
        row.resize(0);
        AppendRow(row, repeated, LineBreakText(lineBreak));
        // A row GBK lacks a character of is written as GB18030, which keeps GBK's bytes for
        // everything GBK has.
        const bool widen = !exact && plain == TextEncoding::Gbk;
        if (!encoder.encode(row, bytes)) {
            if (widen && !wider)
                wider = std::make_unique<TextEncoder>(TextEncoding::Gb18030);
            if (!widen || !wider->encode(row, bytes))
                reason = QStringLiteral("有一行含有 %1 编码无法表示的字符。")
                             .arg(EncodingName(widen ? TextEncoding::Gb18030 : encoding));
        }
        if (bytes.size() >= kCopyChunkBytes) {
            file.device()->write(bytes); // a failure is kept for commit() to report
            bytes.resize(0);
        }
        return reason.isEmpty();
    };
    QString failed;
    if (!ForEachRepeat(statistic, source, settings, progress, write, &failed)) {
        file.cancel();
        if (!reason.isEmpty())
            *error = QStringLiteral("无法保存到：\n%1\n\n原因：%2")
                         .arg(QDir::toNativeSeparators(path), reason);
        else
            *error = failed;
        return false;
    }
    file.device()->write(bytes);
    if (!file.commit()) {
        *error = file.error();
        return false;
    }
    return true;
}
