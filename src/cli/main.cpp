#include "cli/cli.h"
#include "cli/stopsignals.h"
#include "files/posixfile.h"

#include <QCoreApplication>
#include <QFile>

extern "C" void OnInterrupt() {
    InterruptCommandLine();
}

int main(int argc, char** argv) {
    // Before anything is opened: a closed standard handle must not lend its number to a file.
    const ClosedHandles closed = ReopenClosedStandardHandles();
    CommandLineEnvironment environment;
    environment.wakeHandle = InstallStopSignals(OnInterrupt);
    IgnoreFileSizeSignal();
    environment.inputClosed = closed.input;
    environment.outputClosed = closed.output;
    environment.inputHandle = 0;
    environment.outputHandle = 1;
    environment.errorsOnTerminal = IsTerminal(2);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("trennix-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TRENNIX_VERSION));
    QFile out;
    QFile err;
    if (!out.open(1, QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        !err.open(2, QIODevice::WriteOnly | QIODevice::Unbuffered))
        return 1;
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return RunCommandLine(arguments, out, err, environment);
}
