#pragma once

#include <QString>
#include <QStringView>

#include <memory>

// A key pattern compiled for matching one line after another. It matches with PCRE2 itself, so
// that a match the engine gave up on (its limit of backtracking, of stack or of memory reached)
// is told apart from no match: such a line is undecided, never keyless. Before giving up on the
// stack, the match is tried again with a larger one, up to kLargestStack.
//
// The pattern is compiled as a key pattern is (UTF-16 with Unicode properties); it must compile
// (see PatternError). Not shared between threads: one per thread.
class PatternMatcher {
public:
    enum class Result { Match, NoMatch, Undecided };

    // How many steps of backtracking one line may take: about a tenth of a second.
    static constexpr quint32 kMatchLimit = 10'000'000;
    static constexpr qsizetype kLargestStack = qsizetype(256) << 20;

    explicit PatternMatcher(const QString& pattern, quint32 matchLimit = kMatchLimit);
    ~PatternMatcher();
    PatternMatcher(const PatternMatcher&) = delete;
    PatternMatcher& operator=(const PatternMatcher&) = delete;

    int captureCount() const;
    // Matches `subject`, well-formed UTF-16. On a match, *start and *length are those of capture
    // `group` (*start is -1 when the group took no part in the match).
    Result match(QStringView subject, int group, qsizetype* start, qsizetype* length);
    // Why the last undecided match could not be finished, in Chinese.
    const QString& reason() const;

private:
    struct Data;
    std::unique_ptr<Data> d_;
};
