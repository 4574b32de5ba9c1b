// The block files of a study: a directory in which every whole block sits
// under its BlockLayout::FileName, or a fixed list of files (merge). A block
// enters a directory only whole: the simulator writes it under a temporary
// name, and Commit() syncs it and renames it once it has been checked. A
// store made without a directory is a scratch directory removed at the end.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "simmgr/blocks/BlockLayout.h"
#include "simmgr/stats/RunningStats.h"

// The observations of one whole block, per variable index, in file order.
struct BlockOutcome {
    std::map<int, RunningStats> stats;
    int64_t replications = 0;
    int clientId = -1;           // the client number its messages carry
};

// Reads and checks one block file: the header names the experiment, every
// message parses, and each of the expected variables has exactly
// `replications` observations.
bool ReadBlockFile(const std::string& path, int experiment, int64_t replications, int expectedVariables,
                   BlockOutcome& out, std::string& error);

class BlockStore {
public:
    // A store in `directory` (created if missing); empty: a scratch store.
    // Temporaries this host left behind, whose process is gone, are removed.
    static std::optional<BlockStore> Open(const std::string& directory, std::string& error);
    // The blocks of an existing directory, only read: nothing in it is
    // created, removed or changed (a merge of someone else's results).
    static std::optional<BlockStore> ForReading(const std::string& directory, std::string& error);
    // A read-only store of the given files, found by their base names.
    static std::optional<BlockStore> OfFiles(const std::vector<std::string>& files, std::string& error);
    ~BlockStore();
    BlockStore(BlockStore&& other) noexcept;
    BlockStore& operator=(BlockStore&&) = delete;
    BlockStore(const BlockStore&) = delete;
    BlockStore& operator=(const BlockStore&) = delete;

    enum class Found { Missing, Whole, Damaged };
    // Looks block (e, j) up; Whole fills `out`, Damaged names the fault. A
    // block's bytes carry its experiment and client number (j & 0xFF), so a
    // file whose name disagrees with them is damaged: a block stored under
    // another name.
    Found Lookup(const BlockLayout& layout, int experiment, int64_t block, int expectedVariables, BlockOutcome& out,
                 std::string& error) const;
    // Where a simulator writes the block until it is whole:
    // "<block file name>.part.<host>.<pid>", so that on a store shared by
    // several hosts only the writer's host may judge it stale.
    std::string TempPath(const BlockLayout& layout, int experiment, int64_t block) const;
    // Makes a checked temporary file the stored block; false if the store
    // could not keep it (the temporary file is then removed).
    bool Commit(const std::string& tempPath, const BlockLayout& layout, int experiment, int64_t block,
                std::string& error) const;
    static void Discard(const std::string& tempPath);

    const std::string& Directory() const { return directory; }
    // The block files present (by base name) and where they are.
    std::map<std::string, std::string> Files() const;

private:
    BlockStore() = default;
    std::string PathOf(const std::string& fileName) const;
    void RemoveStaleTemporaries() const;

    std::string directory;                      // empty for a list of files
    bool persistent = false;                    // false: scratch, removed by the destructor
    std::map<std::string, std::string> files;   // base name -> path, for a list of files
};
