#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace orvane {

// Brings SIGINT and SIGTERM into the event loop: the signal handler only writes one byte to a
// pipe, and the watcher emits Stopped from the loop.
class SignalWatcher : public QObject {
  Q_OBJECT

 public:
  explicit SignalWatcher(QObject* parent = nullptr);
  ~SignalWatcher() override;

 Q_SIGNALS:
  void Stopped(int signal);

 private:
  int fds_[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace orvane
