#include "app/commandline.h"
#include "core/programwords.h"
#include "files/posixfile.h"
#include "platform/memory.h"
#include "platform/qtdesktopservices.h"
#include "ui/window/mainwindow.h"

#include <QApplication>

int main(int argc, char** argv) {
    MapLargeAllocations();
    IgnoreFileSizeSignal();
    // Help, version and usage errors are answered before any window system is needed.
    QStringList files;
    if (const std::optional<int> status = AnswerWithoutWindow(argc, argv, files))
        return *status;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Trennix"));
    QApplication::setApplicationVersion(ProgramVersion());
    // Lets the desktop (Wayland docks included) match the window to trennix.desktop.
    QGuiApplication::setDesktopFileName(QStringLiteral("trennix"));
    InstallQtTranslation();

    QtDesktopServices services;
    MainWindow window(services);
    services.setParent(&window);
    window.show();
    // Files named on the command line, or handed over by the desktop, are imported once the
    // window is on the screen.
    OpenFiles(window, files);
    return QApplication::exec();
}
