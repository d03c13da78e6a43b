#pragma once

// Folder ui/statistic: the statistic of a filter. Its dialog with the repeated lines and their
// export (repeatsdialog, repeatsexport), and its page of the removed lines: the rows, their
// model, the view and their export (removedrows, removedmodel, removedview, removedexport); and
// with near repeats its page of the similar lines (similargroups, similarview).

#include "ui/jobs/commands.h"
#include "ui/statistic/removedrows.h"
#include "ui/statistic/repeatsexport.h"
#include "ui/statistic/similargroups.h"

#include <QDialog>

#include <atomic>
#include <memory>

class DesktopServices;
class QProgressBar;
class QPushButton;
class QTabWidget;
class RemovedView;
class SimilarView;

// The statistic of the last filter: its totals, and two pages: a list of the repeated lines with
// how often each occurs, most frequent first, and the removed lines (see RemovedView), listed at
// the first showing of their page and kept with the statistic; with near repeats, a third page of
// the similar lines (see SimilarView), grouped at its first showing. Each list is a view over its
// rows, so that a million rows scroll like ten; it holds at most the rows it was given room for,
// and says so when there are more. 复制列表 and 保存列表… take every row of the page shown all the
// same, streamed from the engine when the list does not hold them all, with the progress shown
// and a cancel on 关闭.
class RepeatsDialog : public QDialog {
    Q_OBJECT
public:
    // `settings`: those of the filter, to count its rows again; `same`: what 与原文件相同 in the
    // save dialog writes.
    RepeatsDialog(std::shared_ptr<const Statistic> statistic, FilterSource source,
                  EngineSettings settings, FileFormat same, DesktopServices& services,
                  QWidget* parent = nullptr);
    ~RepeatsDialog() override;

    enum class Page { Repeats, Removed, Similar };
    // Shows a page; the removed lines are listed when their page first shows.
    void showPage(Page page);
    Page page() const;
    // The room of the list of removed lines, when it is still to be made.
    void setRemovedLimits(RemovedRows::Limits limits) { removedLimits_ = limits; }
    RemovedView* removedView() const { return removed_; }
    // The page 相似的行, with near repeats only (else null), and the lines ticked 保留 on it.
    SimilarView* similarView() const { return similar_; }
    void setKeptByHand(std::vector<LinePlace> lines);

    // The rows listed, as text: a line "次数<TAB>行" for each, each ended by CR LF.
    QString listText() const;
    // True while a copy or a save is at work, or the removed lines are being listed.
    bool isExporting() const { return exporting_ != nullptr; }

signals:
    // The lines ticked 保留 on the page 相似的行 changed.
    void keptByHandChanged(const std::vector<LinePlace>& lines);

protected:
    void reject() override;

private:
    struct Export {
        std::atomic<int> permille{-1};
        std::atomic<bool> stop{false};
    };
    void copyList();
    void saveList();
    void listRemoved();
    void listSimilar();
    // The buttons of the page shown: on where it has rows to copy and nothing is at work.
    void updateButtons();
    // Runs `work` on a worker thread with the buttons off and its progress shown as `what`, then
    // `then` with its result here.
    template <typename Work, typename Then>
    void inBackground(const QString& what, Work work, Then then);
    EngineProgress progressOf(const std::shared_ptr<Export>& state) const;

    std::shared_ptr<const Statistic> statistic_;
    FilterSource source_;
    EngineSettings settings_;
    FileFormat same_;
    DesktopServices& services_;
    RemovedRows::Limits removedLimits_;
    QTabWidget* pages_ = nullptr;
    RemovedView* removed_ = nullptr;
    SimilarView* similar_ = nullptr;
    QPushButton* copy_ = nullptr;
    QPushButton* save_ = nullptr;
    QProgressBar* progress_ = nullptr;
    std::shared_ptr<Export> exporting_;
};
