#include "ui/textbox/repeatmarks.h"

#include "core/grouped.h"
#include "ui/textbox/textbox.h"
#include "ui/window/appearance.h"

#include <QKeyEvent>
#include <QShortcut>

namespace {
// Texts above this size are looked through away from the window's thread, as the filter does.
constexpr qsizetype kBackgroundChars = qsizetype(256) * 1024;

struct Found {
    Outcome outcome;
    std::vector<int> blocks;
    std::vector<int> near;
};
} // namespace

QString MarksNote(qsizetype count, qsizetype at, qsizetype near) {
    if (count == 0)
        return QStringLiteral("没有过滤时会删除的行");
    const QString keys = QStringLiteral("（F3 下一处，Shift+F3 上一处）");
    if (at < 0 && near > 0)
        return QStringLiteral("已标出 %1 行：过滤时会删除（相同 %2 行，相似 %3 行）")
                   .arg(Grouped(count), Grouped(count - near), Grouped(near)) +
               keys;
    if (at < 0)
        return QStringLiteral("已标出 %1 行：过滤时会删除").arg(Grouped(count)) + keys;
    return QStringLiteral("第 %1 处，共 %2 处").arg(Grouped(at + 1), Grouped(count)) + keys;
}

MarkJob::MarkJob(TextBox& input, EngineSettings settings, QObject* parent)
    : Job(&input, parent), input_(input), settings_(std::move(settings)) {}

void MarkJob::run() {
    beginStep(QStringLiteral("正在读取输入框"), 0, 10);
    followBox(&input_);
    input_.withText(guarded([this](const QString& text) {
        revision_ = input_.revision();
        beginStep(QStringLiteral("正在标出重复"), 10, 100);
        runWork<std::shared_ptr<Found>>(
            text.size() > kBackgroundChars,
            [text, settings = settings_](const WorkProgress& progress) {
                auto found = std::make_shared<Found>();
                EngineSettings s = settings;
                // The box's lines are its blocks; a text has one input.
                s.removedOut = [&found](const RemovedLine& line) {
                    found->blocks.push_back(int(line.line - 1));
                    if (line.why == RemovedLine::Why::Repeat && line.similarity < 100)
                        found->near.push_back(int(line.line - 1));
                    return true;
                };
                found->outcome = FilterText(text, s, progress).result.outcome;
                return found;
            },
            [this](const std::shared_ptr<Found>& found) {
                found_ = found->outcome.ok();
                if (found_) {
                    blocks_ = std::move(found->blocks);
                    near_ = std::move(found->near);
                }
                complete();
            });
    }));
}

RepeatMarker::RepeatMarker(QWidget& window, TextBox& box, StartJob start,
                           std::function<bool()> idle)
    : QObject(&window), box_(box), start_(std::move(start)), idle_(std::move(idle)) {
    auto* next = new QShortcut(QKeySequence(Qt::Key_F3), &window);
    connect(next, &QShortcut::activated, this, [this] { move(true); });
    auto* previous = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), &window);
    connect(previous, &QShortcut::activated, this, [this] { move(false); });
    connect(&box_, &TextBox::marksChanged, this, &RepeatMarker::marksChanged);
    box_.installEventFilter(this);
}

void RepeatMarker::mark(EngineSettings settings) {
    auto* job = new MarkJob(box_, std::move(settings));
    marking_ = true;
    start_(job, [this, job](bool completed) {
        marking_ = false;
        if (completed && job->found() && job->revision() == box_.revision())
            show(job->blocks(), job->nearBlocks());
        else
            moveWhenMarked_.reset();
    });
}

void RepeatMarker::show(const std::vector<int>& blocks, const std::vector<int>& near) {
    // Marks made again stand in for the same note as before.
    const bool own = !ownNote_.isEmpty() && box_.note() == ownNote_;
    const QString before = own ? noteBefore_ : box_.note();
    ownNote_.clear(); // the old marks go quietly
    revision_ = box_.revision();
    box_.setMarks(blocks, MarkColor(box_.palette()), near, NearMarkColor(box_.palette()));
    noteBefore_ = before;
    setOwnNote(MarksNote(qsizetype(blocks.size()), -1, qsizetype(near.size())));
    if (const std::optional<bool> forward = std::exchange(moveWhenMarked_, std::nullopt))
        move(*forward);
}

void RepeatMarker::clear() {
    box_.clearMarks();
    if (!ownNote_.isEmpty() && box_.note() == ownNote_)
        setOwnNote(QString());
}

void RepeatMarker::move(bool forward) {
    if (!idle_())
        return;
    if (box_.marks().empty()) {
        // The marks of this very text that found nothing: nothing to go to.
        if (!ownNote_.isEmpty() && box_.note() == ownNote_ && revision_ == box_.revision())
            return;
        moveWhenMarked_ = forward;
        emit markRequested();
        if (!marking_)
            moveWhenMarked_.reset();
        return;
    }
    const qsizetype at = box_.goToMark(forward);
    box_.setFocus(Qt::ShortcutFocusReason);
    setOwnNote(MarksNote(qsizetype(box_.marks().size()), at));
}

// The marks went: at an edit, the note goes with them (the window says what the text is now);
// otherwise the note they stood in for comes back.
void RepeatMarker::marksChanged() {
    if (!box_.marks().empty() || ownNote_.isEmpty() || box_.note() != ownNote_)
        return;
    const bool edited = revision_ != box_.revision();
    const QString before = std::exchange(noteBefore_, QString());
    ownNote_.clear();
    box_.setNote(edited ? QString() : before);
}

void RepeatMarker::setOwnNote(const QString& note) {
    if (note.isEmpty()) {
        ownNote_.clear();
        box_.setNote(std::exchange(noteBefore_, QString()));
        return;
    }
    ownNote_ = note;
    box_.setNote(note);
}

// Esc in the box takes the marks away, while no command works (Esc then cancels it).
bool RepeatMarker::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &box_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && idle_() &&
        (!box_.marks().empty() || (!ownNote_.isEmpty() && box_.note() == ownNote_))) {
        clear();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
