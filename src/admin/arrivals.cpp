#include "admin/arrivals.h"

#include "net/connection.h"
#include "net/headerlines.h"

namespace orvane {

namespace {

// A first block this large is taken as it is, header ended or not.
constexpr qsizetype kMaxHeader = 64 * 1024;

// Whether the form a request's header lines announce has all arrived: a request that is no
// form, an upload (whose body is received as it comes), and a form too large to wait for count
// as arrived.
bool FormArrived(const QByteArray& text, qsizetype headerEnd) {
  if (!text.startsWith("POST ")) return true;
  if (HeaderValue(text, "content-type:").startsWith("multipart/")) return true;
  const qint64 length = ContentLength(text);
  return length < 0 || length > Arrivals::kMaxForm || text.size() - headerEnd >= length;
}

}  // namespace

Arrivals::~Arrivals() {
  Clear();
}

void Arrivals::Add(int fd, const Listener::Peer& peer, const TlsContext* tls) {
  // One address may hold only a few places: the oldest of its own gives way.
  int same = 0;
  Connection* oldest = nullptr;
  for (const auto& arrival : arrivals_) {
    if (arrival->connection->PeerAddress() != peer.address) continue;
    if (same++ == 0) oldest = arrival->connection;
  }
  if (same >= kMaxPerAddress) Drop(oldest);
  auto arrival = std::make_unique<Arrival>();
  Arrival* entry = arrival.get();
  entry->connection = new Connection(this);
  entry->connection->Open(fd, peer.address, peer.port, tls);
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
  if (arrival.headerEnd < 0) arrival.headerEnd = HeaderEnd(arrival.text, from);
  if (arrival.headerEnd < 0) {
    if (arrival.text.size() < kMaxHeader) return;
  } else if (!FormArrived(arrival.text, arrival.headerEnd)) {
    return;
  }
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

Connection* Arrivals::TakeReady(QByteArray& text, const QByteArray& first) {
  auto it = arrivals_.end();
  for (auto at = arrivals_.begin(); at != arrivals_.end(); ++at) {
    if (!(*at)->ready) continue;
    if (it == arrivals_.end()) it = at;
    if (!first.isEmpty() && (*at)->connection->PeerAddress() == first) {
      it = at;
      break;
    }
  }
  if (it != arrivals_.end()) {
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
