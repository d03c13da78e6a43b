// The engine's front door: the inputs, in memory or from files, go the in-memory or the
// partitioned way, and what they give is counted.
#include "engine/engine_p.h"
#include "engine/inputs.h"
#include "files/textcodec.h"

#include <algorithm>

bool EngineJob::advance(qint64 bytes) {
    const qint64 total = inputs.totalBytes * passes;
    done = std::min(done + bytes, total);
    return !stopped() && (!progress || progress(done, total));
}

qint64 DefaultMemoryBudget() {
    constexpr qint64 kMiB = qint64(1) << 20;
    const qint64 physical = PhysicalMemoryBytes();
    const qint64 share = physical > 0 ? physical / 8 : 1024 * kMiB;
    return std::clamp(share, 256 * kMiB, 1536 * kMiB);
}

namespace {

// The memory the in-memory way may come to need: the input, which may all become resident, and
// the tables if every line were different (a quarter free, and the old slots during growth).
qint64 InMemoryNeed(qint64 inputBytes, qint64 lines, bool counting) {
    qint64 slotCount = 2048;
    while (slotCount * 3 < lines * 4)
        slotCount *= 2;
    const qint64 slotBytes = counting ? 24 : 16;
    return inputBytes + slotCount * slotBytes * 3 / 2;
}

enum class Way { InMemory, Either, Partitioned };

EngineResult Run(EngineJob& job, Emitter& out, Way way, qint64 lines) {
    const bool counting = job.settings.writeCounts || job.settings.collectRepeats;
    EngineResult result;
    if (!out.start()) {
        result.status = EngineResult::Status::OutputFailed;
        result.error = out.error();
        return result;
    }
    if (way == Way::Partitioned ||
        (way == Way::Either && InMemoryNeed(job.inputs.totalBytes, lines, counting) > job.budget))
        result = RunPartitioned(job, out);
    else
        result = RunInMemory(job, out);
    if (!result.ok() && job.stopped()) {
        result.status = EngineResult::Status::Cancelled;
        result.error.clear();
    }
    if (job.inputs.readFailed) {
        result.status = EngineResult::Status::InputFailed;
        result.error = QStringLiteral("无法读取输入：文件在处理的过程中被改动，或无法再读。");
    }
    if (result.ok() && !out.finish()) {
        result.status = EngineResult::Status::OutputFailed;
        result.error = out.error();
    }
    result.stats.linesKept = out.written();
    result.stats.linesRemoved = result.stats.linesRead - result.stats.linesKept;
    return result;
}

class StringSink final : public OutputSink {
public:
    explicit StringSink(QString& text) : text_(text) {}
    bool write(const char* data, qint64 size) override {
        text_.append(QStringView(reinterpret_cast<const QChar*>(data), qsizetype(size / 2)));
        return true;
    }
    QString error() const override { return {}; }

private:
    QString& text_;
};

} // namespace

namespace {

// Filters inputs that are open and in memory.
EngineResult RunInputs(OpenInputs& inputs, OutputSink& out, const EngineSettings& settings,
                       const EngineProgress& progress) {
    const std::vector<Segment>& segments = inputs.list.segments;

    // The first input decides the result's encoding; inputs of another encoding are converted.
    TextEncoding firstEncoding = TextEncoding::Gbk;
    bool sameEncodings = true;
    for (const Segment& s : segments) {
        if (&s == &segments.front())
            firstEncoding = inputs.firstHadMark ? WithByteOrderMark(s.encoding) : s.encoding;
        else if (s.encoding != segments.front().encoding)
            sameEncodings = false;
    }
    TextEncoding outputEncoding = firstEncoding;
    if (settings.outputEncoding)
        outputEncoding = inputs.firstHadMark && IsUnicode(*settings.outputEncoding)
                             ? WithByteOrderMark(*settings.outputEncoding)
                             : WithoutByteOrderMark(*settings.outputEncoding);

    EngineJob job{inputs.list, settings, progress};
    job.byText = settings.options.transformsLines() || !sameEncodings;
    job.budget = settings.memoryBudget > 0 ? settings.memoryBudget : DefaultMemoryBudget();

    // Input beyond the budget is partitioned whatever its lines, and counts its line breaks on
    // the way: a large file is then read twice, not three times.
    const bool partitioned = inputs.list.totalBytes > job.budget;
    // Otherwise one quick look at every line break: the most common one, and how many lines
    // there are.
    LineBreakCounts breaks;
    qint64 lines = 0;
    if (!partitioned) {
        ForEachBatch(inputs.list, [&](const Segment& s, const uchar* from, const uchar* to) {
            const LineBreakCounts c = CountBatchBreaks(s, from, to);
            breaks += c;
            lines += c.crlf + c.lf + c.cr + 1;
            return true;
        });
        // Batches of about 64K lines: short lines make smaller batches, whose lists stay small.
        if (lines > 0)
            inputs.list.batchBytes = std::clamp(inputs.list.totalBytes / lines * 65536,
                                                qint64(64) << 10, qint64(1) << 20);
    }
    const LineBreak lineBreak = settings.lineBreak ? *settings.lineBreak : breaks.mostCommon();
    job.lines = lines;
    Emitter emitter(out, outputEncoding, lineBreak, settings.writeCounts);
    EngineResult result = Run(job, emitter, partitioned ? Way::Partitioned : Way::Either, lines);
    result.outputEncoding = emitter.wroteGb18030() ? TextEncoding::Gb18030 : outputEncoding;
    result.lineBreak = emitter.lineBreak();
    return result;
}

} // namespace

