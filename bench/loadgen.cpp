// A small load generator for servers that answer one request per connection and then close it:
// it keeps C connections in flight, each sending one request and reading until the server
// closes, for N requests in all (or until the time limit). It talks only to the loopback address.
//
//   loadgen PORT REQUEST-PATH CONCURRENCY TOTAL [SECONDS [IDLE [tls]]]
//
// IDLE connections are opened first and kept open, silent, for the whole run. With "tls", each
// connection speaks TLS (a full handshake each time, the certificate not checked).

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Flight {
  int fd = -1;
  SSL* tls = nullptr;
  uint32_t watching = 0;
  size_t sent = 0;
  size_t received = 0;
  Clock::time_point start;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: loadgen PORT REQUEST-PATH CONCURRENCY TOTAL [SECONDS [IDLE]]\n");
    return 2;
  }
  const int port = std::atoi(argv[1]);
  const std::string request =
      std::string("GET ") + argv[2] + " HTTP/1.0\r\nHost: localhost\r\nUser-Agent: loadgen\r\n\r\n";
  const int concurrency = std::max(1, std::atoi(argv[3]));
  const long total = std::max(1L, std::atol(argv[4]));
  const double seconds = argc > 5 ? std::atof(argv[5]) : 60.0;
  const int idleCount = argc > 6 ? std::atoi(argv[6]) : 0;
  SSL_CTX* tlsContext = nullptr;
  if (argc > 7 && std::strcmp(argv[7], "tls") == 0) {
    tlsContext = SSL_CTX_new(TLS_client_method());
    SSL_CTX_set_verify(tlsContext, SSL_VERIFY_NONE, nullptr);
  }

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);

  std::vector<int> idle;
  for (int i = 0; i < idleCount; ++i) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
      idle.push_back(fd);
    else
      close(fd);
  }
  if (idleCount > 0) usleep(200 * 1000);  // let the server take them in

  const int epoll = epoll_create1(EPOLL_CLOEXEC);
  std::vector<Flight> flights(static_cast<size_t>(concurrency));
  std::vector<double> latencies;
  latencies.reserve(static_cast<size_t>(total));
  long started = 0;
  long done = 0;
  long errors = 0;
  unsigned long long bytes = 0;
  std::vector<char> buffer(1 << 20);

  auto launch = [&](size_t slot) {
    Flight& f = flights[slot];
    f = Flight{};
    if (started >= total) return;
    ++started;
    f.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    f.start = Clock::now();
    if (connect(f.fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
        errno != EINPROGRESS) {
      ++errors;
      close(f.fd);
      f.fd = -1;
      return;
    }
    if (tlsContext != nullptr) {
      f.tls = SSL_new(tlsContext);
      SSL_set_fd(f.tls, f.fd);
      SSL_set_connect_state(f.tls);
    }
    epoll_event event{};
    event.events = f.watching = EPOLLOUT;
    event.data.u64 = slot;
    epoll_ctl(epoll, EPOLL_CTL_ADD, f.fd, &event);
  };
  auto finish = [&](size_t slot, bool ok) {
    Flight& f = flights[slot];
    epoll_ctl(epoll, EPOLL_CTL_DEL, f.fd, nullptr);
    SSL_free(f.tls);
    close(f.fd);
    f.fd = -1;
    if (ok) {
      ++done;
      bytes += f.received;
      latencies.push_back(
          std::chrono::duration<double, std::milli>(Clock::now() - f.start).count());
    } else {
      ++errors;
    }
  };

  const Clock::time_point begin = Clock::now();
  for (size_t i = 0; i < flights.size(); ++i) launch(i);
  std::vector<epoll_event> events(static_cast<size_t>(concurrency));
  while (done + errors < started || started < total) {
    if (std::chrono::duration<double>(Clock::now() - begin).count() > seconds) break;
    const int n = epoll_wait(epoll, events.data(), static_cast<int>(events.size()), 1000);
    for (int i = 0; i < n; ++i) {
      const size_t slot = events[static_cast<size_t>(i)].data.u64;
      Flight& f = flights[slot];
      if (f.fd < 0) continue;
      bool closed = false;
      bool failed = false;
      // With TLS, what the session waits for decides what is watched next.
      uint32_t wanted = EPOLLIN;
      const auto tlsResult = [&](int result) -> ssize_t {
        if (result > 0) return result;
        const int error = SSL_get_error(f.tls, result);
        if (error == SSL_ERROR_ZERO_RETURN) return 0;
        if (error == SSL_ERROR_WANT_WRITE) wanted = EPOLLOUT;
        errno = error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE ? EAGAIN : EPIPE;
        if (error == SSL_ERROR_SYSCALL && ERR_peek_error() == 0) return 0;  // closed without notice
        return -1;
      };
      if (f.sent < request.size()) {
        const ssize_t w =
            f.tls ? tlsResult(SSL_write(f.tls, request.data() + f.sent,
                                        static_cast<int>(request.size() - f.sent)))
                  : send(f.fd, request.data() + f.sent, request.size() - f.sent, MSG_NOSIGNAL);
        if (w > 0) f.sent += static_cast<size_t>(w);
        if (w < 0 && errno != EAGAIN) failed = true;
        if (f.sent < request.size() && !f.tls) wanted = EPOLLOUT;
      }
      while (!failed && f.sent == request.size()) {
        const ssize_t r =
            f.tls ? tlsResult(SSL_read(f.tls, buffer.data(), static_cast<int>(buffer.size())))
                  : recv(f.fd, buffer.data(), buffer.size(), 0);
        if (r > 0) {
          f.received += static_cast<size_t>(r);
          continue;
        }
        if (r == 0) closed = true;
        if (r < 0 && errno != EAGAIN) failed = true;
        break;
      }
      if (failed || closed) {
        finish(slot, closed && !failed && f.received > 0);
        launch(slot);
      } else if (wanted != f.watching) {
        epoll_event event{};
        event.events = f.watching = wanted;
        event.data.u64 = slot;
        epoll_ctl(epoll, EPOLL_CTL_MOD, f.fd, &event);
      }
    }
  }
  const double elapsed = std::chrono::duration<double>(Clock::now() - begin).count();
  std::sort(latencies.begin(), latencies.end());
  auto percentile = [&](double p) {
    if (latencies.empty()) return 0.0;
    return latencies[std::min(latencies.size() - 1, static_cast<size_t>(p * latencies.size()))];
  };
  for (int fd : idle) close(fd);
  std::printf(
      "requests %ld  errors %ld  seconds %.2f  req/s %.0f  MB/s %.1f  p50 %.2f ms  p99 %.2f ms\n",
      done, errors, elapsed, done / elapsed, bytes / elapsed / 1e6, percentile(0.5),
      percentile(0.99));
  return errors == 0 ? 0 : 1;
}
