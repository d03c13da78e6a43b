#include "core/keys/patternmatch.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <QLocale>

namespace {

constexpr qsizetype kFirstStack = qsizetype(1) << 20;
// The memory the matcher without JIT may take for its backtracking, in KiB.
constexpr quint32 kHeapLimitKiB = quint32(PatternMatcher::kLargestStack >> 10);

QString ReasonOf(int code, quint32 matchLimit) {
    const QLocale c = QLocale(QLocale::Chinese, QLocale::China);
    switch (code) {
    case PCRE2_ERROR_MATCHLIMIT:
        return QStringLiteral(
                   "正则表达式在这一行上回溯的步数超过了上限（%1 步），无法判断是否匹配；"
                   "请改写得更确定些，例如避免 (a+)+ 这样的嵌套重复")
            .arg(c.toString(qulonglong(matchLimit)));
    case PCRE2_ERROR_JIT_STACKLIMIT:
    case PCRE2_ERROR_HEAPLIMIT:
    case PCRE2_ERROR_DEPTHLIMIT:
        return QStringLiteral(
                   "正则表达式在这一行上所需的内存超过了上限（%1 MB），无法判断是否匹配；"
                   "请改写得更确定些，例如避免 (a|aa)+ 这样在长行上层层回溯的重复")
            .arg(PatternMatcher::kLargestStack >> 20);
    default: {
        PCRE2_UCHAR16 text[256];
        const int n = pcre2_get_error_message(code, text, sizeof text / sizeof text[0]);
        return QStringLiteral("正则表达式无法在这一行上完成匹配：%1")
            .arg(n > 0 ? QString::fromUtf16(reinterpret_cast<const char16_t*>(text), n)
                       : QString::number(code));
    }
    }
}

} // namespace

struct PatternMatcher::Data {
    pcre2_code* code = nullptr;
    pcre2_match_data* data = nullptr;
    pcre2_match_context* context = nullptr;
    pcre2_jit_stack* stack = nullptr;
    qsizetype stackSize = 0;
    quint32 matchLimit = 0;
    QString reason;

    ~Data() {
        pcre2_jit_stack_free(stack);
        pcre2_match_context_free(context);
        pcre2_match_data_free(data);
        pcre2_code_free(code);
    }
    // A JIT stack of `size` bytes for the next matches; false when none can be had.
    bool useStack(qsizetype size) {
        pcre2_jit_stack* larger = pcre2_jit_stack_create(size_t(32) * 1024, size_t(size), nullptr);
        if (!larger)
            return false;
        pcre2_jit_stack_free(stack);
        stack = larger;
        stackSize = size;
        pcre2_jit_stack_assign(context, nullptr, stack);
        return true;
    }
};

PatternMatcher::PatternMatcher(const QString& pattern, quint32 matchLimit)
    : d_(std::make_unique<Data>()) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    d_->matchLimit = matchLimit;
    d_->code =
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.utf16()), PCRE2_SIZE(pattern.size()),
                      PCRE2_UTF | PCRE2_UCP, &error, &offset, nullptr);
    if (!d_->code)
        return;                                      // matches nothing; PatternError tells why
    pcre2_jit_compile(d_->code, PCRE2_JIT_COMPLETE); // without it, the interpreter matches
    d_->data = pcre2_match_data_create_from_pattern(d_->code, nullptr);
    d_->context = pcre2_match_context_create(nullptr);
    pcre2_set_match_limit(d_->context, matchLimit);
    pcre2_set_heap_limit(d_->context, kHeapLimitKiB);
    d_->useStack(kFirstStack);
}

PatternMatcher::~PatternMatcher() = default;

int PatternMatcher::captureCount() const {
    uint32_t count = 0;
    if (d_->code)
        pcre2_pattern_info(d_->code, PCRE2_INFO_CAPTURECOUNT, &count);
    return int(count);
}

PatternMatcher::Result PatternMatcher::match(QStringView subject, int group, qsizetype* start,
                                             qsizetype* length) {
    if (!d_->code)
        return Result::NoMatch;
    while (true) {
        const int rc =
            pcre2_match(d_->code, reinterpret_cast<PCRE2_SPTR>(subject.utf16()),
                        PCRE2_SIZE(subject.size()), 0, PCRE2_NO_UTF_CHECK, d_->data, d_->context);
        if (rc == PCRE2_ERROR_NOMATCH)
            return Result::NoMatch;
        if (rc == PCRE2_ERROR_JIT_STACKLIMIT && d_->stackSize < kLargestStack &&
            d_->useStack(std::min(d_->stackSize * 8, kLargestStack)))
            continue; // once more with room
        if (rc < 0) {
            d_->reason = ReasonOf(rc, d_->matchLimit);
            return Result::Undecided;
        }
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(d_->data);
        const PCRE2_SIZE begin =
            rc > group ? ovector[std::size_t(2) * std::size_t(group)] : PCRE2_UNSET;
        *start = begin == PCRE2_UNSET ? -1 : qsizetype(begin);
        *length = begin == PCRE2_UNSET
                      ? 0
                      : qsizetype(ovector[std::size_t(2) * std::size_t(group) + 1] - begin);
        return Result::Match;
    }
}

const QString& PatternMatcher::reason() const {
    return d_->reason;
}
