#include "simmgr/run/SimProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr size_t kTailBytes = 2048;
// The pause after a refused connection attempt doubles from the first to
// the longest: a simulator that announces its port just before it listens
// is reached within a millisecond or two, one that refuses for long costs
// about ten attempts a second.
constexpr std::chrono::milliseconds kFirstRetryPause{1};
constexpr std::chrono::milliseconds kLongestRetryPause{100};
const char kRegisterPrefix[] = "REGISTER:  Port: [";

void SetNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

void KeepTail(std::string& tail, const std::string& more) {
    tail += more;
    if (tail.size() > kTailBytes) tail.erase(0, tail.size() - kTailBytes);
}

// The last `lines` whole lines of a stream's tail, without the final newline.
std::string LastLines(std::string tail, int lines) {
    while (!tail.empty() && (tail.back() == '\n' || tail.back() == '\r')) tail.pop_back();
    size_t pos = tail.size();
    for (int n = 0; n < lines && pos != std::string::npos && pos > 0; ++n) pos = tail.rfind('\n', pos - 1);
    if (pos != std::string::npos && pos < tail.size()) tail.erase(0, pos + 1);
    return tail;
}

// Reads everything available from a non-blocking descriptor; false at end
// of stream or on an error other than "try again".
bool ReadAvailable(int fd, std::string& into) {
    char buf[65536];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0) {
            into.append(buf, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        return false;
    }
}

}  // namespace

SimProcess::SimProcess(int experiment, uint8_t clientId, int64_t replications, int maxVariables)
    : experiment(experiment),
      clientId(clientId),
      replications(replications),
      maxVariables(maxVariables),
      retryPause(kFirstRetryPause) {}

SimProcess::~SimProcess() {
    if (pid > 0 && !childReaped) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    CloseFd(stdoutFd);
    CloseFd(stderrFd);
    CloseFd(sockFd);
}

void SimProcess::CloseFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

bool SimProcess::Start(const std::string& program, const std::vector<std::string>& args, std::string& error) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        error = std::string("cannot create a pipe: ") + std::strerror(errno);
        return false;
    }
    if (pipe2(err, O_CLOEXEC) != 0) {
        error = std::string("cannot create a pipe: ") + std::strerror(errno);
        close(out[0]);
        close(out[1]);
        return false;
    }
    std::vector<std::string> argvStore;
    argvStore.push_back(program);
    argvStore.insert(argvStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argvStore) argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0) {
        error = std::string("cannot fork: ") + std::strerror(errno);
        for (int fd : {out[0], out[1], err[0], err[1]}) close(fd);
        return false;
    }
    if (child == 0) {
        // Own process group: a Ctrl-C at the terminal reaches only the
        // manager, which then stops its simulators by the protocol.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
        const int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0) dup2(devnull, STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        signal(SIGPIPE, SIG_DFL);
        execv(program.c_str(), argv.data());
        const std::string msg = "cannot run " + program + ": " + std::strerror(errno) + "\n";
        ssize_t ignored = write(STDERR_FILENO, msg.data(), msg.size());
        (void)ignored;
        _exit(127);
    }
    pid = child;
    close(out[1]);
    close(err[1]);
    stdoutFd = out[0];
    stderrFd = err[0];
    SetNonBlocking(stdoutFd);
    SetNonBlocking(stderrFd);
    started = lastTraffic = Clock::now();
    return true;
}

void SimProcess::ReadStdout() {
    if (stdoutFd < 0) return;
    std::string chunk;
    const bool open = ReadAvailable(stdoutFd, chunk);
    KeepTail(stdoutTail, chunk);
    if (phase == Phase::Starting) {
        stdoutPending += chunk;
        ScanStdoutLines();
    }
    if (!open) CloseFd(stdoutFd);
}

void SimProcess::ScanStdoutLines() {
    size_t start = 0;
    for (size_t nl; (nl = stdoutPending.find('\n', start)) != std::string::npos; start = nl + 1) {
        const std::string line = stdoutPending.substr(start, nl - start);
        if (line.rfind(kRegisterPrefix, 0) != 0) continue;
        const char* digits = line.c_str() + sizeof kRegisterPrefix - 1;
        char* end = nullptr;
        errno = 0;
        const long value = std::strtol(digits, &end, 10);
        if (end == digits || *end != ']' || errno != 0 || value < 1 || value > 65535) {
            SetFault("announced an unusable port in \"" + line + "\"");
            return;
        }
        port = static_cast<int>(value);
        phase = Phase::Connecting;
        lastTraffic = Clock::now();   // the connect limit counts from here
        stdoutPending.clear();
        TryConnect();
        return;
    }
    stdoutPending.erase(0, start);
    // Echo lines are short; a huge unterminated line cannot be a
    // registration, so keep only its end.
    if (stdoutPending.size() > 4096) stdoutPending.erase(0, stdoutPending.size() - 4096);
}

