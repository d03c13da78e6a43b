#pragma once

#include "core/filteroptions.h"
#include "core/order/decimalsum.h"

#include <QString>
#include <QStringView>

// The column that KeyRule::sumColumn adds up: lines of equal keys become one, the copy the keep
// mode chooses, with this column the exact sum of theirs (DecimalSum). A line of the input whose
// column is missing or not a number has no key: it is merged with none and stays on its own. A
// line of a compared list needs no number: its key is made as for any line.
//
// Keeps its own buffers: one per thread.
class SumColumn {
public:
    explicit SumColumn(const KeyRule& rule);

    // The column's text in `line`; a null view when the line has no such column.
    QStringView find(QStringView line);
    // Whether the line's column is a number that can be added.
    bool holdsNumber(QStringView line) { return DecimalSum::IsNumber(find(line)); }
    // The line with its column replaced by `sum` (inside the quotes of a quoted CSV column); the
    // line as it is when it has no such column.
    QString replaced(QStringView line, QStringView sum);

private:
    KeyExtractor columns_;
};

// Why the options cannot sum, in Chinese; empty when they can: near repeats are decided in one
// pass in order and merge nothing, and a key made of the summed column would add up equal
// numbers only. `inWindow`: the options named as the window names them, else as the command
// line does.
QString SumRefusal(const FilterOptions& options, bool inWindow = false);
