#include "ui/compare/comparesetup.h"
#include "ui/compare/filteroptionsmenu.h"
#include "ui/compare/keyruledialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(KeyRule)

namespace {

template <typename W> W* In(QWidget* dialog, const char* name) {
    W* widget = dialog->findChild<W*>(QString::fromLatin1(name));
    if (!widget)
        qFatal("no %s", name);
    return widget;
}

// A rule: the kind (text phone email url), then "csv" for the second CSV column, a region code,
// or the flags plus gmail www slash scheme header.
KeyRule Rule(const QString& description) {
    KeyRule rule;
    const QStringList words = description.split(u' ', Qt::SkipEmptyParts);
    const QStringList kinds = {u"text"_s, u"phone"_s, u"email"_s, u"url"_s};
    rule.kind = KeyRule::Kind(std::max<qsizetype>(kinds.indexOf(words.value(0)), 0));
    for (const QString& word : words.mid(1)) {
        if (word == u"csv") {
            rule.source = KeyRule::Source::Columns;
            rule.separator.kind = Separator::Kind::Csv;
            rule.columns = {2};
        } else if (word.size() == 2 && word.isUpper()) {
            rule.region = word;
        }
        rule.plus |= word == u"plus";
        rule.gmail |= word == u"gmail";
        rule.www |= word == u"www";
        rule.slash |= word == u"slash";
        rule.scheme |= word == u"scheme";
        rule.header |= word == u"header";
    }
    return rule;
}

} // namespace

// The kinds of key in the 比较范围 dialog: the example shows the key of each kind, or why there is
// none; the dialog shows a rule and reads it back as it was, and so do the remembered settings.
class TestKeyKinds : public QObject {
    Q_OBJECT
private slots:
    void example_data() {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("shown");
        const QString stays = u"（无键的行不算重复）"_s;
        QTest::newRow("phone, China by default")
            << u"phone csv"_s << u"张三,138-0013-8000"_s << u"键：「+8613800138000」"_s;
        QTest::newRow("phone with a region")
            << u"phone US"_s << u"(650) 253-0000"_s << u"键：「+16502530000」"_s;
        QTest::newRow("no valid number")
            << u"phone"_s << u"12345"_s << u"无键：不是有效的电话号码"_s + stays;
        QTest::newRow("email, plus and gmail")
            << u"email plus gmail"_s << u"张三 <Zhang.San+news@GoogleMail.com>"_s
            << u"键：「ZhangSan@gmail.com」"_s;
        QTest::newRow("no address") << u"email"_s << u"张三"_s << u"无键：找不到邮箱地址"_s + stays;
        QTest::newRow("url, www and slash")
            << u"url www slash"_s << u"见 https://www.Example.com:443/a/#top"_s
            << u"键：「https://example.com/a」"_s;
        QTest::newRow("no url") << u"url"_s << u"www.example.com"_s
                                << u"无键：找不到网址（网址要以 http:// 之类的开头）"_s + stays;
    }
    void example() {
        QFETCH(QString, rule);
        QFETCH(QString, line);
        QFETCH(QString, shown);
        FilterOptions options;
        options.key = Rule(rule);
        KeyRuleDialog dialog(options, line);
        QCOMPARE(dialog.exampleKey(), shown);
    }

    void readsBack_data() {
        QTest::addColumn<QString>("rule");
        for (const char* rule : {"text header", "phone", "phone HK csv header", "email plus",
                                 "email gmail", "url www slash scheme", "url scheme header"})
            QTest::newRow(rule) << QString::fromLatin1(rule);
    }
    void readsBack() {
        QFETCH(QString, rule);
        FilterOptions options;
        options.key = Rule(rule);
        KeyRuleDialog dialog(options, {});
        QCOMPARE(dialog.keyRule(), options.key);
        QCOMPARE(KeyRuleFromText(KeyRuleToText(options.key)), options.key);
        // Each kind's rules are offered with that kind only.
        QCOMPARE(In<QComboBox>(&dialog, "KeyRegion")->isEnabled(),
                 options.key.kind == KeyRule::Kind::Phone);
        QCOMPARE(In<QCheckBox>(&dialog, "KeyEmailPlus")->isEnabled(),
                 options.key.kind == KeyRule::Kind::Email);
        QCOMPARE(In<QCheckBox>(&dialog, "KeyUrlScheme")->isEnabled(),
                 options.key.kind == KeyRule::Kind::Url);
        // Another kind chosen drops the rules of this one.
        In<QRadioButton>(&dialog, "KeyText")->click();
        KeyRule text = options.key;
        text.kind = KeyRule::Kind::Text;
        text.plus = text.gmail = text.www = text.slash = text.scheme = false;
        QCOMPARE(dialog.keyRule(), text);
    }

