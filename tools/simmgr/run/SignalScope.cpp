#include "simmgr/run/SignalScope.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace {

int gWakeWrite = -1;
volatile sig_atomic_t gInterrupts = 0;
volatile sig_atomic_t gChildEvents = 0;

void Wake(char why) {
    if (gWakeWrite < 0) return;
    const int saved = errno;
    ssize_t ignored = write(gWakeWrite, &why, 1);
    (void)ignored;
    errno = saved;
}

void OnInterrupt(int) {
    gInterrupts = gInterrupts + 1;
    Wake('i');
}

void OnChild(int) {
    gChildEvents = gChildEvents + 1;
    Wake('c');
}

}  // namespace

SignalScope::SignalScope() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        readFd = fds[0];
        gWakeWrite = fds[1];
    }
    gInterrupts = 0;
    gChildEvents = 0;
    struct sigaction sa {};
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sa.sa_handler = OnInterrupt;
    sigaction(SIGINT, &sa, &oldInt);
    sigaction(SIGTERM, &sa, &oldTerm);
    sa.sa_handler = OnChild;
    sa.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    sigaction(SIGCHLD, &sa, &oldChld);
}

SignalScope::~SignalScope() {
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
    sigaction(SIGCHLD, &oldChld, nullptr);
    if (gWakeWrite >= 0) close(gWakeWrite);
    gWakeWrite = -1;
    if (readFd >= 0) close(readFd);
}

void SignalScope::Drain() const {
    char buf[64];
    for (;;) {
        const ssize_t n = read(readFd, buf, sizeof buf);
        if (n > 0 || (n < 0 && errno == EINTR)) continue;
        return;
    }
}

int SignalScope::Interrupts() const { return gInterrupts; }

int SignalScope::ChildEvents() const { return gChildEvents; }
