#pragma once

// The one deliberately simple reference of the filter, which the tests, the fuzzer and the
// benchmarks compare the engine with: the rules written out plainly, lines kept in a list and
// looked up in hash maps, with Qt's own Unicode functions (not ICU and tables, which the program
// uses). Simple case folding is full folding on every test alphabet.

#include "core/comparisonoptions.h"
#include "core/filteroptions.h"
#include "core/linekey.h"
#include "core/lines.h"
#include "referencecolumns.h"
#include "referencesums.h"

#include <QCollator>
#include <QHash>
#include <QLocale>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QRegularExpressionMatch>
#include <QSet>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <optional>
#include <vector>

inline bool IsFormat(QChar c) {
    return c.category() == QChar::Other_Format;
}

// The key of a line, by the rules written out plainly for the test alphabets: its columns (or
// what the pattern captures) with the options applied to each, one empty column for a blank line,
// nothing for a line without a key.
inline std::optional<QStringList> ReferenceKeyColumns(const QString& line, const FilterOptions& o) {
    auto trimmed = [](QString s) {
        while (!s.isEmpty() && s.front().isSpace())
            s.remove(0, 1);
        while (!s.isEmpty() && s.back().isSpace())
            s.chop(1);
        return s;
    };
    if ((o.trim ? trimmed(line) : line).isEmpty())
        return QStringList{QString()};
    QStringList parts;
    const KeyRule& k = o.key;
    // With a sum and the whole line, every column but the summed one.
    const bool allButSum = k.sumColumn > 0 && k.source == KeyRule::Source::WholeLine;
    const QStringList all = k.source == KeyRule::Source::Columns || allButSum
                                ? ReferenceColumns(line, k.separator)
                                : QStringList();
    if (allButSum) {
        for (qsizetype i = 0; i < all.size(); ++i) {
            if (i + 1 != k.sumColumn)
                parts << all[i];
        }
        if (parts.isEmpty())
            return std::nullopt;
    } else if (k.source == KeyRule::Source::WholeLine) {
        parts << line;
    } else if (k.source == KeyRule::Source::Pattern) {
        const QRegularExpressionMatch m =
            QRegularExpression(k.pattern, QRegularExpression::UseUnicodePropertiesOption)
                .match(line);
        const int group = m.regularExpression().captureCount() > 0 ? 1 : 0;
        if (!m.hasMatch() || !m.hasCaptured(group))
            return std::nullopt;
        parts << m.captured(group);
    } else {
        for (const int column : k.columns) {
            if (column > all.size())
                return std::nullopt;
            parts << all[column - 1];
        }
    }
    bool any = false;
    for (QString& p : parts) {
        if (o.trim)
            p = trimmed(p);
        if (o.ignoreWidth)
            p = p.normalized(QString::NormalizationForm_KC);
        if (o.ignoreCase)
            p = p.toCaseFolded();
        QString n;
        bool leading = true;
        for (const QChar c : p) {
            if (k.digitsOnly) {
                if (c.isDigit())
                    n += QChar(u'0' + c.digitValue());
                else if (leading && (c == u'+' || c == u'＋'))
                    n += u'+';
                else if (c.isSpace() || IsFormat(c))
                    continue;
                leading = false;
            } else if (!(k.ignoreSpaces && c.isSpace()) && !(k.ignorePunct && c.isPunct()) &&
                       !(k.ignoreInvisible && IsFormat(c))) {
                n += c;
            }
        }
        if (k.digitsOnly && !std::any_of(n.begin(), n.end(), [](QChar c) { return c.isDigit(); }))
            n.clear();
        p = o.trim ? trimmed(n) : n;
        any = any || !p.isEmpty();
    }
    if (!any)
        return std::nullopt;
    return parts;
}

// A line's key as one text (its columns joined), with what it is: blank, without a key, or keyed.
struct ReferenceLineKey {
    enum class Kind { Keyed, Blank, Keyless };
    Kind kind = Kind::Keyed;
    QString key;
};
inline ReferenceLineKey ReferenceKey(const QString& line, const FilterOptions& o) {
    const std::optional<QStringList> columns = ReferenceKeyColumns(line, o);
    if (!columns)
        return {ReferenceLineKey::Kind::Keyless, {}};
    if (*columns == QStringList{QString()})
        return {ReferenceLineKey::Kind::Blank, {}};
    return {ReferenceLineKey::Kind::Keyed, columns->join(QChar(0x1F))};
}

