#include "core/keys/contactkeys.h"
#include "core/keys/patternmatch.h"

#include <QHash>
#include <QMutex>
#include <QRegularExpression>
#include <QUrl>

#include <phonenumbers/phonenumberutil.h>
#include <unicode/uidna.h>

#include <algorithm>
#include <optional>
#include <string>

namespace {

using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberUtil;

// The keys of texts already read, shared by all threads: the same text comes again, as a repeat
// and when lines are read again to be compared. Dropped all at once when there are kSize of them.
class KeptKeys {
public:
    static constexpr qsizetype kSize = qsizetype(1) << 17;

    std::optional<QString> find(const QString& text) const {
        const QMutexLocker lock(&mutex_);
        if (const auto it = keys_.constFind(text); it != keys_.cend())
            return *it;
        return std::nullopt;
    }
    void keep(const QString& text, const QString& key) {
        const QMutexLocker lock(&mutex_);
        if (keys_.size() >= kSize)
            keys_.clear();
        keys_.insert(text, key);
    }

private:
    mutable QMutex mutex_;
    QHash<QString, QString> keys_;
};

// What a kept key is found by: the rules it was read with (`rules`, without a line break) and the
// text.
QString KeptText(QStringView rules, QStringView part) {
    QString text;
    text.reserve(rules.size() + 1 + part.size());
    text += rules;
    text += u'\n';
    text += part;
    return text;
}

// The two patterns that find an address in a part. Each is matched by a PatternMatcher of the
// thread (PCRE2 itself, with the same options, without a match object made for each line); a
// part that matcher cannot take (not well-formed UTF-16, a match it gave up on) goes to
// QRegularExpression, which reads all parts.
const QString& EmailPattern() {
    static const QString pattern =
        QStringLiteral(R"(([\w.!#$%&'*+/=?^`{|}~-]+)@([\w-]+(?:\.[\w-]+)+))");
    return pattern;
}

const QString& UrlPattern() {
    static const QString pattern = QStringLiteral(R"([A-Za-z][A-Za-z0-9+.-]*://[^\s<>"]+)");
    return pattern;
}

// The first match of the pattern (`regex`, and `matcher` made from the same) in `part`; a null view
// when there is none.
QStringView FirstMatch(QStringView part, const QRegularExpression& regex, PatternMatcher& matcher) {
    if (part.isValidUtf16()) {
        qsizetype start = 0;
        qsizetype length = 0;
        switch (matcher.match(part, 0, &start, &length)) {
        case PatternMatcher::Result::Match:
            return part.sliced(start, length);
        case PatternMatcher::Result::NoMatch:
            return {};
        case PatternMatcher::Result::Undecided:
            break;
        }
    }
    const QRegularExpressionMatch match = regex.match(part);
    if (!match.hasMatch())
        return {};
    return part.sliced(match.capturedStart(0), match.capturedLength(0));
}

constexpr qsizetype kLongestPlainDomain = 253;
constexpr qsizetype kDomainCacheSize = 4096;

// Writes `text`, ASCII, in lower case at `into`.
void LowerAscii(QStringView text, char16_t* into) {
    std::transform(text.utf16(), text.utf16() + text.size(), into, [](char16_t c) {
        return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c;
    });
}

