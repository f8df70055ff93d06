#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <deque>
#include <functional>

namespace orvane {

class Connection;

// Finished connections waiting for their peers to close, so that a reply is never destroyed by a
// reset: the one policy of both ports. Each is let go when its peer closes, when it has waited
// `lingerMs`, or, oldest first, when more than a fixed number wait.
class Lingering : public QObject {
  Q_OBJECT

 public:
  // `release` takes back each connection once it is closed.
  explicit Lingering(std::function<void(Connection*)> release, QObject* parent = nullptr);
  ~Lingering() override;

  // Finishes `connection` (see Connection::Finish) and keeps it until it is closed.
  void Add(Connection* connection, bool inputComplete = false);
  void SetLimit(int lingerMs);
  // Closes and releases every connection still waiting.
  void Clear();
  size_t Count() const { return waiting_.size(); }

 private:
  struct Entry {
    Connection* connection;
    QElapsedTimer since;
  };
  void Release(Connection* connection);
  static void Close(Connection* connection);
  void Sweep();

  std::function<void(Connection*)> release_;
  std::deque<Entry> waiting_;
  QTimer sweep_;
  int lingerMs_ = 5000;
};

}  // namespace orvane
