#include "simmgr/Planner.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>

bool SeedsAreIndependent(int64_t base, int64_t count, std::string& error) {
    if (base < 1 || base + count - 1 > kMaxIndependentSeed) {
        error = "seeds " + std::to_string(base) + " to " + std::to_string(base + count - 1) +
                " leave the range 1 to " + std::to_string(kMaxIndependentSeed) +
                " that gives independent streams";
        return false;
    }
    return true;
}

std::string ShellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += (c == '\'') ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::vector<PlannedJob> MakePlan(const PlanOptions& o) {
    std::vector<PlannedJob> jobs;
    int j = 0;
    for (int e : o.experiments) {
        for (int k = 0; k < o.jobsPerExp; ++k, ++j) {
            PlannedJob job;
            job.experiment = e;
            job.seed = o.seed + j;
            job.client = j & 0xFF;
            const std::string stem = o.outDir + "/e" + std::to_string(e) + "_j" + std::to_string(j);
            job.binFile = stem + ".bin";
            if (o.ascii) job.asciiFile = stem + ".txt";
            job.command = ShellQuote(o.simulator) + " -e " + std::to_string(e) + " -s " + std::to_string(job.seed) +
                          " -c " + std::to_string(job.client) + " -N " + std::to_string(o.repsPerJob) + " -n " +
                          std::to_string(o.reportSize) + " -b " + ShellQuote(job.binFile);
            if (o.ascii) job.command += " -a " + ShellQuote(job.asciiFile);
            job.command += " > " + ShellQuote(stem + ".log") + " 2>&1";
            jobs.push_back(std::move(job));
        }
    }
    return jobs;
}

bool WritePlan(const PlanOptions& o, const std::vector<PlannedJob>& jobs, std::string& error) {
    if (mkdir(o.outDir.c_str(), 0777) != 0 && errno != EEXIST) {
        error = "cannot create " + o.outDir + ": " + std::strerror(errno);
        return false;
    }
    const std::string jobsPath = o.outDir + "/jobs.txt";
    std::ofstream list(jobsPath, std::ios::trunc);
    for (const PlannedJob& job : jobs) list << job.command << "\n";
    list.flush();
    if (!list) {
        error = "cannot write " + jobsPath;
        return false;
    }
    const std::string slurmPath = o.outDir + "/slurm.sh";
    std::ofstream slurm(slurmPath, std::ios::trunc);
    slurm << "#!/bin/bash\n"
          << "# One array task per line of jobs.txt; merge the .bin files afterwards.\n"
          << "#SBATCH --job-name=simmgr-plan\n"
          << "#SBATCH --array=1-" << jobs.size() << "\n"
          << "#SBATCH --ntasks=1\n"
          << "#SBATCH --output=" << o.outDir << "/slurm-%A_%a.out\n"
          << "set -euo pipefail\n"
          << "line=$(sed -n \"${SLURM_ARRAY_TASK_ID}p\" " << ShellQuote(jobsPath) << ")\n"
          << "exec bash -c \"$line\"\n";
    slurm.flush();
    if (!slurm) {
        error = "cannot write " + slurmPath;
        return false;
    }
    chmod(slurmPath.c_str(), 0755);
    return true;
}
