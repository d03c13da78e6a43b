#pragma once

#include "core/filteroptions.h"
#include "engine/engine.h"
#include "engine/window/largefile.h"
#include "files/fileformat.h"
#include "ui/statistic/repeatsexport.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

// What the main window keeps track of besides its controls, and the decisions on it that need no
// widget: the options, the lists and the key the filter works with (and which of them to
// remember), the input's format, the large file and the large result the boxes show, the last
// filter and whether the result is still the input's, the preview a change of the options asks
// for, and what a clear keeps for its undo. The window tells it what happened to its boxes and
// asks it what follows.
class WindowState {
public:
    // Where the options are remembered between runs.
    static inline const QString kOptionsKey = QStringLiteral("FilterOptions");
    static inline const QString kKeyKey = QStringLiteral("CompareKey");
    static inline const QString kListsKey = QStringLiteral("CompareLists");

    // The near repeats the next filter keeps, each as its input and its number in it.
    using KeptLines = std::vector<std::pair<int, qint64>>;
    // A remembered setting: its key and its text.
    using Setting = std::pair<QString, QString>;

    // The last filter: what it worked on, with which options and lists, the format its result is
    // saved in by default, what it removed, its statistic once asked for, and the near repeats it
    // kept by hand.
    struct LastFilter {
        FilterSource source;
        FilterOptions options;
        std::vector<ComparedList> lists;
        FileFormat format;
        QString removed;
        std::shared_ptr<const Statistic> statistic;
        KeptLines keptByHand;
    };

    // What the boxes held when a clear came, as far as they can come back: no text for a box too
    // long to bring back. A box showing a large file's or a large result's beginning holds no
    // text of its own.
    struct ClearedBoxes {
        std::optional<QString> input;
        std::optional<QString> output;
        bool largeInput = false;
        bool largeResult = false;
        QString inputNote;
    };
    // What a clear took away, while Ctrl+Z can bring it back.
    struct Cleared {
        QString input;
        QString output;
        std::shared_ptr<const LargeFile> largeInput;
        std::shared_ptr<LargeResult> largeResult;
        QString inputNote;
        std::optional<LastFilter> lastFilter;
        bool inputChanged = false;
        bool outputChanged = false;
    };

    // What the note over the output box says: nothing (no filter yet), that the result is no
    // longer the input's, what the last filter removed, or that the result was edited by hand.
    enum class OutputNote { None, Stale, Removed, HandEdited };

    // The options, the key and the lists remembered under the keys above.
    void loadSetup(const std::function<QString(const QString&)>& loadSetting);
    // Puts options and lists in force. Nothing when they are those in force already; otherwise
    // the settings to remember anew (those that changed). The near repeats ticked by hand go:
    // they were ticked for other settings.
    std::optional<std::vector<Setting>> setSetup(const FilterOptions& options,
                                                 std::vector<ComparedList> lists);
    const FilterOptions& options() const { return options_; }
    const std::vector<ComparedList>& lists() const { return lists_; }
    // The settings the filter works with: the options, the key and the lists, and the near repeats
    // ticked by hand while near repeats are compared.
    EngineSettings filterSettings() const;

    // True while the output box holds a result that is not the filter of the input box with the
    // options in force.
    bool isResultStale() const;
    // Whether a change of the options may filter again at once: the boxes still hold the last
    // filter's input and result.
    bool canPreview() const;
    OutputNote outputNote() const;

    // A change of the setup asks for a preview where one may run; true when it did.
    bool askPreview();
    // Takes the preview asked for (true once for each ask).
    bool takePreview();
    // Whether the preview asked for still has something to do when its turn comes.
    bool previewStillWanted() const { return canPreview() && isResultStale(); }

    // The user changed a box.
    void inputEdited();
    void outputEdited();
    // A new input was opened: a large file (or none for a text in the box) and the format its
    // result is saved in by default, which is the file's own when `fromFile`.
    void inputOpened(std::shared_ptr<const LargeFile> largeInput, FileFormat format, bool fromFile);
    // A filter completed with its result in the output box.
    void filtered(LastFilter last);
    const std::optional<LastFilter>& lastFilter() const { return lastFilter_; }
    void setStatistic(std::shared_ptr<const Statistic> statistic);
    // The near repeats ticked 保留 in the statistic; taken only while there is a last filter.
    bool setKeptByHand(KeptLines lines);
    const KeptLines& keptByHand() const { return keptByHand_; }

    const FileFormat& inputFormat() const { return inputFormat_; }
    bool inputFromFile() const { return inputFromFile_; }
    // The large file whose beginning the input box shows, and the large result whose beginning
    // the output box shows (each only while the box still shows it).
    const std::shared_ptr<const LargeFile>& largeInput() const { return largeInput_; }
    const std::shared_ptr<LargeResult>& largeResult() const { return largeResult_; }
    // Puts a large result in place and hands back the one it replaces.
    std::shared_ptr<LargeResult> exchangeLargeResult(std::shared_ptr<LargeResult> result);

    // What a clear keeps to bring back: everything, when both boxes can come back (`boxes` is
    // none while a command works) and held anything; otherwise nothing.
    std::optional<Cleared> whatClearKeeps(const std::optional<ClearedBoxes>& boxes) const;
    // A clear: forgets the input, the result and the last filter, and keeps `kept` for its undo.
    // The large result is left to the caller, who lets it go.
    void clear(std::optional<Cleared> kept);
    bool canUndoClear() const { return cleared_.has_value(); }
    // Hands back what the clear took, for the boxes; restore() then brings the rest back.
    std::optional<Cleared> takeCleared();
    void restore(const Cleared& cleared);
    // A clear can no longer be undone.
    void forgetCleared() { cleared_.reset(); }

private:
    FileFormat inputFormat_; // GBK and CR LF for a text that never came from a file
    bool inputFromFile_ = false;
    FilterOptions options_;
    std::vector<ComparedList> lists_;
    std::shared_ptr<const LargeFile> largeInput_;
    std::shared_ptr<LargeResult> largeResult_;
    std::optional<LastFilter> lastFilter_;
    // The near repeats ticked 保留 in the statistic: the next filter keeps them, until the text or
    // the setup changes.
    KeptLines keptByHand_;
    bool inputChanged_ = false;   // the input box changed since the last filter
    bool outputChanged_ = false;  // the output box was edited since the last filter
    bool previewPending_ = false; // the options changed while a command worked
    std::optional<Cleared> cleared_;
};
