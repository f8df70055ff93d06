#include "shell/outputqueue.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QElapsedTimer>
#include <cerrno>

namespace orvane {

namespace {

// How long the queue may still try to write what it holds when the program ends.
constexpr int kLastFlushMs = 1000;

}  // namespace

OutputQueue::OutputQueue(int fd, qsizetype capacity, QObject* parent)
    : QObject(parent), fd_(fd), capacity_(capacity) {
  struct stat info;
  if (::fstat(fd, &info) != 0) {
    broken_ = true;
    return;
  }
  if (S_ISREG(info.st_mode)) return;  // a file takes what it is given
  if (S_ISSOCK(info.st_mode)) {
    socket_ = true;  // each send can be made non-blocking by itself
  } else {
    // Setting O_NONBLOCK on the inherited descriptor would change it for every process sharing
    // it (the terminal of the shell that started us); a pipe or terminal opened again is ours.
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    const int own = ::open(self.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (own >= 0) {
      fd_ = own;
      ownFd_ = true;
    } else {
      const int flags = ::fcntl(fd, F_GETFL);
      if (flags >= 0) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    }
  }
  notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Write);
  notifier_->setEnabled(false);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &OutputQueue::Flush);
}

OutputQueue::~OutputQueue() {
  QElapsedTimer clock;
  clock.start();
  while (!broken_ && Held() > 0 && !clock.hasExpired(kLastFlushMs)) {
    pollfd wait{fd_, POLLOUT, 0};
    if (::poll(&wait, 1, 50) < 0 && errno != EINTR) break;
    Flush();
  }
  notifier_.reset();
  if (ownFd_) ::close(fd_);
}

bool OutputQueue::Write(const QByteArray& line) {
  if (broken_) return false;
  if (Held() + line.size() > capacity_) {
    ++dropped_;
    return false;
  }
  // What has been written goes before more is added, so the buffer never holds more than the
  // capacity, however the writes and the reader interleave.
  if (offset_ > 0) {
    held_.remove(0, offset_);
    offset_ = 0;
  }
  held_ += line;
  // Lines of one pass of the event loop go out in one write.
  if (!flushQueued_ && !(notifier_ && notifier_->isEnabled())) {
    flushQueued_ = true;
    QMetaObject::invokeMethod(this, &OutputQueue::Flush, Qt::QueuedConnection);
  }
  return true;
}

ssize_t OutputQueue::WriteSome(const char* data, size_t size) {
  if (socket_) return ::send(fd_, data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
  return ::write(fd_, data, size);
}

void OutputQueue::Flush() {
  flushQueued_ = false;
  while (!broken_ && Held() > 0) {
    const ssize_t n = WriteSome(held_.constData() + offset_, static_cast<size_t>(Held()));
    if (n > 0) {
      offset_ += n;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (notifier_) notifier_->setEnabled(true);
      return;
    }
    broken_ = true;  // the reader is gone, or the disk is full: nothing more will get through
    held_.clear();
    offset_ = 0;
  }
  if (notifier_) notifier_->setEnabled(false);
  held_.clear();
  offset_ = 0;
  if (dropped_ > 0 && !broken_) {
    const qint64 dropped = dropped_;
    dropped_ = 0;
    Q_EMIT Resumed(dropped);
  }
}

}  // namespace orvane
