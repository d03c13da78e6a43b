#pragma once

// Folder engine/window: what only the window uses. Files imported into a box (importfiles), and
// the large-file mode, which shows a preview of a file too large for a box and filters and saves
// the whole file (largefile, largeresult).

#include "engine/engine.h"
#include "files/posixfile.h"
#include "files/textcodec.h"

#include <QFile>
#include <QString>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

// What the window shows of a file too large for a text box, and the work it does on the whole
// file instead: filtering into a temporary file, saving and copying that result.

// How much of a large file a box shows.
constexpr qint64 kPreviewLines = 10000;
// Lines of the preview are cut after this many characters.
constexpr qsizetype kPreviewLineChars = 2000;

struct TextSummary {
    qint64 lines = 0;
    qint64 nonBlankLines = 0;    // lines holding something besides U+0020 spaces
    QString preview;             // the first kPreviewLines lines, joined by CR LF, long lines cut
    bool previewComplete = true; // false when lines were left out or cut
};

// Counts the lines of a whole file and reads its beginning into *into. A file that changes while it
// is read fails (the message is the reason alone).
Outcome SummarizeFile(QFile& file, TextEncoding encoding, const EngineProgress& progress,
                      TextSummary* into);

// A file opened in the large-file mode; or several, read as one text in their order.
struct LargeFile {
    QStringList paths;
    TextEncoding encoding = TextEncoding::Gbk; // the first file's
    TextSummary summary;                       // of them all
    // What each file was when it was read, to tell whether it changed since.
    std::vector<FileStatus> opened;
    // For a pasted text (see OpenLargeText): the nameless temporary file that holds it, which
    // paths names through the system's folder of open handles. It goes with its last user.
    std::shared_ptr<QFile> pasted;
};

// Nothing when the file at `path` is still what it was when it was opened; otherwise a message
// that says it changed (in Chinese, naming the file), after which nothing made of it may be used.
QString ChangedSince(const QString& path, const FileStatus& opened);
// The same for each of several files, with what each was when it was opened.
QString ChangedSince(const QStringList& paths, const std::vector<FileStatus>& opened);

// Opens a file for the large-file mode into *into: its encoding from its beginning, its whole
// count, its beginning to show. A failure names the file.
Outcome OpenLargeFile(const QString& path, const EngineProgress& progress, LargeFile* into);
// The same for several files as one text: their counts added, the beginning of the first ones.
Outcome OpenLargeFiles(const QStringList& paths, const EngineProgress& progress, LargeFile* into);

// The texts of some lines of the files, read again as the engine reads them: each file in the
// encoding the settings force or, where they force none, in the one its beginning shows. `places`
// are (input from 0, line number from 1), sorted; *into gets their texts in that order (empty
// for a line past the end). Each file is read once through its beginning up to the last line
// asked for, and nothing of it is held but those lines. A failure names the file.
Outcome ReadLinesAgain(const QStringList& paths, const EngineSettings& settings,
                       const std::vector<std::pair<int, qint64>>& places,
                       const EngineProgress& progress, std::vector<QString>* into);

// What a text held in memory would be as a file in UTF-8: its size and its line breaks (CR LF,
// a lone LF or a lone CR each count one). Fast enough for the window's thread at a million lines.
struct TextMeasure {
    qint64 utf8Bytes = 0;
    qint64 lineBreaks = 0;
};
TextMeasure MeasureText(QStringView text);

// Writes a text given in parts (such as a box's text around a paste, and the pasted text) into
// a nameless temporary file in `tempDir`, readable by its owner only, in UTF-8 with its line
// breaks as they are, and opens that file in the large-file mode into *into (LargeFile::pasted
// holds it). A failure says why; nothing is left on the disk whatever happens to the program.
// Where the system cannot name an open file by a path, fails without trying.
Outcome OpenLargeText(const std::vector<QStringView>& parts, const QString& tempDir,
                      const EngineProgress& progress, LargeFile* into);

// The result of filtering a large file, held in a temporary file that vanishes with it.
struct LargeResult {
    std::unique_ptr<QFile> file;
    TextEncoding encoding = TextEncoding::Gbk;
    TextSummary summary;
    EngineResult result;
    QStringList inputPaths;              // the files it was made from
    std::vector<FileStatus> inputOpened; // what they were then
    std::shared_ptr<QFile> pastedInput;  // the pasted text it was made from, kept for the save
};

// Filters a large file into a temporary file, into *into. A file changed since it was opened is a
// failure.
Outcome FilterLargeFile(const LargeFile& input, const EngineSettings& settings,
                        const EngineProgress& progress, LargeResult* into);

// Writes the result to `path` through the safe save. Whether the files it was made from are still
// what they were is the caller's to ask (ChangedSince), before it is saved.
Outcome SaveLargeResult(QFile& result, const QString& path, const EngineProgress& progress);

// Writes the result to `path` in another encoding (byte-order mark included) with every line
// ended by `lineBreak`. A line GBK cannot hold is written as GB18030 unless `exact`; otherwise a
// character the encoding lacks, or an undecodable byte for UTF-16, fails the save and nothing is
// written.
Outcome SaveLargeResultAs(QFile& result, TextEncoding from, const QString& path, TextEncoding to,
                          LineBreak lineBreak, bool exact, const EngineProgress& progress);

// The whole result as text for the clipboard, when it has at most `maxBytes` bytes: lines end
// with CR LF as in a box, and undecodable bytes become U+FFFD, as the clipboard cannot carry them.
std::optional<QString> ResultText(QFile& result, TextEncoding encoding, qint64 maxBytes);
