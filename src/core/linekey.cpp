#include "core/linekey.h"

#include "core/comparisonoptions.h"
#include "core/keys/chartables.h"
#include "core/shown.h"

#include <algorithm>
#include <climits>

namespace {

constexpr char16_t kQuote = u'"';
constexpr char16_t kComma = u',';

// The source that takes effect: columns without a number and an empty pattern are the whole line.
KeyRule::Source EffectiveSource(const KeyRule& rule) {
    if (rule.source == KeyRule::Source::Columns && rule.columns.empty())
        return KeyRule::Source::WholeLine;
    if (rule.source == KeyRule::Source::Pattern && rule.pattern.isEmpty())
        return KeyRule::Source::WholeLine;
    return rule.source;
}

template <typename T> std::optional<T> Fail(QString* error, const QString& message) {
    if (error)
        *error = message;
    return std::nullopt;
}

bool AllAsciiDigits(QStringView text) {
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

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

bool KeyRule::operator==(const KeyRule& other) const {
    const Source effective = EffectiveSource(*this);
    if (effective != EffectiveSource(other) || !SameKeyOptions(*this, other))
        return false;
    if (sumColumn != 0 && !(separator == other.separator))
        return false;
    if ((kind == Kind::Phone && region != other.region) || plus != other.plus ||
        gmail != other.gmail || www != other.www || slash != other.slash || scheme != other.scheme)
        return false;
    switch (effective) {
    case Source::WholeLine:
        return true;
    case Source::Columns:
        return separator == other.separator && columns == other.columns;
    case Source::Pattern:
        return pattern == other.pattern;
    }
    return true;
}

bool KeyRule::comparesWholeLine() const {
    return EffectiveSource(*this) == Source::WholeLine && sumColumn == 0;
}

bool KeyRule::keysAllButSum() const {
    return EffectiveSource(*this) == Source::WholeLine && sumColumn > 0;
}

std::optional<std::vector<int>> ParseFieldList(QStringView text, QString* error) {
    const QString example = QStringLiteral("列号从 1 起，几列以逗号分开，例如 2 或 1,3。");
    if (text.trimmed().isEmpty())
        return Fail<std::vector<int>>(error, QStringLiteral("没有给出列号；") + example);
    std::vector<int> columns;
    for (const QStringView item : text.split(QChar(kComma))) {
        const QStringView number = item.trimmed();
        if (number.isEmpty())
            return Fail<std::vector<int>>(
                error, QStringLiteral("列号“%1”中有空项；").arg(Shown(text)) + example);
        if (number.startsWith(u'-') && AllAsciiDigits(number.sliced(1)))
            return Fail<std::vector<int>>(
                error, QStringLiteral("列号“%1”是负数；").arg(Shown(number)) + example);
        bool ok = false;
        const qlonglong value = AllAsciiDigits(number) ? number.toLongLong(&ok) : 0;
        if (!ok && !AllAsciiDigits(number))
            return Fail<std::vector<int>>(
                error, QStringLiteral("“%1”不是列号；").arg(Shown(number)) + example);
        if (!ok || value > INT_MAX)
            return Fail<std::vector<int>>(
                error, QStringLiteral("列号“%1”太大，最大为 %2。").arg(Shown(number)).arg(INT_MAX));
        if (value == 0)
            return Fail<std::vector<int>>(error, QStringLiteral("列号不能是 0；") + example);
        columns.push_back(int(value));
    }
    return columns;
}

std::optional<Separator> ParseSeparator(QStringView text, QString* error) {
    Separator separator;
    if (text.compare(u"tab", Qt::CaseInsensitive) == 0 || text == u"\\t")
        return separator;
    if (text.compare(u"space", Qt::CaseInsensitive) == 0) {
        separator.kind = Separator::Kind::Space;
        return separator;
    }
    if (text.compare(u"csv", Qt::CaseInsensitive) == 0) {
        separator.kind = Separator::Kind::Csv;
        return separator;
    }
    const bool one = (text.size() == 1 && !text[0].isSurrogate()) ||
                     (text.size() == 2 && text[0].isHighSurrogate() && text[1].isLowSurrogate());
    if (!one) {
        const QString what = QStringLiteral("应为一个字符，或 tab（制表符）、space（连续的空白）、"
                                            "csv（逗号分隔，可带引号）之一。");
        return Fail<Separator>(
            error, text.isEmpty()
                       ? QStringLiteral("分隔符为空；") + what
                       : QStringLiteral("分隔符“%1”不是一个字符；").arg(Shown(text)) + what);
    }
    separator.character = text.toString();
    return separator;
}

QString PatternError(const QString& pattern) {
    if (pattern.isEmpty())
        return QStringLiteral("正则表达式为空；应给出键的样子，例如 ^(\\S+)。");
    const QRegularExpression re(pattern, kKeyPatternOptions);
    if (re.isValid())
        return {};
    return QStringLiteral("正则表达式“%1”有误：%2（位置 %3）。")
        .arg(Shown(pattern), re.errorString())
        .arg(re.patternErrorOffset());
}

std::vector<QString> KeyColumns(QStringView key, qsizetype count) {
    if (count <= 1)
        return {key.toString()};
    std::vector<QString> columns(1);
    for (qsizetype i = 0; i < key.size(); ++i) {
        const char16_t c = key[i].unicode();
        if (c == kColumnEscape && i + 1 < key.size())
            columns.back().append(key[++i]);
        else if (c == kColumnJoin)
            columns.emplace_back();
        else
            columns.back().append(key[i]);
    }
    return columns;
}

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

// Goes through the columns of `line` up to the last one asked for. next(pos, span) sets the span
// of the column that starts at pos and returns where the following column starts, or -1 when this
// one is the last of the line.
template <typename Next> bool KeyExtractor::scanColumns(QStringView line, Next next) {
    const auto wantedCount = qsizetype(wanted_.size());
    qsizetype pos = 0;
    qsizetype column = 1;
    qsizetype w = 0;
    if (rule_.separator.kind == Separator::Kind::Space) {
        const auto& space = WhiteSpaceTable();
        while (pos < line.size() && space[line[pos].unicode()])
            ++pos;
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
        const auto& space = WhiteSpaceTable();
        while (pos < line.size() && space[line[pos].unicode()])
            ++pos;
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
