// One launched simulator and the link to it: the child process with its
// standard output (scanned for the registration line) and error stream
// (the tails of both kept for reports), the TCP connection, the decoded
// messages and the observations gathered from it. Owns the child's
// descriptors; the destructor closes them and kills a child still running.
// A connection attempt, once under way, is only ever completed or refused:
// it is never dropped for a new one, since the simulator serves the first
// connection it accepts. No attempt is started once the child is known to
// have ended: its port may already belong to another simulator. Refused
// attempts are retried after a pause that grows, since a refusal comes back
// at once.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "simmgr/wire/Observations.h"
#include "simmgr/wire/Wire.h"

class SimProcess {
public:
    using Clock = std::chrono::steady_clock;
    // The manager's descriptors a live simulator holds: its standard output,
    // its error stream and the connection.
    static constexpr int kDescriptors = 3;

    enum class Phase {
        Starting,      // launched, registration line not seen yet
        Connecting,    // port known, connection not yet accepted
        Greeting,      // connected, greeting not yet received
        Running,       // greeted; observations flow
        Exited,        // child reaped and all its output read
    };

    SimProcess(int experiment, uint8_t clientId, int64_t replications, int maxVariables);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Forks and executes the simulator; false (with error) if that fails.
    bool Start(const std::string& program, const std::vector<std::string>& args, std::string& error);

    // Reads what is available; called when poll() reports the descriptor.
    void ReadStdout();
    void ReadStderr();
    void ReadSocket();
    // Advances the connection while Connecting: starts a non-blocking
    // attempt once the pause after a refusal is over and the child still
    // lives, or completes the one under way once its socket is writable. A
    // refused attempt (a simulator may announce its port just before it
    // listens) is retried on a later call.
    void TryConnect();
    // True while a connection attempt is under way (poll the socket for
    // writability).
    bool ConnectInProgress() const { return connectPending; }
    // When TryConnect may next start an attempt; Clock::time_point::max()
    // when it will start none (one is under way, or the link is given up).
    Clock::time_point NextConnectAttempt() const;
    bool SendCommand(uint8_t command);
    void Signal(int sig);
    // The manager stops a child it no longer needs with `sig`: whatever goes
    // wrong with it from then on is the manager's doing, not the child's.
    void Cancel(int sig);
    bool Cancelled() const { return cancelled; }
    // Gives up on the child: records why, drops the link and kills it.
    void Abandon(const std::string& why);
    // A faulted child was sent SIGTERM; one still alive `grace` seconds
    // later ignores it and is killed, and its fault says so.
    void KillIfDeaf(Clock::time_point now, double grace);
    // Collects the child's exit status without waiting; once it has exited,
    // drains its remaining output and moves to Exited.
    void Reap();
    bool ChildReaped() const { return childReaped; }

    // Descriptors to poll, -1 when closed.
    int StdoutFd() const { return stdoutFd; }
    int StderrFd() const { return stderrFd; }
    int SocketFd() const { return sockFd; }

    // The last lines of the child's error stream and of its standard
    // output, for failure messages.
    std::string ErrorTail() const;
    std::string OutputTail() const;
    // Why the link was judged broken (malformed message, bad greeting, …);
    // empty while all is well.
    const std::string& Fault() const { return fault; }
    // After Exited: a one-line account of how the child ended, empty if it
    // ended as a simulator stopped by quit or by its replication cap should,
    // or was cancelled before it was found at fault.
    std::string ExitProblem() const;

    // Identity and launch settings.
    const int experiment;
    const uint8_t clientId;
    const int64_t replications;        // -N given to the child
    const int maxVariables;            // highest variable index + 1 accepted
    pid_t pid = -1;

    // Progress of the link.
    Phase phase = Phase::Starting;
    int port = -1;
    bool greeted = false;
    bool quitSent = false;
    bool quitAcknowledged = false;
    int queriesOutstanding = 0;
    int connectAttempts = 0;           // connections tried to the announced port
    Clock::time_point started;
    Clock::time_point lastTraffic;     // last progress of the link: launch, registration, connection, a byte received
    Clock::time_point quitTime;

    // What it delivered.
    Observations received;
    double cpuSeconds = 0.0;

    // How it ended (valid in Exited).
    bool exitedNormally = false;       // exited (not killed by a signal)
    int exitCode = 0;
    int termSignal = 0;

private:
    void HandleMessage(const SimMessage& msg);
    void SetFault(const std::string& why);
    void ScanStdoutLines();
    void CloseSocket();
    void Connected();
    void Refused();
    bool CollectExit();
    static void CloseFd(int& fd);

    int stdoutFd = -1;
    int stderrFd = -1;
    int sockFd = -1;
    bool childReaped = false;
    bool connectPending = false;       // sockFd holds an attempt not yet complete
    Clock::time_point nextAttempt;     // no new attempt before this
    Clock::duration retryPause;        // the pause after the next refusal
    bool cancelled = false;            // stopped by the manager (Cancel)
    bool faultBeforeCancel = false;    // it was at fault before it was cancelled
    std::string stdoutPending;         // partial line of standard output
    std::string stdoutTail;            // at most kTailBytes of standard output
    std::string stderrTail;            // at most kTailBytes of the error stream
    std::string fault;
    Clock::time_point faultTime;       // when the fault was recorded and SIGTERM sent
    bool killSent = false;
    MessageDecoder decoder;
};
