#include "cli/progressmeter.h"

#include <QIODevice>

#include <cmath>

namespace {
constexpr qint64 kRedrawMs = 200;
// Before this much time has passed the speed says too little to forecast the rest.
constexpr qint64 kForecastAfterMs = 500;

} // namespace

QString ProgressMeter::duration(qint64 seconds) {
    if (seconds >= 3600)
        return QStringLiteral("%1:%2:%3")
            .arg(seconds / 3600)
            .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

qint64 ProgressMeter::veryLongLeft(qint64 done, qint64 total, qint64 elapsedMs) {
    if (elapsedMs < kVeryLongAfterMs || total <= 0 || done >= total)
        return 0;
    // Nothing done yet after that long says as much as a forecast.
    const double perMs = double(std::max<qint64>(done, 1)) / double(elapsedMs);
    const auto left = std::llround(double(total - done) / perMs / 1000.0);
    return left >= kVeryLongSeconds ? left : 0;
}

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
        text += QStringLiteral("  剩余 %1").arg(duration(left));
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