    // A phone number, an e-mail address or a web address is read by its own rules: the options
    // the command line refuses with such a key cannot be set with it in the window either.
    void refusedOptions_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("caseGoes");
        QTest::newRow("phone") << u"Phone"_s << false;
        QTest::newRow("email") << u"Email"_s << true;
        QTest::newRow("url") << u"Url"_s << true;
    }
    void refusedOptions() {
        QFETCH(QString, kind);
        QFETCH(bool, caseGoes);
        FilterOptions options;
        options.ignoreCase = true;
        options.key.digitsOnly = options.key.ignoreSpaces = options.key.ignorePunct = true;
        options.key.ignoreInvisible = true;
        KeyRuleDialog dialog(options, {});
        const QByteArray radio = "Key" + kind.toLatin1();
        In<QRadioButton>(&dialog, radio.constData())->click();
        for (const char* name : {"KeyDigitsOnly", "KeyIgnoreSpaces", "KeyIgnorePunct"})
            QVERIFY2(!In<QCheckBox>(&dialog, name)->isEnabled(), name);
        QVERIFY(In<QCheckBox>(&dialog, "KeyIgnoreInvisible")->isEnabled());
        KeyRule rule = dialog.keyRule();
        QVERIFY(!rule.digitsOnly && !rule.ignoreSpaces && !rule.ignorePunct);
        QVERIFY(rule.ignoreInvisible);
        // Back to the text: the ticks are still there.
        In<QRadioButton>(&dialog, "KeyText")->click();
        QCOMPARE(dialog.keyRule(), options.key);

        // The options menu greys what the kind refuses, and the setup drops it.
        options.key = rule;
        FilterOptionsMenu menu;
        menu.setOptions(options);
        QAction* ignoreCase = menu.findChild<QAction*>(u"OptionIgnoreCase"_s);
        QVERIFY(ignoreCase);
        QCOMPARE(ignoreCase->isEnabled(), caseGoes);
        QCOMPARE(menu.options().ignoreCase, caseGoes);
        FilterOptions reset = options;
        ResetRefusedOptions(reset);
        QCOMPARE(reset.ignoreCase, caseGoes);
        QCOMPARE(OptionsRefusedByKey(options).size(), caseGoes ? 0u : 1u);
        options.key.kind = KeyRule::Kind::Text;
        menu.setOptions(options);
        QVERIFY(ignoreCase->isEnabled());
        QVERIFY(menu.options().ignoreCase);
    }

    // 合并: the column summed, cut by the separator also when the whole line is compared,
    // remembered with it; refused with near repeats and when it is a compared column.
    void sumRow_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("separator"); // the choice's index; -1 for a typed ";"
        QTest::addColumn<int>("similar");
        QTest::addColumn<QString>("fault");
        QTest::newRow("whole line, tab") << u"line"_s << 0 << 0 << QString();
        QTest::newRow("whole line, other character") << u"line"_s << -1 << 0 << QString();
        QTest::newRow("column 1 compared") << u"1"_s << 0 << 0 << QString();
        QTest::newRow("the summed column compared") << u"1,2"_s << 0 << 0 << u"同时是比较的列"_s;
        QTest::newRow("near repeats on") << u"line"_s << 0 << 90 << u"相似的行也算重复"_s;
    }
    void sumRow() {
        QFETCH(QString, source);
        QFETCH(int, separator);
        QFETCH(int, similar);
        QFETCH(QString, fault);
        FilterOptions options;
        options.similar = similar;
        KeyRuleDialog dialog(options, u"苹果;3"_s);
        auto* sum = In<QCheckBox>(&dialog, "KeySum");
        auto* column = dialog.findChild<QSpinBox*>(u"KeySumValue"_s);
        QVERIFY(column);
        auto* separators = In<QComboBox>(&dialog, "KeySeparator");
        QVERIFY(!separators->isEnabled());
        sum->click();
        column->setValue(2);
        if (source != u"line") {
            In<QRadioButton>(&dialog, "KeyColumns")->click();
            dialog.findChild<QLineEdit*>(u"KeyFields"_s)->setText(source);
        }
        QVERIFY(separators->isEnabled());
        if (separator < 0) {
            separators->setCurrentIndex(separators->count() - 1);
            dialog.findChild<QLineEdit*>(u"KeySeparatorChar"_s)->setText(u";"_s);
        } else {
            separators->setCurrentIndex(separator);
        }
        QVERIFY2(dialog.fault().contains(fault), qPrintable(dialog.fault()));
        QCOMPARE(In<QPushButton>(&dialog, "KeyOk")->isEnabled(), fault.isEmpty());
        if (!fault.isEmpty())
            return;
        const KeyRule rule = dialog.keyRule();
        QCOMPARE(rule.sumColumn, 2);
        QCOMPARE(rule.separator.character, separator < 0 ? u";"_s : u"\t"_s);
        if (separator < 0)
            QCOMPARE(dialog.exampleKey(), u"键：「苹果」"_s);
        QCOMPARE(KeyRuleFromText(KeyRuleToText(rule)), rule);
        options.key = rule;
        KeyRuleDialog again(options, {});
        QCOMPARE(again.keyRule(), rule);

        // The options menu greys near repeats while copies are summed.
        FilterOptionsMenu menu;
        menu.setOptions(options);
        auto* near = menu.findChild<QCheckBox*>(u"OptionSimilar"_s);
        QVERIFY(near);
        QVERIFY(!near->isEnabled());
    }
};

QTEST_MAIN(TestKeyKinds)
#include "tst_keykinds.moc"
