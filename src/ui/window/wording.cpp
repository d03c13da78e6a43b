#include "ui/window/wording.h"

#include "core/comparisonoptions.h"
#include "core/keeprules.h"
#include "engine/engine.h"
#include "engine/window/largefile.h"
#include "ui/compare/comparesetup.h"

#include <QFileInfo>
#include <QLocale>

#include <algorithm>

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

QString RemovedNote(const EngineStats& stats, const FilterOptions& options,
                    const std::vector<ComparedList>& lists) {
    const qint64 keyed = stats.linesRead - stats.blankLines - stats.keylessLines;
    const bool intersecting = std::any_of(lists.begin(), lists.end(), [](const ComparedList& l) {
        return l.kind == ComparedList::Kind::Intersect;
    });
    // Lines without a key that the keep mode removed (where an intersecting list removes them,
    // they are among its count).
    const qint64 keylessGone =
        !KeepsKeyless(options.keep, intersecting) && !intersecting ? stats.keylessLines : 0;
    qint64 byLists = 0;
    for (const qint64 removed : stats.removedByList)
        byLists += removed;
    const qint64 blanksRemoved = stats.blankLines - stats.blankLinesKept;
    // What the keep mode removed of the lines with a key that the lists let pass.
    const qint64 byMode = stats.linesRemoved - blanksRemoved - byLists - keylessGone;

    std::vector<std::pair<qint64, QString>> parts;
    // A list is named where there are several.
    for (std::size_t i = 0; i < lists.size(); ++i) {
        const qint64 removed = i < stats.removedByList.size() ? stats.removedByList[i] : 0;
        const QString kind = ListKindLabel(lists[i].kind);
        parts.emplace_back(removed, lists.size() == 1
                                        ? kind + QStringLiteral("删除")
                                        : QStringLiteral("%1 %2 删除").arg(kind, lists[i].name));
    }
    switch (options.keep) {
    case KeepMode::First:
    case KeepMode::Last:
    case KeepMode::Longest:
    case KeepMode::Shortest:
        // Near repeats are told apart from equal ones.
        parts.emplace_back(byMode - stats.similarLines, QStringLiteral("重复"));
        parts.emplace_back(stats.similarLines, QStringLiteral("相似"));
        break;
    case KeepMode::Unique:
        parts.emplace_back(byMode, QStringLiteral("有重复的行"));
        break;
    case KeepMode::Repeated:
        if (lists.empty()) {
            parts.emplace_back(stats.distinctLines - stats.repeatedLines + keylessGone,
                               QStringLiteral("没有重复的行"));
            parts.emplace_back(keyed - stats.distinctLines, QStringLiteral("重复"));
        } else {
            parts.emplace_back(byMode + keylessGone, QStringLiteral("没有重复的行和重复"));
        }
        break;
    }
    parts.emplace_back(blanksRemoved, QStringLiteral("空行"));
    // A list's count stays even when it is none.
    const auto listParts = qsizetype(lists.size());
    for (qsizetype i = qsizetype(parts.size()) - 1; i >= listParts; --i) {
        if (parts[std::size_t(i)].first <= 0)
            parts.erase(parts.begin() + i);
    }

    QString note = QStringLiteral("已删除 %1 行").arg(Grouped(stats.linesRemoved));
    if (parts.size() == 1 && lists.empty()) {
        note += parts.front().second;
    } else if (!parts.empty()) {
        QStringList named;
        for (const auto& [lines, what] : parts)
            named.append(QStringLiteral("%1 %2 行").arg(what, Grouped(lines)));
        note += u'（' + named.join(u'，') + u'）';
    }
    if (stats.keylessLines > 0)
        note += QStringLiteral("；无键行 %1").arg(Grouped(stats.keylessLines));
    if (options.similar != 0) {
        FilterOptions similar;
        similar.similar = options.similar;
        note += u'；' + DescribeOptions(similar).join(QString());
        if (stats.keptByHand > 0)
            note += QStringLiteral("，手动保留 %1 行").arg(Grouped(stats.keptByHand));
    }
    if (!options.key.isDefault())
        note += u'；' + DescribeKeyRule(options.key).join(QStringLiteral("、"));
    return note;
}

QString StaleResultNote() {
    return QStringLiteral("结果不是当前输入的过滤结果");
}

QString HandEditedResultNote() {
    return QStringLiteral("结果已被手动修改");
}

QString ClearLosesQuestion(qsizetype lines) {
    return QStringLiteral("文本太大，清空后无法撤销：%1 行将被删去。确定清空吗？")
        .arg(Grouped(lines));
}

QString LargeInputNotice(const LargeFile& input) {
    if (input.pasted)
        return QStringLiteral("粘贴过大，只读：%1，命令作用于全部 %2 行。")
            .arg(ShownPart(input.summary), Grouped(input.summary.lines));
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

QString UnreadableImportQuestion(const QString& path, qsizetype unreadable) {
    return QStringLiteral("文件“%1”中有 %2 处字节无法识别为文字，它可能不是文本文件。\n\n"
                          "导入后这些字节显示为 \uFFFD，保存时原样写回。仍要导入吗？")
        .arg(QFileInfo(path).fileName(), Grouped(unreadable));
}

QString EmptyImportNote() {
    return QStringLiteral("导入的是空文件；Ctrl+Z 可恢复原文");
}
