#include "platform/qtdesktopservices.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>
#include <QTranslator>
#include <QUrl>

QStringList ToQtNameFilters(const QString& filter) {
    QStringList result;
    const QStringList parts = filter.split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString pattern = parts[i + 1];
        pattern.replace(QStringLiteral("*.*"), QStringLiteral("*"));
        pattern.replace(u';', u' ');
        result.append(parts[i] + QStringLiteral(" (") + pattern + u')');
    }
    return result;
}

DesktopServices::Choice QtDesktopServices::chooseFile(DialogKind kind, const QString& filter,
                                                      const QString& startPath) {
    QFileDialog dialog(parent_);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // The descriptions already show their patterns; the dialog need not repeat them.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(kind == DialogKind::Open ? QFileDialog::AcceptOpen
                                                  : QFileDialog::AcceptSave);
    dialog.setFileMode(kind == DialogKind::Open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    const QStringList filters = ToQtNameFilters(filter);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    // The dialog adds the chosen type's extension itself, so that its question about replacing
    // an existing file is about the file that will really be written.
    auto followFilter = [&](const QString& chosen) {
        if (kind == DialogKind::Save)
            dialog.setDefaultSuffix(DefaultSuffix(filter, int(filters.indexOf(chosen))));
    };
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, followFilter);
    followFilter(dialog.selectedNameFilter());
    if (QFileInfo(startPath).isDir())
        dialog.setDirectory(startPath);
    else if (!startPath.isEmpty())
        dialog.selectFile(startPath);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return {dialog.selectedFiles().constFirst(), int(filters.indexOf(dialog.selectedNameFilter()))};
}

void QtDesktopServices::MsgBox(const QString& prompt, int style, const QString& title) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    if (style == Critical)
        icon = QMessageBox::Critical;
    else if (style == Information)
        icon = QMessageBox::Information;
    QMessageBox box(icon, title, prompt, QMessageBox::Ok, parent_);
    box.exec();
}

void QtDesktopServices::ClipboardClear() {
    QGuiApplication::clipboard()->clear();
}

void QtDesktopServices::ClipboardSetText(const QString& text) {
    QGuiApplication::clipboard()->setText(text);
}

void QtDesktopServices::OpenPublisherPage() {
    // Started from the event loop so that the caller never waits for the browser; the result is
    // not reported, as a page that cannot be opened is no reason to disturb the user.
    QTimer::singleShot(0, qApp, [] { QDesktopServices::openUrl(QUrl(PublisherPageCommand())); });
}

namespace {
const QString kOrganization = QStringLiteral("Trennix");
const QString kApplication = QStringLiteral("trennix");
} // namespace

QString QtDesktopServices::LoadSetting(const QString& key) {
    const QSettings settings(kOrganization, kApplication);
    return settings.value(key).toString();
}

void QtDesktopServices::SaveSetting(const QString& key, const QString& value) {
    QSettings settings(kOrganization, kApplication);
    settings.setValue(key, value);
}

void InstallQtTranslation() {
    auto* translator = new QTranslator(qApp);
    if (translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}
