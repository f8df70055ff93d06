#pragma once
// The administration site's checks, apart from sockets: who holds the session, where a form
// comes from, how often a password may be guessed, and the fields of a form. Times are
// milliseconds of a monotonic clock, passed in, so every rule can be checked by table.

#include <QByteArray>
#include <QByteArrayView>
#include <map>

namespace orvane {

// The owner's login: the address it came from and the token its pages carry.
struct Session {
  static constexpr qint64 kIdleMs = 30 * 60 * 1000;

  QByteArray address;  // empty: nobody is logged in
  QByteArray token;
  qint64 lastUse = 0;

  // Whether a request from `peer` carrying `token` at `now` belongs to the session.
  bool Accepts(const QByteArray& peer, QByteArrayView token, qint64 now) const;
  void End() { *this = {}; }
};

// A new session token: 128 bits from the system's random source, as 32 hexadecimal digits.
QByteArray NewToken();

// Equal texts, compared in a time that does not depend on where they differ.
bool SameSecret(QByteArrayView a, QByteArrayView b);

// Whether the Origin header of a form names this site: the scheme and the host and port the
// browser connected to, as its Host header gives them (or, without one, `local`, the address and
// port the connection reached). A request without an Origin header is no cross-site form.
bool OriginMatches(const QByteArray& origin, bool present, const QByteArray& host,
                   const QByteArray& local, QByteArrayView scheme = "http");

// Failed logins: after kFreeFailures within kWindowMs from one address it is refused for
// kFirstBanMs, doubling with each further failure up to kMaxBanMs; all addresses together get at
// most kFailuresPerSecond failures a second.
class LoginThrottle {
 public:
  static constexpr int kFreeFailures = 5;
  static constexpr qint64 kWindowMs = 10 * 60 * 1000;
  static constexpr qint64 kFirstBanMs = 60 * 1000;
  static constexpr qint64 kMaxBanMs = 60 * 60 * 1000;
  static constexpr int kFailuresPerSecond = 10;
  static constexpr size_t kMaxAddresses = 4096;

  // Whether `address` may try a login at `now`.
  bool Allows(const QByteArray& address, qint64 now) const;
  void Failed(const QByteArray& address, qint64 now);
  void Succeeded(const QByteArray& address);

 private:
  struct Record {
    int failures = 0;  // within the window
    qint64 windowStart = 0;
    qint64 bannedUntil = 0;
    qint64 banMs = 0;
  };
  void Forget(qint64 now);

  std::map<QByteArray, Record> records_;
  qint64 secondStart_ = 0;
  int failuresThisSecond_ = 0;
};

// The value of the field `name` in a form body (name=value&...), as sent: the last one when the
// field occurs more than once and is not empty there; empty when there is none.
QByteArray FormField(QByteArrayView body, QByteArrayView name);

}  // namespace orvane
