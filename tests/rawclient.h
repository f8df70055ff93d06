#pragma once
// A TCP client on a plain non-blocking socket, so that a test can do what real clients do (send
// in pieces, stop sending, close early, never read) while the server runs in the same event loop.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QByteArray>
#include <QTest>
#include <algorithm>
#include <cerrno>
#include <utility>

namespace orvane {

class RawClient {
 public:
  // `source`: the local address to connect from (another loopback address such as 127.0.0.2
  // stands for a second machine); `target`: the address to connect to.
  explicit RawClient(quint16 port, int receiveBuffer = 0, const char* source = nullptr,
                     const char* target = "127.0.0.1") {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const sockaddr_in local = Address(source, 0), remote = Address(target, port);
    if (source != nullptr) ::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local);
    if (receiveBuffer > 0) {
      ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    ::connect(fd_, reinterpret_cast<const sockaddr*>(&remote), sizeof remote);
  }
  ~RawClient() { Close(); }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  // Sends all of `data`, letting the event loop run while the socket is full.
  bool Send(const QByteArray& data, int timeoutMs = 30000) {
    qsizetype sent = 0;
    const auto more = [&] {
      while (sent < data.size()) {
        const ssize_t n =
            ::send(fd_, data.constData() + sent, size_t(data.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
          return !(n < 0 && (errno == EAGAIN || errno == EINPROGRESS || errno == ENOTCONN));
        sent += n;
      }
      return true;  // all sent, or broken: stop trying
    };
    return QTest::qWaitFor(more, timeoutMs) && sent == data.size();
  }

  void ShutdownWrite() { ::shutdown(fd_, SHUT_WR); }

  // Leaves at once with a reset, as a client that is killed or gives up does.
  void Reset() {
    linger off{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &off, sizeof off);
    Close();
  }

  // Reads what has arrived, or at most `max` bytes of it as a slow reader does; true once the
  // server has closed the connection.
  bool Poll(qsizetype max = -1) {
    char buffer[65536];
    for (;;) {
      const qsizetype want = max < 0 ? qsizetype(sizeof buffer) : std::min<qsizetype>(max, 65536);
      const ssize_t n = ::recv(fd_, buffer, static_cast<size_t>(want), 0);
      if (n > 0) received.append(buffer, n);
      if (n > 0 && max < 0) continue;
      if (n >= 0) return closed = n == 0;
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOTCONN) return false;
      reset = errno == ECONNRESET;
      return closed = true;
    }
  }

  // Waits until the server closes the connection.
  bool WaitClosed(int timeoutMs = 30000) {
    return QTest::qWaitFor([this] { return Poll(); }, timeoutMs);
  }

  void Close() {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
  }

  QByteArray received;
  bool closed = false;
  bool reset = false;

 private:
  static sockaddr_in Address(const char* ip, quint16 port) {
    sockaddr_in address{AF_INET, htons(port), {}, {}};
    if (ip != nullptr) ::inet_pton(AF_INET, ip, &address.sin_addr);
    return address;
  }
  int fd_ = -1;
};

}  // namespace orvane
