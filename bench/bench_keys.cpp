// Times the key of a line under each kind of key rule, in nanoseconds per line, over 1,000,000
// generated records (or the count given) written as tab-separated and as CSV lines:
//   build/bench/bench_keys [lines]
// Each figure is the best of three runs.
#include "core/filteroptions.h"
#include "textgen.h"

#include <QRandomGenerator>

#include <cstdio>
#include <vector>

namespace {

struct Lines {
    QString text;
    std::vector<QStringView> lines;
};

// Records of an id, a name, a phone number written several ways and a note; the names and notes
// of the CSV lines hold commas and doubled quotes now and then.
void MakeLines(qsizetype count, Lines& tsv, Lines& csv) {
    static const char16_t* words[] = {u"alpha", u"北京", u"Müller", u"data",   u"清单",
                                      u"smith", u"東京", u"ok",     u"report", u"电话"};
    QRandomGenerator rng(19);
    auto word = [&] { return QString::fromUtf16(words[rng.bounded(10)]); };
    std::vector<std::pair<qsizetype, qsizetype>> tsvAt, csvAt;
    for (qsizetype i = 0; i < count; ++i) {
        const QString id = QString::number(rng.bounded(count / 2 + 1));
        const QString name = word() + u' ' + word();
        const int a = rng.bounded(1000), b = rng.bounded(10000);
        QString phone;
        switch (rng.bounded(3)) {
        case 0:
            phone = QStringLiteral("+1 (555) %1-%2")
                        .arg(a, 3, 10, QChar(u'0'))
                        .arg(b, 4, 10, QChar(u'0'));
            break;
        case 1:
            phone =
                QStringLiteral("555 %1 %2").arg(a, 3, 10, QChar(u'0')).arg(b, 4, 10, QChar(u'0'));
            break;
        default:
            phone = QStringLiteral("\u200e555-%1-%2")
                        .arg(a, 3, 10, QChar(u'0'))
                        .arg(b, 4, 10, QChar(u'0'));
        }
        const QString note = word() + QStringLiteral(" note ") + word();
        const qsizetype t = tsv.text.size();
        tsv.text += id + u'\t' + name + u'\t' + phone + u'\t' + note;
        tsvAt.emplace_back(t, tsv.text.size() - t);
        tsv.text += QStringLiteral("\r\n");
        const qsizetype c = csv.text.size();
        const bool quoted = rng.bounded(4) == 0;
        csv.text += id + QStringLiteral(",\"") + name +
                    (quoted ? QStringLiteral(", \"\"jr\"\"") : QString()) + QStringLiteral("\",") +
                    phone + QStringLiteral(",\"") + note + QStringLiteral("\"");
        csvAt.emplace_back(c, csv.text.size() - c);
        csv.text += QStringLiteral("\r\n");
    }
    for (const auto& [at, size] : tsvAt)
        tsv.lines.push_back(QStringView(tsv.text).sliced(at, size));
    for (const auto& [at, size] : csvAt)
        csv.lines.push_back(QStringView(csv.text).sliced(at, size));
}

FilterOptions Columns(Separator::Kind kind, std::vector<int> columns) {
    FilterOptions o;
    o.key.source = KeyRule::Source::Columns;
    o.key.separator.kind = kind;
    o.key.columns = std::move(columns);
    return o;
}

void Measure(const char* what, const Lines& lines, const FilterOptions& options) {
    LineKeyMaker maker(options);
    double best = 0;
    qsizetype keyless = 0;
    quint64 sum = 0;
    for (int run = 0; run < 3; ++run) {
        keyless = 0;
        sum = 0;
        const double ms = TimeMs([&] {
            for (const QStringView line : lines.lines) {
                bool none = false;
                const QStringView key = maker.key(line, &none);
                keyless += none;
                sum += quint64(key.size()) + (key.isEmpty() ? 0u : key.back().unicode());
            }
        });
        best = run == 0 ? ms : std::min(best, ms);
    }
    std::printf("%-44s %7.1f ns/line  (keyless %lld, check %llu)\n", what,
                best * 1e6 / double(lines.lines.size()), static_cast<long long>(keyless),
                static_cast<unsigned long long>(sum));
}

} // namespace

int main(int argc, char** argv) {
    const qsizetype count = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
    Lines tsv, csv;
    MakeLines(count, tsv, csv);
    std::printf("%lld lines: %.1f MB of TSV, %.1f MB of CSV as UTF-16\n",
                static_cast<long long>(count), double(tsv.text.size()) * 2 / 1e6,
                double(csv.text.size()) * 2 / 1e6);

    Measure("whole line (default)", tsv, FilterOptions{});
    FilterOptions all;
    all.trim = all.ignoreCase = all.ignoreWidth = true;
    Measure("whole line, trim + case + width", tsv, all);
    Measure("tab, column 2", tsv, Columns(Separator::Kind::Character, {2}));
    Measure("tab, column 4", tsv, Columns(Separator::Kind::Character, {4}));
    Measure("tab, columns 1,4", tsv, Columns(Separator::Kind::Character, {1, 4}));
    Measure("space, column 3", tsv, Columns(Separator::Kind::Space, {3}));
    Measure("csv, column 2 (quoted, a quarter doubled)", csv, Columns(Separator::Kind::Csv, {2}));
    Measure("csv, column 3 (after a quoted column)", csv, Columns(Separator::Kind::Csv, {3}));
    FilterOptions phone = Columns(Separator::Kind::Csv, {3});
    phone.key.digitsOnly = true;
    Measure("csv, column 3, digits only", csv, phone);
    FilterOptions digits;
    digits.key.digitsOnly = true;
    Measure("whole line, digits only", tsv, digits);
    FilterOptions clean;
    clean.key.ignoreSpaces = clean.key.ignorePunct = clean.key.ignoreInvisible = true;
    Measure("whole line, no spaces, punctuation, invisible", tsv, clean);
    FilterOptions pattern;
    pattern.key.source = KeyRule::Source::Pattern;
    pattern.key.pattern = QStringLiteral("(\\d{3})[- ]\\d{4}");
    Measure("pattern (\\d{3})[- ]\\d{4}", tsv, pattern);
    pattern.key.pattern = QStringLiteral("^(\\S+)");
    Measure("pattern ^(\\S+)", tsv, pattern);
    std::printf("peak memory: %.0f MiB\n", PeakMemoryMiB());
    return 0;
}
