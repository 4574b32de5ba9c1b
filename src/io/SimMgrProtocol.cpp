// The link to the simulation manager: announcing the port, accepting the
// manager's connection and greeting it, and obeying its one-byte commands
// (1 query, 2 quit, 3 hand the output over to a binary file and disconnect).
// Commands are polled only at report time, one per report.
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <vector>

#include "io/Endian.h"
#include "io/ManagerWire.h"
#include "io/TarvekSocket.h"
#include "simulator/Interruption.h"
#include "simulator/SimulatorClass.h"

namespace {

constexpr int kListenBacklog = 100;
constexpr int kHandOverTextLimit = 512;
constexpr int kHighestPort = 65535;

// A manager that takes nothing for this long is taken for gone: a blocked
// send then fails instead of holding the run for ever. The small send
// buffer makes a stalled manager show within seconds instead of after
// megabytes of queued observations.
constexpr int kManagerSendTimeoutSeconds = 10;
constexpr int kManagerSendBufferBytes = 32 * 1024;

void BoundManagerSends(TarvekSocket& socket) {
  timeval timeout{kManagerSendTimeoutSeconds, 0};
  ::setsockopt(socket.descriptor, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  const int buffer = kManagerSendBufferBytes;
  ::setsockopt(socket.descriptor, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
}

// Binds and listens on `port`; false when it is taken. The address is
// reused: each connection served on a port waits out TIME_WAIT there after
// its simulator ends, and without reuse every later simulator would walk
// past those ports, and a study of many small blocks would run out of them.
// Reuse lets two simulators bind one port while neither listens yet; only
// the first to listen keeps it, the other's listen fails and it moves on.
// The port is announced only once listened on, so it is this simulator's,
// and the manager's first connection attempt finds it ready.
bool ClaimPort(TarvekSocket& socket, int port) {
  const int on = 1;
  ::setsockopt(socket.descriptor, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  return socket.Bind(port) && socket.Listen(kListenBacklog);
}

// Greeting and replies: length 10, two code bytes, the process id. A failed
// send stops the run.
void SendReply(SimulatorClass& sim, TarvekSocket& socket, uint8_t first, uint8_t second) {
  std::vector<char> message;
  OutputManagerReply(message, first, second, static_cast<int32_t>(::getpid()));
  if (socket.SendAll(message.data(), static_cast<int>(message.size())) < 1) sim.runState = 2;
}

char* CopyText(const char* text) {
  const size_t length = std::strlen(text);
  char* copy = new char[length + 1];
  std::memcpy(copy, text, length + 1);
  return copy;
}

// The manager's connection is of no further use: close it and forget it.
void DropManager(SimulatorClass& sim) {
  delete sim.simMgrSocket;
  sim.simMgrSocket = nullptr;
}

// Command 3: "<file name>;<count>;;". The output continues into the named
// binary file unless one is already open; the manager then goes away.
void HandOverToBinaryFile(SimulatorClass& sim, TarvekSocket& socket) {
  char text[kHandOverTextLimit + 1];
  socket.RecvBlock(text, kHandOverTextLimit, ";;");
  char* separator = std::strchr(text, ';');
  const char* count = "";
  if (separator != nullptr) {
    *separator = '\0';
    count = separator + 1;
  }
  const char* name = text;
  SendReply(sim, socket, wire::kMarkerReply, wire::kCmdHandOver);

  if (sim.binFilename == nullptr) {
    if (name[0] == '\0') {
      // Without a name there is no file to create; the request is ignored
      // like one that arrives when a binary file is already set.
      std::cerr << "ERROR: No binary output file name in the hand-over from the simulation manager"
                << std::endl;
    } else {
      sim.binFilename = CopyText(name);
      sim.binFile = sim.CreateBinFile(sim.binFilename);
      sim.maxBatches = std::atoi(count);
      if (sim.binFile == nullptr) sim.runState = 2;
    }
  }
  DropManager(sim);
  // Without the manager and without a file the run would go on with its
  // observations going nowhere.
  if (sim.binFile == nullptr && sim.asciiFile == nullptr && sim.runState == 0) {
    std::cout << "No output file after the hand-over from the simulation manager... Exiting."
              << std::endl;
    sim.runState = 2;
  }
}

}  // namespace

TarvekSocket* SimulatorClass::WaitForSimMgrConnection(int timeoutMs) {
  const int firstPort = static_cast<uint16_t>(port);
  int tried = firstPort;
  for (;;) {
    delete listenSocket;
    listenSocket = new TarvekSocket(true);
    if (listenSocket->descriptor < 0) {
      runState = 2;
      return nullptr;
    }
    if (ClaimPort(*listenSocket, tried)) break;
    if (tried >= kHighestPort) {
      std::cerr << "ERROR: No free port for the simulation manager between " << firstPort << " and "
                << kHighestPort << std::endl;
      runState = 2;
      return nullptr;
    }
    ++tried;
  }
  // Port 0 lets the system choose; the manager needs the port it chose.
  if (tried == 0) tried = listenSocket->LocalPort();
  port = static_cast<int16_t>(static_cast<uint16_t>(tried));
  std::cout << "REGISTER:  Port: [" << static_cast<uint16_t>(port) << "]" << std::endl;

  auto* client = new TarvekSocket(false);
  bool connected = false;
  const int pollMs = std::max(selectTimeoutMs, 1);
  // An interruption while waiting ends the wait like the time limit.
  while (runState == 0 && !connected && !Interruption::Requested()) {
    if (timeoutMs < 1 && timeoutMs != -1) break;
    const bool limited = timeoutMs >= 1;
    if (listenSocket->Select(pollMs) && listenSocket->Accept(*client)) {
      BoundManagerSends(*client);
      SendReply(*this, *client, wire::kMarkerReply, wire::kCmdQuery);
      connected = true;
    }
    if (limited) timeoutMs -= pollMs;
  }
  if (connected) return client;
  delete client;
  return nullptr;
}

void SimulatorClass::ListenToSimMgr(TarvekSocket* socket) {
  if (socket == nullptr) return;
  if (!socket->Select(listenPollMs)) {
    if (socket->GetErrorString() != nullptr) {
      std::cout << "Error reading socket 'select'... Exiting." << std::endl;
      runState = 2;
    }
    return;
  }
  char command = 0;
  if (socket->RecvBlock(&command, 1) < 1) {
    if (socket->GetErrorString() != nullptr) {
      std::cout << "Error reading socket 'read'... Exiting." << std::endl;
    } else {
      // Readable but nothing to read: the manager has closed or reset the
      // connection, and no command will ever come.
      std::cout << "Connection to the simulation manager lost... Exiting." << std::endl;
      if (socket == simMgrSocket) DropManager(*this);
    }
    runState = 2;
    return;
  }
  switch (static_cast<unsigned char>(command)) {
    case wire::kCmdQuery:
      SendReply(*this, *socket, wire::kMarkerReply, wire::kCmdQuery);
      break;
    case wire::kCmdQuit:
      std::cout << "SOCKET::Quit" << std::endl;
      SendReply(*this, *socket, wire::kMarkerQuit, wire::kCmdQuit);
      runState = 2;
      break;
    case wire::kCmdHandOver:
      HandOverToBinaryFile(*this, *socket);
      break;
    default:
      std::cerr << "!! Invalid Response Received by Client " << std::endl;
      std::cerr << "!! Simulation" << std::endl;
      break;
  }
}
