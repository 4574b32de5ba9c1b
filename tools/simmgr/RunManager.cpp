#include "simmgr/RunManager.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>

#include "simmgr/SimProcess.h"

namespace {

// The self-pipe through which signal handlers wake the poll loop.
int gWakeWrite = -1;
volatile sig_atomic_t gInterrupts = 0;

void OnInterrupt(int) {
    gInterrupts = gInterrupts + 1;
    if (gWakeWrite >= 0) {
        const char b = 'i';
        ssize_t ignored = write(gWakeWrite, &b, 1);
        (void)ignored;
    }
}

void OnChild(int) {
    if (gWakeWrite >= 0) {
        const char b = 'c';
        ssize_t ignored = write(gWakeWrite, &b, 1);
        (void)ignored;
    }
}

double Seconds(SimProcess::Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double CpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Installs the handlers for the duration of a run and restores the old
// ones afterwards.
class SignalScope {
public:
    SignalScope() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
            readFd = fds[0];
            gWakeWrite = fds[1];
        }
        gInterrupts = 0;
        struct sigaction sa {};
        sa.sa_handler = OnInterrupt;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, &oldInt);
        sigaction(SIGTERM, &sa, &oldTerm);
        sa.sa_handler = OnChild;
        sa.sa_flags = SA_NOCLDSTOP;
        sigaction(SIGCHLD, &sa, &oldChld);
    }
    ~SignalScope() {
        sigaction(SIGINT, &oldInt, nullptr);
        sigaction(SIGTERM, &oldTerm, nullptr);
        sigaction(SIGCHLD, &oldChld, nullptr);
        if (gWakeWrite >= 0) close(gWakeWrite);
        gWakeWrite = -1;
        if (readFd >= 0) close(readFd);
    }
    SignalScope(const SignalScope&) = delete;
    SignalScope& operator=(const SignalScope&) = delete;

    int ReadFd() const { return readFd; }
    void Drain() const {
        char buf[64];
        while (readFd >= 0 && read(readFd, buf, sizeof buf) > 0) {
        }
    }

private:
    int readFd = -1;
    struct sigaction oldInt {}, oldTerm {}, oldChld {};
};

SignalScope* gSignals = nullptr;

}  // namespace

// One experiment's simulators: those waiting to start, those alive, and
// what the finished ones delivered.
struct RunManager::ExperimentRun {
    int experiment = 0;
    int position = 0;                                   // index in RunOptions::experiments
    std::vector<int64_t> repsPerProcess;                // -N of each process
    size_t nextToStart = 0;                             // processes started so far
    std::vector<std::unique_ptr<SimProcess>> live;
    std::map<int, RunningStats> finishedStats;
    double finishedCpu = 0.0;
    std::vector<std::string> problems;
    bool stopping = false;                              // no more starts, quit sent
    bool ruleMet = false;
    bool finalized = false;
    bool started = false;
    bool reported = false;                              // failure already printed
    ExperimentResult result;
};

RunManager::RunManager(RunOptions opts, const StudyCatalog& cat)
    : options(std::move(opts)), catalog(cat), rule(options.goal) {
    const int64_t per = options.maxReps / options.procsPerExp;
    const int64_t extra = options.maxReps % options.procsPerExp;
    for (size_t i = 0; i < options.experiments.size(); ++i) {
        auto run = std::make_unique<ExperimentRun>();
        run->experiment = options.experiments[i];
        run->position = static_cast<int>(i);
        for (int p = 0; p < options.procsPerExp; ++p) {
            const int64_t reps = per + (p < extra ? 1 : 0);
            if (reps > 0) run->repsPerProcess.push_back(reps);
        }
        run->result.experiment = run->experiment;
        runs.push_back(std::move(run));
    }
}

RunManager::~RunManager() = default;

