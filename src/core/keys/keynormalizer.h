#pragma once

// Folder core/keys: how a key is made from a line's part compared, below linekey.h. The character
// classes the normalisations look up (chartables), the normalisations themselves (keynormalizer),
// a key pattern's matching (patternmatch), the columns of a line taken from its bytes
// (bytecolumns), and the keys that understand contacts (contactkeys).

#include "core/linekey.h"

#include <QString>
#include <QStringView>

// Leaves out of a key what KeyRule's normalisations ask. One per thread.
class KeyNormalizer {
public:
    explicit KeyNormalizer(const KeyRule& rule);
    bool active() const { return mask_ != 0 || digitsOnly_; }
    // The key without the characters left out: a view of `key` when nothing goes, otherwise of a
    // buffer valid until the next call.
    QStringView apply(QStringView key);
    // Lets go of a buffer grown past `units` UTF-16 units.
    void letGoOfBuffers(qsizetype units) { LetGoIfLarger(buffer_, units); }

private:
    QStringView digits(QStringView key);
    bool digitsOnly_;
    unsigned mask_; // the classes of characters left out
    QString buffer_;
};
