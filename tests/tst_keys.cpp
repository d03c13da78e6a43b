#include "core/filteroptions.h"
#include "core/linekey.h"
#include "referencefilter.h"

#include <QCoreApplication>
#include <QHash>
#include <QLibraryInfo>
#include <QLocale>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QRegularExpressionMatch>
#include <QTest>
#include <QTranslator>

#include <climits>
#include <thread>

namespace {

// Expected keys are written as their columns joined by ¦; ∅ is a line without a key, and an empty
// string a blank line.
const QString kKeyless = QStringLiteral("∅");

qsizetype PartCount(const FilterOptions& o) {
    return o.key.source == KeyRule::Source::Columns ? qsizetype(o.key.columns.size()) : 1;
}

// The key the maker gives, written as the rows expect it.
QString Written(LineKeyMaker& maker, const FilterOptions& o, const QString& line) {
    bool keyless = false;
    const QStringView key = maker.key(line, &keyless);
    if (keyless)
        return key.isEmpty() ? kKeyless : QStringLiteral("keyless with key ") + key.toString();
    QStringList columns;
    for (const QString& c : KeyColumns(key, PartCount(o)))
        columns << c;
    return columns.join(u'¦');
}

QString Describe(const FilterOptions& o) {
    return QStringLiteral("source %1 separator %2 \"%3\" columns %4 pattern \"%5\" trim %6 "
                          "case %7 width %8 digits %9 spaces %10 punct %11 invisible %12")
        .arg(int(o.key.source))
        .arg(int(o.key.separator.kind))
        .arg(o.key.separator.character)
        .arg(o.key.columns.size())
        .arg(o.key.pattern)
        .arg(o.trim)
        .arg(o.ignoreCase)
        .arg(o.ignoreWidth)
        .arg(o.key.digitsOnly)
        .arg(o.key.ignoreSpaces)
        .arg(o.key.ignorePunct)
        .arg(o.key.ignoreInvisible);
}

bool IsViewOf(QStringView key, const QString& line) {
    return key.data() >= line.data() && key.data() + key.size() <= line.data() + line.size();
}

} // namespace

class KeysTest : public QObject {
    Q_OBJECT
private slots:
    void keys_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("expected");
        auto row = [](const char* name, const char* key, const char* flags, const QString& line,
                      const QString& expected) {
            QTest::newRow(name) << QString::fromUtf8(key) << QString::fromUtf8(flags) << line
                                << expected;
        };
        const QString none = kKeyless;

        // CSV on one line.
        row("csv: comma inside quotes", "csv 2", "", "a,\"b,c\",d", "b,c");
        row("csv: doubled quote", "csv 2", "", "a,\"b\"\"c\",d", "b\"c");
        row("csv: doubled quote at the end", "csv 2", "", "a,\"b\"\"\",d", "b\"");
        row("csv: only a doubled quote", "csv 1", "", "\"\"\"\"", "\"");
        row("csv: empty quoted column", "csv 1", "", "\"\",x", none);
        row("csv: unclosed quote takes the rest", "csv 2", "", "a,\"b,c", "b,c");
        row("csv: nothing after an unclosed quote", "csv 3", "", "a,\"b,c", none);
        row("csv: unclosed quote with a doubled one", "csv 2", "", "a,\"b\"\"c,d", "b\"c,d");
        row("csv: a lone quote", "csv 1", "", "\"", none);
        row("csv: text after the closing quote", "csv 2", "", "a,\"b\"c\"d\",e", "bc\"d\"");
        row("csv: the column after it", "csv 3", "", "a,\"b\"c,d", "d");
        row("csv: space before a quote", "csv 2", "", "a, \"b,c\"", " \"b");
        row("csv: space before a quote, trimmed", "csv 2", "trim", "a, \"b,c\"", "\"b");
        row("csv: quote inside a plain column", "csv 2", "", "a,b\"c,d", "b\"c");
        row("csv: empty last column", "csv 3", "", "a,b,", none);
        row("csv: one column too many", "csv 4", "", "a,b,", none);
        row("csv: quoted whole line", "csv 1", "", "\"a,b\"", "a,b");
        row("csv: no second column", "csv 2", "", "\"a,b\"", none);
        row("csv: empty middle column", "csv 2", "", "a,,c", none);
        row("csv: two columns", "csv 1,3", "", "a,,c", "a¦c");
        row("csv: in the order asked", "csv 3,1", "", "a,\"b\",\"c\"\"\"", "c\"¦a");
        row("csv: one of two columns empty", "csv 1,2", "", "a,,c", "a¦");
        row("csv: both columns empty", "csv 2,2", "", "a,,c", none);
        row("csv: the same column twice", "csv 2,2", "", "a,\"b\"\"\",c", "b\"¦b\"");
        row("csv: one of two columns missing", "csv 1,4", "", "a,b,c", none);
        row("csv: folded", "csv 2", "case", "x,\"Straße\"", "strasse");

