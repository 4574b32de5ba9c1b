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
};

// Reads and checks one file as block j of study experiment e: every message
// parses, the header and the messages name e's simulator experiment, the
// messages carry j's client number (j & 0xFF), and each of the expected
// variables has exactly the block's replications. A file whose experiment
// or client number disagrees is a block stored under another name. The one
// check of a block file, for the store, a run and a merge alike.
bool ReadBlockFile(const std::string& path, const BlockLayout& layout, int experiment, int64_t block,
                   int expectedVariables, BlockOutcome& out, std::string& error);

// True when a block's file and the observations its simulator sent over the
// link agree: the same variables, and for each the same count and sum.
// Otherwise `error` names the first variable that differs.
bool SameAsReceived(const BlockOutcome& file, const std::map<int, RunningStats>& received, std::string& error);

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
    // Looks block (e, j) up; Whole fills `out`, Damaged names the fault
    // found by ReadBlockFile().
    Found Lookup(const BlockLayout& layout, int experiment, int64_t block, int expectedVariables, BlockOutcome& out,
                 std::string& error) const;
    // Where a simulator writes the block until it is whole:
    // "<block file name>.part.<host>.<pid>", so that on a store shared by
    // several hosts only the writer's host may judge it stale.
    std::string TempPath(const BlockLayout& layout, int experiment, int64_t block) const;
    // The ending ".part.<host>.<pid>" that TempPath() gives this process.
    static std::string TempSuffix();
    // Makes a checked temporary file the stored block; false if the store
    // could not keep it (the temporary file is then removed).
    bool Commit(const std::string& tempPath, const BlockLayout& layout, int experiment, int64_t block,
                std::string& error) const;
    static void Discard(const std::string& tempPath);
    // Keeps a copy of the change of measure's content in the directory under
    // its CopyName() (written whole: a temporary, synced and renamed; left
    // as it is when it already holds that content) and points
    // bias.copyPath at it. The simulators get that copy, never the user's
    // file.
    bool Keep(ChangeOfMeasure& bias, std::string& error) const;

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