std::vector<std::string> RunManager::ArgsFor(const ExperimentRun& run, int, uint32_t seed, uint8_t client,
                                             int64_t reps) const {
    std::vector<std::string> args = {"-w",
                                     "-e", std::to_string(run.experiment),
                                     "-s", std::to_string(seed),
                                     "-c", std::to_string(client),
                                     "-n", std::to_string(options.reportSize),
                                     "-N", std::to_string(reps),
                                     "-p", std::to_string(options.port)};
    args.insert(args.end(), options.extraArgs.begin(), options.extraArgs.end());
    return args;
}

int RunManager::LiveProcesses() const {
    int n = 0;
    for (const auto& run : runs) n += static_cast<int>(run->live.size());
    return n;
}

bool RunManager::AllDone() const {
    return std::all_of(runs.begin(), runs.end(), [](const auto& r) { return r->finalized; });
}

void RunManager::StartPending() {
    if (interrupts > 0) return;
    for (auto& run : runs) {
        while (!run->stopping && run->nextToStart < run->repsPerProcess.size() && LiveProcesses() < options.jobs) {
            const int p = static_cast<int>(run->nextToStart++);
            const int k = run->position * options.procsPerExp + p;
            const uint32_t seed = options.seed + static_cast<uint32_t>(k);
            const uint8_t client = static_cast<uint8_t>(k & 0xFF);
            const int maxVars = catalog.variables.empty() ? 65536 : static_cast<int>(catalog.variables.size());
            auto proc = std::make_unique<SimProcess>(run->experiment, client, run->repsPerProcess[p], maxVars);
            std::string error;
            run->started = true;
            if (!proc->Start(options.simulator, ArgsFor(*run, p, seed, client, run->repsPerProcess[p]), error)) {
                run->problems.push_back("simulator " + std::to_string(p) + ": " + error);
                StopExperiment(*run);
                continue;
            }
            run->live.push_back(std::move(proc));
        }
    }
}

ExperimentResult RunManager::Snapshot(const ExperimentRun& run) const {
    ExperimentResult r = run.result;
    r.variables = run.finishedStats;
    r.simulatorCpuSeconds = run.finishedCpu;
    for (const auto& proc : run.live) {
        r.Merge(proc->stats);
        r.simulatorCpuSeconds += proc->cpuSeconds;
    }
    r.processes = static_cast<int>(run.nextToStart);
    return r;
}

void RunManager::StopExperiment(ExperimentRun& run) {
    run.stopping = true;
    for (auto& proc : run.live) {
        if (proc->phase == SimProcess::Phase::Exited) continue;
        if (proc->phase == SimProcess::Phase::Running) {
            if (!proc->quitSent && !proc->SendCommand(wire::kCmdQuit)) {
                // The link is already gone; the child's exit decides.
            }
        } else {
            proc->cancelled = true;
            proc->Signal(SIGTERM);
        }
    }
}

void RunManager::CheckStopping(ExperimentRun& run) {
    if (run.stopping || options.fixedReps) return;
    const ExperimentResult snap = Snapshot(run);
    if (rule.Met(snap, static_cast<int>(catalog.variables.size()))) {
        run.ruleMet = true;
        StopExperiment(run);
    }
}

