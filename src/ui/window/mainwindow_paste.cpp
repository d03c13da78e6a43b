// A paste too large for the input box: it goes into the large-file mode, as a file above the
// bounds does.
#include "core/lines.h"
#include "engine/window/largefile.h"
#include "ui/jobs/pastejob.h"
#include "ui/textbox/textbox.h"
#include "ui/window/mainwindow.h"

// The box as the paste would make it is measured: the text around the selection, and the pasted
// text. A box of more than TextBox::kImmediateChars characters is not read for it: its
// characters count a byte each.
// Most pastes are too small to cross a bound whatever they hold (three bytes a character and a
// line break each at most) and are not even measured.
bool MainWindow::takeLargePaste(const QString& text) {
    if (busy() || Text1->isWorking() || text.isEmpty())
        return false;
    const TextBox::PastePlace place = Text1->pastePlace();
    const qint64 size = text.size();
    if (place.keptBreaks + size + 1 <= largeBounds_.lines &&
        place.keptChars + 3 * size <= largeBounds_.bytes)
        return takeBoxPaste(text, place);
    const TextMeasure pasted = MeasureText(text);
    const bool endsWithBreak =
        place.tail ? place.tailEndsWithBreak : text.endsWith(u'\n') || text.endsWith(u'\r');
    const qint64 lines = place.keptBreaks + pasted.lineBreaks + 1 - (endsWithBreak ? 1 : 0);
    qint64 kept = place.keptChars;
    if (Text1->textSize() <= TextBox::kImmediateChars) {
        const QString box = Text1->text();
        kept = MeasureText(QStringView(box).first(place.from)).utf8Bytes +
               MeasureText(QStringView(box).sliced(place.to)).utf8Bytes;
    }
    const qint64 bytes = kept + pasted.utf8Bytes;
    if (lines <= largeBounds_.lines && bytes <= largeBounds_.bytes)
        return takeBoxPaste(text, place);
    auto* job = new PasteJob(*Text1, text, place, state_.filterSettings().tempDir, services_);
    startJob(job, [this, job](bool completed) {
        if (!completed || !job->largeFile())
            return;
        // Saved by default as a typed text is.
        state_.inputOpened(job->largeFile(), FileFormat{}, false);
        Text1->setNote(QString());
    });
    return true;
}

// A paste the box holds but fills a slice at a time works as a command: its progress and 取消
// show once it takes a while, and the window's commands wait for it.
bool MainWindow::takeBoxPaste(const QString& text, const TextBox::PastePlace& place) {
    if (!Text1->insertReplacesAll(NormalizeLineBreaks(text)))
        return false;
    startJob(new PasteJob(*Text1, text, place, QString(), services_, PasteJob::Into::Box),
             [this](bool completed) {
                 if (!completed)
                     return;
                 state_.inputEdited();
                 Text1->setNote(QString());
             });
    return true;
}
