#pragma once

#include "engine/engine.h"

#include <QDialog>

#include <memory>
#include <vector>

class DesktopServices;

// The statistic of the last filter: each repeated line with how often it occurs, most frequent
// first, with the totals; the list can be copied and saved. A table view shows only the rows in
// sight, and the copy and the save make their text on a worker thread, so a million lines stay
// quick.
class RepeatsDialog : public QDialog {
    Q_OBJECT
public:
    RepeatsDialog(const EngineStats& stats, std::vector<RepeatedLine> repeats,
                  DesktopServices& services, QWidget* parent = nullptr);

    // The list as text: a line "次数<TAB>行" for each repeated line, each ended by CR LF.
    QString listText() const;

private:
    void copyList();
    void saveList();
    // Runs `work` on a worker thread with the buttons off, then `then` with its result here.
    template <typename Work, typename Then> void inBackground(Work work, Then then);

    std::shared_ptr<const std::vector<RepeatedLine>> repeats_;
    DesktopServices& services_;
    QList<QWidget*> actions_; // the buttons that are off while a copy or save works
};

// The list of the statistic as text: a line "count<TAB>line" for each repeated line, each ended
// by CR LF.
QString RepeatsListText(const std::vector<RepeatedLine>& repeats);
