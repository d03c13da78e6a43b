// The window's state alone, without a window: when the result stops being the input's, when a
// change of the setup may filter again at once, what the output note says, what is remembered, and
// what a clear keeps for its undo.
#include "ui/window/windowstate.h"

#include <QTest>

namespace {

// The output note by name, so that a failure shows which.
QString NoteName(WindowState::OutputNote note) {
    switch (note) {
    case WindowState::OutputNote::None:
        return QStringLiteral("none");
    case WindowState::OutputNote::Stale:
        return QStringLiteral("stale");
    case WindowState::OutputNote::Removed:
        return QStringLiteral("removed");
    case WindowState::OutputNote::HandEdited:
        return QStringLiteral("hand-edited");
    }
    return {};
}

// Applies steps, one letter each: f a filter completes with the setup in force, i the input is
// edited, o the output is edited, c an option changes, k the key changes, l a list is added,
// s near repeats are compared, t a near repeat is ticked 保留 in the statistic, x the boxes are
// cleared (holding text), u the clear is undone.
void Apply(WindowState& state, const QString& steps) {
    for (const QChar step : steps) {
        FilterOptions options = state.options();
        std::vector<ComparedList> lists = state.lists();
        switch (step.unicode()) {
        case 'f': {
            const EngineSettings settings = state.filterSettings();
            state.filtered({QStringLiteral("a\na"),
                            settings.options,
                            settings.lists,
                            {},
                            QStringLiteral("删除了 1 行"),
                            nullptr,
                            settings.keptByHand});
            break;
        }
        case 'i':
            state.inputEdited();
            break;
        case 'o':
            state.outputEdited();
            break;
        case 'c':
            options.ignoreCase = !options.ignoreCase;
            break;
        case 'k':
            options.key.digitsOnly = !options.key.digitsOnly;
            break;
        case 'l':
            lists.push_back({ListKind::Exclude, {}, QStringLiteral("a"), QStringLiteral("清单")});
            break;
        case 's':
            options.similar = 80;
            break;
        case 't':
            state.setKeptByHand({{0, 2}});
            break;
        case 'x': {
            WindowState::ClearedBoxes boxes;
            boxes.input = QStringLiteral("a");
            boxes.output = QStringLiteral("b");
            state.clear(state.whatClearKeeps(boxes));
            break;
        }
        case 'u':
            if (const std::optional<WindowState::Cleared> cleared = state.takeCleared())
                state.restore(*cleared);
            break;
        default:
            QFAIL("unknown step");
        }
        if (QStringLiteral("ckls").contains(step))
            state.setSetup(options, std::move(lists));
    }
}

} // namespace

class TestWindowState : public QObject {
    Q_OBJECT
private slots:
    void staleness_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<bool>("stale");
        QTest::addColumn<bool>("preview");
        QTest::addColumn<QString>("note");
        QTest::newRow("nothing filtered") << "ic" << false << false << "none";
        QTest::newRow("just filtered") << "f" << false << true << "removed";
        QTest::newRow("input edited") << "fi" << true << false << "stale";
        QTest::newRow("output edited") << "fo" << false << false << "hand-edited";
        QTest::newRow("option changed") << "fc" << true << true << "stale";
        QTest::newRow("option changed back") << "fcc" << false << true << "removed";
        QTest::newRow("key changed") << "fk" << true << true << "stale";
        QTest::newRow("list added") << "fl" << true << true << "stale";
        QTest::newRow("edited output, then option") << "foc" << true << false << "stale";
        QTest::newRow("filtered again") << "ficf" << false << true << "removed";
        QTest::newRow("near repeat ticked") << "sft" << true << true << "stale";
        QTest::newRow("ticked, then filtered") << "sftf" << false << true << "removed";
        // A tick belongs to the setup it was made with, even once the setup is back.
        QTest::newRow("tick gone with the setup") << "sftfcc" << true << true << "stale";
        QTest::newRow("cleared") << "fx" << false << false << "none";
        QTest::newRow("clear undone") << "foxu" << false << false << "hand-edited";
        QTest::newRow("stale clear undone") << "fcxu" << true << true << "stale";
    }
    void staleness() {
        QFETCH(QString, steps);
        WindowState state;
        Apply(state, steps);
        QFETCH(bool, stale);
        QFETCH(bool, preview);
        QFETCH(QString, note);
        QCOMPARE(state.isResultStale(), stale);
        QCOMPARE(state.canPreview(), preview);
        QCOMPARE(NoteName(state.outputNote()), note);
        // A preview asked for is taken once, and only where one may run.
        QCOMPARE(state.askPreview(), preview);
        QCOMPARE(state.takePreview(), preview);
        QVERIFY(!state.takePreview());
    }

    // Each setting is remembered when it changes, and only then.
    void remembered_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("keys");
        QTest::newRow("option") << "c" << QStringList{WindowState::kOptionsKey};
        QTest::newRow("key") << "k" << QStringList{WindowState::kKeyKey};
        QTest::newRow("list") << "l" << QStringList{WindowState::kListsKey};
    }
    void remembered() {
        QFETCH(QString, steps);
        QFETCH(QStringList, keys);
        WindowState state;
        FilterOptions options;
        std::vector<ComparedList> lists;
        Apply(state, steps);
        QStringList saved;
        const std::optional<std::vector<WindowState::Setting>> changed =
            state.setSetup(options, lists);
        QVERIFY(changed);
        for (const auto& [key, text] : *changed)
            saved << key;
        QCOMPARE(saved, keys);
        QVERIFY(!state.setSetup(options, lists));
    }

    // A clear keeps what both boxes can bring back; nothing when a box is too long or both are
    // empty, or while a command works.
    void clearKeeps_data() {
        QTest::addColumn<bool>("working");
        QTest::addColumn<QString>("input");
        QTest::addColumn<bool>("outputKept"); // false: too long to bring back
        QTest::addColumn<bool>("undoable");
        QTest::newRow("texts") << false << "a" << true << true;
        QTest::newRow("output too long") << false << "a" << false << false;
        QTest::newRow("empty") << false << "" << true << false;
        QTest::newRow("working") << true << "a" << true << false;
    }
    void clearKeeps() {
        QFETCH(bool, working);
        QFETCH(QString, input);
        QFETCH(bool, outputKept);
        QFETCH(bool, undoable);
        WindowState state;
        Apply(state, QStringLiteral("fo"));
        std::optional<WindowState::ClearedBoxes> boxes;
        if (!working) {
            boxes = WindowState::ClearedBoxes();
            boxes->input = input;
            if (outputKept)
                boxes->output = QString();
        }
        std::optional<WindowState::Cleared> kept = state.whatClearKeeps(boxes);
        state.inputEdited(); // the boxes emptying: no edit that the undo brings back
        state.clear(std::move(kept));
        QCOMPARE(state.canUndoClear(), undoable);
        QVERIFY(!state.lastFilter());
        QCOMPARE(NoteName(state.outputNote()), QStringLiteral("none"));
        if (!undoable)
            return;
        // The undo brings back the boxes' texts and the hand-edited result of the last filter.
        const std::optional<WindowState::Cleared> cleared = state.takeCleared();
        QCOMPARE(cleared->input, input);
        state.restore(*cleared);
        QCOMPARE(NoteName(state.outputNote()), QStringLiteral("hand-edited"));
        QVERIFY(!state.canUndoClear());
    }
};

QTEST_GUILESS_MAIN(TestWindowState)
#include "tst_windowstate.moc"
