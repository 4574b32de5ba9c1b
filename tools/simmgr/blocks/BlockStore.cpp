#include "simmgr/blocks/BlockStore.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "simmgr/wire/BinaryFileReader.h"

namespace fs = std::filesystem;

namespace {

const char kTempMark[] = ".part.";

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

bool ReadBlockFile(const std::string& path, int experiment, int64_t replications, int expectedVariables,
                   BlockOutcome& out, std::string& error) {
    BinaryFileData data;
    if (!ReadBinaryFile(path, expectedVariables, data, error)) return false;
    if (data.experiment != experiment) {
        error = path + ": holds experiment " + std::to_string(data.experiment) + ", not " + std::to_string(experiment);
        return false;
    }
    if (static_cast<int>(data.observations.stats.size()) != expectedVariables) {
        error = path + ": has observations of " + std::to_string(data.observations.stats.size()) + " variables, expected " +
                std::to_string(expectedVariables);
        return false;
    }
    for (const auto& [index, stats] : data.observations.stats) {
        if (stats.Count() != replications) {
            error = path + ": holds " + std::to_string(stats.Count()) + " observations of variable " +
                    std::to_string(index) + ", expected " + std::to_string(replications);
            return false;
        }
    }
    out.stats = std::move(data.observations.stats);
    out.replications = replications;
    out.contentHash = data.contentHash;
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

// Temporary files left by a manager that was killed: their process is gone,
// and what they hold was never checked.
void BlockStore::RemoveStaleTemporaries() const {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(directory, ec)) {
        const std::string name = entry.path().filename().string();
        const size_t mark = name.rfind(kTempMark);
        if (mark == std::string::npos) continue;
        const long owner = std::strtol(name.c_str() + mark + sizeof kTempMark - 1, nullptr, 10);
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
    return ReadBlockFile(path, layout.SelectionOf(experiment).simExperiment, layout.RepsOf(block), expectedVariables, out, error) ? Found::Whole
                                                                                                 : Found::Damaged;
}

std::string BlockStore::TempPath(const BlockLayout& layout, int experiment, int64_t block) const {
    return directory + "/" + layout.FileName(experiment, block) + kTempMark + std::to_string(getpid());
}

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
