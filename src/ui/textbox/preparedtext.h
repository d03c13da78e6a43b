#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// What a TextBox does to a text apart from showing it: the line breaks made CR LF, the preview of
// lines too long to show, the slices a large text is put in by, and the counts that decide
// between them. It needs Qt Core only, so that all of it can run on a worker thread.

// A text made ready for a TextBox: its line breaks made CR LF and, for a text with lines too long
// to show, the preview. Made by PrepareText(), on any thread.
struct PreparedText {
    // Texts of at most this many lines and characters are set and read at once.
    static constexpr qsizetype kImmediateLines = 10000;
    static constexpr qsizetype kImmediateChars = qsizetype(512) * 1024;
    // Lines up to this length are shown and edited as they are. Laying out one line costs Qt time
    // in proportion to its length on every edit, scroll or resize that shows it.
    static constexpr qsizetype kLongLine = 10000;
    // How much of a longer line a preview shows.
    static constexpr qsizetype kShownLineChars = 1000;
    // Texts of more lines than this do not wrap: laying out the lines again for a new width
    // costs Qt time for every line, and up to this many it stays short of a visible pause.
    static constexpr qsizetype kWrapLines = 20000;
    // Lines longer than this wrap anywhere: finding word boundaries in one costs Qt far more time.
    static constexpr qsizetype kWrapAnywhereLine = 1000;

    QString text;                          // the text as the box holds it
    QString shown;                         // what the box shows (long lines cut)
    std::optional<qsizetype> previewCount; // the text's non-blank lines, for a preview
    QString notice;                        // why the box is a preview
    qsizetype lines = 0;                   // lines shown
    bool wrapAnywhere = false;             // a shown line is long enough to wrap anywhere
    bool noWrap = false;                   // too many lines to wrap (see kWrapLines)
    bool immediate = true;                 // small enough to set at once
    bool external = false;                 // a preview of a content held elsewhere
};

// Everything a TextBox does to a text before it takes it; safe on any thread. Lines wrap at word
// boundaries, and anywhere in a word too long for the box; a text with a long line wraps anywhere
// instead, which is as readable there and much faster.
PreparedText PrepareText(const QString& text);

// The text with every lone surrogate (such as an undecodable byte carried in the text) replaced
// by U+FFFD, as it can be shown and put on the clipboard.
QString WithReplacementCharacters(const QString& text);

// The text as a preview shows it: each line longer than PreparedText::kLongLine cut after its
// first PreparedText::kShownLineChars characters (never inside a surrogate pair) and ended by a
// marker giving its length.
QString CutLongLines(const QString& text);

// Appends document text, whose blocks end in U+2029, as box text, whose lines end in CR LF.
void AppendAsBoxText(QString& out, QStringView raw);

// True when the text (line breaks CR LF) has more than `lines` lines; stops counting as soon as it
// knows.
bool HasMoreLinesThan(QStringView text, qsizetype lines);

// The number of lines of the text (line breaks CR LF) longer than `length`.
qsizetype LinesLongerThan(QStringView text, qsizetype length);

// A large text is put into a box a slice at a time; a slice takes the event loop some tens of
// milliseconds.
constexpr int kLinesPerSlice = 5000;
constexpr qsizetype kCharsPerSlice = qsizetype(256) * 1024;

// Where the slice of the text (line breaks CR LF) that starts at `from` ends: after
// kLinesPerSlice lines, or at the end of the line that reaches kCharsPerSlice characters.
qsizetype SliceEnd(QStringView text, qsizetype from);
