#include "cli/progressmeter.h"

#include "core/forecast.h"

#include <QIODevice>

#include <cmath>

namespace {
constexpr qint64 kRedrawMs = 200;
// Before this much time has passed the speed says too little to forecast the rest.
constexpr qint64 kForecastAfterMs = 500;

} // namespace

ProgressMeter::ProgressMeter(QIODevice& to, Mode mode) : to_(to), mode_(mode) {
    clock_.start();
}

QString ProgressMeter::line(qint64 done, qint64 total, qint64 elapsedMs) {
    const int percent = total > 0 ? int(done * 100 / total) : 0;
    QString text = QStringLiteral("%1%").arg(percent, 3);
    if (elapsedMs >= kForecastAfterMs && done > 0) {
        const double perSecond = double(done) * 1000.0 / double(elapsedMs);
        text += QStringLiteral("  %1 MB/s").arg(perSecond / double(1 << 20), 0, 'f', 1);
        const auto left = std::llround(double(total - done) / perSecond);
        text += QStringLiteral("  剩余 %1").arg(DurationText(left));
    }
    return text;
}

void ProgressMeter::show(qint64 done, qint64 total) {
    const qint64 now = clock_.elapsed();
    if (mode_ == Mode::Never || (mode_ == Mode::Large && total <= kLargeBytes && now < kLongRunMs))
        return;
    if (lastDrawn_ >= 0 && now - lastDrawn_ < kRedrawMs)
        return;
    lastDrawn_ = now;
    // Back to the line's start, the line, and the rest of the old line wiped.
    to_.write((QStringLiteral("\r") + line(done, total, now) + QStringLiteral("\x1b[K")).toUtf8());
    drawn_ = true;
}

void ProgressMeter::clear() {
    if (drawn_)
        to_.write("\r\x1b[K");
    drawn_ = false;
}
