#include "core/order/decimalsum.h"

#include <algorithm>
#include <iterator>

namespace {

// a >= b for magnitudes as DecimalSum keeps them, without leading zeros.
bool NotLess(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return a.size() > b.size();
    for (std::size_t i = a.size(); i-- > 0;) {
        if (a[i] != b[i])
            return a[i] > b[i];
    }
    return true;
}

void DropLeadingZeros(std::string& digits) {
    while (!digits.empty() && digits.back() == '0')
        digits.pop_back();
}

// a += b.
void AddTo(std::string& a, const std::string& b) {
    if (a.size() < b.size())
        a.resize(b.size(), '0');
    int carry = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const int d = (a[i] - '0') + (i < b.size() ? b[i] - '0' : 0) + carry;
        a[i] = char('0' + d % 10);
        carry = d / 10;
    }
    if (carry)
        a.push_back('1');
}

// a -= b, where a >= b.
void SubtractFrom(std::string& a, const std::string& b) {
    int borrow = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        int d = (a[i] - '0') - (i < b.size() ? b[i] - '0' : 0) - borrow;
        borrow = d < 0;
        a[i] = char('0' + d + 10 * borrow);
    }
    DropLeadingZeros(a);
}

} // namespace

namespace {

char16_t UnitOf(QChar c) {
    return c.unicode();
}
char16_t UnitOf(char c) {
    return uchar(c);
}

template <typename View> bool IsNumberText(View text) {
    auto digit = [&](qsizetype i) { return UnitOf(text[i]) >= u'0' && UnitOf(text[i]) <= u'9'; };
    qsizetype i = 0;
    if (i < text.size() && (UnitOf(text[i]) == u'+' || UnitOf(text[i]) == u'-'))
        ++i;
    const qsizetype integerFrom = i;
    while (i < text.size() && digit(i))
        ++i;
    if (i == integerFrom)
        return false;
    if (i == text.size())
        return true;
    if (UnitOf(text[i]) != u'.')
        return false;
    const qsizetype fractionFrom = ++i;
    while (i < text.size() && digit(i))
        ++i;
    return i > fractionFrom && i == text.size();
}

} // namespace

bool DecimalSum::IsNumber(QStringView text) {
    return IsNumberText(text);
}

bool DecimalSum::IsNumber(QByteArrayView text) {
    return IsNumberText(text);
}

DecimalSum::DecimalSum(const DecimalSum& other)
    : scaled_(other.scaled_),
      digits_(other.digits_ ? std::make_unique<std::string>(*other.digits_) : nullptr),
      negative_(other.negative_), decimals_(other.decimals_) {}

DecimalSum& DecimalSum::operator=(const DecimalSum& other) {
    if (this != &other)
        *this = DecimalSum(other);
    return *this;
}

void DecimalSum::widen(int decimals) {
    if (decimals <= decimals_)
        return;
    if (!digits_->empty())
        digits_->insert(0, std::size_t(decimals - decimals_), '0');
    decimals_ = decimals;
}

void DecimalSum::makeBig() {
    // The magnitude as unsigned: the least 64-bit value has none as signed.
    quint64 magnitude = scaled_ < 0 ? 0 - quint64(scaled_) : quint64(scaled_);
    digits_ = std::make_unique<std::string>();
    for (; magnitude > 0; magnitude /= 10)
        digits_->push_back(char('0' + magnitude % 10));
    negative_ = scaled_ < 0;
    scaled_ = 0;
}

bool DecimalSum::addSmall(std::string_view text) {
    constexpr int kMostDigits = 18; // 10^18 fits 63 bits
    const bool negative = text.front() == '-';
    if (text.front() == '+' || text.front() == '-')
        text.remove_prefix(1);
    const std::size_t point = text.find('.');
    const int decimals = point == std::string_view::npos ? 0 : int(text.size() - point - 1);
    const int digits = int(text.size()) - (point == std::string_view::npos ? 0 : 1);
    const int places = std::max(decimals_, decimals);
    if (digits > kMostDigits || places > kMostDigits)
        return false;
    qint64 value = 0;
    for (const char c : text) {
        if (c != '.')
            value = value * 10 + (c - '0');
    }
    auto scaled = [](qint64 v, int by, qint64* out) {
        for (; by > 0; --by) {
            if (__builtin_mul_overflow(v, qint64(10), &v))
                return false;
        }
        *out = v;
        return true;
    };
    qint64 sum = 0;
    if (!scaled(scaled_, places - decimals_, &sum) || !scaled(value, places - decimals, &value) ||
        __builtin_add_overflow(sum, negative ? -value : value, &sum))
        return false;
    scaled_ = sum;
    decimals_ = places;
    return true;
}

