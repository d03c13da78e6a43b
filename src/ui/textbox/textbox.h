#pragma once

// Folder ui/textbox: the text box. The widget with its edits, overlays and marks (textbox*),
// its text prepared for the worker threads (preparedtext), and the marks of what a filter would
// remove (repeatmarks).

#include "ui/textbox/preparedtext.h"

#include <QPlainTextEdit>
#include <QTimer>

#include <functional>
#include <optional>
#include <vector>

class QLabel;
class QProgressBar;
class QToolButton;

// A multi-line text box whose text is its lines joined by CR LF. It keeps a count of its
// non-blank lines up to date on every change, typed or set, without rereading the whole text.
//
// Small texts are set and read at once. A large text is put into the box a slice at a time from
// the event loop, and read back the same way when the box no longer knows it, so that the window
// never freezes; the box is read-only meanwhile, and a fill can be cancelled, which puts back the
// text it replaced.
//
// A text with a line longer than kLongLine is shown as a read-only preview: each such line is cut
// after its first kShownLineChars characters and ends in a marker, and a notice above the text
// says why. The box still holds the whole text: text(), withText() and the count are about it.
//
// A text of more than kWrapLines lines is shown without wrapping (a horizontal scroll bar shows
// the ends of long lines), and a change of the box's width lays out nothing again: with wrapping,
// Qt lays out every line of the document at each change of width, which at a million lines held
// up the window for seconds.
class TextBox : public QPlainTextEdit {
    Q_OBJECT
public:
    // The bounds of what the box sets and reads at once, shows as it is, and wraps; see
    // PreparedText.
    static constexpr qsizetype kImmediateLines = PreparedText::kImmediateLines;
    static constexpr qsizetype kImmediateChars = PreparedText::kImmediateChars;
    static constexpr qsizetype kLongLine = PreparedText::kLongLine;
    static constexpr qsizetype kShownLineChars = PreparedText::kShownLineChars;
    static constexpr qsizetype kWrapLines = PreparedText::kWrapLines;
    // A text replaced by setText(..., Undo::Keep) can be brought back with Ctrl+Z while it has at
    // most this many characters (2 MiB of memory).
    static constexpr qsizetype kUndoChars = qsizetype(1) << 20;

    enum class Undo {
        Forget, // the replaced text is gone
        Keep,   // Ctrl+Z brings it back (within kUndoChars), once the box's own edits are undone
    };

    explicit TextBox(QWidget* parent = nullptr);

    // The box's lines joined by CR LF, exactly as set (no space substitution). Reads the whole
    // document at once when the box no longer knows its text; see withText for large boxes.
    QString text() const;
    // Replaces the whole text; every line break (CR LF, lone CR, lone LF) becomes a line. `done`
    // runs once the box shows all of it: at once for a small text, later for a large one.
    void setText(const QString& text, std::function<void()> done = {}, Undo undo = Undo::Forget);
    // The same with the text prepared beforehand (PrepareText), such as on a worker thread.
    void setText(PreparedText text, std::function<void()> done = {}, Undo undo = Undo::Forget);
    // Calls `use` with the text: at once when it is known or the box is small, otherwise once it
    // has been read back a slice at a time.
    void withText(std::function<void(const QString&)> use);

    // True while a large text is being put in or read back.
    bool isWorking() const { return fill_.active || read_.active; }
    // True while a text set by setText() is not yet shown in full.
    bool isFilling() const { return fill_.active; }
    // Stops the fill in progress and puts back the text it was replacing (at once when that is
    // small, else a slice at a time, which cannot be cancelled). `done` runs once the box shows
    // the earlier text again; at once when nothing was being filled.
    void cancelFill(std::function<void()> done = {});
    // True when Ctrl+Z would bring back a text that setText(..., Undo::Keep) replaced.
    bool canUndoReplace() const { return undoText_.has_value(); }
    // An undo beyond the box's own, such as the window's undo of a command that emptied both
    // boxes: once neither the box's edits nor a replaced text are left to undo, Ctrl+Z and the
    // context menu's undo call `undo` while `available` says there is something to undo.
    void setOuterUndo(std::function<bool()> available, std::function<void()> undo);

    // Shows `shown` read-only under `notice`, in place of the box's own text, for a content held
    // elsewhere; the count becomes `nonBlankLines`. text() then gives the shown text. The preview
    // lasts until the next setText(). Set like a text: `done` runs once it is shown in full, and
    // with Undo::Keep Ctrl+Z brings back the text it replaced.
    void showPreview(const QString& shown, const QString& notice, qsizetype nonBlankLines,
                     std::function<void()> done = {}, Undo undo = Undo::Forget);
    bool isPreview() const { return preview_; }
    // True while the box shows a preview set by showPreview().
    bool isExternalPreview() const { return preview_ && external_; }
    // The notice shown above a preview (empty when none).
    QString notice() const;

    // A short note in a strip above the text, such as the outcome of the last command; an empty
    // text removes it.
    void setNote(const QString& note);
    QString note() const;
    // While on, a click on the note emits noteClicked(); the note shows a hand and `hint` in its
    // tooltip, and its text stays as set.
    void setNoteClickable(bool on, const QString& hint = {});
    bool isNoteClickable() const { return noteClickable_; }

