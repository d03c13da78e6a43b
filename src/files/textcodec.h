#pragma once

#include "files/linebreaks.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

// The encodings a text file is read and written in.
enum class TextEncoding {
    Gbk,        // code page 936, the default
    Gb18030,    // GBK's superset that holds every Unicode character
    Utf8,       // without a byte-order mark
    Utf8Bom,    // with EF BB BF
    Utf16Le,    // without a byte-order mark, recognised from its bytes
    Utf16Be,    // without a byte-order mark, recognised from its bytes
    Utf16LeBom, // with FF FE
    Utf16BeBom, // with FE FF
};

// Bytes that the file's encoding cannot read travel inside a text as lone low surrogates: the
// byte b becomes U+DC00 + b. They are shown as U+FFFD, compare like any other character, and are
// written back as the very byte they stand for.
constexpr char16_t kEscapedByteBase = 0xDC00;
// True when text[i] stands for an undecodable byte (a U+DC00..U+DCFF not preceded by a high
// surrogate).
bool IsEscapedByte(QStringView text, qsizetype i);

// 2 for the UTF-16 encodings, 1 for the others.
int CodeUnitBytes(TextEncoding encoding);
// The byte-order mark the encoding writes (empty when none).
QByteArrayView ByteOrderMark(TextEncoding encoding);
// The same encoding without its byte-order mark (Utf8Bom -> Utf8, Utf16LeBom -> Utf16Le...).
TextEncoding WithoutByteOrderMark(TextEncoding encoding);
// The same encoding with its byte-order mark, for the encodings that have one (Utf8 -> Utf8Bom).
TextEncoding WithByteOrderMark(TextEncoding encoding);
// True for the Unicode encodings (UTF-8, UTF-16), with or without a byte-order mark.
bool IsUnicode(TextEncoding encoding);
// True when the ASCII byte `c` always stands for itself in bytes of this encoding, never inside
// another character, even among bytes the encoding cannot read: in UTF-8 every ASCII byte; in
// GBK and GB18030 those that are no second or fourth byte of a character (below '0' and ':' to
// '?'); in UTF-16 none.
bool AsciiByteStandsAlone(TextEncoding encoding, char c);

// Decides the encoding of a whole file's bytes: a byte-order mark first, then UTF-16 that
// explains the first 64 KiB in one byte order, then UTF-8 when it reads the bytes better than
// GB18030 (weighed as files/codecs/detection.h says), then GBK, or GB18030 where only that reads
// the bytes cleanly.
TextEncoding DetectEncoding(QByteArrayView bytes);

struct DecodedText {
    QString text;
    TextEncoding encoding = TextEncoding::Gbk;
    LineBreak lineBreak = LineBreak::CrLf; // the most common one in the file; CR LF when none
    qsizetype unreadable = 0;              // places where bytes were kept as escaped bytes
};

// Detects the encoding and decodes a whole file; the byte-order mark is not part of the text.
// EncodeText(result.text, result.encoding) gives back exactly `bytes`.
DecodedText DecodeText(QByteArrayView bytes);

// Decodes and encodes pieces of text that hold no byte-order mark, such as single lines, in one
// encoding. A decoder is cheap to reuse and must not be shared between threads.
class TextDecoder {
public:
    explicit TextDecoder(TextEncoding encoding);
    ~TextDecoder();
    TextDecoder(const TextDecoder&) = delete;
    TextDecoder& operator=(const TextDecoder&) = delete;
    // Appends the text of `bytes` to `out`, undecodable bytes escaped; returns how many places
    // were escaped. A piece must end on a character boundary (a line always does).
    qsizetype decode(QByteArrayView bytes, QString& out);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

class TextEncoder {
public:
    explicit TextEncoder(TextEncoding encoding);
    ~TextEncoder();
    TextEncoder(const TextEncoder&) = delete;
    TextEncoder& operator=(const TextEncoder&) = delete;
    // Appends the bytes of `text` to `out`, escaped bytes written as themselves. Returns false
    // (with `out` unchanged) when the text holds a character the encoding cannot represent, or,
    // in UTF-16, an escaped byte standing alone (an odd run of them) with text after it.
    bool encode(QStringView text, QByteArray& out);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

struct EncodedText {
    QByteArray bytes;
    TextEncoding encoding = TextEncoding::Gbk; // as written, which may differ from the one asked
};

// Encodes a whole text, byte-order mark included. A text that GBK cannot hold is written as
// GB18030, which keeps GBK's bytes for everything GBK has. Returns nothing when the text holds
// characters that the encoding cannot represent at all (a lone surrogate that is no escaped
// byte): nothing is ever substituted.
// In UTF-16 an escaped byte standing alone (an odd run of them, such as the odd last byte of a
// UTF-16 file) would put every unit after it out of step: it may only end the text. A line
// break right after it at the end is left out; anything else after it gives nothing.
std::optional<EncodedText> EncodeText(QStringView text, TextEncoding encoding);

// A short name for messages, e.g. "GBK" or "UTF-8（带 BOM）".
QString EncodingName(TextEncoding encoding);
// The encoding named on a command line: utf-8, gbk, gb18030, utf-16le, utf-16be (any case).
std::optional<TextEncoding> EncodingFromName(QStringView name);
