#pragma once

#include "platform/desktopservices.h"

#include <QStringList>

class QWidget;

// Converts "description|pattern|..." into name filters for Qt's file dialog. A pattern of "*.*"
// matches every file, as it does on the desktop the filter was written for.
QStringList ToQtNameFilters(const QString& filter);
// Which of the filters `chosen` is, as the dialog names it: the whole filter, or its description
// alone when the dialog hides the patterns; -1 for none.
int NameFilterIndex(const QStringList& filters, const QString& chosen);

// The desktop services on Qt's own widgets: its file dialog (not the native one, so that the
// labels follow the program's language), QMessageBox, the clipboard, the default browser, and
// QSettings (on Linux, ~/.config/Trennix/trennix.conf).
//
// The save dialog carries two more rows under the file type: 编码 (object name SaveEncoding) and
// 换行 (SaveLineBreak).
class QtDesktopServices final : public DesktopServices {
public:
    explicit QtDesktopServices(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    // The message box stands over the middle of the window, and its text can be selected and
    // copied (an address, a path).
    void MsgBox(const QString& prompt, int style, const QString& title) override;
    bool AskOkCancel(const QString& prompt, const QString& title) override;
    void ClipboardClear() override;
    void ClipboardSetText(const QString& text) override;
    void OpenPublisherPage() override;
    bool ShowPublisherPage() override;
    QString LoadSetting(const QString& key) override;
    void SaveSetting(const QString& key, const QString& value) override;

protected:
    Choice chooseFile(DialogKind kind, const QString& filter, const QString& startPath,
                      const SaveFormat& format) override;

private:
    QWidget* parent_;
};
