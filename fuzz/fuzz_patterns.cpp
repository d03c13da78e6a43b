// Key patterns, pathological ones too, on lines made to make them backtrack. The first line of
// the input is the pattern; each further line is a subject, repeated as many times as its first
// byte says (so that a short input makes a long line). The matcher runs with a small limit of
// backtracking, and wherever it decides, Qt's own matching (with its larger limits) agrees; where
// it does not decide, it says why. A key maker with the pattern never takes such a line as keyed.
#include "core/filteroptions.h"
#include "core/keys/patternmatch.h"
#include "core/linekey.h"

#include <QRegularExpressionMatch>

#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QList<QByteArray> lines = bytes.split('\n');
    const QString pattern = QString::fromUtf8(lines.front());
    if (!PatternError(pattern).isEmpty())
        return 0;
    const QRegularExpression qt(pattern, kKeyPatternOptions);
    PatternMatcher matcher(pattern, 2000);
    const int group = matcher.captureCount() > 0 ? 1 : 0;
    Check(matcher.captureCount() == qt.captureCount());
    FilterOptions options;
    options.key.source = KeyRule::Source::Pattern;
    options.key.pattern = pattern;
    LineKeyMaker keys(options);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        const int times = line.isEmpty() ? 1 : 1 + uchar(line.front()) % 64;
        const QString subject = QString::fromUtf8(line.mid(1).repeated(times));
        qsizetype start = -1;
        qsizetype length = 0;
        const PatternMatcher::Result result = matcher.match(subject, group, &start, &length);
        if (result == PatternMatcher::Result::Undecided) {
            Check(!matcher.reason().isEmpty());
            continue;
        }
        const QRegularExpressionMatch match = qt.match(subject);
        Check(match.hasMatch() == (result == PatternMatcher::Result::Match));
        if (match.hasMatch()) {
            Check(match.capturedStart(group) == start);
            Check(start < 0 || match.capturedLength(group) == length);
        }
        // With the full limit the key maker decides at least as much, and an undecided line is
        // never given a key.
        bool keyless = false;
        const QStringView key = keys.key(subject, &keyless);
        Check(keys.undecided().isEmpty() || (keyless && key.isEmpty()));
    }
    return 0;
}
