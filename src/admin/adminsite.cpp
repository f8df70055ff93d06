#include "admin/adminsite.h"

#include <QHostInfo>
#include <QNetworkInterface>

#include "admin/headerlines.h"
#include "core/settings.h"
#include "net/connection.h"
#include "net/httpheader.h"
#include "util/hostaddress.h"
#include "util/text.h"

namespace orvane {

namespace {

constexpr int kListenBacklog = 64;
// A connection is never held longer than this while nothing is uploaded, however it trickles.
constexpr int kConnectionLimitMs = 60000;
// A form waited for across blocks may be this large; anything larger is answered as it is.
constexpr qsizetype kMaxForm = 64 * 1024;
// How long to wait after running out of descriptors before taking connections again.
constexpr int kAcceptRetryMs = 500;

}  // namespace

AdminSite::AdminSite(AppState& app, const PublicService& web, QObject* parent)
    : QObject(parent),
      app_(app),
      web_(web),
      lingering_([](Connection* connection) { connection->deleteLater(); }) {
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
  host_ = GetIPAddress().address;
  if (!listener_.Listen(static_cast<quint16>(port))) return false;
  sweep_.start(250);
  return true;
}

void AdminSite::Close() {
  if (connection_ != nullptr) {
    connection_->Abort();
    connection_->deleteLater();
    connection_ = nullptr;
  }
  pending_.clear();
  arrivals_.Clear();
  listener_.Close();
  sweep_.stop();
}

void AdminSite::Restart() {
  if (app_.settings.AdminAllow != "1") return;
  app_.desktop.AppendLog("Admin Restart");
  const quint16 port =
      listener_.IsListening() ? listener_.Port() : static_cast<quint16>(app_.settings.AdminPort);
  upload_.Reset();
  watchdog_.stop();
  Listen(port);
  SetPanel("Ready");
}

void AdminSite::Accept(int fd, const Listener::Peer& peer) {
  arrivals_.Add(fd, peer);
  // Every place taken by a complete request: the others wait in the listen queue meanwhile.
  if (!arrivals_.MakeRoom()) listener_.Pause();
}

void AdminSite::TakeNext() {
  if (connection_ != nullptr) return;
  QByteArray text;
  Connection* connection = arrivals_.TakeReady(text);
  if (arrivals_.MakeRoom()) listener_.Resume();
  if (connection == nullptr) return;
  Adopt(connection);
  Receive(std::move(text));
}

void AdminSite::Adopt(Connection* connection) {
  connection->setParent(this);
  connection->HoldInput(false);
  connection_ = connection;
  replied_ = false;
  pending_.clear();
  lastData_.start();
  connected_.start();
  connect(connection, &Connection::DataArrived, this, [this, connection] {
    if (connection == connection_) Receive(connection->TakeInput());
  });
  connect(connection, &Connection::OutputDrained, this, [this, connection] {
    if (connection == connection_ && replied_) EndConnection();
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
    upload_.Abandon();
    watchdog_.stop();
  }
  Connection* connection = connection_;
  connection_ = nullptr;
  pending_.clear();
  if (connection != nullptr) {
    connection->disconnect(this);
    lingering_.Add(connection);
  }
  // Not from inside the handler that ended this one.
  QTimer::singleShot(0, this, &AdminSite::TakeNext);
}

void AdminSite::Sweep() {
  arrivals_.Sweep(idleMs_);
  if (connection_ == nullptr || replied_ || upload_.Receiving()) return;
  if (lastData_.hasExpired(idleMs_) || connected_.hasExpired(kConnectionLimitMs)) {
    EndConnection();
  }
}

AdminView AdminSite::View() const {
  const Settings& s = app_.settings;
  return {host_,        s.AdminPort, s.RunningPort, s.ServerName, web_.ActiveConnections(),
          s.MaxConnect, s.IndexFile};
}

void AdminSite::Receive(QByteArray block) {
  lastData_.start();
  if (replied_) return;
  if (upload_.Receiving()) {
    AnswerUpload(upload_.Continue(block, DocsFolder(), connection_->PeerAddress(),
                                  app_.settings.AdminAllow));
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
  if (!block.startsWith("POST ") || block.size() > kMaxForm) return false;
  if (HeaderValue(block, "content-type:").startsWith("multipart/")) return false;
  const qsizetype end = HeaderEnd(block);
  if (end < 0) return true;  // the header lines themselves are not complete yet
  const qint64 length = ContentLength(block);
  return length >= 0 && length <= kMaxForm && block.size() - end < length;
}

void AdminSite::Handle(const QByteArray& block) {
  SetPanel("Busy");
  const QByteArray peer = connection_->PeerAddress();
  if (upload_.HasBoundary() &&
      AnswerUpload(upload_.Continue(block, DocsFolder(), peer, app_.settings.AdminAllow))) {
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
    AnswerUpload(upload_.Start(block, DocsFolder(), peer, app_.settings.AdminAllow));
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
    if (!OriginAllowed(block) || peer != app_.settings.AdminAllow) {
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
  constexpr qsizetype kStart = 19;  // "UserName=&UserName="
  const qsizetype userEnd = body.indexOf('&', kStart);
  const QByteArray user = userEnd < 0 ? body.mid(kStart) : body.mid(kStart, userEnd - kStart);
  const qsizetype mark = body.indexOf("password=", kStart);
  QByteArray password;
  qsizetype passwordEnd = -1;
  if (mark >= 0) {
    passwordEnd = body.indexOf('&', mark + 9);
    password = body.mid(mark + 9, passwordEnd < 0 ? -1 : passwordEnd - mark - 9);
  }
  // The attempt is logged, but never the password itself.
  app_.desktop.AppendLog("Remote Login: User: " + user +
                         " Pass: " + QByteArray(password.size(), '*'));
  const Settings& s = app_.settings;
  const bool complete = userEnd >= 0 && mark >= 0 && passwordEnd >= 0;
  if (complete && user == s.AdminUserName && password == s.AdminPassword) {
    app_.settings.AdminAllow = connection_->PeerAddress();
    QByteArray command = "RefreshList";
    AdminContext context{View(), DocsFolder(), app_.desktop};
    return AdminCommand(command, {}, context);
  }
  return LoginFailurePage("port " + QByteArray::number(connection_->PeerPort()),
                          connection_->PeerAddress());
}

QByteArray AdminSite::Console(const QByteArray& body) {
  QByteArray command = SelectCommand(body);
  app_.desktop.AppendLog("Admin Command: " + command);
  AdminContext context{View(), DocsFolder(), app_.desktop};
  if (command == "Logout") {
    app_.settings.AdminAllow.clear();
    return LogoutPage(context.view);
  }
  const QByteArray page = AdminCommand(command, body, context);
  return page.isEmpty() ? ServerErrorPage() : page;
}

bool AdminSite::OriginAllowed(const QByteArray& block) const {
  // The console trusts an address, so any page the administrator visits could post to it; a
  // browser says where a form comes from, and only this machine's pages may send one.
  const qsizetype end = HeaderEnd(block);
  if (IndexOfFolded(QByteArrayView(block).first(end < 0 ? block.size() : end), "\r\norigin:") < 0) {
    return true;  // no Origin header: not a browser's cross-site form
  }
  const QByteArray origin = HeaderValue(block, "origin:");
  QByteArray host = origin;
  const qsizetype scheme = host.indexOf("://");
  if (scheme < 0) return false;  // "null" and the like name no site
  host = host.mid(scheme + 3);
  if (host.startsWith('[')) {
    host = host.mid(1, host.indexOf(']') - 1);
  } else if (host.contains(':')) {
    host = host.left(host.indexOf(':'));
  }
  host = host.toLower();
  if (host == "localhost" || host == host_ ||
      host == QHostInfo::localHostName().toLower().toLatin1()) {
    return true;
  }
  const QHostAddress address(QString::fromLatin1(host));
  if (address.isNull()) return false;
  if (address.isLoopback()) return true;
  for (const QHostAddress& own : QNetworkInterface::allAddresses()) {
    if (own.isEqual(address, QHostAddress::TolerantConversion)) return true;
  }
  return false;
}

void AdminSite::Reply(const QByteArray& page) {
  replied_ = true;
  QByteArray bytes = page;
  if (app_.settings.HttpHeaders) {
    bytes.prepend(ReplyHeader({ReplyStatus::Ok, "text/html"}, page.size()));
  }
  connection_->DiscardInput();
  connection_->Send(bytes);
}

bool AdminSite::AnswerUpload(UploadResult result) {
  AdminContext context{View(), DocsFolder(), app_.desktop};
  QByteArray command;
  switch (result) {
    case UploadResult::NotUpload:
      return false;
    case UploadResult::Waiting:
      return true;  // no reply; the panel keeps "Busy"
    case UploadResult::Consumed:
      if (!watchdog_.isActive()) watchdog_.start();
      SetPanel("Ready");
      return true;
    case UploadResult::Completed:
      watchdog_.stop();
      app_.desktop.AppendLog("Upload Success: " + upload_.Path() + " " +
                             QByteArray::number(upload_.Length()));
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
  upload_.Abandon();
  watchdog_.stop();
  EndConnection();
}

QByteArray AdminSite::DocsFolder() const {
  return AsAppPath(app_.settings.DocsPath);
}

}  // namespace orvane
