#include "core/comparisonoptions.h"
#include "core/keys/bytecolumns.h"
#include "core/lines.h"
#include "core/order/decimalsum.h"
#include "core/programwords.h"
#include "testtext.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QTest>

namespace {

qsizetype ReferenceCount(const QString& text) {
    if (text.isEmpty())
        return 0;
    qsizetype n = 0;
    for (const QString& line : text.split(QStringLiteral("\r\n"))) {
        QString t = line;
        while (t.startsWith(u' '))
            t.remove(0, 1);
        while (t.endsWith(u' '))
            t.chop(1);
        if (!t.isEmpty())
            ++n;
    }
    return n;
}

// Each comparison option at each value away from its default, one row each: the options with
// that alone set.
void AddRowForEachOptionValue() {
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("value");
    const auto options = ComparisonOptions();
    for (std::size_t i = 0; i < options.size(); ++i) {
        const ComparisonOption& option = options[i];
        if (option.isFlag()) {
            QTest::newRow(option.name) << int(i) << 1;
            continue;
        }
        if (option.isNumber()) {
            QTest::addRow("%s %d", option.name, option.minimum) << int(i) << option.minimum;
            QTest::addRow("%s %d", option.name, option.maximum) << int(i) << option.maximum;
            continue;
        }
        for (const OptionChoice& choice : option.choices) {
            if (choice.value != DefaultOptionValue(option))
                QTest::addRow("%s %s", option.name, choice.word) << int(i) << choice.value;
        }
    }
}

FilterOptions With(int index, int value) {
    FilterOptions options;
    SetOptionValue(ComparisonOptions()[std::size_t(index)], options, value);
    return options;
}

// The keys of these lines change with every option that changes the text compared.
const QStringList kSampleLines = {QStringLiteral("Ab"),       QStringLiteral(" a "),
                                  QStringLiteral("Ａ１"),     QStringLiteral("a 1-2."),
                                  QStringLiteral("a\u200bb"), QStringLiteral("x,y")};

QStringList KeysOf(const FilterOptions& options) {
    LineKeyMaker maker(options);
    QStringList keys;
    for (const QString& line : kSampleLines)
        keys << maker.key(line).toString();
    return keys;
}

} // namespace

