#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <memory>
#include <string>
#include <string_view>

// An exact sum of decimal numbers written as text, at any size: no binary fractions, no
// overflow. A number is an optional sign, ASCII digits, and optionally a point and digits
// ("-12", "+0.50", "99999999999999999999"). The sum is written with as many decimals as the
// most precise number added: 0.1 + 0.2 is 0.3, 1.50 + 1 is 2.50.
class DecimalSum {
public:
    DecimalSum() = default;
    DecimalSum(const DecimalSum& other);
    DecimalSum& operator=(const DecimalSum& other);
    DecimalSum(DecimalSum&&) noexcept = default;
    DecimalSum& operator=(DecimalSum&&) noexcept = default;
    ~DecimalSum() = default;

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
    // Adds it to the 64-bit sum; false (the sum unchanged) when that would overflow.
    bool addSmall(std::string_view text);
    // Moves the sum to digits, which take any size.
    void makeBig();
    // Scales the digits to `decimals` places after the point.
    void widen(int decimals);

    // Most sums fit 64 bits: they are kept as an integer, the sum times 10^decimals_. Beyond
    // that, as the magnitude's digits, least significant first, as many after the point as
    // decimals_ (empty for zero), with negative_.
    qint64 scaled_ = 0;
    std::unique_ptr<std::string> digits_;
    bool negative_ = false;
    int decimals_ = 0;
};
