#pragma once

#include "core/keys/patternmatch.h"

#include <QRegularExpression>
#include <QString>
#include <QStringView>

#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

// Which part of a line two lines are compared by, and what is left out of it.
//
// A line is one record: a line break always ends it, also inside quotes (records over several
// lines are not supported).
//
// Columns are cut by a Separator:
// - a character (tab by default, any one character, a supplementary one too): every occurrence
//   separates, so "a,,b" has three columns, the second empty, and "a," two;
// - space: runs of Unicode White_Space separate; white space at the ends of the line makes no
//   empty column, so " a  b " has two columns;
// - csv (RFC 4180 on one line): commas separate; a column that starts with a quote (its very
//   first character: ` "a,b"` is an ordinary column) is quoted: it ends at the next lone quote
//   and may hold commas, and a doubled quote in it stands for one quote. Whatever follows the
//   closing quote up to the next comma is added as it stands ("ab"c is abc). A quote that is
//   never closed takes the rest of the line, commas included. A quote inside an unquoted column
//   is an ordinary character.
//
// A pattern (QRegularExpression with Unicode properties) takes the first capture group of its
// first match in the line, or the whole match when it has no group. It sees the line as it stands,
// before any option. Bytes that no encoding reads (lone surrogates in the text) look to the
// pattern like U+FFFD and stay themselves in the key. A pattern that does not compile (see
// PatternError) matches no line. A line on which the pattern's engine gives up (a pattern that
// backtracks past its limits) is undecided: it has no key, and KeyExtractor::undecided() says why;
// whoever makes keys must treat such a line as a fault, never as keyless.
//
// A line has no key when a column is missing (too few columns), when the pattern does not match or
// its first group takes no part in the match, or when the key is empty once made (an empty column,
// an empty match, or nothing left after the options below; of several columns, when every one is
// empty). A line without a key is never a repeat of another. A blank line is no keyless line: see
// LineKeyMaker.

struct Separator {
    enum class Kind {
        Character, // `character` separates
        Space,     // runs of white space separate
        Csv,       // commas separate, with quoting
    };
    Kind kind = Kind::Character;
    QString character = QStringLiteral("\t"); // one character (one or two UTF-16 units)

    bool operator==(const Separator& other) const {
        return kind == other.kind && (kind != Kind::Character || character == other.character);
    }
};

struct KeyRule {
    enum class Source {
        WholeLine, // the default
        Columns,   // `columns` of the line, cut by `separator`
        Pattern,   // what `pattern` captures
    };
    // Columns without a column number, and an empty pattern, are the whole line.
    Source source = Source::WholeLine;
    Separator separator;
    // 1-based column numbers, in the order they make the key; may repeat.
    std::vector<int> columns;
    QString pattern;

    // Applied in this order to each column of the key, after trimming, width and case; the
    // comparison options' trimming applies again to what they leave.
    // Only decimal digits stay, each as its ASCII digit (any script: "１２" and "١٢" are "12"); a
    // "+" or "＋" stays as "+" when only white space and invisible characters come before it.
    bool digitsOnly = false;
    bool ignoreSpaces = false;    // Unicode White_Space anywhere is left out
    bool ignorePunct = false;     // Unicode punctuation (P*) is left out; symbols ($ + < | ~) stay
    bool ignoreInvisible = false; // format characters (Cf: U+200B, U+200D, U+200E, U+FEFF, U+00AD)

    // What each column (or the line) is read as, last of all: its text, or the phone number, the
    // e-mail address or the web address in it (see core/keys/contactkeys.h). A part that holds
    // none of that kind has no key.
    enum class Kind { Text, Phone, Email, Url };
    Kind kind = Kind::Text;
    QString region = QStringLiteral("CN"); // of phone numbers written without a country code
    bool plus = false, gmail = false;      // the e-mail rules
    bool www = false, slash = false, scheme = false; // the web-address rules
    // The first line of each input (and of each compared list) is its header, not a line to
    // compare: the first input's is written first, the others' go where they equal it.
    bool header = false;
    // 0: off. Otherwise lines of equal keys become one, with this column (1-based, cut by
    // `separator`) the exact sum of theirs (see core/sumcolumn.h). With the whole line as the
    // source, the key is then every column but this one.
    int sumColumn = 0;

    // Compares what takes effect: the columns of a pattern key do not count, for example. The
    // options above are compared as the table of comparisonoptions.h lists them.
    bool operator==(const KeyRule& other) const;
    bool isDefault() const { return *this == KeyRule{}; }
    // True when the part compared is the whole line (whatever the options above leave out).
    bool comparesWholeLine() const;
    // True when the key is every column but the summed one.
    bool keysAllButSum() const;
};