bool DecimalSum::add(QStringView text) {
    if (!IsNumber(text))
        return false;
    std::string ascii(std::size_t(text.size()), '0');
    for (qsizetype i = 0; i < text.size(); ++i)
        ascii[std::size_t(i)] = char(text[i].unicode());
    addNumber(ascii);
    return true;
}

bool DecimalSum::add(QByteArrayView text) {
    // Most numbers are a few digits with as many places as the sum: read and added at once.
    if (!digits_ && text.size() <= 18) {
        const char* c = text.data();
        const char* end = c + text.size();
        const bool negative = c < end && *c == '-';
        c += c < end && (*c == '-' || *c == '+');
        qint64 value = 0;
        const char* from = c;
        for (; c < end && *c >= '0' && *c <= '9'; ++c)
            value = value * 10 + (*c - '0');
        bool number = c > from;
        int decimals = 0;
        if (number && c < end && *c == '.') {
            const char* fraction = ++c;
            for (; c < end && *c >= '0' && *c <= '9'; ++c)
                value = value * 10 + (*c - '0');
            decimals = int(c - fraction);
            number = decimals > 0;
        }
        if (!number || c != end)
            return false;
        qint64 sum = 0;
        if (decimals == decimals_ &&
            !__builtin_add_overflow(scaled_, negative ? -value : value, &sum)) {
            scaled_ = sum;
            return true;
        }
    }
    if (!IsNumber(text))
        return false;
    addNumber(std::string_view(text.data(), std::size_t(text.size())));
    return true;
}

void DecimalSum::addNumber(std::string_view text) {
    if (!digits_) {
        if (addSmall(text))
            return;
        makeBig();
    }
    std::string& total = *digits_;
    const bool negative = text.front() == '-';
    if (text.front() == '+' || text.front() == '-')
        text.remove_prefix(1);
    const std::size_t point = text.find('.');
    const int decimals = point == std::string_view::npos ? 0 : int(text.size() - point - 1);
    widen(decimals);
    std::string digits;
    digits.reserve(text.size() + std::size_t(decimals_ - decimals));
    digits.append(std::size_t(decimals_ - decimals), '0');
    for (std::size_t i = text.size(); i-- > 0;) {
        if (text[i] != '.')
            digits.push_back(text[i]);
    }
    DropLeadingZeros(digits);
    if (negative == negative_) {
        AddTo(total, digits);
    } else if (NotLess(total, digits)) {
        SubtractFrom(total, digits);
    } else {
        SubtractFrom(digits, total);
        total = std::move(digits);
        negative_ = negative;
    }
    if (total.empty())
        negative_ = false;
}

QString DecimalSum::text() const {
    if (!digits_) {
        // Most sums: the 64-bit integer, written from its last digit back.
        char written[48];
        char* at = std::end(written);
        quint64 magnitude = scaled_ < 0 ? 0 - quint64(scaled_) : quint64(scaled_);
        int places = 0;
        do {
            *--at = char('0' + magnitude % 10);
            magnitude /= 10;
            if (++places == decimals_)
                *--at = '.';
        } while (magnitude > 0 || places <= decimals_);
        if (scaled_ < 0)
            *--at = '-';
        return QString::fromLatin1(at, std::end(written) - at);
    }
    std::string digits;
    bool negative = negative_;
    if (digits_) {
        digits = *digits_;
    } else {
        quint64 magnitude = scaled_ < 0 ? 0 - quint64(scaled_) : quint64(scaled_);
        for (; magnitude > 0; magnitude /= 10)
            digits.push_back(char('0' + magnitude % 10));
        negative = scaled_ < 0;
    }
    if (digits.size() <= std::size_t(decimals_))
        digits.resize(std::size_t(decimals_) + 1, '0');
    QString out;
    out.reserve(qsizetype(digits.size()) + 2);
    if (negative)
        out += u'-';
    for (std::size_t i = digits.size(); i-- > 0;) {
        out += QChar(digits[i]);
        if (i == std::size_t(decimals_) && decimals_ > 0)
            out += u'.';
    }
    return out;
}