bool LetterOrDigit(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

// True when UTS #46 would only lower the case of `domain`: ASCII letters, digits and hyphens in
// labels of 1 to 63, none beginning or ending with a hyphen or with "--" in its third and fourth
// place (which also keeps out "xn--" labels, which ICU must decode and check). Anything else is
// left to ICU.
bool PlainAsciiDomain(QStringView domain) {
    const qsizetype n = domain.size();
    if (n == 0 || n > kLongestPlainDomain)
        return false;
    qsizetype label = 0;
    for (qsizetype i = 0; i <= n; ++i) {
        if (i < n && domain[i] != u'.') {
            if (!LetterOrDigit(domain[i].unicode()) && domain[i] != u'-')
                return false;
            continue;
        }
        const qsizetype length = i - label;
        if (length < 1 || length > 63 || domain[label] == u'-' || domain[i - 1] == u'-' ||
            (length >= 4 && domain[label + 2] == u'-' && domain[label + 3] == u'-'))
            return false;
        label = i + 1;
    }
    return true;
}

const UIDNA* Idna() {
    static const UIDNA* idna = [] {
        UErrorCode error = U_ZERO_ERROR;
        UIDNA* made = uidna_openUTS46(UIDNA_NONTRANSITIONAL_TO_ASCII, &error);
        return U_SUCCESS(error) ? made : nullptr;
    }();
    return idna;
}

bool Unreserved(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Appends a path or query with unreserved escapes decoded, the others in upper-case hex, and every
// byte outside printable ASCII escaped. `byte(i)` is the i-th of its `size` UTF-8 bytes.
template <typename Byte> void AppendEscapesOf(qsizetype size, const Byte& byte, QString& key) {
    static const char16_t kHex[] = u"0123456789ABCDEF";
    // Each byte gives at most three characters.
    const qsizetype from = key.size();
    key.resize(from + 3 * size);
    auto* const begin = reinterpret_cast<char16_t*>(key.data()) + from;
    char16_t* out = begin;
    for (qsizetype i = 0; i < size; ++i) {
        const auto c = char(byte(i));
        int value = -1;
        if (c == '%' && i + 2 < size && HexValue(byte(i + 1)) >= 0 && HexValue(byte(i + 2)) >= 0) {
            value = HexValue(byte(i + 1)) * 16 + HexValue(byte(i + 2));
            i += 2;
        } else if (static_cast<unsigned char>(c) >= 0x80 || c <= ' ') {
            value = static_cast<unsigned char>(c);
        } else {
            *out++ = char16_t(static_cast<unsigned char>(c));
            continue;
        }
        if (Unreserved(char(value))) {
            *out++ = char16_t(value);
        } else {
            *out++ = u'%';
            *out++ = kHex[value >> 4];
            *out++ = kHex[value & 15];
        }
    }
    key.truncate(from + (out - begin));
}

void AppendEscapes(const QString& text, QString& key) {
    // An encoded path is ASCII, its own UTF-8: read without a copy.
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; })) {
        AppendEscapesOf(
            text.size(), [&](qsizetype i) { return char(text[i].unicode()); }, key);
        return;
    }
    const QByteArray bytes = text.toUtf8();
    AppendEscapesOf(
        bytes.size(), [&](qsizetype i) { return bytes[i]; }, key);
}

int DefaultPort(const QString& scheme) {
    if (scheme == u"http" || scheme == u"ws")
        return 80;
    if (scheme == u"https" || scheme == u"wss")
        return 443;
    if (scheme == u"ftp")
        return 21;
    return -1;
}

QString IdnaToAscii(QStringView domain) {
    if (domain.isEmpty() || !Idna())
        return {};
    UIDNAInfo info = UIDNA_INFO_INITIALIZER;
    UErrorCode error = U_ZERO_ERROR;
    // An ASCII name is never longer than 4 times the text, and at most 253 in any case.
    QString out(domain.size() * 4 + 64, Qt::Uninitialized);
    const int32_t length = uidna_nameToASCII(
        Idna(), reinterpret_cast<const UChar*>(domain.utf16()), int32_t(domain.size()),
        reinterpret_cast<UChar*>(out.data()), int32_t(out.size()), &info, &error);
    if (U_FAILURE(error) || length > out.size())
        return {};
    // Errors of the name's form (a hyphen at a label's end, too long labels) are tolerated: only
    // what cannot be mapped at all fails.
    if (info.errors &
        (UIDNA_ERROR_DISALLOWED | UIDNA_ERROR_PUNYCODE | UIDNA_ERROR_INVALID_ACE_LABEL))
        return {};
    out.resize(length);
    return out;
}

} // namespace

QString DomainToAscii(QStringView domain) {
    if (PlainAsciiDomain(domain)) {
        QString lowered(domain.size(), Qt::Uninitialized);
        LowerAscii(domain, reinterpret_cast<char16_t*>(lowered.data()));
        return lowered;
    }
    // A list holds few domains and ICU takes long over each: the names it read are kept, on each
    // thread, and dropped all at once when there are kDomainCacheSize of them.
    thread_local QHash<QString, QString> known;
    QString written = domain.toString();
    if (const auto it = known.constFind(written); it != known.cend())
        return *it;
    QString ascii = IdnaToAscii(domain);
    if (known.size() >= kDomainCacheSize)
        known.clear();
    known.insert(written, ascii);
    return ascii;
}

