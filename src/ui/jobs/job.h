#pragma once

#include "platform/threads.h"

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QtConcurrent>

#include <atomic>
#include <functional>
#include <memory>

class TextBox;

// Handed to work on a worker thread: the work reports how far it has come through it, and learns
// that it is to stop. Safe to copy and to call from any thread.
class WorkProgress {
public:
    WorkProgress();
    // Records `done` of `total` and returns false once the job is being cancelled or is gone.
    bool operator()(qint64 done, qint64 total) const;
    bool stopped() const;

private:
    friend class Job;
    struct State {
        std::atomic<int> permille{-1};
        std::atomic<bool> stop{false};
    };
    std::shared_ptr<State> state_;
};

// One command at work: what it is doing, how far it has come, and a cancel that leaves the boxes
// and the files as they were before it started. A job runs in steps, each at once or later (on a
// worker thread, or a slice at a time in a box); it ends by emitting finished() exactly once.
//
// Callbacks handed out through guarded() do nothing once the job has ended or been destroyed,
// so a step that comes back after a cancel changes nothing. Work on a worker thread is told to
// stop by a cancel (and when the job is destroyed); the cancel ends the job once that work has
// returned, so that nothing it does outlives the job's end.
class Job : public QObject {
    Q_OBJECT
public:
    // `where`: the box the user watches while the job works (where its progress is shown).
    Job(TextBox* where, QObject* parent = nullptr);
    ~Job() override;

    TextBox* where() const;
    // What the job is doing now, e.g. "正在过滤".
    QString what() const { return what_; }
    // How far the whole job has come, 0 to 100; -1 while that cannot be told.
    int percent() const { return percent_; }
    // Why the work is slow, once it will clearly take very long and the job knows why; else empty.
    QString why() const { return why_; }
    // False once the job has ended, and during a step that cannot be taken back (writing a file).
    bool canCancel() const { return canCancel_ && !ended_; }

    void start();
    // From now on, once the work on a worker thread will clearly take very long (VeryLongLeft),
    // the job says `why` (with the time left for %1).
    void explainVeryLong(const QString& why);
    // Takes back what the job has done so far, then emits finished(false). Ignored while
    // canCancel() is false.
    void cancel();

signals:
    void progressChanged();
    // The job has ended: completed, or cancelled with everything as it was. Any message about
    // the outcome comes after this.
    void finished(bool completed);

protected:
    virtual void run() = 0;

    // Starts a part of the job that takes it from `from` to `to` percent; `percentOfStep` is how
    // far that part has come (negative: unknown).
    void beginStep(const QString& what, int from, int to, int percentOfStep = 0);
    void setStepPercent(int percentOfStep);
    // Follows a box's fill or read-back as the progress of the current step.
    void followBox(TextBox* box);
    // The job is filling `box` (TextBox::setText or showPreview): a cancel from now on stops the
    // fill and waits until the box shows its earlier text again (TextBox::cancelFill).
    void setFilling(TextBox& box);
    void setCanCancel(bool on);

    // Ends the job as completed.
    void complete();

    template <typename F> auto guarded(F f) {
        return [alive = std::weak_ptr<bool>(alive_), f = std::move(f)](auto&&... args) mutable {
            const auto lock = alive.lock();
            if (lock && *lock)
                f(std::forward<decltype(args)>(args)...);
        };
    }

    // Runs `work` on a worker thread when `inBackground` (else at once), then `then` with its
    // result on this thread, unless the job has ended meanwhile. The work is given a
    // WorkProgress whose reports become the progress of the current step.
    template <typename Result, typename Work, typename Then>
    void runWork(bool inBackground, Work work, Then then) {
        const WorkProgress progress = followWork();
        if (!inBackground) {
            Result result = work(progress);
            workTimer_.stop();
            then(std::move(result));
            return;
        }
        auto* watcher = new QFutureWatcher<Result>(this);
        ++running_;
        connect(watcher, &QFutureWatcher<Result>::finished, this,
                [this, watcher, then = guarded(std::move(then))]() mutable {
                    watcher->deleteLater();
                    if (--running_ == 0)
                        workTimer_.stop();
                    then(watcher->result());
                    workReturned();
                });
        watcher->setFuture(QtConcurrent::run([work = std::move(work), progress]() mutable {
            LowerCurrentThreadPriority();
            return work(progress);
        }));
    }

private:
    WorkProgress followWork();
    void workReturned();
    void finishCancel();
    // Takes back what the job has done so far and then calls `done`.
    void takeBack(const std::function<void()>& done);
    void end(bool completed);

    QPointer<TextBox> where_;
    QPointer<TextBox> filling_; // the box the job fills, once it does
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    QString what_;
    QString why_;
    QString slowWhy_;
    QElapsedTimer workClock_;
    int percent_ = 0;
    int stepFrom_ = 0;
    int stepTo_ = 100;
    bool canCancel_ = true;
    bool ended_ = false;
    bool cancelling_ = false;
    bool takingBack_ = false;
    QMetaObject::Connection follow_;
    WorkProgress work_; // of the latest work handed to a worker thread
    int running_ = 0;   // works still on a worker thread
    QTimer workTimer_;  // reads the work's progress while it runs
};
