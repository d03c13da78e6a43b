// The filter's options in the window: the menu of 开始过滤's arrow, the options remembered between
// runs, the count of removed lines over the output box, and the statistic of the last filter.
#include "core/comparisonoptions.h"
#include "core/lines.h"
#include "engine/engine.h"
#include "eventturn.h"
#include "testtext.h"
#include "ui/compare/filteroptionsmenu.h"
#include "ui/compare/keyruledialog.h"
#include "ui/statistic/repeatsdialog.h"
#include "ui/textbox/textbox.h"
#include "ui/window/mainwindow.h"
#include "ui/window/splitbutton.h"
#include "ui/window/wording.h"
#include "windowdriver.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {
// Lines that each option treats differently: case, white space at the ends, full-width forms,
// blank lines, lines that occur once.
const QString kMixed = T(QStringLiteral("Apple⏎apple⏎ apple\u3000⏎ＡＰＰＬＥ⏎⏎pear⏎\tPear⏎⏎"
                                        "plum⏎apple⏎Ｐｅａｒ⏎kiwi⏎ ⏎ "));

FilterOptions OptionsOf(const QStringList& actions) {
    FilterOptions o;
    for (const QString& a : actions) {
        if (a == QStringLiteral("OptionIgnoreCase"))
            o.ignoreCase = true;
        else if (a == QStringLiteral("OptionTrim"))
            o.trim = true;
        else if (a == QStringLiteral("OptionIgnoreWidth"))
            o.ignoreWidth = true;
        else if (a == QStringLiteral("OptionKeepBlank"))
            o.keepBlank = true;
        else if (a == QStringLiteral("KeepFirst"))
            o.keep = KeepMode::First;
        else if (a == QStringLiteral("KeepLast"))
            o.keep = KeepMode::Last;
        else if (a == QStringLiteral("KeepUnique"))
            o.keep = KeepMode::Unique;
        else if (a == QStringLiteral("KeepRepeated"))
            o.keep = KeepMode::Repeated;
        else if (a == QStringLiteral("KeepLongest"))
            o.keep = KeepMode::Longest;
        else if (a == QStringLiteral("KeepShortest"))
            o.keep = KeepMode::Shortest;
        else if (a == QStringLiteral("SortText"))
            o.sort = SortOrder::Text;
        else if (a == QStringLiteral("SortPinyin"))
            o.sort = SortOrder::Pinyin;
        else if (a == QStringLiteral("SortCount"))
            o.sort = SortOrder::Count;
        else if (a == QStringLiteral("SortNone"))
            o.sort = SortOrder::None;
        else if (a == QStringLiteral("SortReverse"))
            o.reverse = !o.reverse;
    }
    return o;
}

TextFilterResult EngineFilter(const QString& text, const FilterOptions& options) {
    EngineSettings settings;
    settings.options = options;
    return FilterText(text, settings);
}
} // namespace

class OptionsTest : public QObject, WindowDriver {
    Q_OBJECT

    SplitButton* filterButton() { return find<SplitButton>("Command1"); }
    QString note() { return text2()->note(); }
    void trigger(const QString& action) {
        auto* a = window->findChild<QAction*>(action);
        QVERIFY2(a, qPrintable(action));
        a->trigger();
    }
    // A new window on the same desktop, as at the next start of the program.
    void restart() {
        window.reset();
        window = std::make_unique<MainWindow>(*services);
        window->show();
    }
    RepeatsDialog* openStatistic() {
        trigger(QStringLiteral("ShowRepeats"));
        if (!waitIdle())
            return nullptr;
        // The dialog comes at the next turn of the event loop, if at all.
        if (!QueuedWorkRan())
            return nullptr;
        return window->findChild<RepeatsDialog*>();
    }
    // The numbers of the statistic's totals: lines, distinct lines, removed lines, repeated.
    static QList<qint64> Totals(RepeatsDialog* dialog) {
        const QString text = dialog->findChild<QLabel*>(QStringLiteral("RepeatsTotals"))->text();
        QList<qint64> numbers;
        const QRegularExpression number(QStringLiteral("\\d+"));
        for (auto it = number.globalMatch(text); it.hasNext();)
            numbers.append(it.next().captured().toLongLong());
        return numbers;
    }

private slots:
    void init() {
        makeWindow();
        window->show();
    }
    void cleanup() { dropWindow(); }

