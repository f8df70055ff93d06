#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace orvane {

// Brings SIGINT, SIGTERM and SIGHUP into the event loop: the signal handler only writes one byte to
// a pipe, and the watcher emits Stopped from the loop. Install() catches the signals from the first
// moment of the program; one that arrives before the watcher exists is delivered once it does.
class SignalWatcher : public QObject {
  Q_OBJECT

 public:
  static void Install();

  explicit SignalWatcher(QObject* parent = nullptr);
  ~SignalWatcher() override;

 Q_SIGNALS:
  // SIGINT or SIGTERM: the program is asked to end.
  void Stopped(int signal);
  // SIGHUP: the administration site is to be restarted.
  void Restart();

 private:
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace orvane
