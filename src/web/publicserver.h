#pragma once

#include <QObject>
#include <QTcpServer>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "core/appstate.h"
#include "core/services.h"
#include "web/clientslot.h"

namespace orvane {

class Connection;

// Hands every accepted descriptor to a callback instead of queueing sockets.
class PublicListener : public QTcpServer {
  Q_OBJECT

 public:
  std::function<void(qintptr)> onIncoming;

 protected:
  void incomingConnection(qintptr fd) override { onIncoming(fd); }
};

// The public web server: the listener and the client slots. Each connection carries one request
// and one reply; the server closes it once the reply has gone. Connections beyond MaxConnect wait
// in arrival order until a slot is free. A connection on which nothing moves for the idle time
// is closed and its slot freed.
class PublicServer final : public QObject, public PublicService {
  Q_OBJECT

 public:
  explicit PublicServer(AppState& app, QObject* parent = nullptr);
  ~PublicServer() override;

  bool Start() override;
  void Stop() override;
  int ActiveConnections() const override { return activeConnections_; }

  // The port the listener is bound to (useful when RunningPort is 0).
  quint16 ListeningPort() const { return listener_.serverPort(); }
  // How long a connection may stay without any data in or progress out (60 s), and how long a
  // finished connection may take to be closed by its peer (5 s).
  void SetTimeouts(int idleMs, int lingerMs);

  // The reply of a slot: bytes, or `length` bytes straight from the open file `fileFd`.
  void Reply(ClientSlot& slot, const QByteArray& page);
  void ReplyFile(ClientSlot& slot, int fileFd, qint64 length);

  AppState& App() { return app_; }

 private:
  struct Lingering {
    Connection* connection;
    QElapsedTimer since;
  };

  Connection* NewConnection();
  ClientSlot* SlotOf(Connection* connection);
  void OnIncoming(qintptr fd);
  void Take(ClientSlot& slot, qintptr fd);
  void OnData(ClientSlot& slot);
  void OnWritten(ClientSlot& slot, qint64 count);
  void OnDrained(ClientSlot& slot);
  void OnPeerClosed(ClientSlot& slot);
  void EndWithoutReply(ClientSlot& slot);
  void Release(ClientSlot& slot);
  void ServeWaiting(ClientSlot& slot);
  void Linger(Connection* connection);
  // Closes `connection` and keeps it for a later client.
  void Recycle(Connection* connection);
  void OnLingerClosed(Connection* connection);
  void Sweep();
  void ShowConnections();
  int SweepInterval() const;
  QByteArray CompletionLine(const ClientSlot& slot) const;

  AppState& app_;
  PublicListener listener_;
  std::vector<std::unique_ptr<ClientSlot>> slots_;
  std::deque<qintptr> waiting_;
  std::deque<Lingering> lingering_;
  std::vector<Connection*> spare_;
  QTimer sweep_;
  int activeConnections_ = 0;
  int idleMs_ = 60000;
  int lingerMs_ = 5000;
  bool acceptFailed_ = false;
};

}  // namespace orvane
