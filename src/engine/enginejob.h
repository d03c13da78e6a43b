#pragma once

// A run of the engine: what both ways of working share (inputs, rules, progress, cancel), and the
// two ways.

#include "engine/reading/linereader.h"
#include "engine/reading/segment.h"

#include <QElapsedTimer>

class Emitter;

// The part of the work shared by both ways: inputs, rules, progress and cancel.
struct EngineJob {
    const SegmentList& inputs;
    const EngineSettings& settings;
    const EngineProgress& progress;
    KeyWay keyWay = KeyWay::Bytes;
    // Whether a line is its own key, so that partitions need not carry both.
    bool keyIsLine() const { return keyWay == KeyWay::Bytes; }
    // The compared lists, as bits by their numbers: those that remove the lines they hold, and
    // those that every kept line must be in.
    quint64 excluding = 0;
    quint64 intersecting = 0;
    // Where removed lines go, when they are wanted (see RemovedWriter).
    class RemovedWriter* removed = nullptr;
    QStringList inputNames{}; // how removed lines name the inputs
    qint64 budget = 0;
    qint64 passes = 1; // how many times the input is read, for progress
    // How many lines the inputs and the compared lists have at most (known before the work
    // starts in memory).
    qint64 lines = 0;
    qint64 listLines = 0;
    qint64 done = 0;

    // Reports `bytes` more done; false when cancelled.
    bool advance(qint64 bytes);
    // Reports `bytes` of the current batch done, on the thread that reads the batches, while the
    // batch's lines take long (a slow key pattern): at most every kDuringMs. A cancel there stops
    // the batch.
    void during(qint64 bytes);
    static constexpr qint64 kDuringMs = 100;
    QElapsedTimer sinceTold{}; // since progress was last told
    // True once the caller asked the work to stop (see EngineSettings::stop).
    bool stopped() const {
        return (settings.stop && settings.stop->load()) || inputs.undecided.found.load() ||
               inputs.cancelled.load();
    }
};

// The in-memory way: every line is decided while the input and the table fit in the budget.
EngineResult RunInMemory(EngineJob& job, Emitter& out);

// The way for near repeats (FilterOptions::similar): every line in order, against the kept keys.
EngineResult RunSimilar(EngineJob& job, Emitter& out);

// The partitioned way: every line's key goes to one of several temporary files by its hash;
// each is finished on its own, and the kept lines are then written in input order.
EngineResult RunPartitioned(EngineJob& job, Emitter& out);
