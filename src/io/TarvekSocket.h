// One IPv4 TCP stream socket. Owns its descriptor (−1 when it has none) and
// closes it in Close or the destructor. Failures return false / −1, print a
// fixed message on the standard error stream and record that text as the
// error string, which is never cleared. Sends never raise SIGPIPE.
#pragma once

#include <cstdint>

class TarvekSocket {
 public:
  // With create, opens a stream socket; without, the object waits for a
  // descriptor from Accept.
  explicit TarvekSocket(bool create);
  ~TarvekSocket();
  TarvekSocket(const TarvekSocket&) = delete;
  TarvekSocket& operator=(const TarvekSocket&) = delete;

  // Once per process; there is no socket library to start on this platform.
  static void InitializeSocketLibrary();

  // Shuts the connection down both ways and closes it; −1 when there was no
  // descriptor. A second Close does nothing.
  int Close();
  // Any local address; false without a message when the port is taken.
  bool Bind(int port);
  // False without a message when another socket listens on the port (both
  // bound it with address reuse).
  bool Listen(int backlog);
  bool Accept(TarvekSocket& client);
  bool Connect(const char* host, int port);
  // True when a receive would not block within ms milliseconds.
  bool Select(int ms);
  // One send; the platform result (bytes sent, or −1).
  int Send(const char* data, int len);
  // Sends until all len bytes have gone or a send fails: len, or −1.
  int SendAll(const char* data, int len);
  // One receive; the platform result (bytes, 0 when the peer closed, −1).
  int Recv(char* buf, int len);
  // Receives until len bytes have arrived, the peer closed or a receive
  // failed; the number of bytes received.
  int RecvBlock(char* buf, int len);
  // Receives until the text ends with terminator, len bytes have arrived,
  // the peer closed or a receive failed; buf must hold len + 1 bytes and is
  // kept NUL-terminated. The number of bytes received (0 when len ≤ 0).
  int RecvBlock(char* buf, int len, const char* terminator);
  const char* GetErrorString() const { return errorString; }
  // The local port the socket is bound to, 0 when it is not bound.
  int LocalPort() const;

  int descriptor = -1;                 // −1 when there is none
  const char* errorString = nullptr;   // fixed text of the latest failure
  static bool alreadyInitialized;      // set by the first InitializeSocketLibrary

 private:
  void RecordError(const char* text) { errorString = text; }
};
