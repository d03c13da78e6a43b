// What the window keeps track of besides its controls: whether the result still belongs to the
// input, what a clear took away (for its undo), and the window's size and place between runs.
#include "platform/desktopservices.h"
#include "ui/textbox/textbox.h"
#include "ui/window/mainwindow.h"
#include "ui/window/wording.h"

#include <QCloseEvent>

bool MainWindow::isResultStale() const {
    return lastFilter_ && (inputChanged_ || options_ != lastFilter_->options ||
                           lists_ != lastFilter_->lists || keptByHand_ != lastFilter_->keptByHand);
}

bool MainWindow::canPreview() const {
    return lastFilter_ && !inputChanged_ && !outputChanged_;
}

void MainWindow::updateOutputNote() {
    QString note;
    if (isResultStale())
        note = StaleResultNote();
    else if (lastFilter_ && !outputChanged_)
        note = lastFilter_->removed;
    else if (lastFilter_)
        note = HandEditedResultNote();
    if (note != Text2->note())
        Text2->setNote(note);
    Text2->setNoteClickable(lastFilter_ && note == lastFilter_->removed,
                            QStringLiteral("点击查看已删除的行"));
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
    cleared_.reset();
    return true;
}

void MainWindow::inputChanged() {
    if (!takeInEdit())
        return;
    inputChanged_ = true;
    keptByHand_.clear();
    Text1->setNote(QString());
    updateOutputNote();
}

void MainWindow::outputChanged() {
    if (!takeInEdit())
        return;
    outputChanged_ = true;
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
    std::optional<Cleared> cleared;
    auto keep = [](const TextBox* box, bool large, QString& text) {
        if (large)
            return true;
        if (box->textSize() > TextBox::kUndoChars)
            return false;
        text = box->text();
        return true;
    };
    if (!busy() && !Text1->isWorking() && !Text2->isWorking()) {
        cleared = Cleared{};
        if (keep(Text1, isLargeInput(), cleared->input) &&
            keep(Text2, isLargeResult(), cleared->output)) {
            if (isLargeInput())
                cleared->largeInput = largeInput_;
            if (isLargeResult())
                cleared->largeResult = largeResult_;
            cleared->inputNote = Text1->note();
            cleared->lastFilter = lastFilter_;
            cleared->inputChanged = inputChanged_;
            cleared->outputChanged = outputChanged_;
        } else {
            cleared.reset();
        }
        if (cleared && cleared->input.isEmpty() && cleared->output.isEmpty() &&
            !cleared->largeInput && !cleared->largeResult)
            cleared.reset(); // nothing to bring back
    }
    Text1->setText(QString());
    Text2->setText(QString());
    Text1->setNote(QString());
    largeInput_.reset();
    setLargeResult(nullptr);
    lastFilter_.reset();
    keptByHand_.clear();
    inputChanged_ = outputChanged_ = false;
    cleared_ = std::move(cleared);
    updateOutputNote();
}

void MainWindow::undoClear() {
    if (!cleared_ || busy())
        return;
    Cleared c = std::move(*cleared_);
    cleared_.reset();
    restoring_ = 2;
    auto done = [this] { --restoring_; };
    if (c.largeInput) {
        const TextSummary& summary = c.largeInput->summary;
        Text1->showPreview(summary.preview, LargeInputNotice(*c.largeInput), summary.nonBlankLines,
                           done);
        largeInput_ = c.largeInput;
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
    lastFilter_ = std::move(c.lastFilter);
    inputChanged_ = c.inputChanged;
    outputChanged_ = c.outputChanged;
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
