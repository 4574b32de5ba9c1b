#include "simmgr/run/RunManager.h"

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "simmgr/blocks/BlockLedger.h"
#include "simmgr/results/LedgerResult.h"
#include "simmgr/run/BlockScheduler.h"
#include "simmgr/run/SignalScope.h"
#include "simmgr/run/SimProcess.h"
#include "simmgr/run/Watchdog.h"

namespace {

double Seconds(SimProcess::Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The simulator takes a separate argument that begins with '-' for an
// option, never for a parameter; an absolute path never does.
std::string AbsolutePath(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.string();
}

double CpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::string Indented(const std::string& text) {
    std::string out;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) out += "\n    " + line;
    return out;
}

// The manager's own descriptors besides its simulators': standard streams,
// the signal pipe, a simulator's pipes while it is launched, block and
// output files, with room to spare.
constexpr int kManagerDescriptors = 32;

// How a simulator ended badly, with what it last said on both streams.
std::string DescribeProblem(const SimProcess& p, const std::string& problem) {
    std::string text = "simulator (pid " + std::to_string(p.pid) + ", client " + std::to_string(p.clientId) + ") " +
                       problem;
    const std::string err = p.ErrorTail();
    text += err.empty() ? "; its error stream was empty" : "; its error stream ended with:" + Indented(err);
    const std::string out = p.OutputTail();
    if (!out.empty()) text += "\n  its output ended with:" + Indented(out);
    return text;
}

}  // namespace

bool ReserveDescriptors(int jobs, std::string& error) {
    const rlim_t needed = static_cast<rlim_t>(SimProcess::kDescriptors) * static_cast<rlim_t>(jobs) + kManagerDescriptors;
    rlimit limit{};
    // RLIM_INFINITY is the largest value, so it passes every comparison.
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= needed) return true;
    const rlim_t allowed = std::min(needed, limit.rlim_max);
    limit.rlim_cur = allowed;
    if (allowed == needed && setrlimit(RLIMIT_NOFILE, &limit) == 0) return true;
    error = "--jobs " + std::to_string(jobs) + " needs " + std::to_string(needed) +
            " open descriptors, but the limit allows " + std::to_string(allowed) +
            " (raise it with ulimit -n, or ask for fewer jobs)";
    return false;
}

// One block being computed: its simulator and the temporary file it writes.
struct RunManager::BlockJob {
    int64_t block = 0;
    std::string tempPath;
    std::unique_ptr<SimProcess> proc;
};

// One experiment: its ledger of blocks, the blocks in flight, and how it ended.
struct RunManager::ExperimentRun {
    ExperimentRun(int e, const BlockLayout& layout, const StoppingRule* rule, int variables)
        : experiment(e), ledger(layout.BlockCount(), layout.blockSize, rule, variables) {}

    int experiment;
    BlockLedger ledger;
    int64_t nextBlock = 0;                              // blocks are taken in index order
    std::vector<BlockJob> live;
    std::vector<std::pair<int64_t, int64_t>> computed;  // whole blocks computed here: (block, replications)
    int64_t reused = 0, reusedReps = 0;                 // blocks taken from the store
    int64_t launched = 0, repsReceived = 0;
    double cpuSeconds = 0.0;
    std::vector<std::string> problems;
    bool stopping = false;                              // no more starts, quit sent
    bool finalized = false;
    bool started = false;
    bool reported = false;                              // failure already printed
    ExperimentResult result;
};

RunManager::RunManager(RunOptions opts, const StudyCatalog& cat, const BlockStore& blockStore)
    : options(std::move(opts)),
      catalog(cat),
      store(blockStore),
      rule(options.goal),
      variables(static_cast<int>(cat.variables.size())),
      progress(options.progress) {
    for (int e : options.experiments) {
        runs.push_back(std::make_unique<ExperimentRun>(e, options.layout, options.fixedReps ? nullptr : &rule,
                                                       variables));
        runs.back()->result.experiment = e;
    }
}

RunManager::~RunManager() = default;

