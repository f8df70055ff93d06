#include "net/connection.h"

#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <climits>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include "util/hostaddress.h"

namespace orvane {

namespace {

// How much one event may move, so that one busy connection cannot starve the others.
constexpr qsizetype kReadChunk = 64 * 1024;
// The most plain text one TLS record holds.
constexpr qsizetype kTlsRecord = 16 * 1024;
constexpr qint64 kWritePerEvent = 4 * 1024 * 1024;
// One sendfile call moves at most this much: pieces that stay in the cache let the reader copy
// while the next piece is sent, which is faster on loopback than filling the socket at once.
constexpr qint64 kSendFileChunk = 256 * 1024;
// Buffer of a file sent without sendfile.
constexpr qint64 kCopyChunk = 256 * 1024;
// A stream is pulled this much at a time, and at most kStreamPerEvent of it is made in one event.
constexpr qsizetype kStreamPiece = 16 * 1024;
constexpr qint64 kStreamPerEvent = 64 * 1024;

}  // namespace

Connection::SendFileCall Connection::sendFileCall = &::sendfile;

Connection::Connection(QObject* parent) : QObject(parent) {}

Connection::~Connection() {
  Abort();
}

void Connection::Open(int fd, const QByteArray& address, int port, const TlsContext* tls) {
  Abort();
  fd_ = fd;
  // A session that cannot be made fails the connection at its first event.
  handshaking_ = tls != nullptr;
  if (tls != nullptr) {
    tls_ = tls->NewSession(fd);
    // Records are made from buffers here, not spliced from the cache: the listener's small bound
    // on bytes not yet sent would only cut each record into more wake-ups.
    const int unbounded = INT_MAX;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NOTSENT_LOWAT, &unbounded, sizeof unbounded);
  }
  phase_ = Phase::Open;
  ++generation_;
  peer_ = address;
  peerPort_ = port;
  in_.clear();
  discard_ = peerDone_ = inEvent_ = held_ = false;
  if (!Poller::Instance().OfferFirstRead(fd_, this)) Watch();
}

void Connection::Watch() {
  if (fd_ < 0 || inEvent_) return;
  // A handshake waits for one direction at a time: watching the other could only spin.
  const bool read = handshaking_ ? !tlsWantsWrite_ : !peerDone_ && !held_;
  Poller::Instance().Watch(fd_, this, read, !out_.empty() || tlsWantsWrite_);
}

void Connection::Handshake() {
  if (tls_ == nullptr) {
    Fail();
    return;
  }
  ERR_clear_error();
  const int result = SSL_do_handshake(tls_);
  if (result == 1) {
    handshaking_ = tlsWantsWrite_ = false;
    OnReady(true, false, false);  // the request may have come with the last handshake message
    return;
  }
  const int error = SSL_get_error(tls_, result);
  if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
    ERR_clear_error();
    Fail();  // plain HTTP, a hello that cannot be answered, or a peer that left
    return;
  }
  tlsWantsWrite_ = error == SSL_ERROR_WANT_WRITE;
  Watch();
}

void Connection::OnReady(bool readable, bool writable, bool hangup) {
  if (handshaking_) {
    Handshake();
    return;
  }
  if (tlsWantsWrite_ && writable) {
    tlsWantsWrite_ = false;  // a read that had to write first goes on
    readable = true;
  }
  if (hangup && (peerDone_ || held_) && out_.empty()) {
    // Broken while waiting with nothing to read or send (a reply still to come): it can never
    // be delivered, and a level-triggered hang-up would otherwise be reported for ever.
    Fail();
    return;
  }
  const quint64 generation = generation_;
  inEvent_ = true;
  if (readable && !peerDone_ && !held_) OnReadable();
  // Output queued by the handler of what was just read goes out now, without first waiting for
  // the poller to report the socket writable; a full socket is then watched for writing.
  if (generation == generation_ && fd_ >= 0 && !out_.empty()) OnWritable();
  if (generation == generation_) {
    inEvent_ = false;
    Watch();
  }
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
  Watch();
}

void Connection::Queue(Segment segment) {
  out_.push_back(std::move(segment));
  Watch();
}

void Connection::Send(const QByteArray& data) {
  if (fd_ < 0 || data.isEmpty()) return;
  Segment segment;
  segment.bytes = data;
  Queue(std::move(segment));
}

void Connection::SendFile(int fileFd, qint64 length) {
  if (fd_ < 0) {
    ::close(fileFd);
    return;
  }
  Segment segment;
  segment.fileFd = fileFd;
  segment.fileLeft = length;
  Queue(std::move(segment));
}

