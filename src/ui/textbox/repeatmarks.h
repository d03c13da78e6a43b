#pragma once

#include "engine/engine.h"
#include "ui/jobs/job.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class QWidget;
class TextBox;

// Marks in the input box the lines that the filter would remove, with the same settings: the
// engine works on a worker thread (for a large text) and tells the removed lines, and the box
// paints those on screen. F3 and Shift+F3 go to the next and the previous marked line, around
// the ends; the box's note says how many there are and which one the cursor is on. The marks go
// at the first change of the text, at a change of the options and at Esc in the box.

// Finds the lines of the box that a filter with the settings removes.
class MarkJob final : public Job {
    Q_OBJECT
public:
    MarkJob(TextBox& input, EngineSettings settings, QObject* parent = nullptr);

    // Once completed without a failure: the blocks of the lines found, ascending, and the
    // revision of the box they were found in.
    bool found() const { return found_; }
    const std::vector<int>& blocks() const { return blocks_; }
    // Of them, those that would go as near repeats.
    const std::vector<int>& nearBlocks() const { return near_; }
    quint64 revision() const { return revision_; }

protected:
    void run() override;

private:
    TextBox& input_;
    EngineSettings settings_;
    bool found_ = false;
    std::vector<int> blocks_;
    std::vector<int> near_;
    quint64 revision_ = 0;
};

class RepeatMarker : public QObject {
    Q_OBJECT
public:
    // Runs a job the way the window runs its commands; `then` is told whether it completed.
    using StartJob = std::function<void(Job* job, std::function<void(bool)> then)>;
    // `idle`: whether the window runs no command, so that the cursor may move.
    RepeatMarker(QWidget& window, TextBox& box, StartJob start, std::function<bool()> idle);

    // Marks the lines that a filter with the settings removes.
    void mark(EngineSettings settings);
    // Takes the marks away; the note the marks' note stood in for comes back.
    void clear();
    // Moves the cursor to the next (or previous) marked line. Without marks, asks for them
    // (markRequested) and moves once they are there.
    void move(bool forward);

signals:
    // F3 or Shift+F3 found no marks: the window is to mark the lines (mark()).
    void markRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void show(const std::vector<int>& blocks, const std::vector<int>& near);
    void marksChanged();
    void setOwnNote(const QString& note);

    TextBox& box_;
    StartJob start_;
    std::function<bool()> idle_;
    bool marking_ = false;
    std::optional<bool> moveWhenMarked_; // forward or back, once the marks are there
    quint64 revision_ = 0;               // of the text the marks belong to
    QString ownNote_;                    // the note the marks show in the box
    QString noteBefore_;                 // the note it stands in for
};

// The marks' notes: how many lines are marked, and which of them the cursor is on (from 0; -1:
// none yet).
// With near repeats among the marked lines (`near` of them), the first note tells them from the
// equal ones.
QString MarksNote(qsizetype count, qsizetype at, qsizetype near = 0);