    // The options chosen in the menu drive the filter exactly as the engine filters with them:
    // the kept lines are the input's own, never folded, trimmed or normalised.
    void menuDrivesTheFilter_data() {
        QTest::addColumn<QStringList>("actions");
        QTest::newRow("default") << QStringList();
        QTest::newRow("忽略大小写") << QStringList{"OptionIgnoreCase"};
        QTest::newRow("忽略首尾空白") << QStringList{"OptionTrim"};
        QTest::newRow("忽略全角半角") << QStringList{"OptionIgnoreWidth"};
        QTest::newRow("保留空行") << QStringList{"OptionKeepBlank"};
        QTest::newRow("最后一次") << QStringList{"KeepLast"};
        QTest::newRow("没有重复的") << QStringList{"KeepUnique"};
        QTest::newRow("重复的") << QStringList{"KeepRepeated"};
        QTest::newRow("最长的, trim and width")
            << QStringList{"OptionTrim", "OptionIgnoreWidth", "OptionIgnoreCase", "KeepLongest"};
        QTest::newRow("最短的, trim, sorted")
            << QStringList{"OptionTrim", "KeepShortest", "SortText"};
        QTest::newRow("all comparisons, last")
            << QStringList{"OptionIgnoreCase", "OptionTrim", "OptionIgnoreWidth", "KeepLast"};
        QTest::newRow("case and width, repeated, blank kept") << QStringList{
            "OptionIgnoreCase", "OptionIgnoreWidth", "OptionKeepBlank", "KeepRepeated"};
        QTest::newRow("trim, unique, blank kept")
            << QStringList{"OptionTrim", "KeepUnique", "OptionKeepBlank"};
        QTest::newRow("back to first") << QStringList{"OptionIgnoreCase", "KeepLast", "KeepFirst"};
        QTest::newRow("按文字排序") << QStringList{"SortText"};
        QTest::newRow("按拼音倒序, case")
            << QStringList{"SortPinyin", "SortReverse", "OptionIgnoreCase"};
        QTest::newRow("按出现次数, last") << QStringList{"SortCount", "KeepLast", "OptionTrim"};
        QTest::newRow("back to no sort") << QStringList{"SortText", "SortNone"};
    }
    void menuDrivesTheFilter() {
        QFETCH(QStringList, actions);
        for (const QString& action : actions)
            trigger(action);
        const FilterOptions options = OptionsOf(actions);
        QCOMPARE(window->filterOptions(), options);
        QCOMPARE(find<FilterOptionsMenu>("FilterOptionsMenu")->options(), options);
        text1()->setText(kMixed);
        click("Command1");
        QVERIFY(waitIdle());
        const TextFilterResult expected = EngineFilter(kMixed, options);
        QCOMPARE(text2()->text(), expected.text);
        const QStringList input = kMixed.split(QStringLiteral("\r\n"));
        for (const QString& line : text2()->text().split(QStringLiteral("\r\n"))) {
            if (!line.isEmpty())
                QVERIFY2(input.contains(line), qPrintable(line));
        }
        QVERIFY2(note().startsWith(
                     QStringLiteral("已删除 %1 行").arg(expected.result.stats.linesRemoved)),
                 qPrintable(note()));
        QCOMPARE(label("Label2"),
                 QStringLiteral("过滤后共%1行").arg(CountNonBlankLines(expected.text)));
    }

