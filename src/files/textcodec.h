#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The encodings a text file is read and written in.
enum class TextEncoding {
    Gbk,        // code page 936, the default
    Gb18030,    // GBK's superset that holds every Unicode character
    Utf8,       // without a byte-order mark
    Utf8Bom,    // with EF BB BF
    Utf16LeBom, // with FF FE
    Utf16BeBom, // with FE FF
};

struct DecodedText {
    QString text;
    TextEncoding encoding = TextEncoding::Gbk;
    qsizetype unreadable = 0; // byte sequences replaced by U+FFFD
};

// Decodes a whole file. A byte-order mark names the encoding and is dropped; otherwise valid
// UTF-8 that is not pure ASCII is UTF-8; otherwise GBK, or GB18030 where only that decodes the
// bytes cleanly. Bytes that nothing decodes are read as GBK, each bad sequence becoming U+FFFD.
DecodedText DecodeText(QByteArrayView bytes);

struct EncodedText {
    QByteArray bytes;
    TextEncoding encoding = TextEncoding::Gbk; // as written, which may differ from the one asked
};

// Encodes a text, byte-order mark included. A text that GBK cannot hold is written as GB18030,
// which keeps GBK's bytes for everything GBK has. Returns nothing when the text holds characters
// that the encoding cannot represent at all (a lone surrogate): nothing is ever substituted.
std::optional<EncodedText> EncodeText(QStringView text, TextEncoding encoding);

// A short name for messages, e.g. "GBK" or "UTF-8（带 BOM）".
QString EncodingName(TextEncoding encoding);
