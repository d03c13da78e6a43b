#include "core/linefilter.h"

#include <xxhash.h>

#include <bit>
#include <cstring>
#include <future>
#include <vector>

namespace {

constexpr char16_t CR = u'\r';
constexpr char16_t LF = u'\n';

// Calls visit(line) for every line of the text, split on CR LF.
template <typename Visit> void ForEachLine(QStringView text, Visit&& visit) {
    if (text.isEmpty())
        return;
    qsizetype start = 0;
    qsizetype from = 0;
    const qsizetype size = text.size();
    while (true) {
        const qsizetype lf = text.indexOf(QChar(LF), from);
        if (lf < 0)
            break;
        if (lf > start && text[lf - 1] == QChar(CR)) {
            visit(text.sliced(start, lf - 1 - start));
            start = lf + 1;
        }
        from = lf + 1;
    }
    visit(text.sliced(start, size - start));
}

// One line of the text being filtered: where it is and its hash.
struct LineRef {
    qsizetype start;
    qsizetype size;
    quint64 hash;
};

quint64 HashOf(const QChar* data, qsizetype size) {
    return XXH3_64bits(data, static_cast<std::size_t>(size) * sizeof(QChar));
}

// Appends the lines that start in [from, to) to `lines`. `to` is the end of the text or the
// position right after a CR LF; only at the end of the text does a final line follow the last
// CR LF.
void SplitLines(QStringView text, qsizetype from, qsizetype to, std::vector<LineRef>& lines) {
    const QStringView range = text.sliced(from, to - from);
    const bool atEnd = to == text.size();
    auto add = [&](QStringView line) {
        lines.push_back({line.data() - text.data(), line.size(), HashOf(line.data(), line.size())});
    };
    if (range.isEmpty()) {
        if (atEnd) // the final empty line after a closing CR LF
            add(text.sliced(to, 0));
        return;
    }
    ForEachLine(range, [&](QStringView line) {
        // Before the end of the text, the range closes with a CR LF and no line follows it.
        if (atEnd || line.data() != range.data() + range.size())
            add(line);
    });
}

// Sets keep[i] for every line that is the first of its kind, considering only the lines whose
// hash falls in this share (the top bit of the hash equals `share` when there are two shares).
// Equal lines have equal hashes, so each share decides its lines on its own.
void MarkFirstOccurrences(QStringView text, const std::vector<LineRef>& lines, unsigned share,
                          unsigned shares, std::vector<quint8>& keep) {
    auto inShare = [&](quint64 hash) { return shares == 1 || unsigned(hash >> 63) == share; };

    std::size_t capacity = 16;
    while (capacity < 2 * lines.size() / shares + 2)
        capacity *= 2;
    struct Slot {
        quint64 hash;
        qsizetype line; // -1: free
    };
    std::vector<Slot> table(capacity, Slot{0, -1});
    const std::size_t mask = capacity - 1;

    constexpr std::size_t kAhead = 16; // slots are fetched this many lines ahead
    const std::size_t n = lines.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (i + kAhead < n && inShare(lines[i + kAhead].hash))
            __builtin_prefetch(&table[lines[i + kAhead].hash & mask]);
        const LineRef& line = lines[i];
        if (!inShare(line.hash))
            continue;
        if (line.size == 0 && i > 0)
            continue; // an empty line after the first is never kept
        std::size_t at = line.hash & mask;
        while (true) {
            Slot& slot = table[at];
            if (slot.line < 0) {
                slot = Slot{line.hash, qsizetype(i)};
                keep[i] = 1;
                break;
            }
            if (slot.hash == line.hash) {
                const LineRef& kept = lines[std::size_t(slot.line)];
                if (kept.size == line.size &&
                    std::memcmp(text.data() + kept.start, text.data() + line.start,
                                std::size_t(line.size) * sizeof(QChar)) == 0)
                    break;
            }
            at = (at + 1) & mask;
        }
    }
}

// Below this many code units the work is too small to be worth a second thread.
constexpr qsizetype kParallelFrom = 1 << 20;

} // namespace

