#include "platform/desktopservices.h"

#include "trennix_config.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

bool DesktopServices::ShowOpen() {
    return show(DialogKind::Open);
}

bool DesktopServices::ShowSave() {
    return show(DialogKind::Save);
}

bool DesktopServices::show(DialogKind kind) {
    const Choice chosen =
        chooseFile(kind, filter_, fileName_.isEmpty() ? DefaultDialogFolder() : fileName_);
    if (chosen.path.isEmpty())
        return false;
    fileName_ = chosen.path;
    const QString suffix = DefaultSuffix(filter_, chosen.filterIndex);
    if (kind == DialogKind::Save && !suffix.isEmpty() &&
        !QFileInfo(fileName_).fileName().contains(u'.'))
        fileName_ += u'.' + suffix;
    return true;
}

QString DefaultSuffix(const QString& filter, int index) {
    const QStringList parts = filter.split(u'|');
    const qsizetype at = qsizetype(index) * 2 + 1;
    if (index < 0 || at >= parts.size())
        return {};
    const QString& pattern = parts[at];
    if (!pattern.startsWith(QStringLiteral("*.")) || pattern.contains(u';'))
        return {};
    QString suffix = pattern.mid(2);
    if (suffix.isEmpty() || suffix.contains(u'*') || suffix.contains(u'?'))
        return {};
    return suffix;
}

QString DefaultDialogFolder() {
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir())
        return documents;
    return QDir::homePath();
}

QString PublisherPageCommand() {
    return QStringLiteral(TRENNIX_PUBLISHER_URL);
}
