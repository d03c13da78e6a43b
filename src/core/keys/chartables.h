#pragma once

#include <QtGlobal>

#include <array>
#include <bitset>

// Tables of character properties for the loops that look at every character of a line. Each is
// made the first time it is asked for.

// Unicode White_Space, for each BMP character (no character beyond it has the property).
const std::bitset<0x10000>& WhiteSpaceTable();

// What the key's normalisations need to know of a character.
enum KeyCharClass : quint8 {
    kCharSpace = 1,          // White_Space
    kCharPunct = 2,          // general category P*
    kCharFormat = 4,         // general category Cf
    kCharDigit = 8,          // general category Nd
    kCharPlus = 16,          // "+" and "＋"
    kCharHighSurrogate = 32, // the first half of a pair, whose classes are the pair's
};

// The classes of each BMP unit.
const std::array<quint8, 0x10000>& KeyCharClasses();
// The classes of any character (a BMP one from the table, others asked of ICU).
quint8 KeyCharClassOf(char32_t c);
// The value of a character of class kCharDigit.
int DigitValue(char32_t c);
