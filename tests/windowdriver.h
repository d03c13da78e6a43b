#pragma once

#include "fakedesktopservices.h"
#include "ui/textbox/textbox.h"
#include "ui/window/mainwindow.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <memory>

// The window under test on a fake desktop, its widgets found by their object names, and its
// commands run the way a user runs them.
class WindowDriver {
protected:
    std::unique_ptr<FakeDesktopServices> services;
    std::unique_ptr<MainWindow> window;

    // A new window on a new fake desktop, not yet shown.
    void makeWindow() {
        services = std::make_unique<FakeDesktopServices>();
        window = std::make_unique<MainWindow>(*services);
    }
    // A window on the screen with the keyboard's focus, as a user meets it; false when it never
    // became active.
    [[nodiscard]] bool makeActiveWindow() {
        makeWindow();
        window->show();
        window->activateWindow();
        return QTest::qWaitForWindowActive(window.get());
    }
    void dropWindow() {
        window.reset();
        services.reset();
    }

    template <typename W> W* find(const char* name) const {
        auto* w = window->findChild<W*>(QString::fromLatin1(name));
        if (!w)
            qFatal("no widget %s", name);
        return w;
    }
    TextBox* box(const char* name) const { return find<TextBox>(name); }
    TextBox* text1() const { return box("Text1"); }
    TextBox* text2() const { return box("Text2"); }
    QString label(const char* name) const { return find<QLabel>(name)->text(); }
    void click(const char* name) const { find<QPushButton>(name)->click(); }
    // Waits for the command at work to finish; false when it is still at work after two minutes.
    bool waitIdle() const {
        return QTest::qWaitFor([this] { return !window->busy(); }, 120000);
    }
    // Imports or saves through the dialog, which answers with `answer` (empty: cancel), and
    // waits for the command to finish.
    void importAnswering(const QString& answer) {
        services->dialogAnswers = {answer};
        click("Command2");
        QVERIFY(waitIdle());
    }
    void saveAnswering(const QString& answer, int filterIndex = 0) {
        services->dialogAnswers = {answer};
        services->dialogFilterChoices = {filterIndex};
        click("Command5");
        QVERIFY(waitIdle());
    }
};
