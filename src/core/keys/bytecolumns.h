#pragma once

#include "core/filteroptions.h"

#include <QByteArray>
#include <QByteArrayView>

#include <optional>
#include <vector>

// Keys of columns cut from a line's bytes, without decoding the line. This is for the common
// case of a list of columns split by one ASCII character (a tab, a comma, a semicolon) where no
// option changes the columns' text: the key is then made of the very bytes of those columns.
//
// It gives the same repeats as the key made from the line's text (LineKeyMaker) whenever every
// line compared is in one encoding and the separator's byte never stands inside a character of
// that encoding: then the byte splits where the text splits, and equal bytes are equal text. The
// caller checks the encoding (see the engine). Columns are joined as AppendKeyColumn joins them,
// with the bytes 0x1F and 0x1E, so different columns never make the same key.
class ByteColumnKey {
public:
    // The separator's byte when `options` can be keyed so: columns cut by one ASCII character
    // (those asked for, or every one but the summed one), and no trimming, case, width or
    // normalisation asked for.
    static std::optional<char> SeparatorOf(const FilterOptions& options);

    // `options` must be such that SeparatorOf gives a byte.
    explicit ByteColumnKey(const FilterOptions& options);

    // The key of a line of `length` bytes at `line`: a view of the line or of a buffer that stays
    // valid until the next call. Empty for a blank line (an empty one); *keyless tells a line
    // that is not blank but has no key (a column missing, or every column empty).
    QByteArrayView key(const uchar* line, qint64 length, bool* keyless);
    // The bytes of the summed column (KeyRule::sumColumn) of the line key() was last given; a null
    // view when it has none.
    QByteArrayView summed() const { return summed_; }
    // The bytes of the summed column of a line, found on their own; a null view when it has none.
    QByteArrayView summedOf(const uchar* line, qint64 length) const;

private:
    struct Span {
        qint64 begin = 0;
        qint64 end = 0;
    };
    QByteArrayView keyOfAllBut(const uchar* line, qint64 length, bool* keyless);

    uchar separator_;
    int allBut_ = 0;    // the key is every column but this one
    int sum_ = 0;       // the summed column, 0 for none
    int lastAsked_ = 0; // the last column to look at: the greatest asked for, or the summed one
    QByteArrayView summed_;
    std::vector<int> wanted_;         // the column numbers asked for, ascending, once each
    std::vector<std::size_t> partOf_; // which of wanted_ each column of the key is
    std::vector<Span> spans_;         // where each of wanted_ is in the last line
    QByteArray joined_;
};
