#include "core/filteroptions.h"
#include "core/comparisonoptions.h"

#include "core/keys/chartables.h"
#include "core/keys/contactkeys.h"

#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>

namespace {

// A character whose key must be made by ICU on the whole line.
constexpr char16_t kComplex = 0xFFFF;

const UNormalizer2* Nfkc() {
    UErrorCode error = U_ZERO_ERROR;
    const UNormalizer2* nfkc = unorm2_getNFKCInstance(&error);
    return U_SUCCESS(error) ? nfkc : nullptr;
}

// Applies NFKC and/or full case folding to `in`, writing into `out`; ICU reports the length it
// needs, and the buffer is grown to that before the call is repeated.
template <typename Call> void IcuInto(QString& out, Call call) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        UErrorCode error = U_ZERO_ERROR;
        const int32_t length =
            call(reinterpret_cast<UChar*>(out.data()), int32_t(out.size()), &error);
        if (error == U_BUFFER_OVERFLOW_ERROR || error == U_STRING_NOT_TERMINATED_WARNING) {
            out.resize(qsizetype(length) + 1);
            continue;
        }
        out.resize(U_SUCCESS(error) ? length : 0);
        return;
    }
}

void Normalize(QStringView in, QString& out) {
    out.resize(in.size() + 16);
    IcuInto(out, [&](UChar* dest, int32_t capacity, UErrorCode* error) {
        return unorm2_normalize(Nfkc(), reinterpret_cast<const UChar*>(in.utf16()),
                                int32_t(in.size()), dest, capacity, error);
    });
}

void FoldCase(QStringView in, QString& out) {
    out.resize(in.size() + 16);
    IcuInto(out, [&](UChar* dest, int32_t capacity, UErrorCode* error) {
        return u_strFoldCase(dest, capacity, reinterpret_cast<const UChar*>(in.utf16()),
                             int32_t(in.size()), U_FOLD_CASE_DEFAULT, error);
    });
}

// For each BMP character, its key when it stands among characters of the same kind, or kComplex.
// A character that has a normalisation boundary before it normalises on its own whatever
// surrounds it, and case folding never looks at neighbours; so a line made only of such
// characters, each giving one UTF-16 unit, has as key the concatenation of theirs. Most
// characters are their own key (normalisation leaves them alone in any company, folding does
// not change them): those are told by their properties, and ICU is asked only for the rest.
std::vector<char16_t> BuildSimpleTable(bool ignoreWidth, bool ignoreCase) {
    std::vector<char16_t> table(0x10000, kComplex);
    QString one, normalized, folded;
    for (char32_t c = 0; c < 0x10000; ++c) {
        if (c == kComplex || (c >= 0xD800 && c <= 0xDFFF))
            continue;
        const auto uc = UChar32(c);
        const bool widthKeeps = !ignoreWidth || unorm2_isInert(Nfkc(), uc);
        const bool caseKeeps = !ignoreCase || !u_hasBinaryProperty(uc, UCHAR_CASE_SENSITIVE);
        if (widthKeeps && caseKeeps) {
            table[c] = char16_t(c);
            continue;
        }
        if (ignoreWidth && !unorm2_hasBoundaryBefore(Nfkc(), uc))
            continue;
        one = QChar(char16_t(c));
        QStringView key = one;
        if (ignoreWidth) {
            Normalize(key, normalized);
            key = normalized;
        }
        if (ignoreCase) {
            FoldCase(key, folded);
            key = folded;
        }
        if (key.size() == 1 && key[0].unicode() != kComplex && !key[0].isSurrogate())
            table[c] = key[0].unicode();
    }
    return table;
}

// The table for the options, made the first time it is needed (none when neither is asked for).
const std::vector<char16_t>* SimpleTable(bool ignoreWidth, bool ignoreCase) {
    if (!ignoreWidth && !ignoreCase)
        return nullptr;
    if (!ignoreWidth) {
        static const std::vector<char16_t> caseOnly = BuildSimpleTable(false, true);
        return &caseOnly;
    }
    if (!ignoreCase) {
        static const std::vector<char16_t> widthOnly = BuildSimpleTable(true, false);
        return &widthOnly;
    }
    static const std::vector<char16_t> both = BuildSimpleTable(true, true);
    return &both;
}

} // namespace

