#include "net/lingering.h"

#include <algorithm>

#include "net/connection.h"

namespace orvane {

namespace {

// Past this the oldest is closed at once: each one holds a descriptor.
constexpr size_t kMaxLingering = 1024;

}  // namespace

Lingering::Lingering(std::function<void(Connection*)> release, QObject* parent)
    : QObject(parent), release_(std::move(release)) {
  connect(&sweep_, &QTimer::timeout, this, &Lingering::Sweep);
}

Lingering::~Lingering() {
  Clear();
}

void Lingering::SetLimit(int lingerMs) {
  lingerMs_ = lingerMs;
}

void Lingering::Add(Connection* connection, bool inputComplete) {
  connection->tag = 0;
  if (!connection->Finish(inputComplete)) {
    release_(connection);
    return;
  }
  if (waiting_.size() >= kMaxLingering) {
    Connection* oldest = waiting_.front().connection;
    waiting_.pop_front();
    oldest->disconnect(this);
    Close(oldest);
    release_(oldest);
  }
  auto done = [this, connection] { Release(connection); };
  connect(connection, &Connection::Closed, this, done);
  connect(connection, &Connection::Failed, this, done);
  Entry entry{connection, {}};
  entry.since.start();
  waiting_.push_back(entry);
  if (!sweep_.isActive()) sweep_.start(std::clamp(lingerMs_ / 4, 20, 1000));
}

void Lingering::Close(Connection* connection) {
  // A reply still going out is cut with a reset, so it is never taken for a whole one.
  if (connection->Draining()) {
    connection->Reset();
  } else {
    connection->Abort();
  }
}

void Lingering::Release(Connection* connection) {
  auto it = std::find_if(waiting_.begin(), waiting_.end(), [connection](const Entry& entry) {
    return entry.connection == connection;
  });
  if (it == waiting_.end()) return;
  waiting_.erase(it);
  connection->disconnect(this);
  Close(connection);
  release_(connection);
}

void Lingering::Sweep() {
  while (!waiting_.empty() && waiting_.front().since.hasExpired(lingerMs_)) {
    Release(waiting_.front().connection);
  }
  if (waiting_.empty()) sweep_.stop();
}

void Lingering::Clear() {
  while (!waiting_.empty()) Release(waiting_.front().connection);
  sweep_.stop();
}

}  // namespace orvane