QString FilterDuplicateLines(QStringView text) {
    if (text.isEmpty())
        return {};
    const bool parallel = text.size() >= kParallelFrom;

    // Split and hash, the two halves of the text at once.
    std::vector<LineRef> lines;
    lines.reserve(std::size_t(text.size() / 32));
    qsizetype middle = parallel ? text.indexOf(u"\r\n", text.size() / 2) : -1;
    if (middle >= 0) {
        middle += 2;
        std::vector<LineRef> second;
        second.reserve(std::size_t((text.size() - middle) / 32));
        auto task =
            std::async(std::launch::async, [&] { SplitLines(text, middle, text.size(), second); });
        SplitLines(text, 0, middle, lines);
        task.get();
        lines.insert(lines.end(), second.begin(), second.end());
    } else {
        SplitLines(text, 0, text.size(), lines);
    }

    // Decide which lines stay, each half of the hash space on its own thread.
    std::vector<quint8> keep(lines.size(), 0);
    if (parallel) {
        auto task =
            std::async(std::launch::async, [&] { MarkFirstOccurrences(text, lines, 1, 2, keep); });
        MarkFirstOccurrences(text, lines, 0, 2, keep);
        task.get();
    } else {
        MarkFirstOccurrences(text, lines, 0, 1, keep);
    }

    qsizetype outSize = 0;
    for (std::size_t i = 0; i < lines.size(); ++i)
        outSize += keep[i] ? lines[i].size + 2 : 0;
    QString out(outSize, Qt::Uninitialized);
    QChar* to = out.data();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!keep[i])
            continue;
        std::memcpy(to, text.data() + lines[i].start, std::size_t(lines[i].size) * sizeof(QChar));
        to += lines[i].size;
        *to++ = QChar(CR);
        *to++ = QChar(LF);
    }
    return out;
}

bool IsBlankLine(QStringView line) {
    for (const QChar c : line) {
        if (c != QChar(u' '))
            return false;
    }
    return true;
}

qsizetype CountNonBlankLines(QStringView text) {
    qsizetype count = 0;
    ForEachLine(text, [&](QStringView line) {
        if (!IsBlankLine(line))
            ++count;
    });
    return count;
}

QString BeforeFilterCaption(qsizetype count) {
    return QStringLiteral("过滤前共") + QString::number(count) + QStringLiteral("行");
}

QString AfterFilterCaption(qsizetype count) {
    return QStringLiteral("过滤后共") + QString::number(count) + QStringLiteral("行");
}

namespace {
// True when every line break in the text is already a CR LF pair: then a character is a LF
// exactly when the one before it is a CR. The inner loop has no branch that depends on the data,
// so the compiler turns it into vector instructions.
bool OnlyCrLfBreaks(QStringView text) {
    const auto* p = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype n = text.size();
    if (n == 0)
        return true;
    if (p[0] == LF || p[n - 1] == CR || p[0] == 0x2029 || (p[0] | 1) == 0xFDD1)
        return false;
    constexpr qsizetype kBlock = 1 << 14;
    for (qsizetype from = 1; from < n; from += kBlock) {
        const qsizetype to = std::min(n, from + kBlock);
        quint16 bad = 0;
        for (qsizetype i = from; i < to; ++i) {
            const quint16 c = p[i];
            const quint16 lf = c == LF;
            const quint16 afterCr = p[i - 1] == CR;
            const quint16 other = (c == 0x2029) | ((c | 1) == 0xFDD1);
            bad |= quint16((lf ^ afterCr) | other);
        }
        if (bad)
            return false;
    }
    return true;
}
} // namespace

QString NormalizeLineBreaks(const QString& text) {
    if (OnlyCrLfBreaks(text))
        return text; // nothing to change: share the original
    QString out;
    const qsizetype size = text.size();
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = text[i].unicode();
        if (c != CR && c != LF && c != 0x2029 && c != 0xFDD0 && c != 0xFDD1)
            continue;
        if (c == CR && i + 1 < size && text[i + 1] == QChar(LF)) {
            ++i; // already CR LF
            continue;
        }
        if (out.isNull())
            out.reserve(size + size / 8);
        out.append(QStringView(text).sliced(runStart, i - runStart));
        out.append(u"\r\n");
        runStart = i + 1;
    }
    out.append(QStringView(text).sliced(runStart));
    return out;
}