class CoreTest : public QObject {
    Q_OBJECT
private slots:
    // Exact sums of decimal numbers: "|"-separated terms, "?" marks a term that is no number.
    void decimalSums_data() {
        QTest::addColumn<QString>("terms");
        QTest::addColumn<QString>("sum");
        auto row = [](const char* terms, const char* sum) {
            QTest::newRow(terms) << QString::fromUtf8(terms) << QString::fromUtf8(sum);
        };
        row("1|2", "3");
        row("0.1|0.2", "0.3");
        row("99999999999999999999|1", "100000000000000000000");
        row("1.50|1", "2.50");
        row("-5|3", "-2");
        row("+5|-5", "0");
        row("-0.5|0.25", "-0.25");
        row("-1.000|1", "0.000");
        row("-0", "0");
        row("007|0.010", "7.010");
        row("-99999999999999999999.99|-0.01", "-100000000000000000000.00");
        row("100|-99.999", "0.001");
        row("abc?|2|1.?|.5?|1e3?|+?|--1?|1.2.3?|１?", "2");
        row(" 1?|2", "2");
        // Past 64 bits on the way, by adding and by the places after the point.
        row("999999999999999999|999999999999999999|999999999999999999|999999999999999999|"
            "999999999999999999|999999999999999999|999999999999999999|999999999999999999|"
            "999999999999999999|999999999999999999|-9999999999999999990",
            "0");
        row("1|0.000000000000000001|10|-0.0000000000000000001", "11.0000000000000000009");
        row("-900000000000000000|-900000000000000000|1", "-1799999999999999999");
        row("-9223372036854775807|-1|-1", "-9223372036854775809");
    }
    void decimalSums() {
        QFETCH(QString, terms);
        QFETCH(QString, sum);
        DecimalSum total;
        DecimalSum ofBytes; // the same terms as the UTF-8 bytes of a line
        for (QString term : terms.split(u'|')) {
            const bool number = !term.endsWith(u'?');
            if (!number)
                term.chop(1);
            const QByteArray bytes = term.toUtf8();
            QCOMPARE(DecimalSum::IsNumber(term), number);
            QCOMPARE(DecimalSum::IsNumber(QByteArrayView(bytes)), number);
            QCOMPARE(total.add(term), number);
            QCOMPARE(ofBytes.add(QByteArrayView(bytes)), number);
        }
        QCOMPARE(total.text(), sum);
        QCOMPARE(ofBytes.text(), sum);
    }
    // Random integers and hundredths against 64-bit arithmetic where that does not overflow.
    void decimalSumsAgainstIntegers() {
        QRandomGenerator rng(1032);
        for (int round = 0; round < 2000; ++round) {
            DecimalSum total;
            qint64 cents = 0;
            for (int n = rng.bounded(1, 8); n > 0; --n) {
                const qint64 value = qint64(rng.bounded(2000001)) - 1000000;
                cents += value;
                const QString whole = QString::number(std::abs(value) / 100);
                const QString text = (value < 0 ? QStringLiteral("-") : QString()) + whole + u'.' +
                                     QString::number(std::abs(value) % 100).rightJustified(2, u'0');
                QVERIFY(total.add(text));
            }
            const QString expected = (cents < 0 ? QStringLiteral("-") : QString()) +
                                     QString::number(std::abs(cents) / 100) + u'.' +
                                     QString::number(std::abs(cents) % 100).rightJustified(2, u'0');
            QCOMPARE(total.text(), expected);
        }
    }
    void count_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<qsizetype>("expected");
        QTest::newRow("empty") << "" << qsizetype(0);
        QTest::newRow("blank lines") << "a⏎⏎  ⏎b" << qsizetype(2);
        QTest::newRow("trailing break") << "a⏎" << qsizetype(1);
        QTest::newRow("tabs") << "\t\t" << qsizetype(1);
        QTest::newRow("ideographic space") << "\u3000" << qsizetype(1);
        QTest::newRow("lone LF is no break") << "a↓b" << qsizetype(1);
        QTest::newRow("filtered") << "a⏎b⏎" << qsizetype(2);
    }
    void count() {
        QFETCH(QString, input);
        QFETCH(qsizetype, expected);
        QCOMPARE(CountNonBlankLines(T(input)), expected);
    }

    void captions() {
        QCOMPARE(BeforeFilterCaption(0), QStringLiteral("过滤前共0行"));
        QCOMPARE(AfterFilterCaption(1000000), QStringLiteral("过滤后共1000000行"));
    }

    void normalize_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("none") << "ab"
                              << "ab";
        QTest::newRow("crlf kept") << "a⏎b⏎"
                                   << "a⏎b⏎";
        QTest::newRow("lone LF") << "a↓b↓"
                                 << "a⏎b⏎";
        QTest::newRow("lone CR") << "a\rb\r"
                                 << "a⏎b⏎";
        QTest::newRow("LF CR") << "a\n\rb"
                               << "a⏎⏎b";
        QTest::newRow("paragraph separator") << "a\u2029b"
                                             << "a⏎b";
        QTest::newRow("line separator stays") << "a\u2028b"
                                              << "a\u2028b";
        QTest::newRow("starts with LF") << "↓a"
                                        << "⏎a";
        QTest::newRow("ends with CR") << "a\r"
                                      << "a⏎";
        QTest::newRow("CR CR LF") << "\r⏎"
                                  << "⏎⏎";
        QTest::newRow("frame markers") << "\ufdd0a\ufdd1"
                                       << "⏎a⏎";
    }
    void normalize() {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(NormalizeLineBreaks(T(input)), T(expected));
    }

    // Thousands of short random texts over a tiny alphabet, against the plain count above.
    void randomAgainstModel() {
        const QChar alphabet[] = {u'a', u'b', u' ', u'\t', u'\r', u'\n', QChar(0x7532)};
        QRandomGenerator rng(20261208);
        for (int round = 0; round < 20000; ++round) {
            QString text;
            const int length = rng.bounded(0, 24);
            for (int i = 0; i < length; ++i)
                text += alphabet[rng.bounded(0, int(std::size(alphabet)))];
            QCOMPARE(CountNonBlankLines(text), ReferenceCount(text));
        }
    }

    // The table of comparison options.
    void tableNamesAreOneEach();
    void rowsFoundByTheirMember();
    void everyOptionValueComesBackFromItsWords_data();
    void everyOptionValueComesBackFromItsWords();
    void rememberedWordsKeepTheirMeaning();
    void optionsChangeWhatTheTableSays_data();
    void optionsChangeWhatTheTableSays();
    void manualNamesEveryOption();
    void unknownOption_data();
    void unknownOption();
    void byteColumnsAreTheTextsColumns_data();
    void byteColumnsAreTheTextsColumns();
};

