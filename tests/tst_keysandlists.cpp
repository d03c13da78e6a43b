// The window's 比较范围… and 对照清单…: the dialogs driven as a user drives them, the settings they
// make, the filter they drive (as the engine filters), the note after a filter, what is
// remembered between runs, and the large-file mode with a key and a list.
#include "engine/engine.h"
#include "filehelpers.h"
#include "files/textcodec.h"
#include "referencefilter.h"
#include "testtext.h"
#include "ui/compare/comparesetup.h"
#include "ui/compare/filteroptionsmenu.h"
#include "ui/compare/keyruledialog.h"
#include "ui/compare/listsdialog.h"
#include "ui/statistic/repeatsdialog.h"
#include "ui/textbox/textbox.h"
#include "ui/window/mainwindow.h"
#include "ui/window/splitbutton.h"
#include "ui/window/wording.h"
#include "windowdriver.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QToolButton>

#include <memory>

namespace {

// Names and telephone numbers written in several ways, a line without the second column, a
// zero-width space inside a number, a blank line.
const QString kContacts = T(QStringLiteral("姓名,电话⏎张三,+86 138-0013-8000⏎李四,139 0000 1111⏎"
                                           "张三丰,+86 13800138000⏎王五,⏎李四,13900001111⏎"
                                           "钱七,137\u200b1234\u200b5678⏎钱七,13712345678⏎⏎赵六"));

// How a row sets up the key dialog: "line", "columns SEPARATOR FIELDS" (SEPARATOR the number of
// the choice in the list; the last choice takes a character: "6:；") or "pattern RE", then
// flags among "digits spaces punct invisible".
struct KeySetup {
    QString source;
    QString flags;
};

ComparedList Pasted(ComparedList::Kind kind, const QString& text, int number) {
    return ComparedList{kind, {}, text, PastedListName(number)};
}

EngineSettings SettingsOf(const FilterOptions& options, std::vector<ComparedList> lists = {}) {
    EngineSettings settings;
    settings.options = options;
    settings.lists = std::move(lists);
    return settings;
}

} // namespace

class KeysAndListsTest : public QObject, WindowDriver {
    Q_OBJECT
    QTemporaryDir dir;

    QString path(const QString& name) const { return dir.filePath(name); }
    QString note() const { return text2()->note(); }
    void trigger(const QString& action) {
        auto* a = window->findChild<QAction*>(action);
        QVERIFY2(a, qPrintable(action));
        a->trigger();
    }
    void restart() {
        window.reset();
        window = std::make_unique<MainWindow>(*services);
        window->show();
    }
    template <typename W> static W* in(QWidget* dialog, const char* name) {
        auto* w = dialog->findChild<W*>(QString::fromLatin1(name));
        if (!w)
            qFatal("no widget %s", name);
        return w;
    }
    template <typename D> D* openDialog(const char* action) {
        trigger(QString::fromLatin1(action));
        for (D* dialog : window->findChildren<D*>()) {
            if (dialog->isVisible())
                return dialog;
        }
        return nullptr;
    }
    KeyRuleDialog* keyDialog() { return openDialog<KeyRuleDialog>("CompareKey"); }
    ComparedListsDialog* listsDialog() { return openDialog<ComparedListsDialog>("CompareLists"); }
    // Closes a dialog with a button and lets it go.
    static void press(QWidget* dialog, const char* button) {
        in<QPushButton>(dialog, button)->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    static void setUp(KeyRuleDialog* dialog, const KeySetup& setup) {
        const QStringList words = setup.source.split(u' ');
        if (words[0] == u"line") {
            in<QRadioButton>(dialog, "KeyWholeLine")->click();
        } else if (words[0] == u"columns") {
            in<QRadioButton>(dialog, "KeyColumns")->click();
            in<QComboBox>(dialog, "KeySeparator")
                ->setCurrentIndex(words[1].section(u':', 0, 0).toInt());
            in<QLineEdit>(dialog, "KeySeparatorChar")->setText(words[1].section(u':', 1));
            in<QLineEdit>(dialog, "KeyFields")->setText(words.value(2));
        } else {
            in<QRadioButton>(dialog, "KeyPattern")->click();
            in<QLineEdit>(dialog, "KeyRegex")->setText(setup.source.section(u' ', 1));
        }
        const QStringList flags = setup.flags.split(u' ', Qt::SkipEmptyParts);
        in<QCheckBox>(dialog, "KeyDigitsOnly")->setChecked(flags.contains(u"digits"));
        in<QCheckBox>(dialog, "KeyIgnoreSpaces")->setChecked(flags.contains(u"spaces"));
        in<QCheckBox>(dialog, "KeyIgnorePunct")->setChecked(flags.contains(u"punct"));
        in<QCheckBox>(dialog, "KeyIgnoreInvisible")->setChecked(flags.contains(u"invisible"));
    }
    // Types a text of any script, a character at a time.
    static void typeInto(QWidget* widget, const QString& text) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            const qsizetype n = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, text.mid(i, n),
                                Qt::NoModifier);
            i += n - 1;
        }
    }
    void filter(const QString& text) {
        text1()->setText(text);
        click("Command1");
        QVERIFY(waitIdle());
    }
    // What the engine makes of the text with the window's settings.
    TextFilterResult engineFilter(const QString& text) const {
        return FilterText(text, SettingsOf(window->filterOptions(), window->comparedLists()));
    }