    // Lines marked by a background of `color`, such as those a filter would remove: the numbers
    // of their blocks, ascending. Only what is on screen is painted. The marks go at the first
    // change of the text (marksChanged() tells it).
    // Those among them in `second` (ascending too) take `secondColor`.
    void setMarks(std::vector<int> blocks, const QColor& color, std::vector<int> second = {},
                  const QColor& secondColor = {});
    void clearMarks();
    const std::vector<int>& marks() const { return marks_; }
    const std::vector<int>& secondMarks() const { return secondMarks_; }
    // Moves the cursor to the start of the next marked line after the cursor's line (or the one
    // before it), around the ends, and shows it; the mark's index, or -1 when there are none.
    qsizetype goToMark(bool forward);
    // Counts the changes of the text so far: the same number, the same text.
    quint64 revision() const { return edits_; }

    // A thin bar along the bottom edge with `what` and the percent done (unknown while negative),
    // and a cancel button when `cancellable`, which emits cancelRequested(); under it, `why` the
    // work is slow, if given.
    void showProgress(int percent, const QString& what, bool cancellable, const QString& why = {});
    void hideProgress();
    bool isProgressShown() const;

    qsizetype nonBlankLineCount() const { return preview_ ? previewCount_ : nonBlank_; }

    // The length of text(), without reading the document: exact while the box knows its text,
    // otherwise from the document's counts (each line break counted as CR LF).
    qsizetype textSize() const;

    // Reads the text from the document itself, bypassing what the box remembers of it.
    QString documentText() const;
    // Counts from the document itself (for a preview: from the text it stands for).
    qsizetype recountNonBlankLines() const;

    // When on, files dropped on the box are announced by filesDropped instead of being inserted.
    // A pasted file is always inserted as its path.
    void setAcceptFileDrops(bool on) { acceptFileDrops_ = on; }

    // Where text pasted at the cursor goes, in the terms of text(): it replaces [from, to), and
    // the box keeps `keptChars` characters with `keptBreaks` line breaks around it; `tail` is
    // whether text follows it, and `tailEndsWithBreak` whether that text ends with a line break.
    struct PastePlace {
        qsizetype from = 0;
        qsizetype to = 0;
        qsizetype keptChars = 0;
        qsizetype keptBreaks = 0;
        bool tail = false;
        bool tailEndsWithBreak = false;
    };
    PastePlace pastePlace() const;
    // Whether inserting a text (its line breaks normalized) at the cursor replaces the whole text
    // (a slice at a time, or as a preview) instead: a large insertion, or one that makes a line
    // too long to edit.
    bool insertReplacesAll(QStringView normalized) const;
    // A text pasted or dropped is first offered to `take`, which returns true when it has taken
    // the text elsewhere (such as a text too large for the box); otherwise it is inserted.
    void setPasteTaker(std::function<bool(const QString& text)> take) {
        pasteTaker_ = std::move(take);
    }

signals:
    void nonBlankLineCountChanged(qsizetype count);
    void filesDropped(const QStringList& paths);
    // How far a fill or read-back has come, in percent.
    void workProgress(int percent);
    void cancelRequested();
    void noteClicked();
    void marksChanged();

protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    QMimeData* createMimeDataFromSelection() const override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class UndoSlot { Forget, Keep, AsBefore };
    void replaceText(PreparedText text, std::function<void()> done, UndoSlot undo, bool restoring);
    void present(const PreparedText& text);
    void applyWrap(const PreparedText& text);
    void finishFill();
    void onContentsChange(int position, int removed, int added);
    void recountAll();
    void fillStep();
    void readStep();
    void turnIntoPreview();
    void beginWork();
    void endWork();
    void updateReadOnly();
    void createOverlays();
    void layOutOverlays();
    void insertAtCursor(const QString& inserted);
    void setReportedCount(qsizetype count);
    void paintMarks(const QRect& area);
    std::vector<std::function<void()>> takeWaiting();
    // Undoes what the box's own undo stack does not hold; false when there is nothing.
    bool canUndoBeyond() const;
    bool undoBeyond();

    std::vector<quint8> blockNonBlank_; // 1 for each non-blank block of the document, else 0
    qsizetype nonBlank_ = 0;            // non-blank blocks of the document
    qsizetype reported_ = 0;            // the count last announced
    mutable QString cachedText_;        // the text as last set or read, while it is known
    mutable bool cacheValid_ = true;
    bool settingText_ = false;
    bool previewPending_ = false; // an edit made a line too long; the preview is on its way
    quint64 edits_ = 0;           // changes of the document's content so far
    bool acceptFileDrops_ = false;
    std::function<bool(const QString&)> pasteTaker_;
    bool preview_ = false;
    bool external_ = false; // the preview was set by showPreview()
    qsizetype previewCount_ = 0;
    std::optional<QString> undoText_;
    std::function<bool()> outerUndoAvailable_;
    std::function<void()> outerUndo_;

    struct Fill {
        bool active = false;
        bool restoring = false; // putting back a cancelled fill's predecessor
        PreparedText text;
        QString before;                             // the text it replaces
        std::optional<PreparedText> beforeExternal; // or the preview it replaces
        UndoSlot undo = UndoSlot::Forget;
        qsizetype next = 0; // where the next slice of `shown` starts
        std::vector<std::function<void()>> done;
    } fill_;
    struct Read {
        bool active = false;
        QString text; // what has been read so far
        int nextBlock = 0;
        std::vector<std::function<void(const QString&)>> users;
    } read_;
    QTimer stepTimer_;

    QLabel* notice_ = nullptr;
    QLabel* note_ = nullptr;
    QString noteText_; // the note whole, as set
    bool noteClickable_ = false;
    QString noteHint_;
    std::vector<int> marks_;
    QColor markColor_;
    std::vector<int> secondMarks_;
    QColor secondMarkColor_;
    QWidget* strip_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QToolButton* cancel_ = nullptr;
    QLabel* why_ = nullptr;
};
