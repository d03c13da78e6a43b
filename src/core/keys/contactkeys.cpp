#include "core/keys/contactkeys.h"

#include <QRegularExpression>
#include <QUrl>

#include <phonenumbers/phonenumberutil.h>
#include <unicode/uidna.h>

#include <string>

namespace {

using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberUtil;

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

// A path or query with unreserved escapes decoded, the others in upper-case hex, and every byte
// outside printable ASCII escaped.
QString NormalizeEscapes(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    QByteArray out;
    out.reserve(bytes.size());
    static const char kHex[] = "0123456789ABCDEF";
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto c = char(bytes[i]);
        int byte = -1;
        if (c == '%' && i + 2 < bytes.size() + 0 && HexValue(bytes[i + 1]) >= 0 &&
            HexValue(bytes[i + 2]) >= 0) {
            byte = HexValue(bytes[i + 1]) * 16 + HexValue(bytes[i + 2]);
            i += 2;
        } else if (static_cast<unsigned char>(c) >= 0x80 || c <= ' ') {
            byte = static_cast<unsigned char>(c);
        } else {
            out.append(c);
            continue;
        }
        if (Unreserved(char(byte))) {
            out.append(char(byte));
        } else {
            out.append('%');
            out.append(kHex[byte >> 4]);
            out.append(kHex[byte & 15]);
        }
    }
    return QString::fromLatin1(out);
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

} // namespace

QString DomainToAscii(QStringView domain) {
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

QString PhoneKey(QStringView part, const QString& region) {
    const PhoneNumberUtil* util = PhoneNumberUtil::GetInstance();
    const std::string text = part.toUtf8().toStdString();
    PhoneNumber number;
    if (util->Parse(text, region.toStdString(), &number) != PhoneNumberUtil::NO_PARSING_ERROR ||
        !util->IsValidNumber(number))
        return {};
    std::string formatted;
    util->Format(number, PhoneNumberUtil::E164, &formatted);
    return QString::fromStdString(formatted);
}

bool IsPhoneRegion(const QString& region) {
    return PhoneNumberUtil::GetInstance()->GetCountryCodeForRegion(region.toStdString()) != 0;
}

QString EmailKey(QStringView part, bool plus, bool gmail) {
    static const QRegularExpression address(
        QStringLiteral(R"(([\w.!#$%&'*+/=?^`{|}~-]+)@([\w-]+(?:\.[\w-]+)+))"),
        QRegularExpression::UseUnicodePropertiesOption);
    const QRegularExpressionMatch match = address.match(part);
    if (!match.hasMatch())
        return {};
    QString local = match.captured(1);
    QString domain = DomainToAscii(match.capturedView(2));
    if (domain.isEmpty())
        return {};
    if (plus) {
        if (const qsizetype at = local.indexOf(u'+'); at > 0)
            local.truncate(at);
    }
    if (gmail && (domain == u"gmail.com" || domain == u"googlemail.com")) {
        local.remove(u'.');
        domain = QStringLiteral("gmail.com");
    }
    if (local.isEmpty())
        return {};
    return local + u'@' + domain;
}

QString UrlKey(QStringView part, bool www, bool slash, bool scheme) {
    static const QRegularExpression address(
        QStringLiteral(R"([A-Za-z][A-Za-z0-9+.-]*://[^\s<>"]+)"),
        QRegularExpression::UseUnicodePropertiesOption);
    const QRegularExpressionMatch match = address.match(part);
    if (!match.hasMatch())
        return {};
    const QUrl url(match.captured(0), QUrl::TolerantMode);
    if (!url.isValid() || url.host().isEmpty())
        return {};
    QString key = url.scheme().toLower();
    if (scheme && key == u"https")
        key = QStringLiteral("http");
    key += QStringLiteral("://");
    if (const QString user = url.userInfo(QUrl::FullyEncoded); !user.isEmpty())
        key += NormalizeEscapes(user) + u'@';
    QString host = url.host(QUrl::FullyDecoded);
    if (host.contains(u':')) {
        key += u'[' + host.toLower() + u']';
    } else {
        host = DomainToAscii(host);
        if (host.isEmpty())
            return {};
        if (www && host.startsWith(QStringLiteral("www.")))
            host.remove(0, 4);
        key += host;
    }
    if (const int port = url.port(); port >= 0 && port != DefaultPort(url.scheme().toLower()))
        key += u':' + QString::number(port);
    QString path = NormalizeEscapes(url.path(QUrl::FullyEncoded));
    if (path.isEmpty())
        path = QStringLiteral("/");
    if (slash && path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    else if (slash && path == u"/" && !url.hasQuery())
        path.clear();
    key += path;
    if (url.hasQuery())
        key += u'?' + NormalizeEscapes(url.query(QUrl::FullyEncoded));
    return key;
}
