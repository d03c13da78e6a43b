// What each encoding is: its unit, its byte-order mark, whether it is Unicode, which ASCII bytes
// stand for themselves in it, and its name as shown and as given on the command line.
#include "files/textcodec.h"

bool IsEscapedByte(QStringView text, qsizetype i) {
    const char16_t c = text[i].unicode();
    return c >= kEscapedByteBase && c <= kEscapedByteBase + 0xFF &&
           (i == 0 || !text[i - 1].isHighSurrogate());
}

int CodeUnitBytes(TextEncoding encoding) {
    switch (WithoutByteOrderMark(encoding)) {
    case TextEncoding::Utf16Le:
    case TextEncoding::Utf16Be:
        return 2;
    default:
        return 1;
    }
}

QByteArrayView ByteOrderMark(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8Bom:
        return "\xEF\xBB\xBF";
    case TextEncoding::Utf16LeBom:
        return "\xFF\xFE";
    case TextEncoding::Utf16BeBom:
        return "\xFE\xFF";
    default:
        return {};
    }
}

TextEncoding WithByteOrderMark(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8:
        return TextEncoding::Utf8Bom;
    case TextEncoding::Utf16Le:
        return TextEncoding::Utf16LeBom;
    case TextEncoding::Utf16Be:
        return TextEncoding::Utf16BeBom;
    default:
        return encoding;
    }
}

bool IsUnicode(TextEncoding encoding) {
    const TextEncoding e = WithoutByteOrderMark(encoding);
    return e == TextEncoding::Utf8 || e == TextEncoding::Utf16Le || e == TextEncoding::Utf16Be;
}

bool AsciiByteStandsAlone(TextEncoding encoding, char c) {
    const auto byte = uchar(c);
    switch (WithoutByteOrderMark(encoding)) {
    case TextEncoding::Utf8:
        return byte < 0x80;
    case TextEncoding::Gbk:
    case TextEncoding::Gb18030:
        return byte < 0x30 || (byte > 0x39 && byte < 0x40);
    default:
        return false;
    }
}

TextEncoding WithoutByteOrderMark(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8Bom:
        return TextEncoding::Utf8;
    case TextEncoding::Utf16LeBom:
        return TextEncoding::Utf16Le;
    case TextEncoding::Utf16BeBom:
        return TextEncoding::Utf16Be;
    default:
        return encoding;
    }
}

QString EncodingName(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Gbk:
        return QStringLiteral("GBK");
    case TextEncoding::Gb18030:
        return QStringLiteral("GB18030");
    case TextEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case TextEncoding::Utf8Bom:
        return QStringLiteral("UTF-8（带 BOM）");
    case TextEncoding::Utf16Le:
        return QStringLiteral("UTF-16LE");
    case TextEncoding::Utf16Be:
        return QStringLiteral("UTF-16BE");
    case TextEncoding::Utf16LeBom:
        return QStringLiteral("UTF-16LE（带 BOM）");
    case TextEncoding::Utf16BeBom:
        return QStringLiteral("UTF-16BE（带 BOM）");
    }
    return {};
}

std::optional<TextEncoding> EncodingFromName(QStringView name) {
    static const struct {
        QStringView name;
        TextEncoding encoding;
    } kNames[] = {
        {u"utf-8", TextEncoding::Utf8},       {u"utf8", TextEncoding::Utf8},
        {u"gbk", TextEncoding::Gbk},          {u"cp936", TextEncoding::Gbk},
        {u"gb18030", TextEncoding::Gb18030},  {u"utf-16le", TextEncoding::Utf16Le},
        {u"utf-16be", TextEncoding::Utf16Be},
    };
    for (const auto& entry : kNames) {
        if (name.compare(entry.name, Qt::CaseInsensitive) == 0)
            return entry.encoding;
    }
    return std::nullopt;
}
