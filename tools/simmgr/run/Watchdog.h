// The timeout policy for one simulator: how long it may take to register,
// to accept the connection and greet, to stop after a quit, and how much
// silence earns a query and then abandonment. Pure policy over a process's
// phase and clocks: it abandons or queries, never reads or reaps.
#pragma once

#include "simmgr/run/SimProcess.h"

struct WatchdogLimits {   // in seconds
    double start = 60.0;       // launch until registration line
    double connect = 20.0;     // registration until greeting
    double idleQuery = 5.0;    // silence before a query is sent
    double stall = 600.0;      // silence before giving up
    double quitGrace = 60.0;   // quit until exit
};

// Applies the limits to a live simulator at instant `now`.
void Watch(SimProcess& p, const WatchdogLimits& limits, SimProcess::Clock::time_point now);