// The rows other code asks for by their member read that member, and no other.
void CoreTest::rowsFoundByTheirMember() {
    FilterOptions options;
    options.keep = KeepMode::Last;
    options.key.kind = KeyRule::Kind::Phone;
    QCOMPARE(OptionValue(KeepModeOption(), options), int(KeepMode::Last));
    QCOMPARE(OptionValue(KeyKindOption(), options), int(KeyRule::Kind::Phone));
    options.keep = KeepMode::Unique;
    options.key.kind = KeyRule::Kind::Url;
    QCOMPARE(OptionValue(KeepModeOption(), options), int(KeepMode::Unique));
    QCOMPARE(OptionValue(KeyKindOption(), options), int(KeyRule::Kind::Url));
}

void CoreTest::tableNamesAreOneEach() {
    QSet<QString> names, words, objectNames;
    for (const ComparisonOption& option : ComparisonOptions()) {
        const QString name = QString::fromLatin1(option.name);
        QVERIFY2(!names.contains(name), option.name);
        names << name;
        QVERIFY2(option.help && option.settingsWord, option.name);
        const QString word = QString::fromLatin1(option.settingsWord);
        QVERIFY2(!words.contains(word) && !word.contains(u' ') && !word.contains(u'='),
                 option.settingsWord);
        words << word;
        QStringList shown;
        if (option.isFlag()) {
            QVERIFY2(option.label && option.objectName && !option.valueName, option.name);
            shown << QString::fromLatin1(option.objectName);
        } else if (option.isNumber()) {
            // A number is off at its default, which is none of its values, and the note says
            // its value; in the menu or in the 比较范围 dialog.
            QVERIFY2(option.valueName && option.label && option.objectName && option.minimum > 0,
                     option.name);
            QVERIFY2(QString::fromUtf16(option.described).contains(QStringLiteral("%1")),
                     option.name);
            QCOMPARE(DefaultOptionValue(option), 0);
            QVERIFY(OptionWord(option, 0).isEmpty());
            shown << QString::fromLatin1(option.objectName);
        } else {
            // A choice names its values in the help.
            QVERIFY2(option.valueName, option.name);
            QVERIFY2(!OptionWord(option, DefaultOptionValue(option)).isEmpty(), option.name);
            for (const OptionChoice& choice : option.choices)
                shown << QString::fromLatin1(choice.objectName);
        }
        for (const QString& objectName : shown) {
            QVERIFY2(!objectNames.contains(objectName), qPrintable(objectName));
            objectNames << objectName;
        }
    }
}

