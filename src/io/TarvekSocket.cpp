#include "io/TarvekSocket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

bool TarvekSocket::alreadyInitialized = false;

TarvekSocket::TarvekSocket(bool create) {
  InitializeSocketLibrary();
  if (!create) return;
  descriptor = ::socket(AF_INET, SOCK_STREAM, 0);
  if (descriptor < 0) {
    descriptor = -1;
    RecordError("error in socket creation");
    std::cerr << "error in socket creation" << std::endl;
  }
}

TarvekSocket::~TarvekSocket() { Close(); }

void TarvekSocket::InitializeSocketLibrary() {
  if (alreadyInitialized) return;
  alreadyInitialized = true;
  // POSIX sockets need no start-up; SIGPIPE is avoided per send instead of
  // by changing the process's signal disposition.
}

int TarvekSocket::Close() {
  if (descriptor < 0) return -1;
  if (::shutdown(descriptor, SHUT_RDWR) != 0 && errno != ENOTCONN) {
    RecordError("error in shutdown.  errno=");
    std::cerr << "error in shutdown.  errno=" << errno << std::endl;
  }
  const int result = ::close(descriptor);
  descriptor = -1;
  return result;
}

bool TarvekSocket::Bind(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (::bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return true;
  if (errno == EADDRINUSE) return false;
  const int error = errno;
  RecordError("error in bind.  errno=");
  std::cerr << "error in bind.  errno=" << error << " (Port=" << port << ")" << std::endl;
  return false;
}

bool TarvekSocket::Listen(int backlog) {
  if (::listen(descriptor, backlog) == 0) return true;
  if (errno == EADDRINUSE) return false;  // another socket listens on the port first
  const int error = errno;
  RecordError("error in listen");
  std::cerr << "error in listen" << error << std::endl;
  return false;
}

bool TarvekSocket::Accept(TarvekSocket& client) {
  client.Close();
  int accepted;
  do {
    accepted = ::accept(descriptor, nullptr, nullptr);
  } while (accepted < 0 && errno == EINTR);
  if (accepted < 0) {
    RecordError("error in accept: ");
    std::cerr << "error in accept: " << std::endl;
    return false;
  }
  client.descriptor = accepted;
  return true;
}

bool TarvekSocket::Connect(const char* host, int port) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int result = -1;
  // An unresolvable host is a connect failure like any other.
  if (host != nullptr && ::getaddrinfo(host, nullptr, &hints, &found) == 0 && found != nullptr) {
    sockaddr_in address;
    std::memcpy(&address, found->ai_addr, sizeof address);
    address.sin_port = htons(static_cast<uint16_t>(port));
    result = ::connect(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address);
  } else {
    errno = EHOSTUNREACH;
  }
  const int error = errno;
  if (found != nullptr) ::freeaddrinfo(found);
  if (result == 0) return true;
  RecordError("error in connect: errno=");
  std::cerr << "error in connect: errno=" << error << std::endl;
  return false;
}

bool TarvekSocket::Select(int ms) {
  if (descriptor < 0) {
    RecordError("error in select");
    std::cerr << "error in select" << EBADF << std::endl;
    return false;
  }
  pollfd watched{descriptor, POLLIN, 0};
  const int result = ::poll(&watched, 1, ms < 0 ? 0 : ms);
  if (result > 0) return true;
  if (result == 0 || errno == EINTR) return false;
  const int error = errno;
  RecordError("error in select");
  std::cerr << "error in select" << error << std::endl;
  return false;
}

int TarvekSocket::Send(const char* data, int len) {
  if (len <= 0) return 0;
  int result;
  do {
    result = static_cast<int>(::send(descriptor, data, static_cast<size_t>(len), MSG_NOSIGNAL));
  } while (result < 0 && errno == EINTR);
  return result;
}

int TarvekSocket::SendAll(const char* data, int len) {
  int sent = 0;
  while (sent < len) {
    const int result = Send(data + sent, len - sent);
    if (result < 1) return -1;
    sent += result;
  }
  return sent;
}

int TarvekSocket::Recv(char* buf, int len) {
  if (len <= 0) return 0;
  int result;
  do {
    result = static_cast<int>(::recv(descriptor, buf, static_cast<size_t>(len), 0));
  } while (result < 0 && errno == EINTR);
  return result;
}

int TarvekSocket::RecvBlock(char* buf, int len) {
  int received = 0;
  while (received < len) {
    const int result = Recv(buf + received, len - received);
    if (result < 1) break;  // failed, or the peer closed: nothing more will come
    received += result;
  }
  return received;
}

int TarvekSocket::RecvBlock(char* buf, int len, const char* terminator) {
  if (len <= 0) return 0;
  const int terminatorLength = terminator ? static_cast<int>(std::strlen(terminator)) : 0;
  int received = 0;
  buf[0] = '\0';
  while (received < len) {
    const int result = Recv(buf + received, len - received);
    if (result < 1) break;
    received += result;
    buf[received] = '\0';
    if (received >= terminatorLength &&
        std::memcmp(buf + received - terminatorLength, terminator,
                    static_cast<size_t>(terminatorLength)) == 0)
      break;
  }
  return received;
}

int TarvekSocket::LocalPort() const {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (descriptor < 0 ||
      ::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return 0;
  return ntohs(address.sin_port);
}
