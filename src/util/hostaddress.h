#pragma once

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

// The peer address of a connected socket as text: dotted decimal for IPv4 (also for an IPv4
// address carried in IPv6), the usual text form for IPv6; empty when it cannot be read.
QByteArray PeerAddressText(int fd);

// The peer's port of a connected socket; 0 when it cannot be read.
int PeerPort(int fd);

}  // namespace orvane
