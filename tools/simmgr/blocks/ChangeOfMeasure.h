// The change of measure every block of a study runs with (the simulator's
// -B file), if any. The simulator is given the file's absolute path; a
// block's identity holds only the hash of the file's content, so an edited
// file never mixes with the blocks of the old one, and the same file under
// another path or on another host matches.
// Invariant: path is empty (no change of measure) or absolute, and then
// contentHash is 16 lowercase hex digits of the content read from it.
#pragma once

#include <string>

struct ChangeOfMeasure {
    std::string path;
    std::string contentHash;

    bool Active() const { return !path.empty(); }
};

// Reads the file named on the command line; false with a message naming
// it when it is missing, unreadable, not a regular file or empty.
bool LoadChangeOfMeasure(const std::string& file, ChangeOfMeasure& out, std::string& error);
