#include "ui/window/windowstate.h"

#include "core/comparisonoptions.h"
#include "ui/compare/comparesetup.h"

void WindowState::loadSetup(const std::function<QString(const QString&)>& loadSetting) {
    options_ = FilterOptionsFromText(loadSetting(kOptionsKey));
    options_.key = KeyRuleFromText(loadSetting(kKeyKey));
    lists_ = ComparedListsFromText(loadSetting(kListsKey));
}

std::optional<std::vector<WindowState::Setting>>
WindowState::setSetup(const FilterOptions& options, std::vector<ComparedList> lists) {
    if (options == options_ && lists == lists_)
        return std::nullopt;
    std::vector<Setting> changed;
    if (const QString text = FilterOptionsToText(options); text != FilterOptionsToText(options_))
        changed.emplace_back(kOptionsKey, text);
    if (options.key != options_.key)
        changed.emplace_back(kKeyKey, KeyRuleToText(options.key));
    if (lists != lists_)
        changed.emplace_back(kListsKey, ComparedListsToText(lists));
    options_ = options;
    lists_ = std::move(lists);
    keptByHand_.clear();
    return changed;
}

EngineSettings WindowState::filterSettings() const {
    EngineSettings settings;
    settings.options = options_;
    settings.lists = lists_;
    if (options_.similar != 0)
        settings.keptByHand = keptByHand_;
    return settings;
}

bool WindowState::isResultStale() const {
    return lastFilter_ && (inputChanged_ || options_ != lastFilter_->options ||
                           lists_ != lastFilter_->lists || keptByHand_ != lastFilter_->keptByHand);
}

bool WindowState::canPreview() const {
    return lastFilter_ && !inputChanged_ && !outputChanged_;
}

WindowState::OutputNote WindowState::outputNote() const {
    if (isResultStale())
        return OutputNote::Stale;
    if (!lastFilter_)
        return OutputNote::None;
    return outputChanged_ ? OutputNote::HandEdited : OutputNote::Removed;
}

bool WindowState::askPreview() {
    if (!canPreview())
        return false;
    previewPending_ = true;
    return true;
}

bool WindowState::takePreview() {
    return std::exchange(previewPending_, false);
}

void WindowState::inputEdited() {
    inputChanged_ = true;
    keptByHand_.clear();
}

void WindowState::outputEdited() {
    outputChanged_ = true;
}

void WindowState::inputOpened(std::shared_ptr<const LargeFile> largeInput, FileFormat format,
                              bool fromFile) {
    largeInput_ = std::move(largeInput);
    inputFormat_ = format;
    inputFromFile_ = fromFile;
    inputEdited();
}

void WindowState::filtered(LastFilter last) {
    lastFilter_ = std::move(last);
    inputChanged_ = outputChanged_ = false;
}

void WindowState::setStatistic(std::shared_ptr<const Statistic> statistic) {
    if (lastFilter_)
        lastFilter_->statistic = std::move(statistic);
}

bool WindowState::setKeptByHand(KeptLines lines) {
    if (!lastFilter_)
        return false;
    keptByHand_ = std::move(lines);
    return true;
}

std::shared_ptr<LargeResult> WindowState::exchangeLargeResult(std::shared_ptr<LargeResult> result) {
    return std::exchange(largeResult_, std::move(result));
}

std::optional<WindowState::Cleared>
WindowState::whatClearKeeps(const std::optional<ClearedBoxes>& boxes) const {
    std::optional<Cleared> cleared;
    if (boxes && boxes->input && boxes->output) {
        cleared = Cleared{*boxes->input,
                          *boxes->output,
                          boxes->largeInput ? largeInput_ : nullptr,
                          boxes->largeResult ? largeResult_ : nullptr,
                          boxes->inputNote,
                          lastFilter_,
                          inputChanged_,
                          outputChanged_};
        if (cleared->input.isEmpty() && cleared->output.isEmpty() && !cleared->largeInput &&
            !cleared->largeResult)
            cleared.reset(); // nothing to bring back
    }
    return cleared;
}

void WindowState::clear(std::optional<Cleared> kept) {
    largeInput_.reset();
    lastFilter_.reset();
    keptByHand_.clear();
    inputChanged_ = outputChanged_ = false;
    cleared_ = std::move(kept);
}

std::optional<WindowState::Cleared> WindowState::takeCleared() {
    return std::exchange(cleared_, std::nullopt);
}

void WindowState::restore(const Cleared& cleared) {
    if (cleared.largeInput)
        largeInput_ = cleared.largeInput;
    lastFilter_ = cleared.lastFilter;
    inputChanged_ = cleared.inputChanged;
    outputChanged_ = cleared.outputChanged;
}