        // Searches of one unit go by themselves through 32 units, then ask Qt: separators and
        // quotes just before, at and after that distance, and far beyond it.
        auto add = [](const QString& name, const char* key, const QString& line,
                      const QString& expected) {
            QTest::newRow(qPrintable(name))
                << QString::fromUtf8(key) << QString() << line << expected;
        };
        for (const int length : {31, 32, 33, 100}) {
            const QString a(length, u'a');
            const QString b(length, u'b');
            const QString at = QStringLiteral(" at %1").arg(length);
            add("tab" + at, "tab 2", a + "\tx\t" + a, "x");
            add("tab, first column" + at, "tab 1", a + "\tx", a);
            add("no tab" + at, "tab 2", a, none);
            add("comma" + at, "csv 2", a + ",x", "x");
            add("closing quote" + at, "csv 1", "\"" + b + "\",x", b);
            add("doubled quote" + at, "csv 1", "\"" + b + "\"\"" + a + "\",x", b + "\"" + a);
            add("comma after a quote" + at, "csv 2", "\"q\"" + a + ",x", "x");
            add("unclosed quote" + at, "csv 2", "y,\"" + a, a);
        }

        // One character, tab.
        row("tab: word before a tab", "tab 1", "", "word\tdefinition, more", "word");
        row("tab: the definition", "tab 2", "", "word\tdefinition, more", "definition, more");
        row("tab: too few columns", "tab 3", "", "word\tdefinition", none);
        row("tab: empty column", "tab 2", "", "a\t\tc", none);
        row("tab: the column after it", "tab 3", "", "a\t\tc", "c");
        row("tab: leading tab makes a column", "tab 2", "", "\ta", "a");
        row("tab: quotes are ordinary", "tab 1", "", "\"a\tb\"", "\"a");
        row("character: semicolon", "; 2", "", "a;b;c", "b");
        row("character: one space", "  3", "", "a  b", "b");
        row("character: one space, empty column", "  2", "", "a  b", none);
        row("character: supplementary", "😀 2", "", "a😀b😀c", "b");
        row("character: same first half only", "😀 2", "", "a😁b", none);
        row("character: trimmed column", "| 2", "trim", "a | b |c", "b");
        row("character: trimmed to nothing", "| 2", "trim", "a |  |c", none);

        // Runs of white space.
        row("space: ends make no column", "space 1", "", "  a   b  ", "a");
        row("space: second", "space 2", "", "  a   b  ", "b");
        row("space: no third", "space 3", "", "  a   b  ", none);
        row("space: any white space", "space 3", "", "a\u3000b\t\u00a0c", "c");
        row("space: zero-width space is no space", "space 1", "", "a\u200bb c", "a\u200bb");
        row("space: only white space", "space 1", "", "  \t", none);
        row("space: only white space, trimmed", "space 1", "trim", "  \t", "");
        row("space: empty line is blank", "space 2", "", "", "");
        row("space: two columns", "space 2,1", "", "x y", "y¦x");

        // Patterns.
        row("re: first group", "re (\\d+)", "", "abc 123 def 456", "123");
        row("re: whole match", "re \\d+", "", "abc 123 def 456", "123");
        row("re: named group", "re (?<user>\\w+)@", "", "mail: bob@example", "bob");
        row("re: group not in the match", "re (a)|b", "", "xb", none);
        row("re: group in the match", "re (a)|b", "", "xa", "a");
        row("re: no match", "re x", "", "abc", none);
        row("re: empty match", "re \\d*", "", "abc", none);
        row("re: Unicode classes", "re ^(\\w+)", "", "élan vital", "élan");
        row("re: Unicode properties", "re (\\p{Han}+)", "", "ab中文cd", "中文");
        row("re: then trimmed and folded", "re :(.*)$", "trim case", "k: VALUE ", "value");
        row("re: escaped byte before the match", "re (b)", "", "a" + QString(QChar(0xdc80)) + "b",
            "b");
        row("re: escaped byte in the match", "re (.)b", "", "a" + QString(QChar(0xdc80)) + "b",
            QString(QChar(0xdc80)));
        row("re: whole blank line", "re x", "", "", "");

