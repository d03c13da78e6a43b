// Runs the window's own way with a file, without widgets: import (decoding), the filter of a
// box's text, and the save (encoding, the file's line break, the safe write). For files of any
// size and every option, trennix-cli is the program to use; this measures the window's steps.
// Usage: filter_file IN OUT
#include "core/lines.h"
#include "engine/engine.h"
#include "files/textfile.h"
#include "textgen.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s IN OUT\n", argv[0]);
        return 2;
    }
    ImportResult imported;
    QString filtered;
    SaveResult saved;
    const double importMs =
        TimeMs([&] { imported = ImportTextFile(QString::fromLocal8Bit(argv[1])); });
    if (!imported.outcome.ok()) {
        std::fprintf(stderr, "%s\n", qPrintable(imported.outcome.message()));
        return 1;
    }
    QString boxText;
    const double normalizeMs =
        TimeMs([&] { boxText = NormalizeLineBreaks(imported.decoded.text); });
    const double filterMs = TimeMs([&] { filtered = FilterDuplicateLines(boxText); });
    const double saveMs = TimeMs([&] {
        saved = SaveTextFile(QString::fromLocal8Bit(argv[2]), filtered, imported.decoded.encoding,
                             imported.decoded.lineBreak);
    });
    if (!saved.outcome.ok()) {
        std::fprintf(stderr, "%s\n", qPrintable(saved.outcome.message()));
        return 1;
    }
    std::fprintf(
        stderr,
        "import %.0f ms, line breaks %.0f ms, filter %.0f ms, save %.0f ms, total %.0f ms, "
        "peak %.0f MiB\n",
        importMs, normalizeMs, filterMs, saveMs, importMs + normalizeMs + filterMs + saveMs,
        PeakMemoryMiB());
    return 0;
}
