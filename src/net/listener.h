#pragma once

#include <QTcpServer>
#include <functional>

namespace orvane {

// A listening socket that hands every accepted descriptor to a callback instead of queueing
// QTcpSockets, so that the connection can be driven by our own Connection.
class Listener : public QTcpServer {
  Q_OBJECT

 public:
  std::function<void(qintptr)> onIncoming;

 protected:
  void incomingConnection(qintptr fd) override { onIncoming(fd); }
};

}  // namespace orvane
