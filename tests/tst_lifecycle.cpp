#include <QDir>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include "rawclient.h"

#include "admin/adminsite.h"
#include "core/lifecycle.h"
#include "testshell.h"
#include "util/files.h"
#include "util/hostaddress.h"
#include "web/publicserver.h"

using namespace orvane;

namespace {

// The whole program without its window: shell, state, both listeners and the lifecycle.
struct Program {
  TestShell shell;
  AppState state{shell};
  PublicServer web{state};
  AdminSite admin{state, web};
  Lifecycle lifecycle{state, web, admin};

  explicit Program(const QByteArray& appPath, int port = 0, QByteArray allow = "0",
                   int adminPort = 0) {
    Settings s = LoadSettings(appPath);
    s.RunningPort = port;
    s.AdminAllow = allow;
    s.AdminPort = adminPort;
    s.AdminUserName = "admin";
    s.AdminPassword = "pw";
    lifecycle.StartUp(s, "");
    shell.calls.clear();
  }
};

bool Connects(quint16 port) {
  QTcpSocket socket;
  socket.connectToHost(QHostAddress::LocalHost, port);
  return socket.waitForConnected(2000);
}

}  // namespace

class LifecycleTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  QByteArray app_;

 private Q_SLOTS:
  void initTestCase() { app_ = QFile::encodeName(dir_.path()) + "/"; }

  void startUpMinimisedRunsServer() {
    TestShell shell;
    AppState state(shell);
    PublicServer web(state);
    AdminSite admin(state, web);
    Lifecycle lifecycle(state, web, admin);
    Settings s = LoadSettings(app_);
    s.RunningPort = 0;
    lifecycle.StartUp(s, "/r");
    QVERIFY(shell.calls.contains("Minimise()"));
    QVERIFY(lifecycle.Running());
    QVERIFY(Connects(web.ListeningPort()));
    shell.calls.clear();
    lifecycle.StartUp(s, "/R");  // only lower-case /r counts
    QVERIFY(!shell.calls.contains("Minimise()"));
  }

  void runServer() {
    Program p(app_);
    QVERIFY(p.lifecycle.RunServer());
    QVERIFY(p.lifecycle.Running());
    QVERIFY(!p.state.desktop.MenuEnabled(MenuItem::RunServer));
    QVERIFY(p.state.desktop.MenuEnabled(MenuItem::StopServer));
    QCOMPARE(p.state.desktop.Panel(3), QByteArray("Remote=Offline"));  // administration off
    QCOMPARE(p.state.desktop.Panel(4), QByteArray());
    QVERIFY(p.web.ListeningPort() != 0);
    QVERIFY(Connects(p.web.ListeningPort()));
    QVERIFY(p.shell.messages.isEmpty());
  }

  void runServerFails_data() {
    QTest::addColumn<QByteArray>("which");
    QTest::newRow("public port in use") << QByteArray("public");
    QTest::newRow("public port out of range") << QByteArray("range");
    QTest::newRow("administration port in use") << QByteArray("admin");
  }
  void runServerFails() {
    // Whichever port fails, the message names it, nothing stays open, and Run can be tried again.
    QFETCH(QByteArray, which);
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::Any, 0));
    const int port = which == "range" ? 70000 : taken.serverPort();
    Program p(app_, which == "admin" ? 0 : port, which == "admin" ? "1" : "0",
              which == "admin" ? port : 0);
    QVERIFY(!p.lifecycle.RunServer());
    QCOMPARE(p.shell.messages.size(), 1);
    const ShownMessage m = p.shell.messages.first();
    QCOMPARE(m.title, QByteArray("Orvane Error"));
    QCOMPARE(m.style, int(kOkInformation));
    QCOMPARE(m.text,
             "Orvane occured an error while trying to run the server.\r\n\r\nReason: Port " +
                 QByteArray::number(port) +
                 ", is in use.\r\nCure: Shut off all over server applications.");
    QCOMPARE(p.state.desktop.Panel(1), QByteArray("Offline"));
    QVERIFY(p.state.desktop.MenuEnabled(MenuItem::RunServer));
    QVERIFY(!p.state.desktop.MenuEnabled(MenuItem::StopServer));
    QVERIFY(!p.lifecycle.Running());
    QCOMPARE(p.web.ListeningPort(), quint16(0));  // the public listener did not stay open
  }

  void administrationListener() {
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::Any, 0));
    const quint16 adminPort = probe.serverPort();
    probe.close();
    Program p(app_, 0, "1", adminPort);
    QVERIFY(p.lifecycle.RunServer());
    QCOMPARE(p.state.desktop.Panel(3), QByteArray("Remote=Online"));
    QCOMPARE(p.state.desktop.Panel(4), QByteArray("Ready"));
    QVERIFY(Connects(adminPort));
    {
      RawClient owner(adminPort);
      const QByteArray body = "UserName=admin&password=pw&Request=Login";
      QVERIFY(owner.Send("POST / HTTP/1.0\r\nContent-Length: " + QByteArray::number(body.size()) +
                         "\r\n\r\n" + body));
      QVERIFY(owner.WaitClosed());
      QVERIFY(owner.received.contains("Administrator Logged In"));
    }
    QVERIFY(p.lifecycle.StopServer());
    QVERIFY(!Connects(adminPort));
    QCOMPARE(p.state.desktop.Panel(3), QByteArray("Remote=Offline"));
    // After that login, Run opens the site again, and so does Restart Admin.
    QVERIFY(p.lifecycle.RunServer());
    QVERIFY(Connects(adminPort));
    p.lifecycle.RestartAdmin();
    QVERIFY(Connects(adminPort));
    QCOMPARE(p.state.desktop.Panel(3), QByteArray("Remote=Online"));
    // Without a user name or a password the site stays closed, and says why.
    QVERIFY(p.lifecycle.StopServer());
    p.state.settings.AdminPassword.clear();
    QVERIFY(p.lifecycle.RunServer());
    QVERIFY(!Connects(adminPort));
    QCOMPARE(p.state.desktop.Log().Line(p.state.desktop.Log().Count() - 1), NeedCredentialsText());
    QCOMPARE(p.state.desktop.Panel(3), QByteArray("Remote=Offline"));
  }

  void stopServer() {
    Program p(app_);
    QVERIFY(p.lifecycle.RunServer());
    const quint16 port = p.web.ListeningPort();
    p.state.desktop.AppendLog("a line");

    p.shell.answers = {kAnswerNo};
    QVERIFY(!p.lifecycle.StopServer());
    QCOMPARE(p.shell.messages.last().text,
             QByteArray("This will cut all 0 connection(s)! Continue?"));
    QCOMPARE(p.shell.messages.last().title, QByteArray("Offline"));
    QCOMPARE(p.shell.messages.last().style, int(kYesNoExclamation));
    QVERIFY(p.lifecycle.Running());
    QCOMPARE(p.state.desktop.Log().Count(), 1);
    QVERIFY(Connects(port));

    QVERIFY(p.lifecycle.StopServer());
    QVERIFY(!p.lifecycle.Running());
    QCOMPARE(p.state.desktop.Log().Count(), 0);
    QCOMPARE(p.state.desktop.Panel(1), QByteArray("Offline"));
    QCOMPARE(p.state.desktop.Panel(2), QByteArray("0/50 Active Users"));
    QVERIFY(p.state.desktop.MenuEnabled(MenuItem::RunServer));
    QVERIFY(!p.state.desktop.MenuEnabled(MenuItem::StopServer));
    QVERIFY(!Connects(port));
  }

  void stopServerCountsOpenConnections() {
    Program p(app_);
    QVERIFY(p.lifecycle.RunServer());
    // Two replies under way to clients that do not read them.
    QDir().mkpath(QString::fromLatin1(app_ + "docs"));
    QVERIFY(WriteFileAtomically(app_ + "docs/big.bin", QByteArray(8 * 1024 * 1024, 'z')));
    QTcpSocket a;
    QTcpSocket b;
    for (QTcpSocket* client : {&a, &b}) {
      client->setReadBufferSize(4096);
      client->connectToHost(QHostAddress::LocalHost, p.web.ListeningPort());
      client->write("GET /big.bin HTTP/1.0\r\n\r\n");
    }
    QTRY_COMPARE(p.web.ActiveConnections(), 2);
    QVERIFY(p.lifecycle.StopServer());
    QCOMPARE(p.shell.messages.last().text,
             QByteArray("This will cut all 2 connection(s)! Continue?"));
    a.setReadBufferSize(0);
    QTRY_COMPARE(a.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(p.web.ActiveConnections(), 0);
  }

  void closeRequest() {
    Program stopped(app_);
    QVERIFY(stopped.lifecycle.QueryClose());
    QVERIFY(stopped.shell.messages.isEmpty());
    QVERIFY(stopped.shell.calls.contains("RemoveTrayIcon()"));

    Program running(app_);
    QVERIFY(running.lifecycle.RunServer());
    running.shell.answers = {kAnswerNo};
    QVERIFY(!running.lifecycle.QueryClose());
    QCOMPARE(running.shell.messages.last().title, QByteArray("Go Offline?"));
    QCOMPARE(running.shell.messages.last().text,
             QByteArray("This will cut all 0 connection(s)! Continue?"));
    QVERIFY(!running.shell.calls.contains("RemoveTrayIcon()"));
    QVERIFY(running.lifecycle.Running());
    QVERIFY(Connects(running.web.ListeningPort()));
    QVERIFY(running.lifecycle.QueryClose());
    QVERIFY(running.shell.calls.contains("RemoveTrayIcon()"));
  }
};

QTEST_GUILESS_MAIN(LifecycleTest)
#include "tst_lifecycle.moc"
