#pragma once

// How the encoding of a text's bytes is recognised; shared by DetectEncoding and DecodeText.
#include "files/textcodec.h"

#include <QByteArrayView>

#include <optional>

namespace detect {

// Inputs from this many bytes on (texts from half as many UTF-16 units on) are counted, checked,
// decoded and encoded in two pieces on two threads.
constexpr qsizetype kTwoPiecesFrom = qsizetype(4) * 1024 * 1024;
// UTF-16 without a byte-order mark is recognised from this many first bytes.
constexpr qsizetype kUtf16SampleBytes = qsizetype(64) * 1024;

// The encoding whose byte-order mark the bytes start with.
std::optional<TextEncoding> MarkedEncoding(QByteArrayView bytes);

// UTF-16 without a mark, when one byte order explains the whole sample (its first 64 KiB):
// - its line breaks sit at that order's parity: CR and LF units in the other order are at most
//   one for every 16 in this one;
// - most units are plausible text: at most one in 16 is a control character other than tab,
//   LF, VT, FF and CR (U+0000 among them), a private-use or unassigned code point, or half of a
//   surrogate pair without the other half;
// - and the sample shows it plainly, either as Latin text (at least half of the units are
//   U+0001..U+00FF, and more than 8 times as many as in the other order), or by its lines:
//   at least one CR or LF unit, and the CR and LF bytes that are no line break (the low byte of
//   a unit above U+00FF, the high byte of a unit in U+0A00..U+0AFF or U+0D00..U+0DFF with no
//   neighbour of its block, the odd last byte of an input within the sample) are at most half as
//   many as the line breaks and the other control-valued low bytes (0x01..0x1F but tab, LF, VT,
//   FF, CR and ESC) of units above U+00FF together.
//   Real UTF-16 text has such bytes by chance, about as often as CR and LF inside characters;
//   text of bytes read in pairs has hardly any, and each of its lines ends in a CR or LF that
//   only a NUL right beside it, at the right parity, turns into a line-break unit.
std::optional<TextEncoding> Utf16WithoutMark(QByteArrayView bytes);

struct Utf8Counts {
    qsizetype multiByte = 0; // characters of two to four bytes
    qsizetype strays = 0;    // sequences that are no UTF-8 (overlong, cut off...), each cut as
                             // ICU and Unicode cut them (its longest start of a character)
    qsizetype units = 0;     // UTF-16 units of the characters (all of the text when no stray)
};

// Large inputs are counted in two pieces at once, cut where a decoding may be cut.
struct Utf8Scan {
    Utf8Counts first;
    Utf8Counts second;
    qsizetype split = 0; // where the second piece starts (the size when there is one piece)

    qsizetype multiByte() const { return first.multiByte + second.multiByte; }
    qsizetype strays() const { return first.strays + second.strays; }
};

Utf8Scan ScanUtf8(QByteArrayView bytes);

// UTF-8 against GB18030, each by the invalid sequences it finds in the whole of the bytes.
// Random bytes from 0x80 on seldom form UTF-8 (GBK Chinese read as UTF-8 shows about one
// multi-byte character for every four invalid sequences), while almost any two of them form a
// GB18030 character. An invalid sequence that GB18030 finds too is noise to both readings (or
// UTF-8 text falling out of step with GB18030's pairs, which speaks for UTF-8), so only UTF-8's
// invalid sequences beyond GB18030's count against UTF-8: the bytes are UTF-8 when they hold
// multi-byte characters, at least 8 for each of those.
// Without GB18030's count: true when UTF-8 wins whatever GB18030 makes of the bytes.
bool Utf8WinsOutright(const Utf8Scan& scan);
// True when UTF-8 wins against GB18030's invalid sequences.
bool Utf8Wins(const Utf8Scan& scan, qsizetype gb18030Strays);

// The sequences the encoding cannot read (escaped when decoding), found without keeping the text.
qsizetype StraySequences(TextEncoding encoding, QByteArrayView bytes);
// True when the encoding reads every byte, found without keeping the text.
bool ReadsCleanly(TextEncoding encoding, QByteArrayView bytes);

} // namespace detect
