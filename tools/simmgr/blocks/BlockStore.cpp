#include "simmgr/blocks/BlockStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "simmgr/wire/BinaryFileReader.h"

namespace fs = std::filesystem;

namespace {

const char kTempMark[] = ".part.";

// This host's name as it appears in temporary file names: letters, digits
// and '-' kept, anything else (dots included) made '_', so the last '.' of
// a temporary name always separates the host from the pid.
std::string HostTag() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "unknown-host";
    std::string tag;
    for (const char* c = name; *c; ++c)
        tag += (std::isalnum(static_cast<unsigned char>(*c)) || *c == '-') ? *c : '_';
    return tag;
}

// The pid in a temporary name written by this host; 0 for another host's,
// or for a name without a host (written before names carried one).
long OwnerOnThisHost(const std::string& name, const std::string& host) {
    const size_t mark = name.rfind(kTempMark);
    if (mark == std::string::npos) return 0;
    const std::string owner = name.substr(mark + sizeof kTempMark - 1);
    const size_t dot = owner.rfind('.');
    if (dot == std::string::npos || owner.substr(0, dot) != host) return 0;
    const std::string pid = owner.substr(dot + 1);
    if (pid.empty() || pid.size() > 9 || !std::all_of(pid.begin(), pid.end(), ::isdigit)) return 0;
    return std::strtol(pid.c_str(), nullptr, 10);
}

// A sum as the shortest text that reads back as the same double.
std::string FormatSum(double sum) {
    char buf[32];
    const auto written = std::to_chars(buf, buf + sizeof buf, sum);
    return std::string(buf, written.ptr);
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Flushes a file's bytes to the disk, so that the rename that follows can
// never publish a name whose contents were lost.
bool SyncFile(const std::string& path, std::string& error) {
    int fd;
    do {
        fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    int rc;
    do {
        rc = fsync(fd);
    } while (rc != 0 && errno == EINTR);
    const int saved = errno;
    close(fd);
    if (rc != 0) {
        error = "cannot write " + path + " to the disk: " + std::strerror(saved);
        return false;
    }
    return true;
}

}  // namespace

bool ReadBlockFile(const std::string& path, const BlockLayout& layout, int experiment, int64_t block,
                   int expectedVariables, BlockOutcome& out, std::string& error) {
    BinaryFileData data;
    if (!ReadBinaryFile(path, expectedVariables, data, error)) return false;
    const int simExperiment = layout.SelectionOf(experiment).simExperiment;
    if (data.experiment != simExperiment) {
        error = path + ": holds experiment " + std::to_string(data.experiment) + ", not " + std::to_string(simExperiment);
        return false;
    }
    if (static_cast<int>(data.observations.stats.size()) != expectedVariables) {
        error = path + ": has observations of " + std::to_string(data.observations.stats.size()) + " variables, expected " +
                std::to_string(expectedVariables);
        return false;
    }
    const int64_t replications = layout.RepsOf(block);
    for (const auto& [index, stats] : data.observations.stats) {
        if (stats.Count() != replications) {
            error = path + ": holds " + std::to_string(stats.Count()) + " observations of variable " +
                    std::to_string(index) + ", expected " + std::to_string(replications);
            return false;
        }
    }
    if (data.clientId != layout.ClientOf(block)) {
        error = path + ": holds the observations of client " + std::to_string(data.clientId) + ", not " +
                std::to_string(layout.ClientOf(block)) + " (block " + std::to_string(block) +
                "): a block stored under another name";
        return false;
    }
    out.stats = std::move(data.observations.stats);
    out.replications = replications;
    return true;
}

bool SameAsReceived(const BlockOutcome& file, const std::map<int, RunningStats>& received, std::string& error) {
    auto describe = [](const RunningStats* s) {
        return s ? std::to_string(s->Count()) + " observations summing to " + FormatSum(s->Sum()) : "no observations";
    };
    for (const auto& [index, stats] : file.stats) {
        const auto sent = received.find(index);
        const RunningStats* other = sent == received.end() ? nullptr : &sent->second;
        if (other && other->Count() == stats.Count() && other->Sum() == stats.Sum()) continue;
        error = "variable " + std::to_string(index) + ": " + describe(&stats) + " in the file, " + describe(other) +
                " over the link";
        return false;
    }
    for (const auto& [index, stats] : received) {
        if (file.stats.count(index)) continue;
        error = "variable " + std::to_string(index) + ": no observations in the file, " + describe(&stats) +
                " over the link";
        return false;
    }
    return true;
}

std::optional<BlockStore> BlockStore::Open(const std::string& dir, std::string& error) {
    BlockStore store;
    std::error_code ec;
    if (dir.empty()) {
        std::string tmpl = (fs::temp_directory_path(ec) / "simmgr-blocks-XXXXXX").string();
        if (mkdtemp(tmpl.data()) == nullptr) {
            error = "cannot create a scratch directory for the blocks: " + std::string(std::strerror(errno));
            return std::nullopt;
        }
        store.directory = tmpl;
        return store;
    }
    fs::create_directories(dir, ec);
    if (ec || !fs::is_directory(dir)) {
        error = "--store " + dir + ": cannot create the directory" + (ec ? ": " + ec.message() : "");
        return std::nullopt;
    }
    if (access(dir.c_str(), W_OK | X_OK) != 0) {
        error = "--store " + dir + ": the directory is not writable";
        return std::nullopt;
    }
    store.directory = dir;
    store.persistent = true;
    store.RemoveStaleTemporaries();
    return store;
}

std::optional<BlockStore> BlockStore::ForReading(const std::string& dir, std::string& error) {
    if (!fs::is_directory(dir) || access(dir.c_str(), R_OK | X_OK) != 0) {
        error = "--store " + dir + ": no such readable directory";
        return std::nullopt;
    }
    BlockStore store;
    store.directory = dir;
    store.persistent = true;
    return store;
}

std::optional<BlockStore> BlockStore::OfFiles(const std::vector<std::string>& paths, std::string& error) {
    BlockStore store;
    store.persistent = true;
    for (const std::string& path : paths) {
        const std::string name = BaseName(path);
        auto [it, fresh] = store.files.emplace(name, path);
        if (!fresh) {
            error = path + " and " + it->second + " claim the same block (" + name + ")";
            return std::nullopt;
        }
    }
    return store;
}

BlockStore::BlockStore(BlockStore&& other) noexcept
    : directory(std::move(other.directory)),
      persistent(other.persistent),
      files(std::move(other.files)) {
    other.directory.clear();
    other.persistent = true;
}

BlockStore::~BlockStore() {
    if (!persistent && !directory.empty()) {
        std::error_code ec;
        fs::remove_all(directory, ec);
    }
}

// Temporary files left by a manager of this host that was killed: their
// process is gone, and what they hold was never checked. A pid says nothing
// about processes of another host, so their temporaries are left alone.
void BlockStore::RemoveStaleTemporaries() const {
    const std::string host = HostTag();
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(directory, ec)) {
        const long owner = OwnerOnThisHost(entry.path().filename().string(), host);
        if (owner > 0 && kill(static_cast<pid_t>(owner), 0) != 0 && errno == ESRCH) fs::remove(entry.path(), ec);
    }
}

