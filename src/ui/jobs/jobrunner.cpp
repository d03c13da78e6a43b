#include "ui/jobs/jobrunner.h"

#include "ui/jobs/job.h"
#include "ui/textbox/textbox.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>

JobRunner::JobRunner(QWidget& window, int progressDelayMs) : QObject(&window), window_(window) {
    // The window holds the keyboard while a job works.
    window_.installEventFilter(this);
    progressDelay_.setSingleShot(true);
    progressDelay_.setInterval(progressDelayMs);
    connect(&progressDelay_, &QTimer::timeout, this, &JobRunner::showProgress);
}

void JobRunner::watch(QWidget* box) {
    box->installEventFilter(this);
    if (auto* area = qobject_cast<QAbstractScrollArea*>(box))
        area->viewport()->installEventFilter(this);
}

void JobRunner::start(Job* job, std::function<void(bool)> then) {
    job->setParent(&window_);
    job_ = job;
    // The window itself holds the keyboard while the job works: no keystroke reaches a box, and
    // the focus goes back where it was afterwards.
    focusBefore_ = QApplication::focusWidget();
    if (focusBefore_ && focusBefore_->window() != &window_)
        focusBefore_ = nullptr;
    window_.setFocus(Qt::OtherFocusReason);
    for (QPushButton* button : buttons_)
        button->setEnabled(false);
    window_.setCursor(Qt::BusyCursor);
    connect(job, &Job::progressChanged, this, [this, job] {
        if (job_ == job && job->where() && job->where()->isProgressShown())
            showProgress();
    });
    connect(job, &Job::finished, this, [this, job, then = std::move(then)](bool completed) {
        if (job->where())
            job->where()->hideProgress();
        job->deleteLater();
        if (job_ != job)
            return;
        job_ = nullptr;
        if (then)
            then(completed);
        progressDelay_.stop();
        for (QPushButton* button : buttons_)
            button->setEnabled(true);
        window_.unsetCursor();
        if (focusBefore_ && focusBefore_->isEnabled() && focusBefore_->isVisible())
            focusBefore_->setFocus(Qt::OtherFocusReason);
        focusBefore_ = nullptr;
        emit idle();
    });
    progressDelay_.start();
    job->start();
}

void JobRunner::showProgress() {
    if (!job_ || !job_->where())
        return;
    job_->where()->showProgress(job_->percent(), job_->what(), job_->canCancel(), job_->why());
}

void JobRunner::cancel() {
    if (job_)
        job_->cancel();
}

// A key that would have typed something, pressed while a job works, is not typed anywhere; the
// progress with its cancel shows at once (rather than after the delay), with a beep, so that
// the keystroke is not lost without a word.
void JobRunner::refuseKey() {
    progressDelay_.stop();
    showProgress();
    QApplication::beep();
}

// While a job works the boxes take no keystroke, click or drop; nor does the window, which holds
// the keyboard meanwhile, take a key that types.
bool JobRunner::eventFilter(QObject* watched, QEvent* event) {
    if (!busy())
        return false;
    if (watched == &window_) {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape || key->text().isEmpty())
            return false;
        refuseKey();
        return true;
    }
    switch (event->type()) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
            cancel();
        else if (!static_cast<QKeyEvent*>(event)->text().isEmpty())
            refuseKey();
        return true;
    case QEvent::FocusIn:
        QTimer::singleShot(0, this, [this] {
            if (busy())
                window_.setFocus(Qt::OtherFocusReason);
        });
        return false;
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::InputMethod:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}
