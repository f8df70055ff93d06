#include <fcntl.h>
#include <unistd.h>
#include <QTest>

#include "core/desktop.h"
#include "core/runninglog.h"
#include "shell/headlessshell.h"
#include "testshell.h"

using namespace orvane;

namespace {

QByteArray ReadAll(int fd) {
  QByteArray all;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    all.append(buffer, n);
  }
  return all;
}

}  // namespace

class RunningLogTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void appendAndRead() {
    RunningLog log;
    QCOMPARE(log.Count(), 0);
    log.Append("one");
    log.Append("two");
    QCOMPARE(log.Count(), 2);
    QCOMPARE(log.Line(0), QByteArray("one"));
    QCOMPARE(log.Line(1), QByteArray("two"));
    QCOMPARE(log.Line(2), QByteArray());
    QCOMPARE(log.Line(-1), QByteArray());
    log.Clear();
    QCOMPARE(log.Count(), 0);
  }

  void fullLogDropsOldest() {
    RunningLog log;
    for (int i = 0; i < RunningLog::kMaxLines; ++i) QVERIFY(!log.Append(QByteArray::number(i)));
    QCOMPARE(log.Count(), 32767);
    QVERIFY(log.Append("newest"));
    QCOMPARE(log.Count(), 32767);
    QCOMPARE(log.Line(0), QByteArray("1"));
    QCOMPARE(log.Line(32766), QByteArray("newest"));
  }

  void printable_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("plain") << QByteArray("[1.2.3.4] Hack attempt! ../x")
                           << QByteArray("[1.2.3.4] Hack attempt! ../x");
    QTest::newRow("forged line") << QByteArray("a\r\n[9.9.9.9] ok")
                                 << QByteArray("a\\x0D\\x0A[9.9.9.9] ok");
    QTest::newRow("escape sequence") << QByteArray("\x1b[2J") << QByteArray("\\x1B[2J");
    QTest::newRow("Latin-1 kept") << QByteArray("caf\xE9") << QByteArray("caf\xE9");
    QTest::newRow("DEL and NUL") << QByteArray("a\x7f", 2) + QByteArray(1, '\0')
                                 << QByteArray("a\\x7F\\x00");
  }
  void printable() {
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);
    RunningLog log;
    log.Append(line);
    QCOMPARE(log.Line(0), expected);
  }

  void longLinesAreCut() {
    RunningLog log;
    log.Append(QByteArray(4096, 'a'));
    QCOMPARE(log.Line(0), QByteArray(4096, 'a'));
    log.Append(QByteArray(10000, 'b'));
    QCOMPARE(log.Line(1), QByteArray(4093, 'b') + "...");
    log.Append(QByteArray(3000, '\n'));
    QCOMPARE(log.Line(2).size(), 4096);
    QVERIFY(log.Line(2).startsWith("\\x0A\\x0A"));
  }

  void desktopPassesChangesOn() {
    TestShell shell;
    Desktop desk(shell);
    desk.AppendLog("line\n");
    desk.SetPanel(2, "0/50 Active Users");
    desk.SetPanel(5, "ignored");
    desk.SetCaption("Orvane Light 0.7");
    desk.SetMenuEnabled(MenuItem::StopServer, true);
    desk.ClearLog();
    QCOMPARE(shell.calls,
             QByteArrayList({"Log(line\\x0A)", "Panel2(0/50 Active Users)",
                             "Caption(Orvane Light 0.7)", "StopServer(on)", "ClearLog()"}));
    QCOMPARE(desk.Panel(2), QByteArray("0/50 Active Users"));
    QVERIFY(desk.MenuEnabled(MenuItem::StopServer));
    QVERIFY(desk.MenuEnabled(MenuItem::RunServer));
    QCOMPARE(desk.Log().Count(), 0);
    QCOMPARE(desk.MessageBox("text", kOkOnly), int(kAnswerOk));
    QCOMPARE(shell.messages.last().title, QByteArray("Orvane-Light"));
  }

  void desktopDropsFromTheShellToo() {
    TestShell shell;
    Desktop desk(shell);
    for (int i = 0; i <= RunningLog::kMaxLines; ++i) desk.AppendLog(QByteArray::number(i));
    QCOMPARE(shell.logLines.size(), 32767);
    QCOMPARE(shell.logLines.first(), QByteArray("1"));
  }

  void headlessShell() {
    int out[2];
    int err[2];
    QCOMPARE(::pipe2(out, O_NONBLOCK), 0);
    QCOMPARE(::pipe2(err, O_NONBLOCK), 0);
    HeadlessShell shell(out[1], err[1]);
    shell.LogLineAdded("[127.0.0.1]      index.html (10)");
    shell.LogLineAdded("second");
    QCOMPARE(ReadAll(out[0]), QByteArray("[127.0.0.1]      index.html (10)\nsecond\n"));
    QCOMPARE(shell.MessageBox("Reason\r\n\r\nCure", kOkInformation, "Orvane Error"),
             int(kAnswerOk));
    QCOMPARE(shell.MessageBox("Continue?", kYesNoExclamation, "Offline"), int(kAnswerYes));
    QCOMPARE(shell.MessageBox("Continue?", kYesNo, "Unsaved Data"), int(kAnswerYes));
    QCOMPARE(ReadAll(err[0]), QByteArray("Orvane Error: Reason\n\nCure\nOffline: Continue?\n"
                                         "Unsaved Data: Continue?\n"));
    for (int fd : {out[0], out[1], err[0], err[1]}) ::close(fd);
  }
};

QTEST_GUILESS_MAIN(RunningLogTest)
#include "tst_runninglog.moc"
