// The lifecycle with the real listeners behind it and a test shell in front of it.

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

// The whole program without its window; remote administration is on when `adminPort` is given.
struct Program {
  TestShell shell;
  AppState state{shell};
  PublicServer web{state};
  AdminSite admin{state, web};
  Lifecycle lifecycle{state, web, admin};

  Program(const QByteArray& appPath, const QByteArray& argument, int port = 0, int adminPort = -1) {
    Settings s = LoadSettings(appPath);
    s.RunningPort = port;
    s.AdminAllow = adminPort < 0 ? "0" : "1";
    s.AdminPort = adminPort;
    lifecycle.StartUp(s, argument);
  }
  QByteArray Shown() const {
    QByteArray shown;
    for (const ShownMessage& m : shell.messages)
      shown += m.title + ' ' + QByteArray::number(m.style) + ": " + m.text + '\n';
    return shown;
  }
  // Running(), the Stop menu, the open listeners, the panels and the number of log lines.
  QByteArray Status() const {
    QByteArray status = lifecycle.Running() ? "running" : "stopped";
    if (state.desktop.MenuEnabled(MenuItem::StopServer)) status += ", Stop";
    if (web.ListeningPort() != 0) status += ", public";
    if (admin.ListeningPort() != 0) status += ", admin";
    for (int n = 1; n <= 4; ++n) status += '|' + state.desktop.Panel(n);
    return status + "| log " + QByteArray::number(state.desktop.Log().Count());
  }
};

}  // namespace

class LifecycleTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  QByteArray app_;

 private Q_SLOTS:
  void initTestCase() {
    app_ = QFile::encodeName(dir_.path()) + "/";
    QVERIFY(WriteFileAtomically(app_ + "server.cfg", "[Admin]\nUserName=admin\nPassword=pw\n"));
    QVERIFY(MakeDir(app_ + "docs"));
    QVERIFY(WriteFileAtomically(app_ + "docs/big.bin", QByteArray(32 * 1024 * 1024, 'z')));
  }

  void runServerFails_data() {
    QTest::addColumn<QByteArray>("failing");
    QTest::newRow("public port in use") << QByteArray("public");
    QTest::newRow("public port out of range") << QByteArray("range");
    QTest::newRow("administration port in use") << QByteArray("admin");
  }
  void runServerFails() {
    // Started with /R (only lower-case /r counts) it waits for Run; the message names the port.
    QFETCH(QByteArray, failing);
    Program other(app_, "/r");
    const int port = failing == "range" ? 70000 : other.web.ListeningPort();
    Program p(app_, "/R", failing == "admin" ? 0 : port, failing == "admin" ? port : -1);
    QVERIFY(!p.lifecycle.RunServer());
    QCOMPARE(p.Status(), "stopped|Offline|0/50 Active Users|Remote=Offline|| log 0");
    QCOMPARE(p.Shown(),
             "Orvane Error 64: Orvane occured an error while trying to run the server.\r\n"
             "\r\nReason: Port " +
                 QByteArray::number(port) +
                 ", is in use.\r\nCure: Shut off all over server applications.\n");
  }

  void stopAndClose() {
    Program p(app_, "/r", 0, 0);  // minimised, with the server and the administration site open
    QVERIFY(p.shell.calls.contains("Minimise()"));
    const QByteArray running = "running, Stop, public, admin|" + GetIPAddress().address;
    RawClient reader(p.web.ListeningPort(), 4096);  // a reply under way that it does not take
    QVERIFY(reader.Send("GET /big.bin HTTP/1.0\r\n\r\n"));
    QTRY_COMPARE(p.web.ActiveConnections(), 1);
    p.state.desktop.AppendLog("a line");
    p.shell.answers = {kAnswerNo, kAnswerNo};  // No keeps everything as it is
    QVERIFY(!p.lifecycle.QueryClose() && !p.lifecycle.StopServer());
    QCOMPARE(p.Status(), running + "|1/50 Active Users|Remote=Online|Ready| log 1");
    QVERIFY(p.lifecycle.StopServer());
    p.lifecycle.RestartAdmin();  // only while the server runs
    QCOMPARE(p.Status(), "stopped|Offline|0/50 Active Users|Remote=Offline|Ready| log 0");
    QVERIFY(p.lifecycle.QueryClose() && p.shell.calls.count("RemoveTrayIcon()") == 1);  // unasked
    const QByteArray cut = " 52: This will cut all 1 connection(s)! Continue?\n";
    QCOMPARE(p.Shown(), "Go Offline?" + cut + "Offline" + cut + "Offline" + cut);
    p.state.settings.AdminPassword.clear();  // without it the site stays closed, and says why
    QVERIFY(p.lifecycle.RunServer());
    QCOMPARE(p.Status(),
             "running, Stop, public|" + GetIPAddress().address +
                 "|0/50 Active Users|Remote=Offline|Closed: no user name or password| log 1");
  }
};

QTEST_GUILESS_MAIN(LifecycleTest)
#include "tst_lifecycle.moc"
