#pragma once

#include <QString>

// The few desktop services the window uses: one file dialog whose chosen path persists across
// its uses, a message box, the clipboard, opening the publisher's page, and the few words the
// program remembers between runs.
class DesktopServices {
public:
    // Message box styles.
    static constexpr int Plain = 0;
    static constexpr int Critical = 16;
    static constexpr int Information = 64;

    virtual ~DesktopServices() = default;

    // File types as "description|pattern|description|pattern...", the first pair selected.
    void setFilter(const QString& filter) { filter_ = filter; }
    QString filter() const { return filter_; }

    // The last chosen path, whichever dialog chose it; the next dialog starts there. Before any
    // choice the dialog starts in the user's Documents folder, or the home folder without one.
    QString fileName() const { return fileName_; }
    void setFileName(const QString& fileName) { fileName_ = fileName; }

    // Modal dialogs choosing a file to open or to save. A choice updates fileName() and returns
    // true; a cancel leaves fileName() as it was and returns false. A name to save under that has
    // no extension gets the one of the chosen file type (".txt" for "*.txt"; none for "*.*").
    bool ShowOpen();
    bool ShowSave();

    // A modal message box with one OK button.
    virtual void MsgBox(const QString& prompt, int style, const QString& title) = 0;

    virtual void ClipboardClear() = 0;
    virtual void ClipboardSetText(const QString& text) = 0;

    // Opens the publisher's page without waiting; a failure is quiet.
    virtual void OpenPublisherPage() = 0;

    // What the program remembers between runs: a text under a key (empty when nothing was saved
    // under it). A failure to remember is quiet.
    virtual QString LoadSetting(const QString& key) = 0;
    virtual void SaveSetting(const QString& key, const QString& value) = 0;

protected:
    enum class DialogKind { Open, Save };
    struct Choice {
        QString path;        // empty on cancel
        int filterIndex = 0; // which file type of the filter was chosen, from 0
    };
    // Shows the dialog starting at startPath (a file, or a folder before any choice).
    virtual Choice chooseFile(DialogKind kind, const QString& filter, const QString& startPath) = 0;

private:
    bool show(DialogKind kind);

    QString filter_;
    QString fileName_;
};

// The extension that the filter's file type number `index` gives a name without one ("txt" for
// "*.txt"); empty for a type that matches any name or several extensions.
QString DefaultSuffix(const QString& filter, int index);

// Where the first file dialog of a run starts: the Documents folder, or home without one.
QString DefaultDialogFolder();

// The address of the publisher's page (a CMake cache variable sets it at configure time).
QString PublisherPageCommand();
