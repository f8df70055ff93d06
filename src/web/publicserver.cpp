#include "web/publicserver.h"

#include <sys/resource.h>
#include <unistd.h>
#include <csignal>

#include "net/connection.h"
#include "web/requesthandler.h"
#include "web/requesttext.h"

namespace orvane {

namespace {

constexpr int kListenBacklog = 1024;
constexpr qsizetype kJoinedReplySize = 64 * 1024;
// Finished connections waiting for their peer to close; past this the oldest is closed at once.
constexpr size_t kMaxLingering = 1024;
// Read per event on a client connection: requests are small, and a complete request waiting its
// turn keeps what came with it, so this bounds what the waiting ones hold.
constexpr qsizetype kReadPerEvent = 16 * 1024;
// Slots beyond MaxConnect for connections whose request is still arriving.
constexpr rlim_t kMaxReadingSlots = 2048;
// Descriptors kept for the administration site, scripts, the log and the like.
constexpr rlim_t kOtherDescriptors = 256;

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
    : QObject(parent), app_(app), scripts_(app) {
  listener_.onIncoming = [this](int fd, const Listener::Peer& peer) { OnIncoming(fd, peer); };
  listener_.SetBacklog(kListenBacklog);
  connect(&listener_, &Listener::AcceptFailed, this, [this] { acceptFailed_ = true; });
  connect(&sweep_, &QTimer::timeout, this, &PublicServer::Sweep);
}

PublicServer::~PublicServer() {
  Stop();
}

void PublicServer::SetLimits(const ServerLimits& limits) {
  limits_ = limits;
  if (sweep_.isActive()) sweep_.start(SweepInterval());
}

int PublicServer::SweepInterval() const {
  const int shortest = std::min({limits_.requestMs, limits_.idleMs, limits_.lingerMs});
  return std::clamp(shortest / 4, 20, 1000);
}

void PublicServer::Enter(ClientSlot& slot, SlotState next) {
  if (slot.state == SlotState::Reading) reading_.Remove(slot);
  if (slot.state == SlotState::Queued) {
    queued_.Remove(slot);
    slot.connection->HoldInput(false);
  }
  const bool wasServed = Served(slot.state);
  switch (next) {
    case SlotState::Free:
      if (slot.state != SlotState::Free) free_.push_back(&slot);
      slot.SlotBytesSent = 0;
      slot.headerLeft = 0;
      slot.SlotBusy = false;
      slot.SlotPage.clear();
      slot.SlotRequest.clear();
      slot.SlotTable.clear();
      slot.SlotFolder.clear();
      slot.SlotEntry.clear();
      slot.unfinished.clear();
      slot.scanner.Reset();
      break;
    case SlotState::Reading:
      // Back from a request that got no reply, the deadline still counts from the accept.
      if (slot.state == SlotState::Free) slot.accepted.start();
      slot.unfinished.clear();
      slot.scanner.Reset();
      reading_.Push(slot);
      break;
    case SlotState::Queued:
      slot.connection->HoldInput(true);  // the rest waits in the kernel until its turn
      queued_.Push(slot);
      break;
    case SlotState::Handling:
    case SlotState::Body:
      break;
    case SlotState::Script:
    case SlotState::Sending:
      slot.connection->DiscardInput();
      slot.unfinished.clear();
      slot.lastMove.start();
      break;
  }
  slot.state = next;
  if (Served(next) != wasServed) {
    activeConnections_ = std::max(0, activeConnections_ + (wasServed ? -1 : 1));
    ShowConnections();
  }
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
    if (ClientSlot* slot = SlotOf(connection)) {
      EndWithoutReply(*slot);
    } else {
      OnLingerClosed(connection);
    }
  });
  connect(connection, &Connection::Closed, this,
          [this, connection] { OnLingerClosed(connection); });
  return connection;
}

ClientSlot* PublicServer::SlotOf(Connection* connection) {
  const int index = connection->tag;
  if (index < 1 || index > static_cast<int>(slots_.size())) return nullptr;
  ClientSlot* slot = slots_[static_cast<size_t>(index - 1)].get();
  return slot->connection == connection ? slot : nullptr;
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
  while (static_cast<int>(slots_.size()) > count) {
    Recycle(slots_.back()->connection);
    slots_.pop_back();
  }
  while (static_cast<int>(slots_.size()) < count) {
    auto slot = std::make_unique<ClientSlot>();
    slot->Index = static_cast<int>(slots_.size()) + 1;
    slot->sink = this;
    slot->connection = NewConnection();
    slot->connection->tag = slot->Index;
    slots_.push_back(std::move(slot));
  }
  for (auto& slot : slots_) Enter(*slot, SlotState::Free);
  ResetFreeList();

  const int port = app_.settings.RunningPort;
  if (port < 0 || port > 65535 || !listener_.Listen(static_cast<quint16>(port))) {
    return false;
  }
  acceptFailed_ = false;
  sweep_.start(SweepInterval());
  return true;
}

