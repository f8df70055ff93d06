// The program itself, without a display: what it says when it cannot run; signals ending a run.

#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

#include "core/settings.h"
#include "util/files.h"

using namespace orvane;

class ProgramTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;

 private Q_SLOTS:
  void runs_data() {
    QTest::addColumn<QStringList>("arguments");  // after --app-dir and the app folder
    QTest::addColumn<int>("signal");             // sent once the program runs
    QTest::addColumn<int>("code");
    // Standard error, or standard output for code 0: all of it, or how it begins when no line ends.
    QTest::addColumn<QByteArray>("output");
    const QByteArray app = QFile::encodeName(dir_.path()) + "/";
    const QByteArray usage = "\n\nUsage: orvane-light [";
    const QByteArray closed = NeedCredentialsText() + '\n';  // no administrator: the log says so
    // The settings themselves are tst_settings'; here, that the folder given is the one used.
    QTest::newRow("settings") << QStringList{"--print-settings"} << 0 << 0
                              << "AppPath=" + app + "\nDocsPath=" + app + "docs\nServerName=";
    QTest::newRow("unknown option")
        << QStringList{"--fast"} << 0 << 2 << "orvane-light: Unknown option 'fast'." + usage;
    QTest::newRow("no such folder") << QStringList{"--headless", "--app-dir", "/no/such"} << 0 << 2
                                    << "orvane-light: no such folder: /no/such" + usage;
#ifdef ORVANE_GUI
    QTest::newRow("no display") << QStringList() << 0 << 2
                                << QByteArray(
                                       "orvane-light: no display was found; start it with "
                                       "--headless to run without a window\n");
#endif
    QTest::newRow("port 70000") << QStringList{"--headless"} << 0 << 1
                                << QByteArray(
                                       "Orvane Error: Orvane occured an error while trying "
                                       "to run the server.\n\nReason: Port 70000, is in "
                                       "use.\nCure: Shut off all over server applications.\n");
    QTest::newRow("SIGTERM") << QStringList{"--headless"} << int(SIGTERM) << 0 << closed;
    QTest::newRow("SIGINT") << QStringList{"--headless"} << int(SIGINT) << 0 << closed;
    QTest::newRow("SIGHUP restarts the administration site, then SIGTERM")
        << QStringList{"--headless"} << int(SIGHUP) << 0 << closed + "Admin Restart\n" + closed;
  }
  void runs() {
    QFETCH(QStringList, arguments);
    QFETCH(int, signal);
    QFETCH(int, code);
    QFETCH(QByteArray, output);
    // 70000 cannot be listened on; a run that a signal is to end gets a port free a moment ago.
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::Any, 0));
    const QByteArray port = signal == 0 ? "70000" : QByteArray::number(probe.serverPort());
    probe.close();
    QVERIFY(WriteFileAtomically(QFile::encodeName(dir_.path()) + "/server.cfg",
                                "[Server]\nPort=" + port + "\n[Admin]\nAllow=1\n"));
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) qunsetenv(name);
    QProcess process;
    process.start(QStringLiteral(ORVANE_BINARY), QStringList{"--app-dir", dir_.path()} + arguments);
    if (signal != 0) {
      QTRY_VERIFY_WITH_TIMEOUT(process.canReadLine(), 20000);  // the log's first line: it runs
      ::kill(static_cast<pid_t>(process.processId()), signal);
      if (signal == SIGHUP) QTRY_VERIFY(process.peek(200).contains("Admin Restart"));
      if (signal == SIGHUP) process.terminate();
    }
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), code);  // a signal's default action would leave its number
    const QByteArray text =
        code == 0 ? process.readAllStandardOutput() : process.readAllStandardError();
    QCOMPARE(output.endsWith('\n') ? text : text.left(output.size()), output);
  }
};

QTEST_GUILESS_MAIN(ProgramTest)
#include "tst_program.moc"