// The lines of a text as the program sees them: a line ends at CR LF, a lone LF or a lone CR (and
// the other breaks a text box takes), and the last line break ends the last line.
inline QStringList ReferenceLines(const QString& text) {
    if (text.isEmpty())
        return {};
    QStringList lines = NormalizeLineBreaks(text).split(QStringLiteral("\r\n"));
    if (lines.size() > 1 && lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

// A list the input is compared with.
struct ReferenceList {
    bool excludes = true; // otherwise intersects
    QString text;
    QString name{}; // as the removed lines name it
};

// The edit distance of two texts by their code points, cell by cell over the whole table.
inline int ReferenceEditDistance(const QList<uint>& a, const QList<uint>& b) {
    std::vector<int> row(std::size_t(b.size()) + 1);
    for (qsizetype j = 0; j <= b.size(); ++j)
        row[std::size_t(j)] = int(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = int(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int above = row[std::size_t(j)];
            row[std::size_t(j)] = std::min({above + 1, row[std::size_t(j) - 1] + 1,
                                            diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[std::size_t(b.size())];
}

// Whether two keys are near repeats at `percent`: 100 * d <= (100 - percent) * the longer length.
inline bool ReferenceSimilar(const QList<uint>& a, const QList<uint>& b, int percent) {
    return 100 * qint64(ReferenceEditDistance(a, b)) <=
           qint64(100 - percent) * std::max(a.size(), b.size());
}

// What becomes of each line: whether it stays (after how often its key occurs), and otherwise
// why it goes, as the removed lines say it: the number of the line it repeats, a list's name,
// "blank", or "unique".
struct ReferenceFate {
    bool keep = false;
    int count = 1;
    QString why;
    QString text{}; // with a sum, a kept line that merges copies as it is written
};

// Blank lines never compare: the first line stays even when blank, later ones go, unless every
// blank line is kept. A line without a key stays where a line that occurs once does (not where
// only repeated lines are listed, nor with intersecting lists). A keyed line goes when an
// excluding list holds its key, or an intersecting list does not. A removed repeat names the copy
// that stays; where none does, the first copy (and the first copy the second). With near repeats,
// a keyed line that the lists let stay is compared with every line kept before it, in order, and
// goes for the first one it is similar to.
inline std::vector<ReferenceFate> ReferenceFates(const QStringList& lines, const FilterOptions& o,
                                                 const std::vector<ReferenceList>& lists) {
    std::vector<QSet<QString>> listKeys;
    int firstIntersecting = -1;
    for (std::size_t i = 0; i < lists.size(); ++i) {
        QSet<QString> keys;
        for (const QString& line : ReferenceLines(lists[i].text)) {
            const ReferenceLineKey k = ReferenceKey(line, o);
            if (k.kind == ReferenceLineKey::Kind::Keyed)
                keys.insert(k.key);
        }
        listKeys.push_back(keys);
        if (!lists[i].excludes && firstIntersecting < 0)
            firstIntersecting = int(i);
    }
    // The list that removes a key: the first excluding one that holds it, or else the first
    // intersecting one that does not.
    auto removingList = [&](const QString& key) -> std::optional<std::size_t> {
        for (std::size_t i = 0; i < lists.size(); ++i) {
            if (lists[i].excludes && listKeys[i].contains(key))
                return i;
        }
        for (std::size_t i = 0; i < lists.size(); ++i) {
            if (!lists[i].excludes && !listKeys[i].contains(key))
                return i;
        }
        return std::nullopt;
    };
    std::vector<ReferenceLineKey> keys;
    QHash<QString, QList<int>> copies; // the lines of each key
    int blanks = 0;
    for (int i = 0; i < lines.size(); ++i) {
        keys.push_back(ReferenceKey(lines[i], o));
        // With a sum, a line whose column is no number is merged with none.
        if (o.key.sumColumn > 0 && keys.back().kind == ReferenceLineKey::Kind::Keyed &&
            !ReferenceNumber(lines[i], o.key))
            keys.back() = {ReferenceLineKey::Kind::Keyless, {}};
        const ReferenceLineKey& k = keys.back();
        if (k.kind == ReferenceLineKey::Kind::Blank)
            ++blanks;
        if (k.kind == ReferenceLineKey::Kind::Keyed)
            copies[k.key] << i;
    }
    auto number = [](int i) { return QString::number(i + 1); };
    std::vector<std::pair<int, QList<uint>>> keptKeys; // with near repeats: the kept lines' keys
    std::vector<ReferenceFate> fates;
    for (int i = 0; i < lines.size(); ++i) {
        const ReferenceLineKey& k = keys[std::size_t(i)];
        ReferenceFate fate;
        if (k.kind == ReferenceLineKey::Kind::Blank) {
            fate.keep = o.keepBlank || i == 0;
            fate.count = o.keepBlank ? 1 : blanks;
            fate.why = QStringLiteral("blank");
        } else if (k.kind == ReferenceLineKey::Kind::Keyless) {
            fate.keep = o.keep != KeepMode::Repeated && firstIntersecting < 0;
            fate.why = firstIntersecting >= 0 ? lists[std::size_t(firstIntersecting)].name
                                              : QStringLiteral("unique");
        } else if (const auto list = removingList(k.key)) {
            fate.why = lists[*list].name;
        } else if (o.similar != 0) {
            const QList<uint> mine = k.key.toUcs4();
            const auto first =
                std::find_if(keptKeys.begin(), keptKeys.end(), [&](const auto& other) {
                    return ReferenceSimilar(mine, other.second, o.similar);
                });
            fate.keep = first == keptKeys.end();
            if (fate.keep)
                keptKeys.emplace_back(i, mine);
            else
                fate.why = number(first->first);
        } else {
            const QList<int>& all = copies[k.key];
            fate.count = int(all.size());
            int kept = -1;
            switch (o.keep) {
            case KeepMode::First:
                kept = all.front();
                break;
            case KeepMode::Last:
                kept = all.back();
                break;
            case KeepMode::Unique:
                kept = all.size() == 1 ? i : -1;
                break;
            case KeepMode::Repeated:
                kept = all.size() > 1 ? all.front() : -1;
                break;
            case KeepMode::Longest:
            case KeepMode::Shortest:
                // The first copy of the most (fewest) code points.
                kept = all.front();
                for (const int c : all) {
                    const auto here = lines[c].toUcs4().size();
                    const auto best = lines[kept].toUcs4().size();
                    if (o.keep == KeepMode::Longest ? here > best : here < best)
                        kept = c;
                }
                break;
            }
            fate.keep = kept == i;
            if (fate.keep && o.key.sumColumn > 0 && all.size() > 1) {
                QStringList numbers;
                for (const int c : all)
                    numbers << *ReferenceNumber(lines[c], o.key);
                fate.text = ReferenceReplaced(lines[i], o.key, ReferenceSum(numbers));
            }
            if (kept >= 0)
                fate.why = number(kept);
            else if (all.size() == 1)
                fate.why = QStringLiteral("unique");
            else
                fate.why = number(i == all.front() ? all[1] : all.front());
        }
        fates.push_back(fate);
    }
    return fates;
}

// Natural order, written out: a text as pieces, each a run of ASCII digits or one code point;
// a run of digits before any other piece, two runs by their value and then fewer leading zeros
// first, other pieces by code point, and a text that runs out first before the longer one.
inline int ReferenceNaturalCompare(const QString& a, const QString& b) {
    auto pieces = [](const QString& text) {
        QList<QList<uint>> out;
        for (const uint c : text.toUcs4()) {
            const bool digit = c >= '0' && c <= '9';
            if (digit && !out.isEmpty() && out.back().front() >= '0' && out.back().front() <= '9')
                out.back() << c;
            else
                out << QList<uint>{c};
        }
        return out;
    };
    const QList<QList<uint>> x = pieces(a);
    const QList<QList<uint>> y = pieces(b);
    for (qsizetype i = 0; i < std::min(x.size(), y.size()); ++i) {
        const bool dx = x[i].front() >= '0' && x[i].front() <= '9';
        const bool dy = y[i].front() >= '0' && y[i].front() <= '9';
        if (dx != dy)
            return dx ? -1 : 1;
        if (!dx) {
            if (x[i].front() != y[i].front())
                return x[i].front() < y[i].front() ? -1 : 1;
            continue;
        }
        QList<uint> vx = x[i];
        QList<uint> vy = y[i];
        while (!vx.isEmpty() && vx.front() == '0')
            vx.removeFirst();
        while (!vy.isEmpty() && vy.front() == '0')
            vy.removeFirst();
        if (vx.size() != vy.size())
            return vx.size() < vy.size() ? -1 : 1;
        if (vx != vy)
            return vx < vy ? -1 : 1;
        if (x[i].size() != y[i].size()) // fewer leading zeros first
            return x[i].size() < y[i].size() ? -1 : 1;
    }
    return x.size() == y.size() ? 0 : x.size() < y.size() ? -1 : 1;
}

// Puts kept lines (their indexes) in the options' sort order by their keys: a plain stable sort
// with a comparison written out for each order.
inline void ReferenceSort(QList<int>& kept, const QStringList& lines, const FilterOptions& o,
                          const std::vector<ReferenceFate>& fates) {
    if (o.sort == SortOrder::None)
        return;
    QCollator collator{QLocale(QLocale::Chinese, QLocale::China)};
    auto compare = [&](int a, int b) -> int {
        const QString x = ReferenceKey(lines[a], o).key;
        const QString y = ReferenceKey(lines[b], o).key;
        switch (o.sort) {
        case SortOrder::None:
            break;
        case SortOrder::Text: {
            const QList<uint> cx = x.toUcs4();
            const QList<uint> cy = y.toUcs4();
            return cx == cy ? 0 : cx < cy ? -1 : 1;
        }
        case SortOrder::Natural:
            return ReferenceNaturalCompare(x, y);
        case SortOrder::Pinyin:
            return collator.compare(x, y);
        case SortOrder::Length: {
            const qsizetype nx = x.toUcs4().size();
            const qsizetype ny = y.toUcs4().size();
            return nx == ny ? 0 : nx < ny ? -1 : 1;
        }
        case SortOrder::Count: {
            const int nx = fates[std::size_t(a)].count;
            const int ny = fates[std::size_t(b)].count;
            return nx == ny ? 0 : nx > ny ? -1 : 1;
        }
        }
        return 0;
    };
    std::stable_sort(kept.begin(), kept.end(), [&](int a, int b) {
        const int c = compare(a, b);
        return o.reverse ? c > 0 : c < 0;
    });
}

// The kept lines, each ended by CR LF, and with `counts` each after how often its key occurs and
// a tab; in the options' sort order.
inline QString ReferenceFilter(const QString& text, const FilterOptions& o = {},
                               bool counts = false, const std::vector<ReferenceList>& lists = {}) {
    const QStringList lines = ReferenceLines(text);
    const std::vector<ReferenceFate> fates = ReferenceFates(lines, o, lists);
    QList<int> kept;
    for (int i = 0; i < lines.size(); ++i) {
        if (fates[std::size_t(i)].keep)
            kept << i;
    }
    ReferenceSort(kept, lines, o, fates);
    QString out;
    for (const int i : kept)
        out += (counts ? QString::number(fates[std::size_t(i)].count) + u'\t' : QString()) +
               (fates[std::size_t(i)].text.isNull() ? lines[i] : fates[std::size_t(i)].text) +
               QStringLiteral("\r\n");
    return out;
}

// The removed lines as the engine writes them for one input: number, why, the line; each ended
// by CR LF.
inline QString ReferenceRemoved(const QString& text, const FilterOptions& o = {},
                                const std::vector<ReferenceList>& lists = {}) {
    const QStringList lines = ReferenceLines(text);
    const std::vector<ReferenceFate> fates = ReferenceFates(lines, o, lists);
    QString out;
    for (int i = 0; i < lines.size(); ++i) {
        const ReferenceFate& fate = fates[std::size_t(i)];
        if (!fate.keep)
            out += QString::number(i + 1) + u'\t' + fate.why + u'\t' + lines[i] +
                   QStringLiteral("\r\n");
    }
    return out;
}

// Random lines and options over a tiny alphabet that reaches every rule of the keys: separators
// inside quotes, missing columns, digits with spaces and dashes, zero-width spaces.
// Options from a compact description: the key ("" for the whole line, "SEP LIST" for columns,
// "re PATTERN" for a pattern) and flags (trim case width digits spaces punct invisible).
inline FilterOptions Options(const QString& key, const QString& flags) {
    FilterOptions o;
    if (key.startsWith(QStringLiteral("re "))) {
        o.key.source = KeyRule::Source::Pattern;
        o.key.pattern = key.mid(3);
    } else if (!key.isEmpty()) {
        const qsizetype space = key.lastIndexOf(u' ');
        QString error;
        const auto separator = ParseSeparator(key.left(space), &error);
        const auto columns = ParseFieldList(key.mid(space + 1), &error);
        if (!separator || !columns)
            qFatal("bad test row: %s", qPrintable(error));
        o.key.source = KeyRule::Source::Columns;
        o.key.separator = *separator;
        o.key.columns = *columns;
    }
    const QStringList f = flags.split(u' ', Qt::SkipEmptyParts);
    o.trim = f.contains(QStringLiteral("trim"));
    o.ignoreCase = f.contains(QStringLiteral("case"));
    o.ignoreWidth = f.contains(QStringLiteral("width"));
    o.key.digitsOnly = f.contains(QStringLiteral("digits"));
    o.key.ignoreSpaces = f.contains(QStringLiteral("spaces"));
    o.key.ignorePunct = f.contains(QStringLiteral("punct"));
    o.key.ignoreInvisible = f.contains(QStringLiteral("invisible"));
    return o;
}

// Sets options by the command line's words: "sort=natural reverse ignore-case keep=last sum=2";
// returns the words that name no comparison option.
inline QStringList SetOptionWords(FilterOptions& o, const QString& words) {
    QStringList unknown;
    for (const QString& word : words.split(u' ', Qt::SkipEmptyParts)) {
        const qsizetype equals = word.indexOf(u'=');
        bool known = false;
        for (const ComparisonOption& option : ComparisonOptions()) {
            if (QLatin1String(option.name) != QStringView(word).left(equals))
                continue;
            const std::optional<int> value =
                option.isFlag() ? 1
                                : OptionValueOfWord(option, QStringView(word).sliced(equals + 1));
            if (!value)
                qFatal("bad test row: %s", qPrintable(word));
            SetOptionValue(option, o, *value);
            known = true;
        }
        if (!known)
            unknown << word;
    }
    return unknown;
}

// A text as a failed comparison shows it: its UTF-8 percent-encoded, spaces and tabs as they are.
inline QString PercentShown(const QString& text) {
    return QString::fromLatin1(text.toUtf8().toPercentEncoding(" \t"));
}

inline QString RandomLine(QRandomGenerator& rng) {
    static const QString alphabet[] = {
        QStringLiteral("a"),  QStringLiteral("A"),  QStringLiteral(","),      QStringLiteral("\""),
        QStringLiteral("\""), QStringLiteral("\t"), QStringLiteral(" "),      QStringLiteral("1"),
        QStringLiteral("2"),  QStringLiteral("１"), QStringLiteral("\u200b"), QStringLiteral("+"),
        QStringLiteral("-")};
    QString line;
    const int length = rng.bounded(9);
    for (int i = 0; i < length; ++i)
        line += alphabet[rng.bounded(int(std::size(alphabet)))];
    return line;
}

inline FilterOptions RandomOptions(QRandomGenerator& rng) {
    static const char* keys[] = {"",          ", 2",   "tab 1",       "space 2",   "space 1,2",
                                 "csv 1",     "csv 2", "csv 2,1",     "csv 1,1,3", "tab 2,1",
                                 "re (\\d+)", "re a+", "re \"(.*)\"", "re (a)|1",  "re (?i)(a\\d)",
                                 "re \\d*"};
    static const char* flags[] = {"trim",   "case",  "width",    "digits",
                                  "spaces", "punct", "invisible"};
    QStringList chosen;
    for (const char* flag : flags) {
        if (rng.bounded(3) == 0)
            chosen << QString::fromLatin1(flag);
    }
    return Options(QString::fromUtf8(keys[rng.bounded(int(std::size(keys)))]), chosen.join(u' '));
}
