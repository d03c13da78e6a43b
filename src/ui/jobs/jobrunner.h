#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

class Job;
class QPushButton;
class QWidget;

// Runs a window's commands, one job at a time. While one works, the buttons are off, the keyboard
// focus waits on the window itself (it comes back to where it was afterwards), the watched boxes
// take no keystroke, click or drop (Esc in one cancels the job), and a job still at work after
// the delay shows its progress at the box being worked on; a key that would type something
// shows it at once, with a beep.
class JobRunner : public QObject {
    Q_OBJECT
public:
    JobRunner(QWidget& window, int progressDelayMs);

    void setButtons(QList<QPushButton*> buttons) { buttons_ = std::move(buttons); }
    // Keeps input from the widget and its viewport while a job works.
    void watch(QWidget* box);

    // Runs the job, a child of the window from now on; `then` is told whether it completed,
    // before the buttons come back.
    void start(Job* job, std::function<void(bool)> then = {});
    // True while a job is still at work.
    bool busy() const { return job_ != nullptr; }
    // Cancels the job at work, if any.
    void cancel();

signals:
    // A job has finished its work and the buttons are back.
    void idle();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showProgress();
    void refuseKey();

    QWidget& window_;
    QList<QPushButton*> buttons_;
    Job* job_ = nullptr;
    QPointer<QWidget> focusBefore_; // where the focus was when the job started
    QTimer progressDelay_;
};
