#include "util/hostaddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QNetworkInterface>
#include <cstring>

namespace orvane {

HostAddress GetIPAddress() {
  HostAddress result;
  QByteArray loopback;
  const auto up = QNetworkInterface::IsUp | QNetworkInterface::IsRunning;
  for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
    if ((interface.flags() & up) != up) continue;
    for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
      const QHostAddress address = entry.ip();
      if (address.protocol() != QAbstractSocket::IPv4Protocol) continue;
      if (address.isLoopback()) {
        if (loopback.isEmpty()) loopback = address.toString().toLatin1();
        continue;
      }
      result.address = address.toString().toLatin1();
      return result;
    }
  }
  result.address = loopback;
  return result;
}

QByteArrayList MachineAddresses() {
  QByteArrayList addresses;
  const auto up = QNetworkInterface::IsUp | QNetworkInterface::IsRunning;
  for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
    if ((interface.flags() & up) != up) continue;
    for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
      const QByteArray address = CanonicalAddress(entry.ip().toString().toLatin1());
      if (!address.isEmpty() && !addresses.contains(address)) addresses << address;
    }
  }
  return addresses;
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

QByteArray CanonicalAddress(const QByteArray& text) {
  sockaddr_storage address{};
  auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
  if (::inet_pton(AF_INET, text.constData(), &v4->sin_addr) == 1) {
    address.ss_family = AF_INET;
  } else if (::inet_pton(AF_INET6, text.constData(), &v6->sin6_addr) == 1) {
    address.ss_family = AF_INET6;
  }
  // A text with a NUL in it would be read only up to there.
  return text.contains('\0') ? QByteArray() : AddressText(address);
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
