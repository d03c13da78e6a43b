#pragma once

// Folder ui/window: the form and its state. The main window and its commands (mainwindow*), its
// state below the widgets (windowstate), its looks (appearance), the count labels that fit their
// text (fitlabel), the filter button with its menu arrow (splitbutton), and the wording of the
// notes and messages (wording).

#include "core/filteroptions.h"
#include "engine/engine.h"
#include "files/textcodec.h"
#include "files/textfile.h"
#include "ui/jobs/commands.h"
#include "ui/textbox/textbox.h"
#include "ui/window/windowstate.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class DesktopServices;
class FilterOptionsMenu;
class FitLabel;
class Job;
class JobRunner;
class QGroupBox;
class QPushButton;
class RepeatMarker;
class SplitButton;
class TextBox;

// The program's only window: the input and output boxes, the five command buttons, the count
// labels and the link to the publisher's page.
//
// The commands are jobs (ui/commands.h), run one at a time (ui/jobrunner.h). While one is at
// work, the buttons are off, the keyboard focus waits on the window itself (it comes back to
// where it was afterwards), no keystroke or click reaches a box, and Esc or the cancel button at
// the box being worked on cancels it. A job still at work after half a second shows its progress
// at that box.
//
// The filter follows the options chosen in the menu of 开始过滤's arrow, the part of the lines
// compared (比较范围…) and the lists compared with (对照清单…), which the window remembers
// between runs. After each filter the output box says how many lines it removed and
// what they were; once the input or the options change, it says at once that the result is no
// longer the input's. A change of the options while neither box has changed since the filter
// filters again at once, as a preview (a large text with its progress and cancel). 重复统计…
// counts the repeated lines of the last filter, once.
//
// A file above the large-file bounds (or several files, above them together) opens in the
// large-file mode: the input box shows its beginning read-only, and the filter works on the file
// itself into a temporary file, whose beginning the output box shows; copy and save take the
// whole result. Clearing leaves the mode; Ctrl+Z right after a clear brings both boxes back.
// A paste that would make the input box hold more than the bounds goes the same way: the box's
// text as the paste makes it goes into a temporary file, opened in the mode, and the notice says
// that the pasted text was too large; it is saved by default as a typed text is.
//
// The window remembers its size and place between runs.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(DesktopServices& services, QWidget* parent = nullptr);

    // The client size at which every control stands at its home place; also the minimum.
    static constexpr QSize kInitialSize{358, 332};
    // How long a command works before its progress is shown.
    static constexpr int kProgressDelayMs = 300;
    // A file above either bound opens in the large-file mode. Much past these, Qt's text
    // document grows its tables by copies that hold up the window, and emptying a box does too
    // (bench_window shows the longest stall at the bound).
    static constexpr LargeFileBounds kLargeFileBounds{64 * kMiB, 500000};
    // The largest result of the large-file mode that is copied to the clipboard.
    static constexpr qint64 kCopyBytes = 64 * kMiB;
    // Where the options and the window's size and place are remembered.
    static inline const QString kOptionsKey = WindowState::kOptionsKey;
    static inline const QString kKeyKey = WindowState::kKeyKey;
    static inline const QString kListsKey = WindowState::kListsKey;
    static inline const QString kGeometryKey = QStringLiteral("WindowGeometry");
    // The most repeated lines the statistic lists (its copy and save take them all).
    static constexpr qsizetype kStatisticRows = 1000000;

    // Runs a command by number: 0 filters (refusing an empty input), 1 copies the result
    // (refusing an empty result), 2 empties both boxes; any other number is reported as unknown.
    // A command still at work is cancelled first.
    void RunCommand(int index);

    // True while a command is still at work (its buttons are off meanwhile).
    bool busy() const;
    // Cancels the command at work, as Esc does.
    void cancelCommand();

    // Imports files (one or several, as one text) as if they had been chosen in the import
    // dialog: the dialog starts at the first next time, and a failure is reported the same way.
    void importChosenFiles(const QStringList& paths);

    // The options of the filter, as the menu shows them, with the key of 比较范围.
    FilterOptions filterOptions() const { return state_.options(); }
    // The lists of 对照清单 the filter compares the input with.
    const std::vector<ComparedList>& comparedLists() const { return state_.lists(); }
    // True while the input box shows the beginning of a large file, and while the output box
    // shows the beginning of a large result.
    bool isLargeInput() const;
    bool isLargeResult() const;
    // Other bounds than the product's, for tests.
    void setLargeFileBounds(LargeFileBounds bounds) { largeBounds_ = bounds; }
    void setCopyBound(qint64 bytes) { copyBytes_ = bytes; }
    void setStatisticRows(qsizetype rows) { statisticRows_ = rows; }
    // True while the output box holds a result that is not the filter of the input box with the
    // options in force.
    bool isResultStale() const { return state_.isResultStale(); }
    // The near repeats the next filter keeps (ticked 保留 in the statistic), each as its input and
    // its number in it.
    const std::vector<std::pair<int, qint64>>& keptByHand() const { return state_.keptByHand(); }

