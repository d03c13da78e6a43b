#include "engine/engine.h"
#include "filehelpers.h"
#include "referencefilter.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct HeaderRow {
    QStringList inputs; // each a file of UTF-8 bytes (a BOM where it starts with U+FEFF)
    FilterOptions options;
    QString kept;
    QString removed;                   // rows: input:number, why, line
    std::vector<int> differentHeaders; // inputs whose first line stayed a line
    bool counts = false;
    QString list; // an excluding list, when not empty
};

HeaderRow Row(QStringList inputs, const FilterOptions& options, const QString& kept,
              const QString& removed, std::vector<int> different = {}, bool counts = false,
              const QString& list = {}) {
    return HeaderRow{std::move(inputs), options, kept, removed, std::move(different), counts, list};
}

// The options with the header, and with the part compared read as `kind`.
FilterOptions WithHeader(FilterOptions o, KeyRule::Kind kind = KeyRule::Kind::Text) {
    o.key.header = true;
    o.key.kind = kind;
    return o;
}

} // namespace

Q_DECLARE_METATYPE(HeaderRow)

// The first line of each input as its header, with every engine path: in memory and partitioned,
// one input and several, keys, keep modes, sort, counts and lists.
class TestHeader : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void header_data() {
        QTest::addColumn<HeaderRow>("row");
        QTest::addColumn<qint64>("budget");
        const FilterOptions plain = WithHeader({});
        FilterOptions sorted = plain, unique = plain, last = plain;
        sorted.sort = SortOrder::Text;
        unique.keep = KeepMode::Unique;
        last.keep = KeepMode::Last;
        const FilterOptions phone = WithHeader(Options(u"csv 2"_s, {}), KeyRule::Kind::Phone);
        const HeaderRow rows[] = {
            Row({u"h\na\nb\n"_s, u"h\nb\nc\n"_s}, plain, u"h\na\nb\nc\n"_s, u"2:2\t1:3\tb\n"_s),
            Row({u"h\na\n"_s, u"H\na\nh\n"_s}, plain, u"h\na\nH\nh\n"_s, u"2:2\t1:2\ta\n"_s, {1}),
            Row({u"a\na\nb\n"_s}, plain, u"a\na\nb\n"_s, {}),
            Row({{}, u"h\na\n"_s, u"h\na\n"_s}, plain, u"h\na\n"_s, u"3:2\t2:2\ta\n"_s),
            Row({u"h"_s, u"h\na\n"_s}, plain, u"h\na\n"_s, {}),
            Row({u"h"_s}, plain, u"h\n"_s, {}),
            Row({u"\uFEFFh\na\n"_s, u"h\na\n"_s}, plain, u"\uFEFFh\na\n"_s, u"2:2\t1:2\ta\n"_s),
            Row({u"h\nc\nb\na\nb\n"_s}, sorted, u"h\na\nb\nc\n"_s, u"5\t3\tb\n"_s),
            Row({u"h\na\na\n"_s}, plain, u"h\n2\ta\n"_s, u"3\t2\ta\n"_s, {}, true),
            Row({u"h\na\nb\na\n"_s, u"h\nc\n"_s}, unique, u"h\nb\nc\n"_s,
                u"1:2\t1:4\ta\n1:4\t1:2\ta\n"_s),
            Row({u"h\na\nb\na\n"_s}, last, u"h\nb\na\n"_s, u"2\t4\ta\n"_s),
            Row({u"h\na\n邮箱\nb\n"_s}, plain, u"h\n邮箱\nb\n"_s, u"2\tlist\ta\n"_s, {}, false,
                u"邮箱\na\n"_s),
            Row({u"姓名,电话\n张三,13800138000\n李四,+86 138-0013-8000\n"_s,
                 u"姓名,电话\n王五,008613800138000\n"_s},
                phone, u"姓名,电话\n张三,13800138000\n"_s,
                u"1:3\t1:2\t李四,+86 138-0013-8000\n2:2\t1:2\t王五,008613800138000\n"_s),
        };
        int n = 0;
        for (const HeaderRow& row : rows) {
            ++n;
            QTest::addRow("%d in memory", n) << row << qint64(0);
            QTest::addRow("%d partitioned", n) << row << qint64(1);
        }
    }
    void header() {
        QFETCH(HeaderRow, row);
        QFETCH(qint64, budget);
        QStringList paths, names;
        for (const QString& text : row.inputs) {
            names << QString::number(paths.size() + 1);
            paths << dir.filePath(QTest::currentDataTag() + names.back());
            WriteAll(paths.back(), text.toUtf8());
        }
        EngineSettings settings;
        settings.options = row.options;
        settings.memoryBudget = budget;
        settings.writeCounts = row.counts;
        settings.lineBreak = LineBreak::Lf;
        settings.inputNames = row.inputs.size() > 1 ? names : QStringList();
        if (!row.list.isEmpty())
            settings.lists.push_back(ComparedList{ListKind::Exclude, {}, row.list, u"list"_s});
        BytesSink out, removed;
        settings.removedSink = &removed;
        settings.outputEncoding = TextEncoding::Utf8;
        const EngineResult result = FilterFiles(paths, out, settings);
        QVERIFY2(result.ok(), qPrintable(result.outcome.message()));
        QCOMPARE(out.bytes, row.kept.toUtf8()); // as bytes: a BOM is kept
        QCOMPARE(QString::fromUtf8(removed.bytes), row.removed);
        QCOMPARE(result.differentHeaders, row.differentHeaders);
        QCOMPARE(result.partitioned, budget == 1);
        QCOMPARE(result.stats.linesKept, row.kept.count(u'\n') - 1); // the header not among them
    }

    // Without lists, keys or several inputs, the rest is the plain filter of the lines after the
    // header.
    void againstTheReference_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("flags");
        QTest::newRow("case") << u"Name\nb\nB\nname\n"_s << u"case"_s;
        QTest::newRow("trim") << u" h \n a\na \n h\n"_s << u"trim"_s;
        QTest::newRow("digits") << u"电话\n138 0013\n1380013\n"_s << u"digits"_s;
    }
    void againstTheReference() {
        QFETCH(QString, text);
        QFETCH(QString, flags);
        EngineSettings settings;
        settings.options = WithHeader(Options({}, flags));
        const qsizetype at = text.indexOf(u'\n') + 1;
        FilterOptions without = settings.options;
        without.key.header = false;
        const QString expected =
            text.left(at - 1) + u"\r\n"_s + ReferenceFilter(text.mid(at), without);
        QCOMPARE(FilterText(text, settings).text, expected);
    }
};

QTEST_GUILESS_MAIN(TestHeader)
#include "tst_header.moc"
