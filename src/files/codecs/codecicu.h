#pragma once

// Folder files/codecs: what is behind TextDecoder and TextEncoder (files/textcodec.h). The ICU
// converters that carry bytes they cannot read (codecicu), and how the encoding of a text's bytes
// is recognised (detection).

// ICU converters that carry the bytes they cannot read as escaped bytes (U+DC00 + byte), and write
// escaped bytes back as the very bytes they stand for.
#include "files/textcodec.h"

#include <QByteArray>
#include <QString>

#include <bitset>
#include <cstdint>
#include <vector>

struct UConverter;

namespace codec {

// The codes of a table-driven encoding that decode to a character which encodes back to other
// bytes (one-way mappings in the converter's table). Decoding reads such a code as escaped bytes,
// so that whatever the table holds, every file comes back byte for byte.
class OneWayCodes {
public:
    OneWayCodes() = default;
    // `codes[i]` decodes to `characters[i]`.
    OneWayCodes(std::vector<QByteArray> codes, const std::vector<QString>& characters);

    // Found by converting every one- and two-byte code, and for GB18030 every four-byte code
    // below U+10000 (those above are mapped by arithmetic); computed once per encoding.
    static const OneWayCodes& For(TextEncoding encoding);

    bool empty() const { return codes_.empty(); }
    // True when a one-way code decodes to a character that holds this UTF-16 unit.
    bool suspect(char16_t unit) const { return suspects_[unit]; }
    bool isOneWay(QByteArrayView code) const;

private:
    std::vector<QByteArray> codes_; // sorted
    std::bitset<0x10000> suspects_;
};

// What a conversion could not read: the bytes escaped, and the sequences they came in.
struct UnreadableCounts {
    qsizetype bytes = 0;
    qsizetype sequences = 0;
    // In a byte encoding (GBK, GB18030, UTF-8), the ASCII bytes of a sequence cut off at the end
    // are read as themselves, as they are when a line break follows them: a line reads the same
    // alone as within its text.
    bool asciiInCutSequence = false;
};

// One ICU converter, opened once and reused; not to be shared between threads.
class IcuConverter {
public:
    // `oneWay` defaults to OneWayCodes::For(encoding) and must outlive the converter.
    explicit IcuConverter(TextEncoding encoding, const OneWayCodes* oneWay = nullptr);
    ~IcuConverter();
    IcuConverter(const IcuConverter&) = delete;
    IcuConverter& operator=(const IcuConverter&) = delete;

    // Appends the text of `bytes` (a complete piece: a sequence cut off at its end is escaped)
    // to `out`; returns how many bytes were escaped.
    qsizetype decode(QByteArrayView bytes, QString& out);
    // How many unreadable sequences (as the encoding cuts them) the last decode escaped.
    qsizetype strays() const { return strays_; }
    // Appends the bytes of `text` to `out`. Returns false, `out` unchanged, when the text holds a
    // character the encoding lacks or a lone surrogate that is no escaped byte.
    bool encode(QStringView text, QByteArray& out);

private:
    qsizetype decodeChecked(QByteArrayView bytes, QString& out);
    qsizetype convert(QByteArrayView bytes, QString& out, std::vector<std::int32_t>* offsets);

    TextEncoding encoding_;
    UConverter* converter_ = nullptr;
    const OneWayCodes* oneWay_ = nullptr;
    UnreadableCounts unreadable_; // of one conversion, counted by the callback
    qsizetype strays_ = 0;
};

// The first place at or after `from` where `bytes` may be cut into two pieces that decode, each
// on its own, to the same text as the whole; bytes.size() when there is none.
qsizetype SplitPoint(TextEncoding encoding, QByteArrayView bytes, qsizetype from);

// How many places of a text hold escaped bytes (adjacent ones count once).
qsizetype CountEscapedRuns(QStringView text);

} // namespace codec
