#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <string>
#include <string_view>

// An exact sum of decimal numbers written as text, at any size: no binary fractions, no
// overflow. A number is an optional sign, ASCII digits, and optionally a point and digits
// ("-12", "+0.50", "99999999999999999999"). The sum is written with as many decimals as the
// most precise number added: 0.1 + 0.2 is 0.3, 1.50 + 1 is 2.50.
class DecimalSum {
public:
    // Whether `text` is a number as above (as text, or as the bytes of an ASCII-compatible
    // encoding).
    static bool IsNumber(QStringView text);
    static bool IsNumber(QByteArrayView text);
    // Adds `text` when it is a number; false (the sum unchanged) when it is not.
    bool add(QStringView text);
    bool add(QByteArrayView text);
    QString text() const;
    int decimals() const { return decimals_; }

private:
    // Adds a number already known to be one, as ASCII.
    void addNumber(std::string_view text);
    // Scales the magnitude to `decimals` places after the point.
    void widen(int decimals);

    // The magnitude's digits, least significant first, as many after the point as decimals_;
    // empty for zero.
    std::string digits_;
    bool negative_ = false;
    int decimals_ = 0;
};
