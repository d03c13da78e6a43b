// The engine's front door: the inputs, in memory or from files, go the in-memory or the
// partitioned way, and what they give is counted.
#include "core/keeprules.h"
#include "core/shown.h"
#include "engine/enginejob.h"
#include "engine/inmemory/linetable.h"
#include "engine/reading/batches.h"
#include "engine/reading/firstlook.h"
#include "engine/reading/headers.h"
#include "engine/reading/inputs.h"
#include "engine/reading/linereader.h"
#include "engine/reading/segment.h"
#include "engine/systemfiles.h"
#include "engine/workers.h"
#include "engine/writing/emitter.h"
#include "engine/writing/removed.h"
#include "files/textcodec.h"

#include <algorithm>

bool EngineJob::advance(qint64 bytes) {
    const qint64 total = inputs.totalBytes * passes;
    done = std::min(done + bytes, total);
    sinceTold.start();
    return !stopped() && (!progress || progress(done, total));
}

void EngineJob::during(qint64 bytes) {
    if (!progress || (sinceTold.isValid() && sinceTold.elapsed() < kDuringMs))
        return;
    sinceTold.start();
    const qint64 total = inputs.totalBytes * passes;
    if (!progress(std::min(done + bytes, total), total))
        inputs.cancelled = true;
}

qint64 DefaultMemoryBudget() {
    constexpr qint64 kMiB = qint64(1) << 20;
    if (const qint64 available = AvailableMemoryBytes(); available > 0)
        return std::max(available / 2, 256 * kMiB);
    // Where the system does not say, a share of what the machine has.
    const qint64 physical = PhysicalMemoryBytes();
    const qint64 share = physical > 0 ? physical / 8 : 1024 * kMiB;
    return std::clamp(share, 256 * kMiB, 1536 * kMiB);
}

