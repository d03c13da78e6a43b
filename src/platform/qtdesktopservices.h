#pragma once

#include "platform/desktopservices.h"

#include <QStringList>

class QWidget;

// Converts "description|pattern|..." into name filters for Qt's file dialog. A pattern of "*.*"
// matches every file, as it does on the desktop the filter was written for.
QStringList ToQtNameFilters(const QString& filter);

// The desktop services on Qt's own widgets: its file dialog (not the native one, so that the
// labels follow the program's language), QMessageBox, the clipboard, the default browser, and
// QSettings (on Linux, ~/.config/Trennix/trennix.conf).
class QtDesktopServices final : public DesktopServices {
public:
    explicit QtDesktopServices(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    void MsgBox(const QString& prompt, int style, const QString& title) override;
    void ClipboardClear() override;
    void ClipboardSetText(const QString& text) override;
    void OpenPublisherPage() override;
    QString LoadSetting(const QString& key) override;
    void SaveSetting(const QString& key, const QString& value) override;

protected:
    Choice chooseFile(DialogKind kind, const QString& filter, const QString& startPath) override;

private:
    QWidget* parent_;
};

// Loads Qt's own Chinese translation of its standard dialogs; call before any widget exists.
void InstallQtTranslation();
