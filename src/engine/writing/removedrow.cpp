#include "engine/writing/removedrow.h"

#include "core/shown.h"

#include <QDir>
#include <QHash>

QStringList RemovedRowNames(const QStringList& names) {
    QHash<QString, int> uses;
    for (const QString& name : names)
        ++uses[name];
    QStringList rows;
    rows.reserve(names.size());
    for (qsizetype i = 0; i < names.size(); ++i) {
        QString row = EscapeControls(QDir::toNativeSeparators(names[i]));
        if (uses.value(names[i]) > 1)
            row += u'#' + QString::number(i + 1);
        rows << row;
    }
    return rows;
}

QString RemovedRowPlace(int input, qint64 line, const QStringList& rowInputNames) {
    if (rowInputNames.size() <= 1)
        return QString::number(line);
    return rowInputNames.value(input) + u':' + QString::number(line);
}

void AppendRemovedRowHead(QString& out, const RemovedLine& line, const QStringList& rowInputNames,
                          const QStringList& rowListNames) {
    out += RemovedRowPlace(line.input, line.line, rowInputNames);
    out += u'\t';
    switch (line.why) {
    case RemovedLine::Why::Repeat:
        out += RemovedRowPlace(line.keptInput, line.keptLine, rowInputNames);
        break;
    case RemovedLine::Why::List:
        out += rowListNames.value(line.list);
        break;
    case RemovedLine::Why::Blank:
        out += QLatin1String("blank");
        break;
    case RemovedLine::Why::Once:
        out += QLatin1String("unique");
        break;
    }
    out += u'\t';
}
