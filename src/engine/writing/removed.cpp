#include "engine/writing/removed.h"

#include "engine/writing/removedrow.h"

RemovedWriter::RemovedWriter(const EngineJob& job, const Emitter& result)
    : job_(job), result_(result) {}

RemovedWriter::~RemovedWriter() = default;

void RemovedWriter::inputStarts(int input, quint64 index) {
    if (std::size_t(input) >= starts_.size())
        starts_.resize(std::size_t(input) + 1, -1);
    if (starts_[std::size_t(input)] < 0)
        starts_[std::size_t(input)] = qint64(index);
}

std::pair<int, qint64> RemovedWriter::place(quint64 index) const {
    int input = 0;
    for (std::size_t i = 0; i < starts_.size(); ++i) {
        if (starts_[i] >= 0 && quint64(starts_[i]) <= index)
            input = int(i);
    }
    const qint64 first =
        starts_.empty() || starts_[std::size_t(input)] < 0 ? 0 : starts_[std::size_t(input)];
    return {input, qint64(index) - first + job_.inputs.firstLineNumber(input)};
}

bool RemovedWriter::write(quint64 index, const Segment& s, const uchar* line, qint64 length,
                          Removal why) {
    const EngineSettings& settings = job_.settings;
    RemovedLine removed;
    std::tie(removed.input, removed.line) = place(index);
    removed.why = why.why;
    if (why.why == RemovedLine::Why::Repeat) {
        std::tie(removed.keptInput, removed.keptLine) = place(why.ref);
        removed.similarity = why.similarity;
    }
    if (why.why == RemovedLine::Why::List)
        removed.list = int(why.ref);
    if (settings.removedOut) {
        removed.text = LineText(s, line, length);
        if (!settings.removedOut(removed)) {
            stopped_ = true;
            return false;
        }
    }
    if (!settings.removedSink)
        return true;
    if (!out_) {
        // A chosen encoding is written as it is or not at all, as the result is.
        out_ = std::make_unique<Emitter>(*settings.removedSink, result_.encoding(),
                                         result_.lineBreak(), false,
                                         settings.outputEncoding.has_value());
        out_->start();
        inputNames_ = RemovedRowNames(job_.inputNames);
        QStringList lists;
        for (const ComparedList& list : settings.lists)
            lists << list.name;
        listNames_ = RemovedRowNames(lists);
    }
    head_.resize(0);
    AppendRemovedRowHead(head_, removed, inputNames_, listNames_);
    if (out_->line(head_, s, line, length))
        return true;
    error_ = out_->error();
    return false;
}

bool RemovedWriter::finish() {
    if (!out_ || out_->finish())
        return true;
    error_ = out_->error();
    return false;
}
