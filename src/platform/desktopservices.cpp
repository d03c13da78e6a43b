#include "platform/desktopservices.h"

#include "trennix_config.h"

bool DesktopServices::ShowOpen() {
    return show(DialogKind::Open);
}

bool DesktopServices::ShowSave() {
    return show(DialogKind::Save);
}

bool DesktopServices::show(DialogKind kind) {
    const QString chosen = chooseFile(kind, filter_, fileName_);
    if (chosen.isEmpty())
        return false;
    fileName_ = chosen;
    return true;
}

QString PublisherPageCommand() {
    return QStringLiteral(TRENNIX_PUBLISHER_URL);
}
