#include "net/epolldispatcher.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <algorithm>

namespace orvane {

namespace {

constexpr int kEventsPerWait = 256;
constexpr uint64_t kWakeTag = uint64_t(1) << 63;

}  // namespace

EpollDispatcher::EpollDispatcher() {
  epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
  wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.u64 = kWakeTag;
  ::epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &event);
  clock_.start();
}

EpollDispatcher::~EpollDispatcher() {
  ::close(wake_);
  ::close(epoll_);
}

void EpollDispatcher::wakeUp() {
  // On the loop's own thread the loop is not waiting: its next wait need only not block. An
  // event posted after each reply (the log's flush) would otherwise cost a write, a wake-up
  // and a read of the eventfd.
  if (QThread::currentThread() == thread()) {
    wokenHere_ = true;
    return;
  }
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
}

void EpollDispatcher::interrupt() {
  interrupted_ = true;
  wakeUp();
}

void EpollDispatcher::registerSocketNotifier(QSocketNotifier* notifier) {
  const int fd = static_cast<int>(notifier->socket());
  Notifiers& entry = notifiers_[fd];
  switch (notifier->type()) {
    case QSocketNotifier::Read:
      entry.read = notifier;
      break;
    case QSocketNotifier::Write:
      entry.write = notifier;
      break;
    case QSocketNotifier::Exception:
      entry.exception = notifier;
      break;
  }
  Rewatch(fd);
}

void EpollDispatcher::unregisterSocketNotifier(QSocketNotifier* notifier) {
  const int fd = static_cast<int>(notifier->socket());
  const auto found = notifiers_.find(fd);
  if (found == notifiers_.end()) return;
  Notifiers& entry = found->second;
  if (entry.read == notifier) entry.read = nullptr;
  if (entry.write == notifier) entry.write = nullptr;
  if (entry.exception == notifier) entry.exception = nullptr;
  Rewatch(fd);
}

void EpollDispatcher::Rewatch(int fd) {
  const auto found = notifiers_.find(fd);
  if (found == notifiers_.end()) return;
  const Notifiers& entry = found->second;
  if (entry.read == nullptr && entry.write == nullptr && entry.exception == nullptr) {
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
    notifiers_.erase(found);
    return;
  }
  epoll_event event{};
  event.events = (entry.read ? EPOLLIN : 0u) | (entry.write ? EPOLLOUT : 0u) |
                 (entry.exception ? EPOLLPRI : 0u);
  event.data.u64 = kNotifierTag | static_cast<uint32_t>(fd);
  if (::epoll_ctl(epoll_, EPOLL_CTL_MOD, fd, &event) != 0) {
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event);
  }
}

void EpollDispatcher::Activate(int fd, uint32_t events) {
  // Each notifier is looked up again: the one before may have taken it away.
  const bool failed = events & (EPOLLERR | EPOLLHUP);
  const auto send = [this, fd](QSocketNotifier* Notifiers::*which) {
    const auto found = notifiers_.find(fd);
    if (found == notifiers_.end() || found->second.*which == nullptr) return;
    QEvent event(QEvent::SockAct);
    QCoreApplication::sendEvent(found->second.*which, &event);
  };
  if (events & EPOLLPRI) send(&Notifiers::exception);
  if ((events & EPOLLIN) || failed) send(&Notifiers::read);
  if ((events & EPOLLOUT) || failed) send(&Notifiers::write);
}

void EpollDispatcher::registerTimer(int timerId, qint64 interval, Qt::TimerType type,
                                    QObject* object) {
  timers_.push_back({timerId, interval, type, object, clock_.elapsed() + interval});
}

bool EpollDispatcher::unregisterTimer(int timerId) {
  const auto found = std::find_if(timers_.begin(), timers_.end(),
                                  [timerId](const Timer& t) { return t.id == timerId; });
  if (found == timers_.end()) return false;
  timers_.erase(found);
  return true;
}

bool EpollDispatcher::unregisterTimers(QObject* object) {
  const auto before = timers_.size();
  std::erase_if(timers_, [object](const Timer& t) { return t.object == object; });
  return timers_.size() != before;
}

QList<QAbstractEventDispatcher::TimerInfo> EpollDispatcher::registeredTimers(
    QObject* object) const {
  QList<TimerInfo> list;
  for (const Timer& t : timers_) {
    if (t.object == object) list.append(TimerInfo(t.id, static_cast<int>(t.interval), t.type));
  }
  return list;
}

int EpollDispatcher::remainingTime(int timerId) {
  for (const Timer& t : timers_) {
    if (t.id == timerId) return static_cast<int>(std::max<qint64>(0, t.due - clock_.elapsed()));
  }
  return -1;
}

int EpollDispatcher::WaitMs() const {
  if (timers_.empty()) return -1;
  qint64 first = timers_.front().due;
  for (const Timer& t : timers_) first = std::min(first, t.due);
  return static_cast<int>(std::clamp<qint64>(first - clock_.elapsed(), 0, 24 * 3600 * 1000));
}

bool EpollDispatcher::FireTimers() {
  const qint64 now = clock_.elapsed();
  // The due ones are taken first: a timer's event may start or stop others.
  std::vector<int> due;
  for (Timer& t : timers_) {
    if (t.due > now) continue;
    due.push_back(t.id);
    // The next time keeps the interval's rhythm, without a burst after a long handler.
    t.due = std::max(t.due + t.interval, now + (t.interval > 0 ? 1 : 0));
  }
  for (int id : due) {
    const auto found =
        std::find_if(timers_.begin(), timers_.end(), [id](const Timer& t) { return t.id == id; });
    if (found == timers_.end()) continue;
    QTimerEvent event(id);
    QCoreApplication::sendEvent(found->object, &event);
  }
  return !due.empty();
}

bool EpollDispatcher::processEvents(QEventLoop::ProcessEventsFlags flags) {
  interrupted_ = false;
  Q_EMIT awake();
  wokenHere_ = false;
  QCoreApplication::sendPostedEvents();
  const bool wait = (flags & QEventLoop::WaitForMoreEvents) && !interrupted_ && !wokenHere_;
  if (wait) Q_EMIT aboutToBlock();
  epoll_event events[kEventsPerWait];
  int count = ::epoll_wait(epoll_, events, kEventsPerWait, wait ? WaitMs() : 0);
  if (count < 0) count = 0;  // EINTR: a signal; the loop comes round again
  if (count > 0 && wait) Q_EMIT awake();
  bool handled = false;
  bool foreignEvents = false;
  for (int i = 0; i < count; ++i) {
    const uint64_t data = events[i].data.u64;
    if (data == kWakeTag) {
      uint64_t value;
      [[maybe_unused]] const ssize_t n = ::read(wake_, &value, sizeof value);
      continue;
    }
    handled = true;
    if (data & kNotifierTag) {
      Activate(static_cast<int>(data & 0xFFFFFFFFu), events[i].events);
    } else if (foreign) {
      foreign(static_cast<int>(data), events[i].events);
      foreignEvents = true;
    }
  }
  if (foreignEvents && foreignRoundEnd) foreignRoundEnd();
  if (FireTimers()) handled = true;
  return handled;
}

}  // namespace orvane