void PublicServer::Stop() {
  listener_.Close();
  scripts_.Stop();
  sweep_.stop();
  for (auto& slot : slots_) {
    slot->connection->Abort();
    Enter(*slot, SlotState::Free);
  }
  for (const Waiting& client : waiting_) ::close(client.fd);
  waiting_.clear();
  for (Lingering& entry : lingering_) Recycle(entry.connection);
  lingering_.clear();
  reading_.Clear();
  queued_.Clear();
  activeConnections_ = 0;
  ResetFreeList();
}

void PublicServer::ResetFreeList() {
  free_.clear();
  for (auto it = slots_.rbegin(); it != slots_.rend(); ++it) free_.push_back(it->get());
}

void PublicServer::OnIncoming(int fd, const Listener::Peer& peer) {
  // Out of slots while some are still waiting for their request: the longest waiting gives way.
  if (free_.empty() && !reading_.Empty()) EndWithoutReply(*reading_.Oldest());
  if (!free_.empty()) {
    ClientSlot* slot = free_.back();
    free_.pop_back();
    Take(*slot, {fd, peer});
    return;
  }
  // Every slot is busy: the connection waits its turn. Further ones wait in the listen queue
  // until this one is served, so waiting never costs more than the backlog.
  waiting_.push_back({fd, peer});
  listener_.Pause();
}

void PublicServer::Take(ClientSlot& slot, const Waiting& client) {
  slot.connection->Open(client.fd, client.peer.address, client.peer.port);
  slot.SlotPage.clear();
  slot.SlotBytesSent = 0;
  slot.SlotBusy = true;
  slot.SlotTable.clear();
  slot.SlotFolder.clear();
  slot.SlotEntry.clear();
  slot.peer = slot.connection->PeerAddress();
  ++slot.serial;
  Enter(slot, SlotState::Reading);
}

void PublicServer::ServeWaiting(ClientSlot& slot) {
  while (!slot.SlotBusy && !waiting_.empty()) {
    const Waiting client = waiting_.front();
    waiting_.pop_front();
    // The slot was put on the free list when it was released; it is taken again here.
    if (!free_.empty() && free_.back() == &slot) {
      free_.pop_back();
    } else {
      free_.erase(std::find(free_.begin(), free_.end(), &slot));
    }
    Take(slot, client);
  }
  if (waiting_.empty()) listener_.Resume();
}

void PublicServer::OnData(ClientSlot& slot) {
  QByteArray input = slot.connection->TakeInput();
  if (slot.state != SlotState::Reading && slot.state != SlotState::Body) return;
  if (slot.unfinished.isEmpty()) {
    slot.unfinished.swap(input);
  } else {
    slot.unfinished += input;
  }
  if (slot.state == SlotState::Body) {
    if (slot.unfinished.size() >= slot.bodySize) Handle(slot, std::move(slot.unfinished));
    return;
  }
  if (!slot.scanner.Complete(slot.unfinished)) {
    if (slot.unfinished.size() > limits_.maxUnfinished) {
      EndWithoutReply(slot);
    } else {
      slot.unfinished.squeeze();  // a read leaves room for a whole chunk behind the text
    }
    return;
  }
  if (activeConnections_ >= app_.settings.MaxConnect) {
    Enter(slot, SlotState::Queued);
    return;
  }
  Handle(slot, std::move(slot.unfinished));
}

void PublicServer::ServeQueued() {
  while (activeConnections_ < app_.settings.MaxConnect && !queued_.Empty()) {
    ClientSlot& slot = *queued_.Oldest();
    Handle(slot, std::move(slot.unfinished));
  }
}

void PublicServer::Handle(ClientSlot& slot, QByteArray text) {
  slot.unfinished.clear();
  // A request whose header lines have ended and that carries no body has nothing more to send:
  // its connection may be closed at once after the reply.
  slot.inputComplete = (text.contains("\r\n\r\n") || text.contains("\n\n")) &&
                       !text.startsWith("POST") && !text.startsWith("post");
  Enter(slot, SlotState::Handling);
  HandleRequest(app_, slot, text);
  if (slot.state == SlotState::Body) {
    slot.unfinished.swap(text);  // handled again once the rest has come
  } else if (slot.state == SlotState::Handling) {
    // A request that got no reply leaves the connection open for another try, within the
    // deadline.
    Enter(slot, SlotState::Reading);
    ServeQueued();
  }
}

