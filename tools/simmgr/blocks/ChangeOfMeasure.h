// The change of measure every block of a study runs with (the simulator's
// -B file), if any. Its content is read once, when the study is resolved:
// a block's identity holds the hash of that content, not the file's path,
// so an edited file never mixes with the blocks of the old one, and the
// same file under another path or on another host matches. Simulators are
// never handed the user's file, which may change while blocks run: they get
// a copy of the content read, kept beside the blocks under its hash
// (BlockStore::Keep), and checked against that content before and after
// every use.
// Invariant: contentHash is empty (no change of measure) or 16 lowercase hex
// digits of the 64-bit FNV-1a hash of `content`, which is not empty; path is
// then the absolute path it was read from; copyPath is empty until a copy is
// kept, then absolute.
#pragma once

#include <string>

struct ChangeOfMeasure {
    std::string path;
    std::string content;
    std::string contentHash;
    std::string copyPath;

    bool Active() const { return !contentHash.empty(); }
    // The copy's file name: "bias-<content hash>.bias".
    std::string CopyName() const { return "bias-" + contentHash + ".bias"; }
    // True when the kept copy holds the content read; otherwise `error`
    // says that the copy was changed or cannot be read.
    bool CopyIntact(std::string& error) const;
};

// Reads the file named on the command line; false with a message naming
// it when it is missing, unreadable, not a regular file or empty.
bool LoadChangeOfMeasure(const std::string& file, ChangeOfMeasure& out, std::string& error);

// True when the file at `path` holds exactly `content`.
bool FileHolds(const std::string& path, const std::string& content);
