// The part of a line a key rule takes: its columns (plain or quoted), what its pattern captures, or
// every column but the one summed.
#include "core/linekey.h"

#include "core/keys/chartables.h"
#include "core/linekey_p.h"

#include <algorithm>

namespace {

constexpr char16_t kQuote = u'"';
constexpr char16_t kComma = u',';

// True when the text holds a surrogate without its other half.
bool HasLoneSurrogate(QStringView text) {
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (!c.isSurrogate())
            continue;
        if (c.isHighSurrogate() && i + 1 < n && text[i + 1].isLowSurrogate())
            ++i;
        else
            return true;
    }
    return false;
}

// How far a search for one unit looks by itself before it asks Qt's vectorised search, which
// costs more to start than a column of a few words takes to go through.
constexpr qsizetype kShortSearch = 32;

// Where `unit` next occurs in `line` from `from` on, or -1.
qsizetype FindUnit(QStringView line, char16_t unit, qsizetype from) {
    const qsizetype stop = std::min(line.size(), from + kShortSearch);
    const char16_t* data = line.utf16();
    for (qsizetype i = from; i < stop; ++i) {
        if (data[i] == unit)
            return i;
    }
    return stop == line.size() ? -1 : line.indexOf(QChar(unit), stop);
}

// The text of a quoted column: `raw` runs from after its opening quote to its end. Doubled quotes
// stand for one; what follows the closing quote is added as it stands.
void Unescape(QStringView raw, QString& out) {
    out.resize(0);
    const qsizetype n = raw.size();
    qsizetype from = 0;
    while (from < n) {
        const qsizetype quote = raw.indexOf(QChar(kQuote), from);
        if (quote < 0) {
            out.append(raw.sliced(from));
            return;
        }
        out.append(raw.sliced(from, quote - from));
        if (quote + 1 < n && raw[quote + 1] == QChar(kQuote)) {
            out.append(QChar(kQuote));
            from = quote + 2;
            continue;
        }
        out.append(raw.sliced(quote + 1)); // the closing quote
        return;
    }
}

} // namespace

KeyExtractor::KeyExtractor(const KeyRule& rule) : rule_(rule) {
    rule_.source = EffectiveSource(rule);
    if (rule_.keysAllButSum()) {
        rule_.source = KeyRule::Source::Columns;
        allBut_ = rule_.sumColumn;
        return;
    }
    switch (rule_.source) {
    case KeyRule::Source::WholeLine:
        parts_.resize(1);
        break;
    case KeyRule::Source::Columns:
        wanted_ = rule_.columns;
        std::sort(wanted_.begin(), wanted_.end());
        wanted_.erase(std::unique(wanted_.begin(), wanted_.end()), wanted_.end());
        spans_.resize(wanted_.size());
        for (const int column : rule_.columns)
            partOf_.push_back(std::lower_bound(wanted_.begin(), wanted_.end(), column) -
                              wanted_.begin());
        parts_.resize(rule_.columns.size());
        unescaped_.resize(rule_.columns.size());
        break;
    case KeyRule::Source::Pattern:
        matcher_ = std::make_unique<PatternMatcher>(rule_.pattern);
        group_ = matcher_->captureCount() > 0 ? 1 : 0;
        parts_.resize(1);
        break;
    }
}

// A copy compiles its own pattern: matching never shares state between threads.
KeyExtractor& KeyExtractor::operator=(const KeyExtractor& other) {
    if (this != &other)
        *this = KeyExtractor(other.rule_);
    return *this;
}

bool KeyExtractor::find(QStringView line) {
    undecided_ = false;
    switch (rule_.source) {
    case KeyRule::Source::WholeLine:
        parts_[0] = line;
        return true;
    case KeyRule::Source::Columns:
        return findColumns(line);
    case KeyRule::Source::Pattern:
        return findByPattern(line);
    }
    return false;
}

namespace {
// Where the first column of a line split at white space starts: after the white space it begins
// with (the line's length when it is nothing else).
qsizetype FirstAfterSpace(QStringView line) {
    const auto& space = WhiteSpaceTable();
    qsizetype pos = 0;
    while (pos < line.size() && space[line[pos].unicode()])
        ++pos;
    return pos;
}
} // namespace

// Goes through the columns of `line` up to the last one asked for. next(pos, span) sets the span
// of the column that starts at pos and returns where the following column starts, or -1 when this
// one is the last of the line.
template <typename Next> bool KeyExtractor::scanColumns(QStringView line, Next next) {
    const auto wantedCount = qsizetype(wanted_.size());
    qsizetype pos = 0;
    qsizetype column = 1;
    qsizetype w = 0;
    if (rule_.separator.kind == Separator::Kind::Space) {
        pos = FirstAfterSpace(line);
        if (pos == line.size())
            return false; // no column at all
    }
    while (true) {
        Span span;
        const qsizetype after = next(pos, span);
        if (column == wanted_[w]) {
            spans_[w] = span;
            if (++w == wantedCount)
                break;
        }
        if (after < 0)
            return false;
        pos = after;
        ++column;
    }
    for (std::size_t i = 0; i < parts_.size(); ++i)
        setPart(i, line, spans_[partOf_[i]]);
    return true;
}

