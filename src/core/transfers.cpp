#include "core/transfers.h"

namespace orvane {

TransferList::TransferList(std::function<qint64()> clock) : clock_(std::move(clock)) {
  if (!clock_) {
    elapsed_.start();
    clock_ = [this] { return elapsed_.elapsed(); };
  }
}

int TransferList::Begin(const QByteArray& address, const QByteArray& name, qint64 total,
                        bool upload) {
  const int id = next_++;
  transfers_[id] = {address, name, 0, total, upload, clock_(), -1, false};
  return id;
}

void TransferList::Progress(int id, qint64 done) {
  const auto it = transfers_.find(id);
  if (it != transfers_.end()) it->second.done = done;
}

void TransferList::End(int id, bool whole) {
  const auto it = transfers_.find(id);
  if (it == transfers_.end() || it->second.ended >= 0) return;
  it->second.ended = clock_();
  it->second.whole = whole;
  ended_.push_back(id);
  if (ended_.size() > kMaxEnded) {
    transfers_.erase(ended_.front());
    ended_.pop_front();
  }
}

bool TransferList::Prune() {
  const qint64 now = clock_();
  bool dropped = false;
  while (!ended_.empty() && now - transfers_.at(ended_.front()).ended > kShownAfterEndMs) {
    transfers_.erase(ended_.front());
    ended_.pop_front();
    dropped = true;
  }
  return dropped;
}

}  // namespace orvane
