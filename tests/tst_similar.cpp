#include "core/comparisonoptions.h"
#include "engine/engine.h"
#include "engine/similar/similarindex.h"
#include "files/textcodec.h"
#include "referencefilter.h"

#include <QRandomGenerator>
#include <QTest>

#include <set>

#include <atomic>

namespace {

// Keyword lists with near repeats: fresh words over a small alphabet (so that unrelated words
// come near too), and words made from an earlier one by a few edits of every kind.
class KeywordMaker {
public:
    KeywordMaker(quint32 seed, QList<uint> alphabet) : rng_(seed), alphabet_(std::move(alphabet)) {}

    QList<uint> next() {
        QList<uint> word;
        if (made_.isEmpty() || rng_.bounded(3) == 0) {
            for (int i = 0, n = length(); i < n; ++i)
                word << letter();
        } else {
            word = made_[rng_.bounded(int(made_.size()))];
            for (int i = 0, n = 1 + rng_.bounded(int(word.size()) / 4 + 2); i < n; ++i)
                edit(word);
        }
        made_ << word;
        return word;
    }

private:
    int length() {
        const int kind = rng_.bounded(20);
        return kind == 0 ? rng_.bounded(201) : kind < 4 ? rng_.bounded(41) : rng_.bounded(13);
    }
    uint letter() { return alphabet_[rng_.bounded(int(alphabet_.size()))]; }
    void edit(QList<uint>& word) {
        const int at = rng_.bounded(int(word.size()) + 1);
        const bool inside = at < word.size();
        switch (rng_.bounded(5)) {
        case 0: // insert
            word.insert(at, letter());
            break;
        case 1: // delete
            if (inside)
                word.removeAt(at);
            break;
        case 2: // replace
            if (inside)
                word[at] = letter();
            break;
        case 3: // swap two neighbours
            if (at + 1 < word.size())
                std::swap(word[at], word[at + 1]);
            break;
        default: // double one
            if (inside)
                word.insert(at, word[at]);
            break;
        }
    }

    QRandomGenerator rng_;
    QList<uint> alphabet_;
    QList<QList<uint>> made_;
};

const QList<uint> kLatinAndChinese = QString(QStringLiteral("abcdeAB 机器学习教程材")).toUcs4();
// With characters beyond the BMP, which are one code point and two UTF-16 units.
const QList<uint> kWide = QString(QStringLiteral("ab机器\U00020000\U00020001\U0001F600")).toUcs4();

QString Text(const QList<uint>& word) {
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(word.constData()), word.size());
}
std::u32string Points(const QList<uint>& word) {
    return std::u32string(word.begin(), word.end());
}

// The removed lines as the reference writes them, from the engine's report of each.
QString RemovedRows(const std::vector<RemovedLine>& removed,
                    const std::vector<ReferenceList>& lists) {
    QString rows;
    for (const RemovedLine& r : removed) {
        QString why;
        switch (r.why) {
        case RemovedLine::Why::Repeat:
            why = QString::number(r.keptLine);
            break;
        case RemovedLine::Why::List:
            why = lists[std::size_t(r.list)].name;
            break;
        case RemovedLine::Why::Blank:
            why = QStringLiteral("blank");
            break;
        case RemovedLine::Why::Once:
            why = QStringLiteral("unique");
            break;
        }
        rows += QString::number(r.line) + u'\t' + why + u'\t' + r.text + QStringLiteral("\r\n");
    }
    return rows;
}

struct Filtered {
    QString kept;
    QString removed;
    EngineResult result;
};

// The text through the engine: as a box's text, or as the bytes of a GB18030 file.
Filtered Filter(const QString& text, const FilterOptions& o,
                const std::vector<ReferenceList>& lists = {}, bool asBytes = false) {
    EngineSettings settings;
    settings.options = o;
    for (const ReferenceList& list : lists)
        settings.lists.push_back(ComparedList{
            list.excludes ? ListKind::Exclude : ListKind::Intersect, {}, list.text, list.name});
    std::vector<RemovedLine> removed;
    settings.removedOut = [&](const RemovedLine& line) {
        removed.push_back(line);
        return true;
    };
    Filtered f;
    if (asBytes) {
        settings.inputEncoding = TextEncoding::Gb18030;
        settings.lineBreak = LineBreak::CrLf;
        BytesSink sink;
        f.result = FilterBytes(EncodeText(text, TextEncoding::Gb18030)->bytes, sink, settings);
        TextDecoder(TextEncoding::Gb18030).decode(sink.bytes, f.kept);
    } else {
        const TextFilterResult t = FilterText(text, settings);
        f.kept = t.text;
        f.result = t.result;
    }
    f.removed = RemovedRows(removed, lists);
    return f;
}

} // namespace

