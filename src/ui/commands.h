#pragma once

#include "files/textcodec.h"
#include "ui/job.h"

class DesktopServices;
class TextBox;

// The window's commands as jobs, each working on the boxes it is given and reporting to the
// user through DesktopServices. A cancelled job leaves the boxes and the files as they were.

// Filters the input box into the output box; with `refuseEmpty`, an input of spaces only is
// refused with a message and the output box is left alone.
class FilterJob final : public Job {
    Q_OBJECT
public:
    FilterJob(TextBox& input, TextBox& output, DesktopServices& services, bool refuseEmpty,
              QObject* parent = nullptr);

protected:
    void run() override;
    void takeBack(const std::function<void()>& done) override;

private:
    TextBox& input_;
    TextBox& output_;
    DesktopServices& services_;
    bool refuseEmpty_;
    bool filling_ = false;
};

// Reads a file into the input box. Ctrl+Z in the box can bring back the text it replaced.
class ImportJob final : public Job {
    Q_OBJECT
public:
    ImportJob(TextBox& input, QString path, DesktopServices& services, QObject* parent = nullptr);

    // The encoding the file was read in, once the job has completed with the file in the box.
    std::optional<TextEncoding> encoding() const { return encoding_; }

protected:
    void run() override;
    void takeBack(const std::function<void()>& done) override;

private:
    TextBox& input_;
    QString path_;
    DesktopServices& services_;
    bool filling_ = false;
    std::optional<TextEncoding> encoding_;
};

// Writes the output box to a file in the given encoding. It can be cancelled until the writing
// begins; a cancelled save writes nothing.
class SaveJob final : public Job {
    Q_OBJECT
public:
    SaveJob(TextBox& output, QString path, TextEncoding encoding, DesktopServices& services,
            QObject* parent = nullptr);

protected:
    void run() override;

private:
    TextBox& output_;
    QString path_;
    TextEncoding encoding_;
    DesktopServices& services_;
};

// Puts the output box on the clipboard, without the spaces at its two ends.
class CopyJob final : public Job {
    Q_OBJECT
public:
    CopyJob(TextBox& output, DesktopServices& services, QObject* parent = nullptr);

protected:
    void run() override;

private:
    TextBox& output_;
    DesktopServices& services_;
};
