#pragma once

#include <QString>

// Deterministic test texts for the benchmarks: lines of mixed ASCII and Chinese, about half of
// them repeats of earlier lines, no blank lines, each ended by CR LF.
QString GenerateLines(qsizetype lineCount, quint32 seed = 1);

// Peak resident memory of this process so far, in MiB.
double PeakMemoryMiB();

// Milliseconds elapsed while running fn.
template <typename Fn> double TimeMs(Fn&& fn);

#include <QElapsedTimer>
template <typename Fn> double TimeMs(Fn&& fn) {
    QElapsedTimer t;
    t.start();
    fn();
    return double(t.nsecsElapsed()) / 1e6;
}
