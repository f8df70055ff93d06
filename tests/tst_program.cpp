#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

#include "rawclient.h"
#include "util/files.h"

using namespace orvane;

namespace {

quint16 FreePort() {
  QTcpServer probe;
  probe.listen(QHostAddress::Any, 0);
  return probe.serverPort();
}

}  // namespace

class ProgramTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  QByteArray app_;

  struct Result {
    int code;
    QByteArray out;
    QByteArray err;
  };
  Result Run(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(ORVANE_BINARY), arguments);
    process.waitForFinished(30000);
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
  }

 private Q_SLOTS:
  void initTestCase() {
    app_ = QFile::encodeName(dir_.path()) + "/";
    QVERIFY(MakeDir(app_ + "docs"));
    QVERIFY(WriteFileAtomically(app_ + "docs/index.html", "hello"));
  }

  void printSettings() {
    QVERIFY(WriteFileAtomically(
        app_ + "server.cfg",
        "[Server]\nPort=8123\nMaxConnect=0\nHttpHeaders=1\n[Admin]\nPassword=pw\n"));
    const Result r = Run({"--print-settings", "--app-dir", dir_.path()});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, "AppPath=" + app_ + "\nDocsPath=" + app_ +
                        "docs\nServerName=Orvane Light v.0.7\nIndexFile=index.html\n"
                        "MaxConnect=300\nPort=8123\nRunningPort=8123\nAdminUserName=\n"
                        "AdminPassword=**\nAdminPort=5656\nAdminAllow=0\nHttpHeaders=1\n");
  }

  void badCommandLines_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("unknown option")
        << QStringList{"--fast"} << QByteArray("orvane-light: Unknown option 'fast'.");
    QTest::newRow("folder missing") << QStringList{"--headless", "--app-dir"}
                                    << QByteArray("orvane-light: Missing value after '--app-dir'.");
    QTest::newRow("no such folder") << QStringList{"--headless", "--app-dir", "/no/such/dir"}
                                    << QByteArray("orvane-light: no such folder: /no/such/dir");
  }
  void badCommandLines() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, message);
    const Result r = Run(arguments);
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.startsWith(message + "\n"), r.err.constData());
    QVERIFY(r.err.contains("Usage: orvane-light"));
  }

  void noDisplay() {
#ifndef ORVANE_GUI
    QSKIP("built without the window");
#endif
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
      environment.remove(QLatin1String(name));
    }
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(ORVANE_BINARY), {"--app-dir", dir_.path()});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 2);
    QCOMPARE(process.readAllStandardError(),
             QByteArray("orvane-light: no display was found; start it with --headless to run "
                        "without a window\n"));
  }

  void headlessPortInUse() {
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::Any, 0));
    QVERIFY(WriteFileAtomically(app_ + "server.cfg",
                                "[Server]\nPort=" + QByteArray::number(taken.serverPort()) + "\n"));
    const Result r = Run({"--headless", "--app-dir", dir_.path(), "/r"});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err,
             "Orvane Error: Orvane occured an error while trying to run the server.\n\n"
             "Reason: Port " +
                 QByteArray::number(taken.serverPort()) +
                 ", is in use.\nCure: Shut off all over server applications.\n");
    QVERIFY(r.out.isEmpty());
  }

  void signals_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM stops") << int(SIGTERM);
    QTest::newRow("SIGINT stops") << int(SIGINT);
    QTest::newRow("SIGHUP restarts the administration site") << int(SIGHUP);
  }
  void signals() {
    QFETCH(int, signal);
    const quint16 port = FreePort();
    QVERIFY(WriteFileAtomically(app_ + "server.cfg",
                                "[Server]\nPort=" + QByteArray::number(port) +
                                    "\n[Admin]\nAllow=1\nUserName=a\nPassword=b\nPort=" +
                                    QByteArray::number(FreePort()) + "\n"));
    QProcess process;
    process.start(QStringLiteral(ORVANE_BINARY), {"--headless", "--app-dir", dir_.path(), "/r"});
    QVERIFY(process.waitForStarted());
    QByteArray reply;
    QVERIFY(QTest::qWaitFor(
        [&] {
          RawClient client(port);
          if (!client.Send("GET /index.html HTTP/1.0\r\n\r\n", 500) || !client.WaitClosed(2000)) {
            return false;
          }
          reply = client.received;
          return !reply.isEmpty();
        },
        20000));
    QVERIFY(reply.startsWith("hello  <!--ORVANE-LIGHT -->"));
    // The running log goes to standard output as it happens.
    QVERIFY(QTest::qWaitFor([&] { return process.canReadLine(); }, 10000));
    QCOMPARE(process.readLine(), "[127.0.0.1]      index.html" + QByteArray(31, ' ') + " (" +
                                     QByteArray::number(reply.size()) + ")\n");
    ::kill(static_cast<pid_t>(process.processId()), signal);
    if (signal == SIGHUP) {
      QVERIFY(QTest::qWaitFor([&] { return process.canReadLine(); }, 10000));
      QCOMPARE(process.readLine(), QByteArray("Admin Restart\n"));
      process.terminate();
    }
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
  }
};

QTEST_GUILESS_MAIN(ProgramTest)
#include "tst_program.moc"
