#include "cli/stopsignals.h"

#include <QtGlobal>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {
void (*stopCallback)() = nullptr;
int wakeWriteEnd = -1;

#if defined(Q_OS_UNIX)
extern "C" void OnStopSignal(int /*signal*/) {
    const int saved = errno;
    if (stopCallback)
        stopCallback();
    if (wakeWriteEnd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeWriteEnd, &byte, 1);
    }
    errno = saved;
}
#endif
} // namespace

int InstallStopSignals(void (*onStop)()) {
    stopCallback = onStop;
#if defined(Q_OS_UNIX)
    int ends[2] = {-1, -1};
    if (::pipe(ends) == 0) {
        for (const int end : ends) {
            ::fcntl(end, F_SETFD, FD_CLOEXEC);
            ::fcntl(end, F_SETFL, ::fcntl(end, F_GETFL) | O_NONBLOCK);
        }
        wakeWriteEnd = ends[1];
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a waiting call returns instead of waiting on
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    return ends[0];
#else
    return -1;
#endif
}

ClosedHandles ReopenClosedStandardHandles() {
    ClosedHandles closed;
#if defined(Q_OS_UNIX)
    bool* flags[3] = {&closed.input, &closed.output, &closed.errors};
    for (int handle = 0; handle < 3; ++handle) {
        if (::fcntl(handle, F_GETFD) != -1 || errno != EBADF)
            continue;
        *flags[handle] = true;
        // The lowest free number is this one.
        ::open("/dev/null", handle == 0 ? O_RDONLY : O_WRONLY);
    }
#endif
    return closed;
}

bool IsTerminal(int handle) {
#if defined(Q_OS_UNIX)
    return ::isatty(handle) == 1;
#else
    Q_UNUSED(handle);
    return false;
#endif
}
