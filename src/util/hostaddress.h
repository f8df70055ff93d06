#pragma once

#include <sys/socket.h>

#include <QByteArray>
#include <QByteArrayList>

namespace orvane {

struct HostAddress {
  QByteArray address;  // dotted IPv4 text, empty when none was found
};

// The machine's own IPv4 address, as other machines reach it: that of the first interface that
// is up and not the loopback, else the loopback's; empty when no interface is up. Read from the
// system's interface list, so it never waits for a name server.
HostAddress GetIPAddress();

// Every address of the machine's interfaces that are up, loopback too, as AddressText gives
// them (IPv6 link-local ones, which need a zone, left out).
QByteArrayList MachineAddresses();

// A socket address as text: dotted decimal for IPv4 (also for an IPv4 address carried in IPv6),
// the usual text form for IPv6; empty for any other family.
QByteArray AddressText(const sockaddr_storage& address);

// `text` as AddressText gives it, when it is an IPv4 or IPv6 address and nothing more (no zone,
// no port, no blanks); empty otherwise.
QByteArray CanonicalAddress(const QByteArray& text);

// The port of a socket address; 0 for a family without one.
int AddressPort(const sockaddr_storage& address);

}  // namespace orvane