// Reads a list of column numbers such as "2" or "1,3" (spaces around the numbers allowed). On a
// fault returns nothing and sets *error to a message in Chinese.
std::optional<std::vector<int>> ParseFieldList(QStringView text, QString* error);

// Reads a separator: "tab", "space", "csv" (in any case), "\t", or one character.
std::optional<Separator> ParseSeparator(QStringView text, QString* error);

// The message in Chinese for a pattern that cannot be used (with Qt's description of the fault
// and where it is), or an empty string.
QString PatternError(const QString& pattern);

// The options a key pattern is compiled with.
constexpr QRegularExpression::PatternOptions kKeyPatternOptions =
    QRegularExpression::UseUnicodePropertiesOption;

// A key of several columns is them joined by U+001F, with each U+001E and U+001F inside a column
// preceded by U+001E, so different columns never make the same key. A key of one column is that
// column as it stands.
constexpr char16_t kColumnJoin = 0x1F;
constexpr char16_t kColumnEscape = 0x1E;
// Appends a column to a key so joined: the columns of a text (QString), or of a line's bytes
// (QByteArray, see ByteColumnKey).
template <typename Key, typename Column>
void AppendKeyColumnTo(Key& key, const Column& column, bool first) {
    using Unit = std::decay_t<decltype(column[0])>;
    if (!first)
        key.append(Unit(kColumnJoin));
    qsizetype from = 0;
    for (qsizetype i = 0; i < column.size(); ++i) {
        if (column[i] != Unit(kColumnJoin) && column[i] != Unit(kColumnEscape))
            continue;
        key.append(column.sliced(from, i - from));
        key.append(Unit(kColumnEscape));
        from = i;
    }
    key.append(column.sliced(from));
}
// The same for the columns of a text.
inline void AppendKeyColumn(QString& key, QStringView column, bool first) {
    AppendKeyColumnTo(key, column, first);
}
// The columns of a key made of `count` columns.
std::vector<QString> KeyColumns(QStringView key, qsizetype count);

// Finds the parts of a line that a KeyRule compares: the line itself, its columns or what the
// pattern captures. Keeps buffers and its own compiled pattern: one per thread.
// Lets go of a buffer that a long line grew past `units` UTF-16 units, so that it is not held
// until the next long line.
inline void LetGoIfLarger(QString& buffer, qsizetype units) {
    if (buffer.capacity() > units)
        buffer = QString();
}

class KeyExtractor {
public:
    explicit KeyExtractor(const KeyRule& rule);
    KeyExtractor(const KeyExtractor& other) : KeyExtractor(other.rule_) {}
    KeyExtractor& operator=(const KeyExtractor& other);
    KeyExtractor(KeyExtractor&&) = default;
    KeyExtractor& operator=(KeyExtractor&&) = default;
    ~KeyExtractor() = default;

    // How many parts find() gives: the number of columns, otherwise 1.
    qsizetype partCount() const { return qsizetype(parts_.size()); }
    // Finds the parts of `line`; false when a column is missing or the pattern finds nothing.
    bool find(QStringView line);
    // Part i of the last line found: a view of the line, or of a buffer valid until the next find.
    QStringView part(qsizetype i) const { return parts_[i]; }
    // Why the pattern could not decide the last line given to find(), or an empty string.
    QString undecided() const { return undecided_ && matcher_ ? matcher_->reason() : QString(); }
    // Lets go of buffers grown past `units` UTF-16 units (see LetGoIfLarger).
    void letGoOfBuffers(qsizetype units) {
        LetGoIfLarger(subject_, units);
        for (QString& text : unescaped_)
            LetGoIfLarger(text, units);
    }

private:
    struct Span {
        qsizetype begin = 0;
        qsizetype end = 0;
        bool unescape = false; // a quoted column with doubled quotes or text after its quote
    };
    bool findColumns(QStringView line);
    template <typename Next> bool scanColumns(QStringView line, Next next);
    template <typename Next> bool scanAllBut(QStringView line, Next next);
    void setPart(std::size_t i, QStringView line, const Span& span);
    bool findByPattern(QStringView line);

    KeyRule rule_;
    std::unique_ptr<PatternMatcher> matcher_;
    bool undecided_ = false;
    int group_ = 0;
    int allBut_ = 0;                 // every column but this one is a part (see keysAllButSum)
    std::vector<int> wanted_;        // the column numbers asked for, ascending, once each
    std::vector<Span> spans_;        // where each of them is in the line
    std::vector<qsizetype> partOf_;  // which of wanted_ each part is
    std::vector<QStringView> parts_; // the parts of the last line
    std::vector<QString> unescaped_; // the text of quoted columns, one per part
    QString subject_;                // a line with lone surrogates, as the pattern sees it
};