void PublicServer::AwaitBody(ClientSlot& slot, qint64 size) {
  Enter(slot, SlotState::Body);
  slot.bodySize = size;
}

void PublicServer::RunScript(ClientSlot& slot, const ScriptRun& run) {
  Enter(slot, SlotState::Script);
  scripts_.Run(slot, run);
}

void PublicServer::Reply(ClientSlot& slot, const QByteArray& page, const ReplyKind& kind) {
  Enter(slot, SlotState::Sending);
  if (!app_.settings.HttpHeaders) {
    slot.connection->Send(page);
    return;
  }
  const QByteArray header = ReplyHeader(kind, page.size());
  slot.headerLeft = header.size();
  // A small page goes in the same write as its header; a large one is not copied for that.
  if (page.size() <= kJoinedReplySize) {
    slot.connection->Send(header + page);
  } else {
    slot.connection->Send(header);
    slot.connection->Send(page);
  }
}

void PublicServer::ReplyFile(ClientSlot& slot, int fileFd, qint64 length, const ReplyKind& kind) {
  Enter(slot, SlotState::Sending);
  if (app_.settings.HttpHeaders) {
    const QByteArray header = ReplyHeader(kind, length);
    slot.headerLeft = header.size();
    slot.connection->Send(header);
  }
  slot.connection->SendFile(fileFd, length);
}

void PublicServer::OnWritten(ClientSlot& slot, qint64 count) {
  // The completion line counts the page alone, with headers or without.
  const qint64 header = std::min(count, slot.headerLeft);
  slot.headerLeft -= header;
  slot.SlotBytesSent += count - header;
  slot.lastMove.start();
}

void PublicServer::OnDrained(ClientSlot& slot) {
  if (slot.state != SlotState::Sending) return;
  app_.desktop.AppendLog(CompletionLine(slot));
  Linger(slot.connection, slot.inputComplete);
  slot.connection = NewConnection();
  slot.connection->tag = slot.Index;
  Enter(slot, SlotState::Free);
  ServeWaiting(slot);
  ServeQueued();
}

void PublicServer::OnPeerClosed(ClientSlot& slot) {
  // A client that has only ended its sending direction still gets the reply under way or the
  // script's output; one still sending its request will send no more of it.
  if (slot.state == SlotState::Reading || slot.state == SlotState::Body) EndWithoutReply(slot);
}

void PublicServer::EndWithoutReply(ClientSlot& slot) {
  slot.connection->Abort();
  Enter(slot, SlotState::Free);
  ServeWaiting(slot);
  ServeQueued();
}

void PublicServer::Linger(Connection* connection, bool inputComplete) {
  connection->tag = 0;
  if (!connection->Finish(inputComplete)) {
    Recycle(connection);
    return;
  }
  if (lingering_.size() >= kMaxLingering) {
    Recycle(lingering_.front().connection);
    lingering_.pop_front();
  }
  Lingering entry{connection, {}};
  entry.since.start();
  lingering_.push_back(entry);
}

void PublicServer::OnLingerClosed(Connection* connection) {
  for (auto it = lingering_.begin(); it != lingering_.end(); ++it) {
    if (it->connection == connection) {
      lingering_.erase(it);
      Recycle(connection);
      return;
    }
  }
}

void PublicServer::Sweep() {
  for (auto& slot : slots_) {
    if (Overdue(*slot)) EndWithoutReply(*slot);
  }
  while (!lingering_.empty() && lingering_.front().since.hasExpired(limits_.lingerMs)) {
    Recycle(lingering_.front().connection);
    lingering_.pop_front();
  }
  if (acceptFailed_ && waiting_.empty()) {
    acceptFailed_ = false;
    listener_.Resume();
  }
}

bool PublicServer::Overdue(const ClientSlot& slot) const {
  switch (slot.state) {
    case SlotState::Reading:
    case SlotState::Body:  // the form, too, comes within the time of the request
      return slot.accepted.hasExpired(limits_.requestMs);
    case SlotState::Sending:
      return slot.lastMove.hasExpired(limits_.idleMs);
    case SlotState::Free:
    case SlotState::Queued:  // complete: it waits for the server, not for the client
    case SlotState::Handling:
    case SlotState::Script:  // the script runner keeps its own time
      break;
  }
  return false;
}

void PublicServer::ShowConnections() {
  app_.desktop.SetPanel(2, ConnectionsText(activeConnections_, app_.settings.MaxConnect));
}

QByteArray PublicServer::CompletionLine(const ClientSlot& slot) const {
  return FormatStr("[" + slot.peer + "]", 16) + FormatStr(slot.SlotRequest, 40) + " (" +
         QByteArray::number(slot.SlotBytesSent) + ")";
}

}  // namespace orvane