void KeyExtractor::setPart(std::size_t i, QStringView line, const Span& span) {
    const QStringView text = line.sliced(span.begin, span.end - span.begin);
    if (!span.unescape) {
        parts_[i] = text;
        return;
    }
    Unescape(text, unescaped_[i]);
    parts_[i] = unescaped_[i];
}

// Every column of `line` but allBut_, as many parts as there are; the line needs not have that
// column.
template <typename Next> bool KeyExtractor::scanAllBut(QStringView line, Next next) {
    qsizetype pos = 0;
    if (rule_.separator.kind == Separator::Kind::Space) {
        pos = FirstAfterSpace(line);
        if (pos == line.size())
            return false; // no column at all
    }
    std::size_t count = 0;
    for (qsizetype column = 1;; ++column) {
        Span span;
        const qsizetype after = next(pos, span);
        if (column != allBut_) {
            if (parts_.size() <= count)
                parts_.resize(count + 1);
            if (unescaped_.size() <= count)
                unescaped_.resize(count + 1);
            setPart(count++, line, span);
        }
        if (after < 0)
            break;
        pos = after;
    }
    parts_.resize(count);
    return count > 0;
}

bool KeyExtractor::findColumns(QStringView line) {
    const auto scan = [&](auto next) {
        return allBut_ > 0 ? scanAllBut(line, next) : scanColumns(line, next);
    };
    const qsizetype size = line.size();
    switch (rule_.separator.kind) {
    case Separator::Kind::Character: {
        const QStringView separator = rule_.separator.character;
        const bool single = separator.size() == 1;
        const char16_t unit = separator.isEmpty() ? u'\0' : separator[0].unicode();
        return scan([&](qsizetype pos, Span& span) -> qsizetype {
            const qsizetype end = single                ? FindUnit(line, unit, pos)
                                  : separator.isEmpty() ? -1 // never separated
                                                        : line.indexOf(separator, pos);
            span = {pos, end < 0 ? size : end, false};
            return end < 0 ? -1 : end + separator.size();
        });
    }
    case Separator::Kind::Space: {
        const auto& space = WhiteSpaceTable();
        return scan([&](qsizetype pos, Span& span) -> qsizetype {
            qsizetype end = pos;
            while (end < size && !space[line[end].unicode()])
                ++end;
            span = {pos, end, false};
            qsizetype next = end;
            while (next < size && space[line[next].unicode()])
                ++next;
            return next == size ? -1 : next;
        });
    }
    case Separator::Kind::Csv:
        return scan([&](qsizetype pos, Span& span) -> qsizetype {
            if (pos < size && line[pos] == QChar(kQuote)) {
                bool doubled = false;
                qsizetype from = pos + 1;
                while (true) {
                    const qsizetype quote = FindUnit(line, kQuote, from);
                    if (quote < 0) { // never closed: the rest of the line
                        span = {pos + 1, size, doubled};
                        return -1;
                    }
                    if (quote + 1 < size && line[quote + 1] == QChar(kQuote)) {
                        doubled = true;
                        from = quote + 2;
                        continue;
                    }
                    const qsizetype comma = FindUnit(line, kComma, quote + 1);
                    const qsizetype end = comma < 0 ? size : comma;
                    span = end == quote + 1 && !doubled ? Span{pos + 1, quote, false}
                                                        : Span{pos + 1, end, true};
                    return comma < 0 ? -1 : comma + 1;
                }
            }
            const qsizetype comma = FindUnit(line, kComma, pos);
            span = {pos, comma < 0 ? size : comma, false};
            return comma < 0 ? -1 : comma + 1;
        });
    }
    return false;
}

bool KeyExtractor::findByPattern(QStringView line) {
    QStringView subject = line;
    if (HasLoneSurrogate(line)) {
        // The pattern reads only well-formed text; the offsets stay those of the line.
        subject_ = line.toString();
        const qsizetype n = subject_.size();
        for (qsizetype i = 0; i < n; ++i) {
            if (subject_[i].isHighSurrogate() && i + 1 < n && subject_[i + 1].isLowSurrogate())
                ++i;
            else if (subject_[i].isSurrogate())
                subject_[i] = QChar(QChar::ReplacementCharacter);
        }
        subject = subject_;
    }
    qsizetype start = -1;
    qsizetype length = 0;
    const PatternMatcher::Result result = matcher_->match(subject, group_, &start, &length);
    undecided_ = result == PatternMatcher::Result::Undecided;
    if (result != PatternMatcher::Result::Match || start < 0)
        return false; // no match, or the group took no part in it
    parts_[0] = line.sliced(start, length);
    return true;
}
