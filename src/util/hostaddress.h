#pragma once

#include <sys/socket.h>

#include <QByteArray>

namespace orvane {

struct HostAddress {
  QByteArray address;         // dotted IPv4 text, empty when none was found
  bool lookupFailed = false;  // the host's own name could not be resolved
};

// The machine's own IPv4 address: the last one the resolver lists for the local host name.
// An unavailable host name gives an empty address; a failed name lookup sets `lookupFailed`.
// Blocks for the duration of the lookup.
HostAddress GetIPAddress();

// A socket address as text: dotted decimal for IPv4 (also for an IPv4 address carried in IPv6),
// the usual text form for IPv6; empty for any other family.
QByteArray AddressText(const sockaddr_storage& address);

// The port of a socket address; 0 for a family without one.
int AddressPort(const sockaddr_storage& address);

}  // namespace orvane
