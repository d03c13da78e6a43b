#pragma once

#include <QPlainTextEdit>

#include <vector>

// A multi-line text box whose text is its lines joined by CR LF. It keeps a count of its
// non-blank lines up to date on every change, typed or set, without rereading the whole text.
class TextBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TextBox(QWidget* parent = nullptr);

    // The box's lines joined by CR LF, exactly as set (no space substitution).
    QString text() const;
    // Replaces the whole text. Every line break (CR LF, lone CR, lone LF) becomes a line.
    void setText(const QString& text);

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

    std::vector<quint8> blockNonBlank_; // 1 for each non-blank block of the document, else 0
    qsizetype nonBlank_ = 0;
    mutable QString cachedText_; // the text as last set or read, while it is known
    mutable bool cacheValid_ = true;
    bool settingText_ = false;
    bool acceptFileDrops_ = false;
};
