#include "engine/writing/removed.h"

#include <QDir>
#include <QFileInfo>

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
    return {input, qint64(index) - first + 1};
}

// A line's number, after its input's name when there are several inputs.
QString RemovedWriter::where(quint64 index) const {
    const auto [input, line] = place(index);
    if (job_.inputNames.size() <= 1)
        return QString::number(line);
    return QDir::toNativeSeparators(job_.inputNames.value(input)) + u':' + QString::number(line);
}

bool RemovedWriter::write(quint64 index, const Segment& s, const uchar* line, qint64 length,
                          Removal why) {
    const EngineSettings& settings = job_.settings;
    if (settings.removedOut) {
        RemovedLine removed;
        std::tie(removed.input, removed.line) = place(index);
        removed.why = why.why;
        if (why.why == RemovedLine::Why::Repeat)
            std::tie(removed.keptInput, removed.keptLine) = place(why.ref);
        if (why.why == RemovedLine::Why::List)
            removed.list = int(why.ref);
        removed.text = LineText(s, line, length);
        if (!settings.removedOut(removed)) {
            stopped_ = true;
            return false;
        }
    }
    if (!settings.removedSink)
        return true;
    if (!out_) {
        out_ = std::make_unique<Emitter>(*settings.removedSink, result_.encoding(),
                                         result_.lineBreak(), false);
        out_->start();
    }
    QString reason;
    switch (why.why) {
    case RemovedLine::Why::Repeat:
        reason = where(why.ref);
        break;
    case RemovedLine::Why::List:
        reason = settings.lists[std::size_t(why.ref)].name;
        break;
    case RemovedLine::Why::Blank:
        reason = QStringLiteral("blank");
        break;
    case RemovedLine::Why::Once:
        reason = QStringLiteral("unique");
        break;
    }
    if (out_->line(where(index) + u'\t' + reason + u'\t', s, line, length))
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
