#pragma once

#include <QString>
#include <QStringList>

// How a save writes its file, as chosen in the save dialog. "Same" keeps the rules of the text
// saved: the encoding and the line break of the file it came from.
struct SaveFormat {
    enum class Encoding { Same, Gbk, Gb18030, Utf8, Utf8Bom, Utf16Le };
    enum class Break { Same, CrLf, Lf };
    Encoding encoding = Encoding::Same;
    Break lineBreak = Break::Same;
    bool operator==(const SaveFormat&) const = default;
};

// The choices as the save dialog lists them, in the order of the enums. Without an original
// file (a pasted or typed text), the first choice names the default it stands for.
QStringList SaveEncodingNames(bool original = true);
QStringList SaveLineBreakNames(bool original = true);
// The format as the program remembers it ("encoding=gbk break=lf"; "same" for Same), and back;
// unknown words are passed over.
QString SaveFormatToText(const SaveFormat& format);
SaveFormat SaveFormatFromText(const QString& text);

// The few desktop services the window uses: one file dialog whose chosen path persists across
// its uses, a message box, the clipboard, opening the publisher's page, and the few words the
// program remembers between runs.
class DesktopServices {
public:
    // Message box styles.
    static constexpr int Plain = 0;
    static constexpr int Critical = 16;
    static constexpr int Question = 32;
    static constexpr int Information = 64;
    // Where the format chosen in the save dialog is remembered.
    static inline const QString kSaveFormatKey = QStringLiteral("SaveFormat");

    virtual ~DesktopServices() = default;

    // File types as "description|pattern|description|pattern...", the first pair selected.
    void setFilter(const QString& filter) { filter_ = filter; }
    QString filter() const { return filter_; }

    // The last chosen path, whichever dialog chose it; the next dialog starts there. Before any
    // choice the dialog starts in the user's Documents folder, or the home folder without one.
    QString fileName() const { return fileName_; }
    void setFileName(const QString& fileName) { fileName_ = fileName; }
    // Every file chosen in the last open dialog, in order (fileName() is the first).
    QStringList fileNames() const { return fileNames_; }

    // Modal dialogs choosing files to open (one or several) or a file to save. A choice updates
    // fileName() and returns true; a cancel leaves fileName() as it was and returns false. A
    // name to save under that has no extension gets the one of the chosen file type (".txt" for
    // "*.txt"; none for "*.*"). The save dialog also offers the encoding and the line break:
    // it starts with the ones chosen last (remembered between runs), and a choice is
    // remembered again.
    bool ShowOpen();
    bool ShowSave();
    // The format chosen in the last save dialog.
    SaveFormat saveFormat() const { return saveFormat_; }
    // Whether what is saved next came from a file, whose format the first choice keeps.
    void setSaveHasOriginal(bool original) { saveHasOriginal_ = original; }
    bool saveHasOriginal() const { return saveHasOriginal_; }

    // A modal message box with one OK button.
    virtual void MsgBox(const QString& prompt, int style, const QString& title) = 0;
    // A modal question with 确定 and 取消; true for 确定.
    virtual bool AskOkCancel(const QString& prompt, const QString& title) = 0;

    virtual void ClipboardClear() = 0;
    virtual void ClipboardSetText(const QString& text) = 0;

    // Opens the publisher's page without waiting; a failure is quiet.
    virtual void OpenPublisherPage() = 0;
    // Opens the publisher's page at the user's request; false when no browser could be started.
    virtual bool ShowPublisherPage() = 0;

    // What the program remembers between runs: a text under a key (empty when nothing was saved
    // under it). A failure to remember is quiet.
    virtual QString LoadSetting(const QString& key) = 0;
    virtual void SaveSetting(const QString& key, const QString& value) = 0;

protected:
    enum class DialogKind { Open, Save };
    struct Choice {
        QStringList paths;   // empty on cancel; one for a save
        int filterIndex = 0; // which file type of the filter was chosen, from 0
        SaveFormat format;   // for a save
    };
    // Shows the dialog starting at startPath (a file, or a folder before any choice); a save
    // dialog starts with `format`.
    virtual Choice chooseFile(DialogKind kind, const QString& filter, const QString& startPath,
                              const SaveFormat& format) = 0;

private:
    bool show(DialogKind kind);

    QString filter_;
    QString fileName_;
    QStringList fileNames_;
    SaveFormat saveFormat_;
    bool saveHasOriginal_ = true;
};

// The extension that the filter's file type number `index` gives a name without one ("txt" for
// "*.txt"); empty for a type that matches any name or several extensions.
QString DefaultSuffix(const QString& filter, int index);

// Where the first file dialog of a run starts: the Documents folder, or home without one.
QString DefaultDialogFolder();

// The address of the publisher's page (a CMake cache variable sets it at configure time).
QString PublisherPageCommand();