void RunManager::Supervise(ExperimentRun& run) {
    const auto now = SimProcess::Clock::now();
    for (auto& proc : run.live) {
        SimProcess& p = *proc;
        if (p.phase == SimProcess::Phase::Connecting) p.TryConnect();
        p.Reap();
        if (p.phase == SimProcess::Phase::Exited || !p.Fault().empty()) continue;
        const double sinceStart = Seconds(now - p.started);
        const double silent = Seconds(now - p.lastTraffic);
        if (p.phase == SimProcess::Phase::Starting && sinceStart > options.startTimeout) {
            p.Abandon("never registered (no \"REGISTER:  Port: [\" line within " +
                      std::to_string(static_cast<int>(options.startTimeout)) + " s)");
        } else if ((p.phase == SimProcess::Phase::Connecting || p.phase == SimProcess::Phase::Greeting) &&
                   silent > options.connectTimeout) {
            p.Abandon(p.phase == SimProcess::Phase::Connecting
                          ? "announced port " + std::to_string(p.port) + " but refused the connection"
                          : "accepted the connection but sent no greeting");
        } else if (p.phase == SimProcess::Phase::Running) {
            if (p.quitSent && Seconds(now - p.quitTime) > options.quitGrace) {
                p.Abandon("did not stop within " + std::to_string(static_cast<int>(options.quitGrace)) +
                          " s of the quit command");
            } else if (silent > options.stallTimeout) {
                p.Abandon("sent nothing for " + std::to_string(static_cast<int>(options.stallTimeout)) + " s");
            } else if (silent > options.idleQuery && p.queriesOutstanding == 0 && p.SocketFd() >= 0) {
                p.SendCommand(wire::kCmdQuery);
            }
        }
    }
    // Collect the processes that have ended.
    for (auto it = run.live.begin(); it != run.live.end();) {
        SimProcess& p = **it;
        if (p.phase != SimProcess::Phase::Exited) {
            ++it;
            continue;
        }
        for (const auto& [index, stats] : p.stats) run.finishedStats[index].Merge(stats);
        run.finishedCpu += p.cpuSeconds;
        const std::string problem = p.ExitProblem();
        if (!problem.empty()) {
            std::string text = "simulator (pid " + std::to_string(p.pid) + ", client " +
                               std::to_string(p.clientId) + ") " + problem;
            const std::string tail = p.ErrorTail();
            if (!tail.empty()) {
                std::string indented;
                std::istringstream lines(tail);
                for (std::string line; std::getline(lines, line);) indented += "\n    " + line;
                text += "; its error stream ended with:" + indented;
            } else {
                text += "; its error stream was empty";
            }
            run.problems.push_back(text);
            StopExperiment(run);
        }
        it = run.live.erase(it);
    }
    if (!run.problems.empty() && !run.reported) {
        run.reported = true;
        ShowProgress(true);
        std::cerr << (options.progress ? "\n" : "") << "simmgr: " << catalog.ExperimentName(run.experiment)
                  << " (-e " << run.experiment << ") failed: " << run.problems.front() << std::endl;
        progressWidth = 0;
    }
    CheckStopping(run);
    Finalize(run);
}

void RunManager::Finalize(ExperimentRun& run) {
    if (run.finalized || !run.live.empty()) return;
    const bool morePending = !run.stopping && run.nextToStart < run.repsPerProcess.size();
    if (morePending && interrupts == 0) return;
    run.finalized = true;
    ExperimentResult& r = run.result;
    r = Snapshot(run);
    if (!run.problems.empty()) {
        r.status = ExperimentStatus::Failed;
        for (size_t i = 0; i < run.problems.size(); ++i) r.message += (i ? "\n" : "") + run.problems[i];
    } else if (!run.started) {
        r.status = ExperimentStatus::NotRun;
    } else if (run.ruleMet || (!options.fixedReps && rule.Met(r, static_cast<int>(catalog.variables.size())))) {
        r.status = ExperimentStatus::Converged;
    } else if (interrupts > 0) {
        r.status = ExperimentStatus::Partial;
    } else if (options.fixedReps) {
        r.status = ExperimentStatus::Finished;
    } else {
        r.status = ExperimentStatus::Capped;
    }
}

void RunManager::HandleInterrupt() {
    if (gInterrupts == interrupts) return;
    interrupts = gInterrupts;
    if (interrupts == 1) {
        std::cerr << (options.progress ? "\n" : "")
                  << "simmgr: interrupted; stopping the simulators (interrupt again to kill them)" << std::endl;
        progressWidth = 0;
        for (auto& run : runs) StopExperiment(*run);
    } else {
        for (auto& run : runs) {
            for (auto& proc : run->live) {
                proc->cancelled = true;
                proc->Signal(SIGKILL);
            }
        }
    }
}

