#pragma once

#include "engine/engine.h"

#include <QDialog>

#include <memory>
#include <vector>

class DesktopServices;

// The statistic of the last filter: each repeated line with how often it occurs, most frequent
// first, with the totals; the list can be copied and saved. A table view shows only the rows in
// sight, so a million lines stay quick.
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

    std::shared_ptr<const std::vector<RepeatedLine>> repeats_;
    DesktopServices& services_;
};
