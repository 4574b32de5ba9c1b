// How a study is cut into replication blocks: block j of experiment e holds
// RepsOf(j) replications, runs with seed SeedOf(e, j) and is stored under
// FileName(e, j). Every figure here is a pure function of the options, so a
// block's observations depend on nothing else (not on jobs, timing or host).
// A study experiment runs as one of the simulator's experiments (-e) with
// an optional global-variable override string (-O); both are part of its
// blocks' identity, and so is the model's identity, so that the blocks of
// two models never mix in one store.
// Invariant: blockSize >= 1, maxReps >= 1, seedStride >= 1; selections is
// empty or holds one entry per study experiment; model is a model identity
// ("<name>-<16 hex digits>") once the study is resolved.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "simmgr/blocks/ChangeOfMeasure.h"

// Seeds from 1 to kMaxIndependentSeed give pairwise independent streams of
// the default generator; 0 is avoided because the simulator replaces it by
// its default seed.
constexpr int64_t kMaxIndependentSeed = (int64_t{1} << 30) - 3;

// The longest file name a directory entry may have, in bytes.
constexpr size_t kMaxFileNameBytes = 255;

// What a block file name says about the block it holds.
struct BlockName {
    std::string model;
    int experiment = 0;
    int64_t block = 0;
    int64_t seed = 0;
    int64_t replications = 0;
    std::vector<std::string> options;   // the extra simulator options, one per argument
};

// How the simulator runs one study experiment.
struct SimSelection {
    int simExperiment = 0;    // the simulator's -e
    std::string overrides;    // the -O string ("f:ram_size:256"), empty for none
};

struct BlockLayout {
    std::string model;                 // the identity of the model the simulator runs
    int64_t baseSeed = 31415;
    int64_t blockSize = 1000;
    int64_t maxReps = 200000;          // per experiment; the last block may be short
    int seedStride = 1;                // experiments in the study
    std::vector<std::string> simArgs;  // extra simulator options, part of a block's identity
    std::vector<SimSelection> selections;  // empty: study experiment e is the simulator's -e e as it stands
    ChangeOfMeasure bias;              // -B: its content hash is part of a block's identity

    int64_t BlockCount() const { return (maxReps + blockSize - 1) / blockSize; }
    int64_t RepsOf(int64_t block) const;
    // s(e, j) = baseSeed + j * seedStride + e: blocks of one index sit side by
    // side, so adding experiments or blocks never moves an existing seed.
    int64_t SeedOf(int experiment, int64_t block) const { return baseSeed + block * seedStride + experiment; }
    uint8_t ClientOf(int64_t block) const { return static_cast<uint8_t>(block & 0xFF); }
    SimSelection SelectionOf(int experiment) const;
    // The simulator options that select study experiment e: -e and any -O.
    std::vector<std::string> SelectionArgs(int experiment) const;
    // The options that set experiment e's blocks apart, one per argument:
    // the extra options, then -e<index> where it differs from e, then
    // -O<overrides>, then "-B", <content hash> when a change of measure is
    // in use.
    std::vector<std::string> OptionWords(int experiment) const;
    // The extra options every block's simulator gets: simArgs, then
    // "-B <absolute path of the kept copy>" when a change of measure is in use.
    std::vector<std::string> SimulatorOptions() const;
    // "<model>_e<e>_b<j>_s<seed>_n<reps>[_o<options>].bin", each option word
    // percent-encoded on its own (a space in it written '+') and the words
    // joined by "%20", so that no two lists of words share a name.
    std::string FileName(int experiment, int64_t block) const;
    // True when a file of that name is one of this layout's blocks.
    bool Holds(const BlockName& name) const;
    // True when the file names of the experiments' blocks, each followed by
    // `suffix` (the temporary name's ending while a block is written), fit
    // in kMaxFileNameBytes; otherwise `error` names the longest.
    bool FileNamesFit(const std::vector<int>& experiments, const std::string& suffix, std::string& error) const;
    // True when every seed of blocks 0 … BlockCount()-1 of the experiments
    // below seedStride lies in 1 … kMaxIndependentSeed.
    bool SeedsInRange(std::string& error) const;
};

// Reads a name written by FileName back; nothing if it is not one.
std::optional<BlockName> ParseBlockFileName(const std::string& fileName);
