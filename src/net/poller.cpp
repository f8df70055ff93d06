#include "net/poller.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <QCoreApplication>

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
  epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
  notifier_ = new QSocketNotifier(epoll_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &Poller::Dispatch);
}

Poller::~Poller() {
  delete notifier_;
  if (epoll_ >= 0) ::close(epoll_);
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

void Poller::Forget(int fd) {
  if (fd < 0 || static_cast<size_t>(fd) >= entries_.size()) return;
  entries_[static_cast<size_t>(fd)] = Entry{};
}

void Poller::Dispatch() {
  epoll_event events[256];
  const int count = ::epoll_wait(epoll_, events, 256, 0);
  for (int i = 0; i < count; ++i) {
    const int fd = events[i].data.fd;
    if (static_cast<size_t>(fd) >= entries_.size()) continue;
    // An earlier event of this batch may have closed the descriptor, or even opened it anew;
    // readiness is checked by the client's own non-blocking calls, so a stale event only costs
    // one call that finds nothing.
    Client* client = entries_[static_cast<size_t>(fd)].client;
    if (client == nullptr) continue;
    const uint32_t ready = events[i].events;
    const bool failed = ready & (EPOLLERR | EPOLLHUP);
    client->OnReady((ready & EPOLLIN) || failed, (ready & EPOLLOUT) || failed, failed);
  }
}

}  // namespace orvane
