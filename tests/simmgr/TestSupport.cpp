#include "TestSupport.h"

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
