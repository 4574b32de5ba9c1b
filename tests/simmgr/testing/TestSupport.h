// Helpers shared by the manager's tests: a scratch directory removed at
// the end, running a shell command with its streams captured, reading files.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

struct CommandResult {
    int status = -1;      // exit status, or 128 + signal
    std::string out;
    std::string err;
};

class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& Path() const { return path; }
    std::string operator/(const std::string& name) const { return path + "/" + name; }

private:
    std::string path;
};

CommandResult RunShell(const std::string& command, const ScratchDir& dir);
std::string ReadFile(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
std::string BinDir();
std::string Simmgr();
std::string FakeSim();
// The stand-in's model identity (FAKE_SIM_MODEL unset), which begins the
// names of its blocks: FakeBlock("e0_b1_s31424_n100.bin").
constexpr const char* kFakeModel = "fake_model-43521ff3d19f0614";
inline std::string FakeBlock(const std::string& rest) { return std::string(kFakeModel) + "_" + rest; }
// The real simulator, or empty if it has not been built.
std::string RealSim();

// A CSV file as rows keyed by column name (no quoted fields).
using CsvRow = std::map<std::string, std::string>;
std::vector<CsvRow> ParseCsv(const std::string& text);

// Count and sum of one variable's observations in ASCII output files.
struct AsciiCell {
    int n = 0;
    double sum = 0.0;
};
// Adds the observations of one ASCII output file of experiment e, keyed
// by (experiment, variable index).
void AddAsciiFile(const std::string& path, int e, std::map<std::pair<int, int>, AsciiCell>& into);
