// The live progress line on stderr while a run is under way: redrawn in
// place at most four times a second, padded over its previous text, and
// ended by Clear() before any other message so none lands inside it.
// Disabled (every call a no-op) when stderr is not a terminal.
#pragma once

#include <cstddef>
#include <cstdint>

// What the line shows, counted by the run manager.
struct ProgressCounts {
    int running = 0;         // experiments with a simulator alive
    int blocks = 0;          // simulators alive
    int done = 0;            // experiments finalized
    int failed = 0;          // of those, failed
    size_t experiments = 0;
    int64_t counted = 0;     // replications in the counted prefixes
    double widest = 0.0;     // widest relative half-width of the running ones
    double cpuSeconds = 0.0; // simulator CPU time so far
};

class ProgressLine {
public:
    explicit ProgressLine(bool enabled) : enabled(enabled) {}

    bool Enabled() const { return enabled; }
    // Whether a redraw is due (always when forced).
    bool Due(bool force) const;
    void Show(const ProgressCounts& counts);
    // Ends the line so the next message starts on its own.
    void Clear();

private:
    bool enabled;
    double lastShown = -1.0;   // steady-clock seconds of the last redraw
    size_t width = 0;          // length of the text on screen, 0 if none
};
