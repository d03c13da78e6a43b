#pragma once

#include <QString>

#include <algorithm>
#include <cmath>

// How long work will still take, as both programs forecast and say it.

// Work that will clearly take this long from now is said to be very long (and why, where the
// cause is known, such as a key pattern that backtracks).
constexpr qint64 kVeryLongSeconds = 600;
// Before this much time has passed the speed says too little to call the work very long.
constexpr qint64 kVeryLongAfterMs = 3000;

// The time left, in seconds, for `done` of `total` after `elapsedMs`, when the work has gone on
// long enough to forecast it and will clearly take very long; otherwise 0.
inline qint64 VeryLongLeft(qint64 done, qint64 total, qint64 elapsedMs) {
    if (elapsedMs < kVeryLongAfterMs || total <= 0 || done >= total)
        return 0;
    // Nothing done yet after that long says as much as a forecast.
    const double perMs = double(std::max<qint64>(done, 1)) / double(elapsedMs);
    const auto left = std::llround(double(total - done) / perMs / 1000.0);
    return left >= kVeryLongSeconds ? left : 0;
}

// "1:02:03" or "2:03".
inline QString DurationText(qint64 seconds) {
    if (seconds >= 3600)
        return QStringLiteral("%1:%2:%3")
            .arg(seconds / 3600)
            .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

// Why a key pattern is slow and what helps, after what was said of the time left; `stop` is how
// the user stops the work in the program at hand.
inline QString SlowPatternText(const QString& stop) {
    return QStringLiteral("重复套着重复的写法（如 (a+)+$）会让匹配慢上成千上万倍，"
                          "换一种写法会快得多；%1。")
        .arg(stop);
}