namespace {

// The memory the in-memory way may come to need: the input, which may all become resident (or
// the first copies kept in memory instead of the mapped pages they spare), and the tables if
// every line were different (a quarter free, and the old slots during growth).
qint64 InMemoryNeed(qint64 inputBytes, qint64 lines, bool counting, bool removed, bool chars,
                    bool sums) {
    qint64 slotCount = 2048;
    while (slotCount * 3 < lines * 4)
        slotCount *= 2;
    const qint64 slotBytes = 16 + (counting ? 8 : 0) + (removed ? 16 : 0) + (chars ? 8 : 0) +
                             (sums ? LineTable::kSumBytes : 0);
    return inputBytes + slotCount * slotBytes * 3 / 2;
}

enum class Way { InMemory, Either, Partitioned };

// The message for a line no key could be made of: the input or list and the line's number.
QString UndecidedFailure(const EngineJob& job) {
    const UndecidedLine& u = job.inputs.undecided;
    const Segment& s = job.inputs.at(u.pos);
    QString name = s.list >= 0                       ? job.settings.lists[std::size_t(s.list)].name
                   : s.input < job.inputNames.size() ? job.inputNames[s.input]
                                                     : QString();
    name = name.isEmpty() || name == u"-" ? QStringLiteral("标准输入") : ShownPath(name);
    qint64 number =
        s.list < 0 ? job.inputs.firstLineNumber(s.input) : 1 + job.settings.options.key.header;
    const uchar* line = s.data + (qint64(u.pos) - s.base);
    if (s.data && line >= s.begin() && line <= s.end() && !s.longLine)
        ForEachLineOf(s, s.begin(), line, [&](const uchar*, qint64) { ++number; });
    return QStringLiteral("无法按正则表达式取键：%1 第 %2 行\n原因：%3。")
        .arg(name)
        .arg(number)
        .arg(u.reason);
}

EngineResult Run(EngineJob& job, Emitter& out, Way way, qint64 lines) {
    const bool counting = job.settings.writeCounts || job.settings.collectRepeats ||
                          job.settings.options.sort == SortOrder::Count;
    EngineResult result;
    if (!out.start()) {
        result.outcome = Outcome::failed(out.error());
        return result;
    }
    std::unique_ptr<RemovedWriter> removed;
    if (job.settings.removedSink || job.settings.removedOut) {
        removed = std::make_unique<RemovedWriter>(job, out);
        job.removed = removed.get();
    }
    if (job.settings.options.similar != 0)
        result = RunSimilar(job, out);
    else if (way == Way::Partitioned ||
             (way == Way::Either &&
              InMemoryNeed(job.inputs.totalBytes, lines, counting, removed != nullptr,
                           ChoosesByLength(job.settings.options.keep),
                           job.settings.options.key.sumColumn > 0) > job.budget))
        result = RunPartitioned(job, out);
    else
        result = RunInMemory(job, out);
    if (removed && removed->stopped())
        result.outcome = Outcome::cancelled();
    else if (removed && !result.ok() && !removed->error().isEmpty())
        result.outcome = Outcome::failed(removed->error());
    if (removed && result.ok() && !removed->finish())
        result.outcome = Outcome::failed(removed->error());
    job.removed = nullptr;
    if (!result.ok() && job.stopped())
        result.outcome = Outcome::cancelled();
    if (job.inputs.readFailed)
        result.outcome =
            Outcome::failed(QStringLiteral("无法读取输入：文件在处理的过程中被改动，或无法再读。"));
    if (job.inputs.undecided.found)
        result.outcome = Outcome::failed(UndecidedFailure(job));
    if (result.ok() && !out.finish())
        result.outcome = out.cancelled() ? Outcome::cancelled() : Outcome::failed(out.error());
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

// Filters inputs that are open and in memory. A box's text (`boxText`) is written as the box
// holds text: UTF-16, every line ended by CR LF; with no list to compare with it is always done
// in memory, without a first look at its lines.
EngineResult RunInputs(OpenInputs& inputs, OutputSink& out, const EngineSettings& settings,
                       const EngineProgress& progress, bool boxText = false) {
    const std::vector<Segment>& segments = inputs.list.segments;

    // The first input decides the result's encoding; inputs (and lists) of another encoding are
    // compared by their text and converted.
    const auto first =
        std::find_if(segments.begin(), segments.end(), [](const Segment& s) { return s.list < 0; });
    bool sameEncodings = true;
    for (const Segment& s : segments)
        sameEncodings = sameEncodings && (first == segments.end() || s.encoding == first->encoding);
    TextEncoding firstEncoding = TextEncoding::Gbk;
    if (first != segments.end())
        firstEncoding = inputs.firstHadMark ? WithByteOrderMark(first->encoding) : first->encoding;
    TextEncoding outputEncoding = firstEncoding;
    if (settings.outputEncoding)
        outputEncoding = inputs.firstHadMark && IsUnicode(*settings.outputEncoding)
                             ? WithByteOrderMark(*settings.outputEncoding)
                             : WithoutByteOrderMark(*settings.outputEncoding);

    for (Segment& s : inputs.list.segments) {
        s.undecided = &inputs.list.undecided;
        s.cancelled = &inputs.list.cancelled;
    }
    Headers headers;
    if (settings.options.key.header)
        headers = TakeHeaders(inputs.list);
    EngineJob job{inputs.list, settings, progress};
    job.inputNames = settings.inputNames.isEmpty() ? inputs.names : settings.inputNames;
    // Near repeats are measured in code points: keys are made of the text.
    job.keyWay = settings.options.transformsLines() || !sameEncodings || settings.options.similar
                     ? KeyWay::Text
                     : KeyWay::Bytes;
    // Columns split by an ASCII separator that no byte of a character can be are cut from the
    // bytes, which spares decoding every line.
    if (const std::optional<char> separator = ByteColumnKey::SeparatorOf(settings.options);
        separator && sameEncodings &&
        std::all_of(segments.begin(), segments.end(), [&](const Segment& s) {
            return s.units == UnitFormat::Bytes && !s.native &&
                   AsciiByteStandsAlone(s.encoding, *separator);
        }))
        job.keyWay = settings.options.similar ? KeyWay::Text : KeyWay::ByteColumns;
    job.budget = settings.memoryBudget > 0 ? settings.memoryBudget : DefaultMemoryBudget();
    for (std::size_t i = 0; i < settings.lists.size(); ++i)
        (settings.lists[i].kind == ComparedList::Kind::Exclude ? job.excluding
                                                               : job.intersecting) |= quint64(1)
                                                                                      << i;
    const bool plainBox = boxText && settings.lists.empty();

    // Input beyond the budget is partitioned whatever its lines, and counts its line breaks on
    // the way: a large file is then read twice, not three times.
    const bool partitioned = !plainBox && inputs.list.totalBytes > job.budget;
    // Otherwise one quick look at every line break: the inputs' most common one, and how many
    // lines there are.
    FirstLook look;
    if (!partitioned && !plainBox) {
        look = LookAtLines(inputs.list, EngineThreads(settings));
        // Batches of about 64K lines: short lines make smaller batches, whose lists stay small.
        if (const qint64 all = look.lines + look.listLines; all > 0)
            inputs.list.batchBytes =
                std::clamp(inputs.list.totalBytes / all * 65536, qint64(64) << 10, qint64(1) << 20);
    }
    LineBreak lineBreak = settings.lineBreak ? *settings.lineBreak : look.breaks.mostCommon();
    if (boxText)
        lineBreak = LineBreak::CrLf;
    job.lines = look.lines;
    job.listLines = look.listLines;
    Emitter emitter(out, outputEncoding, lineBreak, settings.writeCounts,
                    settings.outputEncoding.has_value());
    if (settings.options.sort != SortOrder::None &&
        !emitter.sortBy(
            settings.options, job.budget, settings.tempDir, [&job] { return job.advance(0); },
            EngineThreads(settings))) {
        EngineResult failed;
        failed.outcome = Outcome::failed(emitter.error());
        return failed;
    }
    if (settings.options.key.sumColumn > 0)
        emitter.setSums(settings.options, job.keyWay == KeyWay::ByteColumns);
    if (headers.found)
        emitter.setHeader(headers.segment, headers.segment.begin(), headers.segment.size);
    const Way way = plainBox ? Way::InMemory : partitioned ? Way::Partitioned : Way::Either;
    EngineResult result = Run(job, emitter, way, look.lines + look.listLines);
    result.outputEncoding = emitter.wroteGb18030() ? TextEncoding::Gb18030 : outputEncoding;
    result.lineBreak = emitter.lineBreak();
    result.sortRuns = emitter.sortRuns();
    result.differentHeaders = std::move(headers.different);
    return result;
}

// A failure to open an input or a list, as the result of the work.
EngineResult Stopped(Outcome outcome) {
    EngineResult result;
    result.outcome = std::move(outcome);
    return result;
}

// Runs the work, then makes sure that what was read is the files as they are: a file that
// changed meanwhile gave lines that are neither its old nor its new content.
EngineResult RunAndCheckInputs(OpenInputs& inputs, OutputSink& out, const EngineSettings& settings,
                               const EngineProgress& progress) {
    EngineResult result = RunInputs(inputs, out, settings, progress);
    if (!result.outcome.wasCancelled()) {
        if (QString changed = ChangedInput(inputs); !changed.isEmpty())
            result.outcome = Outcome::failed(std::move(changed));
    }
    return result;
}

} // namespace

EngineResult FilterFiles(const QStringList& paths, OutputSink& out, const EngineSettings& settings,
                         const EngineProgress& progress) {
    OpenInputs inputs;
    for (const QString& path : paths.isEmpty() ? QStringList{QStringLiteral("-")} : paths) {
        if (Outcome o = OpenInput(path, settings, inputs); !o.ok())
            return Stopped(std::move(o));
    }
    if (Outcome o = OpenLists(settings, inputs); !o.ok())
        return Stopped(std::move(o));
    return RunAndCheckInputs(inputs, out, settings, progress);
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
    if (Outcome o = OpenLists(settings, inputs); !o.ok())
        return Stopped(std::move(o));
    return RunAndCheckInputs(inputs, out, settings, progress);
}

TextFilterResult FilterText(QStringView text, const EngineSettings& settings,
                            const EngineProgress& progress) {
    TextFilterResult filtered;
    OpenInputs inputs;
    const Segment s = TextSegment(text, settings, 0);
    inputs.list.totalBytes = s.size;
    inputs.list.segments.push_back(s);
    if (Outcome o = OpenLists(settings, inputs); !o.ok()) {
        filtered.result = Stopped(std::move(o));
        return filtered;
    }
    filtered.text.reserve(text.size() + text.size() / 8);
    StringSink sink(filtered.text);
    filtered.result = RunInputs(inputs, sink, settings, progress, true);
    if (filtered.result.ok()) {
        if (QString changed = ChangedInput(inputs); !changed.isEmpty())
            filtered.result.outcome = Outcome::failed(std::move(changed));
    }
    filtered.result.outputEncoding = s.encoding;
    if (!filtered.result.ok())
        filtered.text.clear();
    return filtered;
}

QString FilterDuplicateLines(QStringView text, const EngineSettings& settings) {
    return FilterText(text, settings).text;
}
