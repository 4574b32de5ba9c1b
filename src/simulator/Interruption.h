// Turns SIGINT and SIGTERM into a request to end the run gracefully: the
// first signal only raises a flag that the simulation loops test at their
// replication or step boundary; a second signal ends the process at once.
// Invariant: the flag is only ever set by the handler (or Request) and
// cleared by Reset; the handler does nothing that is unsafe in a signal.
#pragma once

#include <csignal>

class Interruption {
 public:
  // Installs the handler for SIGINT and SIGTERM and clears the flag.
  static void Install();
  // Puts the default dispositions back and clears the flag.
  static void Uninstall();
  // True once a first signal has arrived since Install or Reset.
  static bool Requested() { return requested != 0; }
  // Raises the flag as the first signal would (for callers that stop a run
  // on their own account, and for tests).
  static void Request() { requested = 1; }
  static void Reset() { requested = 0; }

 private:
  static void Handle(int signalNumber);

  // Set by the first signal; read by the simulation loops.
  static volatile std::sig_atomic_t requested;
};
