#include "ManagerClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace {

constexpr uint32_t kCpuTimeLength = 12;
constexpr unsigned char kCpuTimeMarker = 0xFE;
constexpr size_t kLengthField = 4;

}  // namespace

uint32_t ReadBigEndian32(const std::string& bytes, size_t offset) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
  return value;
}

ManagerClient::~ManagerClient() { Close(); }

bool ManagerClient::Connect(int port, int receiveBuffer) {
  Close();
  descriptor_ = ::socket(AF_INET, SOCK_STREAM, 0);
  if (descriptor_ < 0) return false;
  if (receiveBuffer > 0)
    ::setsockopt(descriptor_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (::connect(descriptor_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    Close();
    return false;
  }
  return true;
}

ManagerClient::Received ManagerClient::Receive(std::chrono::steady_clock::time_point deadline) {
  if (descriptor_ < 0) return Received::Failed;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return Received::Failed;
    pollfd watched{descriptor_, POLLIN, 0};
    const int ready = ::poll(&watched, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return Received::Failed;
    char chunk[65536];
    const ssize_t got = ::recv(descriptor_, chunk, sizeof chunk, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got == 0 || (got < 0 && errno == ECONNRESET)) return Received::Closed;
    if (got < 0) return Received::Failed;
    buffer_.append(chunk, static_cast<size_t>(got));
    return Received::Data;
  }
}

bool ManagerClient::Fill(std::chrono::steady_clock::time_point deadline) {
  return Receive(deadline) == Received::Data;
}

std::optional<std::string> ManagerClient::TakeMessage(std::string& stream) {
  if (stream.size() < kLengthField + 1) return std::nullopt;
  const uint32_t length = ReadBigEndian32(stream, 0);
  size_t total = length;
  if (length == kCpuTimeLength && static_cast<unsigned char>(stream[4]) == kCpuTimeMarker)
    total = kLengthField + kCpuTimeLength;
  if (total < kLengthField + 1 || stream.size() < total) return std::nullopt;
  std::string message = stream.substr(0, total);
  stream.erase(0, total);
  return message;
}

bool ManagerClient::IsCpuTimeMessage(const std::string& message) {
  return message.size() == kLengthField + kCpuTimeLength &&
         ReadBigEndian32(message, 0) == kCpuTimeLength &&
         static_cast<unsigned char>(message[4]) == kCpuTimeMarker;
}

bool ManagerClient::IsDataMessage(const std::string& message) {
  // Greeting and replies are 10 bytes with 0xFF or 0xFE after the length;
  // the tests run with client id 0, so a data message starts with 0.
  return !IsCpuTimeMessage(message) && message.size() >= 9 && message[4] == 0;
}

std::optional<std::string> ManagerClient::ReadMessage(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (auto message = TakeMessage(buffer_)) return message;
    if (!Fill(deadline)) return std::nullopt;
  }
}

bool ManagerClient::ReadUntilClosed(std::string& bytes, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    switch (Receive(deadline)) {
      case Received::Data:
        continue;
      case Received::Closed:
        bytes = buffer_;
        buffer_.clear();
        return true;
      case Received::Failed:
        return false;
    }
  }
}

bool ManagerClient::Send(const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t result =
        ::send(descriptor_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (result < 0 && errno == EINTR) continue;
    if (result <= 0) return false;
    sent += static_cast<size_t>(result);
  }
  return true;
}

void ManagerClient::Close(bool abortive) {
  if (descriptor_ < 0) return;
  if (abortive) {
    linger immediate{1, 0};
    ::setsockopt(descriptor_, SOL_SOCKET, SO_LINGER, &immediate, sizeof immediate);
  }
  ::close(descriptor_);
  descriptor_ = -1;
}
