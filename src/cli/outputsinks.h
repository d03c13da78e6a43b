#pragma once

// Where the command line writes: standard output, or a file through the safe save; and the
// result's and the removed lines' destinations together, put in place or given up as one.

#include "cli/runfiles.h"
#include "engine/engine.h"
#include "files/safefile.h"

#include <QIODevice>

#include <memory>

// Writes the result to a device (standard output), counting what it has written.
class DeviceSink final : public OutputSink {
public:
    explicit DeviceSink(QIODevice& device) : device_(device) {}
    bool write(const char* data, qint64 size) override;
    QString error() const override { return error_; }
    qint64 written() const { return written_; }

private:
    QIODevice& device_;
    QString error_;
    qint64 written_ = 0;
};

// Writes the result into a file through the safe save, which says why a write failed.
class SaveSink final : public OutputSink {
public:
    explicit SaveSink(SafeSaveFile& file) : file_(file) {}
    bool write(const char* data, qint64 size) override {
        return file_.device()->write(data, size) == size;
    }
    QString error() const override { return file_.error(); }

private:
    SafeSaveFile& file_;
};

// The destinations of a run: the result's, and the removed lines' when they are asked for.
// Nothing is put in place before commit(); the files are given up when it is not called.
class Outputs {
public:
    // Opens what the plan says; false with error() set and nothing left behind.
    bool open(const FilesPlan& plan, QIODevice& standardOutput);
    OutputSink& result() { return *resultSink_; }
    OutputSink* removed() { return removedSink_.get(); }
    // Gives every file up, and says how the work ended without success: what failed (a write
    // that failed once its partial file is gone, so that a full disk shows the room there is),
    // or that it was interrupted; and what went to standard output and cannot be taken back.
    QString failure(const Outcome& outcome);
    // Puts the files in place, the removed lines first: a file the result replaces (perhaps an
    // input) is replaced only once they are safe. False with error() set.
    bool commit();
    QString error() const { return error_; }

private:
    std::unique_ptr<SafeSaveFile> resultFile_;
    std::unique_ptr<SafeSaveFile> removedFile_;
    std::unique_ptr<OutputSink> resultSink_;
    std::unique_ptr<OutputSink> removedSink_;
    DeviceSink* standard_ = nullptr; // the one that goes to standard output
    bool resultIsStandard_ = false;
    QString resultPath_;
    QString removedPath_;
    QString error_;
};
