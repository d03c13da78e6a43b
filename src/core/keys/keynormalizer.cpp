#include "core/keys/keynormalizer.h"

#include "core/keys/chartables.h"

#include <algorithm>

KeyNormalizer::KeyNormalizer(const KeyRule& rule)
    : digitsOnly_(rule.digitsOnly), mask_((rule.ignoreSpaces ? unsigned(kCharSpace) : 0u) |
                                          (rule.ignorePunct ? unsigned(kCharPunct) : 0u) |
                                          (rule.ignoreInvisible ? unsigned(kCharFormat) : 0u)) {}

QStringView KeyNormalizer::apply(QStringView key) {
    if (digitsOnly_)
        return digits(key); // leaves nothing the other options would take out
    if (mask_ == 0)
        return key;
    const auto& classes = KeyCharClasses();
    const unsigned stop = mask_ | kCharHighSurrogate;
    const qsizetype n = key.size();
    const char16_t* in = key.utf16();
    qsizetype i = 0;
    while (i < n && (classes[in[i]] & stop) == 0)
        ++i;
    if (i == n)
        return key;
    buffer_.resize(n);
    auto* out = reinterpret_cast<char16_t*>(buffer_.data());
    std::copy(in, in + i, out);
    qsizetype o = i;
    for (; i < n; ++i) {
        const char16_t c = in[i];
        if ((classes[c] & kCharHighSurrogate) && i + 1 < n && QChar::isLowSurrogate(in[i + 1])) {
            if ((KeyCharClassOf(QChar::surrogateToUcs4(c, in[i + 1])) & mask_) == 0) {
                out[o++] = c;
                out[o++] = in[i + 1];
            }
            ++i;
        } else if ((classes[c] & mask_) == 0) {
            out[o++] = c;
        }
    }
    return {out, o};
}

QStringView KeyNormalizer::digits(QStringView key) {
    const qsizetype n = key.size();
    const char16_t* in = key.utf16();
    qsizetype i = 0;
    while (i < n && in[i] >= u'0' && in[i] <= u'9')
        ++i;
    if (i == n)
        return key;
    // Every character gives at most one unit.
    buffer_.resize(n);
    auto* out = reinterpret_cast<char16_t*>(buffer_.data());
    std::copy(in, in + i, out);
    qsizetype o = i;
    bool digit = i > 0;
    bool leading = i == 0; // only white space and invisible characters so far
    const auto& table = KeyCharClasses();
    for (; i < n; ++i) {
        char32_t c = in[i];
        if (c >= u'0' && c <= u'9') {
            out[o++] = char16_t(c);
            digit = true;
            leading = false;
            continue;
        }
        quint8 classes = table[c];
        if (classes == 0) { // most characters: no digit, no plus, not invisible
            leading = false;
            continue;
        }
        if ((classes & kCharHighSurrogate) && i + 1 < n && QChar::isLowSurrogate(in[i + 1])) {
            c = QChar::surrogateToUcs4(char16_t(c), in[++i]);
            classes = KeyCharClassOf(c);
        }
        if (classes & kCharDigit) {
            out[o++] = char16_t(u'0' + DigitValue(c));
            digit = true;
            leading = false;
        } else if (leading && (classes & kCharPlus)) {
            out[o++] = u'+';
            leading = false;
        } else if ((classes & (kCharSpace | kCharFormat)) == 0) {
            leading = false;
        }
    }
    return digit ? QStringView(out, o) : QStringView();
}