private slots:
    void init() {
        makeWindow();
        window->show();
    }
    void cleanup() { dropWindow(); }

    // The dialog's setup becomes the key: the example shows the key of a line as it is set up,
    // and the filter then compares by it exactly as the engine does, writing whole lines.
    void keyDialogDrivesTheFilter_data() {
        QTest::addColumn<QStringList>("actions"); // options of the menu first
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("example");
        QTest::addColumn<QString>("exampleKey");
        QTest::addColumn<QString>("expectedKey"); // for Options() of the reference
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("note");
        QTest::newRow("telephone column, digits only")
            << QStringList() << "columns 1 2"
            << "digits" << kContacts << "张三,+86 138-0013-8000"
            << "键：「+8613800138000」"
            << ", 2"
            << "姓名,电话⏎张三,+86 138-0013-8000⏎李四,139 0000 1111⏎王五,⏎"
               "钱七,137\u200b1234\u200b5678⏎赵六⏎"
            << "已删除 4 行（重复 3 行，空行 1 行）；无键行 3；比较第 2 列（逗号分隔）、只比较数字";
        QTest::newRow("name by a pattern")
            << QStringList() << "pattern ^([^,]+)"
            << "" << kContacts << "张三,+86 138-0013-8000"
            << "键：「张三」"
            << "re ^([^,]+)"
            << "姓名,电话⏎张三,+86 138-0013-8000⏎李四,139 0000 1111⏎张三丰,+86 13800138000⏎"
               "王五,⏎钱七,137\u200b1234\u200b5678⏎赵六⏎"
            << "已删除 3 行（重复 2 行，空行 1 行）；比较正则表达式 ^([^,]+) 找到的部分";
        QTest::newRow("whole line without invisible characters")
            << QStringList() << "line"
            << "invisible"
            << "a\u200bb⏎ab⏎a\u200db⏎c"
            << "a\u200bb"
            << "键：「ab」"
            << ""
            << "a\u200bb⏎c⏎"
            << "已删除 2 行重复；忽略不可见字符";
        QTest::newRow("columns 2,1 by white space, without punctuation")
            << QStringList() << "columns 4 2,1"
            << "punct"
            << "x  foo.  bar⏎ x foo bar!⏎y foo⏎foo x"
            << " x foo bar!"
            << "键：「foo」「x」"
            << "space 2,1"
            << "x  foo.  bar⏎y foo⏎foo x⏎"
            << "已删除 1 行重复；比较第 2、1 列（空白分隔）、忽略标点";
        QTest::newRow("csv with a quoted comma, without spaces")
            << QStringList() << "columns 5 2"
            << "spaces"
            << "1,\"Smith, J\",a⏎2,\"Smith,J\",b⏎3,Smith J,c⏎4"
            << "1,\"Smith, J\",a"
            << "键：「Smith,J」"
            << "csv 2"
            << "1,\"Smith, J\",a⏎3,Smith J,c⏎4⏎"
            << "已删除 1 行重复；无键行 1；比较第 2 列（CSV）、忽略所有空白";
        QTest::newRow("a character of its own")
            << QStringList() << "columns 6:； 2"
            << ""
            << "甲；1⏎乙；1⏎丙"
            << "甲；1"
            << "键：「1」"
            << "； 2"
            << "甲；1⏎丙⏎"
            << "已删除 1 行重复；无键行 1；比较第 2 列（“；”分隔）";
        QTest::newRow("the menu's options apply too")
            << QStringList{"OptionIgnoreCase"} << "pattern ^(\\w+)"
            << ""
            << "Foo bar⏎FOO baz⏎foo"
            << "Foo bar"
            << "键：「foo」"
            << "re ^(\\w+)"
            << "Foo bar⏎"
            << "已删除 2 行重复；比较正则表达式 ^(\\w+) 找到的部分";
    }
    void keyDialogDrivesTheFilter() {
        QFETCH(QStringList, actions);
        QFETCH(QString, source);
        QFETCH(QString, flags);
        QFETCH(QString, input);
        QFETCH(QString, example);
        QFETCH(QString, exampleKey);
        QFETCH(QString, expectedKey);
        QFETCH(QString, output);
        QFETCH(QString, note);
        input = T(input);
        for (const QString& action : actions)
            trigger(action);
        KeyRuleDialog* dialog = keyDialog();
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("比较范围"));
        setUp(dialog, {source, flags});
        // Typed in, as a user does.
        auto* line = in<QLineEdit>(dialog, "KeyExample");
        line->clear();
        typeInto(line, example);
        QCOMPARE(dialog->exampleKey(), exampleKey);
        QCOMPARE(in<QLabel>(dialog, "KeyExampleResult")->text(), exampleKey);
        QCOMPARE(dialog->fault(), QString());
        QVERIFY(in<QPushButton>(dialog, "KeyOk")->isEnabled());
        QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("KeyExampleOptions")) != nullptr,
                 !actions.isEmpty());
        press(dialog, "KeyOk");

        FilterOptions expected = Options(expectedKey, flags);
        expected.ignoreCase = actions.contains(QStringLiteral("OptionIgnoreCase"));
        QCOMPARE(window->filterOptions(), expected);
        filter(input);
        QCOMPARE(text2()->text(), T(output));
        QCOMPARE(text2()->text(), engineFilter(input).text);
        QCOMPARE(text2()->text(), ReferenceFilter(input, expected));
        QCOMPARE(this->note(), note);
    }

    // 合并 in the dialog: the copies of a word become one line with their numbers added up, as
    // the engine adds them, and the setup is remembered.
    void sumInTheWindow() {
        KeyRuleDialog* dialog = keyDialog();
        QVERIFY(dialog);
        in<QCheckBox>(dialog, "KeySum")->click();
        in<QSpinBox>(dialog, "KeySumValue")->setValue(2);
        press(dialog, "KeyOk");
        QCOMPARE(window->filterOptions().key.sumColumn, 2);
        const QString input = QStringLiteral("苹果\t1.5\n梨\t2\n苹果\t3\n梨\tx\n");
        filter(input);
        QCOMPARE(text2()->text(), engineFilter(input).text);
        QVERIFY2(text2()->text().startsWith(QStringLiteral("苹果\t4.5")),
                 qPrintable(text2()->text()));
        QVERIFY(find<SplitButton>("Command1")
                    ->toolTip()
                    .contains(QStringLiteral("把第 2 列的数字加起来")));
        restart();
        QCOMPARE(window->filterOptions().key.sumColumn, 2);
    }

    // A key pattern that backtracks without end on the lines: the filter works away from the
    // window's thread (even on a small text), says why it is slow, and can be cancelled.
    void slowPatternIsExplained() {
        KeyRuleDialog* dialog = keyDialog();
        QVERIFY(dialog);
        setUp(dialog, {QStringLiteral("pattern (a+)+$"), {}});
        press(dialog, "KeyOk");
        const QString line = QStringLiteral("aaaaaaaaaaaaaaaaaaaab");
        QString input;
        for (int i = 0; i < 200000; ++i)
            input += line + QLatin1Char('\n');
        text1()->setText(input);
        QVERIFY(waitIdle());
        const QString before = text1()->text();
        click("Command1");
        QVERIFY(window->busy());
        QLabel* why = nullptr;
        QVERIFY(QTest::qWaitFor(
            [&] {
                for (QLabel* label : window->findChildren<QLabel*>(QStringLiteral("progressWhy")))
                    why = label->isVisible() ? label : why;
                return why != nullptr;
            },
            120000));
        QVERIFY2(why->text().contains(QStringLiteral("(a+)+$")), qPrintable(why->text()));
        QVERIFY(why->text().contains(QStringLiteral("可以随时取消")));
        QToolButton* cancel = nullptr;
        for (QToolButton* button : window->findChildren<QToolButton*>(QStringLiteral("cancel")))
            cancel = button->isVisible() ? button : cancel;
        QVERIFY(cancel);
        cancel->click();
        QVERIFY(waitIdle());
        QCOMPARE(text2()->text(), QString());
        QCOMPARE(text1()->text(), before);
        QVERIFY(!why->isVisible());
    }

    // The example says why a line has no key, and what a blank line is.
    void keyDialogExample_data() {
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("shown");
        const QString stays = QStringLiteral("（无键的行不算重复）");
        QTest::newRow("too few columns") << QStringList() << "columns 0 3"
                                         << ""
                                         << "a\tb"
                                         << "无键：这一行的列数不够" + stays;
        QTest::newRow("no match") << QStringList() << "pattern (\\d+)"
                                  << ""
                                  << "abc"
                                  << "无键：正则表达式在这一行中找不到键" + stays;
        QTest::newRow("group without part") << QStringList() << "pattern (x)?y"
                                            << ""
                                            << "y"
                                            << "无键：正则表达式在这一行中找不到键" + stays;
        QTest::newRow("nothing left") << QStringList() << "line"
                                      << "digits"
                                      << "abc"
                                      << "无键：这一行的键为空" + stays;
        QTest::newRow("empty column") << QStringList() << "columns 1 2"
                                      << ""
                                      << "a,"
                                      << "无键：这一行的键为空" + stays;
        QTest::newRow("spaces are a line") << QStringList() << "line"
                                           << ""
                                           << "  "
                                           << "键：「  」";
        QTest::newRow("spaces trimmed are blank") << QStringList{"OptionTrim"} << "line"
                                                  << ""
                                                  << "  "
                                                  << "空行：不参与比较";
        QTest::newRow("two columns") << QStringList() << "columns 0 1,3"
                                     << ""
                                     << "a\tb\tc"
                                     << "键：「a」「c」";
        QTest::newRow("a tab shown") << QStringList() << "line"
                                     << ""
                                     << "a\tb"
                                     << "键：「a⇥b」";
    }
    void keyDialogExample() {
        QFETCH(QStringList, actions);
        QFETCH(QString, source);
        QFETCH(QString, flags);
        QFETCH(QString, line);
        QFETCH(QString, shown);
        for (const QString& action : actions)
            trigger(action);
        KeyRuleDialog* dialog = keyDialog();
        QVERIFY(dialog);
        in<QLineEdit>(dialog, "KeyExample")->setText(line);
        setUp(dialog, {source, flags});
        QCOMPARE(dialog->exampleKey(), shown);
        press(dialog, "KeyCancel");
    }

    // The example starts with the input box's current line; on a blank one, with the first line
    // that is not blank.
    void exampleStartsWithTheCurrentLine_data() {
        QTest::addColumn<int>("cursorLine");
        QTest::addColumn<QString>("example");
        QTest::newRow("the current line") << 2 << "second";
        QTest::newRow("a blank line") << 1 << "first";
        QTest::newRow("the first line") << 0 << "first";
    }
    void exampleStartsWithTheCurrentLine() {
        QFETCH(int, cursorLine);
        QFETCH(QString, example);
        text1()->setText(T(QStringLiteral("first⏎ ⏎second⏎third")));
        QTextCursor cursor(text1()->document()->findBlockByNumber(cursorLine));
        text1()->setTextCursor(cursor);
        KeyRuleDialog* dialog = keyDialog();
        QVERIFY(dialog);
        QCOMPARE(in<QLineEdit>(dialog, "KeyExample")->text(), example);
        QCOMPARE(dialog->exampleKey(), QStringLiteral("键：「%1」").arg(example));
        press(dialog, "KeyCancel");
    }

    // The bounds of the example: the characters of the line it starts with, how far down the
    // box it looks past blank lines, and how much of a column it shows.
    void exampleBounds_data() {
        QTest::addColumn<QString>("input"); // the cursor stays on the first line
        QTest::addColumn<QString>("example");
        QTest::addColumn<QString>("shown");
        const qsizetype most = KeyRuleDialog::kExampleChars;
        const QString full(most, u'x');
        const QString blanks(kExampleSearchLines - 1, u'\n');
        QTest::newRow("a line at the bound") << full << full << QString();
        QTest::newRow("a line above the bound") << full + u'y' << full << QString();
        QTest::newRow("the last line looked at") << blanks + QStringLiteral("found") << "found"
                                                 << "键：「found」";
        QTest::newRow("past the last line looked at") << blanks + QStringLiteral("\nfound") << ""
                                                      << "键：—（在上面输入一行）";
        const QString column(kShownKeyChars, u'k');
        QTest::newRow("a key shown whole") << column << column << "键：「" + column + "」";
        QTest::newRow("a key shown cut")
            << column + u'k' << column + u'k' << "键：「" + column + "…」";
    }
    void exampleBounds() {
        QFETCH(QString, input);
        QFETCH(QString, example);
        QFETCH(QString, shown);
        text1()->setText(input);
        text1()->setTextCursor(QTextCursor(text1()->document()));
        KeyRuleDialog* dialog = keyDialog();
        QVERIFY(dialog);
        QCOMPARE(in<QLineEdit>(dialog, "KeyExample")->text(), example);
        if (!shown.isEmpty())
            QCOMPARE(dialog->exampleKey(), shown);
        press(dialog, "KeyCancel");
    }

    // A setup that cannot be used is told in the dialog and OK stays off until it is mended;
    // a cancel changes nothing.
    void keyDialogFaults_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("fault");
        QTest::newRow("no column") << "columns 0 "
                                   << "没有给出列号";
        QTest::newRow("column 0") << "columns 0 0"
                                  << "列号不能是 0";
        QTest::newRow("an empty item") << "columns 0 1,,2"
                                       << "中有空项";
        QTest::newRow("no character") << "columns 6: 1"
                                      << "请在“其他字符”后填写";
        QTest::newRow("two characters") << "columns 6:ab 1"
                                        << "分隔符“ab”不是一个字符";
        QTest::newRow("no pattern") << "pattern "
                                    << "正则表达式为空";
        QTest::newRow("a bad pattern") << "pattern (ab"
                                       << "正则表达式“(ab”有误";
        QTest::newRow("a long bad pattern")
            << "pattern (" + QString(300, u'a') << "正则表达式“(aaa";
    }
    void keyDialogFaults() {
        QFETCH(QString, source);
        QFETCH(QString, fault);
        KeyRuleDialog* dialog = keyDialog();
        QVERIFY(dialog);
        // Where the controls above and below the fault stand: a fault that comes or goes moves
        // none of them, nor the dialog's size.
        auto places = [dialog] {
            QCoreApplication::sendPostedEvents();
            QList<QRect> at{dialog->rect()};
            for (const char* name : {"KeyFields", "KeyExampleResult", "KeyOk"}) {
                auto* w = in<QWidget>(dialog, name);
                at << QRect(w->mapTo(dialog, QPoint(0, 0)), w->size());
            }
            return at;
        };
        setUp(dialog, {QStringLiteral("columns 1 2"), QString()});
        const QList<QRect> without = places();
        setUp(dialog, {source, QString()});
        QVERIFY2(dialog->fault().contains(fault), qPrintable(dialog->fault()));
        auto* told = in<QLabel>(dialog, "KeyError");
        const QString shown = told->text().remove(QChar(0x200B));
        QVERIFY2(shown == dialog->fault() || shown.contains(u'…'), qPrintable(shown));
        QCOMPARE(told->toolTip(), dialog->fault());
        QVERIFY(told->isVisible());
        QCOMPARE(places(), without);
        QVERIFY(!in<QPushButton>(dialog, "KeyOk")->isEnabled());
        QCOMPARE(dialog->exampleKey(), QStringLiteral("键：—（设置有误）"));
        // Mended, then cancelled.
        setUp(dialog, {QStringLiteral("columns 1 2"), QString()});
        QCOMPARE(dialog->fault(), QString());
        QCOMPARE(places(), without);
        QVERIFY(in<QPushButton>(dialog, "KeyOk")->isEnabled());
        press(dialog, "KeyCancel");
        QCOMPARE(window->filterOptions(), FilterOptions{});
        QVERIFY(services->settings.value(MainWindow::kKeyKey).isEmpty());
    }

    // Lists added from files and pasted, each excluding or intersecting; removed again; a pasted
    // list left empty is no list. The filter then compares with them as the engine does.
    void listsDialogDrivesTheFilter_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("described");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("note");
        QTest::newRow("one file") << QStringList{"file:ab.txt"} << "排除清单 ab.txt"
                                  << "c⏎d⏎e⏎"
                                  << "已删除 3 行（排除清单删除 3 行）";
        QTest::newRow("a file and a pasted list kept to")
            << QStringList{"file:ab.txt", "paste:c\nd\nb", "intersect"}
            << "排除清单 ab.txt、交集清单 粘贴的清单 1"
            << "c⏎d⏎"
            << "已删除 4 行（排除清单 ab.txt 删除 3 行，交集清单 粘贴的清单 1 删除 1 行）";
        QTest::newRow("two files at once, one removed")
            << QStringList{"file:ab.txt\ncd.txt", "select:0", "remove"} << "排除清单 cd.txt"
            << "a⏎b⏎e⏎"
            << "已删除 3 行（排除清单删除 2 行，重复 1 行）";
        QTest::newRow("pasted lists numbered again")
            << QStringList{"paste:x", "paste:e", "select:0", "remove"} << "排除清单 粘贴的清单 1"
            << "a⏎b⏎c⏎d⏎"
            << "已删除 2 行（排除清单删除 1 行，重复 1 行）";
        QTest::newRow("an empty paste") << QStringList{"paste:"} << ""
                                        << "a⏎b⏎c⏎d⏎e⏎"
                                        << "已删除 1 行重复";
        QTest::newRow("a kind changed back")
            << QStringList{"file:cd.txt", "intersect", "exclude"} << "排除清单 cd.txt"
            << "a⏎b⏎e⏎"
            << "已删除 3 行（排除清单删除 2 行，重复 1 行）";
        QTest::newRow("a file dialog cancelled") << QStringList{"file:"} << ""
                                                 << "a⏎b⏎c⏎d⏎e⏎"
                                                 << "已删除 1 行重复";
    }
    void listsDialogDrivesTheFilter() {
        QFETCH(QStringList, steps);
        QFETCH(QString, described);
        QFETCH(QString, output);
        QFETCH(QString, note);
        WriteAll(path(QStringLiteral("ab.txt")), "a\r\nb\r\n");
        // Another encoding than the input's.
        WriteAll(path(QStringLiteral("cd.txt")),
                 EncodeText(T(QStringLiteral("c⏎d⏎甲")), TextEncoding::Utf16LeBom)->bytes);
        ComparedListsDialog* dialog = listsDialog();
        QVERIFY(dialog);
        auto* entries = in<QListWidget>(dialog, "ListEntries");
        auto* text = in<QPlainTextEdit>(dialog, "ListText");
        for (const QString& step : steps) {
            const QString arg = step.section(u':', 1);
            if (step.startsWith(u"file:")) {
                QStringList answer;
                for (const QString& name : arg.split(u'\n', Qt::SkipEmptyParts))
                    answer << path(name);
                services->dialogAnswers = {answer.join(u'\n')};
                in<QPushButton>(dialog, "ListAddFiles")->click();
                QVERIFY(services->dialogsShown.last().startsWith(QStringLiteral("open|")));
            } else if (step.startsWith(u"paste:")) {
                in<QPushButton>(dialog, "ListAddPasted")->click();
                QVERIFY(text->isVisible());
                QCOMPARE(dialog->focusWidget(), text);
                text->insertPlainText(arg);
            } else if (step == u"intersect" || step == u"exclude") {
                in<QRadioButton>(dialog, step == u"intersect" ? "ListIntersect" : "ListExclude")
                    ->click();
            } else if (step.startsWith(u"select:")) {
                entries->setCurrentRow(arg.toInt());
            } else if (step == u"remove") {
                in<QPushButton>(dialog, "ListRemove")->click();
            }
        }
        // Each entry is listed by its kind and name.
        QStringList listed;
        for (int i = 0; i < entries->count(); ++i)
            listed << entries->item(i)->text().replace(QStringLiteral("："), QStringLiteral(" "));
        if (!steps.contains(QStringLiteral("paste:")))
            QCOMPARE(listed.join(QStringLiteral("、")), described);
        press(dialog, "ListOk");

        const std::vector<ComparedList>& lists = window->comparedLists();
        QCOMPARE(DescribeComparedLists(lists), described);
        for (const ComparedList& list : lists) {
            if (!list.path.isEmpty())
                QCOMPARE(list.path, path(list.name));
            else
                QVERIFY(!list.text.isEmpty());
        }
        QCOMPARE(find<SplitButton>("Command1")->isMarked(), !described.isEmpty());
        const QString input = T(QStringLiteral("a⏎b⏎c⏎b⏎d⏎e"));
        filter(input);
        QCOMPARE(text2()->text(), T(output));
        QCOMPARE(text2()->text(), engineFilter(input).text);
        QCOMPARE(this->note(), note);
    }

    // 粘贴清单 adds a pasted list holding the clipboard's text, its line breaks made CR LF; with
    // nothing on the clipboard the list starts empty, ready to type into, and the dialog says so.
    void pasteTakesTheClipboard_data() {
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("listed");
        QTest::addColumn<bool>("toldEmpty");
        QTest::newRow("lines") << "甲\n乙\r\nc"
                               << ""
                               << "甲⏎乙⏎c" << false;
        QTest::newRow("typed after") << "a\r"
                                     << "b"
                                     << "a⏎b" << false;
        QTest::newRow("empty clipboard") << ""
                                         << "x"
                                         << "x" << true;
    }
    void pasteTakesTheClipboard() {
        QFETCH(QString, clipboard);
        QFETCH(QString, typed);
        QFETCH(QString, listed);
        QFETCH(bool, toldEmpty);
        QGuiApplication::clipboard()->setText(clipboard);
        ComparedListsDialog* dialog = listsDialog();
        QVERIFY(dialog);
        in<QPushButton>(dialog, "ListAddPasted")->click();
        QGuiApplication::clipboard()->clear();
        auto* text = in<QPlainTextEdit>(dialog, "ListText");
        QVERIFY(text->isVisible());
        QCOMPARE(dialog->focusWidget(), text);
        QCOMPARE(
            in<QLabel>(dialog, "ListSource")->text().contains(QStringLiteral("剪贴板中没有文字")),
            toldEmpty);
        typeInto(text, typed);
        QCOMPARE(dialog->lists(),
                 std::vector<ComparedList>{Pasted(ComparedList::Kind::Exclude, T(listed), 1)});
        press(dialog, "ListOk");
    }

    // At most kMostComparedLists lists: the buttons that add are off at the bound, and files
    // beyond it are left out with a message.
    void listsBound_data() {
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("after");
        QTest::addColumn<bool>("told");
        QTest::newRow("one below, one file")
            << kMostComparedLists - 1 << 1 << kMostComparedLists << false;
        QTest::newRow("one below, two files")
            << kMostComparedLists - 1 << 2 << kMostComparedLists << true;
        QTest::newRow("at the bound") << kMostComparedLists << 0 << kMostComparedLists << false;
    }
    void listsBound() {
        QFETCH(int, before);
        QFETCH(int, files);
        QFETCH(int, after);
        QFETCH(bool, told);
        std::vector<ComparedList> lists;
        for (int i = 0; i < before; ++i)
            lists.push_back(Pasted(ComparedList::Kind::Exclude, QString::number(i), i + 1));
        services->settings.insert(MainWindow::kListsKey, ComparedListsToText(lists));
        restart();
        QCOMPARE(int(window->comparedLists().size()), before);
        ComparedListsDialog* dialog = listsDialog();
        QVERIFY(dialog);
        auto* add = in<QPushButton>(dialog, "ListAddFiles");
        QCOMPARE(add->isEnabled(), before < kMostComparedLists);
        QCOMPARE(in<QPushButton>(dialog, "ListAddPasted")->isEnabled(),
                 before < kMostComparedLists);
        if (files > 0) {
            QStringList answer;
            for (int i = 0; i < files; ++i) {
                answer << path(QStringLiteral("f%1.txt").arg(i));
                WriteAll(answer.last(), "x\n");
            }
            services->dialogAnswers = {answer.join(u'\n')};
            add->click();
        }
        QCOMPARE(int(dialog->lists().size()), after);
        QCOMPARE(add->isEnabled(), after < kMostComparedLists);
        QCOMPARE(services->messages.size(), told ? 1 : 0);
        if (told)
            QVERIFY(services->messages[0].prompt.contains(QString::number(kMostComparedLists)));
        press(dialog, "ListOk");
        QCOMPARE(int(window->comparedLists().size()), after);
    }

    // The note names what each list removed and the lines without a key; its parts add up to
    // the lines removed.
    void removedNote_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("keep");
        QTest::addColumn<QStringList>("lists"); // "-TEXT" excludes, "+TEXT" intersects
        QTest::addColumn<QString>("note");
        QTest::newRow("a list, a repeat and a blank line")
            << "a⏎b⏎a⏎c⏎⏎d"
            << "" << 0 << QStringList{"-c"}
            << "已删除 3 行（排除清单删除 1 行，重复 1 行，空行 1 行）";
        QTest::newRow("a list that removed none")
            << "a⏎a"
            << "" << 0 << QStringList{"-z"} << "已删除 1 行（排除清单删除 0 行，重复 1 行）";
        QTest::newRow("only the list")
            << "a⏎b"
            << "" << 0 << QStringList{"-a"} << "已删除 1 行（排除清单删除 1 行）";
        QTest::newRow("two lists named")
            << "a⏎b⏎c⏎b"
            << "" << 0 << QStringList{"-a", "+b↓c"}
            << "已删除 2 行（排除清单 粘贴的清单 1 删除 1 行，交集清单 粘贴的清单 2 删除 0 行，"
               "重复 1 行）";
        QTest::newRow("the first line blank stays")
            << "⏎a⏎⏎b"
            << "" << 0 << QStringList{"-b"} << "已删除 2 行（排除清单删除 1 行，空行 1 行）";
        QTest::newRow("only repeated lines, with a list")
            << "a⏎a⏎b⏎c⏎c⏎d"
            << "" << 3 << QStringList{"-c"}
            << "已删除 5 行（排除清单删除 2 行，没有重复的行和重复 3 行）";
        QTest::newRow("only unique lines, with a list")
            << "a⏎a⏎b⏎c"
            << "" << 2 << QStringList{"-c"} << "已删除 3 行（排除清单删除 1 行，有重复的行 2 行）";
        QTest::newRow("only repeated lines, a line without a key")
            << "a\t1⏎b\t1⏎c⏎d\t2"
            << "tab 2" << 3 << QStringList()
            << "已删除 3 行（没有重复的行 2 行，重复 1 行）；无键行 1；比较第 2 列（制表符分隔）";
        QTest::newRow("an intersecting list takes lines without a key")
            << "a\t1⏎b⏎c\t2"
            << "tab 2" << 0 << QStringList{"+x\t1"}
            << "已删除 2 行（交集清单删除 2 行）；无键行 1；比较第 2 列（制表符分隔）";
        QTest::newRow("lines without a key stay")
            << "a\t1⏎b⏎c⏎c\t1"
            << "tab 2" << 0 << QStringList()
            << "已删除 1 行重复；无键行 2；比较第 2 列（制表符分隔）";
    }
    void removedNote() {
        QFETCH(QString, input);
        QFETCH(QString, key);
        QFETCH(int, keep);
        QFETCH(QStringList, lists);
        QFETCH(QString, note);
        FilterOptions options = Options(key, QString());
        options.keep = KeepMode(keep);
        std::vector<ComparedList> compared;
        for (const QString& list : lists)
            compared.push_back(Pasted(list.startsWith(u'-') ? ComparedList::Kind::Exclude
                                                            : ComparedList::Kind::Intersect,
                                      T(list.mid(1)), int(compared.size()) + 1));
        const TextFilterResult result = FilterText(T(input), SettingsOf(options, compared));
        QCOMPARE(RemovedNote(result.result.stats, options, compared), note);
    }

    // Over random texts, keys and lists: the parts add up to the lines removed, each list's part
    // is what it removed, and the blank lines' part is the blank lines that went.
    void removedNoteAddsUp() {
        QRandomGenerator rng(1919);
        const QRegularExpression part(QStringLiteral("(\\S*) ([\\d,]+) 行"));
        for (int round = 0; round < 400; ++round) {
            FilterOptions o = RandomOptions(rng);
            o.keep = KeepMode(rng.bounded(4));
            o.keepBlank = rng.bounded(4) == 0;
            QStringList lines;
            for (int i = rng.bounded(1, 12); i > 0; --i)
                lines << RandomLine(rng);
            const QString input = lines.join(u'\n');
            std::vector<ComparedList> lists;
            for (int i = rng.bounded(3); i > 0; --i) {
                QStringList list;
                for (int j = rng.bounded(5); j > 0; --j)
                    list << RandomLine(rng);
                lists.push_back(Pasted(rng.bounded(3) ? ComparedList::Kind::Exclude
                                                      : ComparedList::Kind::Intersect,
                                       list.join(u'\n'), int(lists.size()) + 1));
            }
            const EngineResult r = FilterText(input, SettingsOf(o, lists)).result;
            QString note = RemovedNote(r.stats, o, lists);
            // The key in force closes the note; the counts come before it.
            const QString key = u'；' + DescribeKeyRule(o.key).join(QStringLiteral("、"));
            QCOMPARE(note.endsWith(key), !o.key.isDefault());
            if (!o.key.isDefault())
                note.chop(key.size());
            const QString inside = note.section(u'（', 1).section(u'）', 0, 0);
            qint64 sum = 0;
            qint64 blanks = 0;
            std::vector<qint64> byList;
            for (auto it = part.globalMatch(inside); it.hasNext();) {
                const QRegularExpressionMatch m = it.next();
                const qint64 n = m.captured(2).remove(u',').toLongLong();
                sum += n;
                if (m.captured(1).endsWith(u"删除"))
                    byList.push_back(n);
                if (m.captured(1).endsWith(u"空行"))
                    blanks = n;
            }
            const QStringList all = ReferenceLines(input);
            qint64 blanksGone = 0;
            for (qsizetype i = 0; i < all.size(); ++i)
                blanksGone += ReferenceKey(all[i], o).kind == ReferenceLineKey::Kind::Blank &&
                              !o.keepBlank && i > 0;
            const QString context = QStringLiteral("%1 | %2").arg(note, input);
            if (inside.isEmpty()) // one kind alone, or nothing
                sum = note.section(u' ', 1, 1).toLongLong();
            QVERIFY2(sum == r.stats.linesRemoved, qPrintable(context));
            if (!inside.isEmpty()) {
                QVERIFY2(blanks == blanksGone, qPrintable(context));
                QVERIFY2(byList == r.stats.removedByList, qPrintable(context));
            }
            QCOMPARE(note.contains(QStringLiteral("无键行")), r.stats.keylessLines > 0);
        }
    }

    // While a key or lists are in force, the arrow is marked and the tooltip says what; the menu
    // shows its dialog's item in bold. Both come back after a restart; 恢复默认 ends them.
    void inForceAndRemembered() {
        WriteAll(path(QStringLiteral("called.txt")), "x,13712345678\n");
        KeyRuleDialog* key = keyDialog();
        QVERIFY(key);
        setUp(key, {QStringLiteral("columns 1 2"), QStringLiteral("digits")});
        press(key, "KeyOk");
        ComparedListsDialog* lists = listsDialog();
        QVERIFY(lists);
        services->dialogAnswers = {path(QStringLiteral("called.txt"))};
        in<QPushButton>(lists, "ListAddFiles")->click();
        in<QPushButton>(lists, "ListAddPasted")->click();
        in<QPlainTextEdit>(lists, "ListText")
            ->insertPlainText(QStringLiteral("某人,139-0000-1111"));
        in<QRadioButton>(lists, "ListIntersect")->click();
        press(lists, "ListOk");
        const FilterOptions options = window->filterOptions();
        const std::vector<ComparedList> chosen = window->comparedLists();
        QCOMPARE(chosen.size(), std::size_t(2));
        for (int run = 0; run < 2; ++run) {
            QCOMPARE(window->filterOptions(), options);
            QCOMPARE(window->comparedLists(), chosen);
            auto* button = find<SplitButton>("Command1");
            QVERIFY(button->isMarked());
            QVERIFY2(button->toolTip().contains(
                         QStringLiteral("当前选项：比较第 2 列（逗号分隔）、只比较数字")),
                     qPrintable(button->toolTip()));
            QVERIFY(button->toolTip().contains(
                QStringLiteral("对照清单：排除清单 called.txt、交集清单 粘贴的清单 1")));
            QVERIFY(window->findChild<QAction*>(QStringLiteral("CompareKey"))->font().bold());
            QVERIFY(window->findChild<QAction*>(QStringLiteral("CompareLists"))->font().bold());
            // The dialogs start with what is in force.
            KeyRuleDialog* again = keyDialog();
            QCOMPARE(again->keyRule(), options.key);
            press(again, "KeyCancel");
            ComparedListsDialog* listsAgain = listsDialog();
            QCOMPARE(listsAgain->lists(), chosen);
            press(listsAgain, "ListCancel");
            restart();
        }
        filter(kContacts);
        QCOMPARE(text2()->text(), T(QStringLiteral("李四,139 0000 1111⏎")));
        QCOMPARE(note(), QStringLiteral("已删除 9 行（排除清单 called.txt 删除 2 行，交集清单 "
                                        "粘贴的清单 1 删除 5 行，重复 1 行，空行 1 行）；无键行 3；"
                                        "比较第 2 列（逗号分隔）、只比较数字"));

        trigger(QStringLiteral("RestoreDefaults"));
        QCOMPARE(window->filterOptions(), FilterOptions{});
        QVERIFY(window->comparedLists().empty());
        QVERIFY(!find<SplitButton>("Command1")->isMarked());
        QVERIFY(!window->findChild<QAction*>(QStringLiteral("CompareLists"))->font().bold());
        restart();
        QCOMPARE(window->filterOptions(), FilterOptions{});
        QVERIFY(window->comparedLists().empty());
    }

    // A pasted list is remembered up to its bound, not beyond; files are remembered by their
    // path; what cannot be read back is passed over.
    void rememberedText_data() {
        QTest::addColumn<qsizetype>("pastedChars");
        QTest::addColumn<bool>("remembered");
        QTest::newRow("at the bound") << kRememberedListChars << true;
        QTest::newRow("one above") << kRememberedListChars + 1 << false;
    }
    void rememberedText() {
        QFETCH(qsizetype, pastedChars);
        QFETCH(bool, remembered);
        const QString big = QString(pastedChars, u'x');
        const std::vector<ComparedList> lists = {
            ComparedList{ComparedList::Kind::Intersect,
                         path(QStringLiteral("a.txt")),
                         {},
                         QStringLiteral("a.txt")},
            Pasted(ComparedList::Kind::Exclude, big, 1),
            Pasted(ComparedList::Kind::Exclude, QStringLiteral("y"), 2)};
        const std::vector<ComparedList> back = ComparedListsFromText(ComparedListsToText(lists));
        QCOMPARE(back.size(), std::size_t(remembered ? 3 : 2));
        QCOMPARE(back[0], lists[0]);
        QCOMPARE(back.back().text, QStringLiteral("y"));
        QCOMPARE(back.back().name, PastedListName(remembered ? 2 : 1));
        if (remembered)
            QCOMPARE(back[1], lists[1]);
        // Texts that make no usable key or list.
        QCOMPARE(KeyRuleFromText(QStringLiteral("{\"source\":\"pattern\",\"pattern\":\"(\"}")),
                 KeyRule{});
        QCOMPARE(KeyRuleFromText(QStringLiteral("{\"source\":\"columns\",\"columns\":[0]}")),
                 KeyRule{});
        QCOMPARE(KeyRuleFromText(QStringLiteral("not json")), KeyRule{});
        QVERIFY(ComparedListsFromText(QStringLiteral("[{\"kind\":\"sideways\",\"path\":\"/x\"}]"))
                    .empty());
        // Every kind of key comes back as it was.
        for (const char* k : {"", ", 2", "tab 1,3", "space 2", "csv 2,1", "； 1", "re ^(\\S+)"}) {
            const FilterOptions o = Options(QString::fromUtf8(k), QStringLiteral("digits punct"));
            QCOMPARE(KeyRuleFromText(KeyRuleToText(o.key)), o.key);
        }
    }

    // A change of the key or the lists right after a filter filters again at once, as a preview,
    // with its own note; a cancelled dialog changes nothing.
    void changesPreview() {
        filter(kContacts);
        QCOMPARE(note(), QStringLiteral("已删除 1 行空行"));
        KeyRuleDialog* key = keyDialog();
        setUp(key, {QStringLiteral("columns 1 2"), QStringLiteral("digits")});
        press(key, "KeyCancel");
        QVERIFY(!window->isResultStale());
        key = keyDialog();
        setUp(key, {QStringLiteral("columns 1 2"), QStringLiteral("digits")});
        press(key, "KeyOk");
        QTRY_VERIFY(!window->isResultStale() && !window->busy());
        QCOMPARE(text2()->text(), engineFilter(kContacts).text);
        const QString keyNote = QStringLiteral("；比较第 2 列（逗号分隔）、只比较数字");
        QCOMPARE(note(), QStringLiteral("已删除 4 行（重复 3 行，空行 1 行）；无键行 3") + keyNote);

        ComparedListsDialog* lists = listsDialog();
        in<QPushButton>(lists, "ListAddPasted")->click();
        in<QPlainTextEdit>(lists, "ListText")
            ->insertPlainText(QStringLiteral("x,+86 138 0013 8000"));
        press(lists, "ListOk");
        QTRY_VERIFY(!window->isResultStale() && !window->busy());
        QCOMPARE(text2()->text(), engineFilter(kContacts).text);
        QCOMPARE(note(), QStringLiteral(
                             "已删除 5 行（排除清单删除 2 行，重复 2 行，空行 1 行）；无键行 3") +
                             keyNote);
    }

    // 标出重复 marks what the filter would remove with the key and the lists; a change of either
    // takes the marks away, a dialog cancelled does not.
    void marksFollowTheSetup_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("gone");
        QTest::newRow("the key changed") << "key" << true;
        QTest::newRow("a list removed") << "lists" << true;
        QTest::newRow("the defaults") << "defaults" << true;
        QTest::newRow("the key dialog cancelled") << "key cancel" << false;
        QTest::newRow("the lists dialog cancelled") << "lists cancel" << false;
    }
    void marksFollowTheSetup() {
        QFETCH(QString, change);
        QFETCH(bool, gone);
        KeyRuleDialog* key = keyDialog();
        setUp(key, {QStringLiteral("columns 1 1"), QString()});
        press(key, "KeyOk");
        ComparedListsDialog* lists = listsDialog();
        in<QPushButton>(lists, "ListAddPasted")->click();
        in<QPlainTextEdit>(lists, "ListText")->insertPlainText(QStringLiteral("b,9"));
        press(lists, "ListOk");
        text1()->setText(T(QStringLiteral("a,1⏎b,2⏎a,3⏎c,4")));
        trigger(QStringLiteral("MarkRepeats"));
        QVERIFY(waitIdle());
        // b by the list, the second a as a repeat of the first by the first column.
        const std::vector<int> marked{1, 2};
        QCOMPARE(text1()->marks(), marked);
        if (change.startsWith(u"key")) {
            key = keyDialog();
            setUp(key, {QStringLiteral("line"), QString()});
            press(key, change.endsWith(u"cancel") ? "KeyCancel" : "KeyOk");
        } else if (change.startsWith(u"lists")) {
            lists = listsDialog();
            in<QPushButton>(lists, "ListRemove")->click();
            press(lists, change.endsWith(u"cancel") ? "ListCancel" : "ListOk");
        } else {
            trigger(QStringLiteral("RestoreDefaults"));
        }
        QCOMPARE(text1()->marks(), gone ? std::vector<int>{} : marked);
    }

    // A list file that is gone by the time of the filter: a message names it, and the output box
    // keeps what it had.
    void missingListFile() {
        const QString gone = path(QStringLiteral("gone.txt"));
        services->settings.insert(
            MainWindow::kListsKey,
            ComparedListsToText({ComparedList{ComparedList::Kind::Exclude, gone, {}, {}}}));
        restart();
        text2()->setText(QStringLiteral("earlier"));
        filter(QStringLiteral("a"));
        QCOMPARE(services->messages.size(), 1);
        QCOMPARE(services->messages[0].title, QStringLiteral("过滤失败"));
        QCOMPARE(services->messages[0].style, DesktopServices::Critical);
        QVERIFY2(services->messages[0].prompt.contains(QStringLiteral("gone.txt")),
                 qPrintable(services->messages[0].prompt));
        QCOMPARE(text2()->text(), QStringLiteral("earlier"));
    }

    // The large-file mode filters the whole file with the key and the list, as the engine does;
    // its note and its statistic count them.
    void largeFileWithKeyAndList() {
        window->setLargeFileBounds({100000, 1000});
        QString text;
        for (int i = 0; i < 3000; ++i)
            text += QStringLiteral("user%1@Example.org,%2\n").arg(i % 1700).arg(i);
        const QString file = path(QStringLiteral("large.txt"));
        WriteAll(file, text.toUtf8());
        QString list;
        for (int i = 0; i < 1700; i += 3)
            list += QStringLiteral("USER%1@example.org\r\n").arg(i);
        const QString listFile = path(QStringLiteral("sent.txt"));
        WriteAll(listFile, EncodeText(list, TextEncoding::Gb18030)->bytes);
        importAnswering(file);
        QVERIFY(window->isLargeInput());

        trigger(QStringLiteral("OptionIgnoreCase"));
        KeyRuleDialog* key = keyDialog();
        QCOMPARE(in<QLineEdit>(key, "KeyExample")->text(), QStringLiteral("user0@Example.org,0"));
        setUp(key, {QStringLiteral("columns 1 1"), QString()});
        QCOMPARE(key->exampleKey(), QStringLiteral("键：「user0@example.org」"));
        press(key, "KeyOk");
        ComparedListsDialog* lists = listsDialog();
        services->dialogAnswers = {listFile};
        in<QPushButton>(lists, "ListAddFiles")->click();
        press(lists, "ListOk");

        const EngineSettings settings =
            SettingsOf(window->filterOptions(), window->comparedLists());
        BytesSink expected;
        const EngineResult engine = FilterFiles({file}, expected, settings);
        QVERIFY(engine.ok());
        QCOMPARE(engine.stats.removedByList, std::vector<qint64>{1001});
        click("Command1");
        QVERIFY(waitIdle());
        QVERIFY(window->isLargeResult());
        QCOMPARE(note(), RemovedNote(engine.stats, settings.options, settings.lists));
        QCOMPARE(note(), QStringLiteral("已删除 1,867 行（排除清单删除 1,001 行，重复 866 行）；"
                                        "比较第 1 列（逗号分隔）"));
        saveAnswering(path(QStringLiteral("saved.txt")));
        QCOMPARE(ReadAll(path(QStringLiteral("saved.txt"))), expected.bytes);

        // The statistic counts with the key and the list too.
        trigger(QStringLiteral("ShowRepeats"));
        QVERIFY(waitIdle());
        QTRY_VERIFY(window->findChild<RepeatsDialog*>());
        auto* dialog = window->findChild<RepeatsDialog*>();
        const QString totals = dialog->findChild<QLabel*>(QStringLiteral("RepeatsTotals"))->text();
        QVERIFY2(totals.contains(
                     QStringLiteral("不同的行 %1 行").arg(Grouped(engine.stats.distinctLines))),
                 qPrintable(totals));
        QVERIFY(totals.contains(QStringLiteral("删除了 1,867 行")));
        dialog->close();
    }
};

QTEST_MAIN(KeysAndListsTest)
#include "tst_keysandlists.moc"
