#pragma once

#include <QObject>
#include <functional>

#include "net/poller.h"

namespace orvane {

// A listening TCP socket on every address (IPv6 and IPv4) that accepts each connection
// non-blocking, with its peer's address, in one call, and hands it to `onIncoming`.
class Listener : public QObject, public Poller::Client {
  Q_OBJECT

 public:
  struct Peer {
    QByteArray address;  // dotted decimal for IPv4
    int port = 0;
  };
  std::function<void(int fd, const Peer& peer)> onIncoming;

  explicit Listener(QObject* parent = nullptr);
  ~Listener() override;

  void SetBacklog(int backlog) { backlog_ = backlog; }
  // Listens on `port` (0: any free port). False, with nothing listening, when it cannot.
  bool Listen(quint16 port);
  void Close();
  bool IsListening() const { return fd_ >= 0; }
  quint16 Port() const { return port_; }
  // Why the last Listen failed (an errno value); 0 after a success or a Close.
  int Error() const { return error_; }
  // Stops and restarts taking connections; waiting ones stay in the listen queue meanwhile.
  void Pause();
  void Resume();

  void OnReady(bool readable, bool writable, bool hangup) override;

 Q_SIGNALS:
  // accept failed for want of descriptors; taking connections is paused.
  void AcceptFailed();

 private:
  int fd_ = -1;
  quint16 port_ = 0;
  int backlog_ = 1024;
  bool paused_ = false;
  int error_ = 0;
};

}  // namespace orvane
