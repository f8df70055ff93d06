#include "web/publicserver.h"

#include <sys/resource.h>
#include <unistd.h>
#include <csignal>

#include "net/connection.h"
#include "util/hostaddress.h"
#include "web/requesthandler.h"
#include "web/requesttext.h"

namespace orvane {

namespace {

constexpr int kListenBacklog = 1024;
// Read per event on a client connection: requests are small, and a whole request waiting its
// turn keeps what came with it, so this bounds what the waiting ones hold.
constexpr qsizetype kReadPerEvent = 16 * 1024;
// Slots beyond MaxConnect for connections whose request is still arriving.
constexpr rlim_t kMaxReadingSlots = 2048;
// Descriptors kept for the administration site, scripts, the log and the like.
constexpr rlim_t kOtherDescriptors = 256;
constexpr rlim_t kMaxLingering = 1024;

// How many reading slots the descriptor limit leaves room for, next to MaxConnect served
// requests (each with a file open) and the finished connections that linger.
int ReadingSlots(int maxConnect) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  const rlim_t taken = 2 * static_cast<rlim_t>(maxConnect) + kMaxLingering + kOtherDescriptors;
  if (limit.rlim_cur <= taken) return 0;
  return static_cast<int>(std::min(limit.rlim_cur - taken, kMaxReadingSlots));
}

}  // namespace

PublicServer::PublicServer(AppState& app, QObject* parent)
    : QObject(parent),
      app_(app),
      site_{app.settings, app.desktop, app.ListingPath},
      listener_(this),
      scripts_(site_),
      lingering_([this](Connection* connection) { Recycle(connection); }) {
  listener_.onIncoming = [this](int fd, const Listener::Peer& peer) { OnIncoming(fd, peer); };
  listener_.SetBacklog(kListenBacklog);
  connect(&listener_, &Listener::AcceptFailed, this, [this] { acceptFailed_ = true; });
  connect(&sweep_, &QTimer::timeout, this, &PublicServer::Sweep);
  connect(&prepare_, &QTimer::timeout, this, &PublicServer::PreparePages);
  table_.onOpenChanged = [this] { ShowConnections(); };
}

PublicServer::~PublicServer() {
  Stop();
}

void PublicServer::SetLimits(const ServerLimits& limits) {
  limits_ = limits;
  lingering_.SetLimit(limits.lingerMs);
  if (sweep_.isActive()) sweep_.start(SweepInterval());
}

int PublicServer::SweepInterval() const {
  const int shortest = std::min({limits_.requestMs, limits_.idleMs, limits_.lingerMs});
  return std::clamp(shortest / 4, 20, 1000);
}

Connection* PublicServer::NewConnection() {
  if (!spare_.empty()) {
    Connection* connection = spare_.back();
    spare_.pop_back();
    return connection;
  }
  auto* connection = new Connection(this);
  connection->SetReadPerEvent(kReadPerEvent);
  connect(connection, &Connection::DataArrived, this, [this, connection] {
    if (ClientSlot* slot = SlotOf(connection)) OnData(*slot);
  });
  connect(connection, &Connection::BytesWritten, this, [this, connection](qint64 count) {
    if (ClientSlot* slot = SlotOf(connection)) OnWritten(*slot, count);
  });
  connect(connection, &Connection::OutputDrained, this, [this, connection] {
    if (ClientSlot* slot = SlotOf(connection)) OnDrained(*slot);
  });
  connect(connection, &Connection::PeerClosed, this, [this, connection] {
    if (ClientSlot* slot = SlotOf(connection)) OnPeerClosed(*slot);
  });
  connect(connection, &Connection::Failed, this, [this, connection] {
    if (ClientSlot* slot = SlotOf(connection)) EndWithoutReply(*slot);
  });
  return connection;
}

ClientSlot* PublicServer::SlotOf(Connection* connection) {
  ClientSlot* slot = table_.Numbered(connection->tag);
  return slot != nullptr && slot->connection == connection ? slot : nullptr;
}

void PublicServer::Recycle(Connection* connection) {
  connection->Abort();
  connection->tag = 0;
  spare_.push_back(connection);
}