void CoreTest::everyOptionValueComesBackFromItsWords_data() {
    AddRowForEachOptionValue();
}
void CoreTest::everyOptionValueComesBackFromItsWords() {
    QFETCH(int, index);
    QFETCH(int, value);
    const ComparisonOption& option = ComparisonOptions()[std::size_t(index)];
    const FilterOptions options = With(index, value);
    QVERIFY(!options.isDefault());
    if (!option.isFlag()) {
        const QString word = OptionWord(option, value);
        QCOMPARE(OptionValueOfWord(option, word), std::optional<int>(value));
    }
    // The menu's family among the options' words; the part compared's with the key, in the
    // window (see tst_options).
    if (option.member.family == OptionFamily::Menu) {
        QVERIFY(!FilterOptionsToText(options).isEmpty());
        QCOMPARE(FilterOptionsFromText(FilterOptionsToText(options)), options);
    } else {
        QCOMPARE(FilterOptionsToText(options), QString());
    }
}

// The words remembered by earlier versions keep their meaning; words not known, and values not
// known, are passed over.
void CoreTest::rememberedWordsKeepTheirMeaning() {
    FilterOptions all;
    all.ignoreCase = all.trim = all.ignoreWidth = all.keepBlank = true;
    all.keep = KeepMode::Repeated;
    const QString words = QStringLiteral("ignore-case trim ignore-width keep-blank keep=repeated");
    QCOMPARE(FilterOptionsToText(all), words);
    QCOMPARE(FilterOptionsFromText(words), all);
    FilterOptions last;
    last.keep = KeepMode::Last;
    last.ignoreCase = true;
    QCOMPARE(FilterOptionsFromText(QStringLiteral(" keep=last  ignore-case frob keep=sideways")),
             last);
    QCOMPARE(FilterOptionsFromText(QStringLiteral("keep ignore-case=1 keep=first digits-only "
                                                  "digitsOnly")),
             FilterOptions{});
}

// What an option does to the comparison is what the table says of it: one that changes the text
// compared makes the key from the text (never from the bytes, where it would be lost) and takes
// part in KeyRule's equality; one that does not leaves every key as it was.
void CoreTest::optionsChangeWhatTheTableSays_data() {
    AddRowForEachOptionValue();
}
void CoreTest::optionsChangeWhatTheTableSays() {
    QFETCH(int, index);
    QFETCH(int, value);
    const ComparisonOption& option = ComparisonOptions()[std::size_t(index)];
    FilterOptions options = With(index, value);
    // An option may change the part compared instead of its text (a sum compares every column
    // but the summed one): the key is then made of columns, as with a column number.
    const bool otherPart = !options.key.comparesWholeLine();
    QCOMPARE(options.transformsLines(), option.transformsLines || otherPart);
    if (!otherPart)
        QCOMPARE(KeysOf(options) != KeysOf(FilterOptions{}), option.transformsLines);
    if (option.member.family == OptionFamily::Key) {
        QVERIFY(options.key != KeyRule{});
        QVERIFY(!options.key.isDefault());
        QVERIFY(!SameKeyOptions(options.key, KeyRule{}));
    }
    // With columns cut by a comma, keyed from the bytes only where nothing changes the text.
    options.key.source = KeyRule::Source::Columns;
    options.key.columns = {2};
    options.key.separator.character = QStringLiteral(",");
    QCOMPARE(ByteColumnKey::SeparatorOf(options).has_value(), !option.transformsLines);
}

