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

// The whole program without its window.
struct Program {
  TestShell shell;
  AppState state{shell};
  PublicServer web{state};
  AdminSite admin{state, web};
  Lifecycle lifecycle{state, web, admin};

  Program(const QByteArray& appPath, const QByteArray& argument) {
    Settings s = LoadSettings(appPath);
    s.RunningPort = s.AdminPort = 0;  // ports the system picks; the file's Port=0 means 80
    lifecycle.StartUp(s, argument);
  }
  QByteArray Shown() const {
    QByteArray shown;
    for (const ShownMessage& m : shell.messages)
      shown += '\n' + m.title + ' ' + QByteArray::number(m.style) + ": " + m.text;
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
  const QByteArray app_ = QFile::encodeName(dir_.path()) + "/";

 private Q_SLOTS:
  void initTestCase() {
    QVERIFY(WriteFileAtomically(app_ + "server.cfg", "[Admin]\nAllow=1\nUserName=u\nPassword=p\n"));
    QVERIFY(MakeDir(app_ + "docs"));
    QVERIFY(WriteFileAtomically(app_ + "docs/big.bin", QByteArray(32 * 1024 * 1024, 'z')));
  }

  void httpsShown() {
    // With HTTPS the status bar names the scheme, and Run logs the certificate's fingerprint.
    Program p(app_, "/R");
    p.state.settings.ServerTls = true;
    p.state.tlsFingerprint = "AB:CD";
    QVERIFY(p.lifecycle.RunServer() && p.state.desktop.Panel(1).startsWith("https://"));
    QVERIFY(p.shell.logLines.contains("HTTPS certificate SHA-256 fingerprint: AB:CD"));
  }

  void runServerFails() {
    // Started with /R (only lower-case /r counts) they wait for Run; the message names the port.
    Program other(app_, "/r"), web(app_, "/R"), admin(app_, "/R");
    web.state.settings.RunningPort = admin.state.settings.AdminPort = other.web.ListeningPort();
    QVERIFY(!web.lifecycle.RunServer() && !admin.lifecycle.RunServer());
    const QByteArray failed =
        "stopped|Offline|0/50 Active Users|Remote=Offline|| log 0\nOrvane Error 64: Orvane occured "
        "an error while trying to run the server.\r\n\r\nReason: Port " +
        QByteArray::number(other.web.ListeningPort()) +
        ", is in use.\r\nCure: Shut off all over server applications.";
    QCOMPARE(web.Status() + web.Shown() + admin.Status() + admin.Shown(), failed + failed);
  }

  void stopAndClose() {
    Program p(app_, "/r");  // minimised, with the server and the administration site open
    RawClient reader(p.web.ListeningPort(), 4096);  // a reply under way that it does not take
    // Connections still sending their request, or nothing yet, are open connections too.
    RawClient half(p.web.ListeningPort()), silent(p.web.ListeningPort());
    QVERIFY(reader.Send("GET /big.bin HTTP/1.0\r\n\r\n") && half.Send("GE"));
    QTRY_COMPARE(p.web.ActiveConnections(), 3);
    p.state.desktop.AppendLog("a line");
    p.shell.answers = {kAnswerNo, kAnswerNo};  // No keeps everything as it is
    QVERIFY(!p.lifecycle.QueryClose() && !p.lifecycle.StopServer());
    QCOMPARE(p.Status(), "running, Stop, public, admin|" + GetIPAddress().address +
                             "|3/50 Active Users|Remote=Online|Ready| log 1");
    QVERIFY(p.lifecycle.StopServer() && p.lifecycle.QueryClose());  // closing asks no more
    p.lifecycle.RestartAdmin();                                     // only while the server runs
    QCOMPARE(p.Status(), "stopped|Offline|0/50 Active Users|Remote=Offline|Ready| log 0");
    QVERIFY(p.shell.calls.contains("Minimise()") && p.shell.calls.count("RemoveTrayIcon()") == 1);
    const QByteArray cut = " 52: This will cut all 3 connection(s)! Continue?";
    QCOMPARE(p.Shown(), "\nGo Offline?" + cut + "\nOffline" + cut + "\nOffline" + cut);
    p.state.settings.AdminPassword.clear();  // without it the site stays closed, and says why
    QVERIFY(p.lifecycle.RunServer());
    QCOMPARE(p.Status(),
             "running, Stop, public|" + GetIPAddress().address +
                 "|0/50 Active Users|Remote=Offline|Closed: no user name or password| log 1");
  }
};

QTEST_GUILESS_MAIN(LifecycleTest)
#include "tst_lifecycle.moc"