bool PublicServer::Start() {
  std::signal(SIGPIPE, SIG_IGN);
  Stop();
  const int count = app_.settings.MaxConnect + ReadingSlots(app_.settings.MaxConnect);
  while (static_cast<int>(table_.Size()) > count) {
    if (Connection* connection = table_.At(table_.Size() - 1).connection) Recycle(connection);
    table_.RemoveLast();
  }
  // A slot gets its connection object when it first takes a client: thousands of slots cost
  // nothing until they are used.
  while (static_cast<int>(table_.Size()) < count) table_.Add().sink = this;
  table_.SetTurns(app_.settings.MaxConnect);
  table_.Reset();

  const int port = app_.settings.RunningPort;
  if (port < 0 || port > 65535 || !listener_.Listen(static_cast<quint16>(port))) {
    return false;
  }
  acceptFailed_ = false;
  trustedProxies_.clear();
  for (const QByteArray& entry : app_.settings.TrustedProxy.split(',')) {
    const QByteArray address = CanonicalAddress(entry.trimmed());
    if (!address.isEmpty()) {
      trustedProxies_ << address;
    } else if (!entry.trimmed().isEmpty()) {
      app_.desktop.AppendLog("TrustedProxy: not an IP address: " + entry.trimmed());
    }
  }
  sweep_.start(SweepInterval());
  return true;
}

void PublicServer::Stop() {
  listener_.Close();
  scripts_.Stop();
  sweep_.stop();
  prepare_.stop();
  for (size_t i = 0; i < table_.Size(); ++i) {
    ClientSlot& slot = table_.At(i);
    // A reply cut by the stop must not look whole to its client.
    const bool cut = slot.state == SlotState::Sending || slot.state == SlotState::Preparing;
    if (slot.connection != nullptr) cut ? slot.connection->Reset() : slot.connection->Abort();
    ReportEnd(slot, false);
  }
  table_.Reset();
  for (const Waiting& client : waiting_) ::close(client.fd);
  waiting_.clear();
  lingering_.Clear();
}

void PublicServer::OnIncoming(int fd, const Listener::Peer& peer) {
  // Out of slots while some are still receiving: the longest receiving gives way.
  ClientSlot* slot = table_.TakeFree();
  if (slot == nullptr && table_.OldestArriving() != nullptr) {
    EndWithoutReply(*table_.OldestArriving());
    slot = table_.TakeFree();
  }
  if (slot != nullptr) {
    Take(*slot, {fd, peer});
    return;
  }
  // Every slot is busy: the connection waits its turn. Further ones wait in the listen queue
  // until this one is served, so waiting never costs more than the backlog.
  waiting_.push_back({fd, peer});
  listener_.Pause();
  ShowConnections();
}

void PublicServer::ShowConnections() {
  app_.desktop.SetPanel(2, ConnectionsText(ActiveConnections(), app_.settings.MaxConnect));
}

void PublicServer::Take(ClientSlot& slot, const Waiting& client) {
  if (slot.connection == nullptr) {
    slot.connection = NewConnection();
    slot.connection->tag = slot.Index;
  }
  slot.connection->Open(client.fd, client.peer.address, client.peer.port,
                        app_.settings.ServerTls ? tls_ : nullptr);
  slot.SlotPage.clear();
  slot.SlotBytesSent = 0;
  slot.SlotBusy = true;
  slot.SlotTable.clear();
  slot.SlotFolder.clear();
  slot.SlotEntry.clear();
  slot.peer = slot.connection->PeerAddress();
  // Header lines are needed to answer with headers, and to find the client behind a proxy.
  slot.wholeHead = app_.settings.HttpHeaders || trustedProxies_.contains(slot.peer);
  ++slot.serial;
  table_.Enter(slot, SlotState::Reading);
}

void PublicServer::ServeWaiting(ClientSlot& slot) {
  while (!slot.SlotBusy && !waiting_.empty()) {
    const Waiting client = waiting_.front();
    waiting_.pop_front();
    table_.TakeFree(slot);  // it was put on the free list when it was released
    Take(slot, client);
  }
  if (waiting_.empty()) listener_.Resume();
}

void PublicServer::OnData(ClientSlot& slot) {
  QByteArray input = slot.connection->TakeInput();
  if (!Arriving(slot.state)) return;
  if (slot.unfinished.isEmpty()) {
    slot.unfinished.swap(input);
  } else {
    slot.unfinished += input;
  }
  if (slot.state == SlotState::Body) {
    if (slot.unfinished.size() >= slot.bodySize) Admit(slot);
    return;
  }
  if (slot.wholeHead ? !slot.headScanner.Complete(slot.unfinished)
                     : !slot.scanner.Complete(slot.unfinished)) {
    if (slot.unfinished.size() >
        (slot.wholeHead ? limits_.maxHeaderBlock : limits_.maxUnfinished)) {
      EndWithoutReply(slot);
    } else {
      slot.unfinished.squeeze();  // a read leaves room for a whole chunk behind the text
    }
    return;
  }
  Admit(slot);
}

