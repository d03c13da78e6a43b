#pragma once

// Folder core/order: what is done to the kept lines after repeats are removed. Their order
// (sortkeys: the sort orders' keys and comparisons) and the merging of copies with a column
// added up (sumcolumn, with the exact decimal adder decimalsum).

#include "core/filteroptions.h"

#include <QStringView>

#include <memory>
#include <string>

// Makes, of a line's key, the bytes that put lines in a sort order: compared as unsigned bytes,
// a shorter one before a longer one that starts with it, they order the keys as the order says.
// Keys whose bytes are equal tie; the sort keeps their input order.
//
//   Text:    the key in UTF-8, whose byte order is code point order.
//   Natural: each run of ASCII digits as the byte 01, its length without leading zeros (4 bytes),
//            those digits and the number of leading zeros (4 bytes); every other UTF-8 byte + 2,
//            so that a digit run comes before any other character at the same place.
//   Pinyin:  the sort key of ICU's collator for "zh".
//   Length:  the number of code points (8 bytes, big-endian).
//   Count:   how often the key occurs, most first (8 bytes, big-endian, inverted).
//
// One per thread (the collator keeps state).
class SortKeyMaker {
public:
    explicit SortKeyMaker(SortOrder order);
    ~SortKeyMaker();
    SortKeyMaker(const SortKeyMaker&) = delete;
    SortKeyMaker& operator=(const SortKeyMaker&) = delete;

    SortOrder order() const { return order_; }
    // False when the collator the order needs could not be opened (error() says so).
    bool ready() const { return error_.isEmpty(); }
    QString error() const { return error_; }
    // Replaces `into` by the sort bytes of `key`, which occurs `count` times.
    void make(QStringView key, quint64 count, std::string& into);

private:
    SortOrder order_;
    QString error_;
    struct Collator;
    std::unique_ptr<Collator> collator_;
};

// The number of code points of a text (a lone surrogate counts as one).
qsizetype CodePointCount(QStringView text);