signals:
    // A command has finished its work and the buttons are back.
    void idle();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void createShortcuts();
    void placeControls(QSize client);
    void applyColors();

    void Command1_Click(); // start filtering
    void Command2_Click(); // import data
    void Command5_Click(); // save results
    void importFiles(const QStringList& paths);
    // Takes a paste that would make the input box hold more than the large-file bounds into the
    // large-file mode (mainwindow_paste.cpp); false for a paste the box takes itself.
    bool takeLargePaste(const QString& text);
    bool takeBoxPaste(const QString& text, const TextBox::PastePlace& place);
    void Command3_Click(); // clear all
    void Command4_Click(); // copy results
    void openPublisherPage();
    void showPublisherPage();
    void clearBoxes();
    // Lines a clear would take for good (beyond what Ctrl+Z keeps); 0 when it can be undone.
    qsizetype linesAClearLoses() const;
    bool mayOverwrite(const QString& path);
    void undoClear();
    void restoreGeometryRemembered();
    // Runs the command; `then` is told whether it completed, before the buttons come back.
    void startJob(Job* job, std::function<void(bool)> then = {});
    void runFilter(bool refuseEmpty);
    void setFilterOptions(const FilterOptions& options);
    // Puts options and lists in force: remembers them, marks the result stale and filters again
    // as a preview where it can.
    void setFilterSetup(FilterOptions options, std::vector<ComparedList> lists);
    void updateFilterButton();
    void showKeyDialog();
    void showListsDialog();
    // The line the key dialog's example starts with: the input box's current line, or its first
    // line that is not blank when that one is.
    QString exampleLine() const;
    void previewIfPending();
    // The note over the output box: that the result is stale, or what the last filter removed
    // while the result is as it made it.
    void updateOutputNote();
    void describeOutput();
    // The statistic, on its page of the removed lines when `removedLines`.
    void showRepeats(bool removedLines = false);
    void openStatistic(std::shared_ptr<const Statistic> statistic, bool removedLines);
    // The marks of what a filter would remove, in the input box (mainwindow_marks.cpp).
    void createMarks();
    void markRepeats();
    // The note of what went opens the statistic on its page of the removed lines.
    void showRemoved();
    void setLargeResult(std::shared_ptr<LargeResult> result);
    bool takeInEdit();
    void inputChanged();
    void outputChanged();

    DesktopServices& services_;
    WindowState state_; // what the window keeps track of besides its controls
    LargeFileBounds largeBounds_ = kLargeFileBounds;
    qint64 copyBytes_ = kCopyBytes;
    qsizetype statisticRows_ = kStatisticRows;
    int restoring_ = 0; // boxes still being filled by an undo of a clear
    JobRunner* jobs_ = nullptr;
    bool filtering_ = false;  // the command at work is a filter
    bool boxChanged_ = false; // a box changed while the command worked
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
    RepeatMarker* marker_ = nullptr;
};
