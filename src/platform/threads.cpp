#include "platform/threads.h"

#include <QThread>

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

void LowerCurrentThreadPriority() {
#if defined(__linux__)
    // On Linux each thread has its own nice value, which the threads it starts inherit. Qt's
    // priorities do nothing under the ordinary scheduling policy.
    constexpr int kNice = 10;
    const auto thread = static_cast<id_t>(syscall(SYS_gettid));
    if (getpriority(PRIO_PROCESS, thread) < kNice)
        setpriority(PRIO_PROCESS, thread, kNice);
#else
    QThread::currentThread()->setPriority(QThread::LowPriority);
#endif
}