void SimProcess::ReadStderr() {
    if (stderrFd < 0) return;
    std::string chunk;
    const bool open = ReadAvailable(stderrFd, chunk);
    KeepTail(stderrTail, chunk);
    if (!open) CloseFd(stderrFd);
}

SimProcess::Clock::time_point SimProcess::NextConnectAttempt() const {
    const bool waiting = phase == Phase::Connecting && !connectPending && fault.empty() && !cancelled && !childReaped;
    return waiting ? nextAttempt : Clock::time_point::max();
}

void SimProcess::TryConnect() {
    if (phase != Phase::Connecting || !fault.empty() || cancelled) return;
    if (connectPending) {
        pollfd writable{sockFd, POLLOUT, 0};
        int ready;
        do {
            ready = poll(&writable, 1, 0);
        } while (ready < 0 && errno == EINTR);
        if (ready <= 0) return;
        int result = 0;
        socklen_t size = sizeof result;
        if (getsockopt(sockFd, SOL_SOCKET, SO_ERROR, &result, &size) != 0) result = errno;
        connectPending = false;
        if (result == 0) {
            Connected();
        } else {
            Refused();   // nothing was queued, so a new attempt is safe
        }
        return;
    }
    // A child gone (even if not yet reaped) has given its port up, perhaps
    // to another simulator, whose only connection this would take.
    if (Clock::now() < nextAttempt || CollectExit()) return;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        SetFault(std::string("cannot create a socket: ") + std::strerror(errno));
        return;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sockFd = fd;
    ++connectAttempts;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        Connected();
    } else if (errno == EINPROGRESS || errno == EINTR) {
        // An interrupted connect goes on in the kernel: it is finished, not
        // replaced, or the simulator would accept the abandoned one.
        connectPending = true;
    } else {
        Refused();   // not listening yet; a later call retries
    }
}

void SimProcess::Refused() {
    CloseSocket();
    nextAttempt = Clock::now() + retryPause;
    retryPause = std::min<Clock::duration>(2 * retryPause, kLongestRetryPause);
}

void SimProcess::Connected() {
    phase = Phase::Greeting;
    lastTraffic = Clock::now();
}

void SimProcess::CloseSocket() {
    CloseFd(sockFd);
    connectPending = false;
}

void SimProcess::ReadSocket() {
    if (sockFd < 0 || phase == Phase::Connecting) return;
    std::string chunk;
    const bool open = ReadAvailable(sockFd, chunk);
    if (!chunk.empty()) {
        lastTraffic = Clock::now();
        decoder.Feed(reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size());
        SimMessage msg;
        for (;;) {
            const auto status = decoder.Next(msg);
            if (status == MessageDecoder::Status::NeedMore) break;
            if (status == MessageDecoder::Status::Malformed) {
                SetFault("sent a " + decoder.Error());
                return;
            }
            HandleMessage(msg);
            if (!fault.empty()) return;
        }
    }
    if (!open) {
        if (decoder.Pending() > 0 && fault.empty())
            SetFault("closed the connection in the middle of a message (" +
                     std::to_string(decoder.Pending()) + " bytes left over)");
        CloseSocket();
    }
}

