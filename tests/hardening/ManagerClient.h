// The test's stand-in for the simulation manager: one TCP connection to a
// simulator, reading its length-prefixed messages with a deadline on every
// wait so that a silent simulator fails the test instead of hanging it.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

class ManagerClient {
 public:
  ManagerClient() = default;
  ~ManagerClient();
  ManagerClient(const ManagerClient&) = delete;
  ManagerClient& operator=(const ManagerClient&) = delete;

  // Connects to the simulator on the loopback interface. A positive
  // `receiveBuffer` shrinks the socket's receive buffer first, so that a
  // manager that stops reading fills up quickly.
  bool Connect(int port, int receiveBuffer = 0);
  // The next whole message (length field included); nothing on timeout or
  // when the simulator closed the connection.
  std::optional<std::string> ReadMessage(std::chrono::milliseconds timeout);
  // Everything up to the simulator's close, as raw bytes; false on timeout.
  bool ReadUntilClosed(std::string& bytes, std::chrono::milliseconds timeout);
  bool Send(const std::string& bytes);
  // Closes the connection; `abortive` resets it the way a killed process's
  // unread connection is reset.
  void Close(bool abortive = false);

  // Splits one raw message off the front of `stream`: the CPU-time message
  // counts 12 bytes after its length field, every other message its whole
  // length. Nothing when the stream does not start with a whole message.
  static std::optional<std::string> TakeMessage(std::string& stream);
  static bool IsCpuTimeMessage(const std::string& message);
  static bool IsDataMessage(const std::string& message);

 private:
  enum class Received { Data, Closed, Failed };
  // One receive into the buffer, waiting at most until the deadline.
  Received Receive(std::chrono::steady_clock::time_point deadline);
  // Reads at least one byte into `buffer_`; false on timeout or close.
  bool Fill(std::chrono::steady_clock::time_point deadline);

  int descriptor_ = -1;
  std::string buffer_;  // received bytes not yet handed out
};

uint32_t ReadBigEndian32(const std::string& bytes, size_t offset);
