#include "net/connection.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>

#include "util/hostaddress.h"

namespace orvane {

namespace {

// How much one event may move, so that one busy connection cannot starve the others.
constexpr qsizetype kReadChunk = 64 * 1024;
constexpr qint64 kWritePerEvent = 4 * 1024 * 1024;
// One sendfile call moves at most this much: pieces that stay in the cache let the reader copy
// while the next piece is sent, which is faster on loopback than filling the socket at once.
constexpr qint64 kSendFileChunk = 256 * 1024;
// Buffer of a file sent without sendfile.
constexpr qint64 kCopyChunk = 256 * 1024;

}  // namespace

Connection::SendFileCall Connection::sendFileCall = &::sendfile;

Connection::Connection(QObject* parent) : QObject(parent) {}

Connection::~Connection() {
  Abort();
}

void Connection::Open(int fd, const QByteArray& address, int port) {
  Abort();
  fd_ = fd;
  ++generation_;
  peer_ = address;
  peerPort_ = port;
  in_.clear();
  discard_ = peerDone_ = finishing_ = writeShut_ = inEvent_ = held_ = false;
  wantRead_ = true;
  wantWrite_ = false;
  Watch();
}

void Connection::Watch() {
  if (fd_ >= 0) Poller::Instance().Watch(fd_, this, wantRead_ && !held_, wantWrite_);
}

void Connection::OnReady(bool readable, bool, bool hangup) {
  if (hangup && (!wantRead_ || held_) && out_.empty()) {
    // Broken while waiting with nothing to read or send (a reply still to come): it can never
    // be delivered, and a level-triggered hang-up would otherwise be reported for ever.
    Fail();
    return;
  }
  const quint64 generation = generation_;
  inEvent_ = true;
  if (readable && wantRead_ && !held_) OnReadable();
  // Output queued by the handler of what was just read goes out now, without first waiting for
  // the poller to report the socket writable; a full socket is then watched for writing.
  if (generation == generation_ && fd_ >= 0 && !out_.empty()) OnWritable();
  inEvent_ = false;
  Watch();
}

QByteArray Connection::TakeInput() {
  QByteArray taken;
  taken.swap(in_);
  return taken;
}

void Connection::DiscardInput() {
  discard_ = true;
  in_.clear();
}

void Connection::HoldInput(bool hold) {
  held_ = hold;
  if (!inEvent_) Watch();
}

void Connection::Send(const QByteArray& data) {
  if (fd_ < 0 || data.isEmpty()) return;
  out_.push_back(Segment{data, 0, -1, 0});
  if (!inEvent_) {
    wantWrite_ = true;
    Watch();
  }
}

void Connection::SendFile(int fileFd, qint64 length) {
  if (fd_ < 0) {
    ::close(fileFd);
    return;
  }
  out_.push_back(Segment{{}, 0, fileFd, length});
  if (!inEvent_) {
    wantWrite_ = true;
    Watch();
  }
}

bool Connection::Finish(bool inputComplete) {
  if (fd_ < 0) return false;
  int unread = 0;
  if (inputComplete && !HasPendingOutput() && ::ioctl(fd_, FIONREAD, &unread) == 0 && unread == 0) {
    // Nothing more is coming and nothing is unread: a plain close cannot turn into a reset.
    CloseDescriptor();
    return false;
  }
  finishing_ = true;
  DiscardInput();
  if (!HasPendingOutput()) ShutdownWrite();
  if (peerDone_ && writeShut_) {
    CloseDescriptor();
    return false;
  }
  return true;
}

void Connection::Abort() {
  ReleaseSegments();
  CloseDescriptor();
}

void Connection::ReleaseSegments() {
  for (Segment& segment : out_) {
    if (segment.fileFd >= 0) ::close(segment.fileFd);
  }
  out_.clear();
}

void Connection::CloseDescriptor() {
  wantRead_ = wantWrite_ = false;
  if (fd_ >= 0) {
    Poller::Instance().Forget(fd_);
    ::close(fd_);
    fd_ = -1;
    ++generation_;
  }
  in_.clear();
}

void Connection::ShutdownWrite() {
  if (writeShut_) return;
  writeShut_ = true;
  ::shutdown(fd_, SHUT_WR);
}

void Connection::Fail() {
  // A reset, so that a peer still reading can never take a broken reply for a whole one.
  if (fd_ >= 0) {
    const linger reset{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  }
  Abort();
  Q_EMIT Failed();
}

void Connection::OnReadable() {
  if (fd_ < 0) return;
  const quint64 generation = generation_;
  bool gotEof = false;
  qsizetype total = 0;
  char scratch[kReadChunk];
  while (total < readPerEvent_) {
    const qsizetype want = std::min(kReadChunk, readPerEvent_ - total);
    const ssize_t n = ::read(fd_, scratch, static_cast<size_t>(want));
    if (n > 0) {
      if (!discard_) in_.append(scratch, n);
      total += n;
      // A short read has emptied the socket: asking again would only hear "nothing more". An
      // end of input behind the data is reported by the poller next time round.
      if (n < want) break;
      continue;
    }
    if (n == 0) {
      gotEof = true;
      break;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) break;
    Fail();
    return;
  }

  if (!in_.isEmpty() && !discard_) {
    Q_EMIT DataArrived();
    if (generation != generation_) return;
  }
  if (!gotEof) return;
  peerDone_ = true;
  wantRead_ = false;
  if (!inEvent_) Watch();
  if (finishing_ && writeShut_) {
    CloseDescriptor();
    Q_EMIT Closed();
    return;
  }
  if (!finishing_) Q_EMIT PeerClosed();
}

void Connection::SetSendFileForTesting(SendFileCall call) {
  sendFileCall = call != nullptr ? call : &::sendfile;
}

ssize_t Connection::WriteSegment(Segment& segment, bool& full) {
  if (segment.fileFd < 0) {
    const size_t want = static_cast<size_t>(segment.bytes.size() - segment.offset);
    const ssize_t n = ::send(fd_, segment.bytes.constData() + segment.offset, want, MSG_NOSIGNAL);
    full = n >= 0 && static_cast<size_t>(n) < want;
    return n;
  }
  if (!segment.copying) {
    const size_t chunk = static_cast<size_t>(std::min<qint64>(segment.fileLeft, kSendFileChunk));
    if (chunk == 0) return 0;
    const ssize_t n = sendFileCall(fd_, segment.fileFd, nullptr, chunk);
    if (n == 0) return FileEndedEarly();
    full = n > 0 && static_cast<size_t>(n) < chunk;
    if (n >= 0 || errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return n;
    // Some file systems and sockets refuse to splice: the rest goes through a buffer, from the
    // offset the failed call left in place.
    segment.copying = true;
  }
  if (segment.offset >= segment.bytes.size()) {
    if (segment.fileLeft <= 0) return 0;
    const qint64 want = std::min<qint64>(segment.fileLeft, kCopyChunk);
    segment.bytes.resize(want);
    ssize_t got;
    do {
      got = ::read(segment.fileFd, segment.bytes.data(), static_cast<size_t>(want));
    } while (got < 0 && errno == EINTR);
    if (got < 0) return -1;
    if (got == 0) return FileEndedEarly();
    segment.bytes.resize(got);
    segment.offset = 0;
    segment.fileLeft -= got;
  }
  const size_t want = static_cast<size_t>(segment.bytes.size() - segment.offset);
  const ssize_t n = ::send(fd_, segment.bytes.constData() + segment.offset, want, MSG_NOSIGNAL);
  full = n >= 0 && static_cast<size_t>(n) < want;
  return n;
}

ssize_t Connection::FileEndedEarly() {
  // The file shrank while it was being sent: the reply can no longer be whole, and a plain
  // close would pass the shortened file off as complete. The connection fails instead.
  errno = ENODATA;
  return -1;
}

bool Connection::SegmentDone(Segment& segment, ssize_t n) {
  if (segment.fileFd < 0) {
    segment.offset += n;
    return segment.offset >= segment.bytes.size();
  }
  if (segment.copying) {
    segment.offset += n;
  } else {
    segment.fileLeft -= n;
  }
  const bool done = segment.fileLeft <= 0 && segment.offset >= segment.bytes.size();
  if (done) ::close(segment.fileFd);
  return done;
}

void Connection::OnWritable() {
  if (fd_ < 0) return;
  const quint64 generation = generation_;
  qint64 written = 0;
  while (!out_.empty() && written < kWritePerEvent) {
    Segment& segment = out_.front();
    bool full = false;
    const ssize_t n = WriteSegment(segment, full);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) break;
      Fail();
      return;
    }
    written += n;
    if (SegmentDone(segment, n)) {
      out_.pop_front();
    } else if (full) {
      break;  // the socket took less than offered: asking again now would only hear "full"
    }
  }

  if (written > 0) {
    Q_EMIT BytesWritten(written);
    if (generation != generation_) return;
  }
  if (!out_.empty()) {
    wantWrite_ = true;  // the socket is full: the rest goes when it is writable
    if (!inEvent_) Watch();
    return;
  }
  wantWrite_ = false;
  if (!inEvent_) Watch();
  if (finishing_) {
    ShutdownWrite();
    if (peerDone_) {
      CloseDescriptor();
      Q_EMIT Closed();
    }
    return;
  }
  Q_EMIT OutputDrained();
}

}  // namespace orvane
