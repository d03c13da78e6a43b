#pragma once

#include "engine/window/largefile.h"
#include "platform/desktopservices.h"
#include "ui/jobs/job.h"
#include "ui/textbox/textbox.h"

#include <memory>

// Takes a large text pasted into the input box. Too large for the box, into the large-file mode:
// the box's text as the paste makes it is written into a temporary file, which is opened as a
// large file, and the box shows its beginning under a notice that says the paste was too large.
// Otherwise the box's text as the paste makes it is prepared away from the window's thread and
// filled in a slice at a time, with progress and 取消 as an import has.
// Ctrl+Z in the box can bring back the text it replaced; a cancel leaves the box as it was.
class PasteJob final : public Job {
    Q_OBJECT
public:
    enum class Into { LargeFile, Box };
    PasteJob(TextBox& input, QString pasted, TextBox::PastePlace place, QString tempDir,
             DesktopServices& services, Into into = Into::LargeFile, QObject* parent = nullptr);

    // Once completed: the large file whose beginning the box shows.
    std::shared_ptr<const LargeFile> largeFile() const { return large_; }

protected:
    void run() override;

private:
    void write(const QString& box);
    void fill(const QString& box);

    TextBox& input_;
    QString pasted_;
    TextBox::PastePlace place_;
    QString tempDir_;
    DesktopServices& services_;
    Into into_;
    std::shared_ptr<const LargeFile> large_;
};
