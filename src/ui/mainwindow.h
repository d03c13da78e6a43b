#pragma once

#include "files/textcodec.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

class DesktopServices;
class FitLabel;
class Job;
class QGroupBox;
class QPushButton;
class TextBox;

// The program's only window: the input and output boxes, the five command buttons, the count
// labels and the link to the publisher's page.
//
// The commands are jobs (ui/commands.h). While one is at work, the buttons are off, the keyboard
// focus waits on the window itself (it comes back to where it was afterwards), no keystroke or
// click reaches a box, and Esc or the cancel button at the box being worked on cancels it. A job
// still at work after half a second shows its progress at that box.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(DesktopServices& services, QWidget* parent = nullptr);

    // The client size at which every control stands at its home place; also the minimum.
    static constexpr QSize kInitialSize{358, 332};
    // How long a command works before its progress is shown.
    static constexpr int kProgressDelayMs = 500;

    // Runs a command by number: 0 filters (refusing an empty input), 1 copies the result
    // (refusing an empty result), 2 empties both boxes; any other number is reported as unknown.
    // A command still at work is cancelled first.
    void RunCommand(int index);

    // True while a command is still at work (its buttons are off meanwhile).
    bool busy() const { return job_ != nullptr; }
    // Cancels the command at work, as Esc does.
    void cancelCommand();

    // Imports a file as if it had been chosen in the import dialog: the dialog starts there next
    // time, and a failure is reported the same way.
    void importChosenFile(const QString& path);

signals:
    // A command has finished its work and the buttons are back.
    void idle();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void createControls();
    void createShortcuts();
    void placeControls(QSize client);
    void applyColors();

    void Command1_Click(); // start filtering
    void Command2_Click(); // import data
    void Command5_Click(); // save results
    void importFile(const QString& path);
    void Command3_Click(); // clear all
    void Command4_Click(); // copy results
    void openPublisherPage();
    void clearBoxes();
    void startJob(Job* job);
    void showProgress();

    DesktopServices& services_;
    // The encoding of the last imported file, which a save keeps.
    TextEncoding encoding_ = TextEncoding::Gbk;
    Job* job_ = nullptr;
    QPointer<QWidget> focusBefore_; // where the focus was when the command started
    QTimer progressDelay_;
    QGroupBox* Frame1 = nullptr;
    TextBox* Text1 = nullptr;
    TextBox* Text2 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
    FitLabel* Label1 = nullptr;
    FitLabel* Label2 = nullptr;
    FitLabel* Label3 = nullptr;
};

// The contrast ratio of two colours as the WCAG defines it (1 to 21).
double ContrastRatio(const QColor& a, const QColor& b);
// `color` itself where it stands out from `background` well enough to read, else a lighter or
// darker shade of it that does (contrast ratio 4.5).
QColor ReadableOn(const QColor& color, const QColor& background);
