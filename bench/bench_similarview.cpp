// Shows the statistic's page 相似的行 offscreen with groups of near repeats (260,000 lines that
// went, or the count given, nine to a group) and prints how long the event loop is held up:
// listing them, a search that keeps a line of each group, one that keeps one group, ending the
// search, typing a search a key at a time, a tick, and scrolling through the list.
// Usage: bench_similarview [LINES]
#include "eventloop.h"
#include "textgen.h"
#include "ui/statistic/similarview.h"

#include <QApplication>
#include <QLineEdit>
#include <QScrollBar>
#include <QTimer>
#include <QTreeView>

#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int lines = argc > 1 ? std::max(9, std::atoi(argv[1])) : 260000;
    auto groups = std::make_shared<SimilarGroups>();
    for (int g = 0; g < lines / 9; ++g) {
        SimilarGroup group{{0, qint64(g) * 10 + 1}, QStringLiteral("关键词列表 %1").arg(g), {}};
        for (int m = 0; m < 9; ++m)
            group.members.push_back(SimilarMember{
                {0, qint64(g) * 10 + 2 + m}, 90, QStringLiteral("关键词列表 %1-%2").arg(g).arg(m)});
        groups->groups.push_back(std::move(group));
    }
    groups->rows = groups->nearLines = qint64(groups->groups.size()) * 9;
    std::printf("%lld lines in %zu groups\n", static_cast<long long>(groups->rows),
                groups->groups.size());

    SimilarView view;
    view.resize(700, 500);
    view.show();
    QCoreApplication::processEvents();
    bool shown = false;
    Print("list the groups", RunUntil(
                                 [&] {
                                     view.setGroups(groups);
                                     shown = true;
                                 },
                                 [&] { return shown; }));
    auto search = [&](const char* what, const QString& text) {
        bool done = false;
        QObject::connect(
            &view, &SimilarView::searchShown, &view, [&] { done = true; },
            Qt::SingleShotConnection);
        Print(what, RunUntil([&] { view.search()->setText(text); },
                             [&] { return done && view.searched() == text; }));
        std::printf("  %d groups shown\n", view.tree()->model()->rowCount());
    };
    search("search keeping a line of each group", QStringLiteral("-8"));
    search("search keeping one group", QStringLiteral("列表 12345"));
    search("end the search", QString());
    // Typed a key at a time, a key every 40 ms, until the last text's rows are shown.
    auto type = [&](const char* what, const QString& text) {
        qsizetype typed = 0;
        QTimer keys;
        keys.setInterval(40);
        QObject::connect(&keys, &QTimer::timeout, [&] {
            if (typed < text.size())
                view.search()->insert(text.sliced(typed++, 1));
        });
        Print(what, RunUntil([&] { keys.start(); },
                             [&] {
                                 return typed == text.size() &&
                                        view.tree()->model()->rowCount() == 1 &&
                                        view.tree()->model()->index(0, 0).data().toString() ==
                                            QStringLiteral("123451");
                             }));
        view.search()->clear();
        QCoreApplication::processEvents();
    };
    type("type \"列表 12345\" a key each 40 ms", QStringLiteral("列表 12345"));
    type("type \"12345\" a key each 40 ms", QStringLiteral("12345"));
    QAbstractItemModel* model = view.tree()->model();
    bool ticked = false;
    Print("tick a line",
          RunUntil(
              [&] {
                  model->setData(model->index(3, SimilarView::Keep, model->index(7, 0)),
                                 Qt::Checked, Qt::CheckStateRole);
                  ticked = true;
              },
              [&] { return ticked; }));
    QScrollBar* bar = view.tree()->verticalScrollBar();
    int steps = 0;
    Print("scroll through in ten steps", RunUntil([&] {},
                                                  [&] {
                                                      if (steps == 10)
                                                          return true;
                                                      bar->setValue(bar->maximum() * ++steps / 10);
                                                      view.repaint();
                                                      return false;
                                                  }));
    std::printf("peak memory: %.0f MiB\n", PeakMemoryMiB());
    return 0;
}
