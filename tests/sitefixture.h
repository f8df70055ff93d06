#pragma once
// The one fixture of the socket tests: a temporary program folder, a test shell, and both
// servers in the test's own event loop on ports the system picks; the administrator is
// "admin" / "Secret1".

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "admin/admincommand.h"
#include "admin/adminsite.h"
#include "rawclient.h"
#include "testshell.h"
#include "uploadform.h"
#include "util/files.h"
#include "web/publicserver.h"

namespace orvane {

inline const QByteArray Q = "\"";

inline QByteArray Post(const QByteArray& body, const QByteArray& extraHeaders = {}) {
  return "POST / HTTP/1.1\r\nHost: h\r\nContent-Length: " + QByteArray::number(body.size()) +
         "\r\n" + extraHeaders + "\r\n" + body;
}

inline QByteArray LoginBody(const QByteArray& user, const QByteArray& password) {
  return "UserName=&UserName=" + user + "&password=" + password + "&Request=Login";
}

class SiteFixture : public QObject {
 protected:
  std::unique_ptr<QTemporaryDir> dir_;
  QByteArray app_;
  std::unique_ptr<TestShell> shell_;
  std::unique_ptr<AppState> state_;
  std::unique_ptr<PublicServer> web_;
  std::unique_ptr<AdminSite> site_;
  QByteArray host_ = "127.0.0.1";  // the address the test's clients reach
  QByteArray token_;               // the session's, once logged in

  void SetUp() {
    TearDown();
    dir_ = std::make_unique<QTemporaryDir>();
    app_ = QFile::encodeName(dir_->path()) + "/";
    QVERIFY(MakeDir(app_ + "docs"));
    shell_ = std::make_unique<TestShell>();
    state_ = std::make_unique<AppState>(*shell_);
    state_->settings = LoadSettings(app_);
    state_->settings.AdminUserName = "admin";
    state_->settings.AdminPassword = "Secret1";
    state_->settings.AdminAllow = "1";
    web_ = std::make_unique<PublicServer>(*state_);
    site_ = std::make_unique<AdminSite>(*state_, *web_);
    StartWeb(50);
    QVERIFY(site_->Listen(0));
    state_->settings.AdminPort = Port();
    token_.clear();
  }
  void TearDown() { site_.reset(), web_.reset(), state_.reset(); }
  // (Re)starts the public server with `maxConnect` turns.
  void StartWeb(int maxConnect) {
    state_->settings.RunningPort = 0;
    state_->settings.MaxConnect = maxConnect;
    QVERIFY(web_->Start());
    // What the administration site's links name; start the server again through here only.
    state_->settings.RunningPort = 80;
  }

  quint16 WebPort() const { return web_->ListeningPort(); }
  quint16 Port() const { return site_->ListeningPort(); }
  QByteArrayList Log() const { return shell_->logLines; }

  // Sends `request` on a new connection and returns all it gets until the server closes it.
  static QByteArray Exchange(quint16 port, const QByteArray& request, const char* source = nullptr,
                             int timeoutMs = 10000) {
    RawClient client(port, 0, source);
    client.Send(request);  // a site that refuses the connection gives nothing
    return client.WaitClosed(timeoutMs) ? client.received : "<still open>";
  }
  QByteArray WebFetch(const QByteArray& r, int ms = 30000) { return Exchange(WebPort(), r, 0, ms); }
  QByteArray Fetch(const QByteArray& r, const char* from = 0) { return Exchange(Port(), r, from); }

  void Put(const QByteArray& name, const QByteArray& content = "x") {
    QDir().mkpath(QFileInfo(QFile::decodeName(app_ + name)).absolutePath());
    QVERIFY(WriteFileAtomically(app_ + name, content));
  }
  // Uploads still being received, under their temporary names.
  QStringList Temporaries() const {
    return QDir(QFile::decodeName(app_ + "docs"))
        .entryList({QStringLiteral("..upload-*")}, QDir::Files | QDir::Hidden | QDir::System);
  }

  QByteArray Console(const QByteArray& rest, const char* source = nullptr) {
    return Fetch(Post("ADMINLOGIN=&Token=" + token_ + "&" + rest), source);
  }
  AdminView View() const {
    return {host_,
            state_->settings.AdminPort,
            80,
            "Orvane Light v.0.7",
            0,
            50,
            "index.html",
            token_,
            false,
            false};
  }
  QByteArray ConsoleNow() {
    return ConsolePage(
        View(), ListDirectory(app_ + "docs/", "<input type=" + Q + "checkbox" + Q + "name=" + Q,
                              Q + "></p>", View()));
  }
  // Logs in from 127.0.0.1 and keeps the session's token.
  void LogIn() {
    const QByteArray page = Fetch(Post(LoginBody("admin", "Secret1")));
    QVERIFY(page.contains("Administrator Logged In"));
    const QByteArray field = "name=\"Token\" value=\"";
    const qsizetype at = page.indexOf(field) + field.size();
    token_ = page.mid(at, page.indexOf('"', at) - at);
    QCOMPARE(token_.size(), 32);
    QCOMPARE(state_->settings.AdminAllow, QByteArray("1"));  // the login is the site's own
    gUploadToken = token_;
    state_->desktop.ClearLog();
  }
};

}  // namespace orvane
