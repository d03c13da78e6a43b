// The window's marks of what a filter would remove (ui/repeatmarks.h), and the way from the note
// of what went to the list of the removed lines.
#include "platform/desktopservices.h"
#include "ui/compare/filteroptionsmenu.h"
#include "ui/textbox/repeatmarks.h"
#include "ui/textbox/textbox.h"
#include "ui/window/mainwindow.h"

void MainWindow::createMarks() {
    marker_ = new RepeatMarker(
        *this, *Text1,
        [this](Job* job, std::function<void(bool)> then) { startJob(job, std::move(then)); },
        [this] { return !busy(); });
    connect(marker_, &RepeatMarker::markRequested, this, &MainWindow::markRepeats);
    connect(optionsMenu_, &FilterOptionsMenu::markRepeatsRequested, this, &MainWindow::markRepeats);
    connect(Text2, &TextBox::noteClicked, this, &MainWindow::showRemoved);
}

// The input box of the large-file mode shows only the file's beginning: the list of the removed
// lines covers the whole file.
void MainWindow::markRepeats() {
    if (busy())
        return;
    if (isLargeInput()) {
        services_.MsgBox(QStringLiteral("输入框只显示大文件的开头，无法在其中标出重复。请先过滤，"
                                        "再在“重复统计…”的“已删除的行”中查看。"),
                         DesktopServices::Information, QStringLiteral("标出重复"));
        return;
    }
    marker_->mark(state_.filterSettings());
}

void MainWindow::showRemoved() {
    if (state_.outputNote() == WindowState::OutputNote::Removed)
        showRepeats(true);
}
