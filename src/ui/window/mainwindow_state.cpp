// The window's side of its state (ui/window/windowstate.h): the output box's note, the edits the
// window takes in, a clear and its undo in the boxes, and the window's size and place between
// runs.
#include "platform/desktopservices.h"
#include "ui/textbox/textbox.h"
#include "ui/window/mainwindow.h"
#include "ui/window/wording.h"

#include <QCloseEvent>

void MainWindow::updateOutputNote() {
    const std::optional<WindowState::LastFilter>& last = state_.lastFilter();
    QString note;
    switch (state_.outputNote()) {
    case WindowState::OutputNote::None:
        break;
    case WindowState::OutputNote::Stale:
        note = StaleResultNote();
        break;
    case WindowState::OutputNote::Removed:
        note = last->removed;
        break;
    case WindowState::OutputNote::HandEdited:
        note = HandEditedResultNote();
        break;
    }
    if (note != Text2->note())
        Text2->setNote(note);
    Text2->setNoteClickable(last && note == last->removed, QStringLiteral("点击查看已删除的行"));
    describeOutput();
}

// Whether a change of a box is the user's own, typed, pasted, dropped or undone, and so taken in
// now: a command's own changes are taken in when it completes, and a box's text brought back is
// no edit.
bool MainWindow::takeInEdit() {
    if (busy()) {
        boxChanged_ = true;
        return false;
    }
    if (restoring_ > 0)
        return false;
    state_.forgetCleared();
    return true;
}

void MainWindow::inputChanged() {
    if (!takeInEdit())
        return;
    state_.inputEdited();
    Text1->setNote(QString());
    updateOutputNote();
}

void MainWindow::outputChanged() {
    if (!takeInEdit())
        return;
    state_.outputEdited();
    updateOutputNote();
}

qsizetype MainWindow::linesAClearLoses() const {
    if (busy() || Text1->isWorking() || Text2->isWorking())
        return 0;
    const bool lost1 = !isLargeInput() && Text1->textSize() > TextBox::kUndoChars;
    const bool lost2 = !isLargeResult() && Text2->textSize() > TextBox::kUndoChars;
    if (!lost1 && !lost2)
        return 0;
    // Neither box comes back then: every line of both goes.
    return Text1->nonBlankLineCount() + Text2->nonBlankLineCount();
}

// Empties both boxes, leaves the large-file mode and forgets the last filter. What it takes can be
// brought back with Ctrl+Z while each box held at most TextBox::kUndoChars characters (a large
// file's beginning is always brought back, with its mode).
void MainWindow::clearBoxes() {
    std::optional<WindowState::ClearedBoxes> boxes;
    auto keep = [](const TextBox* box, bool large) -> std::optional<QString> {
        if (large)
            return QString();
        if (box->textSize() > TextBox::kUndoChars)
            return std::nullopt;
        return box->text();
    };
    if (!busy() && !Text1->isWorking() && !Text2->isWorking())
        boxes = WindowState::ClearedBoxes{keep(Text1, isLargeInput()), keep(Text2, isLargeResult()),
                                          isLargeInput(), isLargeResult(), Text1->note()};
    // Taken before the boxes empty: that is no edit of theirs to keep.
    std::optional<WindowState::Cleared> kept = state_.whatClearKeeps(boxes);
    Text1->setText(QString());
    Text2->setText(QString());
    Text1->setNote(QString());
    // After the boxes' own changes, which would forget what the clear keeps.
    state_.clear(std::move(kept));
    setLargeResult(nullptr);
    updateOutputNote();
}

void MainWindow::undoClear() {
    if (!state_.canUndoClear() || busy())
        return;
    const WindowState::Cleared c = std::move(*state_.takeCleared());
    restoring_ = 2;
    auto done = [this] { --restoring_; };
    if (c.largeInput) {
        const TextSummary& summary = c.largeInput->summary;
        Text1->showPreview(summary.preview, LargeInputNotice(*c.largeInput), summary.nonBlankLines,
                           done);
    } else {
        Text1->setText(c.input, done);
    }
    if (c.largeResult) {
        const TextSummary& summary = c.largeResult->summary;
        Text2->showPreview(summary.preview, LargeResultNotice(summary), summary.nonBlankLines,
                           done);
        setLargeResult(c.largeResult);
    } else {
        Text2->setText(c.output, done);
    }
    Text1->setNote(c.inputNote);
    state_.restore(c);
    updateOutputNote();
}

// The first run opens at the initial size; later ones where the window was last closed.
void MainWindow::restoreGeometryRemembered() {
    const QByteArray saved = QByteArray::fromBase64(services_.LoadSetting(kGeometryKey).toLatin1());
    if (!saved.isEmpty())
        restoreGeometry(saved);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    services_.SaveSetting(kGeometryKey, QString::fromLatin1(saveGeometry().toBase64()));
    QWidget::closeEvent(event);
}
