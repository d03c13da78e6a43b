#include "ui/jobs/job.h"

#include "core/forecast.h"
#include "ui/textbox/textbox.h"

WorkProgress::WorkProgress() : state_(std::make_shared<State>()) {}

bool WorkProgress::operator()(qint64 done, qint64 total) const {
    if (total > 0)
        state_->permille.store(int(std::clamp<qint64>(done * 1000 / total, 0, 1000)),
                               std::memory_order_relaxed);
    return !stopped();
}

bool WorkProgress::stopped() const {
    return state_->stop.load(std::memory_order_relaxed);
}

Job::Job(TextBox* where, QObject* parent) : QObject(parent), where_(where) {
    // Ten times a second is often enough for a bar, and costs nothing.
    workTimer_.setInterval(100);
    connect(&workTimer_, &QTimer::timeout, this, [this] {
        const int permille = work_.state_->permille.load(std::memory_order_relaxed);
        if (permille < 0 || ended_ || cancelling_)
            return;
        if (!slowWhy_.isEmpty() && why_.isEmpty()) {
            if (const qint64 left = VeryLongLeft(permille, 1000, workClock_.elapsed()))
                why_ = slowWhy_.arg(DurationText(left));
        }
        setStepPercent(permille / 10);
    });
}

TextBox* Job::where() const {
    return where_;
}

Job::~Job() {
    *alive_ = false;
    work_.state_->stop = true;
}

WorkProgress Job::followWork() {
    QObject::disconnect(follow_);
    work_.state_->stop = true; // an earlier work has nothing more to do
    work_ = WorkProgress();
    workClock_.start();
    workTimer_.start();
    return work_;
}

void Job::workReturned() {
    if (cancelling_ && running_ == 0)
        finishCancel();
}

void Job::start() {
    run();
}

void Job::cancel() {
    if (!canCancel() || cancelling_)
        return;
    cancelling_ = true;
    *alive_ = false; // every step still under way now comes back to nothing
    work_.state_->stop = true;
    QObject::disconnect(follow_);
    what_ = QStringLiteral("正在取消");
    why_.clear();
    percent_ = -1;
    emit progressChanged();
    if (running_ == 0)
        finishCancel();
}

// Once no work is left on a worker thread.
void Job::finishCancel() {
    if (takingBack_)
        return;
    takingBack_ = true;
    workTimer_.stop();
    takeBack([self = QPointer<Job>(this)] {
        if (self)
            self->end(false);
    });
}

void Job::beginStep(const QString& what, int from, int to, int percentOfStep) {
    QObject::disconnect(follow_);
    workTimer_.stop();
    what_ = what;
    why_.clear();
    stepFrom_ = from;
    stepTo_ = to;
    setStepPercent(percentOfStep);
}

void Job::explainVeryLong(const QString& why) {
    slowWhy_ = why;
}

void Job::setStepPercent(int percentOfStep) {
    const int percent =
        percentOfStep < 0 ? -1
                          : stepFrom_ + (stepTo_ - stepFrom_) * std::min(percentOfStep, 100) / 100;
    percent_ = percent;
    emit progressChanged();
}

void Job::followBox(TextBox* box) {
    QObject::disconnect(follow_);
    follow_ = connect(box, &TextBox::workProgress, this, [this](int percent) {
        if (!ended_ && !cancelling_)
            setStepPercent(percent);
    });
}

void Job::setFilling(TextBox& box) {
    filling_ = &box;
}

void Job::takeBack(const std::function<void()>& done) {
    if (filling_)
        filling_->cancelFill(done);
    else
        done();
}

void Job::setCanCancel(bool on) {
    if (canCancel_ == on)
        return;
    canCancel_ = on;
    emit progressChanged();
}

void Job::complete() {
    if (!cancelling_)
        end(true);
}

void Job::end(bool completed) {
    if (ended_)
        return;
    ended_ = true;
    *alive_ = false;
    workTimer_.stop();
    QObject::disconnect(follow_);
    emit finished(completed);
}
