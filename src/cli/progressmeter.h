#pragma once

#include <QElapsedTimer>
#include <QString>

class QIODevice;

// Draws the progress of a long run on one line of a terminal: the share done, the speed and the
// time left, redrawn a few times a second and wiped at the end.
class ProgressMeter {
public:
    enum class Mode {
        Never,
        Always,
        Large, // only for work of more than kLargeBytes, or that has run for kLongRunMs
    };
    static constexpr qint64 kLargeBytes = qint64(8) << 20;
    static constexpr qint64 kLongRunMs = 1000;

    ProgressMeter(QIODevice& to, Mode mode);
    // Told how much of the work is done (bytes of the inputs, counting every pass).
    void show(qint64 done, qint64 total);
    // Wipes the line, if one was drawn.
    void clear();

    // The line for `done` of `total` after `elapsedMs`, as shown.
    static QString line(qint64 done, qint64 total, qint64 elapsedMs);
    // How long the meter has run.
    qint64 elapsed() const { return clock_.elapsed(); }

private:
    QIODevice& to_;
    Mode mode_;
    QElapsedTimer clock_;
    qint64 lastDrawn_ = -1;
    bool drawn_ = false;
};