// The manual of trennix-cli describes every comparison option under its name, and every value
// of a choice.
void CoreTest::manualNamesEveryOption() {
    QFile file(QStringLiteral(TRENNIX_MANUAL_DIR "/trennix-cli.1"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString manual = QString::fromUtf8(file.readAll());
    const qsizetype options = manual.indexOf(QStringLiteral("\n.SH OPTIONS\n"));
    const QString section =
        manual.mid(options, manual.indexOf(QStringLiteral("\n.SH "), options + 1) - options);
    QVERIFY(options > 0);
    for (const ComparisonOption& option : ComparisonOptions()) {
        // Dashes are "\-" in the manual's source.
        const QString name = QString::fromLatin1(option.name).replace(u'-', QStringLiteral("\\-"));
        // The item's first line names it, alone or followed by its values.
        const QRegularExpression item(
            QStringLiteral("\n\\.TP\n\\.BR? %1[ =\n]")
                .arg(QRegularExpression::escape(QStringLiteral("\\-\\-") + name)));
        const QRegularExpressionMatch found = item.match(section);
        QVERIFY2(found.hasMatch(), option.name);
        const qsizetype end = section.indexOf(QStringLiteral("\n.TP\n"), found.capturedEnd());
        const QString text = section.mid(found.capturedStart(), end - found.capturedStart());
        for (const OptionChoice& choice : option.choices)
            QVERIFY2(text.contains(QStringLiteral(" %1 ").arg(QLatin1String(choice.word))),
                     choice.word);
    }
}

// An unknown option is named as it was typed, whatever its dashes and value.
void CoreTest::unknownOption_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::newRow("two dashes") << QStringList{"a.txt", "--frob"} << "frob"
                                << "未知选项“--frob”。";
    QTest::newRow("one dash") << QStringList{"-frob"} << "frob"
                              << "未知选项“-frob”。";
    QTest::newRow("three dashes") << QStringList{"---frob"} << "-frob"
                                  << "未知选项“---frob”。";
    QTest::newRow("with a value") << QStringList{"--frob=1"} << "frob"
                                  << "未知选项“--frob”。";
    QTest::newRow("a file of that name first") << QStringList{"frob", "-frob"} << "frob"
                                               << "未知选项“-frob”。";
    QTest::newRow("after --, a file") << QStringList{"--", "-frob"} << "frob"
                                      << "未知选项“--frob”。";
}
void CoreTest::unknownOption() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, name);
    QFETCH(QString, message);
    QCOMPARE(UnknownOptionMessage(arguments, name), message);
}

// The columns cut from a line's bytes are the columns of its text, whatever their widths (a short
// column is looked through byte by byte, a long one otherwise).
void CoreTest::byteColumnsAreTheTextsColumns_data() {
    QTest::addColumn<QString>("columns");
    QTest::addColumn<int>("sum");
    QTest::newRow("column 2") << "2" << 0;
    QTest::newRow("columns 3,1") << "3,1" << 0;
    QTest::newRow("column 1, sum of 3") << "1" << 3;
    QTest::newRow("all but the sum, 2") << "" << 2;
}
void CoreTest::byteColumnsAreTheTextsColumns() {
    QFETCH(QString, columns);
    QFETCH(int, sum);
    FilterOptions options;
    options.key.separator.character = QStringLiteral(",");
    if (!columns.isEmpty()) {
        options.key.source = KeyRule::Source::Columns;
        QString error;
        options.key.columns = *ParseFieldList(columns, &error);
    }
    options.key.sumColumn = sum;
    ByteColumnKey bytes(options);
    LineKeyMaker text(options);
    const int widths[] = {0, 1, 31, 32, 33, 64, 65, 200};
    for (const int a : widths) {
        for (const int b : widths) {
            for (const int c : widths) {
                const QString line = QString(a, u'a') + u',' + QString(b, u'1') + u',' +
                                     QString(c, u'c') + u',' + QString(b + 1, u'd');
                const QByteArray latin = line.toLatin1();
                const auto* at = reinterpret_cast<const uchar*>(latin.constData());
                bool keyless = false;
                const QByteArray key = bytes.key(at, latin.size(), &keyless).toByteArray();
                QCOMPARE(QString::fromLatin1(key), text.key(line).toString());
                if (sum > 0)
                    QCOMPARE(bytes.summedOf(at, latin.size()), latin.split(',').at(sum - 1));
            }
        }
    }
}

QTEST_APPLESS_MAIN(CoreTest)
#include "tst_core.moc"
