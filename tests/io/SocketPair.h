// A connected pair of TarvekSockets over the loopback interface, for tests
// that need a real peer: `server` is the accepted end, `client` the
// connecting end.
#pragma once

#include <memory>

#include "io/TarvekSocket.h"

struct SocketPair {
  std::unique_ptr<TarvekSocket> listener = std::make_unique<TarvekSocket>(true);
  std::unique_ptr<TarvekSocket> server = std::make_unique<TarvekSocket>(false);
  std::unique_ptr<TarvekSocket> client = std::make_unique<TarvekSocket>(true);

  // Binds an ephemeral port, connects and accepts; false when any step fails.
  bool Open() {
    if (!listener->Bind(0) || !listener->Listen(1)) return false;
    char host[] = "127.0.0.1";
    if (!client->Connect(host, listener->LocalPort())) return false;
    return listener->Accept(*server);
  }
};
