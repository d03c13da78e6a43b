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
    bool AskOkCancel(const QString& prompt, const QString& title) override {
        messages.append({prompt, Question, title});
        calls.append(QStringLiteral("AskOkCancel"));
        return askAnswers.isEmpty() || askAnswers.takeFirst();
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
    bool ShowPublisherPage() override {
        ++launches;
        calls.append(QStringLiteral("ShowPublisherPage"));
        return browserWorks;
    }
    QString LoadSetting(const QString& key) override { return settings.value(key); }
    void SaveSetting(const QString& key, const QString& value) override {
        settings.insert(key, value);
    }

    // The answers of the next dialogs, in order: a path (several paths, one a line, for an open
    // dialog), or an empty text for a cancel.
    QStringList dialogAnswers;
    // The file type chosen in each of the next dialogs (the first one when none is given).
    QList<int> dialogFilterChoices;
    // The format chosen in each of the next save dialogs (the one it starts with when none is
    // given), and the format each save dialog started with.
    QList<SaveFormat> dialogFormatChoices;
    QList<SaveFormat> dialogFormatsShown;
    // What each dialog was shown with: "open"/"save", its filter and its starting path.
    QStringList dialogsShown;

    // The answers of the next questions, in order (确定 when none is left).
    QList<bool> askAnswers;
    QList<Message> messages;
    QStringList calls;
    QString clipboard = QStringLiteral("(untouched)");
    // What the program remembers between runs; a new window on the same fake finds it again.
    QMap<QString, QString> settings;
    int launches = 0;
    // Whether a browser can be started.
    bool browserWorks = true;

protected:
    Choice chooseFile(DialogKind kind, const QString& filter, const QString& startPath,
                      const SaveFormat& format) override {
        dialogsShown.append(
            (kind == DialogKind::Open ? QStringLiteral("open|") : QStringLiteral("save|")) +
            filter + u'|' + startPath);
        calls.append(QStringLiteral("Dialog"));
        Choice choice;
        if (!dialogAnswers.isEmpty())
            choice.paths = dialogAnswers.takeFirst().split(u'\n', Qt::SkipEmptyParts);
        if (!dialogFilterChoices.isEmpty())
            choice.filterIndex = dialogFilterChoices.takeFirst();
        if (kind == DialogKind::Save) {
            dialogFormatsShown.append(format);
            choice.format =
                dialogFormatChoices.isEmpty() ? format : dialogFormatChoices.takeFirst();
        }
        return choice;
    }
};
