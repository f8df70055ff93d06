#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace orvane {

// Lines for a descriptor, written once per pass of the event loop, that may stop taking them (a
// pipe nobody reads, a stopped pager, a slow journal) without ever blocking the event loop: what
// the descriptor cannot take at once is held and written when it can, up to `capacity` bytes; whole
// lines beyond that are dropped and counted. A reader that has gone for good (a broken pipe) gets
// nothing more.
class OutputQueue : public QObject {
  Q_OBJECT

 public:
  explicit OutputQueue(int fd, qsizetype capacity = 1024 * 1024, QObject* parent = nullptr);
  ~OutputQueue() override;

  // Queues one whole line (with its line end); false when it had to be dropped.
  bool Write(const QByteArray& line);
  qsizetype Held() const { return held_.size() - offset_; }

 Q_SIGNALS:
  // Everything held has been written after `dropped` lines could not be.
  void Resumed(qint64 dropped);

 private:
  void Flush();
  ssize_t WriteSome(const char* data, size_t size);

  int fd_ = -1;
  bool ownFd_ = false;  // a descriptor of our own, opened non-blocking
  bool socket_ = false;
  bool broken_ = false;
  bool flushQueued_ = false;
  qsizetype capacity_;
  QByteArray held_;
  qsizetype offset_ = 0;
  qint64 dropped_ = 0;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace orvane
