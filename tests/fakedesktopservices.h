#pragma once

#include "platform/desktopservices.h"

#include <QMap>
#include <QStringList>
#include <functional>

// Records every call and answers the dialogs from a script.
class FakeDesktopServices final : public DesktopServices {
public:
    struct Message {
        QString prompt;
        int style;
        QString title;
    };

    void MsgBox(const QString& prompt, int style, const QString& title) override {
        messages.append({prompt, style, title});
        calls.append(QStringLiteral("MsgBox"));
    }
    void ClipboardClear() override {
        clipboard.clear();
        calls.append(QStringLiteral("ClipboardClear"));
    }
    void ClipboardSetText(const QString& text) override {
        clipboard = text;
        calls.append(QStringLiteral("ClipboardSetText"));
    }
    void OpenPublisherPage() override {
        ++launches;
        calls.append(QStringLiteral("OpenPublisherPage"));
    }
    QString LoadSetting(const QString& key) override { return settings.value(key); }
    void SaveSetting(const QString& key, const QString& value) override {
        settings.insert(key, value);
    }

    // The answers of the next dialogs, in order: a path, or an empty text for a cancel.
    QStringList dialogAnswers;
    // The file type chosen in each of the next dialogs (the first one when none is given).
    QList<int> dialogFilterChoices;
    // What each dialog was shown with: "open"/"save", its filter and its starting path.
    QStringList dialogsShown;

    QList<Message> messages;
    QStringList calls;
    QString clipboard = QStringLiteral("(untouched)");
    // What the program remembers between runs; a new window on the same fake finds it again.
    QMap<QString, QString> settings;
    int launches = 0;

protected:
    Choice chooseFile(DialogKind kind, const QString& filter, const QString& startPath) override {
        dialogsShown.append(
            (kind == DialogKind::Open ? QStringLiteral("open|") : QStringLiteral("save|")) +
            filter + u'|' + startPath);
        calls.append(QStringLiteral("Dialog"));
        Choice choice;
        if (!dialogAnswers.isEmpty())
            choice.path = dialogAnswers.takeFirst();
        if (!dialogFilterChoices.isEmpty())
            choice.filterIndex = dialogFilterChoices.takeFirst();
        return choice;
    }
};
