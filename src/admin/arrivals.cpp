#include "admin/arrivals.h"

#include "admin/headerlines.h"
#include "net/connection.h"

namespace orvane {

namespace {

// A first block this large is taken as it is, header ended or not.
constexpr qsizetype kMaxHeader = 64 * 1024;

}  // namespace

Arrivals::~Arrivals() {
  Clear();
}

void Arrivals::Add(int fd, const Listener::Peer& peer) {
  auto arrival = std::make_unique<Arrival>();
  Arrival* entry = arrival.get();
  entry->connection = new Connection(this);
  entry->connection->Open(fd, peer.address, peer.port);
  entry->since.start();
  Connection* connection = entry->connection;
  connect(connection, &Connection::DataArrived, this, [this, entry] { OnData(*entry); });
  // One that has sent its whole request and ended its sending direction still gets its reply.
  connect(connection, &Connection::PeerClosed, this, [this, entry] {
    if (!entry->ready) Drop(entry->connection);
  });
  connect(connection, &Connection::Failed, this, [this, connection] { Drop(connection); });
  arrivals_.push_back(std::move(arrival));
}

void Arrivals::OnData(Arrival& arrival) {
  // Looks again only at the end of what was seen before, where a blank line may have been cut.
  const qsizetype from = std::max<qsizetype>(0, arrival.text.size() - 3);
  arrival.text += arrival.connection->TakeInput();
  if (HeaderEnd(arrival.text, from) < 0 && arrival.text.size() < kMaxHeader) return;
  arrival.ready = true;
  arrival.connection->HoldInput(true);
  Q_EMIT Ready();
}

bool Arrivals::MakeRoom() {
  if (arrivals_.size() < kMaxArrivals) return true;
  for (const auto& arrival : arrivals_) {
    if (!arrival->ready) {
      Drop(arrival->connection);
      return true;
    }
  }
  return false;
}

Connection* Arrivals::TakeReady(QByteArray& text) {
  for (auto it = arrivals_.begin(); it != arrivals_.end(); ++it) {
    if (!(*it)->ready) continue;
    Connection* connection = (*it)->connection;
    text = std::move((*it)->text);
    disconnect(connection, nullptr, this, nullptr);
    connection->setParent(nullptr);
    arrivals_.erase(it);
    return connection;
  }
  return nullptr;
}

void Arrivals::Sweep(int limitMs) {
  for (size_t i = 0; i < arrivals_.size();) {
    if (!arrivals_[i]->ready && arrivals_[i]->since.hasExpired(limitMs)) {
      Drop(arrivals_[i]->connection);
    } else {
      ++i;
    }
  }
}

void Arrivals::Drop(Connection* connection) {
  for (auto it = arrivals_.begin(); it != arrivals_.end(); ++it) {
    if ((*it)->connection != connection) continue;
    connection->Abort();
    connection->deleteLater();
    arrivals_.erase(it);
    return;
  }
}

void Arrivals::Clear() {
  while (!arrivals_.empty()) Drop(arrivals_.front()->connection);
}

}  // namespace orvane
