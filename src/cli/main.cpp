#include "cli/cli.h"

#include <QCoreApplication>
#include <QFile>

#include <csignal>

extern "C" void OnInterrupt(int) {
    InterruptCommandLine();
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("trennix-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TRENNIX_VERSION));
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    QFile out;
    QFile err;
    if (!out.open(1, QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        !err.open(2, QIODevice::WriteOnly | QIODevice::Unbuffered))
        return 1;
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return RunCommandLine(arguments, out, err);
}
