#pragma once

#include <QString>
#include <QStringList>

// What both programs, the window and the command line, say alike about themselves.

// Installs Qt's own Chinese translation (the words of its command-line parser and of its standard
// dialogs) into the running application, once, with the few words of the file dialog it lacks:
// later calls do nothing. Nothing without an application.
void InstallQtTranslation();

// The message for an option the program does not know, named as it was typed among `arguments`
// (without the program's own name): "未知选项“--frob”。". `name` is the parser's name for it,
// without its dashes and value.
QString UnknownOptionMessage(const QStringList& arguments, const QString& name);
