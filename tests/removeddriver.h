#pragma once

// What a filter removes, as the reference says it, and the window driven to show it: the
// options set through the menu, a filter, 标出重复 and keys sent to the window.
#include "referencefilter.h"
#include "ui/compare/filteroptionsmenu.h"
#include "windowdriver.h"

#include <QAction>
#include <QTemporaryDir>

// A removed line as the reference says it: its number (from 1), why ("3", "blank", "unique" or
// a list's name) and its text.
struct Gone {
    int line;
    QString why;
    QString text;
};

inline std::vector<Gone> ReferenceGone(const QString& text, const FilterOptions& o) {
    const QStringList lines = ReferenceLines(text);
    const std::vector<ReferenceFate> fates = ReferenceFates(lines, o, {});
    std::vector<Gone> gone;
    for (int i = 0; i < lines.size(); ++i) {
        if (!fates[std::size_t(i)].keep)
            gone.push_back({i + 1, fates[std::size_t(i)].why, lines[i]});
    }
    return gone;
}

inline FilterOptions WithKeep(FilterOptions o, const QString& keep, bool keepBlank) {
    const QStringList modes = {QStringLiteral("first"), QStringLiteral("last"),
                               QStringLiteral("unique"), QStringLiteral("repeated")};
    o.keep = KeepMode(modes.indexOf(keep));
    o.keepBlank = keepBlank;
    return o;
}

class RemovedDriver : protected WindowDriver {
protected:
    QTemporaryDir dir;

    QString path(const QString& name) const { return dir.filePath(name); }
    void showWindow() {
        makeWindow();
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }
    void trigger(const char* action) {
        auto* a = window->findChild<QAction*>(QString::fromLatin1(action));
        QVERIFY2(a, action);
        a->trigger();
    }
    void setOptions(const FilterOptions& o) {
        auto* menu = find<FilterOptionsMenu>("FilterOptionsMenu");
        menu->setOptions(o);
        emit menu->optionsChanged(o);
    }
    void filter() {
        click("Command1");
        QVERIFY(waitIdle());
    }
    void mark() {
        trigger("MarkRepeats");
        QVERIFY(waitIdle());
    }
    void key(int key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(window.get(), Qt::Key(key), modifiers);
    }
};
