#include "core/keys/chartables.h"

#include <unicode/uchar.h>

namespace {

quint8 ClassesFromIcu(char32_t c) {
    const auto uc = UChar32(c);
    quint8 classes = 0;
    if (u_isUWhiteSpace(uc))
        classes |= kCharSpace;
    switch (u_charType(uc)) {
    case U_CONNECTOR_PUNCTUATION:
    case U_DASH_PUNCTUATION:
    case U_START_PUNCTUATION:
    case U_END_PUNCTUATION:
    case U_INITIAL_PUNCTUATION:
    case U_FINAL_PUNCTUATION:
    case U_OTHER_PUNCTUATION:
        classes |= kCharPunct;
        break;
    case U_FORMAT_CHAR:
        classes |= kCharFormat;
        break;
    case U_DECIMAL_DIGIT_NUMBER:
        classes |= kCharDigit;
        break;
    default:
        break;
    }
    if (c == U'+' || c == U'\uFF0B')
        classes |= kCharPlus;
    return classes;
}

} // namespace

const std::bitset<0x10000>& WhiteSpaceTable() {
    static const std::bitset<0x10000> table = [] {
        std::bitset<0x10000> t;
        for (UChar32 c = 0; c < 0x10000; ++c)
            t[std::size_t(c)] = u_isUWhiteSpace(c) != 0;
        return t;
    }();
    return table;
}

const std::array<quint8, 0x10000>& KeyCharClasses() {
    static const std::array<quint8, 0x10000> table = [] {
        std::array<quint8, 0x10000> t{};
        for (char32_t c = 0; c < 0x10000; ++c) {
            if (c >= 0xD800 && c <= 0xDBFF)
                t[c] = kCharHighSurrogate;
            else if (c < 0xDC00 || c > 0xDFFF)
                t[c] = ClassesFromIcu(c);
        }
        return t;
    }();
    return table;
}

quint8 KeyCharClassOf(char32_t c) {
    return c < 0x10000 ? KeyCharClasses()[c] : ClassesFromIcu(c);
}

int DigitValue(char32_t c) {
    return c <= U'9' ? int(c - U'0') : int(u_charDigitValue(UChar32(c)));
}