    // A click on the caption filters at once; a click on the arrow, Alt+Down or F4 opens the
    // menu without filtering.
    void splitButton_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("filters");
        QTest::newRow("click on the caption") << "caption" << true;
        QTest::newRow("click on the arrow") << "arrow" << false;
        QTest::newRow("Alt+Down") << "alt+down" << false;
        QTest::newRow("F4") << "f4" << false;
        QTest::newRow("Space") << "space" << true;
    }
    void splitButton() {
        QFETCH(QString, how);
        QFETCH(bool, filters);
        text1()->setText(T(QStringLiteral("a⏎a")));
        SplitButton* button = filterButton();
        const QRect arrow = button->arrowRect();
        QVERIFY(button->rect().contains(arrow));
        QVERIFY(arrow.width() < button->width() / 3);
        button->setFocus();
        if (how == QStringLiteral("caption"))
            QTest::mouseClick(button, Qt::LeftButton, {},
                              QPoint(arrow.left() / 2, arrow.center().y()));
        else if (how == QStringLiteral("arrow"))
            QTest::mouseClick(button, Qt::LeftButton, {}, arrow.center());
        else if (how == QStringLiteral("alt+down"))
            QTest::keyClick(button, Qt::Key_Down, Qt::AltModifier);
        else if (how == QStringLiteral("f4"))
            QTest::keyClick(button, Qt::Key_F4);
        else
            QTest::keyClick(button, Qt::Key_Space);
        QVERIFY(waitIdle());
        auto* menu = find<FilterOptionsMenu>("FilterOptionsMenu");
        QCOMPARE(text2()->text(), filters ? T(QStringLiteral("a⏎")) : QString());
        QCOMPARE(menu->isVisible(), !filters);
        menu->hide();
    }

    // Options away from the default show on the button and in its tooltip, and come back after
    // a restart; 恢复默认 brings back the default, which is remembered too.
    void optionsRemembered_data() {
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<QString>("described");
        QTest::newRow("default") << QStringList() << QString();
        QTest::newRow("one check") << QStringList{"OptionTrim"} << QStringLiteral("忽略首尾空白");
        QTest::newRow("keep mode")
            << QStringList{"KeepUnique"} << QStringLiteral("只保留没有重复的行");
        QTest::newRow("everything")
            << QStringList{"OptionIgnoreCase", "OptionTrim", "OptionIgnoreWidth", "OptionKeepBlank",
                           "KeepRepeated"}
            << QStringLiteral("忽略大小写、忽略首尾空白、忽略全角半角、保留空行、只列出重复的行");
        QTest::newRow("restored") << QStringList{"OptionIgnoreCase", "KeepLast", "RestoreDefaults"}
                                  << QString();
    }
    void optionsRemembered() {
        QFETCH(QStringList, actions);
        QFETCH(QString, described);
        for (const QString& action : actions)
            trigger(action);
        const FilterOptions chosen = window->filterOptions();
        for (int run = 0; run < 2; ++run) {
            QCOMPARE(window->filterOptions(), chosen);
            QCOMPARE(DescribeFilterOptions(chosen), described);
            SplitButton* button = filterButton();
            QCOMPARE(button->isMarked(), !described.isEmpty());
            QCOMPARE(button->toolTip().contains(QStringLiteral("当前选项：") + described),
                     !described.isEmpty());
            QVERIFY(button->toolTip().contains(QStringLiteral("Ctrl+Enter")));
            QCOMPARE(find<FilterOptionsMenu>("FilterOptionsMenu")->options(), chosen);
            restart();
        }
        // The marked arrow is drawn in the highlight colour, the plain one is not.
        QImage shot(filterButton()->size(), QImage::Format_ARGB32);
        filterButton()->render(&shot);
        const QPoint at = filterButton()->arrowRect().topLeft() + QPoint(3, 3);
        QCOMPARE(QColor(shot.pixel(at)) == filterButton()->palette().color(QPalette::Highlight),
                 !described.isEmpty());
    }

    // What the program remembers reads back whatever was remembered; words it does not know
    // are passed over.
    void rememberedText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("described");
        QTest::newRow("nothing") << QString() << QString();
        QTest::newRow("two words")
            << "keep=last ignore-case" << QStringLiteral("忽略大小写、保留最后一次出现的行");
        QTest::newRow("every word")
            << "ignore-case trim ignore-width keep-blank keep=repeated"
            << QStringLiteral("忽略大小写、忽略首尾空白、忽略全角半角、保留空行、只列出重复的行");
        QTest::newRow("unknown words")
            << "ignore-width frobnicate keep=sideways" << QStringLiteral("忽略全角半角");
    }
    void rememberedText() {
        QFETCH(QString, text);
        QFETCH(QString, described);
        services->settings.insert(MainWindow::kOptionsKey, text);
        restart();
        QCOMPARE(DescribeFilterOptions(window->filterOptions()), described);
        QCOMPARE(FilterOptionsFromText(FilterOptionsToText(window->filterOptions())),
                 window->filterOptions());
    }

    // Every option of the menu's family is an item of the menu under its label; choosing it sets
    // that option alone, which the tooltip names and the next start brings back.
    void menuOffersEveryOption_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("value");
        const auto table = ComparisonOptions();
        for (std::size_t i = 0; i < table.size(); ++i) {
            const ComparisonOption& option = table[i];
            if (option.member.family != OptionFamily::Menu)
                continue;
            if (option.isFlag())
                QTest::newRow(option.objectName) << int(i) << 1;
            for (const OptionChoice& choice : option.choices) {
                if (choice.value != DefaultOptionValue(option))
                    QTest::newRow(choice.objectName) << int(i) << choice.value;
            }
        }
    }
    void menuOffersEveryOption() {
        QFETCH(int, index);
        QFETCH(int, value);
        const ComparisonOption& option = ComparisonOptions()[std::size_t(index)];
        QString name = QString::fromLatin1(option.objectName);
        QString label = QString::fromUtf16(option.label);
        QString described = QString::fromUtf16(option.described ? option.described : option.label);
        for (const OptionChoice& choice : option.choices) {
            if (choice.value == value) {
                name = QString::fromLatin1(choice.objectName);
                label = QString::fromUtf16(choice.label);
                described = QString::fromUtf16(choice.described ? choice.described : choice.label);
            }
        }
        auto* menu = find<FilterOptionsMenu>("FilterOptionsMenu");
        // An option of a sub-menu is in it, and the sub-menu in the menu.
        QMenu* holder = menu;
        if (option.subMenu) {
            holder = menu->findChild<QMenu*>(QString::fromLatin1(option.subMenuObjectName));
            QVERIFY(holder && menu->actions().contains(holder->menuAction()));
            QCOMPARE(holder->title(), QString::fromUtf16(option.subMenu));
        }
        auto* item = menu->findChild<QAction*>(name);
        QVERIFY2(item && holder->actions().contains(item), qPrintable(name));
        QCOMPARE(item->text(), label);
        QVERIFY(item->isCheckable() && !item->isChecked());
        item->trigger();
        FilterOptions expected;
        SetOptionValue(option, expected, value);
        QCOMPARE(window->filterOptions(), expected);
        QVERIFY2(filterButton()->toolTip().endsWith(QStringLiteral("当前选项：") + described),
                 qPrintable(filterButton()->toolTip()));
        restart();
        QCOMPARE(window->filterOptions(), expected);
        QVERIFY(
            find<FilterOptionsMenu>("FilterOptionsMenu")->findChild<QAction*>(name)->isChecked());
    }

    // Every flag of the part compared is a check box of the 比较范围 dialog under its label;
    // checking it sets that option alone, which the note's words name and the next start
    // brings back.
    void dialogOffersEveryOption_data() {
        QTest::addColumn<int>("index");
        const auto table = ComparisonOptions();
        for (std::size_t i = 0; i < table.size(); ++i) {
            // The dialog's check boxes: the part compared's flags.
            if (table[i].member.family == OptionFamily::Key && table[i].isFlag())
                QTest::newRow(table[i].objectName) << int(i);
        }
    }
    void dialogOffersEveryOption() {
        QFETCH(int, index);
        const ComparisonOption& option = ComparisonOptions()[std::size_t(index)];
        QVERIFY(option.isFlag());
        trigger(QStringLiteral("CompareKey"));
        auto* dialog = window->findChild<KeyRuleDialog*>();
        QVERIFY(dialog && dialog->isVisible());
        auto* check = dialog->findChild<QCheckBox*>(QString::fromLatin1(option.objectName));
        QVERIFY(check && check->isVisible() && !check->isChecked());
        QCOMPARE(check->text(), QString::fromUtf16(option.label));
        QCOMPARE(check->toolTip(), option.tip ? QString::fromUtf16(option.tip) : QString());
        check->setChecked(true);
        dialog->findChild<QPushButton*>(QStringLiteral("KeyOk"))->click();
        FilterOptions expected;
        SetOptionValue(option, expected, 1);
        QCOMPARE(window->filterOptions(), expected);
        const QString described =
            QString::fromUtf16(option.described ? option.described : option.label);
        QCOMPARE(DescribeFilterOptions(expected), described);
        QVERIFY(services->settings.value(MainWindow::kKeyKey)
                    .contains(QLatin1String(option.settingsWord)));
        restart();
        QCOMPARE(window->filterOptions(), expected);
    }

    // The key remembered by earlier versions, with every option of the part compared, still
    // loads.
    void rememberedKeyLoads() {
        services->settings.insert(
            MainWindow::kKeyKey,
            QStringLiteral("{\"source\":\"columns\",\"columns\":[2],\"separator\":\"csv\","
                           "\"digitsOnly\":true,\"ignoreSpaces\":true,\"ignorePunct\":true,"
                           "\"ignoreInvisible\":true}"));
        restart();
        KeyRule expected;
        expected.source = KeyRule::Source::Columns;
        expected.columns = {2};
        expected.separator.kind = Separator::Kind::Csv;
        expected.digitsOnly = expected.ignoreSpaces = expected.ignorePunct =
            expected.ignoreInvisible = true;
        QCOMPARE(window->filterOptions().key, expected);
        QCOMPARE(DescribeFilterOptions(window->filterOptions()),
                 QStringLiteral("比较第 2 列（CSV）、只比较数字、忽略所有空白、忽略标点、"
                                "忽略不可见字符"));
    }

    // The count of removed lines shows after every filter. A change of the input says at once
    // that the result is stale; an edit of the result itself takes the count away; a change of
    // the options filters again, with its own count.
    void removedNote_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("after");
        QTest::newRow("typing into the input") << "type1" << StaleResultNote();
        QTest::newRow("typing into the output") << "type2" << HandEditedResultNote();
        QTest::newRow("clearing") << "clear" << QString();
        QTest::newRow("another option") << "option" << QStringLiteral("已删除 3 行重复");
        QTest::newRow("the copy") << "copy" << QStringLiteral("已删除 2 行重复");
    }
    void removedNote() {
        QFETCH(QString, change);
        QFETCH(QString, after);
        text1()->setText(T(QStringLiteral("x⏎y⏎x⏎X⏎z⏎y")));
        QCOMPARE(note(), QString());
        click("Command1");
        QVERIFY(waitIdle());
        QCOMPARE(note(), QStringLiteral("已删除 2 行重复"));
        auto* strip = text2()->findChild<QLabel*>(QStringLiteral("note"));
        QVERIFY(strip->isVisible());
        QVERIFY(strip->geometry().bottom() < text2()->viewport()->geometry().top());
        QVERIFY(text2()->accessibleDescription().contains(note()));
        // The labels still count non-blank lines.
        QCOMPARE(label("Label1"), QStringLiteral("过滤前共6行"));
        QCOMPARE(label("Label2"), QStringLiteral("过滤后共4行"));
        if (change == QStringLiteral("type1") || change == QStringLiteral("type2")) {
            TextBox* box = change == QStringLiteral("type1") ? text1() : text2();
            box->setFocus();
            QTest::keyClicks(box, QStringLiteral("q"));
        } else if (change == QStringLiteral("clear")) {
            click("Command3");
        } else if (change == QStringLiteral("option")) {
            trigger(QStringLiteral("OptionIgnoreCase"));
            QTRY_VERIFY(!window->isResultStale() && !window->busy());
            QCOMPARE(text2()->text(), T(QStringLiteral("x⏎y⏎z⏎")));
        } else {
            click("Command4");
            QVERIFY(waitIdle());
        }
        QCOMPARE(note(), after);
        QCOMPARE(strip->isVisible(), !after.isEmpty());
        QCOMPARE(text2()->accessibleDescription().contains(after), true);
        // The next filter shows it again, with its own count.
        text1()->setText(T(QStringLiteral("x⏎x")));
        click("Command1");
        QVERIFY(waitIdle());
        QCOMPARE(note(), QStringLiteral("已删除 1 行重复"));
    }

    // The statistic of the last filter: its totals agree with the counts the window shows, and
    // its list holds each repeated line with how often it occurs, most frequent first.
    void statistic_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<QString>("list");
        QTest::newRow("default") << "b⏎a⏎b⏎c⏎a⏎b" << QStringList() << "3\tb⏎2\ta⏎";
        QTest::newRow("ignoring case, the first copy named")
            << "A⏎b⏎a⏎B⏎a⏎c" << QStringList{"OptionIgnoreCase"} << "3\tA⏎2\tb⏎";
        QTest::newRow("no repeats") << "x⏎y⏎z" << QStringList() << "";
    }
    void statistic() {
        QFETCH(QString, text);
        QFETCH(QStringList, actions);
        QFETCH(QString, list);
        for (const QString& action : actions)
            trigger(action);
        text1()->setText(T(text));
        click("Command1");
        QVERIFY(waitIdle());
        const qint64 removed = note().section(u' ', 1, 1).toLongLong(); // "已删除 N 行重复"
        // Changed since: the statistic is still about the last filter.
        trigger(QStringLiteral("RestoreDefaults"));
        text1()->setText(QStringLiteral("something else"));
        RepeatsDialog* dialog = openStatistic();
        QVERIFY(dialog);
        QVERIFY(dialog->isVisible());
        const QList<qint64> totals = Totals(dialog);
        QCOMPARE(totals.size(), 4);
        const qint64 lines = T(text).count(QStringLiteral("\r\n")) + 1;
        QCOMPARE(totals[0], lines);
        QCOMPARE(totals[2], removed);
        QCOMPARE(totals[0] - totals[2], text2()->nonBlankLineCount());
        QCOMPARE(totals[1], text2()->nonBlankLineCount()); // keeping first copies: one each
        QCOMPARE(totals[3], qint64(list.count(u'⏎')));
        QCOMPARE(dialog->listText(), T(list));
        auto* table = dialog->findChild<QTableView*>(QStringLiteral("RepeatsTable"));
        QCOMPARE(table->model()->rowCount(), int(list.count(u'⏎')));
        // Copied as it is listed.
        auto* copy = dialog->findChild<QPushButton*>(QStringLiteral("CopyRepeats"));
        QCOMPARE(copy->isEnabled(), !list.isEmpty());
        if (copy->isEnabled()) {
            copy->click();
            QTRY_COMPARE(services->clipboard, T(list));
            // Saved as a result is: a text typed into the box as GBK; the dialog of the
            // results still starts where it was.
            QTemporaryDir own;
            const QString remembered = services->fileName();
            services->dialogAnswers = {own.filePath(QStringLiteral("统计.txt"))};
            dialog->findChild<QPushButton*>(QStringLiteral("SaveRepeats"))->click();
            QTRY_COMPARE(services->messages.last().prompt,
                         QStringLiteral("统计已保存至指定路径！"));
            QFile saved(own.filePath(QStringLiteral("统计.txt")));
            QVERIFY(saved.open(QIODevice::ReadOnly));
            QCOMPARE(saved.readAll(), T(list).toLatin1());
            QCOMPARE(services->fileName(), remembered);
        }
        dialog->close();
    }

    // Before any filter there is nothing to count: a message says so.
    void statisticBeforeAnyFilter() {
        text1()->setText(T(QStringLiteral("a⏎a")));
        QVERIFY(!openStatistic());
        QCOMPARE(services->messages.size(), 1);
        QCOMPARE(services->messages[0].style, 64);
        QVERIFY(services->messages[0].prompt.contains(QStringLiteral("开始过滤")));
        // Clearing forgets the last filter.
        click("Command1");
        QVERIFY(waitIdle());
        click("Command3");
        QVERIFY(!openStatistic());
        QCOMPARE(services->messages.size(), 3);
    }
};

QTEST_MAIN(OptionsTest)
#include "tst_options.moc"
