#pragma once

#include <QString>

#include <utility>

// How a piece of work that can fail or be cancelled ended: done; cancelled (by the user, or by
// whoever asked for it: there is nothing to tell); or failed, with a message in Chinese that names
// what failed and why. The one shape every layer reports in, from reading a file to a job of the
// window.
class Outcome {
public:
    enum class Kind { Done, Cancelled, Failed };

    Outcome() = default; // done
    static Outcome done() { return {}; }
    static Outcome cancelled() { return {Kind::Cancelled, {}}; }
    static Outcome failed(QString message) { return {Kind::Failed, std::move(message)}; }

    Kind kind() const { return kind_; }
    bool ok() const { return kind_ == Kind::Done; }
    bool wasCancelled() const { return kind_ == Kind::Cancelled; }
    bool hasFailed() const { return kind_ == Kind::Failed; }
    // What went wrong; empty unless it failed.
    const QString& message() const { return message_; }

private:
    Outcome(Kind kind, QString message) : kind_(kind), message_(std::move(message)) {}

    Kind kind_ = Kind::Done;
    QString message_;
};
