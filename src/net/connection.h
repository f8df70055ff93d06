#pragma once

#include <sys/types.h>
#include <QByteArray>
#include <QObject>
#include <deque>
#include <memory>

#include "net/poller.h"
#include "net/tlscontext.h"
#include "util/bytesource.h"

namespace orvane {

// One accepted TCP connection on a non-blocking descriptor, driven by the event loop. Unlike a
// QTcpSocket it keeps sending after the peer has ended its own sending direction (a client that
// half-closes still gets its reply), and it closes gracefully: once the reply has gone it ends
// the sending direction and reads what still arrives until the peer closes, so the reply is never
// destroyed by a reset. A reply that cannot be finished ends with a reset instead, so the peer
// never takes a shortened reply for a whole one.
//
// With TLS, the handshake comes first: nothing arrives for the owner before it has ended, and a
// peer that fails it (or speaks plain HTTP) fails the connection. Files then go out through the
// kernel's TLS where it has it, and through ordinary writes where it does not.
//
// Signals are emitted only from the event loop, never from inside a call made on the
// connection, so a handler may call any member from within a signal.
class Connection : public QObject, public Poller::Client {
  Q_OBJECT

 public:
  // Open: reading and sending. Draining: the last output is going; what arrives is dropped.
  // Lingering: the sending direction is ended and what arrives is dropped until the peer closes.
  // Closed: no descriptor. What the connection waits for follows from the phase.
  enum class Phase { Closed, Open, Draining, Lingering };

  explicit Connection(QObject* parent = nullptr);
  ~Connection() override;

  // The number of the client slot that owns the connection, 0 for none.
  int tag = 0;

  // Takes over the connected non-blocking socket `fd` of the peer `address`:`port`, speaking
  // TLS with the certificate of `tls` when there is one.
  void Open(int fd, const QByteArray& address, int port, const TlsContext* tls = nullptr);
  // Finished, with output still going out.
  bool Draining() const { return phase_ == Phase::Draining; }
  // The peer's address: dotted decimal for IPv4.
  QByteArray PeerAddress() const { return peer_; }
  int PeerPort() const { return peerPort_; }
  // The address and port of this end, as the peer reached it: "10.0.0.5:5656", "[::1]:5656".
  QByteArray LocalEnd() const;
  // The address alone, as a link's host ("10.0.0.5", "[::1]").
  QByteArray LocalHost() const;

  // The bytes received and not taken yet.
  QByteArray TakeInput();
  // At most this much is read in one event (1 MiB unless set), so that one busy connection
  // cannot starve the others, and what a connection can make its owner hold at once is bounded.
  void SetReadPerEvent(qsizetype bytes) { readPerEvent_ = bytes; }
  // From now on what arrives is read and dropped (an end or a reset is still seen).
  void DiscardInput();
  // While held, nothing more is read: what the peer sends waits in the kernel's buffers (and
  // then in the peer's), so a connection waiting its turn costs no memory here.
  void HoldInput(bool hold);

  // Queues bytes to send.
  void Send(const QByteArray& data);
  // Queues `length` bytes of the open file `fileFd` from its current offset, sent straight from
  // the file; the connection owns the descriptor from now on.
  void SendFile(int fileFd, qint64 length);
  // Queues what `source` gives, pulled a piece at a time as the socket takes it; a source that
  // fails ends the connection with a reset (Failed).
  void SendStream(std::unique_ptr<ByteSource> source);
  // Bytes written to the socket that the peer has not taken yet (its send queue); -1 when closed.
  int Unsent() const;

  // Once all queued output has gone: ends the sending direction and drops what still arrives
  // until the peer closes, then closes (Closed). With `inputComplete` (the peer has sent all it
  // will send) and nothing unread, it closes at once instead. False when the connection is
  // closed already (or was closed now).
  bool Finish(bool inputComplete = false);
  // Closes at once; queued output is dropped. No signal follows.
  void Abort();
  // Closes at once with a reset, so that a peer still reading knows the reply is not whole. No
  // signal follows.
  void Reset();

  // Replaces sendfile for every connection (nullptr: the real one), so that a test can see the
  // buffered path that a refused sendfile falls back to.
  using SendFileCall = ssize_t (*)(int out, int in, off_t* offset, size_t count);
  static void SetSendFileForTesting(SendFileCall call);

 Q_SIGNALS:
  void DataArrived();
  void BytesWritten(qint64 count);
  // Everything queued has been written (not emitted while finishing).
  void OutputDrained();
  // The peer ended its sending direction; output still queued keeps going.
  void PeerClosed();
  // The connection broke (reset, other error, or a source that failed) and is closed.
  void Failed();
  // A finished connection is now closed.
  void Closed();

 private:
  struct Segment {
    QByteArray bytes;
    qsizetype offset = 0;
    int fileFd = -1;
    qint64 fileLeft = 0;   // file bytes not yet sent (or, when copying, not yet read)
    bool copying = false;  // sendfile was refused: file bytes go through `bytes`
    std::unique_ptr<ByteSource> source;
  };

  // Writes from the front of the segment; the count written, or -1 with errno. `full` when the
  // socket took less than it was offered.
  ssize_t WriteSegment(Segment& segment, bool& full);
  ssize_t WriteFromFile(Segment& segment, bool& full);
  ssize_t WriteBytes(Segment& segment, bool& full);
  static ssize_t SourceEndedEarly();
  // Accounts for `n` bytes written; true when the segment is complete (its file then closed).
  static bool SegmentDone(Segment& segment, ssize_t n);
  static SendFileCall sendFileCall;

  void OnReady(bool readable, bool writable, bool hangup) override;
  void Handshake();
  // read() and send(), or their TLS counterparts: the count, 0 at the end of input, or -1 with
  // errno (EAGAIN when the session waits for the socket).
  ssize_t ReadSome(char* buffer, size_t size);
  ssize_t WriteSome(const char* data, size_t size, bool more);
  ssize_t SendFilePiece(int fileFd, size_t size);
  ssize_t TlsFailure(int error);
  // Tells a TLS peer that the reply is whole (close_notify) before the sending direction ends.
  void EndTls();
  void OnReadable();
  void OnWritable();
  void Queue(Segment segment);
  void Watch();
  void Linger();
  void CloseDescriptor();
  void Fail();
  void ReleaseSegments();

  Phase phase_ = Phase::Closed;
  int fd_ = -1;
  quint64 generation_ = 0;  // changes on every open and close
  QByteArray peer_;
  int peerPort_ = 0;
  QByteArray in_;
  qsizetype readPerEvent_ = 1024 * 1024;
  std::deque<Segment> out_;
  bool discard_ = false;   // what arrives is dropped (always so once finishing)
  bool peerDone_ = false;  // the peer's end of input has been read: nothing more to read
  bool held_ = false;
  bool inEvent_ = false;  // within OnReady: the watch is set once, when it returns
  SSL* tls_ = nullptr;
  bool handshaking_ = false;    // TLS: the handshake has not ended
  bool tlsWantsWrite_ = false;  // TLS: the session waits for room in the socket to go on
};

}  // namespace orvane