QStringView TrimWhiteSpace(QStringView line) {
    const auto& space = WhiteSpaceTable();
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && space[line[begin].unicode()])
        ++begin;
    while (end > begin && space[line[end - 1].unicode()])
        --end;
    return line.sliced(begin, end - begin);
}

LineKeyMaker::LineKeyMaker(const FilterOptions& options)
    : trim_(options.trim), ignoreCase_(options.ignoreCase), ignoreWidth_(options.ignoreWidth),
      whole_(options.key.isDefault()),
      simple_(SimpleTable(options.ignoreWidth, options.ignoreCase)), extractor_(options.key),
      normalizer_(options.key), contact_(options.key) {}

QStringView LineKeyMaker::key(QStringView line, bool* keyless) {
    if (keyless)
        *keyless = false;
    if (!whole_)
        return keyOfParts(line, keyless);
    if (trim_)
        line = TrimWhiteSpace(line);
    if (!simple_)
        return line;
    return transformed(line);
}

QStringView LineKeyMaker::keyOfParts(QStringView line, bool* keyless) {
    const QStringView trimmed = trim_ ? TrimWhiteSpace(line) : line;
    if (trimmed.isEmpty())
        return trimmed; // blank
    QStringView key;
    if (!extractor_.find(line)) {
        // a column is missing or the pattern finds nothing
    } else if (extractor_.partCount() == 1) {
        key = keyOfPart(extractor_.part(0));
    } else {
        // Each column's key is made in the same buffers: each is copied out before the next.
        joined_.resize(0);
        bool any = false;
        for (qsizetype i = 0; i < extractor_.partCount(); ++i) {
            const QStringView column = keyOfPart(extractor_.part(i));
            any = any || !column.isEmpty();
            AppendKeyColumn(joined_, column, i == 0);
        }
        if (any)
            key = joined_;
    }
    if (key.isEmpty() && keyless)
        *keyless = true;
    return key.isEmpty() ? QStringView() : key;
}

void LineKeyMaker::letGoOfBuffers(qsizetype units) {
    for (QString* buffer : {&contactKey_, &buffer_, &scratch_, &joined_})
        LetGoIfLarger(*buffer, units);
    extractor_.letGoOfBuffers(units);
    normalizer_.letGoOfBuffers(units);
}

QStringView LineKeyMaker::keyOfPart(QStringView part) {
    if (trim_)
        part = TrimWhiteSpace(part);
    if (simple_)
        part = transformed(part);
    if (normalizer_.active()) {
        part = normalizer_.apply(part);
        if (trim_)
            part = TrimWhiteSpace(part);
    }
    switch (contact_.kind) {
    case KeyRule::Kind::Text:
        return part;
    case KeyRule::Kind::Phone:
        contactKey_ = PhoneKey(part, contact_.region);
        break;
    case KeyRule::Kind::Email:
        contactKey_ = EmailKey(part, contact_.plus, contact_.gmail);
        break;
    case KeyRule::Kind::Url:
        contactKey_ = UrlKey(part, contact_.www, contact_.slash, contact_.scheme);
        break;
    }
    return contactKey_;
}

QStringView LineKeyMaker::transformed(QStringView line) {
    const std::vector<char16_t>& simple = *simple_;
    const qsizetype n = line.size();
    const char16_t* in = line.utf16();
    qsizetype i = 0;
    // Most lines are their own key: look for the first character that changes.
    while (i < n && simple[in[i]] == in[i])
        ++i;
    if (i == n)
        return line;
    buffer_.resize(n);
    auto* out = reinterpret_cast<char16_t*>(buffer_.data());
    std::copy(in, in + i, out);
    for (; i < n; ++i) {
        const char16_t k = simple[in[i]];
        if (k == kComplex)
            break;
        out[i] = k;
    }
    if (i == n)
        return buffer_;
    // Something ICU must see whole: combining marks, surrogate pairs, escaped bytes, characters
    // whose key is longer than one unit.
    QStringView key = line;
    if (ignoreWidth_) {
        Normalize(key, scratch_);
        key = scratch_;
    }
    if (!ignoreCase_)
        return scratch_;
    FoldCase(key, buffer_);
    return buffer_;
}

bool FilterOptions::changesText() const {
    for (const ComparisonOption& option : ComparisonOptions()) {
        if (option.transformsLines && OptionValue(option, *this) != DefaultOptionValue(option))
            return true;
    }
    return false;
}
