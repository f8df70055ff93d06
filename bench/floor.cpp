// The floor: the least a server can do for one request per connection. One thread, one epoll:
// accept, read once, write 1 KiB, close. Nothing is parsed and nothing is logged.
//
//   floor PORT

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: floor PORT\n");
    return 2;
  }
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const int on = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[1])));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 1024) != 0) {
    std::perror("floor");
    return 1;
  }
  const int epoll = epoll_create1(EPOLL_CLOEXEC);
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.fd = listener;
  epoll_ctl(epoll, EPOLL_CTL_ADD, listener, &event);
  char reply[1024];
  std::memset(reply, 'f', sizeof reply);
  char buffer[4096];
  epoll_event events[256];
  for (;;) {
    const int n = epoll_wait(epoll, events, 256, -1);
    for (int i = 0; i < n; ++i) {
      const int fd = events[i].data.fd;
      if (fd == listener) {
        for (;;) {
          const int client = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
          if (client < 0) break;
          epoll_event e{};
          e.events = EPOLLIN;
          e.data.fd = client;
          epoll_ctl(epoll, EPOLL_CTL_ADD, client, &e);
        }
        continue;
      }
      if (read(fd, buffer, sizeof buffer) > 0) {
        [[maybe_unused]] const ssize_t w = write(fd, reply, sizeof reply);
      }
      close(fd);
    }
  }
}
