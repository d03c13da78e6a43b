#pragma once

// Sums for the plain reference (referencefilter.h): which lines hold a number in the summed
// column, their exact sum written out plainly, and the merged line.

#include "core/linekey.h"
#include "referencecolumns.h"

#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <optional>
#include <vector>

// With a sum: the line's summed column when it is a number (an optional sign, ASCII digits, and
// optionally a point and digits), else nothing.
inline std::optional<QString> ReferenceNumber(const QString& line, const KeyRule& k) {
    const QStringList all = ReferenceColumns(line, k.separator);
    if (k.sumColumn > all.size())
        return std::nullopt;
    const QString column = all[k.sumColumn - 1];
    static const QRegularExpression number(QStringLiteral("^[+-]?[0-9]+(\\.[0-9]+)?$"));
    if (!number.match(column).hasMatch())
        return std::nullopt;
    return column;
}

// The exact sum of numbers as above, written plainly: each digit, with its sign, added into the
// place it stands for (as many places after the point as the most precise number), the carries
// taken at the end; a negative total is negated and taken again.
inline QString ReferenceSum(const QStringList& numbers) {
    int decimals = 0;
    for (const QString& n : numbers) {
        const qsizetype point = n.indexOf(u'.');
        decimals = std::max(decimals, point < 0 ? 0 : int(n.size() - point - 1));
    }
    std::vector<qint64> places; // places[0] stands for 10^-decimals
    for (const QString& n : numbers) {
        const int sign = n.startsWith(u'-') ? -1 : 1;
        QString digits = n.startsWith(u'-') || n.startsWith(u'+') ? n.mid(1) : n;
        const qsizetype point = digits.indexOf(u'.');
        const int own = point < 0 ? 0 : int(digits.size() - point - 1);
        digits.remove(u'.');
        digits += QString(decimals - own, u'0');
        if (places.size() < std::size_t(digits.size()))
            places.resize(std::size_t(digits.size()), 0);
        for (qsizetype i = 0; i < digits.size(); ++i)
            places[std::size_t(i)] += sign * (digits[digits.size() - 1 - i].unicode() - u'0');
    }
    auto carried = [](std::vector<qint64> v, qint64* left) {
        qint64 carry = 0;
        for (qint64& d : v) {
            const qint64 x = d + carry;
            d = ((x % 10) + 10) % 10;
            carry = (x - d) / 10;
        }
        while (carry > 0) {
            v.push_back(carry % 10);
            carry /= 10;
        }
        *left = carry;
        return v;
    };
    qint64 left = 0;
    std::vector<qint64> total = carried(places, &left);
    const bool negative = left < 0;
    if (negative) {
        for (qint64& d : places)
            d = -d;
        total = carried(places, &left);
    }
    while (total.size() < std::size_t(decimals) + 1)
        total.push_back(0);
    while (total.size() > std::size_t(decimals) + 1 && total.back() == 0)
        total.pop_back();
    QString out;
    for (std::size_t i = total.size(); i-- > 0;) {
        out += QChar(u'0' + char16_t(total[i]));
        if (i == std::size_t(decimals) && decimals > 0)
            out += u'.';
    }
    const bool zero = std::all_of(total.begin(), total.end(), [](qint64 d) { return d == 0; });
    return negative && !zero ? u'-' + out : out;
}

// The line with its summed column replaced by `sum` (columns cut by one character).
inline QString ReferenceReplaced(const QString& line, const KeyRule& k, const QString& sum) {
    if (k.separator.kind != Separator::Kind::Character)
        qFatal("the reference replaces sums only in columns cut by a character");
    QStringList all = line.split(k.separator.character);
    all[k.sumColumn - 1] = sum;
    return all.join(k.separator.character);
}
