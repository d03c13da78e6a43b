#include "ui/statistic/similargroups.h"

#include <algorithm>
#include <map>

SimilarGroups GroupSimilar(const std::vector<RemovedLine>& removed,
                           const std::function<QString(LinePlace)>& keptText, qint64 mostRows) {
    SimilarGroups out;
    std::map<LinePlace, std::size_t> byKept;
    std::vector<SimilarGroup> all;
    std::vector<bool> hasNear;
    for (const RemovedLine& line : removed) {
        if (line.why != RemovedLine::Why::Repeat)
            continue;
        const LinePlace kept{line.keptInput, line.keptLine};
        auto [it, added] = byKept.try_emplace(kept, all.size());
        if (added) {
            all.push_back(SimilarGroup{kept, {}, {}});
            hasNear.push_back(false);
        }
        if (line.similarity < 100) {
            hasNear[it->second] = true;
            ++out.nearLines;
        }
        all[it->second].members.push_back(
            SimilarMember{{line.input, line.line}, line.similarity, line.text});
    }
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (hasNear[i])
            order.push_back(i);
    }
    std::stable_sort(order.begin(), order.end(), [&all](std::size_t a, std::size_t b) {
        if (all[a].members.size() != all[b].members.size())
            return all[a].members.size() > all[b].members.size();
        return all[a].kept < all[b].kept;
    });
    for (const std::size_t i : order) {
        SimilarGroup& group = all[i];
        if (out.rows + qint64(group.members.size()) > mostRows) {
            out.complete = false;
            break;
        }
        out.rows += qint64(group.members.size());
        group.keptText = keptText(group.kept);
        out.groups.push_back(std::move(group));
    }
    return out;
}

namespace {

// The lines of a text at the given numbers (sorted), as the engine counts them: a line ends at
// CR LF, a lone LF or a lone CR.
std::map<qint64, QString> LinesAt(QStringView text, const std::vector<qint64>& numbers) {
    std::map<qint64, QString> lines;
    auto wanted = numbers.begin();
    qint64 number = 1;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size() && wanted != numbers.end(); ++i) {
        const bool end = i == text.size() || text[i] == u'\n' || text[i] == u'\r';
        if (!end)
            continue;
        if (*wanted == number) {
            lines[number] = text.sliced(start, i - start).toString();
            ++wanted;
        }
        if (i < text.size() && text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
        ++number;
    }
    return lines;
}

} // namespace

Outcome ListSimilar(const FilterSource& source, EngineSettings settings,
                    const EngineProgress& progress, SimilarGroups* into) {
    const auto* file = std::get_if<std::shared_ptr<const LargeFile>>(&source);
    // A large file is read twice: the filter, then the kept lines; each is half the work.
    const EngineProgress half = [&progress](qint64 done, qint64 total) {
        return !progress || progress(done, total * 2);
    };
    const EngineProgress secondHalf = [&progress](qint64 done, qint64 total) {
        return !progress || progress(total + done, total * 2);
    };
    std::vector<RemovedLine> removed;
    settings.keptByHand.clear(); // the page shows every near repeat, ticked or not
    EngineSettings reading = settings;
    settings.removedOut = [&removed](const RemovedLine& line) {
        if (line.why == RemovedLine::Why::Repeat)
            removed.push_back(line);
        return true;
    };
    const EngineResult result = RunOverSource(source, std::move(settings), file ? half : progress);
    if (!result.ok())
        return result.outcome;
    if (file) {
        SimilarGroups groups = GroupSimilar(removed, [](LinePlace) { return QString(); });
        removed.clear();
        std::vector<LinePlace> places;
        places.reserve(groups.groups.size());
        for (const SimilarGroup& group : groups.groups)
            places.push_back(group.kept);
        std::sort(places.begin(), places.end());
        std::vector<QString> texts;
        const LargeFile& large = **file;
        if (Outcome o = ReadLinesAgain(large.paths, ReadingLargeFile(large, std::move(reading)),
                                       places, secondHalf, &texts);
            !o.ok())
            return o;
        if (QString changed = ChangedSince(large.paths, large.opened); !changed.isEmpty())
            return Outcome::failed(std::move(changed));
        for (SimilarGroup& group : groups.groups) {
            const auto at = std::lower_bound(places.begin(), places.end(), group.kept);
            group.keptText = std::move(texts[std::size_t(at - places.begin())]);
        }
        *into = std::move(groups);
        return result.outcome;
    }
    std::vector<qint64> numbers;
    numbers.reserve(removed.size());
    for (const RemovedLine& line : removed)
        numbers.push_back(line.keptLine);
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    const std::map<qint64, QString> kept = LinesAt(std::get<QString>(source), numbers);
    *into = GroupSimilar(removed, [&kept](LinePlace place) {
        const auto it = kept.find(place.second);
        return place.first == 0 && it != kept.end() ? it->second : QString();
    });
    return result.outcome;
}

QByteArray DifferingChars(QStringView kept, QStringView line) {
    const qsizetype n = kept.size();
    const qsizetype m = line.size();
    // d[i][j]: the edits between the first i characters of kept and the first j of line.
    std::vector<qint32> d(std::size_t((n + 1) * (m + 1)));
    auto at = [&d, m](qsizetype i, qsizetype j) -> qint32& {
        return d[std::size_t(i * (m + 1) + j)];
    };
    for (qsizetype i = 0; i <= n; ++i)
        at(i, 0) = qint32(i);
    for (qsizetype j = 0; j <= m; ++j)
        at(0, j) = qint32(j);
    for (qsizetype i = 1; i <= n; ++i) {
        for (qsizetype j = 1; j <= m; ++j) {
            const qint32 replace = at(i - 1, j - 1) + (kept[i - 1] == line[j - 1] ? 0 : 1);
            at(i, j) = std::min({replace, at(i - 1, j) + 1, at(i, j - 1) + 1});
        }
    }
    QByteArray differs(m, '\0');
    qsizetype i = n;
    qsizetype j = m;
    while (j > 0) {
        if (i > 0 && at(i, j) == at(i - 1, j - 1) + (kept[i - 1] == line[j - 1] ? 0 : 1)) {
            differs[j - 1] = kept[i - 1] == line[j - 1] ? 0 : 1;
            --i;
            --j;
        } else if (i > 0 && at(i, j) == at(i - 1, j) + 1) {
            --i;
        } else {
            differs[j - 1] = 1;
            --j;
        }
    }
    return differs;
}
