#include "util/hostaddress.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace orvane {

HostAddress GetIPAddress() {
  HostAddress result;
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return result;

  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (::getaddrinfo(name, nullptr, &hints, &list) != 0 || list == nullptr) {
    result.lookupFailed = true;
    return result;
  }
  for (addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
    char text[INET_ADDRSTRLEN] = {};
    const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
    if (::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr) {
      result.address = QByteArray(text);
    }
  }
  ::freeaddrinfo(list);
  return result;
}

QByteArray AddressText(const sockaddr_storage& address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
    ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
  } else if (address.ss_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
    if (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr)) {
      in_addr v4;
      std::memcpy(&v4, v6->sin6_addr.s6_addr + 12, sizeof v4);
      ::inet_ntop(AF_INET, &v4, text, sizeof text);
    } else {
      ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
    }
  }
  return QByteArray(text);
}

int AddressPort(const sockaddr_storage& address) {
  if (address.ss_family == AF_INET) {
    return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
  }
  if (address.ss_family == AF_INET6) {
    return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
  }
  return 0;
}

}  // namespace orvane