void Connection::SendStream(std::unique_ptr<ByteSource> source) {
  if (fd_ < 0) return;
  Segment segment;
  segment.source = std::move(source);
  Queue(std::move(segment));
}

namespace {

// The address of this end of `fd` as a link's host (IPv6 in brackets), and its port.
bool LocalAddress(int fd, QByteArray& host, int& port) {
  sockaddr_storage local{};
  socklen_t length = sizeof local;
  if (fd < 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) return false;
  host = AddressText(local);
  if (host.contains(':')) host = "[" + host + "]";
  port = AddressPort(local);
  return true;
}

}  // namespace

QByteArray Connection::LocalHost() const {
  QByteArray host;
  int port = 0;
  return LocalAddress(fd_, host, port) ? host : QByteArray();
}

QByteArray Connection::LocalEnd() const {
  QByteArray host;
  int port = 0;
  return LocalAddress(fd_, host, port) ? host + ":" + QByteArray::number(port) : QByteArray();
}

int Connection::Unsent() const {
  int queued = -1;
  if (fd_ < 0 || ::ioctl(fd_, SIOCOUTQ, &queued) != 0) return -1;
  return queued;
}

bool Connection::Finish(bool inputComplete) {
  if (fd_ < 0) return false;
  int unread = 0;
  if (inputComplete && out_.empty() && ::ioctl(fd_, FIONREAD, &unread) == 0 && unread == 0) {
    // Nothing more is coming and nothing is unread: a plain close cannot turn into a reset.
    EndTls();
    CloseDescriptor();
    return false;
  }
  DiscardInput();
  if (!out_.empty()) {
    phase_ = Phase::Draining;
    return true;
  }
  Linger();
  if (peerDone_) {
    CloseDescriptor();
    return false;
  }
  Watch();
  return true;
}

void Connection::Linger() {
  phase_ = Phase::Lingering;
  EndTls();
  ::shutdown(fd_, SHUT_WR);
}

void Connection::EndTls() {
  if (tls_ == nullptr || handshaking_) return;
  ERR_clear_error();
  SSL_shutdown(tls_);
  ERR_clear_error();
}

void Connection::Abort() {
  ReleaseSegments();
  CloseDescriptor();
}