EngineResult FilterFiles(const QStringList& paths, OutputSink& out, const EngineSettings& settings,
                         const EngineProgress& progress) {
    OpenInputs inputs;
    EngineResult stopped;
    for (const QString& path : paths.isEmpty() ? QStringList{QStringLiteral("-")} : paths) {
        switch (OpenInput(path, settings, inputs, &stopped.error)) {
        case OpenOutcome::Opened:
            continue;
        case OpenOutcome::Cancelled:
            stopped.status = EngineResult::Status::Cancelled;
            return stopped;
        case OpenOutcome::Failed:
            stopped.status = EngineResult::Status::InputFailed;
            return stopped;
        }
    }
    EngineResult result = RunInputs(inputs, out, settings, progress);
    // What was read must be the files as they are: a file that changed meanwhile gave lines
    // that are neither its old nor its new content.
    if (result.status != EngineResult::Status::Cancelled) {
        if (const QString changed = ChangedInput(inputs); !changed.isEmpty()) {
            result.status = EngineResult::Status::InputFailed;
            result.error = changed;
        }
    }
    return result;
}

EngineResult FilterBytes(QByteArrayView bytes, OutputSink& out, const EngineSettings& settings,
                         const EngineProgress& progress) {
    OpenInputs inputs;
    Segment s;
    s.data = reinterpret_cast<const uchar*>(bytes.data());
    s.size = bytes.size();
    s.stop = settings.stop;
    const TextEncoding encoding = InputEncoding(settings, s.data, s.size, false);
    s.body = ByteOrderMark(encoding).size();
    s.encoding = WithoutByteOrderMark(encoding);
    s.units = UnitFormatOf(encoding);
    inputs.firstHadMark = s.body > 0;
    inputs.list.totalBytes = s.size;
    inputs.list.segments.push_back(s);
    return RunInputs(inputs, out, settings, progress);
}

TextFilterResult FilterText(QStringView text, const EngineSettings& settings,
                            const EngineProgress& progress) {
    TextFilterResult filtered;
    Segment s;
    s.data = reinterpret_cast<const uchar*>(text.utf16());
    s.size = text.size() * 2;
    s.units = NativeUtf16();
    s.encoding = s.units == UnitFormat::Utf16Le ? TextEncoding::Utf16Le : TextEncoding::Utf16Be;
    s.native = true;
    s.stop = settings.stop;
    SegmentList inputs;
    if (!text.isEmpty())
        inputs.segments.push_back(s);
    inputs.totalBytes = s.size;

    EngineJob job{inputs, settings, progress};
    job.byText = settings.options.transformsLines();
    filtered.text.reserve(text.size() + text.size() / 8);
    StringSink sink(filtered.text);
    Emitter emitter(sink, s.encoding, LineBreak::CrLf, settings.writeCounts);
    filtered.result = Run(job, emitter, Way::InMemory, 0);
    filtered.result.outputEncoding = s.encoding;
    if (!filtered.result.ok())
        filtered.text.clear();
    return filtered;
}

QString FilterDuplicateLines(QStringView text, const EngineSettings& settings) {
    return FilterText(text, settings).text;
}
