#pragma once
// The statistic's page 相似的行 as a test drives it.

#include "ui/statistic/similarview.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

// Types `text` into the page's search and waits until its rows are shown.
inline bool SearchFor(SimilarView* view, const QString& text) {
    if (view->search()->text() == text) // no key, no search
        return view->searched() == text;
    QSignalSpy shown(view, &SimilarView::searchShown);
    view->search()->setText(text);
    return QTest::qWaitFor([&] { return !shown.isEmpty() && view->searched() == text; }, 60000);
}
