#pragma once

#include <QObject>
#include <QTimer>
#include <deque>
#include <memory>
#include <vector>

#include "core/appstate.h"
#include "core/services.h"
#include "net/listener.h"
#include "web/clientslot.h"
#include "web/scriptrunner.h"
#include "web/slotqueue.h"

namespace orvane {

class Connection;

// What a client can make the public server wait for or hold.
struct ServerLimits {
  int requestMs = 60000;               // from the accept until the request holds its target
  int idleMs = 60000;                  // a reply that makes no progress
  int lingerMs = 5000;                 // a finished connection waiting for its peer to close
  qsizetype maxUnfinished = 8 * 1024;  // received text still without a target
};

// The public web server: the listener and the client slots. Each connection carries one request
// and one reply; the server closes it once the reply has gone. At most MaxConnect requests are
// served at a time; complete requests beyond that wait their turn in arrival order. Connections
// whose request is still arriving hold slots of their own (as many as descriptors allow, up to a
// bound), so that clients which send slowly or nothing keep nobody else waiting: when these run
// out, the one that has been reading longest is closed for a newcomer. A request that is not
// complete in time, and a reply that stops moving, end their connection and free the slot.
class PublicServer final : public QObject, public PublicService, public ReplySink {
  Q_OBJECT

 public:
  explicit PublicServer(AppState& app, QObject* parent = nullptr);
  ~PublicServer() override;

  bool Start() override;
  void Stop() override;
  int ActiveConnections() const override { return activeConnections_; }

  // The port the listener is bound to (useful when RunningPort is 0).
  quint16 ListeningPort() const { return listener_.Port(); }
  void SetLimits(const ServerLimits& limits);

  void Reply(ClientSlot& slot, const QByteArray& page, const ReplyKind& kind) override;
  void ReplyFile(ClientSlot& slot, int fileFd, qint64 length, const ReplyKind& kind) override;
  void AwaitBody(ClientSlot& slot, qint64 size) override;
  void RunScript(ClientSlot& slot, const ScriptRun& run) override;

  ScriptRunner& Scripts() { return scripts_; }

 private:
  struct Lingering {
    Connection* connection;
    QElapsedTimer since;
  };

  // Every change of a slot's state goes through here.
  void Enter(ClientSlot& slot, SlotState next);

  Connection* NewConnection();
  ClientSlot* SlotOf(Connection* connection);
  struct Waiting {
    int fd;
    Listener::Peer peer;
  };
  void OnIncoming(int fd, const Listener::Peer& peer);
  void ResetFreeList();
  void Take(ClientSlot& slot, const Waiting& client);
  void OnData(ClientSlot& slot);
  void Handle(ClientSlot& slot, QByteArray text);
  void OnWritten(ClientSlot& slot, qint64 count);
  void OnDrained(ClientSlot& slot);
  void OnPeerClosed(ClientSlot& slot);
  void EndWithoutReply(ClientSlot& slot);
  // Serves queued requests while fewer than MaxConnect are served.
  void ServeQueued();
  void ServeWaiting(ClientSlot& slot);
  void Linger(Connection* connection, bool inputComplete);
  // Closes `connection` and keeps it for a later client.
  void Recycle(Connection* connection);
  void OnLingerClosed(Connection* connection);
  void Sweep();
  bool Overdue(const ClientSlot& slot) const;
  void ShowConnections();
  int SweepInterval() const;
  QByteArray CompletionLine(const ClientSlot& slot) const;

  AppState& app_;
  Listener listener_;
  ScriptRunner scripts_;
  std::vector<std::unique_ptr<ClientSlot>> slots_;
  std::deque<Waiting> waiting_;
  std::vector<ClientSlot*> free_;  // slots without a connection, the last freed on top
  SlotQueue reading_;              // slots in the Reading state, the longest reading first
  SlotQueue queued_;               // complete requests waiting for their turn
  std::deque<Lingering> lingering_;
  std::vector<Connection*> spare_;
  QTimer sweep_;
  ServerLimits limits_;
  int activeConnections_ = 0;
  bool acceptFailed_ = false;
};

}  // namespace orvane
