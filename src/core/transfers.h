#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <deque>
#include <functional>
#include <map>

namespace orvane {

// How the servers report the transfers they make: a reply going out or an upload coming in, its
// progress, and its end, whole or cut. Only a window listens; headless, nobody is told.
class TransferReport {
 public:
  virtual ~TransferReport() = default;
  // A transfer starts; the number names it in the calls that follow.
  virtual int Begin(const QByteArray& address, const QByteArray& name, qint64 total,
                    bool upload) = 0;
  virtual void Progress(int id, qint64 done) = 0;
  virtual void End(int id, bool whole) = 0;
};

// The transfers in progress, and those ended in the last three seconds, for a view to show.
// Each report costs a lookup; what a view shows is read when it asks, as often as it likes.
class TransferList : public TransferReport {
 public:
  static constexpr qint64 kShownAfterEndMs = 3000;
  // Ended rows kept at most: a busy server ends thousands a second, and a view shows a screenful.
  static constexpr size_t kMaxEnded = 100;

  struct Transfer {
    QByteArray address;
    QByteArray name;
    qint64 done = 0;
    qint64 total = 0;
    bool upload = false;
    qint64 started = 0;  // ms of the list's clock
    qint64 ended = -1;   // -1 while it runs
    bool whole = false;
  };

  // `clock` gives the time in ms; a monotonic clock of its own by default.
  explicit TransferList(std::function<qint64()> clock = {});

  int Begin(const QByteArray& address, const QByteArray& name, qint64 total, bool upload) override;
  void Progress(int id, qint64 done) override;
  void End(int id, bool whole) override;

  // Drops the transfers ended more than three seconds ago; true when any was dropped.
  bool Prune();
  qint64 Now() const { return clock_(); }
  // In the order they began.
  const std::map<int, Transfer>& Transfers() const { return transfers_; }

 private:
  std::function<qint64()> clock_;
  QElapsedTimer elapsed_;
  std::map<int, Transfer> transfers_;
  std::deque<int> ended_;  // in the order they ended
  int next_ = 1;
};

}  // namespace orvane
