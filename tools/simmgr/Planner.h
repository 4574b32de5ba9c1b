// Writes a plan of independent simulator jobs for an external job engine:
// one simulator command line per line (for GNU parallel, locally or over
// ssh) and a Slurm array script running line $SLURM_ARRAY_TASK_ID. Each job
// writes its own binary file; job j gets seed base + j.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Seeds from 1 to kMaxIndependentSeed give pairwise independent streams of
// the default generator; 0 is avoided because the simulator replaces it by
// its default seed.
constexpr int64_t kMaxIndependentSeed = (int64_t{1} << 30) - 3;

// True when seeds base … base + count - 1 are all independent.
bool SeedsAreIndependent(int64_t base, int64_t count, std::string& error);

struct PlanOptions {
    std::string simulator;
    std::vector<int> experiments;
    int jobsPerExp = 2;
    int64_t repsPerJob = 10000;
    int reportSize = 1000;
    int64_t seed = 31415;
    std::string outDir;
    bool ascii = false;           // also write each job's ASCII file (-a)
};

struct PlannedJob {
    int experiment = 0;
    int64_t seed = 0;
    int client = 0;
    std::string binFile;
    std::string asciiFile;        // empty unless PlanOptions::ascii
    std::string command;          // the shell line
};

std::vector<PlannedJob> MakePlan(const PlanOptions& options);
// Writes jobs.txt and slurm.sh into outDir (created if missing).
bool WritePlan(const PlanOptions& options, const std::vector<PlannedJob>& jobs, std::string& error);
std::string ShellQuote(const std::string& s);
