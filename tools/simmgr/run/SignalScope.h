// The manager's signal handling while a run is under way: SIGINT and SIGTERM
// are counted, and they and SIGCHLD wake the poll loop through a self-pipe.
// Handlers are installed with SA_RESTART, so no system call of the manager
// fails with EINTR because a child ended; the old handlers come back when
// the scope ends. One scope at a time.
#pragma once

#include <signal.h>

class SignalScope {
public:
    SignalScope();
    ~SignalScope();
    SignalScope(const SignalScope&) = delete;
    SignalScope& operator=(const SignalScope&) = delete;

    // Readable whenever a signal arrived since the last Drain().
    int ReadFd() const { return readFd; }
    void Drain() const;
    // SIGINT and SIGTERM seen since the scope began.
    int Interrupts() const;
    // SIGCHLD seen since the scope began: while it stands still, no child
    // has ended and none needs reaping.
    int ChildEvents() const;

private:
    int readFd = -1;
    struct sigaction oldInt {}, oldTerm {}, oldChld {};
};
