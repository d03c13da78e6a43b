#pragma once

// Folder ui/jobs: the work the window's commands start. A job with progress and cancel (job),
// its runner on a worker thread (jobrunner), and the jobs themselves: filter, import, save,
// statistic (commands).

#include "engine/engine.h"
#include "engine/window/importfiles.h"
#include "engine/window/largefile.h"
#include "files/fileformat.h"
#include "files/textcodec.h"
#include "platform/desktopservices.h"
#include "ui/jobs/job.h"
#include "ui/statistic/repeatsexport.h"

#include <memory>
#include <optional>

class TextBox;

// The window's commands as jobs, each working on the boxes it is given and reporting to the
// user through DesktopServices. A cancelled job leaves the boxes and the files as they were.

// What a save writes: the format chosen in the save dialog, with `same` for 与原文件相同. A chosen
// encoding is `exact` (written as it is or not at all); `same` keeps its rules, so GBK becomes
// GB18030 where GBK lacks a character. UTF-16LE is written with its byte-order mark.
struct SaveAs {
    FileFormat format;
    bool exact = false;
};
SaveAs ResolveSaveFormat(const SaveFormat& chosen, const FileFormat& same);

// Filters the input box into the output box with the given settings; with `refuseEmpty`, an
// input of spaces only is refused with a message and the output box is left alone.
class FilterJob final : public Job {
    Q_OBJECT
public:
    FilterJob(TextBox& input, TextBox& output, DesktopServices& services, bool refuseEmpty,
              EngineSettings settings, QObject* parent = nullptr);

    // Once completed with the result in the output box (not refused): true, the text that was
    // filtered, and what the filter counted.
    bool filtered() const { return filtered_; }
    const QString& input() const { return inputText_; }
    const EngineStats& stats() const { return stats_; }

protected:
    void run() override;

private:
    TextBox& input_;
    TextBox& output_;
    DesktopServices& services_;
    bool refuseEmpty_;
    EngineSettings settings_;
    bool filtered_ = false;
    QString inputText_;
    EngineStats stats_;
};

// Reads a file, or several as one text in their order, into the input box (see ReadFiles). Ctrl+Z
// in the box can bring back the text it replaced. Files with bytes their encoding cannot read go
// in only when the user says so. Files above the bounds are opened in the large-file mode
// instead: the box shows their beginning.
class ImportJob final : public Job {
    Q_OBJECT
public:
    ImportJob(TextBox& input, QStringList paths, DesktopServices& services, LargeFileBounds bounds,
              QObject* parent = nullptr);

    // Once the job has completed with the files in the box: the encoding the first was read in
    // and its most common line break, or the large file it shows the beginning of.
    std::optional<TextEncoding> encoding() const { return encoding_; }
    std::optional<LineBreak> lineBreak() const { return lineBreak_; }
    std::shared_ptr<const LargeFile> largeFile() const { return large_; }
    // Once completed: whether the files held no text, so that the box was emptied.
    bool emptied() const { return empty_; }

protected:
    void run() override;

private:
    TextBox& input_;
    QStringList paths_;
    DesktopServices& services_;
    LargeFileBounds bounds_;
    bool empty_ = false;
    std::optional<TextEncoding> encoding_;
    std::optional<LineBreak> lineBreak_;
    std::shared_ptr<const LargeFile> large_;
};

// Writes the output box to a file in the given format, each line ended by its line break (see
// SaveTextFile for `as.exact`). It can be cancelled until the writing begins; a cancelled save
// writes nothing.
class SaveJob final : public Job {
    Q_OBJECT
public:
    SaveJob(TextBox& output, QString path, SaveAs as, DesktopServices& services,
            QObject* parent = nullptr);

protected:
    void run() override;

private:
    TextBox& output_;
    QString path_;
    SaveAs as_;
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

// Filters a large file into a temporary file and shows the result's beginning in the output
// box.
class LargeFilterJob final : public Job {
    Q_OBJECT
public:
    LargeFilterJob(std::shared_ptr<const LargeFile> input, TextBox& output,
                   DesktopServices& services, EngineSettings settings, QObject* parent = nullptr);

    // Once completed: the result, whose beginning the output box shows.
    std::shared_ptr<LargeResult> result() const { return result_; }

protected:
    void run() override;

private:
    std::shared_ptr<const LargeFile> input_;
    TextBox& output_;
    DesktopServices& services_;
    EngineSettings settings_;
    std::shared_ptr<LargeResult> result_;
};

// Writes a large result to a file through the safe save: as it is, or, in another format,
// converted line by line. A cancel writes nothing.
class LargeSaveJob final : public Job {
    Q_OBJECT
public:
    LargeSaveJob(std::shared_ptr<LargeResult> result, TextBox* where, QString path, SaveAs as,
                 DesktopServices& services, QObject* parent = nullptr);

protected:
    void run() override;

private:
    std::shared_ptr<LargeResult> result_;
    QString path_;
    SaveAs as_;
    DesktopServices& services_;
};

// Puts a large result on the clipboard when it has at most `maxBytes` bytes, without the spaces
// at its two ends; a larger one is refused with a message that suggests saving it.
class LargeCopyJob final : public Job {
    Q_OBJECT
public:
    LargeCopyJob(std::shared_ptr<LargeResult> result, TextBox* where, qint64 maxBytes,
                 DesktopServices& services, QObject* parent = nullptr);

protected:
    void run() override;

private:
    std::shared_ptr<LargeResult> result_;
    qint64 maxBytes_;
    DesktopServices& services_;
};

// Counts the repeated lines of a text or of a large file with the given settings, for the
// statistic of a filter; the list keeps settings.repeatsLimit of them.
class RepeatsJob final : public Job {
    Q_OBJECT
public:
    using Source = FilterSource;
    RepeatsJob(Source source, TextBox* where, DesktopServices& services, EngineSettings settings,
               QObject* parent = nullptr);

    // Once completed without a failure: the counts and the most frequent repeated lines;
    // otherwise null.
    std::shared_ptr<const Statistic> statistic() const { return statistic_; }

protected:
    void run() override;

private:
    Source source_;
    DesktopServices& services_;
    EngineSettings settings_;
    std::shared_ptr<const Statistic> statistic_;
};