void Connection::Reset() {
  if (fd_ >= 0) {
    const linger reset{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  }
  Abort();
}

void Connection::ReleaseSegments() {
  for (Segment& segment : out_) {
    if (segment.fileFd >= 0) ::close(segment.fileFd);
  }
  out_.clear();
}

void Connection::CloseDescriptor() {
  phase_ = Phase::Closed;
  if (fd_ >= 0) {
    Poller::Instance().Forget(fd_);
    ::close(fd_);
    fd_ = -1;
    ++generation_;
  }
  SSL_free(tls_);
  tls_ = nullptr;
  handshaking_ = tlsWantsWrite_ = false;
  inEvent_ = false;
  in_.clear();
}

void Connection::Fail() {
  Reset();
  Q_EMIT Failed();
}

void Connection::OnReadable() {
  if (fd_ < 0) return;
  const quint64 generation = generation_;
  bool gotEof = false;
  qsizetype total = 0;
  char scratch[kReadChunk];
  while (total < readPerEvent_) {
    // A TLS session gives one record a read, and it is always taken whole, so that nothing
    // waits inside the session while the socket is empty and the poller silent.
    const bool records = tls_ != nullptr && !discard_;
    qsizetype want = std::min(kReadChunk, readPerEvent_ - total);
    if (records) want = std::max(want, kTlsRecord);
    const ssize_t n = ReadSome(scratch, static_cast<size_t>(want));
    if (n > 0) {
      if (!discard_) in_.append(scratch, n);
      total += n;
      // A short read has emptied the socket: asking again would only hear "nothing more". An
      // end of input behind the data is reported by the poller next time round.
      if (n < want && !records) break;
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
  if (phase_ == Phase::Lingering) {
    CloseDescriptor();
    Q_EMIT Closed();
    return;
  }
  if (phase_ == Phase::Open) Q_EMIT PeerClosed();
}

ssize_t Connection::ReadSome(char* buffer, size_t size) {
  // What is dropped need not be deciphered.
  if (tls_ == nullptr || discard_) return ::read(fd_, buffer, size);
  size_t got = 0;
  ERR_clear_error();
  if (SSL_read_ex(tls_, buffer, size, &got) == 1) return static_cast<ssize_t>(got);
  const int error = SSL_get_error(tls_, 0);
  if (error == SSL_ERROR_ZERO_RETURN) return 0;  // the peer said it has sent all
  return TlsFailure(error);
}

ssize_t Connection::WriteSome(const char* data, size_t size, bool more) {
  if (tls_ == nullptr) return ::send(fd_, data, size, MSG_NOSIGNAL | (more ? MSG_MORE : 0));
  size_t put = 0;
  ERR_clear_error();
  if (SSL_write_ex(tls_, data, size, &put) == 1) return static_cast<ssize_t>(put);
  return TlsFailure(SSL_get_error(tls_, 0));
}

ssize_t Connection::SendFilePiece(int fileFd, size_t size) {
  if (tls_ == nullptr) return sendFileCall(fd_, fileFd, nullptr, size);
  // The kernel's TLS sends from an offset of its own; the file's offset is kept up with it.
  const off_t at = ::lseek(fileFd, 0, SEEK_CUR);
  ERR_clear_error();
  const ossl_ssize_t n = SSL_sendfile(tls_, fileFd, at, size, 0);
  if (n >= 0) {
    ::lseek(fileFd, at + n, SEEK_SET);
    return static_cast<ssize_t>(n);
  }
  const int error = SSL_get_error(tls_, static_cast<int>(n));
  if (error == SSL_ERROR_WANT_WRITE) return TlsFailure(error);
  ERR_clear_error();
  errno = EINVAL;  // the rest goes through ordinary writes
  return -1;
}

ssize_t Connection::TlsFailure(int error) {
  if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
    tlsWantsWrite_ = error == SSL_ERROR_WANT_WRITE;
    errno = EAGAIN;
  } else {
    errno = ECONNRESET;
  }
  ERR_clear_error();
  return -1;
}

void Connection::SetSendFileForTesting(SendFileCall call) {
  sendFileCall = call != nullptr ? call : &::sendfile;
}

ssize_t Connection::WriteBytes(Segment& segment, bool& full) {
  const size_t want = static_cast<size_t>(segment.bytes.size() - segment.offset);
  // A header followed by its file leaves in the file's first packet, not in one of its own: the
  // file's send pushes both out.
  const bool more = segment.source == nullptr && out_.size() > 1;
  const ssize_t n = WriteSome(segment.bytes.constData() + segment.offset, want, more);
  // A TLS session takes a record a call: only its "wait" says the socket is full.
  full = tls_ == nullptr && n >= 0 && static_cast<size_t>(n) < want;
  return n;
}

ssize_t Connection::WriteSegment(Segment& segment, bool& full) {
  if (segment.source) {
    if (segment.offset >= segment.bytes.size()) {
      if (segment.source->Done()) return 0;
      segment.bytes.clear();
      segment.offset = 0;
      if (!segment.source->Pull(segment.bytes, kStreamPiece)) return SourceEndedEarly();
      if (segment.bytes.isEmpty()) return segment.source->Done() ? 0 : SourceEndedEarly();
    }
    return WriteBytes(segment, full);
  }
  if (segment.fileFd < 0) return WriteBytes(segment, full);
  return WriteFromFile(segment, full);
}

ssize_t Connection::WriteFromFile(Segment& segment, bool& full) {
  // Without the kernel's TLS, the file goes through the session like any bytes.
  if (tls_ != nullptr && !BIO_get_ktls_send(SSL_get_wbio(tls_))) segment.copying = true;
  if (!segment.copying) {
    const size_t chunk = static_cast<size_t>(std::min<qint64>(segment.fileLeft, kSendFileChunk));
    if (chunk == 0) return 0;
    const ssize_t n = SendFilePiece(segment.fileFd, chunk);
    if (n == 0) return SourceEndedEarly();
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
    if (got == 0) return SourceEndedEarly();
    segment.bytes.resize(got);
    segment.offset = 0;
    segment.fileLeft -= got;
  }
  return WriteBytes(segment, full);
}

ssize_t Connection::SourceEndedEarly() {
  // The file shrank while it was being sent: the reply can no longer be whole, and a plain
  // close would pass the shortened file off as complete. The connection fails instead.
  errno = ENODATA;
  return -1;
}

bool Connection::SegmentDone(Segment& segment, ssize_t n) {
  if (segment.source) {
    segment.offset += n;
    return segment.offset >= segment.bytes.size() && segment.source->Done();
  }
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
  while (!out_.empty()) {
    Segment& segment = out_.front();
    // A stream is made as it goes: a smaller share per event keeps the others moving.
    if (written >= (segment.source ? kStreamPerEvent : kWritePerEvent)) break;
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
    Watch();  // the rest goes when the socket is writable
    return;
  }
  Watch();
  if (phase_ == Phase::Draining) {
    Linger();
    if (peerDone_) {
      CloseDescriptor();
      Q_EMIT Closed();
    }
    return;
  }
  Q_EMIT OutputDrained();
}

}  // namespace orvane
