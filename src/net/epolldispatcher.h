#pragma once
// The event loop of a run without a window: one epoll set for the socket notifiers, the timers'
// earliest deadline as its wait, an eventfd for wake-ups and posted events, and the poller's own
// descriptors in the same set. One system call a wake-up, and none of the generic dispatcher's
// bookkeeping around it.

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <functional>
#include <unordered_map>
#include <vector>

namespace orvane {

class EpollDispatcher final : public QAbstractEventDispatcher {
  Q_OBJECT

 public:
  EpollDispatcher();
  ~EpollDispatcher() override;

  // The epoll set, for a poller that puts its descriptors in it: their events go to `foreign`.
  int EpollFd() const { return epoll_; }
  std::function<void(int fd, uint32_t events)> foreign;
  // Called once the events of a wait that had some for the poller are delivered.
  std::function<void()> foreignRoundEnd;
  // Marks the poller's own entries in the set (their data is the descriptor alone).
  static constexpr uint64_t kNotifierTag = uint64_t(1) << 62;

  bool processEvents(QEventLoop::ProcessEventsFlags flags) override;
  void registerSocketNotifier(QSocketNotifier* notifier) override;
  void unregisterSocketNotifier(QSocketNotifier* notifier) override;
  void registerTimer(int timerId, qint64 interval, Qt::TimerType type, QObject* object) override;
  bool unregisterTimer(int timerId) override;
  bool unregisterTimers(QObject* object) override;
  QList<TimerInfo> registeredTimers(QObject* object) const override;
  int remainingTime(int timerId) override;
  void wakeUp() override;
  void interrupt() override;

 private:
  struct Notifiers {
    QSocketNotifier* read = nullptr;
    QSocketNotifier* write = nullptr;
    QSocketNotifier* exception = nullptr;
  };
  struct Timer {
    int id;
    qint64 interval;
    Qt::TimerType type;
    QObject* object;
    qint64 due;  // on clock_
  };
  void Rewatch(int fd);
  void Activate(int fd, uint32_t events);
  // Sends the events of the timers that are due; true when any was.
  bool FireTimers();
  int WaitMs() const;

  int epoll_ = -1;
  int wake_ = -1;
  bool interrupted_ = false;
  bool wokenHere_ = false;  // an event posted from the loop's own thread
  QElapsedTimer clock_;
  std::unordered_map<int, Notifiers> notifiers_;
  std::vector<Timer> timers_;
};

}  // namespace orvane
