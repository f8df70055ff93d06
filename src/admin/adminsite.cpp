#include "admin/adminsite.h"

#include <utility>

#include "admin/guards.h"
#include "core/settings.h"
#include "net/connection.h"
#include "net/headerlines.h"
#include "net/httpheader.h"
#include "util/hostaddress.h"
#include "util/text.h"

namespace orvane {

namespace {

constexpr int kListenBacklog = 64;
// How long to wait after running out of descriptors before taking connections again.
constexpr int kAcceptRetryMs = 500;

}  // namespace

AdminSite::AdminSite(AppState& app, const PublicService& web, QObject* parent)
    : QObject(parent),
      app_(app),
      web_(web),
      listener_(this),
      lingering_([](Connection* connection) { connection->deleteLater(); }) {
  clock_.start();
  listener_.onIncoming = [this](int fd, const Listener::Peer& peer) { Accept(fd, peer); };
  listener_.SetBacklog(kListenBacklog);
  // Out of descriptors: try again a moment later.
  connect(&listener_, &Listener::AcceptFailed, this, [this] {
    QTimer::singleShot(kAcceptRetryMs, this, [this] {
      if (arrivals_.MakeRoom()) listener_.Resume();
    });
  });
  connect(&arrivals_, &Arrivals::Ready, this, &AdminSite::TakeNext);
  connect(&sweep_, &QTimer::timeout, this, &AdminSite::Sweep);
  watchdog_.setInterval(3500);
  connect(&watchdog_, &QTimer::timeout, this, &AdminSite::Watchdog);
}

void AdminSite::SetUploadWatch(int intervalMs, int limitMs) {
  watchdog_.setInterval(intervalMs);
  uploadLimitMs_ = limitMs;
}

AdminSite::~AdminSite() {
  Close();
}

bool AdminSite::Listen(int port) {
  Close();
  if (port < 0 || port > 65535) return false;
  if (!listener_.Listen(static_cast<quint16>(port))) return false;
  phase_ = Phase::Idle;
  sweep_.start(250);
  return true;
}

void AdminSite::Close() {
  // An upload belongs to its connection: nothing of it may carry over to a later one.
  ReportUpload(false, true);
  upload_.Abandon();
  watchdog_.stop();
  if (connection_ != nullptr) {
    connection_->Abort();
    connection_->deleteLater();
    connection_ = nullptr;
  }
  pending_.clear();
  arrivals_.Clear();
  listener_.Close();
  sweep_.stop();
  phase_ = Phase::Closed;
}

void AdminSite::Restart() {
  const Settings& s = app_.settings;
  if (s.AdminAllow != "1") return;
  app_.desktop.AppendLog("Admin Restart");
  session_.End();
  upload_.Reset();
  watchdog_.stop();
  const int port = s.AdminPort;
  QByteArray closed;
  if (!AdminCredentialsSet(s)) {
    app_.desktop.Warn(NeedCredentialsText());
    closed = "Closed: no user name or password";
  } else if (port < 1 || port > 65535 || !Listen(port)) {
    closed = "Closed: port " + QByteArray::number(port) +
             (port < 1 || port > 65535 ? " is not between 1 and 65535" : " cannot be used");
    app_.desktop.AppendLog("Remote administration " + closed);
  }
  if (!closed.isEmpty()) {
    Close();
    app_.desktop.SetPanel(3, "Remote=Offline");
    SetPanel(closed);
    return;
  }
  app_.desktop.SetPanel(3, "Remote=Online");
  SetPanel("Ready");
}

void AdminSite::Accept(int fd, const Listener::Peer& peer) {
  arrivals_.Add(fd, peer, app_.settings.AdminTls ? tls_ : nullptr);
  // Every place taken by a complete request: the others wait in the listen queue meanwhile.
  if (!arrivals_.MakeRoom()) listener_.Pause();
}

void AdminSite::TakeNext() {
  if (connection_ != nullptr) return;
  QByteArray text;
  Connection* connection = arrivals_.TakeReady(text, session_.address);
  if (arrivals_.MakeRoom()) listener_.Resume();
  if (connection == nullptr) return;
  Adopt(connection);
  Receive(std::move(text));
}

void AdminSite::Adopt(Connection* connection) {
  connection->setParent(this);
  connection->HoldInput(false);
  connection_ = connection;
  phase_ = Phase::Reading;
  pending_.clear();
  connected_.start();
  connect(connection, &Connection::DataArrived, this, [this, connection] {
    if (connection == connection_) Receive(connection->TakeInput());
  });
  connect(connection, &Connection::OutputDrained, this, [this, connection] {
    if (connection == connection_ && phase_ == Phase::Replying) EndConnection();
  });
  // A browser that leaves, or breaks the connection, frees the site for the next one.
  auto ended = [this, connection] {
    if (connection == connection_) EndConnection();
  };
  connect(connection, &Connection::PeerClosed, this, ended);
  connect(connection, &Connection::Failed, this, ended);
}

void AdminSite::EndConnection() {
  // An upload belongs to its connection: blocks of a later one never go into its file.
  if (upload_.Receiving() || upload_.HasBoundary()) {
    ReportUpload(false, true);
    upload_.Abandon();
    watchdog_.stop();
  }
  Connection* connection = connection_;
  connection_ = nullptr;
  pending_.clear();
  if (phase_ != Phase::Closed) phase_ = Phase::Idle;
  if (connection != nullptr) {
    connection->disconnect(this);
    lingering_.Add(connection);
  }
  // Not from inside the handler that ended this one.
  QTimer::singleShot(0, this, &AdminSite::TakeNext);
}

void AdminSite::Sweep() {
  arrivals_.Sweep(idleMs_);
  // A request must be whole within the limit of its first byte; an upload has its watchdog,
  // and a reply that is going out belongs to the connection's own bounds.
  if (phase_ == Phase::Reading && connected_.hasExpired(idleMs_)) {
    EndConnection();
  }
}

AdminView AdminSite::View() const {
  const Settings& s = app_.settings;
  // Links lead where the browser already is: the address it reached, whatever machine it is on.
  QByteArray host = connection_ != nullptr ? connection_->LocalHost() : QByteArray();
  if (host.isEmpty()) host = GetIPAddress().address;
  return {host,         s.AdminPort, s.RunningPort,  s.ServerName, web_.ActiveConnections(),
          s.MaxConnect, s.IndexFile, session_.token, s.AdminTls,   s.ServerTls};
}

UploadReceiver::Admission AdminSite::Admission() {
  const QByteArray peer = connection_->PeerAddress();
  return [this, peer](const QByteArray& token) { return Admits(peer, token); };
}

bool AdminSite::Admits(const QByteArray& peer, const QByteArray& token) {
  if (!session_.Accepts(peer, token, Now())) return false;
  session_.lastUse = Now();
  return true;
}

void AdminSite::Receive(QByteArray block) {
  if (phase_ != Phase::Reading && phase_ != Phase::Uploading) return;
  if (upload_.Receiving()) {
    AnswerUpload(upload_.Continue(block, DocsFolder(), Admission()));
    return;
  }
  if (!pending_.isEmpty()) block = pending_ + block;
  pending_.clear();
  if (FormIncomplete(block)) {
    pending_ = block;  // the rest of the form comes in a later block
    return;
  }
  Handle(block);
}

bool AdminSite::FormIncomplete(const QByteArray& block) const {
  if (!block.startsWith("POST ") || block.size() > Arrivals::kMaxForm) return false;
  if (HeaderValue(block, "content-type:").startsWith("multipart/")) return false;
  const qsizetype end = HeaderEnd(block);
  if (end < 0) return true;  // the header lines themselves are not complete yet
  const qint64 length = ContentLength(block);
  return length >= 0 && length <= Arrivals::kMaxForm && block.size() - end < length;
}

void AdminSite::Handle(const QByteArray& block) {
  SetPanel("Busy");
  const QByteArray peer = connection_->PeerAddress();
  if (upload_.HasBoundary() && AnswerUpload(upload_.Continue(block, DocsFolder(), Admission()))) {
    return;
  }
  if (block.startsWith("GET ")) {
    app_.desktop.AppendLog("Remote Admin Login Request " + peer);
    Reply(LoginPage(View()));
    SetPanel("Ready");
    return;
  }
  if (!block.startsWith("POST ")) {
    SetPanel("Ready");
    return;
  }
  const qsizetype end = HeaderEnd(block);
  const QByteArray body = end < 0 ? block.mid(3) : block.mid(end);
  if (body.isEmpty() || body.startsWith("---")) {
    if (!OriginAllowed(block)) {
      app_.desktop.AppendLog("Invalid Remote IP! Hacker?: " + peer);
      Reply(LoggedOutPage());
      SetPanel("Ready");
      return;
    }
    uploadTotal_ = ContentLength(block);
    AnswerUpload(upload_.Start(block, DocsFolder(), Admission()));
    return;
  }
  if (!body.contains('=')) {
    Reply(BrowserRefusalPage());
    EndConnection();  // at once, without waiting for the page to go; the panel stays "Busy"
    return;
  }
  Answer(block, body);
  SetPanel("Ready");
}

void AdminSite::Answer(const QByteArray& block, const QByteArray& body) {
  const QByteArray peer = connection_->PeerAddress();
  const QByteArray form = body.left(body.indexOf('='));
  if (form == "UserName") {
    Reply(Login(body));
  } else if (form == "ADMINLOGIN") {
    if (!OriginAllowed(block) || !Admits(peer, FormField(body, "Token"))) {
      app_.desktop.AppendLog("Invalid Remote IP! Hacker?: " + peer);
      Reply(LoggedOutPage());
    } else {
      Reply(Console(body));
    }
  } else {
    Reply(ServerErrorPage());
  }
}

QByteArray AdminSite::Login(const QByteArray& body) {
  const QByteArray peer = connection_->PeerAddress();
  const QByteArray failure =
      LoginFailurePage("port " + QByteArray::number(connection_->PeerPort()), peer);
  if (!throttle_.Allows(peer, Now())) {
    app_.desktop.AppendLog("Refused: too many failed logins: " + peer);
    return failure;
  }
  const QByteArray user = FormField(body, "UserName");
  const QByteArray password = FormField(body, "password");
  // The attempt is logged, but nothing of the password, not even its length.
  app_.desktop.AppendLog("Remote Login: User: " + user + " Pass: ********");
  const Settings& s = app_.settings;
  // Both are compared whole, so the time taken tells nothing of either.
  const bool userMatches = SameSecret(user, s.AdminUserName);
  const bool passwordMatches = SameSecret(password, s.AdminPassword);
  if (!userMatches || !passwordMatches || !AdminCredentialsSet(s)) {
    throttle_.Failed(peer, Now());
    // Told once, when the guesses begin to be refused.
    if (!throttle_.Allows(peer, Now())) app_.desktop.Notify(Notice::LoginsRefused, peer);
    return failure;
  }
  throttle_.Succeeded(peer);
  app_.desktop.Notify(Notice::AdminLogin, peer);
  session_ = {peer, NewToken(), Now()};
  QByteArray command = "RefreshList";
  AdminContext context{View(), DocsFolder(), app_.desktop};
  return AdminCommand(command, {}, context);
}

QByteArray AdminSite::Console(const QByteArray& body) {
  QByteArray command = SelectCommand(body);
  app_.desktop.AppendLog("Admin Command: " + command);
  AdminContext context{View(), DocsFolder(), app_.desktop};
  if (command == "Logout") {
    session_.End();
    return LogoutPage(context.view);
  }
  const QByteArray page = AdminCommand(command, body, context);
  return page.isEmpty() ? ServerErrorPage() : page;
}

bool AdminSite::OriginAllowed(const QByteArray& block) const {
  // A browser says which page a form comes from: only this site's own pages may send one, so no
  // other page the administrator opens can act through the browser.
  const qsizetype end = HeaderEnd(block);
  const bool present =
      IndexOfFolded(QByteArrayView(block).first(end < 0 ? block.size() : end), "\r\norigin:") >= 0;
  return OriginMatches(HeaderValue(block, "origin:"), present, HeaderValue(block, "host:"),
                       connection_->LocalEnd(), app_.settings.AdminTls ? "https" : "http");
}

void AdminSite::Reply(const QByteArray& page) {
  phase_ = Phase::Replying;
  QByteArray bytes = page;
  if (app_.settings.HttpHeaders || app_.settings.AdminTls) {
    bytes.prepend(ReplyHeader({ReplyStatus::Ok, "text/html"}, page.size()));
  }
  connection_->DiscardInput();
  connection_->Send(bytes);
}

void AdminSite::ReportUpload(bool whole, bool ended) {
  if (app_.transfers == nullptr) return;
  // One that comes whole in its first block is shown too, already done.
  if (uploadTransfer_ == 0 && (upload_.Receiving() || whole)) {
    const QByteArray path = upload_.Path();
    uploadTransfer_ = app_.transfers->Begin(
        connection_->PeerAddress(), path.mid(path.lastIndexOf('/') + 1), uploadTotal_, true);
  }
  if (uploadTransfer_ == 0) return;
  app_.transfers->Progress(uploadTransfer_, upload_.Length());
  if (ended) app_.transfers->End(std::exchange(uploadTransfer_, 0), whole);
}

bool AdminSite::AnswerUpload(UploadResult result) {
  // Still coming in, stored, or ended otherwise: the transfer report follows.
  ReportUpload(result == UploadResult::Completed, result != UploadResult::Consumed &&
                                                      result != UploadResult::Waiting &&
                                                      result != UploadResult::NotUpload);
  AdminContext context{View(), DocsFolder(), app_.desktop};
  QByteArray command;
  switch (result) {
    case UploadResult::NotUpload:
      return false;
    case UploadResult::Waiting:
      return true;  // no reply; the panel keeps "Busy"
    case UploadResult::Consumed:
      phase_ = Phase::Uploading;
      if (!watchdog_.isActive()) watchdog_.start();
      SetPanel("Ready");
      return true;
    case UploadResult::Completed:
      watchdog_.stop();
      app_.desktop.AppendLog("Upload Success: " + upload_.Path() + " " +
                             QByteArray::number(upload_.Length()));
      app_.desktop.Notify(Notice::UploadReceived,
                          upload_.Path().mid(upload_.Path().lastIndexOf('/') + 1) + " (" +
                              QByteArray::number(upload_.Length()) + " bytes)");
      command = "Upload";
      Reply(AdminCommand(command, {}, context));
      break;
    case UploadResult::Refused:
      app_.desktop.AppendLog("Invalid Upload IP! Hacker?: " + connection_->PeerAddress());
      Reply(LoggedOutPage());
      break;
    case UploadResult::NoFile:
      command = "RefreshList";
      Reply(AdminCommand(command, {}, context));
      break;
    case UploadResult::WriteFailed:
      watchdog_.stop();
      app_.desktop.AppendLog("Upload Failed: " + upload_.Path());
      Reply(ServerErrorPage());
      break;
    case UploadResult::Failed:
      watchdog_.stop();
      Reply(ServerErrorPage());
      break;
  }
  SetPanel("Ready");
  return true;
}

void AdminSite::Watchdog() {
  if (!upload_.Receiving()) {
    watchdog_.stop();
    return;
  }
  const qint64 stalled = upload_.MsSinceData();
  if (stalled >= 1000) SetPanel("TimeOut: " + QByteArray::number(stalled / 1000));
  if (stalled <= uploadLimitMs_) return;
  // The stalled upload is given up: the part received stays, and the site listens again.
  if (connection_ != nullptr) Reply(TimeoutPage());
  app_.desktop.AppendLog("Timeout. Restarted Admin");
  ReportUpload(false, true);
  upload_.Abandon();
  watchdog_.stop();
  EndConnection();
}

QByteArray AdminSite::DocsFolder() const {
  return AsAppPath(app_.settings.DocsPath);
}

}  // namespace orvane
