#pragma once

#include "core/filteroptions.h"
#include "files/textcodec.h"
#include "files/textfile.h"
#include "ui/commands.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class DesktopServices;
class FilterOptionsMenu;
class FitLabel;
class Job;
class QGroupBox;
class QPushButton;
class SplitButton;
class TextBox;

// The program's only window: the input and output boxes, the five command buttons, the count
// labels and the link to the publisher's page.
//
// The commands are jobs (ui/commands.h). While one is at work, the buttons are off, the keyboard
// focus waits on the window itself (it comes back to where it was afterwards), no keystroke or
// click reaches a box, and Esc or the cancel button at the box being worked on cancels it. A job
// still at work after half a second shows its progress at that box.
//
// The filter follows the options chosen in the menu of 开始过滤's arrow, which the window
// remembers between runs. After each filter the output box says how many lines it removed,
// until either box changes; 重复统计… counts the repeated lines of the last filter.
//
// A file above the large-file bounds opens in the large-file mode: the input box shows its
// beginning read-only, and the filter works on the file itself into a temporary file, whose
// beginning the output box shows; copy and save take the whole result. Clearing leaves the mode.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(DesktopServices& services, QWidget* parent = nullptr);

    // The client size at which every control stands at its home place; also the minimum.
    static constexpr QSize kInitialSize{358, 332};
    // How long a command works before its progress is shown.
    static constexpr int kProgressDelayMs = 500;
    // A file above either bound opens in the large-file mode. Past about 700,000 lines, Qt's
    // text document grows its tables by copies that held up the window for 110-160 ms at a
    // million lines, and emptying a box of 1.5 million lines took up to 280 ms; at 500,000 lines
    // (250 MB with both boxes full) no step took more than 40 ms. Files of long lines stay
    // smooth up to 64 MB.
    static constexpr LargeFileBounds kLargeFileBounds{64 * kMiB, 500000};
    // The largest result of the large-file mode that is copied to the clipboard.
    static constexpr qint64 kCopyBytes = 64 * kMiB;
    // Where the options are remembered.
    static inline const QString kOptionsKey = QStringLiteral("FilterOptions");

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

    // The options of the filter, as the menu shows them.
    FilterOptions filterOptions() const { return options_; }
    // True while the input box shows the beginning of a large file, and while the output box
    // shows the beginning of a large result.
    bool isLargeInput() const;
    bool isLargeResult() const;
    // Other bounds than the product's, for tests.
    void setLargeFileBounds(LargeFileBounds bounds) { largeBounds_ = bounds; }
    void setCopyBound(qint64 bytes) { copyBytes_ = bytes; }

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
    QList<QPushButton*> buttons() const;
    void applyColors();

    void Command1_Click(); // start filtering
    void Command2_Click(); // import data
    void Command5_Click(); // save results
    void importFile(const QString& path);
    void Command3_Click(); // clear all
    void Command4_Click(); // copy results
    void openPublisherPage();
    void clearBoxes();
    // Runs the command; `then` is told whether it completed, before the buttons come back.
    void startJob(Job* job, std::function<void(bool)> then = {});
    void showProgress();
    void runFilter(bool refuseEmpty);
    void setFilterOptions(const FilterOptions& options);
    void updateFilterButton();
    // Shows the count of lines the last filter removed; nothing removes it.
    void showRemoved(std::optional<qint64> lines);
    void describeOutput();
    void showRepeats();
    void setLargeResult(std::shared_ptr<LargeResult> result);

    DesktopServices& services_;
    // The encoding and the line break of the last imported file, which a save keeps.
    TextEncoding encoding_ = TextEncoding::Gbk;
    LineBreak lineBreak_ = LineBreak::CrLf;
    FilterOptions options_;
    LargeFileBounds largeBounds_ = kLargeFileBounds;
    qint64 copyBytes_ = kCopyBytes;
    // The large file whose beginning the input box shows, and the large result whose beginning
    // the output box shows (each only while the box still shows it).
    std::shared_ptr<const LargeFile> largeInput_;
    std::shared_ptr<LargeResult> largeResult_;
    // What the last filter worked on, for its statistic.
    struct LastFilter {
        RepeatsJob::Source source;
        FilterOptions options;
    };
    std::optional<LastFilter> lastFilter_;
    Job* job_ = nullptr;
    bool boxChanged_ = false;       // a box changed while the command worked
    QPointer<QWidget> focusBefore_; // where the focus was when the command started
    QTimer progressDelay_;
    QGroupBox* Frame1 = nullptr;
    TextBox* Text1 = nullptr;
    TextBox* Text2 = nullptr;
    SplitButton* Command1 = nullptr;
    FilterOptionsMenu* optionsMenu_ = nullptr;
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
