// The program itself, without a display: what it says when it cannot run; signals ending a run.

#include <sys/stat.h>
#include <unistd.h>
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
  const QByteArray app_ = QFile::encodeName(dir_.path()) + "/";

 private Q_SLOTS:
  void runs_data() {
    QTest::addColumn<QStringList>("arguments");  // after --app-dir and the app folder
    QTest::addColumn<QList<int>>("sent");        // signals, each once a line more has come out
    QTest::addColumn<int>("code");
    // Standard error, or standard output for code 0: all of it, or how it begins when no line ends.
    QTest::addColumn<QByteArray>("output");
    const auto Row = [](const char* name, QStringList args, QList<int> sent, int code,
                        QByteArray out) { QTest::newRow(name) << args << sent << code << out; };
    const QByteArray usage = "\n\nUsage: orvane-light [";
    const QByteArray closed = NeedCredentialsText() + '\n';  // no administrator: the log says so
    Row("settings: the folder given is the one used", {"--print-settings"}, {}, 0,
        "AppPath=" + app_ + "\nDocsPath=" + app_ + "docs\nServerName=");
    Row("unknown option", {"--fast"}, {}, 2, "orvane-light: Unknown option 'fast'." + usage);
    Row("no such folder", {"--headless", "--app-dir", "/no/such"}, {}, 2,
        "orvane-light: no such folder: /no/such" + usage);
#ifdef ORVANE_GUI
    Row("no display", {}, {}, 2,
        "orvane-light: no display was found; start it with --headless to run without a window\n");
#endif
    Row("port 70000", {"--headless"}, {}, 1,
        "Orvane Error: Orvane occured an error while trying to run the server.\n\nReason: Port "
        "70000, is in use.\nCure: Shut off all over server applications.\n");
    Row("port 81 without administrator rights", {"--headless"}, {}, 1,
        "Orvane Error: Orvane occured an error while trying to run the server.\n\nReason: Port 81 "
        "needs administrator rights.\nCure: Choose a port from 1024 up in Preferences, or start "
        "the server as administrator.\n");
    Row("SIGINT", {"--headless"}, {SIGINT}, 0, closed);
    Row("SIGHUP restarts the administration site, then SIGTERM", {"--headless"}, {SIGHUP, SIGTERM},
        0, closed + "Admin Restart\n" + closed);
  }
  void runs() {
    QFETCH(QStringList, arguments);
    QFETCH(QList<int>, sent);
    QFETCH(QByteArray, output);
    QTcpServer probe;  // a run that signals are to end gets a port free a moment ago
    QVERIFY(probe.listen(QHostAddress::Any, 0));
    const bool low = QByteArray(QTest::currentDataTag()).startsWith("port 81");
    QByteArray port = sent.isEmpty() ? "70000" : QByteArray::number(probe.serverPort());
    if (low) port = "81";
    probe.close();  // and 70000 cannot be listened on
    if (low &&
        ReadWholeFile("/proc/sys/net/ipv4/ip_unprivileged_port_start").value_or("0").toInt() <= 81)
      QSKIP("every port may be listened on without rights on this machine");
    QVERIFY(
        WriteFileAtomically(app_ + "server.cfg", "[Admin]\nAllow=1\n[Server]\nPort=" + port, 0644));
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) qunsetenv(name);
    QStringList command = QStringList{ORVANE_BINARY, "--app-dir", dir_.path()} + arguments;
    if (low && ::geteuid() == 0) {  // as nobody, who may read the settings
      command =
          QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"} + command;
      QCOMPARE(::chmod(app_, 0755), 0);
    }
    QProcess process;
    process.start(command.takeFirst(), command);
    for (qsizetype i = 0; i < sent.size(); ++i) {  // the first line: it runs; the next: SIGHUP's
      QTRY_VERIFY_WITH_TIMEOUT(process.peek(4096).count('\n') > i, 20000);
      ::kill(static_cast<pid_t>(process.processId()), sent[i]);
    }
    QVERIFY(process.waitForFinished(30000));
    QTEST(process.exitCode(), "code");  // a signal's default action would leave its number
    const QByteArray text =
        process.exitCode() == 0 ? process.readAllStandardOutput() : process.readAllStandardError();
    QCOMPARE(output.endsWith('\n') ? text : text.left(output.size()), output);
  }
};

QTEST_GUILESS_MAIN(ProgramTest)
#include "tst_program.moc"
