#pragma once

#include <QPlainTextEdit>
#include <QTimer>

#include <functional>
#include <vector>

// A multi-line text box whose text is its lines joined by CR LF. It keeps a count of its
// non-blank lines up to date on every change, typed or set, without rereading the whole text.
//
// Small texts are set and read at once. A large text is put into the box a slice at a time from
// the event loop, and read back the same way when the box no longer knows it, so that the window
// never freezes; the box is read-only meanwhile.
class TextBox : public QPlainTextEdit {
    Q_OBJECT
public:
    // Texts of at most this many lines are set and read at once.
    static constexpr qsizetype kImmediateLines = 10000;

    explicit TextBox(QWidget* parent = nullptr);

    // The box's lines joined by CR LF, exactly as set (no space substitution). Reads the whole
    // document at once when the box no longer knows its text; see withText for large boxes.
    QString text() const;
    // Replaces the whole text; every line break (CR LF, lone CR, lone LF) becomes a line. `done`
    // runs once the box shows all of it: at once for a small text, later for a large one.
    void setText(const QString& text, std::function<void()> done = {});
    // Calls `use` with the text: at once when it is known or the box is small, otherwise once it
    // has been read back a slice at a time.
    void withText(std::function<void(const QString&)> use);

    // True while a large text is being put in or read back.
    bool isWorking() const { return fill_.active || read_.active; }

    qsizetype nonBlankLineCount() const { return nonBlank_; }

    // Reads the text from the document itself, bypassing what the box remembers of it.
    QString documentText() const;
    // Counts from the document itself, bypassing the running count.
    qsizetype recountNonBlankLines() const;

    // When on, a file dropped on the box is announced by fileDropped instead of being inserted.
    void setAcceptFileDrops(bool on) { acceptFileDrops_ = on; }

signals:
    void nonBlankLineCountChanged(qsizetype count);
    void fileDropped(const QString& path);

protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    void onContentsChange(int position, int removed, int added);
    void recountAll();
    void chooseWrapFor(QStringView text);
    void fillStep();
    void readStep();
    void beginWork();
    void endWork();
    std::vector<std::function<void()>> takeWaiting();

    std::vector<quint8> blockNonBlank_; // 1 for each non-blank block of the document, else 0
    qsizetype nonBlank_ = 0;
    mutable QString cachedText_; // the text as last set or read, while it is known
    mutable bool cacheValid_ = true;
    bool settingText_ = false;
    bool acceptFileDrops_ = false;
    bool wasReadOnly_ = false;

    struct Fill {
        bool active = false;
        QString text;       // the whole text being put in
        qsizetype next = 0; // where the next slice starts
        std::vector<std::function<void()>> done;
    } fill_;
    struct Read {
        bool active = false;
        QString text; // what has been read so far
        int nextBlock = 0;
        std::vector<std::function<void(const QString&)>> users;
    } read_;
    QTimer stepTimer_;
};
