#include "net/poller.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <QCoreApplication>

#include "net/epolldispatcher.h"

namespace orvane {

Poller& Poller::Instance() {
  static Poller* instance = nullptr;
  if (instance == nullptr) {
    instance = new Poller(QCoreApplication::instance());
    QObject::connect(instance, &QObject::destroyed, [] { instance = nullptr; });
  }
  return *instance;
}

Poller::Poller(QObject* parent) : QObject(parent) {
  if (auto* own = qobject_cast<EpollDispatcher*>(QAbstractEventDispatcher::instance())) {
    epoll_ = own->EpollFd();
    ownEpoll_ = false;
    own->foreign = [this](int fd, uint32_t events) { Deliver(fd, events); };
    own->foreignRoundEnd = [this] { EndRound(); };
    return;
  }
  epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
  notifier_ = new QSocketNotifier(epoll_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &Poller::Dispatch);
}

Poller::~Poller() {
  if (auto* own = qobject_cast<EpollDispatcher*>(QAbstractEventDispatcher::instance());
      own != nullptr && !ownEpoll_) {
    own->foreign = nullptr;
    own->foreignRoundEnd = nullptr;
  }
  delete notifier_;
  if (ownEpoll_ && epoll_ >= 0) ::close(epoll_);
}

void Poller::Watch(int fd, Client* client, bool read, bool write) {
  if (fd < 0) return;
  if (static_cast<size_t>(fd) >= entries_.size()) entries_.resize(static_cast<size_t>(fd) + 64);
  Entry& entry = entries_[static_cast<size_t>(fd)];
  const uint32_t events = (read ? EPOLLIN : 0u) | (write ? EPOLLOUT : 0u);
  entry.client = client;
  if (entry.added && entry.events == events) return;
  epoll_event event{};
  event.events = events;
  event.data.fd = fd;
  if (!entry.added) {
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event);
    entry.added = true;
  } else {
    ::epoll_ctl(epoll_, EPOLL_CTL_MOD, fd, &event);
  }
  entry.events = events;
}

bool Poller::OfferFirstRead(int fd, Client* client) {
  if (!inRound_ || fd < 0) return false;
  if (static_cast<size_t>(fd) >= entries_.size()) entries_.resize(static_cast<size_t>(fd) + 64);
  entries_[static_cast<size_t>(fd)].client = client;
  fresh_.emplace_back(fd, client);
  return true;
}

void Poller::EndRound() {
  // The clients served here may free slots and take further connections: they are offered a
  // read in this same loop, each once.
  for (size_t i = 0; i < fresh_.size(); ++i) {
    const auto [fd, client] = fresh_[i];
    // One that has closed meanwhile is forgotten; one whose descriptor is already in use again
    // only costs a read that finds nothing.
    if (entries_[static_cast<size_t>(fd)].client == client) client->OnReady(true, false, false);
  }
  fresh_.clear();
  inRound_ = false;
}

void Poller::Forget(int fd) {
  if (fd < 0 || static_cast<size_t>(fd) >= entries_.size()) return;
  entries_[static_cast<size_t>(fd)] = Entry{};
}

void Poller::Dispatch() {
  epoll_event events[256];
  const int count = ::epoll_wait(epoll_, events, 256, 0);
  for (int i = 0; i < count; ++i) Deliver(events[i].data.fd, events[i].events);
  EndRound();
}

void Poller::Deliver(int fd, uint32_t ready) {
  if (fd < 0 || static_cast<size_t>(fd) >= entries_.size()) return;
  // An earlier event of this batch may have closed the descriptor, or even opened it anew;
  // readiness is checked by the client's own non-blocking calls, so a stale event only costs
  // one call that finds nothing.
  Client* client = entries_[static_cast<size_t>(fd)].client;
  if (client == nullptr) return;
  inRound_ = true;
  const bool failed = ready & (EPOLLERR | EPOLLHUP);
  client->OnReady((ready & EPOLLIN) || failed, (ready & EPOLLOUT) || failed, failed);
}

}  // namespace orvane