std::string BlockStore::PathOf(const std::string& fileName) const {
    if (!directory.empty()) return directory + "/" + fileName;
    const auto it = files.find(fileName);
    return it == files.end() ? std::string() : it->second;
}

BlockStore::Found BlockStore::Lookup(const BlockLayout& layout, int experiment, int64_t block, int expectedVariables,
                                     BlockOutcome& out, std::string& error) const {
    const std::string path = PathOf(layout.FileName(experiment, block));
    if (path.empty() || access(path.c_str(), F_OK) != 0) return Found::Missing;
    return ReadBlockFile(path, layout, experiment, block, expectedVariables, out, error) ? Found::Whole : Found::Damaged;
}

std::string BlockStore::TempPath(const BlockLayout& layout, int experiment, int64_t block) const {
    return directory + "/" + layout.FileName(experiment, block) + TempSuffix();
}

std::string BlockStore::TempSuffix() { return kTempMark + HostTag() + "." + std::to_string(getpid()); }

bool BlockStore::Commit(const std::string& tempPath, const BlockLayout& layout, int experiment, int64_t block,
                        std::string& error) const {
    if (!persistent) {
        // A scratch store only serves this run, and the block has been read.
        Discard(tempPath);
        return true;
    }
    const std::string finalPath = PathOf(layout.FileName(experiment, block));
    if (!SyncFile(tempPath, error)) {
        Discard(tempPath);
        return false;
    }
    if (std::rename(tempPath.c_str(), finalPath.c_str()) != 0) {
        error = "cannot store " + finalPath + ": " + std::strerror(errno);
        Discard(tempPath);
        return false;
    }
    return true;
}

void BlockStore::Discard(const std::string& tempPath) {
    if (!tempPath.empty()) unlink(tempPath.c_str());
}

bool BlockStore::Keep(ChangeOfMeasure& bias, std::string& error) const {
    std::error_code ec;
    const std::string path = (fs::absolute(directory, ec) / bias.CopyName()).lexically_normal().string();
    if (!FileHolds(path, bias.content)) {
        const std::string temp = path + TempSuffix();
        {
            std::ofstream out(temp, std::ios::binary | std::ios::trunc);
            out << bias.content;
            out.flush();
            if (!out) {
                error = "cannot write " + temp + ": " + std::strerror(errno);
                Discard(temp);
                return false;
            }
        }
        // Read-only: it is the content the blocks' names promise.
        chmod(temp.c_str(), 0444);
        if (!SyncFile(temp, error) || std::rename(temp.c_str(), path.c_str()) != 0) {
            if (error.empty()) error = "cannot store " + path + ": " + std::strerror(errno);
            Discard(temp);
            return false;
        }
    }
    bias.copyPath = path;
    return true;
}

std::map<std::string, std::string> BlockStore::Files() const {
    if (directory.empty()) return files;
    std::map<std::string, std::string> present;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(directory, ec)) {
        const std::string name = entry.path().filename().string();
        if (ParseBlockFileName(name)) present.emplace(name, entry.path().string());
    }
    return present;
}
