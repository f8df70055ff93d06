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
    const QByteArray port = sent.isEmpty() ? "70000" : QByteArray::number(probe.serverPort());
    probe.close();  // and 70000 cannot be listened on
    QVERIFY(WriteFileAtomically(app_ + "server.cfg", "[Admin]\nAllow=1\n[Server]\nPort=" + port));
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) qunsetenv(name);
    QProcess process;
    process.start(QStringLiteral(ORVANE_BINARY), QStringList{"--app-dir", dir_.path()} + arguments);
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
