#pragma once

#include "files/textcodec.h"

#include <QWidget>

class DesktopServices;
class FitLabel;
class QGroupBox;
class QPushButton;
class TextBox;

// The program's only window: the input and output boxes, the five command buttons, the count
// labels and the link to the publisher's page.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(DesktopServices& services, QWidget* parent = nullptr);

    // The client size at which every control stands at its home place; also the minimum.
    static constexpr QSize kInitialSize{358, 332};

    // Runs a command by number: 0 filters (refusing an empty input), 1 copies the result
    // (refusing an empty result), 2 empties both boxes; any other number is reported as unknown.
    void RunCommand(int index);

    // True while a command is still at work on a large text (its buttons are off meanwhile).
    bool busy() const { return operations_ > 0; }

    // Imports a file as if it had been chosen in the import dialog: the dialog starts there next
    // time, and a failure is reported the same way.
    void importChosenFile(const QString& path);

signals:
    // A command has finished its work and the buttons are back.
    void idle();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void createControls();
    void placeControls(QSize client);

    void Command1_Click(); // start filtering
    void Command2_Click(); // import data
    void Command5_Click(); // save results
    void importFile(const QString& path);
    void Command3_Click(); // clear all
    void Command4_Click(); // copy results
    void openPublisherPage();
    void clearBoxes();
    void filterInput(bool refuseEmpty);
    void copyOutput();
    void beginOperation();
    void endOperation();
    // Runs work, then hands its result to `then` on the window's thread: at once, or from a
    // worker thread for large inputs.
    template <typename Result, typename Work, typename Then>
    void run(bool inBackground, Work work, Then then);

    DesktopServices& services_;
    // The encoding of the last imported file, which a save keeps.
    TextEncoding encoding_ = TextEncoding::Gbk;
    int operations_ = 0;
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
