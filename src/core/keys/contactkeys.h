#pragma once

#include <QString>
#include <QStringView>

// Keys that understand what a part of a line holds: a phone number, an e-mail address or a web
// address. Each returns the key, or an empty string when the part holds none of that kind. The
// functions may run on several threads at once; what they keep between calls (the keys of texts
// already read, to read them no more) never changes a key.

// The number in E.164 form ("+8613800138000"), read by libphonenumber with `region` (ISO 3166,
// "CN") for numbers written without a country code; empty when it is no valid number.
QString PhoneKey(QStringView part, const QString& region);
// Whether libphonenumber knows `region` ("CN", "US").
bool IsPhoneRegion(const QString& region);

// The first e-mail address: the part before "@" as written, the domain in lower case and in its
// ASCII (IDNA) form. `plus` drops a "+tag" before the "@"; `gmail` drops the dots before the "@"
// of gmail.com and googlemail.com addresses and reads googlemail.com as gmail.com.
QString EmailKey(QStringView part, bool plus, bool gmail);

// The first web address with a scheme, normalised: scheme and host in lower case, the host in its
// ASCII form, the default port and the fragment dropped, an empty path as "/", escapes of
// unreserved characters decoded and the others in upper-case hex, non-ASCII characters as the
// escapes of their UTF-8. `www` drops a leading "www." of the host, `slash` a trailing "/" of the
// path, `scheme` counts http and https as one.
QString UrlKey(QStringView part, bool www, bool slash, bool scheme);

// A domain in lower case and its ASCII form (UTS #46); empty when it cannot be one.
QString DomainToAscii(QStringView domain);