void PublicServer::Admit(ClientSlot& slot) {
  if (table_.TurnFree()) {
    Handle(slot, std::move(slot.unfinished));
  } else {
    table_.Enter(slot, SlotState::Queued);
  }
}

void PublicServer::ServeQueued() {
  while (table_.TurnFree() && table_.OldestQueued() != nullptr) {
    ClientSlot& slot = *table_.OldestQueued();
    Handle(slot, std::move(slot.unfinished));
  }
}

void PublicServer::Handle(ClientSlot& slot, QByteArray text) {
  slot.unfinished.clear();
  // A request whose header lines have ended and that carries no body has nothing more to send:
  // its connection may be closed at once after the reply.
  slot.inputComplete = (text.contains("\r\n\r\n") || text.contains("\n\n")) &&
                       !text.startsWith("POST") && !text.startsWith("post");
  if (const QByteArray own = slot.connection->PeerAddress(); trustedProxies_.contains(own)) {
    slot.peer = ForwardedClient(text, own);
  }
  table_.Enter(slot, SlotState::Handling);
  HandleRequest(site_, slot, text);
  if (slot.state == SlotState::Body) {
    slot.unfinished.swap(text);  // handled again once the rest has come
  } else if (slot.state == SlotState::Handling) {
    // A request that got no reply leaves the connection open for another try, within the
    // deadline.
    table_.Enter(slot, SlotState::Reading);
  }
  ServeQueued();
}

void PublicServer::AwaitBody(ClientSlot& slot, qint64 size) {
  table_.Enter(slot, SlotState::Body);
  slot.bodySize = size;
}

void PublicServer::RunScript(ClientSlot& slot, const ScriptRun& run) {
  table_.Enter(slot, SlotState::Script);
  scripts_.Run(slot, run);
}

void PublicServer::OnDrained(ClientSlot& slot) {
  if (slot.state != SlotState::Sending) return;
  app_.desktop.AppendLog(CompletionLine(slot));
  ReportEnd(slot, true);
  lingering_.Add(slot.connection, slot.inputComplete);
  slot.connection = nullptr;  // the next client's comes from the spares
  Release(slot);
}

void PublicServer::OnPeerClosed(ClientSlot& slot) {
  // A client that has only ended its sending direction still gets the reply under way. One
  // still sending its request will send no more of it, and one waiting for a script has gone:
  // its run is not started, or is ended.
  if (Arriving(slot.state) || slot.state == SlotState::Script) EndWithoutReply(slot);
}

void PublicServer::EndWithoutReply(ClientSlot& slot) {
  if (slot.state == SlotState::Sending || slot.state == SlotState::Preparing) {
    slot.connection->Reset();
  } else {
    slot.connection->Abort();
  }
  if (slot.state == SlotState::Script) scripts_.Abandon(slot);
  ReportEnd(slot, false);
  Release(slot);
}

void PublicServer::Release(ClientSlot& slot) {
  table_.Enter(slot, SlotState::Free);
  ServeWaiting(slot);
  ServeQueued();
}

void PublicServer::Sweep() {
  for (size_t i = 0; i < table_.Size(); ++i) {
    ClientSlot& slot = table_.At(i);
    if (Overdue(slot)) EndWithoutReply(slot);
  }
  if (acceptFailed_ && waiting_.empty()) {
    acceptFailed_ = false;
    listener_.Resume();
  }
}

bool PublicServer::Overdue(ClientSlot& slot) {
  switch (slot.state) {
    case SlotState::Reading:
    case SlotState::Body:
      return slot.accepted.hasExpired(limits_.requestMs);
    case SlotState::Sending: {
      // Progress is what the client takes: its send queue shrinking. A slow but steady reader
      // is never cut off, however rarely the socket asks for more.
      const int unsent = slot.connection->Unsent();
      if (unsent >= 0 && slot.unsent >= 0 && unsent < slot.unsent) slot.lastMove.start();
      slot.unsent = unsent;
      return slot.lastMove.hasExpired(limits_.idleMs);
    }
    default:  // whole, waiting for the server; the script runner keeps its own time
      return false;
  }
}

QByteArray PublicServer::CompletionLine(const ClientSlot& slot) const {
  return FormatStr("[" + slot.peer + "]", 16) + FormatStr(slot.SlotRequest, 40) + " (" +
         QByteArray::number(slot.SlotBytesSent) + ")";
}

}  // namespace orvane
