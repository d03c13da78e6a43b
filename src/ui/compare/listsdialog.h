#pragma once

#include "engine/engine.h"

#include <QDialog>

#include <vector>

class DesktopServices;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

// 对照清单: the lists the input is compared with, each a file (chosen in the file dialog) or a
// pasted text, and for each whether the lines it holds go (删除清单中出现的行) or only they stay
// (只保留清单中也有的行). Entries are added and removed; the selected one shows its kind, and a
// pasted one its text, which can be edited there.
class ComparedListsDialog : public QDialog {
    Q_OBJECT
public:
    ComparedListsDialog(std::vector<ComparedList> lists, DesktopServices& services,
                        QWidget* parent = nullptr);

    // The lists as set up: pasted lists left empty are left out, the pasted ones are numbered
    // (粘贴的清单 1, 2...).
    std::vector<ComparedList> lists() const;

private:
    void addFiles();
    void addPasted();
    void removeCurrent();
    void setKind(ComparedList::Kind kind);
    // Takes the text edited for the entry shown into it.
    void keepText();
    // Shows the selected entry's kind, and its text or path.
    void showCurrent();
    void refreshItems();
    void append(ComparedList list);

    DesktopServices& services_;
    std::vector<ComparedList> lists_;
    int shown_ = -1; // the entry the controls below the list show
    QListWidget* entries_ = nullptr;
    QPushButton* addFiles_ = nullptr;
    QPushButton* addPasted_ = nullptr;
    QPushButton* remove_ = nullptr;
    QRadioButton* exclude_ = nullptr;
    QRadioButton* intersect_ = nullptr;
    QLabel* source_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
};
