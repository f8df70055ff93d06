#include "web/publicserver.h"

#include <unistd.h>
#include <csignal>

#include "web/connection.h"
#include "web/requesthandler.h"
#include "web/requesttext.h"

namespace orvane {

namespace {

constexpr int kListenBacklog = 1024;
// Finished connections waiting for their peer to close; past this the oldest is closed at once.
constexpr size_t kMaxLingering = 1024;
// A request line still without its target is kept for the next piece only up to this size.
constexpr qsizetype kMaxUnfinished = 64 * 1024;

}  // namespace

PublicServer::PublicServer(AppState& app, QObject* parent) : QObject(parent), app_(app) {
  listener_.onIncoming = [this](qintptr fd) { OnIncoming(fd); };
  listener_.setListenBacklogSize(kListenBacklog);
  connect(&listener_, &QTcpServer::acceptError, this, [this] { acceptFailed_ = true; });
  connect(&sweep_, &QTimer::timeout, this, &PublicServer::Sweep);
}

PublicServer::~PublicServer() {
  Stop();
}

void PublicServer::SetTimeouts(int idleMs, int lingerMs) {
  idleMs_ = idleMs;
  lingerMs_ = lingerMs;
  if (sweep_.isActive()) sweep_.start(SweepInterval());
}

int PublicServer::SweepInterval() const {
  return std::clamp(std::min(idleMs_, lingerMs_) / 4, 20, 1000);
}

Connection* PublicServer::NewConnection() {
  if (!spare_.empty()) {
    Connection* connection = spare_.back();
    spare_.pop_back();
    return connection;
  }
  auto* connection = new Connection(this);
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
  const int count = app_.settings.MaxConnect;
  while (static_cast<int>(slots_.size()) > count) {
    Recycle(slots_.back()->connection);
    slots_.pop_back();
  }
  while (static_cast<int>(slots_.size()) < count) {
    auto slot = std::make_unique<ClientSlot>();
    slot->Index = static_cast<int>(slots_.size()) + 1;
    slot->connection = NewConnection();
    slot->connection->tag = slot->Index;
    slots_.push_back(std::move(slot));
  }
  for (auto& slot : slots_) Release(*slot);

  const int port = app_.settings.RunningPort;
  if (port < 0 || port > 65535 ||
      !listener_.listen(QHostAddress::Any, static_cast<quint16>(port))) {
    return false;
  }
  acceptFailed_ = false;
  sweep_.start(SweepInterval());
  return true;
}

void PublicServer::Stop() {
  listener_.close();
  sweep_.stop();
  for (auto& slot : slots_) {
    slot->connection->Abort();
    Release(*slot);
  }
  for (qintptr fd : waiting_) ::close(static_cast<int>(fd));
  waiting_.clear();
  for (Lingering& entry : lingering_) Recycle(entry.connection);
  lingering_.clear();
  activeConnections_ = 0;
}

void PublicServer::OnIncoming(qintptr fd) {
  for (auto& slot : slots_) {
    if (!slot->SlotBusy) {
      Take(*slot, fd);
      return;
    }
  }
  // Every slot is busy: the connection waits its turn. Further ones wait in the listen queue
  // until this one is served, so waiting never costs more than the backlog.
  waiting_.push_back(fd);
  listener_.pauseAccepting();
}

void PublicServer::Take(ClientSlot& slot, qintptr fd) {
  if (!slot.connection->Open(fd)) return;
  ++activeConnections_;
  slot.SlotPage.clear();
  ShowConnections();
  slot.SlotBytesSent = 0;
  slot.SlotBusy = true;
  slot.SlotTable.clear();
  slot.SlotFolder.clear();
  slot.SlotEntry.clear();
  slot.peer = slot.connection->PeerAddress();
  slot.replied = false;
  slot.unfinished.clear();
  slot.lastMove.start();
}

void PublicServer::ServeWaiting(ClientSlot& slot) {
  while (!slot.SlotBusy && !waiting_.empty()) {
    const qintptr fd = waiting_.front();
    waiting_.pop_front();
    Take(slot, fd);
  }
  if (waiting_.empty() && listener_.isListening()) listener_.resumeAccepting();
}

void PublicServer::OnData(ClientSlot& slot) {
  slot.lastMove.restart();
  QByteArray text = slot.unfinished + slot.connection->TakeInput();
  slot.unfinished.clear();
  HandleRequest(*this, slot, text);
  if (!slot.replied && RequestLineUnfinished(text) && text.size() <= kMaxUnfinished) {
    slot.unfinished = text;
  }
}

void PublicServer::Reply(ClientSlot& slot, const QByteArray& page) {
  slot.replied = true;
  slot.connection->DiscardInput();
  slot.connection->Send(page);
  slot.lastMove.restart();
}

void PublicServer::ReplyFile(ClientSlot& slot, int fileFd, qint64 length) {
  slot.replied = true;
  slot.connection->DiscardInput();
  slot.connection->SendFile(fileFd, length);
  slot.lastMove.restart();
}

void PublicServer::OnWritten(ClientSlot& slot, qint64 count) {
  slot.SlotBytesSent += count;
  slot.lastMove.restart();
}

void PublicServer::OnDrained(ClientSlot& slot) {
  if (!slot.replied) return;
  --activeConnections_;
  app_.desktop.AppendLog(CompletionLine(slot));
  ShowConnections();
  Linger(slot.connection);
  slot.connection = NewConnection();
  slot.connection->tag = slot.Index;
  Release(slot);
  ServeWaiting(slot);
}

void PublicServer::OnPeerClosed(ClientSlot& slot) {
  // A client that has only ended its sending direction still gets the reply under way.
  if (!slot.replied) EndWithoutReply(slot);
}

void PublicServer::EndWithoutReply(ClientSlot& slot) {
  slot.connection->Abort();
  activeConnections_ = std::max(0, activeConnections_ - 1);
  ShowConnections();
  Release(slot);
  ServeWaiting(slot);
}

void PublicServer::Release(ClientSlot& slot) {
  slot.SlotBytesSent = 0;
  slot.SlotBusy = false;
  slot.SlotPage.clear();
  slot.SlotRequest.clear();
  slot.SlotTable.clear();
  slot.SlotFolder.clear();
  slot.SlotEntry.clear();
  slot.replied = false;
  slot.unfinished.clear();
}

void PublicServer::Linger(Connection* connection) {
  connection->tag = 0;
  if (!connection->Finish()) {
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
    if (slot->SlotBusy && slot->lastMove.hasExpired(idleMs_)) EndWithoutReply(*slot);
  }
  while (!lingering_.empty() && lingering_.front().since.hasExpired(lingerMs_)) {
    Recycle(lingering_.front().connection);
    lingering_.pop_front();
  }
  if (acceptFailed_ && waiting_.empty() && listener_.isListening()) {
    acceptFailed_ = false;
    listener_.resumeAccepting();
  }
}

void PublicServer::ShowConnections() {
  app_.desktop.SetPanel(2, ConnectionsText(activeConnections_, app_.settings.MaxConnect));
}

QByteArray PublicServer::CompletionLine(const ClientSlot& slot) const {
  return FormatStr("[" + slot.peer + "]", 16) + FormatStr(slot.SlotRequest, 40) + " (" +
         QByteArray::number(slot.SlotBytesSent) + ")";
}

}  // namespace orvane
