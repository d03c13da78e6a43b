#pragma once

// Folder engine/writing: what the engine writes. The kept lines in the output's encoding and line
// break (the emitter), the removed lines with why each went (removed), and the row each removed
// line is written as, by the command line and the window's export alike (removedrow).

// The removed lines: why each line that is not in the result went, told in input order to the
// settings' sink (as text in the result's encoding) and callback.

#include "core/keeprules.h"
#include "engine/enginejob.h"
#include "engine/reading/segment.h"
#include "engine/writing/emitter.h"

// Why one line went: Repeat with the index of the line it repeats, List with the list's number,
// Blank, or Once.
struct Removal {
    RemovedLine::Why why = RemovedLine::Why::Repeat;
    quint64 ref = 0;
    int similarity = 100; // Repeat: see RemovedLine::similarity
};

// A removal as one number, as the partitioned way keeps it in its files: the reason in the top two
// bits.
inline quint64 Packed(Removal r) {
    return quint64(r.why) << 62 | r.ref;
}
inline Removal Unpacked(quint64 packed) {
    return {RemovedLine::Why(packed >> 62), packed & ((quint64(1) << 62) - 1)};
}

// Why a line without a key went: a list that it must be in, or else only repeated lines stay.
inline Removal KeylessRemoval(const EngineJob& job) {
    if (job.intersecting)
        return {RemovedLine::Why::List, quint64(RemovingList(0, job.excluding, job.intersecting))};
    return {RemovedLine::Why::Once, 0};
}

class RemovedWriter {
public:
    // `result` is the result's emitter: the removed lines take its encoding and line break.
    RemovedWriter(const EngineJob& job, const Emitter& result);
    ~RemovedWriter();
    RemovedWriter(const RemovedWriter&) = delete;
    RemovedWriter& operator=(const RemovedWriter&) = delete;

    // Tells the index of the first line of an input; every input's before its lines are told.
    void inputStarts(int input, quint64 index);
    // One removed line: its index among all lines, where it is, and why it went.
    bool write(quint64 index, const Segment& s, const uchar* line, qint64 length, Removal why);
    bool finish();
    QString error() const { return error_; }
    // True once the callback asked the work to stop.
    bool stopped() const { return stopped_; }

private:
    // The input and the number in it of the line with this index.
    std::pair<int, qint64> place(quint64 index) const;

    const EngineJob& job_;
    const Emitter& result_;
    std::unique_ptr<Emitter> out_; // made at the first line, with the result's line break then
    std::vector<qint64> starts_;   // the first index of each input; -1 for one not told
    QStringList inputNames_;       // as rows name the inputs and the lists, made at the first line
    QStringList listNames_;
    QString head_; // a row before its line
    QString error_;
    bool stopped_ = false;
};
