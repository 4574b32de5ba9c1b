#include "simmgr/plan/Planner.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>

std::string ShellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += (c == '\'') ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string PosixChecksum(const std::string& bytes) {
    uint32_t crc = 0;
    auto feed = [&crc](uint8_t byte) {
        crc ^= static_cast<uint32_t>(byte) << 24;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    };
    for (char c : bytes) feed(static_cast<uint8_t>(c));
    for (size_t length = bytes.size(); length > 0; length >>= 8) feed(static_cast<uint8_t>(length & 0xFF));
    return std::to_string(~crc) + " " + std::to_string(bytes.size());
}

namespace {

// Quotes a word only when the shell would read it otherwise.
std::string ShellWord(const std::string& s) {
    const bool plain = !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '-' || c == '.' || c == ':' || c == '_' || c == '=' || c == '/';
    });
    return plain ? s : ShellQuote(s);
}

// A shell test that fails, saying why, unless the change of measure's copy
// still holds the content planned.
std::string CopyCheck(const ChangeOfMeasure& bias) {
    const std::string copy = ShellQuote(bias.copyPath);
    return "{ test \"$(cksum < " + copy + ")\" = '" + PosixChecksum(bias.content) + "' || { echo " +
           ShellQuote(bias.copyPath + ": not the change of measure planned (hash " + bias.contentHash + ")") +
           " >&2; false; }; } && ";
}

std::string JobCommand(const PlanOptions& o, int e, int64_t j, const std::string& stem) {
    const BlockLayout& layout = o.layout;
    const std::string bin = stem + ".bin";
    const std::string part = bin + kJobPartSuffix;
    std::string sim = ShellQuote(o.simulator);
    for (const std::string& arg : layout.SelectionArgs(e)) sim += " " + ShellWord(arg);
    sim += " -s " + std::to_string(layout.SeedOf(e, j)) + " -c " + std::to_string(layout.ClientOf(j)) + " -N " +
                      std::to_string(layout.RepsOf(j)) + " -n " + std::to_string(o.reportSize) + " -b " +
                      ShellQuote(part);
    if (o.ascii) sim += " -a " + ShellQuote(stem + ".txt");
    for (const std::string& arg : layout.SimulatorOptions()) sim += " " + ShellQuote(arg);
    const std::string check = layout.bias.Active() ? CopyCheck(layout.bias) : "";
    return "test -e " + ShellQuote(bin) + " || { " + check + sim + " > " + ShellQuote(stem + ".log") +
           " 2>&1 && mv " + ShellQuote(part) + " " + ShellQuote(bin) + "; }";
}

}  // namespace

std::vector<PlannedJob> MakePlan(const PlanOptions& o) {
    std::vector<PlannedJob> jobs;
    for (int e : o.experiments) {
        for (int64_t j = 0; j < o.layout.BlockCount(); ++j) {
            PlannedJob job;
            job.experiment = e;
            job.block = j;
            const std::string name = o.layout.FileName(e, j);
            const std::string stem = o.outDir + "/" + name.substr(0, name.size() - 4);
            job.binFile = stem + ".bin";
            job.command = JobCommand(o, e, j, stem);
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
    // Clusters cap the tasks of an array (often near 1000), so each task
    // runs every n-th line; the array submitted decides n, so a cluster with
    // a lower cap, or a wish for fewer and longer tasks, needs no new plan.
    constexpr size_t kSlurmTasks = 1000;
    const size_t tasks = std::min(jobs.size(), kSlurmTasks);
    std::ofstream slurm(slurmPath, std::ios::trunc);
    slurm << "#!/bin/bash\n"
          << "# Array task k of n runs lines k, k + n, … of jobs.txt (n = " << tasks
          << " unless submitted with --array=1-N); merge the block files afterwards.\n"
          << "#SBATCH --job-name=simmgr-plan\n"
          << "#SBATCH --array=1-" << tasks << "\n"
          << "#SBATCH --ntasks=1\n"
          << "#SBATCH --output=" << o.outDir << "/slurm-%A_%a.out\n"
          << "# Every line runs even when one fails; the task fails if any did.\n"
          << "set -uo pipefail\n"
          << "failed=0\n"
          << "step=${SLURM_ARRAY_TASK_COUNT:-" << tasks << "}\n"
          << "for ((i = SLURM_ARRAY_TASK_ID - ${SLURM_ARRAY_TASK_MIN:-1} + 1; i <= " << jobs.size()
          << "; i += step)); do\n"
          << "  line=$(sed -n \"${i}p\" " << ShellQuote(jobsPath) << ")\n"
          << "  if ! bash -c \"$line\"; then\n"
          << "    echo \"line $i of jobs.txt failed\" >&2\n"
          << "    failed=1\n"
          << "  fi\n"
          << "done\n"
          << "exit $failed\n";
    slurm.flush();
    if (!slurm) {
        error = "cannot write " + slurmPath;
        return false;
    }
    chmod(slurmPath.c_str(), 0755);
    return true;
}
