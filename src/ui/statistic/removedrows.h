#pragma once

#include "engine/engine.h"

#include <QString>
#include <QStringList>

#include <vector>

// The removed lines of a filter as the window lists them, in input order: where each line was,
// why it went and its text. Each row takes 32 bytes and the first kShownChars characters of its
// text, in one block shared by all rows, so that a million rows take about 32 MB besides their
// text and no allocation of their own.
//
// A list holds at most the rows and the characters it is given room for; the lines beyond are
// only counted, and a text longer than kShownChars is cut. complete() says whether it holds every
// removed line whole.
// The room of a list of removed lines.
struct RemovedLimits {
    qsizetype rows = 1000000;
    qsizetype chars = qsizetype(96) << 20; // the texts of all rows together (192 MB)
};

class RemovedRows {
public:
    using Limits = RemovedLimits;
    // How much of a line a row keeps.
    static constexpr qsizetype kShownChars = 500;

    // `inputNames`: how the inputs are named when there are several; `listNames`: the compared
    // lists' names, by their numbers; both as rows name them (RemovedRowNames).
    explicit RemovedRows(Limits limits = {}, QStringList inputNames = {},
                         QStringList listNames = {});

    // Adds the next removed line (in input order); once the list is full, it is only counted.
    void add(const RemovedLine& line);

    // Rows held.
    qsizetype size() const { return qsizetype(rows_.size()); }
    // Removed lines told, held or not.
    qint64 total() const { return total_; }
    // True when every removed line is held, each with its whole text.
    bool complete() const { return total_ == qint64(rows_.size()) && !anyCut_; }

    // Row i, in input order.
    RemovedLine::Why why(qsizetype i) const { return RemovedLine::Why(rows_[std::size_t(i)].why); }
    qint64 line(qsizetype i) const { return rows_[std::size_t(i)].line; }
    QStringView text(qsizetype i) const;
    bool isCut(qsizetype i) const { return rows_[std::size_t(i)].cut != 0; }
    // The row as the engine told it (its text as held).
    RemovedLine removedLine(qsizetype i) const;
    // Where the line was: its number, after its input's name when there are several inputs.
    QString where(qsizetype i) const;
    // Why it went, as the list shows it: the number of the line it repeats (where that is), the
    // list's name, 空行, or 只出现一次.
    QString reason(qsizetype i) const;

    // The rows in the order of why they went: the lines that repeat another by that line's place,
    // then those lists removed by the list, then blank lines, then lines that occur once; rows
    // that went for the same reason stay in input order, also in descending order.
    std::vector<quint32> orderByReason(bool descending) const;

    const QStringList& inputNames() const { return inputNames_; }
    const QStringList& listNames() const { return listNames_; }

private:
    struct Row {
        qint64 line;
        qint64 ref; // Repeat: the number of the line it repeats; List: the list's number
        quint32 textStart;
        qint32 input;
        qint32 keptInput;
        quint16 textLength;
        quint8 why;
        quint8 cut;
    };
    static_assert(sizeof(Row) == 32);
    QString place(int input, qint64 line) const;

    Limits limits_;
    QStringList inputNames_;
    QStringList listNames_;
    std::vector<Row> rows_;
    QString chars_;
    qint64 total_ = 0;
    bool anyCut_ = false;
    bool full_ = false;
};

// The order that sorts the keys, ties kept in the order they come in (a radix sort).
std::vector<quint32> StableOrder(const std::vector<quint64>& keys);