        // Only digits.
        row("digits: phone with plus", "", "digits", "+1 (555) 123-4567", "+15551234567");
        row("digits: phone without", "", "digits", "(555) 123 4567", "5551234567");
        row("digits: space before the plus", "", "digits", " +49 30 1234", "+49301234");
        row("digits: bidi mark before the plus", "", "digits", "\u200e+49 30", "+4930");
        row("digits: plus after text", "", "digits", "Tel: +49 30", "4930");
        row("digits: plus after a bracket", "", "digits", "(+49) 30", "4930");
        row("digits: plus after a digit", "", "digits", "1+2", "12");
        row("digits: second plus", "", "digits", "++1-+2", "+12");
        row("digits: full-width", "", "digits", "＋８６ １０－１２", "+861012");
        row("digits: Arabic-Indic", "", "digits", "٠١٢٣", "0123");
        row("digits: supplementary", "", "digits", "𝟏𝟐x", "12");
        row("digits: superscript is no digit", "", "digits", "x²", none);
        row("digits: no digit", "", "digits", "abc", none);
        row("digits: plus alone", "", "digits", " + ", none);
        row("digits: escaped byte left out", "", "digits", "1" + QString(QChar(0xdc80)) + "2",
            "12");
        row("digits: blank line", "", "digits", "", "");
        row("digits: spaces untrimmed", "", "digits", "   ", none);
        row("digits: spaces trimmed are blank", "", "digits trim", "   ", "");
        row("digits: columns stay apart", "csv 1,2", "digits", "1 2,3", "12¦3");
        row("digits: columns stay apart 2", "csv 1,2", "digits", "1,2 3", "1¦23");

        // White space, punctuation, invisible characters.
        row("spaces: anywhere", "", "spaces", " a b\u3000c\td\u00a0", "abcd");
        row("spaces: zero-width space stays", "", "spaces", "a\u200b b", "a\u200bb");
        row("spaces: only spaces", "", "spaces", "  ", none);
        row("punct: ASCII", "", "punct", "Hello, world!", "Hello world");
        row("punct: connector and dash", "", "punct", "a_b-c", "abc");
        row("punct: symbols stay", "", "punct", "a$b+c|d~e^f<g", "a$b+c|d~e^f<g");
        row("punct: Chinese", "", "punct", "你好，世界。“引号”", "你好世界引号");
        row("punct: Japanese", "", "punct", "「こんにちは」・", "こんにちは");
        row("punct: guillemets", "", "punct", "«Bonjour»", "Bonjour");
        row("punct: Arabic", "", "punct", "مرحبا؟،", "مرحبا");
        row("punct: supplementary", "", "punct", "a\U00010100b", "ab");
        row("punct: only punctuation", "", "punct", "...", none);
        row("invisible: zero-width space", "", "invisible", "a\u200bb", "ab");
        row("invisible: joiners", "", "invisible", "a\u200cb\u200dc\u2060d", "abcd");
        row("invisible: bidi marks", "", "invisible", "\u200ea\u200f\u202ab\u202c\u2066c\u2069",
            "abc");
        row("invisible: BOM mid-text", "", "invisible", "ab\ufeffc", "abc");
        row("invisible: soft hyphen", "", "invisible", "co\u00adop", "coop");
        row("invisible: tag characters", "", "invisible", "a\U000E0041\U000E007Fb", "ab");
        row("invisible: emoji kept", "", "invisible", "😀\u200b😀", "😀😀");
        row("invisible: only invisible", "", "invisible", "\u200b\u200b", none);

