#include "simmgr/testing/TestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

ScratchDir::ScratchDir() {
    char tmpl[] = "/tmp/simmgr-test-XXXXXX";
    const char* made = mkdtemp(tmpl);
    path = made ? made : "/tmp";
}

ScratchDir::~ScratchDir() {
    if (path.rfind("/tmp/simmgr-test-", 0) == 0) {
        const std::string cmd = "rm -rf '" + path + "'";
        if (std::system(cmd.c_str()) != 0) {
        }
    }
}

CommandResult RunShell(const std::string& command, const ScratchDir& dir) {
    const std::string out = dir / "cmd.out", err = dir / "cmd.err";
    const std::string full = "(" + command + ") >'" + out + "' 2>'" + err + "'";
    const int raw = std::system(full.c_str());
    CommandResult r;
    if (raw != -1 && WIFEXITED(raw)) r.status = WEXITSTATUS(raw);
    else if (raw != -1 && WIFSIGNALED(raw)) r.status = 128 + WTERMSIG(raw);
    r.out = ReadFile(out);
    r.err = ReadFile(err);
    return r;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string BinDir() { return SAN_TEST_BIN_DIR; }
std::string Simmgr() { return BinDir() + "/simmgr"; }
std::string FakeSim() { return BinDir() + "/simmgr_fake_sim"; }

std::string RealSim() {
    const std::string path = BinDir() + "/basic_model_sim";
    return access(path.c_str(), X_OK) == 0 ? path : std::string();
}

std::vector<CsvRow> ParseCsv(const std::string& text) {
    auto split = [](const std::string& l) {
        std::vector<std::string> f;
        std::stringstream ss(l);
        for (std::string x; std::getline(ss, x, ',');) f.push_back(x);
        if (!l.empty() && l.back() == ',') f.push_back("");
        return f;
    };
    std::vector<CsvRow> rows;
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line)) return rows;
    const std::vector<std::string> header = split(line);
    while (std::getline(in, line)) {
        const auto f = split(line);
        CsvRow r;
        for (size_t i = 0; i < header.size() && i < f.size(); ++i) r[header[i]] = f[i];
        rows.push_back(r);
    }
    return rows;
}

void AddAsciiFile(const std::string& path, int e, std::map<std::pair<int, int>, AsciiCell>& into) {
    std::istringstream in(ReadFile(path));
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        const auto comma = line.find(',');
        AsciiCell& cell = into[{e, std::stoi(line.substr(0, comma))}];
        ++cell.n;
        cell.sum += std::stod(line.substr(comma + 1));
    }
}
