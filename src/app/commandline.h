#pragma once

#include <QStringList>

#include <optional>

class MainWindow;

// What the window program's command line asks for: trennix [选项] [文件...]
struct WindowCommandLine {
    enum class Action { OpenWindow, ShowHelp, ShowVersion, UsageError };
    Action action = Action::OpenWindow;
    // OpenWindow: the files named, in their order.
    QStringList files;
    // UsageError: what is wrong, in the words of Qt's parser; an unknown option is named as
    // it was typed.
    QString error;
};

// Reads the arguments, the program's own name first. Qt's own options for windowed programs
// (-platform, -style, -session ID...) are accepted and left to QApplication, which reads them.
WindowCommandLine ParseWindowCommandLine(const QStringList& arguments);

// The usage, the options and the arguments; in Chinese once Qt's translation is installed. The
// program is named "trennix", however it was started.
QString WindowHelpText();

// The program's version, as the build sets it from the project's version.
QString ProgramVersion();

// Answers --help, --version and usage errors on standard output or standard error without a
// display (no QApplication is created) and returns the exit status: 0, or 2 for a usage error.
// Returns nothing when the window is to open, with the files named on the command line in
// `files`.
std::optional<int> AnswerWithoutWindow(int argc, char** argv, QStringList& files);

// Imports the files into the input box as one text, in their order, as if they had been chosen
// in the import dialog, once the window stands where the window manager placed it (so that any
// message stands over it). No files: nothing happens.
void OpenFiles(MainWindow& window, const QStringList& files);