class SimilarTest : public QObject {
    Q_OBJECT

private slots:
    // The banded distance with its bound is the whole table's distance wherever that is within
    // the bound, and over the bound otherwise.
    void boundedDistanceIsTheDistance_data() {
        QTest::addColumn<QList<uint>>("alphabet");
        QTest::newRow("latin and chinese") << kLatinAndChinese;
        QTest::newRow("beyond the BMP") << kWide;
        QTest::newRow("two letters") << QString(QStringLiteral("ab")).toUcs4();
    }
    void boundedDistanceIsTheDistance() {
        QFETCH(QList<uint>, alphabet);
        KeywordMaker maker(7, alphabet);
        QList<QList<uint>> words;
        for (int i = 0; i < 120; ++i)
            words << maker.next();
        for (qsizetype i = 1; i < words.size(); ++i) {
            const QList<uint>& a = words[i];
            const QList<uint>& b = words[(i * 37) % i];
            const int d = ReferenceEditDistance(a, b);
            for (const qint64 bound : {qint64(0), qint64(1), qint64(2), qint64(d) - 1, qint64(d),
                                       qint64(d) + 3, qint64(a.size() + b.size())}) {
                if (bound < 0)
                    continue;
                const qint64 got = BoundedEditDistance(Points(a), Points(b), bound);
                QCOMPARE(got, d <= bound ? qint64(d) : bound + 1);
            }
        }
    }

    // At every percentage, the index gives for each key the earliest kept key that comparing it
    // with every kept key gives.
    void indexFindsTheEarliestKeptKey_data() {
        QTest::addColumn<int>("percent");
        for (int percent = 50; percent <= 99; ++percent)
            QTest::addRow("%d%%", percent) << percent;
    }
    void indexFindsTheEarliestKeptKey() {
        QFETCH(int, percent);
        for (const QList<uint>& alphabet : {kLatinAndChinese, kWide}) {
            KeywordMaker maker(quint32(percent), alphabet);
            SimilarIndex index(percent);
            QList<QList<uint>> kept;
            for (int i = 0; i < 160; ++i) {
                const QList<uint> word = maker.next();
                if (word.isEmpty())
                    continue; // a blank line is never compared
                qint64 expected = -1;
                for (qsizetype k = 0; k < kept.size() && expected < 0; ++k) {
                    if (ReferenceSimilar(word, kept[k], percent))
                        expected = k;
                }
                const qint64 found = index.find(Points(word));
                QVERIFY2(found == expected, qPrintable(QStringLiteral("%1: found %2, not %3")
                                                           .arg(Text(word))
                                                           .arg(found)
                                                           .arg(expected)));
                if (found < 0) {
                    index.add(Points(word));
                    kept << word;
                }
            }
            QVERIFY(kept.size() > 10);
        }
    }

