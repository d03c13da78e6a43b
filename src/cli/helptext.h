#pragma once

#include <QList>
#include <QString>

// Lays out help for a terminal: a wide character (a Chinese character, a full-width sign) takes
// two columns, and lines are broken only where Unicode allows it (never before "）" or "，").

// The columns a text takes on a terminal.
int DisplayWidth(QStringView text);

// Breaks a text into lines of at most `width` columns; every line after the first starts with
// `indent` spaces. Lines already in the text are kept.
QString WrapText(QStringView text, int width, int indent = 0);

// One option of the help: its names ("-o, --output <输出文件>") and what it does.
struct HelpEntry {
    QString names;
    QString description;
};

// The options as a table of two columns, the descriptions wrapped beside the names; names too
// wide for their column put their description on the next line.
QString FormatHelpEntries(const QList<HelpEntry>& entries, int width = 80);
