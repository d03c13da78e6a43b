#include "core/linefilter.h"

#include <xxhash.h>

#include <bit>
#include <cstring>
#include <memory>
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

// An open-addressing set of lines that live elsewhere (in the text being filtered). It stores
// each line's hash and position, never a copy of the line.
class LineSet {
public:
    explicit LineSet(qsizetype expectedLines) {
        std::size_t capacity = 16;
        while (capacity < static_cast<std::size_t>(expectedLines) * 2)
            capacity *= 2;
        slots_.assign(capacity, Slot{});
        mask_ = capacity - 1;
    }

    // Adds the line unless an equal one is present; returns true when it was added.
    bool insert(QStringView line) {
        const quint64 hash = XXH3_64bits(line.data(), static_cast<std::size_t>(line.size()) * 2);
        std::size_t i = static_cast<std::size_t>(hash) & mask_;
        while (true) {
            Slot& slot = slots_[i];
            if (slot.data == nullptr) {
                if (used_ * 2 >= slots_.size()) {
                    grow();
                    return insert(line);
                }
                slot = Slot{hash, line.data(), line.size()};
                ++used_;
                return true;
            }
            if (slot.hash == hash && slot.size == line.size() &&
                std::memcmp(slot.data, line.data(), static_cast<std::size_t>(line.size()) * 2) == 0)
                return false;
            i = (i + 1) & mask_;
        }
    }

private:
    struct Slot {
        quint64 hash = 0;
        const QChar* data = nullptr; // null marks a free slot
        qsizetype size = 0;
    };

    void grow() {
        std::vector<Slot> old;
        old.swap(slots_);
        slots_.assign(old.size() * 2, Slot{});
        mask_ = slots_.size() - 1;
        for (const Slot& s : old) {
            if (s.data == nullptr)
                continue;
            std::size_t i = static_cast<std::size_t>(s.hash) & mask_;
            while (slots_[i].data != nullptr)
                i = (i + 1) & mask_;
            slots_[i] = s;
        }
    }

    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::size_t used_ = 0;
};

// An empty line needs a non-null address so that it can be told from a free slot.
const QChar kEmptyLine[1] = {QChar(u' ')};

} // namespace

QString FilterDuplicateLines(QStringView text) {
    QString out;
    if (text.isEmpty())
        return out;
    out.reserve(text.size() + 2);
    LineSet seen(text.count(QChar(LF)) + 1);
    bool first = true;
    ForEachLine(text, [&](QStringView line) {
        if (line.isEmpty()) {
            if (!first)
                return;
            line = QStringView(kEmptyLine, 0);
        }
        first = false;
        if (seen.insert(line)) {
            out.append(line);
            out.append(u"\r\n");
        }
    });
    out.squeeze();
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

QString NormalizeLineBreaks(QStringView text) {
    QString out;
    out.reserve(text.size());
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
        out.append(text.sliced(runStart, i - runStart));
        out.append(u"\r\n");
        runStart = i + 1;
    }
    if (runStart == 0)
        return text.toString();
    out.append(text.sliced(runStart));
    return out;
}
