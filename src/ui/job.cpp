#include "ui/job.h"

#include "ui/textbox.h"

Job::Job(TextBox* where, QObject* parent) : QObject(parent), where_(where) {}

Job::~Job() {
    *alive_ = false;
}

void Job::start() {
    run();
}

void Job::cancel() {
    if (!canCancel() || cancelling_)
        return;
    cancelling_ = true;
    *alive_ = false; // every step still under way now comes back to nothing
    QObject::disconnect(follow_);
    what_ = QStringLiteral("正在取消");
    percent_ = -1;
    emit progressChanged();
    takeBack([self = QPointer<Job>(this)] {
        if (self)
            self->end(false);
    });
}

void Job::beginStep(const QString& what, int from, int to, int percentOfStep) {
    QObject::disconnect(follow_);
    what_ = what;
    stepFrom_ = from;
    stepTo_ = to;
    setStepPercent(percentOfStep);
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
    QObject::disconnect(follow_);
    emit finished(completed);
}
