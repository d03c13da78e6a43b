#pragma once

#include "ui/commands.h"
#include "ui/repeatsexport.h"

#include <QDialog>

#include <atomic>
#include <memory>

class DesktopServices;
class QProgressBar;

// The statistic of the last filter: its totals, and a list of the repeated lines with how often
// each occurs, most frequent first. The list is a view over the lines, so that a million rows
// scroll like ten; it holds at most the rows the statistic was given room for, and says so when
// there are more. 复制列表 and 保存列表… take every row all the same, streamed from the engine
// when the list does not hold them all, with the progress shown and a cancel on 关闭.
class RepeatsDialog : public QDialog {
    Q_OBJECT
public:
    // `settings`: those of the filter, to count its rows again; `same`: what 与原文件相同 in the
    // save dialog writes.
    RepeatsDialog(std::shared_ptr<const Statistic> statistic, FilterSource source,
                  EngineSettings settings, FileFormat same, DesktopServices& services,
                  QWidget* parent = nullptr);
    ~RepeatsDialog() override;

    // The rows listed, as text: a line "次数<TAB>行" for each, each ended by CR LF.
    QString listText() const;
    // True while a copy or a save is at work.
    bool isExporting() const { return exporting_ != nullptr; }

signals:
    // A copy or a save has ended, whatever its outcome.
    void exportFinished();

protected:
    void reject() override;

private:
    struct Export {
        std::atomic<int> permille{-1};
        std::atomic<bool> stop{false};
    };
    void copyList();
    void saveList();
    // Runs `work` on a worker thread with the buttons off and its progress shown, then `then`
    // with its result here.
    template <typename Work, typename Then> void inBackground(Work work, Then then);
    EngineProgress progressOf(const std::shared_ptr<Export>& state) const;

    std::shared_ptr<const Statistic> statistic_;
    FilterSource source_;
    EngineSettings settings_;
    FileFormat same_;
    DesktopServices& services_;
    QList<QWidget*> actions_; // the buttons that are off while a copy or save works
    QProgressBar* progress_ = nullptr;
    std::shared_ptr<Export> exporting_;
};
