#include "core/order/sortkeys.h"

#include <unicode/ucol.h>
#include <unicode/utf16.h>

namespace {

void AppendBigEndian(std::string& into, quint64 value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        into.push_back(char(uchar(value >> (8 * i))));
}

// Appends a code point in UTF-8, each byte raised by `lift`.
void AppendUtf8(std::string& into, char32_t c, uchar lift) {
    auto put = [&](unsigned byte) { into.push_back(char(uchar(byte + lift))); };
    if (c < 0x80) {
        put(c);
    } else if (c < 0x800) {
        put(0xC0 | (c >> 6));
        put(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        put(0xE0 | (c >> 12));
        put(0x80 | ((c >> 6) & 0x3F));
        put(0x80 | (c & 0x3F));
    } else {
        put(0xF0 | (c >> 18));
        put(0x80 | ((c >> 12) & 0x3F));
        put(0x80 | ((c >> 6) & 0x3F));
        put(0x80 | (c & 0x3F));
    }
}

// Calls visit(code point) for each code point of a text; a lone surrogate stands for itself.
template <typename Visit> void ForEachCodePoint(QStringView text, Visit&& visit) {
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (U16_IS_LEAD(u) && i + 1 < n && U16_IS_TRAIL(text[i + 1].unicode())) {
            visit(char32_t(U16_GET_SUPPLEMENTARY(u, text[i + 1].unicode())));
            ++i;
        } else {
            visit(char32_t(u));
        }
    }
}

bool IsAsciiDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

void NaturalKey(QStringView key, std::string& into) {
    const qsizetype n = key.size();
    qsizetype i = 0;
    while (i < n) {
        if (!IsAsciiDigit(key[i].unicode())) {
            qsizetype end = i + 1;
            while (end < n && !IsAsciiDigit(key[end].unicode()))
                ++end;
            ForEachCodePoint(key.sliced(i, end - i), [&](char32_t c) { AppendUtf8(into, c, 2); });
            i = end;
            continue;
        }
        qsizetype end = i;
        while (end < n && IsAsciiDigit(key[end].unicode()))
            ++end;
        qsizetype first = i; // the first digit that is not a leading zero
        while (first < end && key[first] == u'0')
            ++first;
        into.push_back(char(1));
        AppendBigEndian(into, quint64(end - first), 4);
        for (qsizetype d = first; d < end; ++d)
            into.push_back(char(key[d].unicode()));
        AppendBigEndian(into, quint64(first - i), 4);
        i = end;
    }
}

} // namespace

struct SortKeyMaker::Collator {
    UCollator* collator = nullptr;
    ~Collator() {
        if (collator)
            ucol_close(collator);
    }
};

SortKeyMaker::SortKeyMaker(SortOrder order) : order_(order) {
    if (order != SortOrder::Pinyin)
        return;
    collator_ = std::make_unique<Collator>();
    UErrorCode status = U_ZERO_ERROR;
    collator_->collator = ucol_open("zh", &status);
    if (U_FAILURE(status) || !collator_->collator)
        error_ = QStringLiteral("无法按拼音排序：系统的 ICU 没有中文排序规则（%1）。")
                     .arg(QString::fromLatin1(u_errorName(status)));
}

SortKeyMaker::~SortKeyMaker() = default;

void SortKeyMaker::make(QStringView key, quint64 count, std::string& into) {
    into.clear();
    switch (order_) {
    case SortOrder::None:
        break;
    case SortOrder::Text:
        ForEachCodePoint(key, [&](char32_t c) { AppendUtf8(into, c, 0); });
        break;
    case SortOrder::Natural:
        NaturalKey(key, into);
        break;
    case SortOrder::Pinyin: {
        if (!collator_->collator)
            break;
        const auto* units = reinterpret_cast<const UChar*>(key.utf16());
        const int length = int(key.size());
        into.resize(std::size_t(key.size()) * 4 + 16);
        int needed = ucol_getSortKey(collator_->collator, units, length,
                                     reinterpret_cast<uint8_t*>(into.data()), int(into.size()));
        if (needed > int(into.size())) {
            into.resize(std::size_t(needed));
            needed = ucol_getSortKey(collator_->collator, units, length,
                                     reinterpret_cast<uint8_t*>(into.data()), int(into.size()));
        }
        into.resize(std::size_t(std::max(needed - 1, 0))); // without its closing zero
        break;
    }
    case SortOrder::Length:
        AppendBigEndian(into, quint64(CodePointCount(key)), 8);
        break;
    case SortOrder::Count:
        AppendBigEndian(into, ~count, 8);
        break;
    }
}

qsizetype CodePointCount(QStringView text) {
    qsizetype count = 0;
    ForEachCodePoint(text, [&](char32_t) { ++count; });
    return count;
}
