#pragma once
// Measuring the window's work from its event loop: how long a piece of work takes, and the
// longest stretch during which the loop could not run.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>

struct Measure {
    double ms = 0;
    double longestStallMs = 0;
};

// Runs the event loop until `done` holds, and reports the time taken and the longest stretch
// during which the loop could not run (the longest gap between ticks of a 1 ms timer).
template <typename Start, typename Done> Measure RunUntil(Start start, Done done) {
    Measure m;
    QElapsedTimer total;
    QElapsedTimer gap;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        m.longestStallMs = std::max(m.longestStallMs, double(gap.nsecsElapsed()) / 1e6);
        gap.restart();
    });
    ticker.start();
    total.start();
    gap.start();
    QTimer::singleShot(0, [&] { start(); });
    while (!done() || total.elapsed() < 5)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    m.ms = double(total.nsecsElapsed()) / 1e6;
    m.longestStallMs = std::max(m.longestStallMs, double(gap.nsecsElapsed()) / 1e6);
    return m;
}

inline void Print(const char* what, const Measure& m) {
    std::printf("%-44s %8.0f ms   longest stall %5.0f ms\n", what, m.ms, m.longestStallMs);
    std::fflush(stdout);
}

// Milliseconds for `action` and the paint and events it causes.
template <typename Action> double Settled(QWidget& w, Action action) {
    QElapsedTimer t;
    t.start();
    action();
    QCoreApplication::processEvents();
    w.repaint();
    return double(t.nsecsElapsed()) / 1e6;
}
