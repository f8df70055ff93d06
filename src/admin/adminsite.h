#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include "admin/admincommand.h"
#include "admin/arrivals.h"
#include "admin/guards.h"
#include "admin/uploadreceiver.h"
#include "core/appstate.h"
#include "core/services.h"
#include "net/lingering.h"
#include "net/listener.h"

namespace orvane {

class Connection;

// The administration site (sckAdmin): one browser connection at a time on the administration
// port. Each block of data it receives is one request: a GET gets the login page, a POST the
// login check or, from the logged-in address, a console command. Once a reply has gone the
// connection is closed and the next one is taken: the first of the others whose request header
// has arrived in full.
class AdminSite : public QObject, public AdminService {
  Q_OBJECT

 public:
  AdminSite(AppState& app, const PublicService& web, QObject* parent = nullptr);
  ~AdminSite() override;

  bool Listen(int port) override;
  // The certificate for HTTPS, used while the settings have it on; the owner keeps it.
  void SetTls(const TlsContext* tls) { tls_ = tls; }
  void Close() override;
  void Restart() override;
  quint16 ListeningPort() const { return listener_.Port(); }
  int ListenError() const override { return listener_.Error(); }
  // A connection is being served.
  bool Serving() const { return connection_ != nullptr; }
  // Connections waiting for the site, their request not whole yet or not taken yet.
  int Waiting() const { return static_cast<int>(arrivals_.Count()); }
  // Takes over an accepted, non-blocking connection: the listener's, or one a caller made.
  void Accept(int fd, const Listener::Peer& peer);
  // How long a request may take to arrive whole, from its connection (10 s).
  void SetIdleLimit(int ms) { idleMs_ = ms; }
  // How often the upload watchdog looks (3.5 s), and how long an upload may stall (60 s).
  void SetUploadWatch(int intervalMs, int limitMs);
  // Makes `address` hold a session with `token` (none when the address is empty), as a login
  // would.
  void SetSessionForTesting(const QByteArray& address, const QByteArray& token) {
    session_ = address.isEmpty() ? Session{} : Session{address, token, Now()};
  }

 private:
  // Serves the next connection whose request has arrived, unless one is being served.
  void TakeNext();
  void Adopt(Connection* connection);
  void Receive(QByteArray block);
  // Handles one request; the page to send, or nothing when there is no reply (yet).
  void Handle(const QByteArray& block);
  // A form from `block` with its `body`: the login, or a console form.
  void Answer(const QByteArray& block, const QByteArray& body);
  QByteArray Login(const QByteArray& body);
  QByteArray DocsFolder() const;
  QByteArray Console(const QByteArray& body);
  bool OriginAllowed(const QByteArray& block) const;
  // True when a form's body has not all arrived yet and is worth waiting for.
  bool FormIncomplete(const QByteArray& block) const;
  void Reply(const QByteArray& page);
  // Ends the current connection (gracefully, after what was queued) and takes the next one.
  void EndConnection();
  void Sweep();
  // An upload's answer for `result`; false when the block was no part of the upload.
  // Reports the upload under way (begun once its file is open), its progress and its end.
  void ReportUpload(bool whole, bool ended);
  bool AnswerUpload(UploadResult result);
  void Watchdog();
  AdminView View() const;
  // Lets an upload in when it carries the session's token and comes from its address.
  UploadReceiver::Admission Admission();
  // Whether a request from `peer` with `token` belongs to the session, which it then keeps alive.
  bool Admits(const QByteArray& peer, const QByteArray& token);
  qint64 Now() const { return clock_.elapsed(); }
  void SetPanel(const QByteArray& text) { app_.desktop.SetPanel(4, text); }

  AppState& app_;
  const PublicService& web_;
  Listener listener_;
  const TlsContext* tls_ = nullptr;
  qint64 uploadTotal_ = 0;  // the upload's declared length, its form around the file included
  int uploadTransfer_ = 0;  // its number in the transfer report; 0 when none
  Arrivals arrivals_;
  Lingering lingering_;
  Connection* connection_ = nullptr;
  QByteArray pending_;  // a form whose body is still arriving
  QElapsedTimer connected_;
  QTimer sweep_;
  UploadReceiver upload_;
  Session session_;
  LoginThrottle throttle_;
  QElapsedTimer clock_;
  QTimer watchdog_;  // Timer1
  int uploadLimitMs_ = 60000;
  int idleMs_ = 10000;
  // Closed: not listening. Idle: listening, no connection served. Reading: the served
  // connection's request is arriving (it must be whole within the idle limit). Uploading: an
  // upload's body is arriving (the watchdog looks after it). Replying: the reply is going out;
  // the connection ends when it has gone.
  enum class Phase { Closed, Idle, Reading, Uploading, Replying };
  Phase phase_ = Phase::Closed;
};

}  // namespace orvane
