#pragma once

// Where the command line writes: standard output, or a file through the safe save.

#include "engine/engine.h"
#include "files/safefile.h"

#include <QIODevice>

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