void RunManager::PollOnce() {
    std::vector<pollfd> fds;
    std::vector<std::pair<SimProcess*, int>> owners;   // process and which stream (0 out, 1 err, 2 socket)
    fds.push_back({gSignals->ReadFd(), POLLIN, 0});
    owners.emplace_back(nullptr, -1);
    bool connecting = false;
    for (auto& run : runs) {
        for (auto& proc : run->live) {
            const int streams[3] = {proc->StdoutFd(), proc->StderrFd(), proc->SocketFd()};
            for (int s = 0; s < 3; ++s) {
                if (streams[s] < 0) continue;
                fds.push_back({streams[s], POLLIN, 0});
                owners.emplace_back(proc.get(), s);
            }
            connecting = connecting || proc->phase == SimProcess::Phase::Connecting;
        }
    }
    const int timeoutMs = connecting ? 20 : 250;
    const int n = poll(fds.data(), fds.size(), timeoutMs);
    if (n < 0 && errno != EINTR) {
        std::cerr << "simmgr: poll failed: " << std::strerror(errno) << std::endl;
        return;
    }
    if (n <= 0) return;
    if (fds[0].revents) gSignals->Drain();
    for (size_t i = 1; i < fds.size(); ++i) {
        if (!fds[i].revents) continue;
        SimProcess* proc = owners[i].first;
        switch (owners[i].second) {
            case 0: proc->ReadStdout(); break;
            case 1: proc->ReadStderr(); break;
            case 2: proc->ReadSocket(); break;
        }
    }
}

void RunManager::ShowProgress(bool force) {
    if (!options.progress) return;
    const double now = Seconds(SimProcess::Clock::now().time_since_epoch());
    if (!force && now - lastProgress < 0.25) return;
    lastProgress = now;
    int running = 0, done = 0, failed = 0;
    int64_t observations = 0;
    double widest = 0.0, cpu = 0.0;
    for (const auto& run : runs) {
        const ExperimentResult snap = run->finalized ? run->result : Snapshot(*run);
        if (run->finalized) {
            ++done;
            if (snap.status == ExperimentStatus::Failed) ++failed;
        } else if (!run->live.empty()) {
            ++running;
            widest = std::max(widest, rule.WidestRelativeHalfWidth(snap));
        }
        observations += snap.MinCount();
        cpu += snap.simulatorCpuSeconds;
    }
    char line[256];
    char widestText[32];
    if (std::isfinite(widest)) {
        std::snprintf(widestText, sizeof widestText, "%.3f", widest);
    } else {
        std::snprintf(widestText, sizeof widestText, "-");
    }
    std::snprintf(line, sizeof line,
                  "simmgr: %d running, %d/%zu done%s | %lld replications | widest rel. half-width %s | "
                  "simulator CPU %.1f s",
                  running, done, runs.size(), failed ? (" (" + std::to_string(failed) + " failed)").c_str() : "",
                  static_cast<long long>(observations), widestText, cpu);
    std::string text = line;
    const size_t width = text.size();
    if (text.size() < progressWidth) text.append(progressWidth - text.size(), ' ');
    progressWidth = width;
    std::cerr << '\r' << text << std::flush;
}

RunSummary RunManager::Run() {
    SignalScope signals;
    gSignals = &signals;
    const auto t0 = SimProcess::Clock::now();
    const double cpu0 = CpuSeconds(RUSAGE_SELF);
    const double child0 = CpuSeconds(RUSAGE_CHILDREN);

    StartPending();
    while (!AllDone()) {
        PollOnce();
        HandleInterrupt();
        for (auto& run : runs) Supervise(*run);
        StartPending();
        for (auto& run : runs) Finalize(*run);
        ShowProgress(false);
    }
    ShowProgress(true);
    if (options.progress) std::cerr << std::endl;
    gSignals = nullptr;

    RunSummary summary;
    summary.interrupted = interrupts > 0;
    summary.wallSeconds = Seconds(SimProcess::Clock::now() - t0);
    summary.managerCpuSeconds = CpuSeconds(RUSAGE_SELF) - cpu0;
    summary.childrenCpuSeconds = CpuSeconds(RUSAGE_CHILDREN) - child0;
    for (auto& run : runs) {
        summary.simulatorCpuSeconds += run->result.simulatorCpuSeconds;
        summary.results.push_back(run->result);
    }
    return summary;
}
