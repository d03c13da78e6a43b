#include "platform/qtdesktopservices.h"
#include "ui/mainwindow.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Trennix"));
    // Lets the desktop (Wayland docks included) match the window to trennix.desktop.
    QGuiApplication::setDesktopFileName(QStringLiteral("trennix"));
    InstallQtTranslation();

    QtDesktopServices services;
    MainWindow window(services);
    services.setParent(&window);
    window.show();
    return QApplication::exec();
}
