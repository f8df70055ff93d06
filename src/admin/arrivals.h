#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <deque>
#include <memory>

#include "net/listener.h"

namespace orvane {

class Connection;
class TlsContext;

// Connections to the administration port whose first request has not arrived in full: the site
// serves one connection at a time, and takes only one whose request has arrived whole (its
// header lines, and the form they announce; an upload's header lines), so clients that send
// slowly or nothing cannot keep the administrator out. At most `kMaxArrivals` wait here, and at
// most `kMaxPerAddress` of one address (a newcomer closes the oldest of its address, or the one
// that has been sending longest); each must be whole within the idle limit of its accept. The
// logged-in address is served first.
class Arrivals : public QObject {
  Q_OBJECT

 public:
  static constexpr size_t kMaxArrivals = 32;
  static constexpr int kMaxPerAddress = 2;
  // A form waited for may be this large; a larger one is taken with its header lines alone.
  static constexpr qsizetype kMaxForm = 64 * 1024;

  explicit Arrivals(QObject* parent = nullptr) : QObject(parent) {}
  ~Arrivals() override;

  // Takes the new connection `fd`, speaking TLS with `tls` when there is one.
  void Add(int fd, const Listener::Peer& peer, const TlsContext* tls = nullptr);
  // Room for another, possibly by closing the longest sending one.
  bool MakeRoom();
  // The connection whose request became complete first, one from `first` before any other, with
  // what it sent; nullptr when none is. The caller owns it from now on and must let it read
  // again (it is held meanwhile).
  Connection* TakeReady(QByteArray& text, const QByteArray& first = {});
  // Closes those that took longer than `limitMs` since their accept.
  void Sweep(int limitMs);
  void Clear();
  size_t Count() const { return arrivals_.size(); }

 Q_SIGNALS:
  // A request is complete and can be taken.
  void Ready();

 private:
  struct Arrival {
    Connection* connection;
    QByteArray text;
    QElapsedTimer since;
    qsizetype headerEnd = -1;
    bool ready = false;
  };
  void OnData(Arrival& arrival);
  void Drop(Connection* connection);

  std::deque<std::unique_ptr<Arrival>> arrivals_;  // in the order of their accept
};

}  // namespace orvane
