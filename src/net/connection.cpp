#include "net/connection.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>

#include "util/hostaddress.h"

namespace orvane {

namespace {

// How much one event may move, so that one busy connection cannot starve the others.
constexpr qsizetype kReadChunk = 64 * 1024;
constexpr qsizetype kReadPerEvent = 1024 * 1024;
constexpr qint64 kWritePerEvent = 4 * 1024 * 1024;
// Buffer of a file sent without sendfile.
constexpr qint64 kCopyChunk = 256 * 1024;

}  // namespace

Connection::SendFileCall Connection::sendFileCall = &::sendfile;

Connection::Connection(QObject* parent) : QObject(parent) {
  readNotifier_.setEnabled(false);
  writeNotifier_.setEnabled(false);
  connect(&readNotifier_, &QSocketNotifier::activated, this, &Connection::OnReadable);
  connect(&writeNotifier_, &QSocketNotifier::activated, this, &Connection::OnWritable);
}

Connection::~Connection() {
  Abort();
}

bool Connection::Open(qintptr fd) {
  Abort();
  const int flags = ::fcntl(static_cast<int>(fd), F_GETFL);
  if (flags < 0 || ::fcntl(static_cast<int>(fd), F_SETFL, flags | O_NONBLOCK) < 0) {
    ::close(static_cast<int>(fd));
    return false;
  }
  fd_ = static_cast<int>(fd);
  ++generation_;
  peer_ = PeerAddressText(fd_);
  peerPort_ = orvane::PeerPort(fd_);
  in_.clear();
  discard_ = peerDone_ = finishing_ = writeShut_ = false;
  readNotifier_.setSocket(fd_);
  writeNotifier_.setSocket(fd_);
  readNotifier_.setEnabled(true);
  return true;
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

void Connection::Send(const QByteArray& data) {
  if (fd_ < 0 || data.isEmpty()) return;
  out_.push_back(Segment{data, 0, -1, 0});
  writeNotifier_.setEnabled(true);
}

void Connection::SendFile(int fileFd, qint64 length) {
  if (fd_ < 0) {
    ::close(fileFd);
    return;
  }
  out_.push_back(Segment{{}, 0, fileFd, length});
  writeNotifier_.setEnabled(true);
}

bool Connection::Finish() {
  if (fd_ < 0) return false;
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
  readNotifier_.setEnabled(false);
  writeNotifier_.setEnabled(false);
  if (fd_ >= 0) {
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
  Abort();
  Q_EMIT Failed();
}

void Connection::OnReadable() {
  if (fd_ < 0) return;
  const quint64 generation = generation_;
  bool gotEof = false;
  qsizetype total = 0;
  char scratch[kReadChunk];
  while (total < kReadPerEvent) {
    char* target = scratch;
    const qsizetype old = in_.size();
    if (!discard_) {
      in_.resize(old + kReadChunk);
      target = in_.data() + old;
    }
    const ssize_t n = ::read(fd_, target, kReadChunk);
    if (!discard_) in_.resize(old + (n > 0 ? n : 0));
    if (n > 0) {
      total += n;
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
  readNotifier_.setEnabled(false);
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

ssize_t Connection::WriteSegment(Segment& segment) {
  if (segment.fileFd < 0) {
    return ::send(fd_, segment.bytes.constData() + segment.offset,
                  static_cast<size_t>(segment.bytes.size() - segment.offset), MSG_NOSIGNAL);
  }
  if (!segment.copying) {
    const size_t chunk = static_cast<size_t>(std::min<qint64>(segment.fileLeft, 1 << 20));
    if (chunk == 0) return 0;
    const ssize_t n = sendFileCall(fd_, segment.fileFd, nullptr, chunk);
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
    segment.bytes.resize(got);
    segment.offset = 0;
    segment.fileLeft = got == 0 ? 0 : segment.fileLeft - got;
    if (got == 0) return 0;
  }
  const ssize_t n =
      ::send(fd_, segment.bytes.constData() + segment.offset,
             static_cast<size_t>(segment.bytes.size() - segment.offset), MSG_NOSIGNAL);
  return n;
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
  // A write of nothing means the file ended before its announced length.
  if (n == 0) segment.fileLeft = 0;
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
    const ssize_t n = WriteSegment(segment);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) break;
      Fail();
      return;
    }
    written += n;
    if (SegmentDone(segment, n)) out_.pop_front();
  }

  if (written > 0) {
    Q_EMIT BytesWritten(written);
    if (generation != generation_) return;
  }
  if (!out_.empty()) return;
  writeNotifier_.setEnabled(false);
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