QString PhoneKey(QStringView part, const QString& region) {
    // The library finds no number in a text of ASCII without a digit (it wants at least two): such
    // parts, names and the like, are not handed to it.
    if (std::all_of(part.begin(), part.end(),
                    [](QChar c) { return c.unicode() < 0x80 && (c < u'0' || c > u'9'); }))
        return {};
    // Reading a number takes the library tens of microseconds.
    static KeptKeys kept;
    QString text = KeptText(region, part);
    if (const std::optional<QString> key = kept.find(text))
        return *key;
    const PhoneNumberUtil* util = PhoneNumberUtil::GetInstance();
    PhoneNumber number;
    QString key;
    if (util->Parse(part.toUtf8().toStdString(), region.toStdString(), &number) ==
            PhoneNumberUtil::NO_PARSING_ERROR &&
        util->IsValidNumber(number)) {
        std::string formatted;
        util->Format(number, PhoneNumberUtil::E164, &formatted);
        key = QString::fromStdString(formatted);
    }
    kept.keep(text, key);
    return key;
}

bool IsPhoneRegion(const QString& region) {
    return PhoneNumberUtil::GetInstance()->GetCountryCodeForRegion(region.toStdString()) != 0;
}

QString EmailKey(QStringView part, bool plus, bool gmail) {
    static const QRegularExpression regex(EmailPattern(),
                                          QRegularExpression::UseUnicodePropertiesOption);
    thread_local PatternMatcher matcher(EmailPattern());
    // The part before "@" has no "@": the match's first one ends it.
    const QStringView match = FirstMatch(part, regex, matcher);
    if (match.isNull())
        return {};
    const qsizetype at = match.indexOf(u'@');
    QStringView local = match.first(at);
    const QStringView written = match.sliced(at + 1);
    char16_t lowered[kLongestPlainDomain];
    QString ascii;
    QStringView domain;
    if (PlainAsciiDomain(written)) {
        LowerAscii(written, lowered);
        domain = QStringView(lowered, written.size());
    } else {
        ascii = DomainToAscii(written);
        if (ascii.isEmpty())
            return {};
        domain = ascii;
    }
    if (plus) {
        if (const qsizetype tag = local.indexOf(u'+'); tag > 0)
            local.truncate(tag);
    }
    const bool dotless = gmail && (domain == u"gmail.com" || domain == u"googlemail.com");
    if (dotless)
        domain = u"gmail.com";
    QString key(local.size() + 1 + domain.size(), Qt::Uninitialized);
    auto* const begin = reinterpret_cast<char16_t*>(key.data());
    char16_t* out = begin;
    for (const QChar c : local) {
        if (!dotless || c != u'.')
            *out++ = c.unicode();
    }
    if (out == begin)
        return {};
    *out++ = u'@';
    out = std::copy(domain.utf16(), domain.utf16() + domain.size(), out);
    key.truncate(out - begin);
    return key;
}

QString UrlKey(QStringView part, bool www, bool slash, bool scheme) {
    static const QRegularExpression regex(UrlPattern(),
                                          QRegularExpression::UseUnicodePropertiesOption);
    thread_local PatternMatcher matcher(UrlPattern());
    const QStringView match = FirstMatch(part, regex, matcher);
    if (match.isNull())
        return {};
    const QUrl url(match.toString(), QUrl::TolerantMode);
    QString host = url.host(QUrl::FullyDecoded);
    if (!url.isValid() || host.isEmpty())
        return {};
    const QString schemeWritten = url.scheme().toLower();
    QString key;
    key.reserve(match.size() + 16);
    key += scheme && schemeWritten == u"https" ? QStringLiteral("http") : schemeWritten;
    key += QStringLiteral("://");
    if (const QString user = url.userInfo(QUrl::FullyEncoded); !user.isEmpty()) {
        AppendEscapes(user, key);
        key += u'@';
    }
    if (host.contains(u':')) {
        key += u'[';
        key += host.toLower();
        key += u']';
    } else {
        host = DomainToAscii(host);
        if (host.isEmpty())
            return {};
        if (www && host.startsWith(QStringLiteral("www.")))
            key += QStringView(host).sliced(4);
        else
            key += host;
    }
    if (const int port = url.port(); port >= 0 && port != DefaultPort(schemeWritten)) {
        key += u':';
        key += QString::number(port);
    }
    const qsizetype pathFrom = key.size();
    AppendEscapes(url.path(QUrl::FullyEncoded), key);
    const bool query = url.hasQuery();
    if (key.size() == pathFrom)
        key += u'/';
    // A trailing slash goes, and so does a path that is only "/" unless a query follows it.
    if (slash && key.endsWith(u'/') &&
        (key.size() - pathFrom > 1 || (key.size() - pathFrom == 1 && !query)))
        key.chop(1);
    if (query) {
        key += u'?';
        AppendEscapes(url.query(QUrl::FullyEncoded), key);
    }
    return key;
}
