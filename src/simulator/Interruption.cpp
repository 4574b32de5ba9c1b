#include "simulator/Interruption.h"

#include <unistd.h>

#include <csignal>
#include <cstring>

volatile std::sig_atomic_t Interruption::requested = 0;

namespace {

const int kHandledSignals[] = {SIGINT, SIGTERM};

void SetDisposition(void (*handler)(int)) {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = handler;
  // Each handled signal is held back while the handler runs for the other,
  // so that a first and a second signal are told apart in arrival order.
  sigemptyset(&action.sa_mask);
  for (int signalNumber : kHandledSignals) sigaddset(&action.sa_mask, signalNumber);
  // Blocking file writes and sends resume after the first signal, so that
  // the observations being written when it arrives are written whole.
  action.sa_flags = SA_RESTART;
  for (int signalNumber : kHandledSignals) sigaction(signalNumber, &action, nullptr);
}

void WriteNote(const char* text) {
  // write() is safe in a handler; a failure to write the note changes nothing.
  ssize_t ignored = ::write(STDERR_FILENO, text, std::strlen(text));
  (void)ignored;
}

}  // namespace

void Interruption::Install() {
  requested = 0;
  SetDisposition(&Interruption::Handle);
}

void Interruption::Uninstall() {
  SetDisposition(SIG_DFL);
  requested = 0;
}

void Interruption::Handle(int signalNumber) {
  if (requested == 0) {
    requested = 1;
    WriteNote("Interrupted: the run ends after the current replication or batch\n");
    return;
  }
  // A second signal: the caller wants the process gone now, with the
  // status the signal itself gives.
  WriteNote("Interrupted again: ending at once\n");
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signalNumber, &action, nullptr);
  ::raise(signalNumber);
}