        // Together with the comparison options.
        row("trim after invisible", "", "trim invisible", "\u200b abc ", "abc");
        row("trim after punctuation", "", "trim punct", "abc .", "abc");
        row("untrimmed after punctuation", "", "punct", "abc .", "abc ");
        row("case and digits", "", "case digits", "ABC 12", "12");
        row("width and punctuation", "", "width punct", "Ａ，Ｂ", "AB");
        row("case and spaces", "", "case spaces", "Hello World", "helloworld");
        row("width then digits", "", "width digits", "①２", "12");
        row("everything", "tab 2", "trim case width digits spaces punct invisible",
            "name\t \u200b＋４９ (30) 12-34 ", "+49301234");
        row("no option asked", "", "", " A ", " A ");
        row("trim only", "", "trim", " A ", "A");
    }
    void keys() {
        QFETCH(QString, key);
        QFETCH(QString, flags);
        QFETCH(QString, line);
        QFETCH(QString, expected);
        const FilterOptions o = Options(key, flags);
        LineKeyMaker maker(o);
        QCOMPARE(Written(maker, o, line), expected);
        // The same again after another line: nothing of the last line is left in the buffers.
        Written(maker, o, QStringLiteral("x,\"y\"\"\",z\tw 1 2\u200b!"));
        QCOMPARE(Written(maker, o, line), expected);
    }

    // Lines of a tiny alphabet that meets every rule, under random key rules and options: each
    // key against the plain model, and two lines have the same key exactly when the model gives
    // them the same columns.
    void againstModel() {
        QRandomGenerator rng(19);
        for (int round = 0; round < 1500; ++round) {
            const FilterOptions o = RandomOptions(rng);
            LineKeyMaker maker(o);
            QHash<QString, QString> lineOfKey;
            QHash<QStringList, QString> lineOfModel;
            for (int i = 0; i < 40; ++i) {
                const QString line = RandomLine(rng);
                const std::optional<QStringList> model = ReferenceKeyColumns(line, o);
                const QString expected = model ? model->join(u'¦') : kKeyless;
                const QString got = Written(maker, o, line);
                if (got != expected)
                    QFAIL(qPrintable(QStringLiteral("line \"%1\" gives %2, not %3, with %4")
                                         .arg(line, got, expected, Describe(o))));
                bool keyless = false;
                const QString key = maker.key(line, &keyless).toString();
                if (keyless || key.isEmpty())
                    continue;
                const QString other = lineOfKey.value(key, line);
                if (ReferenceKeyColumns(other, o) != model)
                    QFAIL(qPrintable(QStringLiteral("\"%1\" and \"%2\" share a key with %3")
                                         .arg(line, other, Describe(o))));
                const QString sameModel = lineOfModel.value(*model, line);
                if (maker.key(sameModel).toString() != key)
                    QFAIL(qPrintable(QStringLiteral("\"%1\" and \"%2\" have different keys with %3")
                                         .arg(line, sameModel, Describe(o))));
                lineOfKey.insert(key, line);
                lineOfModel.insert(*model, line);
            }
        }
    }

    // Where nothing changes a line's key, it is a view of the line, not a copy.
    void keysAreViewsOfTheLine_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QString>("line");
        QTest::newRow("whole line") << ""
                                    << ""
                                    << "abc";
        QTest::newRow("whole line, trimmed") << ""
                                             << "trim"
                                             << " abc ";
        QTest::newRow("tab column") << "tab 2"
                                    << ""
                                    << "a\tbc\td";
        QTest::newRow("space column") << "space 2"
                                      << ""
                                      << " a  bc d";
        QTest::newRow("csv plain") << "csv 2"
                                   << ""
                                   << "a,bc,d";
        QTest::newRow("csv quoted") << "csv 2"
                                    << ""
                                    << "a,\"b,c\",d";
        QTest::newRow("csv unclosed") << "csv 2"
                                      << ""
                                      << "a,\"b,c";
        QTest::newRow("pattern") << "re (\\d+)"
                                 << ""
                                 << "ab 12 c";
        QTest::newRow("digits") << ""
                                << "digits"
                                << "12345";
        QTest::newRow("punctuation absent") << "tab 1"
                                            << "punct invisible spaces"
                                            << "ab\tc";
    }
    void keysAreViewsOfTheLine() {
        QFETCH(QString, key);
        QFETCH(QString, flags);
        QFETCH(QString, line);
        LineKeyMaker maker(Options(key, flags));
        bool keyless = true;
        const QStringView k = maker.key(line, &keyless);
        QVERIFY(!keyless);
        QVERIFY(!k.isEmpty());
        QVERIFY(IsViewOf(k, line));
    }

    // Columns are joined so that different columns never make the same key.
    void joinedColumns_data() {
        QTest::addColumn<QStringList>("a");
        QTest::addColumn<QStringList>("b");
        const QString us{QChar(kColumnJoin)};
        const QString rs{QChar(kColumnEscape)};
        QTest::newRow("space moved") << QStringList{"a", "b c"} << QStringList{"a b", "c"};
        QTest::newRow("empty first") << QStringList{"", "ab"} << QStringList{"ab", ""};
        QTest::newRow("join inside") << QStringList{"a" + us, "b"} << QStringList{"a", us + "b"};
        QTest::newRow("escape inside") << QStringList{"a" + rs, "b"} << QStringList{"a", rs + "b"};
        QTest::newRow("escape and join") << QStringList{rs + us, rs} << QStringList{rs, us + rs};
        QTest::newRow("three columns") << QStringList{"a", "", "b"} << QStringList{"a", "b", ""};
    }
    void joinedColumns() {
        QFETCH(QStringList, a);
        QFETCH(QStringList, b);
        QString keyA, keyB;
        for (qsizetype i = 0; i < a.size(); ++i)
            AppendKeyColumn(keyA, a[i], i == 0);
        for (qsizetype i = 0; i < b.size(); ++i)
            AppendKeyColumn(keyB, b[i], i == 0);
        QVERIFY(keyA != keyB);
        QCOMPARE(KeyColumns(keyA, a.size()), std::vector<QString>(a.begin(), a.end()));
        QCOMPARE(KeyColumns(keyB, b.size()), std::vector<QString>(b.begin(), b.end()));
    }
    // And through the key maker, with the white space inside the columns left out.
    void columnsNeverRunTogether() {
        const FilterOptions o = Options(QStringLiteral("tab 1,2"), QStringLiteral("spaces"));
        LineKeyMaker maker(o);
        const QString first = maker.key(QStringLiteral("a\tb c")).toString();
        QCOMPARE_NE(maker.key(QStringLiteral("a b\tc")).toString(), first);
        QCOMPARE(maker.key(QStringLiteral("a \tbc")).toString(), first);
    }

    void fieldLists_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("columns");
        QTest::addColumn<QString>("error"); // what the message holds
        QTest::newRow("one") << "2" << QList<int>{2} << "";
        QTest::newRow("two") << "1,3" << QList<int>{1, 3} << "";
        QTest::newRow("spaces around") << " 1 , 3 " << QList<int>{1, 3} << "";
        QTest::newRow("order and repeats") << "3,1,3" << QList<int>{3, 1, 3} << "";
        QTest::newRow("leading zero") << "02" << QList<int>{2} << "";
        QTest::newRow("largest") << "2147483647" << QList<int>{INT_MAX} << "";
        QTest::newRow("one past the largest")
            << "2147483648" << QList<int>{} << "列号“2147483648”太大";
        QTest::newRow("far too large") << "99999999999999999999" << QList<int>{} << "太大";
        QTest::newRow("zero") << "0" << QList<int>{} << "列号不能是 0；列号从 1 起";
        QTest::newRow("zero in a list") << "1,0" << QList<int>{} << "不能是 0";
        QTest::newRow("negative") << "-1" << QList<int>{} << "列号“-1”是负数；列号从 1 起";
        QTest::newRow("empty") << "" << QList<int>{} << "没有给出列号；列号从 1 起，几列以逗号分开";
        QTest::newRow("blank") << "  " << QList<int>{} << "没有给出列号";
        QTest::newRow("empty item") << "1,,3" << QList<int>{} << "列号“1,,3”中有空项";
        QTest::newRow("trailing comma") << "1," << QList<int>{} << "列号“1,”中有空项";
        QTest::newRow("leading comma") << ",1" << QList<int>{} << "中有空项";
        QTest::newRow("word") << "a" << QList<int>{} << "“a”不是列号";
        QTest::newRow("decimal") << "1.5" << QList<int>{} << "“1.5”不是列号";
        QTest::newRow("plus sign") << "+2" << QList<int>{} << "“+2”不是列号";
        QTest::newRow("range") << "1-3" << QList<int>{} << "“1-3”不是列号";
        QTest::newRow("full-width") << "２" << QList<int>{} << "“２”不是列号";
    }
    void fieldLists() {
        QFETCH(QString, text);
        QFETCH(QList<int>, columns);
        QFETCH(QString, error);
        QString message;
        const auto parsed = ParseFieldList(text, &message);
        if (error.isEmpty()) {
            QVERIFY2(parsed, qPrintable(message));
            QCOMPARE(QList<int>(parsed->begin(), parsed->end()), columns);
        } else {
            QVERIFY(!parsed);
            QVERIFY2(message.contains(error), qPrintable(message));
            QVERIFY(message.endsWith(u'。'));
        }
    }

    void separators_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("kind"); // -1: refused
        QTest::addColumn<QString>("character");
        const int character = int(Separator::Kind::Character);
        QTest::newRow("tab") << "tab" << character << "\t";
        QTest::newRow("TAB") << "TAB" << character << "\t";
        QTest::newRow("backslash t") << "\\t" << character << "\t";
        QTest::newRow("a tab") << "\t" << character << "\t";
        QTest::newRow("space") << "space" << int(Separator::Kind::Space) << "";
        QTest::newRow("csv") << "csv" << int(Separator::Kind::Csv) << "";
        QTest::newRow("Csv") << "Csv" << int(Separator::Kind::Csv) << "";
        QTest::newRow("comma") << "," << character << ",";
        QTest::newRow("one space") << " " << character << " ";
        QTest::newRow("quote") << "\"" << character << "\"";
        QTest::newRow("full-width comma") << "，" << character << "，";
        QTest::newRow("supplementary") << "😀" << character << "😀";
        QTest::newRow("empty") << "" << -1 << "分隔符为空；应为一个字符，或 tab（制表符）";
        QTest::newRow("two characters") << ",," << -1 << "分隔符“,,”不是一个字符；应为一个字符";
        QTest::newRow("a word") << "tabs" << -1 << "分隔符“tabs”不是一个字符";
        QTest::newRow("two emoji") << "😀😀" << -1 << "不是一个字符";
        QTest::newRow("half a pair") << QString(QChar(0xd83d)) << -1 << "不是一个字符";
    }
    void separators() {
        QFETCH(QString, text);
        QFETCH(int, kind);
        QFETCH(QString, character);
        QString message;
        const auto parsed = ParseSeparator(text, &message);
        if (kind < 0) {
            QVERIFY(!parsed);
            QVERIFY2(message.contains(character), qPrintable(message));
            QVERIFY(message.contains(QStringLiteral("space（连续的空白）")));
            return;
        }
        QVERIFY2(parsed, qPrintable(message));
        QCOMPARE(int(parsed->kind), kind);
        if (parsed->kind == Separator::Kind::Character)
            QCOMPARE(parsed->character, character);
    }

    void patterns_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("error"); // empty: usable; otherwise the start of the message
        QTest::addColumn<int>("offset");
        QTest::newRow("group") << "(\\d+)"
                               << "" << 0;
        QTest::newRow("property") << "\\p{Han}+"
                                  << "" << 0;
        QTest::newRow("named") << "(?<k>\\w+)"
                               << "" << 0;
        QTest::newRow("empty") << ""
                               << "正则表达式为空" << -1;
        QTest::newRow("unclosed group") << "(a"
                                        << "正则表达式“(a”有误：" << 2;
        QTest::newRow("unknown property") << "\\p{Nope}"
                                          << "正则表达式“\\p{Nope}”有误：" << 8;
        QTest::newRow("bad quantifier") << "a{2,1}"
                                        << "正则表达式“a{2,1}”有误：" << 5;
        QTest::newRow("nothing to repeat") << "ab*+*"
                                           << "正则表达式“ab*+*”有误：" << 4;
    }
    void patterns() {
        QFETCH(QString, pattern);
        QFETCH(QString, error);
        QFETCH(int, offset);
        const QString message = PatternError(pattern);
        if (error.isEmpty()) {
            QCOMPARE(message, QString());
            return;
        }
        QVERIFY2(message.startsWith(error), qPrintable(message));
        if (offset >= 0) {
            const QRegularExpression re(pattern, kKeyPatternOptions);
            QCOMPARE(re.patternErrorOffset(), offset);
            QVERIFY2(message.contains(re.errorString()), qPrintable(message));
            QVERIFY2(message.endsWith(QStringLiteral("（位置 %1）。").arg(offset)),
                     qPrintable(message));
        }
    }

    // With Qt's own translation loaded (as the programs load it for Qt's messages), Qt's part of
    // the message is in Chinese too.
    void patternFaultInChinese() {
        QTranslator translator;
        if (!translator.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                             QStringLiteral("_"),
                             QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QSKIP("Qt's Chinese translation is not installed");
        QCoreApplication::installTranslator(&translator);
        const QString message = PatternError(QStringLiteral("(a"));
        QCoreApplication::removeTranslator(&translator);
        QVERIFY2(message.startsWith(QStringLiteral("正则表达式“(a”有误：")), qPrintable(message));
        QVERIFY2(!message.contains(QStringLiteral("missing")), qPrintable(message));
        QVERIFY2(message.endsWith(QStringLiteral("（位置 2）。")), qPrintable(message));
    }

    // What makes the options other than the default, and lines transformed.
    void optionsAndSpecs_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("flags");
        QTest::addColumn<bool>("isDefault");
        QTest::newRow("default") << ""
                                 << "" << true;
        QTest::newRow("digits") << ""
                                << "digits" << false;
        QTest::newRow("spaces") << ""
                                << "spaces" << false;
        QTest::newRow("punct") << ""
                               << "punct" << false;
        QTest::newRow("invisible") << ""
                                   << "invisible" << false;
        QTest::newRow("a column") << "tab 1"
                                  << "" << false;
        QTest::newRow("a pattern") << "re x"
                                   << "" << false;
    }
    void optionsAndSpecs() {
        QFETCH(QString, key);
        QFETCH(QString, flags);
        QFETCH(bool, isDefault);
        const FilterOptions o = Options(key, flags);
        QCOMPARE(o.key.isDefault(), isDefault);
        QCOMPARE(o.isDefault(), isDefault);
        QCOMPARE(o.transformsLines(), !isDefault);
    }
    void specsCompareWhatTakesEffect() {
        KeyRule a;
        KeyRule b;
        b.pattern = QStringLiteral("x");
        b.columns = {2};
        b.separator.kind = Separator::Kind::Csv;
        QCOMPARE(a, b); // still the whole line
        b.source = KeyRule::Source::Columns;
        QCOMPARE_NE(a, b);
        a.source = KeyRule::Source::Columns;
        a.columns = {2};
        QCOMPARE_NE(a, b); // the separator
        a.separator.kind = Separator::Kind::Csv;
        a.separator.character = QStringLiteral(";");
        QCOMPARE(a, b); // a csv separator has no character
        a.pattern = QStringLiteral("y");
        QCOMPARE(a, b);
        b.columns.clear(); // no column: the whole line
        QVERIFY(b.isDefault());
        b.source = KeyRule::Source::Pattern;
        b.pattern.clear();
        QVERIFY(b.isDefault());
        FilterOptions o;
        o.key.source = KeyRule::Source::Pattern;
        QVERIFY(o.isDefault());
        QVERIFY(!o.transformsLines());
    }

    // Copies of a key maker with a pattern, each on its own thread, give the keys one maker gives.
    void copiesOnThreads() {
        const FilterOptions o =
            Options(QStringLiteral("re (\\w+)\\s*[:=]"), QStringLiteral("case punct"));
        QStringList lines;
        QRandomGenerator rng(7);
        for (int i = 0; i < 20000; ++i)
            lines << QStringLiteral("Key%1 = value %2").arg(rng.bounded(500)).arg(i);
        QStringList expected;
        LineKeyMaker one(o);
        for (const QString& line : lines)
            expected << one.key(line).toString();
        const LineKeyMaker original(o);
        LineKeyMaker copies[2] = {original, original};
        QStringList got[2];
        std::thread threads[2];
        for (int t = 0; t < 2; ++t) {
            threads[t] = std::thread([&, t] {
                for (const QString& line : lines)
                    got[t] << copies[t].key(line).toString();
            });
        }
        for (auto& thread : threads)
            thread.join();
        QCOMPARE(got[0], expected);
        QCOMPARE(got[1], expected);
    }
};

QTEST_GUILESS_MAIN(KeysTest)
#include "tst_keys.moc"