void SimProcess::HandleMessage(const SimMessage& msg) {
    if (phase == Phase::Greeting) {
        if (msg.kind != MessageKind::Reply || msg.reply.marker != wire::kMarkerReply || msg.reply.command != 1) {
            SetFault("did not open the connection with a greeting");
        } else if (msg.reply.pid != pid) {
            SetFault("greeted with process id " + std::to_string(msg.reply.pid) + ", expected " +
                     std::to_string(pid));
        } else {
            phase = Phase::Running;
            greeted = true;
        }
        return;
    }
    switch (msg.kind) {
        case MessageKind::Reply:
            if (msg.reply.pid != pid) {
                SetFault("replied with process id " + std::to_string(msg.reply.pid) + ", expected " +
                         std::to_string(pid));
            } else if (msg.reply.command == wire::kCmdQuery) {
                if (queriesOutstanding > 0) --queriesOutstanding;
            } else if (msg.reply.command == wire::kCmdQuit && quitSent) {
                quitAcknowledged = true;
            } else {
                SetFault("sent a reply to command " + std::to_string(msg.reply.command) + " it was never sent");
            }
            return;
        case MessageKind::CpuTime:
            if (msg.cpu.clientId != clientId || msg.cpu.experiment != static_cast<uint16_t>(experiment)) {
                SetFault("sent a CPU-time message for client " + std::to_string(msg.cpu.clientId) +
                         ", experiment " + std::to_string(msg.cpu.experiment));
                return;
            }
            cpuSeconds = msg.cpu.seconds;
            return;
        case MessageKind::Data: {
            const DataMessage& d = msg.data;
            if (d.clientId != clientId || d.experiment != static_cast<uint16_t>(experiment)) {
                SetFault("sent observations for client " + std::to_string(d.clientId) + ", experiment " +
                         std::to_string(d.experiment));
                return;
            }
            int unknown = 0;
            if (!received.Add(d, maxVariables, unknown))
                SetFault("sent observations of unknown variable " + std::to_string(unknown));
            return;
        }
    }
}

bool SimProcess::SendCommand(uint8_t command) {
    if (sockFd < 0 || phase == Phase::Connecting) return false;
    ssize_t n;
    do {
        n = send(sockFd, &command, 1, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n != 1) return false;
    if (command == wire::kCmdQuit) {
        quitSent = true;
        quitTime = Clock::now();
    } else if (command == wire::kCmdQuery) {
        ++queriesOutstanding;
    }
    return true;
}

void SimProcess::Signal(int sig) {
    if (pid > 0 && !childReaped) kill(pid, sig);
}

void SimProcess::SetFault(const std::string& why) {
    if (fault.empty()) {
        fault = why;
        faultTime = Clock::now();
    }
    CloseSocket();
    Signal(SIGTERM);
}

void SimProcess::Cancel(int sig) {
    if (!cancelled) faultBeforeCancel = !fault.empty();
    cancelled = true;
    Signal(sig);
}

void SimProcess::Abandon(const std::string& why) {
    SetFault(why);
    Signal(SIGKILL);
    killSent = true;
}

void SimProcess::KillIfDeaf(Clock::time_point now, double grace) {
    if (killSent || childReaped || fault.empty() || std::chrono::duration<double>(now - faultTime).count() <= grace)
        return;
    Signal(SIGKILL);
    killSent = true;
    fault += "; it ignored SIGTERM for " + std::to_string(static_cast<int>(grace)) + " s and was killed (SIGKILL)";
}

// Collects the exit status if the child has ended; true once it has.
bool SimProcess::CollectExit() {
    if (childReaped || pid <= 0) return childReaped;
    int status = 0;
    pid_t r;
    do {
        r = waitpid(pid, &status, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r != pid) return false;
    childReaped = true;
    exitedNormally = WIFEXITED(status);
    exitCode = exitedNormally ? WEXITSTATUS(status) : 0;
    termSignal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return true;
}

void SimProcess::Reap() {
    if (phase == Phase::Exited || pid <= 0 || !CollectExit()) return;
    // Everything the child wrote is in the kernel buffers now.
    if (connectPending) TryConnect();   // a short run may have been accepted, served and ended
    if (phase == Phase::Connecting) CloseSocket();
    ReadSocket();
    ReadStdout();
    ReadStderr();
    if (sockFd >= 0) {
        // A socket still open after exit (the child's copy is gone) reads
        // end-of-stream at the latest on the next call.
        return;
    }
    CloseFd(stdoutFd);
    CloseFd(stderrFd);
    phase = Phase::Exited;
}

std::string SimProcess::ErrorTail() const { return LastLines(stderrTail, 8); }

std::string SimProcess::OutputTail() const { return LastLines(stdoutTail, 4); }

std::string SimProcess::ExitProblem() const {
    if (cancelled && !faultBeforeCancel) return "";
    if (!fault.empty()) return fault;
    if (!exitedNormally) {
        const char* name = strsignal(termSignal);
        return "was killed by signal " + std::to_string(termSignal) + (name ? std::string(" (") + name + ")" : "");
    }
    if (exitCode != 0) return "exited with status " + std::to_string(exitCode);
    if (port < 0) return "exited without announcing a port";
    if (!greeted) return "exited before greeting the manager";
    if (quitSent) return "";
    if (received.replications < replications)
        return "exited after sending " + std::to_string(received.replications) + " of " +
               std::to_string(replications) + " replications";
    return "";
}
