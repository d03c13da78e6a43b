#include "platform/desktopservices.h"

#include "trennix_config.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
// The words a remembered format is written with, in the order of the enums.
const char* const kEncodingWords[] = {"same", "gbk", "gb18030", "utf-8", "utf-8-bom", "utf-16le"};
const char* const kBreakWords[] = {"same", "crlf", "lf"};
} // namespace

QStringList SaveEncodingNames(bool original) {
    return {original ? QStringLiteral("与原文件相同") : QStringLiteral("GBK（默认）"),
            QStringLiteral("GBK"),
            QStringLiteral("GB18030"),
            QStringLiteral("UTF-8"),
            QStringLiteral("UTF-8 (BOM)"),
            QStringLiteral("UTF-16LE")};
}

QStringList SaveLineBreakNames(bool original) {
    return {original ? QStringLiteral("与原文件相同") : QStringLiteral("CR LF（默认）"),
            QStringLiteral("CR LF"), QStringLiteral("LF")};
}

QString SaveFormatToText(const SaveFormat& format) {
    return QStringLiteral("encoding=%1 break=%2")
        .arg(QLatin1String(kEncodingWords[int(format.encoding)]),
             QLatin1String(kBreakWords[int(format.lineBreak)]));
}

SaveFormat SaveFormatFromText(const QString& text) {
    SaveFormat format;
    for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
        const QString value = word.section(u'=', 1);
        if (word.startsWith(QStringLiteral("encoding="))) {
            for (int i = 0; i < int(std::size(kEncodingWords)); ++i) {
                if (value == QLatin1String(kEncodingWords[i]))
                    format.encoding = SaveFormat::Encoding(i);
            }
        } else if (word.startsWith(QStringLiteral("break="))) {
            for (int i = 0; i < int(std::size(kBreakWords)); ++i) {
                if (value == QLatin1String(kBreakWords[i]))
                    format.lineBreak = SaveFormat::Break(i);
            }
        }
    }
    return format;
}

bool DesktopServices::ShowOpen() {
    return show(DialogKind::Open);
}

bool DesktopServices::ShowSave() {
    return show(DialogKind::Save);
}

bool DesktopServices::show(DialogKind kind) {
    const SaveFormat remembered = SaveFormatFromText(LoadSetting(kSaveFormatKey));
    const Choice chosen = chooseFile(
        kind, filter_, fileName_.isEmpty() ? DefaultDialogFolder() : fileName_, remembered);
    if (chosen.paths.isEmpty())
        return false;
    fileName_ = chosen.paths.constFirst();
    if (kind == DialogKind::Open) {
        fileNames_ = chosen.paths;
        return true;
    }
    const QString suffix = DefaultSuffix(filter_, chosen.filterIndex);
    if (!suffix.isEmpty() && !QFileInfo(fileName_).fileName().contains(u'.'))
        fileName_ += u'.' + suffix;
    saveFormat_ = chosen.format;
    if (chosen.format != remembered)
        SaveSetting(kSaveFormatKey, SaveFormatToText(chosen.format));
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
