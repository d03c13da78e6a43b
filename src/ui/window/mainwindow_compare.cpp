// The dialogs of the options menu that set what the filter compares: the part of each line
// (比较范围…) and the lists the input is compared with (对照清单…).
#include "ui/compare/keyruledialog.h"
#include "ui/compare/listsdialog.h"
#include "ui/textbox/textbox.h"
#include "ui/window/mainwindow.h"

#include <QTextBlock>

QString MainWindow::exampleLine() const {
    auto shortened = [](const QString& line) { return line.left(KeyRuleDialog::kExampleChars); };
    const QTextBlock current = Text1->textCursor().block();
    if (!current.text().trimmed().isEmpty())
        return shortened(current.text());
    QTextBlock block = Text1->document()->firstBlock();
    for (int i = 0; i < kExampleSearchLines && block.isValid(); ++i, block = block.next()) {
        if (!block.text().trimmed().isEmpty())
            return shortened(block.text());
    }
    return {};
}

void MainWindow::showKeyDialog() {
    auto* dialog = new KeyRuleDialog(state_.options(), exampleLine(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        FilterOptions options = state_.options();
        options.key = dialog->keyRule();
        setFilterSetup(options, state_.lists());
    });
    dialog->open();
}

void MainWindow::showListsDialog() {
    auto* dialog = new ComparedListsDialog(state_.lists(), services_, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this,
            [this, dialog] { setFilterSetup(state_.options(), dialog->lists()); });
    dialog->open();
}
