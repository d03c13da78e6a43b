#pragma once

#include <QCoreApplication>
#include <QTest>
#include <QTimer>

#include <memory>

// Returns once everything the program queued for a later turn of the event loop before the call
// (a dialog to open, a preview to start) has run: a marker queued after it runs after it. Tests
// wait for this, never for a fixed time, before they check that nothing appeared.
inline bool QueuedWorkRan() {
    auto reached = std::make_shared<bool>(false);
    QTimer::singleShot(0, QCoreApplication::instance(), [reached] { *reached = true; });
    return QTest::qWaitFor([reached] { return *reached; }, 60000);
}
