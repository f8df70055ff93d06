#pragma once

#include <QObject>
#include <QTimer>
#include <deque>

#include "core/appstate.h"
#include "core/services.h"
#include "net/lingering.h"
#include "net/listener.h"
#include "web/clientslot.h"
#include "web/scriptrunner.h"
#include "web/site.h"
#include "web/slottable.h"

namespace orvane {

class Connection;
class TlsContext;

// What a client can make the public server wait for or hold.
struct ServerLimits {
  int requestMs = 60000;               // from the accept until the request (and its form) is whole
  int idleMs = 60000;                  // a reply whose client takes nothing
  int lingerMs = 5000;                 // a finished connection waiting for its peer to close
  qsizetype maxUnfinished = 8 * 1024;  // received text still without a target
  qsizetype maxHeaderBlock = 16 * 1024;  // the same, when the header lines are waited for
};

// The public web server: the listener, accepting and admission. Each connection carries one
// request and one reply; the server closes it once the reply has gone. At most MaxConnect whole
// requests are served at a time; whole requests beyond that wait their turn in arrival order.
// Connections whose request (or form) is still arriving hold slots of their own (as many as
// descriptors allow, up to a bound), so that clients which send slowly or nothing keep nobody
// else waiting: when these run out, the one that has been receiving longest is closed for a
// newcomer. Script requests wait for the script runner without a turn. A request that is not
// whole in time ends its connection; a reply that cannot be finished ends it with a reset.
class PublicServer final : public QObject, public PublicService, public ReplySink {
  Q_OBJECT

 public:
  explicit PublicServer(AppState& app, QObject* parent = nullptr);
  ~PublicServer() override;

  bool Start() override;
  void Stop() override;
  // Every open connection: arriving, waiting for a turn or a slot, and served.
  int ActiveConnections() const override {
    return table_.Open() + static_cast<int>(waiting_.size());
  }
  int ListenError() const override { return listener_.Error(); }
  // Requests holding one of the MaxConnect turns.
  int Served() const { return table_.Active(); }

  // The port the listener is bound to (useful when RunningPort is 0).
  quint16 ListeningPort() const { return listener_.Port(); }
  void SetLimits(const ServerLimits& limits);
  // The certificate for HTTPS, used while the settings have it on; the owner keeps it.
  void SetTls(const TlsContext* tls) { tls_ = tls; }
  const SlotTable& Slots() const { return table_; }

  void Reply(ClientSlot& slot, const QByteArray& page, const ReplyKind& kind) override;
  void ReplyFile(ClientSlot& slot, int fileFd, qint64 length, const ReplyKind& kind) override;
  void ReplyPage(ClientSlot& slot, std::unique_ptr<PageSubstitution> page,
                 const ReplyKind& kind) override;
  void AwaitBody(ClientSlot& slot, qint64 size) override;
  void RunScript(ClientSlot& slot, const ScriptRun& run) override;

  ScriptRunner& Scripts() { return scripts_; }

 private:
  struct Waiting {
    int fd;
    Listener::Peer peer;
  };

  Connection* NewConnection();
  ClientSlot* SlotOf(Connection* connection);
  void OnIncoming(int fd, const Listener::Peer& peer);
  void Take(ClientSlot& slot, const Waiting& client);
  void ShowConnections();
  // The reply's start and end in the transfer report, when there is one.
  void ReportStart(ClientSlot& slot, qint64 total);
  void ReportEnd(ClientSlot& slot, bool whole);
  void OnData(ClientSlot& slot);
  // A whole request: handled now if a turn is free, else queued.
  void Admit(ClientSlot& slot);
  void Handle(ClientSlot& slot, QByteArray text);
  void OnWritten(ClientSlot& slot, qint64 count);
  void OnDrained(ClientSlot& slot);
  void OnPeerClosed(ClientSlot& slot);
  // Ends the slot's connection: with a reset when a reply was under way.
  void EndWithoutReply(ClientSlot& slot);
  void Release(ClientSlot& slot);
  // Serves queued requests while turns are free.
  void ServeQueued();
  void ServeWaiting(ClientSlot& slot);
  void Recycle(Connection* connection);
  void PreparePages();
  void SendPage(ClientSlot& slot);
  void Sweep();
  bool Overdue(ClientSlot& slot);
  int SweepInterval() const;
  QByteArray CompletionLine(const ClientSlot& slot) const;

  AppState& app_;
  Site site_;  // what the handlers may use of app_
  Listener listener_;
  ScriptRunner scripts_;
  SlotTable table_;
  std::deque<Waiting> waiting_;
  Lingering lingering_;
  std::vector<Connection*> spare_;
  QTimer sweep_;
  QTimer prepare_;  // gives pages in their first pass their shares, between other events
  ServerLimits limits_;
  bool acceptFailed_ = false;
  QByteArrayList trustedProxies_;  // the settings' TrustedProxy, each as AddressText gives it
  const TlsContext* tls_ = nullptr;
};

}  // namespace orvane