    // Two lines at the edge: similar exactly when 100 * d <= (100 - P) * the longer length,
    // lengths and distances in code points.
    void boundary_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<int>("percent");
        QTest::addColumn<bool>("similar");
        QTest::newRow("90%, 1 of 10") << "abcdefghij"
                                      << "abcdefghiX" << 90 << true;
        QTest::newRow("90%, 1 of 9") << "abcdefghi"
                                     << "abcdefghX" << 90 << false;
        QTest::newRow("91%, 1 of 10") << "abcdefghij"
                                      << "abcdefghiX" << 91 << false;
        QTest::newRow("80%, one added to 4") << "机器学习"
                                             << "机器学习教" << 80 << true;
        QTest::newRow("81%, one added to 4") << "机器学习"
                                             << "机器学习教" << 81 << false;
        QTest::newRow("66%, two added to 4") << "机器学习"
                                             << "机器学习教程" << 66 << true;
        QTest::newRow("67%, two added to 4") << "机器学习"
                                             << "机器学习教程" << 67 << false;
        QTest::newRow("50%, swapped neighbours") << "abcd"
                                                 << "abdc" << 50 << true;
        QTest::newRow("51%, swapped neighbours") << "abcd"
                                                 << "abdc" << 51 << false;
        QTest::newRow("50%, code points not units") << "ab"
                                                    << "a\U00020000" << 50 << true;
        QTest::newRow("50%, half of it new") << "ab"
                                             << "abcd" << 50 << true;
        QTest::newRow("50%, more than half new") << "ab"
                                                 << "abcde" << 50 << false;
        QTest::newRow("50%, all replaced") << "ab"
                                           << "cd" << 50 << false;
        QTest::newRow("99%, 1 of 100")
            << QString(99, u'a') + u'b' << QString(100, u'a') << 99 << true;
        QTest::newRow("99%, 1 of 99")
            << QString(98, u'a') + u'b' << QString(99, u'a') << 99 << false;
        QTest::newRow("99%, 1 of 100 shorter")
            << QString(100, u'a') << QString(99, u'a') << 99 << true;
    }
    void boundary() {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(int, percent);
        QFETCH(bool, similar);
        QCOMPARE(ReferenceSimilar(first.toUcs4(), second.toUcs4(), percent), similar);
        FilterOptions o;
        o.similar = percent;
        for (const QString& text : {first + u'\n' + second, second + u'\n' + first}) {
            const Filtered f = Filter(text, o);
            QVERIFY2(f.result.ok(), qPrintable(f.result.outcome.message()));
            QCOMPARE(f.kept, ReferenceFilter(text, o));
            QCOMPARE(f.kept.count(QStringLiteral("\r\n")), similar ? 1 : 2);
            QCOMPARE(f.result.stats.similarLines, similar ? 1 : 0);
        }
    }

    // A line near several kept lines goes for the earliest; a line near only one that went
    // stays (no chains).
    void severalKeptLines_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("percent");
        QTest::addColumn<QString>("removed");
        QTest::newRow("the earliest of two")
            << QStringList{"abcdefghij", "abcdeXYZij", "abcdeXghij", "abcdeXYZiQ", "abcdeXYhij"}
            << 80 << "3\t1\tabcdeXghij\r\n4\t2\tabcdeXYZiQ\r\n5\t1\tabcdeXYhij\r\n";
        QTest::newRow("no chain") << QStringList{"aaaaaaaaaa", "aaaaaaaaab", "aaaaaaaabb",
                                                 "aaaaaaabbb"}
                                  << 90 << "2\t1\taaaaaaaaab\r\n4\t3\taaaaaaabbb\r\n";
        QTest::newRow("equal after a near one")
            << QStringList{"教程资料", "教材资料", "教程资料", "教材资料"} << 75
            << "2\t1\t教材资料\r\n3\t1\t教程资料\r\n4\t1\t教材资料\r\n";
    }
    void severalKeptLines() {
        QFETCH(QStringList, lines);
        QFETCH(int, percent);
        QFETCH(QString, removed);
        FilterOptions o;
        o.similar = percent;
        const QString text = lines.join(u'\n');
        const Filtered f = Filter(text, o);
        QVERIFY(f.result.ok());
        QCOMPARE(f.removed, removed);
        QCOMPARE(ReferenceRemoved(text, o), removed);
    }

    // Random keyword lists and random lines of the keys' alphabet, with comparison options,
    // keys and lists, at random percentages: the kept lines and the removed rows are the
    // reference's.
    void filterIsTheReference_data() {
        QTest::addColumn<int>("round");
        for (int round = 0; round < 60; ++round)
            QTest::addRow("round %d", round) << round;
    }
    void filterIsTheReference() {
        QFETCH(int, round);
        QRandomGenerator rng(quint32(round) * 7919u + 1u);
        KeywordMaker maker(quint32(round), round % 3 == 2 ? kWide : kLatinAndChinese);
        FilterOptions o = round % 2 ? RandomOptions(rng) : FilterOptions{};
        o.keepBlank = rng.bounded(4) == 0;
        o.similar = 50 + rng.bounded(50);
        QStringList lines;
        for (int i = 0, n = 20 + rng.bounded(60); i < n; ++i)
            lines << (rng.bounded(3) == 0 ? RandomLine(rng) : Text(maker.next()));
        std::vector<ReferenceList> lists;
        if (rng.bounded(3) == 0) {
            QStringList listLines;
            for (int i = 0; i < 6; ++i)
                listLines << lines[rng.bounded(int(lines.size()))];
            lists.push_back(
                ReferenceList{rng.bounded(2) == 0, listLines.join(u'\n'), QStringLiteral("list")});
        }
        const QString text = lines.join(u'\n');
        const Filtered f = Filter(text, o, lists, round % 4 == 1);
        QVERIFY2(f.result.ok(), qPrintable(f.result.outcome.message()));
        const QString context = QStringLiteral("%1%% %2 %3\n%4")
                                    .arg(o.similar)
                                    .arg(FilterOptionsToText(o), o.key.pattern, text);
        QVERIFY2(f.kept == ReferenceFilter(text, o, false, lists), qPrintable(context));
        QVERIFY2(f.removed == ReferenceRemoved(text, o, lists), qPrintable(context));
    }

    // Every line that went as a repeat tells how alike its key is to the kept one's: the greatest
    // P at which the two are similar (100 for equal keys). Lines ticked to stay stay, and every
    // other line goes or stays as without them.
    void similarityAndKeptByHand_data() {
        QTest::addColumn<int>("percent");
        for (const int percent : {50, 67, 80, 85, 90})
            QTest::addRow("%d%%", percent) << percent;
    }
    void similarityAndKeptByHand() {
        QFETCH(int, percent);
        KeywordMaker maker(quint32(percent) * 31, kLatinAndChinese);
        QStringList lines;
        for (int i = 0; i < 400; ++i)
            lines << Text(maker.next());
        EngineSettings settings;
        settings.options.similar = percent;
        std::vector<RemovedLine> removed;
        settings.removedOut = [&](const RemovedLine& line) {
            removed.push_back(line);
            return true;
        };
        const QString text = lines.join(u'\n');
        const TextFilterResult plain = FilterText(text, settings);
        QVERIFY(plain.result.ok());
        std::vector<std::pair<int, qint64>> ticked;
        for (const RemovedLine& r : removed) {
            if (r.why != RemovedLine::Why::Repeat)
                continue;
            const QList<uint> a = r.text.toUcs4();
            const QList<uint> b = lines[r.keptLine - 1].toUcs4();
            int expected = 100;
            while (!ReferenceSimilar(a, b, expected))
                --expected;
            QCOMPARE(r.similarity, expected);
            QVERIFY(expected >= percent);
            if (r.line % 3 == 0 && expected < 100)
                ticked.push_back({0, r.line});
        }
        QVERIFY(!ticked.empty());
        // The plain result with the ticked lines put back where they stood.
        std::set<qint64> gone;
        for (const RemovedLine& r : removed)
            gone.insert(r.line);
        for (const auto& [input, line] : ticked)
            gone.erase(line);
        QString expected;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (!gone.count(i + 1))
                expected += lines[i] + QStringLiteral("\r\n");
        }
        removed.clear();
        settings.keptByHand = ticked;
        const TextFilterResult kept = FilterText(text, settings);
        QCOMPARE(kept.text, expected);
        QCOMPARE(kept.result.stats.keptByHand, qint64(ticked.size()));
        QCOMPARE(qint64(removed.size()), plain.result.stats.linesRemoved - qint64(ticked.size()));
    }

    // A job the budget cannot hold says how much memory it needs; a stop ends it.
    void tooLargeOrStopped() {
        QString text;
        KeywordMaker maker(3, kLatinAndChinese);
        for (int i = 0; i < 3000; ++i)
            text += Text(maker.next()) + u'\n';
        EngineSettings settings;
        settings.options.similar = 90;
        settings.memoryBudget = 1;
        TextFilterResult t = FilterText(text, settings);
        QVERIFY(t.result.outcome.hasFailed());
        QVERIFY2(t.result.outcome.message().contains(QStringLiteral("MiB 内存")),
                 qPrintable(t.result.outcome.message()));
        QVERIFY(t.text.isEmpty());

        settings.memoryBudget = 0;
        std::atomic<bool> stop = true;
        settings.stop = &stop;
        t = FilterText(text, settings);
        QVERIFY(t.result.outcome.wasCancelled());
        settings.stop = nullptr;
        int told = 0;
        t = FilterText(text, settings, [&](qint64, qint64) { return ++told < 3; });
        QVERIFY(t.result.outcome.wasCancelled());
        QCOMPARE(told, 3);
    }
};

QTEST_GUILESS_MAIN(SimilarTest)
#include "tst_similar.moc"