std::vector<std::string> RunManager::ArgsFor(const ExperimentRun& run, int64_t block, const std::string& binFile) const {
    const BlockLayout& layout = options.layout;
    std::vector<std::string> args = {"-w"};
    const std::vector<std::string> selection = layout.SelectionArgs(run.experiment);
    args.insert(args.end(), selection.begin(), selection.end());
    args.insert(args.end(), {"-s", std::to_string(layout.SeedOf(run.experiment, block)),
                             "-c", std::to_string(layout.ClientOf(block)),
                             "-n", std::to_string(options.reportSize),
                             "-N", std::to_string(layout.RepsOf(block)),
                             "-p", std::to_string(options.port),
                             "-b", AbsolutePath(binFile)});
    const std::vector<std::string> extra = layout.SimulatorOptions();
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

// A block runs the change of measure its name holds: the copy handed to its
// simulator must hold that content when it starts and when it has ended.
bool RunManager::CopyIntact(std::string& error) const {
    return !options.layout.bias.Active() || options.layout.bias.CopyIntact(error);
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
    while (LiveProcesses() < options.jobs) {
        std::vector<ExperimentLoad> loads;
        for (const auto& run : runs) {
            loads.push_back({!run->stopping && !run->ledger.Decided(), run->nextBlock, run->ledger.PrefixBlocks(),
                             run->ledger.BlockCount(), run->ledger.EstimatedBlocks()});
        }
        const int pick = PickExperiment(loads, options.jobs);
        if (pick < 0) return;
        ExperimentRun& run = *runs[static_cast<size_t>(pick)];
        const int64_t block = run.nextBlock++;
        run.started = true;
        if (!TakeStored(run, block)) Launch(run, block);
    }
}

bool RunManager::TakeStored(ExperimentRun& run, int64_t block) {
    BlockOutcome outcome;
    std::string why;
    switch (store.Lookup(options.layout, run.experiment, block, variables, outcome, why)) {
        case BlockStore::Found::Missing:
            return false;
        case BlockStore::Found::Damaged:
            progress.Clear();
            std::cerr << "simmgr: warning: stored block " << why << "; computing it again" << std::endl;
            return false;
        case BlockStore::Found::Whole:
            break;
    }
    ++run.reused;
    run.reusedReps += outcome.replications;
    RecordBlock(run, block, outcome);
    return true;
}

void RunManager::Launch(ExperimentRun& run, int64_t block) {
    BlockJob job;
    job.block = block;
    job.tempPath = store.TempPath(options.layout, run.experiment, block);
    BlockStore::Discard(job.tempPath);
    job.proc = std::make_unique<SimProcess>(options.layout.SelectionOf(run.experiment).simExperiment,
                                            options.layout.ClientOf(block),
                                            options.layout.RepsOf(block), std::max(variables, 1));
    std::string error;
    if (!CopyIntact(error) || !job.proc->Start(options.simulator, ArgsFor(run, block, job.tempPath), error)) {
        Fail(run, "block " + std::to_string(block) + ": " + error);
        return;
    }
    ++run.launched;
    run.live.push_back(std::move(job));
}

void RunManager::RecordBlock(ExperimentRun& run, int64_t block, const BlockOutcome& outcome) {
    run.ledger.Record(block, outcome);
    if (run.ledger.Decided()) StopExperiment(run);
}

void RunManager::Fail(ExperimentRun& run, const std::string& problem) {
    run.problems.push_back(problem);
    StopExperiment(run);
}

void RunManager::StopExperiment(ExperimentRun& run) {
    run.stopping = true;
    for (auto& job : run.live) {
        SimProcess& p = *job.proc;
        if (p.phase == SimProcess::Phase::Exited) continue;
        if (p.phase == SimProcess::Phase::Running) {
            // A link already gone leaves the decision to the child's exit.
            if (!p.quitSent) p.SendCommand(wire::kCmdQuit);
        } else {
            p.Cancel(SIGTERM);
        }
    }
}

void RunManager::FinishBlock(ExperimentRun& run, BlockJob& job) {
    SimProcess& p = *job.proc;
    run.cpuSeconds += p.cpuSeconds;
    run.repsReceived += p.received.replications;
    const std::string problem = p.ExitProblem();
    if (!problem.empty()) {
        BlockStore::Discard(job.tempPath);
        Fail(run, DescribeProblem(p, problem));
        return;
    }
    const bool stoppedEarly = (p.quitSent || p.Cancelled()) && p.received.replications < p.replications;
    BlockOutcome outcome;
    std::string why;
    if (stoppedEarly || !ReadBlockFile(job.tempPath, options.layout, run.experiment, job.block, variables, outcome, why)) {
        BlockStore::Discard(job.tempPath);
        if (!stoppedEarly) Fail(run, DescribeProblem(p, "left an unusable block file: " + why));
        return;
    }
    // The file is what the store keeps and a merge reads; the link is what
    // the simulator reported. A block whose two copies differ is neither.
    if (!SameAsReceived(outcome, p.received.stats, why)) {
        BlockStore::Discard(job.tempPath);
        Fail(run, DescribeProblem(p, "wrote a block file that differs from what it sent: " + why));
        return;
    }
    if (!CopyIntact(why)) {
        BlockStore::Discard(job.tempPath);
        Fail(run, "block " + std::to_string(job.block) + ": " + why);
        return;
    }
    if (!store.Commit(job.tempPath, options.layout, run.experiment, job.block, why) && !storeWarned) {
        storeWarned = true;
        progress.Clear();
        std::cerr << "simmgr: warning: " << why << " (the block counts in this run but is not kept)" << std::endl;
    }
    run.computed.emplace_back(job.block, outcome.replications);
    RecordBlock(run, job.block, outcome);
}

// childEnded: a SIGCHLD came since the last pass, so some child may be
// waiting to be reaped.
void RunManager::Supervise(ExperimentRun& run, bool childEnded) {
    const auto now = SimProcess::Clock::now();
    for (auto& job : run.live) {
        SimProcess& p = *job.proc;
        // Reaped first: a child that has ended is never connected to.
        if (childEnded || p.ChildReaped()) p.Reap();
        if (p.phase == SimProcess::Phase::Connecting) p.TryConnect();
        if (p.phase == SimProcess::Phase::Exited) continue;
        if (!p.Fault().empty()) {
            p.KillIfDeaf(now, options.watchdog.quitGrace);
            continue;
        }
        Watch(p, options.watchdog, now);
    }
    for (size_t i = 0; i < run.live.size();) {
        if (run.live[i].proc->phase != SimProcess::Phase::Exited) {
            ++i;
            continue;
        }
        BlockJob job = std::move(run.live[i]);
        run.live.erase(run.live.begin() + static_cast<std::ptrdiff_t>(i));
        FinishBlock(run, job);
    }
    if (!run.problems.empty() && !run.reported) {
        run.reported = true;
        progress.Clear();
        std::cerr << "simmgr: " << catalog.Heading(run.experiment) << " failed: " << run.problems.front() << std::endl;
    }
    Finalize(run);
}

void RunManager::Finalize(ExperimentRun& run) {
    if (run.finalized || !run.live.empty()) return;
    const bool decided = run.ledger.Decided();
    if (!decided && run.problems.empty() && interrupts == 0) return;
    run.finalized = true;
    ExperimentResult& r = run.result;
    FillFromLedger(run.ledger, options.layout.blockSize,
                   run.started ? ExperimentStatus::Partial : ExperimentStatus::NotRun, r);
    r.simulatorCpuSeconds = run.cpuSeconds;
    if (!run.problems.empty()) {
        r.status = ExperimentStatus::Failed;
        for (size_t i = 0; i < run.problems.size(); ++i) r.message += (i ? "\n" : "") + run.problems[i];
    }
}

void RunManager::HandleInterrupt(const SignalScope& signals) {
    if (signals.Interrupts() == interrupts) return;
    interrupts = signals.Interrupts();
    if (interrupts == 1) {
        progress.Clear();
        std::cerr << "simmgr: interrupted; stopping the simulators (interrupt again to kill them)" << std::endl;
        for (auto& run : runs) StopExperiment(*run);
    } else {
        for (auto& run : runs) {
            for (auto& job : run->live) job.proc->Cancel(SIGKILL);
        }
    }
}

void RunManager::PollOnce(const SignalScope& signals) {
    enum Stream { kOut, kErr, kSocket };
    std::vector<pollfd> fds;
    std::vector<std::pair<SimProcess*, Stream>> owners;
    fds.push_back({signals.ReadFd(), POLLIN, 0});
    owners.emplace_back(nullptr, kOut);
    // A refused connection is retried once its pause is over.
    auto wake = SimProcess::Clock::now() + std::chrono::milliseconds(250);
    for (auto& run : runs) {
        for (auto& job : run->live) {
            SimProcess& p = *job.proc;
            const int streams[3] = {p.StdoutFd(), p.StderrFd(), p.SocketFd()};
            for (int s = 0; s < 3; ++s) {
                if (streams[s] < 0) continue;
                const short events = s == kSocket && p.ConnectInProgress() ? POLLOUT : POLLIN;
                fds.push_back({streams[s], events, 0});
                owners.emplace_back(&p, static_cast<Stream>(s));
            }
            wake = std::min(wake, p.NextConnectAttempt());
        }
    }
    const auto untilWake = std::chrono::ceil<std::chrono::milliseconds>(wake - SimProcess::Clock::now());
    const int n = poll(fds.data(), fds.size(), static_cast<int>(std::max<int64_t>(untilWake.count(), 0)));
    if (n < 0 && errno != EINTR) {
        std::cerr << "simmgr: poll failed: " << std::strerror(errno) << std::endl;
        return;
    }
    if (n <= 0) return;
    if (fds[0].revents) signals.Drain();
    for (size_t i = 1; i < fds.size(); ++i) {
        if (!fds[i].revents) continue;
        SimProcess* p = owners[i].first;
        switch (owners[i].second) {
            case kOut: p->ReadStdout(); break;
            case kErr: p->ReadStderr(); break;
            case kSocket:
                if (p->ConnectInProgress()) {
                    p->TryConnect();
                } else {
                    p->ReadSocket();
                }
                break;
        }
    }
}

void RunManager::ShowProgress(bool force) {
    if (!progress.Due(force)) return;
    ProgressCounts c;
    c.experiments = runs.size();
    for (const auto& run : runs) {
        if (run->finalized) {
            ++c.done;
            if (run->result.status == ExperimentStatus::Failed) ++c.failed;
        } else if (!run->live.empty()) {
            ++c.running;
            c.widest = std::max(c.widest, rule.WidestRelativeHalfWidth(run->ledger.PrefixStats()));
        }
        c.blocks += static_cast<int>(run->live.size());
        const auto& prefix = run->ledger.PrefixStats();
        if (!prefix.empty()) c.counted += prefix.begin()->second.Count();
        c.cpuSeconds += run->cpuSeconds;
    }
    progress.Show(c);
}

BlockTally RunManager::Tally() const {
    BlockTally t;
    for (const auto& run : runs) {
        const int64_t prefix = run->ledger.PrefixBlocks();
        t.blocksRun += run->launched;
        t.repsRun += run->repsReceived;
        t.blocksReused += run->reused;
        t.repsReused += run->reusedReps;
        t.blocksCounted += prefix;
        t.repsCounted += run->result.MinCount();
        int64_t computedCounted = 0, computedCountedReps = 0;
        for (const auto& [block, reps] : run->computed) {
            if (block >= prefix) continue;
            ++computedCounted;
            computedCountedReps += reps;
        }
        t.blocksRunUncounted += run->launched - computedCounted;
        t.repsRunUncounted += run->repsReceived - computedCountedReps;
    }
    return t;
}

RunSummary RunManager::Run() {
    SignalScope signals;
    const auto t0 = SimProcess::Clock::now();
    const double cpu0 = CpuSeconds(RUSAGE_SELF);
    const double child0 = CpuSeconds(RUSAGE_CHILDREN);

    StartPending();
    for (auto& run : runs) Finalize(*run);
    while (!AllDone()) {
        PollOnce(signals);
        HandleInterrupt(signals);
        const bool childEnded = signals.ChildEvents() != childEvents;
        childEvents = signals.ChildEvents();
        for (auto& run : runs) Supervise(*run, childEnded);
        StartPending();
        for (auto& run : runs) Finalize(*run);
        ShowProgress(false);
    }
    ShowProgress(true);
    if (progress.Enabled()) std::cerr << std::endl;

    RunSummary summary;
    summary.interrupted = interrupts > 0;
    summary.wallSeconds = Seconds(SimProcess::Clock::now() - t0);
    summary.managerCpuSeconds = CpuSeconds(RUSAGE_SELF) - cpu0;
    summary.childrenCpuSeconds = CpuSeconds(RUSAGE_CHILDREN) - child0;
    for (auto& run : runs) summary.results.push_back(run->result);
    summary.tally = Tally();
    return summary;
}
