#include "ui/wording.h"

#include "engine/engine.h"
#include "engine/largefile.h"

#include <QFileInfo>
#include <QLocale>

namespace {

// What a box in the large-file mode says about the part it shows.
QString ShownPart(const TextSummary& summary) {
    if (summary.lines > kPreviewLines)
        return QStringLiteral("显示开头 %1 行").arg(Grouped(kPreviewLines));
    if (!summary.previewComplete)
        return QStringLiteral("过长的行只显示开头");
    return QStringLiteral("已全部显示");
}

} // namespace

QString RemovedNote(const EngineStats& stats, const FilterOptions& options) {
    const qint64 nonBlank = stats.linesRead - stats.blankLines;
    qint64 nonBlankKept = stats.distinctLines;
    if (options.keep == KeepMode::Unique)
        nonBlankKept = stats.distinctLines - stats.repeatedLines;
    else if (options.keep == KeepMode::Repeated)
        nonBlankKept = stats.repeatedLines;
    const qint64 blanksRemoved = stats.blankLines - (stats.linesKept - nonBlankKept);

    std::vector<std::pair<qint64, QString>> parts;
    switch (options.keep) {
    case KeepMode::First:
    case KeepMode::Last:
        parts.emplace_back(nonBlank - nonBlankKept, QStringLiteral("重复"));
        break;
    case KeepMode::Unique:
        parts.emplace_back(nonBlank - nonBlankKept, QStringLiteral("有重复的行"));
        break;
    case KeepMode::Repeated:
        parts.emplace_back(stats.distinctLines - stats.repeatedLines,
                           QStringLiteral("没有重复的行"));
        parts.emplace_back(nonBlank - stats.distinctLines, QStringLiteral("重复"));
        break;
    }
    parts.emplace_back(blanksRemoved, QStringLiteral("空行"));
    std::erase_if(parts, [](const auto& part) { return part.first <= 0; });

    QString removed = QStringLiteral("已删除 %1 行").arg(Grouped(stats.linesRemoved));
    if (parts.empty())
        return removed;
    if (parts.size() == 1)
        return removed + parts.front().second;
    QStringList named;
    for (const auto& [lines, what] : parts)
        named.append(QStringLiteral("%1 %2 行").arg(what, Grouped(lines)));
    return removed + u'（' + named.join(u'，') + u'）';
}

QString StaleResultNote() {
    return QStringLiteral("结果不是当前输入的过滤结果");
}

QString LargeInputNotice(const LargeFile& input) {
    const QString files = input.paths.size() > 1
                              ? QStringLiteral("%1 个文件只读：").arg(input.paths.size())
                              : QStringLiteral("大文件只读：");
    return files + QStringLiteral("%1，命令作用于全部 %2 行。")
                       .arg(ShownPart(input.summary), Grouped(input.summary.lines));
}

QString LargeResultNotice(const TextSummary& summary) {
    return QStringLiteral("结果只读：%1，复制和保存用全部 %2 行。")
        .arg(ShownPart(summary), Grouped(summary.lines));
}

QString ImportedFilesNote(const QStringList& paths) {
    QStringList names;
    for (const QString& path : paths)
        names.append(QFileInfo(path).fileName());
    return QStringLiteral("已导入 %1 个文件：").arg(paths.size()) +
           names.join(QStringLiteral("、"));
}
