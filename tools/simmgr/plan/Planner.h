// Writes a study's blocks as independent simulator jobs for an external job
// engine: one shell line per block (for GNU parallel, locally or over ssh)
// and a Slurm array script running line $SLURM_ARRAY_TASK_ID. Each job is
// the block `simmgr run` would compute, with the same seed and file name; it
// writes under a temporary name and renames the file once the simulator has
// succeeded, and a block already present is not run again. Under a change
// of measure a job first checks that the copy it hands the simulator still
// holds the content planned (by the POSIX cksum every host has), and fails
// without running otherwise. The output directory is then a block store for
// `simmgr merge` (or `simmgr run`).
#pragma once

#include <string>
#include <vector>

#include "simmgr/blocks/BlockLayout.h"

// What a job appends to its block file's name while the simulator writes it.
inline constexpr char kJobPartSuffix[] = ".part";

struct PlanOptions {
    std::string simulator;
    std::vector<int> experiments;
    BlockLayout layout;
    int reportSize = 1000;
    std::string outDir;
    bool ascii = false;           // also write each job's ASCII file (-a)
};

struct PlannedJob {
    int experiment = 0;
    int64_t block = 0;
    std::string binFile;
    std::string command;          // the shell line
};

// Every block up to the cap of every experiment asked for.
std::vector<PlannedJob> MakePlan(const PlanOptions& options);
// Writes jobs.txt and slurm.sh into outDir (created if missing).
bool WritePlan(const PlanOptions& options, const std::vector<PlannedJob>& jobs, std::string& error);
std::string ShellQuote(const std::string& s);
// What `cksum` prints for these bytes read from its standard input: the
// POSIX CRC, a space and the byte count.
std::string PosixChecksum(const std::string& bytes);
